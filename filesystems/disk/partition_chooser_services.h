#pragma once
// How the disk opener asks which partition to open. The window program installs
// the chooser dialog, which shows the rows; until then (and on the console and
// in tests) a rule chooses: the first row whose file system a reader here can
// mount, else the first row.

#include <cstdint>
#include <vector>

#include "filesystems/disk/partition_table.h"
#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace filesystems {

class IPartitionChooserServices {
public:
    virtual ~IPartitionChooserServices() = default;
    // The chosen row's index, -1 when the user cancelled. rows is never empty.
    virtual int ChooseDiskPartition(image::ImageContext& ctx, const std::vector<DiskPartitionRow>& rows) = 0;
};

// The rule of the stand-in, for any caller that must choose without asking.
int ChoosePartitionByRule(const std::vector<DiskPartitionRow>& rows);

class PartitionChooserStandIn : public IPartitionChooserServices {
public:
    int ChooseDiskPartition(image::ImageContext&, const std::vector<DiskPartitionRow>& rows) override {
        return ChoosePartitionByRule(rows);
    }
};

inline foundation::ServiceSlot<IPartitionChooserServices, PartitionChooserStandIn>& PartitionChooserServicesSlot() {
    static foundation::ServiceSlot<IPartitionChooserServices, PartitionChooserStandIn> slot;
    return slot;
}
inline IPartitionChooserServices& PartitionChooserServices() { return PartitionChooserServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IPartitionChooserServices* SetPartitionChooserServices(IPartitionChooserServices* services) {
    return PartitionChooserServicesSlot().Install(services);
}

}  // namespace filesystems
