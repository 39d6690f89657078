#pragma once
// The file-drop list a data object hands over (CF_HDROP): a 20-byte DROPFILES
// header whose first field is the offset of the names, then the names, each
// ended by a NUL, the list ended by one more NUL; wide names are UTF-16LE.
// The bytes come from another program: every offset and name is checked.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace shellext {

// Longest name taken: a Windows long path. Longer ones make the list invalid.
inline constexpr size_t kMaxDropNameUnits = 32767;
// More names than any selection of a file manager: an absurd count is refused
// before it costs memory.
inline constexpr size_t kMaxDropNames = 1u << 20;

// False, with out empty, when the header is short, the names' offset lies
// outside the block, a name runs past the end, the list lacks its final NUL,
// there is no name, or a limit above is passed. Narrow lists are UTF-8.
bool ParseDropFiles(std::span<const uint8_t> bytes, std::vector<std::u16string>& out);

// A wide list of the names, for hosts and tests.
std::vector<uint8_t> BuildDropFiles(const std::vector<std::u16string>& names);

}  // namespace shellext
