#pragma once
// The MZP archive's fixed records, little-endian throughout: the 77-byte
// archive header, the records behind it (volume, volume sizes, comment, end
// record, entry table), the 40-byte header of every later volume, and the
// volume file names.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace containers::mzp {

constexpr size_t kHeaderBytes = 77;
constexpr size_t kVolumeHeaderBytes = 40;
constexpr uint32_t kLaterVolumeArea = 100;     // volume header and volume record
constexpr size_t kVolumeRecordBytes = 60;
constexpr size_t kEndRecordBytes = 28;
constexpr uint32_t kVersion = 0x100;
constexpr uint32_t kChunkUnit = 16384;
constexpr uint32_t kTableAtEnd = 0x80000000u;
constexpr uint32_t kOffsetMask = 0xFFFFFFu;
constexpr uint32_t kFlagTableCompressed = 0x4000;
constexpr uint32_t kFlagHoistedPrefix = 0x100000;
constexpr uint32_t kWriterFlagBits = 0xE6258000u;
constexpr uint32_t kWriterOffsetBits = 0x4C000000u;
constexpr uint32_t kMaxCommentBytes = 0x10000;
constexpr uint32_t kMaxRecordsBytes = 16u << 20;   // more records than any writer makes

namespace record {
constexpr uint32_t kVolume = 1;
constexpr uint32_t kVolumeSizes = 2;
constexpr uint32_t kComment = 4;
constexpr uint32_t kEnd = 5;
constexpr uint32_t kEntryTable = 7;
}  // namespace record

struct Header {
    uint32_t headerLength = kHeaderBytes;
    uint32_t version = kVersion;
    uint32_t offsetField = 0;          // first chunk offset (bits 0-23), table-at-end bit 31
    uint8_t encryption = 0;
    uint32_t one = 1;
    uint32_t flags = 0;
    uint64_t size = 0;                 // uncompressed bytes
    uint64_t archiveSize = 0;
    uint8_t level = 0;
    uint32_t compressedTableSize = 0;
    uint8_t bitsByte = 0;              // T | (L - 10) << 3
    std::array<uint8_t, 6> prefix{};
};

// Parses and checks the 77 bytes (CRC, magic, header length, the constant 1).
std::optional<Header> ParseHeader(const uint8_t* bytes);
// The 77 bytes with their CRC.
std::array<uint8_t, kHeaderBytes> BuildHeader(const Header& header);

// The 40-byte header of volume n > 0.
std::array<uint8_t, kVolumeHeaderBytes> BuildVolumeHeader();
bool IsMzpVolumeMagic(const uint8_t* bytes, size_t length);
bool IsMzpMagic(const uint8_t* bytes, size_t length);

uint32_t MaxVolumes(int32_t style);   // 99, 999, or 1 for an unknown style

// The name of the first volume of an archive path; nullopt for an unknown style.
std::optional<std::u16string> GetMzpVolumeName(std::u16string_view path, int32_t style);
// The name of volume n (from 0) of a set whose first volume is `first`; nullopt
// when the name does not follow the style.
std::optional<std::u16string> MzpVolumeNameAt(std::u16string_view first, int32_t style, uint32_t n);
// The first volume's name from any volume's name; other names unchanged.
std::u16string FindFirstMzpVolume(std::u16string_view name);
// True when sectors x 2248 bytes over the volume size, plus one, reaches 100.
bool CheckMzpVolumeCount(uint64_t sectors, uint64_t volumeSize);

}  // namespace containers::mzp
