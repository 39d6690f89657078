#pragma once
// The values the console switches take, read strictly: a count is digits and
// nothing else, sizes and dates refuse what would overflow or wrap, and a text
// cut to fit its field is cut between characters.

#include <cstdint>
#include <string>
#include <string_view>

namespace cmdline {

// 1..maxDigits decimal digits and nothing else (no sign, no blanks), the value
// at most maxValue.
bool ParseDecimal(std::u16string_view text, int64_t maxValue, int64_t& value, size_t maxDigits = 9);

// "mm-dd-yyyy-hh:mm:ss" with "-" and ":" in any mix between six numbers of
// digits only (at most four each): month 1..12, day 1..31, year 1900..2800,
// hour 0..23, minute and second 0..59. Taken as local time; seconds since 1970.
bool ParseSwitchDate(std::u16string_view text, int64_t& seconds);

// Digits with optional thousands commas and an optional K, M or G (powers of
// 1024); false when the text is no size or the value does not fit 63 bits.
bool ParseVolumeSizeText(std::u16string_view text, int64_t& bytes);
// Accepted volume sizes: 128 KiB up to 2 TiB.
constexpr int64_t kMinSwitchVolumeBytes = 131072;
constexpr int64_t kMaxSwitchVolumeBytes = 2199023255552;

// Eight characters "0"-"9"/"a"-"f" (any case), four pairs, the first pair the
// lowest byte: "0a1b2c3d" gives 0x3D2C1B0A.
bool ParseOwnerWindow(std::u16string_view text, uint32_t& value);

// The text in the archive code page, cut between characters so that it fits
// maxBytes.
std::string ToCodePageWithin(std::u16string_view text, size_t maxBytes);

// The first volume of a multi-part set: the path itself when it names a file
// that exists; else for "name.partN.ext" the first of name.part1.ext,
// name.part01.ext ... name.part00001.ext that exists; else the path unchanged.
std::u16string FindFirstVolumeOfSet(std::u16string_view path);

// Every character below 0x20, DEL and 0x80-0x9F shown as "?" (keepLineBreaks
// lets tab, CR and LF through), so names from an image never reach the
// terminal as control sequences.
std::u16string ShowableText(std::u16string_view text, bool keepLineBreaks = false);

}  // namespace cmdline
