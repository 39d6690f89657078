#pragma once
// The one description of an XDI file's header bytes: the writer fills them and
// the reader decodes them by these offsets. Every number is little-endian.
//
// The main header (65 bytes) opens the first file; the comment, when there is
// one, follows it inside the header length, and the MZP bit-packed block table
// follows the header. Part files 2 on open with a 40-byte part header; the
// archive's bytes continue right behind it.

#include <cstddef>
#include <cstdint>

namespace containers {

namespace xdi_header {
constexpr size_t kMagic = 0;            // "XDI\0", 4 bytes
constexpr size_t kMagicBytes = 4;
constexpr size_t kHeaderLength = 4;     // 32, the whole header with the comment
constexpr size_t kCrc = 8;              // 32, CRC-32 of the header with this field 0
constexpr size_t kVersion = 12;         // 32, 1
constexpr size_t kSplit = 16;           // 32, 1 when part files follow
constexpr size_t kFirstBlock = 20;      // 32, offset of the first block (bits 0-23)
constexpr size_t kEncryption = 24;      // 1 byte: 0 none, 1-3 AES with a 128/192/256-bit key
constexpr size_t kBlockUnits = 25;      // 32, block size in 16 KB units (bits 0-11)
constexpr size_t kCommentOffset = 29;   // 32, 65 (right behind this header) or 0 for none
constexpr size_t kCommentBytes = 33;    // 32, the deflated comment chain
constexpr size_t kImageBytes = 37;      // 64, the image: 2048-byte sectors
constexpr size_t kArchiveBytes = 45;    // 64, every file of the set together
constexpr size_t kLevel = 53;           // 1 byte, compression level
constexpr size_t kTableBits = 54;       // 1 byte: type bits | (length bits - 10) << 3, 0 for the default
constexpr size_t kPartCount = 55;       // 16, 0 when not split
constexpr size_t kFirstPartBytes = 57;  // 64, size of the first file
constexpr size_t kBytes = 65;
static_assert(kFirstPartBytes + 8 == kBytes, "the fields fill the header");

constexpr char kMagicText[kMagicBytes] = {'X', 'D', 'I', '\0'};   // parts carry it too
constexpr uint32_t kCurrentVersion = 1;   // the one this reader reads and the writer writes
}  // namespace xdi_header

namespace xdi_part {
constexpr size_t kMagic = 0;            // "XDI\0", 4 bytes
constexpr size_t kHeaderLength = 4;     // 32, 40
constexpr size_t kCrc = 8;              // 32, CRC-32 of the part header with this field 0
constexpr size_t kVersion = 12;         // 32, 1
constexpr size_t kMark = 16;            // 32, 3 in every part header
constexpr size_t kDataOffset = 20;      // 32, where the part's share of the archive starts: 40
constexpr size_t kBytesBefore = 24;     // 64, the sizes of the files before this one, summed
constexpr size_t kFileBytes = 32;       // 64, size of this file
constexpr size_t kBytes = 40;
static_assert(kFileBytes + 8 == kBytes, "the fields fill the part header");

constexpr uint32_t kMarkWritten = 3;
}  // namespace xdi_part

constexpr size_t kXdiHeaderBytes = xdi_header::kBytes;
constexpr size_t kXdiPartHeaderBytes = xdi_part::kBytes;

}  // namespace containers
