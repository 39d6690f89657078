#pragma once
// What saving tracks needs of the extraction side, which lives beside the audio
// code and may not be reached from it directly: the question before an existing
// file is replaced, and the one error report of a failed file. The window
// program installs the real ones at start-up; until then the stand-in asks the
// plain overwrite question and reports through the plain error box.

#include <cstdint>
#include <string_view>

#include "foundation/messages.h"
#include "foundation/services.h"

namespace audio {

class IAudioSaveServices {
public:
    virtual ~IAudioSaveServices() = default;
    // 0 the file may be written, -1 skip it (the standing overwrite answer
    // tells a cancel of the whole operation).
    virtual int ConfirmOverwrite(std::u16string_view path) = 0;
    // Shows the failure of path from OperationStatus and the last error text,
    // once; nothing for no status or a cancel.
    virtual void ReportExtractError(std::u16string_view path) = 0;
};

namespace detail {
class AudioSaveStandIn final : public IAudioSaveServices {
public:
    int ConfirmOverwrite(std::u16string_view path) override { return foundation::AskOverwriteFile(path); }
    void ReportExtractError(std::u16string_view path) override {
        const int32_t status = foundation::OperationStatus.load();
        if (status != foundation::kStatusNone && status != foundation::kStatusCancelled) foundation::ShowLastError(path);
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IAudioSaveServices, detail::AudioSaveStandIn>& AudioSaveServicesSlot() {
    static foundation::ServiceSlot<IAudioSaveServices, detail::AudioSaveStandIn> slot;
    return slot;
}
inline IAudioSaveServices& AudioSaveServices() { return AudioSaveServicesSlot().Get(); }
// Not owned; null restores the stand-in.
inline IAudioSaveServices* SetAudioSaveServices(IAudioSaveServices* services) {
    return AudioSaveServicesSlot().Install(services);
}

}  // namespace audio
