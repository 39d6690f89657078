#pragma once
// The self-extracting settings that travel with a self-extracting archive:
// 1024 numbered slots of bytes, carried in an entry-table record (type 7)
// between the stub and the archive:
//   0 uint32 7; 4 uint32 record length = 20 + sum of (8 + length);
//   8 uint32 used slots; 12 eight zero bytes; 20 per used slot in index
//   order: uint32 index, uint32 length, the bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace containers {

constexpr size_t kSfxSlots = 1024;
constexpr uint32_t kEntryTableType = 7;
constexpr size_t kEntryTableHead = 20;
constexpr uint32_t kMaxEntryTableBytes = 16u << 20;
constexpr uint32_t kSfxAlignment = 1024;

struct SfxSettings {
    uint32_t entryTableOffset = 0;
    uint32_t base = 0;
    uint32_t recordLength = 0;
    std::array<std::optional<std::vector<uint8_t>>, kSfxSlots> slots;
};
using SfxSettingsOwner = std::unique_ptr<SfxSettings>;

std::vector<uint8_t> BuildEntryTable(const SfxSettings& settings);
// Parses a record of n bytes; null when it is malformed (entries leaving the
// record, a wrong type or length). Indexes of 1024 or more are skipped; a
// repeated index keeps the last one.
SfxSettingsOwner ParseEntryTable(const uint8_t* record, size_t n);

}  // namespace containers
