#pragma once
// The file-system probes that format detection asks, in its fixed order,
// before it settles for ISO 9660. Each belongs to its file system's reader,
// which installs the services; until then every probe answers "not present"
// without reading, so an image holding that file system opens through its
// ISO 9660 side or not at all.

#include <cstdint>

#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace image {

class IFilesystemServices {
public:
    virtual ~IFilesystemServices() = default;
    // UDF volume of the session starting at sessionStart; true when mounted (the
    // document's UDF-present flag is set and its tree read).
    virtual bool MountUdf(ImageContext& ctx, int32_t sessionStart) = 0;
    // 1 when sector 32 carries the Xbox identifier and a root, else 0.
    virtual int DetectXboxDisc(ImageContext& ctx) = 0;
    // HFS+ (or HFSX) with the given sector scale; 1 mounted, 0 not HFS+.
    virtual int MountHfsPlus(ImageContext& ctx, int scale) = 0;
    // Classic HFS; 1 mounted, 0 not HFS.
    virtual int MountHfs(ImageContext& ctx) = 0;
    // 1 when sector 0 carries the Wii magic, else 0.
    virtual int DetectWiiDisc(ImageContext& ctx) = 0;
};

namespace detail {
class FilesystemStandIn final : public IFilesystemServices {
public:
    bool MountUdf(ImageContext&, int32_t) override { return false; }
    int DetectXboxDisc(ImageContext&) override { return 0; }
    int MountHfsPlus(ImageContext&, int) override { return 0; }
    int MountHfs(ImageContext&) override { return 0; }
    int DetectWiiDisc(ImageContext&) override { return 0; }
};
}  // namespace detail

inline foundation::ServiceSlot<IFilesystemServices, detail::FilesystemStandIn>& FilesystemServicesSlot() {
    static foundation::ServiceSlot<IFilesystemServices, detail::FilesystemStandIn> slot;
    return slot;
}
inline IFilesystemServices& FilesystemServices() { return FilesystemServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IFilesystemServices* SetFilesystemServices(IFilesystemServices* services) {
    return FilesystemServicesSlot().Install(services);
}

inline bool MountUdf(ImageContext& ctx, int32_t sessionStart) { return FilesystemServices().MountUdf(ctx, sessionStart); }
inline int DetectXboxDisc(ImageContext& ctx) { return FilesystemServices().DetectXboxDisc(ctx); }
inline int MountHfsPlus(ImageContext& ctx, int scale) { return FilesystemServices().MountHfsPlus(ctx, scale); }
inline int MountHfs(ImageContext& ctx) { return FilesystemServices().MountHfs(ctx); }
inline int DetectWiiDisc(ImageContext& ctx) { return FilesystemServices().DetectWiiDisc(ctx); }

}  // namespace image
