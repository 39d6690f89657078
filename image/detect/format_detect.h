#pragma once
// Finding how an image's sectors are stored, without trusting its name: the
// extension's format first, then every row of the format table, then a raw
// scan for volume descriptors. Archives and WIM files are only recognised so
// that detection stops and leaves them to their own openers.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace image {

struct ImageContext;

// Probe status: a container opener sets kProbeStop to end probing at once.
constexpr int kProbeContinue = 0;
constexpr int kProbeStop = 3;
int GetProbeStatus();
void SetProbeStatus(int status);

// Text after the last dot of the path, lower-cased, when the dot and what
// follows are at most 6 characters; else "".
std::u16string GetFileExtension(std::u16string_view path);
// The first format row whose extension equals `extension` (any case); else
// "hxi" or "exe" 2, "mzp" 7, "7z" or "zip" 151; else -1.
int32_t GetFormatByExtension(std::u16string_view extension);
bool IsProjectFormat(int32_t code);
// Position of the first occurrence of `needle` in `haystack`; npos when none.
size_t FindBytes(std::span<const uint8_t> haystack, std::span<const uint8_t> needle);

// Whether the first bytes of a file with this name belong to a format another
// opener handles (WIM, tar, zip, rar, 7z), so detection stops.
bool IsLeftToOtherOpener(std::u16string_view path, std::span<const uint8_t> head);

// Result of the raw scan: up to four candidate sector sizes and the file
// offset of the first 0x01 "CD001" (-1 when none).
struct RawScanResult {
    std::array<int32_t, 4> sectorSizes{};
    int32_t sizeCount = 0;
    int64_t descriptorOffset = -1;
};
// (file offset, buffer, bytes) -> bytes read (short at the end of the file).
using FileBytesReader = std::function<int64_t(uint64_t offset, uint8_t* buffer, size_t bytes)>;
// Reads 16 overlapping 64 KB blocks for the primary descriptor, then 64 KB
// after it for the terminator; the distance d between them gives every size
// d / k (k = 1..16) in [2048, 3072) that divides it evenly.
RawScanResult ScanRawBytes(const FileBytesReader& read);

// --- Detection over a document ------------------------------------------

// Sets the format code (-1 when none) and returns the Video CD kind.
int DetectImageFormat(ImageContext& ctx, int32_t code);
void TryAllImageFormats(ImageContext& ctx, int32_t firstCode);
void TryImageFormat(ImageContext& ctx, int32_t code);
int ProbeTableLayout(ImageContext& ctx, int32_t code);
void ScanRawLayout(ImageContext& ctx);
int SetRawScanLayout(ImageContext& ctx, int32_t code);
int OpenDaaImage(ImageContext& ctx);
int OpenMzpImage(ImageContext& ctx);
int OpenXdiImage(ImageContext& ctx);
void UpdateMixedTracksFlag(ImageContext& ctx);

}  // namespace image
