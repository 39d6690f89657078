#pragma once
// CD-TEXT: the 18-byte packs of the lead-in's R-W subchannel. Reads CD-TEXT
// files into the TrackDetail texts of a track list, and builds the pack block
// and its subchannel form for burning.
//
// The texts are stored in packs as ISO 8859-1 (character code 0 of the size
// information), whatever the locale, so the "ANSI" copies kept for the packs
// are Latin-1. Double-byte (block character code 0x80) texts are not decoded.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/sheets/track_list.h"

namespace image {

constexpr size_t kCdTextPackBytes = 18;
constexpr size_t kCdTextMaxPacks = 256;          // one block of the pack buffer
constexpr size_t kCdTextMaxTextPacks = 253;      // the rest are the three size packs
constexpr size_t kCdTextMinFileBytes = 18;
constexpr size_t kCdTextMaxFileBytes = 65536;
constexpr size_t kCdTextMaxTextBytes = 1022;     // a longer text read from a file is cut
constexpr size_t kCdTextMaxBuiltChars = 80;      // a longer text is cut when packs are built

// CRC-16, polynomial x^16 + x^12 + x^5 + 1, most significant bit first, no
// reflection (the CRC-CCITT of the Red Book subchannel).
uint16_t CdTextCrc(uint16_t initial, const uint8_t* bytes, size_t length);

// 1 when the pack's CRC holds, after correcting at most one flipped bit (the
// pack is then repaired in place); 0 when it cannot be made valid.
int FixCdTextPack(uint8_t* pack);

// Reads a CD-TEXT file (18..65536 bytes: whole packs, optionally behind a
// 4-byte header whose first two bytes are the big-endian file size - 2). block
// receives the packs behind a 4-byte header giving the pack bytes + 2. 0 when
// the file fails any check, including a pack that cannot be repaired.
int ReadCdTextFile(const std::u16string& path, std::vector<uint8_t>& block);
// The same checks on bytes already read.
int ParseCdTextBytes(std::span<const uint8_t> bytes, std::vector<uint8_t>& block);

// Stores the texts of block (4-byte header, then packs) in the TrackDetail
// records of the list. Only the first language block (block number 0) is
// taken. Always 1.
int ApplyCdTextFile(TrackList* list, std::span<const uint8_t> block);

// 1 when the list has an audio track and the disc or a track has any CD-TEXT
// (the first 16 slots).
int HasCdText(const TrackList* list);

// The pack block built from the ANSI copies of the texts: text packs of types
// 0x80..0x8E followed by the three 0x8F size packs, each with its CRC.
std::vector<uint8_t> BuildCdTextPacks(const TrackList& list);

// Builds the pack block and stores its R-W subchannel form (the block
// repeated to a multiple of 4 packs, each 3 bytes spread over 4 six-bit
// symbols) in list->rwSubchannel. 0 only when list is null.
int BuildCdTextSubchannel(TrackList* list);

// Rebuilds the ANSI (Latin-1) copies of the texts.
void UpdateCdTextAnsi(TrackDetail* detail);
void UpdateTrackListCdTextAnsi(TrackList* list);

}  // namespace image
