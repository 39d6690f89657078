#include "app/audio_track_services.h"

#include "app/extract_job.h"
#include "foundation/operation_status.h"
#include "platform/last_error.h"

namespace app::detail {

int AudioTrackStandIn::ExtractAudioTrack(image::ImageContext&, int32_t, uint8_t, std::u16string_view folder,
                                         foundation::ProgressCallbacks*) {
    // No writer: the track's data cannot be produced, which the job counts as
    // a failed read, reported once like any writer's failure.
    platform::SetLastError(platform::kErrorNotSupported);
    if (foundation::OperationStatus.load() == foundation::kStatusNone)
        foundation::OperationStatus = foundation::kStatusSourceReadFailed;
    ReportExtractError(folder);
    return -1;
}

}  // namespace app::detail
