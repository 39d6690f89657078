#include "image/document/pause_cancel.h"

#include <chrono>
#include <thread>

#include "foundation/progress_callbacks.h"
#include "foundation/operation_status.h"

namespace image {

int32_t WaitIfPaused(foundation::ProgressCallbacks* progress) {
    if (progress == nullptr) return 1;
    for (;;) {
        if (progress->cancelEvent.IsSet()) {
            foundation::OperationStatus = foundation::kStatusCancelled;
            return 0;
        }
        if (progress->paused.load() == 0) return 1;
        // Waiting on the event rather than sleeping blindly lets a cancel during
        // a pause end the wait at once; a continue is seen within 100 ms.
        progress->cancelEvent.WaitFor(std::chrono::milliseconds(100));
    }
}

}  // namespace image
