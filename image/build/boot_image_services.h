#pragma once
// What a build needs of the El Torito writer: the boot catalogue and image laid
// out after the directories, the boot record descriptor and their sectors
// written. The El Torito writer (image/iso/el_torito_write.cpp) is the
// stand-in; a test may install another.

#include <cstdint>

#include "foundation/services.h"
#include "image/sectors/format_table.h"

namespace image {
struct ImageContext;
}

namespace image {

class IBootImageServices {
public:
    virtual ~IBootImageServices() = default;
    // Sectors of the boot catalogue and image from next on; false on failure.
    virtual bool Layout(ImageContext& ctx, uint32_t& next) = 0;
    // The boot record descriptor sector.
    virtual bool BuildBootRecord(ImageContext& ctx, uint8_t sector[2048]) = 0;
    // Writes the catalogue and the image at their sectors through write(); false on failure.
    virtual bool WriteCatalogueAndImage(ImageContext& ctx, const WriterArguments& args,
                                        bool (*write)(void* sink, const uint8_t* data, uint32_t sectors),
                                        void* sink) = 0;
};

// The El Torito writer.
class ElToritoBootImages final : public IBootImageServices {
public:
    bool Layout(ImageContext& ctx, uint32_t& next) override;
    bool BuildBootRecord(ImageContext& ctx, uint8_t sector[2048]) override;
    bool WriteCatalogueAndImage(ImageContext& ctx, const WriterArguments& args,
                                bool (*write)(void* sink, const uint8_t* data, uint32_t sectors),
                                void* sink) override;
};

inline foundation::ServiceSlot<IBootImageServices, ElToritoBootImages>& BootImageServicesSlot() {
    static foundation::ServiceSlot<IBootImageServices, ElToritoBootImages> slot;
    return slot;
}
inline IBootImageServices& BootImageServices() { return BootImageServicesSlot().Get(); }
// Not owned; null restores the El Torito writer. Returns the services installed before.
inline IBootImageServices* SetBootImageServices(IBootImageServices* services) {
    return BootImageServicesSlot().Install(services);
}

}  // namespace image
