#pragma once
// Apple disk images (DMG): the XML property list at the end of the file lists,
// under "blkx", base64-encoded block tables that say where each run of the
// image's 512-byte sectors is stored and how. Every entry becomes a chunk of a
// chunk table of 2048-byte sectors.

#include <cstdint>
#include <string>
#include <vector>

#include "containers/chunk/chunk_engine.h"

namespace image {
struct ImageContext;
}

namespace containers {

// DMG entry types as images write them.
namespace dmg_entry {
constexpr uint32_t kZeroFill = 0;
constexpr uint32_t kStored = 1;
constexpr uint32_t kIgnore = 2;
constexpr uint32_t kAdc = 0x80000004;
constexpr uint32_t kZlib = 0x80000005;
constexpr uint32_t kBzip2 = 0x80000006;
constexpr uint32_t kLzfse = 0x80000007;
constexpr uint32_t kLzma = 0x80000008;
constexpr uint32_t kComment = 0x7FFFFFFE;
constexpr uint32_t kEnd = 0xFFFFFFFF;
}  // namespace dmg_entry

// Offset of the first occurrence of pattern in data, or -1.
int64_t FindBytesForward(const uint8_t* data, const char* pattern, size_t length, size_t patternLength);
// Offset of the last occurrence, or -1.
int64_t FindBytesBackward(const uint8_t* data, const char* pattern, size_t length, size_t patternLength);
bool IsBase64Char(char c);
int Base64Value(char c);
// Keeps the base64 characters of text, in order.
std::string FilterBase64(std::string_view text);
// Decodes filtered base64: 3 bytes per 4 characters (a tail of fewer than 4
// ignored), '=' counting 0 and shortening the result by one for each of the
// last two characters that is '='.
std::vector<uint8_t> DecodeBase64(std::string_view text);

// Builds the document's chunk table from the block tables: 0, else -1 with no
// table kept.
int ReadDmgBlockTables(image::ImageContext& ctx);
// Reads the block tables and probes the file system inside: 0 (format 4),
// else -1 (format -1).
int OpenDmgImage(image::ImageContext& ctx);

}  // namespace containers
