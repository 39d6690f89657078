#pragma once
// Half-written output files that are deleted when an operation ends (the
// extraction worker after its last item, the audio-track saver after a failed
// file) and, at the latest, when the program exits normally.

#include <cstddef>
#include <string_view>

#include "foundation/file_io.h"

namespace foundation {

// Appends {copy of path, handle}; the queue takes over the handle. now = true
// runs DeleteQueuedFiles at once. Out of memory drops the request.
void QueueFileForDeletion(std::u16string_view path, FileHandle handle, bool now);
// From the front: closes each entry's handle (so the deletion can succeed),
// deletes the file and drops the entry.
void DeleteQueuedFiles();
size_t QueuedFileCount();

}  // namespace foundation
