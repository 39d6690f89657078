#include "foundation/deletion_queue.h"

#include <deque>
#include <mutex>
#include <new>
#include <string>

namespace foundation {
namespace {

struct QueuedFile {
    std::u16string path;
    FileHandle handle = nullptr;   // owned; closed before the deletion
};

struct DeletionQueue {
    std::mutex lock;
    std::deque<QueuedFile> entries;

    // Files still queued when the program ends normally go too.
    ~DeletionQueue() { Drain(); }

    void Drain() {
        for (;;) {
            QueuedFile entry;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (entries.empty()) return;
                entry = std::move(entries.front());
                entries.pop_front();
            }
            // Closed first, so the deletion finds no writer on the file.
            if (entry.handle) platform::FileClose(entry.handle);
            platform::DeleteFileAt(entry.path);
        }
    }
};

DeletionQueue& Queue() {
    static DeletionQueue queue;
    return queue;
}

}  // namespace

void QueueFileForDeletion(std::u16string_view path, FileHandle handle, bool now) {
    DeletionQueue& queue = Queue();
    try {
        QueuedFile entry{std::u16string(path), handle};
        std::lock_guard<std::mutex> guard(queue.lock);
        queue.entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        // Out of memory drops the request; the handle stays with the caller.
        return;
    }
    if (now) DeleteQueuedFiles();
}

void DeleteQueuedFiles() { Queue().Drain(); }

size_t QueuedFileCount() {
    DeletionQueue& queue = Queue();
    std::lock_guard<std::mutex> guard(queue.lock);
    return queue.entries.size();
}

}  // namespace foundation
