#pragma once
// The writer of an audio track as a music file, for the extraction job. The
// audio side installs it (app/audio_save_routes.h) with the readers; until
// then a track cannot be extracted: the stand-in reports it once, as the
// writer would, with last error kErrorNotSupported.

#include <cstdint>
#include <string_view>

#include "foundation/progress_callbacks.h"
#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace app {

class IAudioTrackServices {
public:
    virtual ~IAudioTrackServices() = default;
    // Writes audio track `index` of the document's track list as a music file
    // into the folder (its name from the audio file-name template); trackFlag
    // is the music format code (0 or 1 WAV). 1 done, 0 cancelled, -1 failed;
    // the writer reports its own failure once, naming its file, and leaves
    // OperationStatus saying why.
    virtual int ExtractAudioTrack(image::ImageContext& ctx, int32_t index, uint8_t trackFlag,
                                  std::u16string_view folder, foundation::ProgressCallbacks* progress) = 0;
};

namespace detail {
class AudioTrackStandIn final : public IAudioTrackServices {
public:
    int ExtractAudioTrack(image::ImageContext& ctx, int32_t index, uint8_t trackFlag, std::u16string_view folder,
                          foundation::ProgressCallbacks* progress) override;
};
}  // namespace detail

inline foundation::ServiceSlot<IAudioTrackServices, detail::AudioTrackStandIn>& AudioTrackServicesSlot() {
    static foundation::ServiceSlot<IAudioTrackServices, detail::AudioTrackStandIn> slot;
    return slot;
}
inline IAudioTrackServices& AudioTrackServices() { return AudioTrackServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IAudioTrackServices* SetAudioTrackServices(IAudioTrackServices* services) {
    return AudioTrackServicesSlot().Install(services);
}

}  // namespace app
