#pragma once
// What the image core, the file systems and the containers need of the dialogs
// side: the session/partition/image choosers, the password question, the volume
// files of multi-volume containers, the progress dialog's log and the
// self-extracting icon. Declared here, where the dialogs will implement it;
// until a dialog service is installed nothing is chosen, no password is given
// and no volume is opened (last error kErrorNotSupported), so every caller takes
// its cancel path.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace image {
struct ImageContext;
}

namespace containers {
struct DaaContainer;
struct MzpContainer;
struct XdiContainer;
}  // namespace containers

namespace foundation {

class IDialogServices {
public:
    virtual ~IDialogServices() = default;
    // -1 when a session choice was needed and none was made, else 0; the choice
    // is left in ChosenSessionIndex() (-1 none).
    virtual int ChooseSession(image::ImageContext* ctx, bool buildTree) = 0;
    // The chosen partition's index (from 0), -1 when cancelled; stores its start,
    // sector count and class into the context.
    virtual int ChooseDiskPartition(image::ImageContext* ctx, const uint8_t masterBootRecord[512]) = 0;
    // The chosen image's index (from 0), -1 when cancelled.
    virtual int ChooseWimImage(image::ImageContext* ctx, int32_t imageCount) = 0;
    // True when a password was given (and, where the container can, checked);
    // passwordCheck is the 144-byte check record of a DAA/HXI image, else null.
    virtual bool AskPassword(image::ImageContext* ctx, const uint8_t* passwordCheck) = 0;
    virtual platform::FileHandle OpenDaaVolumeFile(containers::DaaContainer* container, int32_t volume) = 0;
    virtual platform::FileHandle RequestVolume(containers::DaaContainer* container, int32_t volume) = 0;
    virtual platform::FileHandle OpenMzpVolumeFile(containers::MzpContainer* container, int32_t volume) = 0;
    virtual platform::FileHandle OpenXdiPartFile(containers::XdiContainer* container, int32_t part) = 0;
    virtual void ReportTooManyVolumes() = 0;
    // Makes path the first volume of a multi-volume set it belongs to; empties
    // it when that volume cannot be opened; leaves other paths unchanged.
    virtual void RedirectToFirstVolume(std::u16string& path) = 0;
    virtual bool ApplySfxIcon(containers::DaaContainer* container) = 0;
    // One line in the open progress dialog's log; nothing when none is open.
    virtual void AddProgressLogLine(std::u16string_view text) = 0;
};

namespace detail {
class DialogStandIn final : public IDialogServices {
public:
    int ChooseSession(image::ImageContext*, bool) override { return 0; }
    int ChooseDiskPartition(image::ImageContext*, const uint8_t*) override { return NotAvailable(-1); }
    int ChooseWimImage(image::ImageContext*, int32_t) override { return NotAvailable(-1); }
    bool AskPassword(image::ImageContext*, const uint8_t*) override { return NotAvailable(0) != 0; }
    platform::FileHandle OpenDaaVolumeFile(containers::DaaContainer*, int32_t) override { return NoHandle(); }
    platform::FileHandle RequestVolume(containers::DaaContainer*, int32_t) override { return NoHandle(); }
    platform::FileHandle OpenMzpVolumeFile(containers::MzpContainer*, int32_t) override { return NoHandle(); }
    platform::FileHandle OpenXdiPartFile(containers::XdiContainer*, int32_t) override { return NoHandle(); }
    void ReportTooManyVolumes() override {}
    void RedirectToFirstVolume(std::u16string&) override {}
    bool ApplySfxIcon(containers::DaaContainer*) override { return NotAvailable(0) != 0; }
    void AddProgressLogLine(std::u16string_view) override {}

private:
    static int NotAvailable(int result) {
        platform::SetLastError(platform::kErrorNotSupported);
        return result;
    }
    static platform::FileHandle NoHandle() {
        platform::SetLastError(platform::kErrorNotSupported);
        return nullptr;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IDialogServices, detail::DialogStandIn>& DialogServicesSlot() {
    static foundation::ServiceSlot<IDialogServices, detail::DialogStandIn> slot;
    return slot;
}
inline IDialogServices& DialogServices() { return DialogServicesSlot().Get(); }
// Not owned; null restores the stand-in.
inline IDialogServices* SetDialogServices(IDialogServices* services) { return DialogServicesSlot().Install(services); }

inline int ChooseSession(image::ImageContext* ctx, bool buildTree) {
    return DialogServices().ChooseSession(ctx, buildTree);
}
inline int ChooseDiskPartition(image::ImageContext* ctx, const uint8_t masterBootRecord[512]) {
    return DialogServices().ChooseDiskPartition(ctx, masterBootRecord);
}
inline int ChooseWimImage(image::ImageContext* ctx, int32_t imageCount) {
    return DialogServices().ChooseWimImage(ctx, imageCount);
}
inline bool AskPassword(image::ImageContext* ctx, const uint8_t* passwordCheck) {
    return DialogServices().AskPassword(ctx, passwordCheck);
}
inline platform::FileHandle OpenDaaVolumeFile(containers::DaaContainer* container, int32_t volume) {
    return DialogServices().OpenDaaVolumeFile(container, volume);
}
inline platform::FileHandle RequestVolume(containers::DaaContainer* container, int32_t volume) {
    return DialogServices().RequestVolume(container, volume);
}
inline platform::FileHandle OpenMzpVolumeFile(containers::MzpContainer* container, int32_t volume) {
    return DialogServices().OpenMzpVolumeFile(container, volume);
}
inline platform::FileHandle OpenXdiPartFile(containers::XdiContainer* container, int32_t part) {
    return DialogServices().OpenXdiPartFile(container, part);
}
inline void ReportTooManyVolumes() { DialogServices().ReportTooManyVolumes(); }
inline void RedirectToFirstVolume(std::u16string& path) { DialogServices().RedirectToFirstVolume(path); }
inline bool ApplySfxIcon(containers::DaaContainer* container) { return DialogServices().ApplySfxIcon(container); }
inline void AddProgressLogLine(std::u16string_view text) { DialogServices().AddProgressLogLine(text); }

}  // namespace foundation
