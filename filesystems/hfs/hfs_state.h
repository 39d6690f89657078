#pragma once
// What a mounted HFS or HFS+ volume keeps in its document: where the volume
// and its allocation blocks lie in the image, and its two B-trees. Shared by
// the parts of the reader; nothing outside filesystems/hfs/ looks inside.

#include <cstdint>
#include <string>

#include "filesystems/hfs/hfs_btree.h"
#include "filesystems/hfs/hfs_fork.h"

namespace filesystems {

struct MacVolume {
    bool plus = false;                     // HFS+ or HFSX
    bool hfsx = false;
    bool binaryNames = false;              // HFSX with binary name order
    uint64_t volumeStartBytes = 0;         // byte position of the volume in the image
    HfsGeometry geometry;
    HfsBTree extentsTree;
    HfsBTree catalogTree;
    std::u16string volumeName;
    // Damage passed over while reading the tree.
    uint64_t skippedEntries = 0;
    uint64_t loopsRefused = 0;
};

}  // namespace filesystems

namespace image {

struct HfsVolume : filesystems::MacVolume {};
struct HfsPlusVolume : filesystems::MacVolume {};

}  // namespace image
