#pragma once
// FAT directories in memory, and the decoding of their entries: long names,
// 8.3 names and dates.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "filesystems/fat/fat_layout.h"
#include "filesystems/fat/fat_volume.h"

namespace filesystems {

// A directory loaded whole: its clusters one after the other (the FAT12/16
// fixed root as one pseudo-cluster).
struct FatDirectory {
    uint32_t firstCluster = 0;                 // 0: the FAT12/16 fixed root
    std::vector<uint32_t> clusters;
    std::vector<uint8_t> bytes;
    uint32_t entriesPerCluster = 0;
    uint32_t totalEntries = 0;
    std::vector<uint8_t> dirtyClusters;        // per position in clusters; the root counts as one
    bool damaged = false;                      // the chain looped, met a used cluster or a bad value
    // Kept for the directory being edited: the 8.3 names in use (new names
    // must differ from them) and its clusters (freeing one drops the cache).
    std::unordered_set<std::string> shortNames;
    std::unordered_set<uint32_t> clusterSet;

    uint8_t* Entry(uint32_t index) { return bytes.data() + size_t(index) * fat_layout::kEntryBytes; }
    const uint8_t* Entry(uint32_t index) const { return bytes.data() + size_t(index) * fat_layout::kEntryBytes; }
    void MarkEntryDirty(uint32_t index);
    bool IsFixedRoot() const { return firstCluster == 0; }
};

// Loads the directory whose first cluster is first (0 on FAT12/16: the fixed
// root). The chain stops at its end, at a cluster it met before, at a cluster
// already marked in claimed (when given; the loaded clusters are marked
// there), and at 65,536 entries; each of those but the end marks the
// directory damaged. Clusters that cannot be read stay zero. Every entry after
// the first end marker reads as free. Null for a first cluster that is no
// cluster of the volume.
std::unique_ptr<FatDirectory> LoadFatDirectory(image::ImageContext& ctx, uint32_t first,
                                               std::vector<bool>* claimed = nullptr);

// The standard long-name checksum of the 11 name bytes.
uint8_t LongNameChecksum(const uint8_t* name11);

// The long name whose run starts at index: the number of entries the run
// takes (long-name entries, not the 8.3 entry) with the name when it is whole,
// or the number of entries to skip (at least 1) with an empty name.
struct LongNameRun {
    uint32_t entries = 1;
    std::u16string name;
};
LongNameRun ReadLongName(const FatDirectory& dir, uint32_t index);

// The 8.3 name as text in the OEM code page: "BASE.EXT"; a label keeps its
// inner blanks. Names are raw bytes, not yet converted.
std::string ShortNameToText(const uint8_t* entry, bool label);
// The 8.3 name as the program shows it: converted from the OEM code page, in
// the case the volume asks for.
std::u16string ShortNameToDisplay(const FatVolume& volume, const uint8_t* entry);

// The 7-byte directory-record date of a FAT time and date (local time).
std::array<uint8_t, 7> FatDateToIsoDate(uint16_t time, uint16_t date);

// The first cluster an entry names (the high word counts on FAT32 only).
uint32_t EntryFirstCluster(const FatVolume& volume, const uint8_t* entry);

}  // namespace filesystems
