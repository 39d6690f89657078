#pragma once
// The one place where a worker loop learns that the user pressed Cancel or Pause
// in the operation progress dialog. Called between units of work on worker
// threads; the dialog only sets the cancel event and the paused word.

#include <cstdint>

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

// 1: go on with the next unit of work. 0: cancelled (OperationStatus is then 1;
// the caller stops, frees what it holds and returns its cancel result). A null
// record (no progress dialog) gives 1 at once. While paused the call sleeps in
// 100 ms steps; a cancel wins over a pause.
int32_t WaitIfPaused(foundation::ProgressCallbacks* progress);

}  // namespace image
