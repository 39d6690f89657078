#pragma once
// What an add from disk reaches outside its walk: the add-files dialog, told of
// every added entry (it may cancel the add), and the status of the disk's
// entries. The dialog installs the real services; the stand-in goes on after
// every entry and reads the status from the system (statx). Tests derive from
// the stand-in to give a failure that permissions cannot provoke for root.

#include <cstdint>
#include <string>

#include "foundation/services.h"

namespace image {

struct ImageContext;
struct ImageItem;

// The status of a disk entry as the walk reads it.
struct DiskEntryStatus {
    bool isSymlink = false;
    bool isDirectory = false;
    bool isRegular = false;
    uint64_t sizeBytes = 0;
    int64_t modifiedTime = 0;  // seconds since 1970
    int64_t creationTime = 0;  // 0 when the file system keeps none
};

class IDiskAddServices {
public:
    virtual ~IDiskAddServices() = default;
    // Called for every added entry; 0 cancels the add.
    virtual int ItemAdded(ImageContext* ctx, ImageItem* item) = 0;
    // lstat-like with followLinks false, stat-like with true: 0, or -1 with the
    // last error set.
    virtual int ReadEntryStatus(const std::string& utf8Path, bool followLinks, DiskEntryStatus& status) = 0;
};

// No dialog: the add goes on; the status is the system's.
class DiskAddStandIn : public IDiskAddServices {
public:
    int ItemAdded(ImageContext*, ImageItem*) override { return 1; }
    int ReadEntryStatus(const std::string& utf8Path, bool followLinks, DiskEntryStatus& status) override;
};

inline foundation::ServiceSlot<IDiskAddServices, DiskAddStandIn>& DiskAddServicesSlot() {
    static foundation::ServiceSlot<IDiskAddServices, DiskAddStandIn> slot;
    return slot;
}
inline IDiskAddServices& DiskAddServices() { return DiskAddServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IDiskAddServices* SetDiskAddServices(IDiskAddServices* services) {
    return DiskAddServicesSlot().Install(services);
}

}  // namespace image
