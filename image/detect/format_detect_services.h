#pragma once
// Openers and probes that format detection calls, and the checks and tree of
// an opened container, which the image core and the container subsystem
// provide. The stand-in reaches the readers that live in the image core (NRG,
// the Video CD layout) and answers "not this format" for the others until the
// container readers install services derived from it. The container readers
// are this slot's one owner (containers/container_readers.h): nothing else
// installs into it, so installing is idempotent and independent of the order
// in which the file systems and containers are installed.

#include <cstdint>

#include "foundation/services.h"

namespace image {

struct ImageContext;

class IFormatDetectServices {
public:
    virtual ~IFormatDetectServices() = default;
    // NRG image (format 3, or 100 for an audio disc): 0 opened, -1 not NRG.
    virtual int OpenNrgImage(ImageContext& ctx) = 0;
    // DMG, UIF and ISZ images (formats 4, 5, 6): 0 opened, -1 not that format.
    virtual int OpenDmgImage(ImageContext& ctx) = 0;
    virtual int OpenUifImage(ImageContext& ctx) = 0;
    virtual int OpenIszImage(ImageContext& ctx) = 0;
    // Whether the file ends in a DAA/HXI self-extracting trailer record.
    virtual bool HasDaaSfxTrailer(ImageContext& ctx) = 0;
    // DAA/HXI, MZP and XDI containers attached as the document's reader: 0
    // attached (sector reads possible or not), -1 not that container.
    virtual int AttachDaaContainer(ImageContext& ctx) = 0;
    virtual int AttachMzpContainer(ImageContext& ctx) = 0;
    virtual int AttachXdiContainer(ImageContext& ctx) = 0;
    // Video CD kind of the detected image (0 none).
    virtual int DetectVideoCd(ImageContext& ctx) = 0;
    // MZP's MARFS volume, the last file-system probe; 1 found, 0 not.
    virtual int DetectMarfsVolume(ImageContext& ctx) = 0;
    // The tree of a MARFS volume: 0 success, anything else failure.
    virtual int LoadMarfsTree(ImageContext& ctx) = 0;
    // Checks of an attached container (formats 2, 7 and 8): true when a
    // password is needed / when the file is of a newer version.
    virtual bool ContainerNeedsPassword(ImageContext& ctx) = 0;
    virtual bool ContainerIsNewerVersion(ImageContext& ctx) = 0;
};

// The image core's NRG reader and Video CD layout; no other readers.
class FormatDetectStandIn : public IFormatDetectServices {
public:
    int OpenNrgImage(ImageContext& ctx) override;
    int OpenDmgImage(ImageContext&) override { return -1; }
    int OpenUifImage(ImageContext&) override { return -1; }
    int OpenIszImage(ImageContext&) override { return -1; }
    bool HasDaaSfxTrailer(ImageContext&) override { return false; }
    int AttachDaaContainer(ImageContext&) override { return -1; }
    int AttachMzpContainer(ImageContext&) override { return -1; }
    int AttachXdiContainer(ImageContext&) override { return -1; }
    int DetectVideoCd(ImageContext& ctx) override;
    int DetectMarfsVolume(ImageContext&) override { return 0; }
    int LoadMarfsTree(ImageContext&) override { return -1; }
    bool ContainerNeedsPassword(ImageContext&) override { return false; }
    bool ContainerIsNewerVersion(ImageContext&) override { return false; }
};

inline foundation::ServiceSlot<IFormatDetectServices, FormatDetectStandIn>& FormatDetectServicesSlot() {
    static foundation::ServiceSlot<IFormatDetectServices, FormatDetectStandIn> slot;
    return slot;
}
inline IFormatDetectServices& FormatDetectServices() { return FormatDetectServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IFormatDetectServices* SetFormatDetectServices(IFormatDetectServices* services) {
    return FormatDetectServicesSlot().Install(services);
}

inline int OpenNrgImage(ImageContext& ctx) { return FormatDetectServices().OpenNrgImage(ctx); }
inline int OpenDmgImage(ImageContext& ctx) { return FormatDetectServices().OpenDmgImage(ctx); }
inline int OpenUifImage(ImageContext& ctx) { return FormatDetectServices().OpenUifImage(ctx); }
inline int OpenIszImage(ImageContext& ctx) { return FormatDetectServices().OpenIszImage(ctx); }
inline bool HasDaaSfxTrailer(ImageContext& ctx) { return FormatDetectServices().HasDaaSfxTrailer(ctx); }
inline int AttachDaaContainer(ImageContext& ctx) { return FormatDetectServices().AttachDaaContainer(ctx); }
inline int AttachMzpContainer(ImageContext& ctx) { return FormatDetectServices().AttachMzpContainer(ctx); }
inline int AttachXdiContainer(ImageContext& ctx) { return FormatDetectServices().AttachXdiContainer(ctx); }
inline int DetectVideoCd(ImageContext& ctx) { return FormatDetectServices().DetectVideoCd(ctx); }
inline int DetectMarfsVolume(ImageContext& ctx) { return FormatDetectServices().DetectMarfsVolume(ctx); }

}  // namespace image
