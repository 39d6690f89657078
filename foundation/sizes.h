#pragma once
// Size texts. They never depend on the process locale (the window library sets
// it from the environment): the decimal mark is always '.' and the group mark
// ','. Each call returns its own string.

#include <cstdint>
#include <string>

namespace foundation {

// "," between groups of three digits; 0 gives "0".
std::u16string FormatThousands(uint64_t value);
// "%.1f KB" of bytes / 1024, rounded to the nearest tenth. A nonzero size that
// would show "0.0 KB" shows "0.1 KB"; a whole number drops its ".0" ("12 KB").
std::u16string FormatSizeKb(uint64_t bytes);
// "%.1f MB" of bytes / 2^20 and "%.1f GB" of bytes / 2^30, ".0" dropped alike.
std::u16string FormatSizeMb(uint64_t bytes);
std::u16string FormatSizeGb(uint64_t bytes);
// KB below 1,048,576 bytes, else MB.
std::u16string FormatSizeKbMb(uint64_t bytes);
// KB below 1,048,576 bytes, MB up to 1,073,741,823 bytes, GB above.
std::u16string FormatSizeAuto(uint64_t bytes);

}  // namespace foundation
