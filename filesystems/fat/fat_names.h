#pragma once
// Names of new FAT entries: the long name as stored, its long-name entries,
// and an 8.3 name unique in its directory.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace filesystems {

struct FatDirectory;

// Long names hold at most this many UTF-16 units.
constexpr size_t kMaxLongNameUnits = 255;

// The name as a FAT directory may hold it: characters no FAT name may carry
// ("*/:<>?\| and control characters) become '_'. Nothing for an empty name or
// one of more than 255 units.
std::optional<std::u16string> PrepareLongName(std::u16string_view name);

// Long-name entries the name takes (without the 8.3 entry).
uint32_t LongNameEntryCount(size_t units);

// An 8.3 name (11 bytes, upper case, blank padded) for the long name, unique
// among the names already taken: the plain form when the long name fits it
// exactly, else a "~N" tail. Nothing when every tail is taken.
std::optional<std::array<uint8_t, 11>> MakeShortName(std::u16string_view longName,
                                                     const std::unordered_set<std::string>& taken);

// Writes the long-name entries of name in front of the 8.3 entry at
// shortIndex (entries shortIndex - count .. shortIndex - 1).
void BuildLongNameEntries(FatDirectory& dir, uint32_t shortIndex, std::u16string_view name, uint8_t checksum);

}  // namespace filesystems
