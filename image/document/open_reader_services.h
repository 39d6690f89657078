#pragma once
// What the open of an image file reaches beyond the document code: format
// detection, the tree readers of the file systems, the El Torito boot entry, the
// image file's size and the settings the constructors read. The stand-in is the
// image core's own: detection, the ISO 9660 tree and El Torito are read here,
// the settings come from the store, and the readers not linked in yet (Xbox,
// HFS+, HFS) answer "not recognised" (their tree read fails, so the open gives
// "Can not read directory structure."). The containers' checks and the MARFS
// tree are asked of the container readers (format_detect_services.h). A reader
// that lands elsewhere, or a test, installs services derived from the stand-in
// and overrides what it provides.

#include <cstdint>

#include "foundation/services.h"
#include "platform/file.h"

namespace image {
struct ImageContext;
}

namespace image {

class IOpenReaderServices {
public:
    virtual ~IOpenReaderServices() = default;
    // Sets ctx.formatCode (stays -1 when nothing is recognised).
    virtual void DetectImageFormat(ImageContext& ctx, int32_t startFormat) = 0;
    // Tree readers: 0 success, anything else failure.
    virtual int ReadXboxTree(ImageContext& ctx) = 0;
    virtual int BuildHfsPlusTree(ImageContext& ctx) = 0;
    virtual int BuildHfsTree(ImageContext& ctx) = 0;
    virtual int ReadIsoTree(ImageContext& ctx) = 0;
    virtual void LoadElTorito(ImageContext& ctx) = 0;
    // Size of the image file (tests give sizes no file can have).
    virtual int64_t FileSize(platform::FileHandle file) = 0;
    // The "ShowMacFiles" setting.
    virtual bool ShowMacFiles() = 0;
    // Settings the constructors read.
    virtual int32_t CompressionLevel() = 0;
    virtual int64_t FixedTime() = 0;
    // Fills the volume texts of a new document ("New ISO" / "New Archive").
    virtual void InitNewImageFields(ImageContext& ctx, int32_t formatCode) = 0;
};

// The image core's own readers and the settings store; tests derive from it.
class OpenReaderStandIn : public IOpenReaderServices {
public:
    void DetectImageFormat(ImageContext& ctx, int32_t startFormat) override;
    int ReadXboxTree(ImageContext& ctx) override;
    int BuildHfsPlusTree(ImageContext& ctx) override;
    int BuildHfsTree(ImageContext& ctx) override;
    int ReadIsoTree(ImageContext& ctx) override;
    void LoadElTorito(ImageContext& ctx) override;
    int64_t FileSize(platform::FileHandle file) override;
    bool ShowMacFiles() override;
    int32_t CompressionLevel() override;
    int64_t FixedTime() override;
    void InitNewImageFields(ImageContext& ctx, int32_t formatCode) override;
};

inline foundation::ServiceSlot<IOpenReaderServices, OpenReaderStandIn>& OpenReaderServicesSlot() {
    static foundation::ServiceSlot<IOpenReaderServices, OpenReaderStandIn> slot;
    return slot;
}
inline IOpenReaderServices& OpenReaderServices() { return OpenReaderServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IOpenReaderServices* SetOpenReaderServices(IOpenReaderServices* services) {
    return OpenReaderServicesSlot().Install(services);
}

}  // namespace image
