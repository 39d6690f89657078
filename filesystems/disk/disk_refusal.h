#pragma once
// Why a virtual-disk back end that recognised a file would not read it. The
// open then fails with a message instead of reading the file as a raw disk.

namespace filesystems {

enum class DiskRefusal {
    kNone,
    kDifferencing,   // its contents lie partly in a parent disk that is not opened
    kCompressed,     // compressed grains (stream-optimised VMDK)
};

}  // namespace filesystems
