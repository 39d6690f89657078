#pragma once
// A question a worker thread hands to the user-interface thread, and the answer
// that comes back. The record is plain; its answer fields are written by the
// prompt before Complete(), and the waiter reads them only after Wait() returns,
// so the hand-over is ordered by the completion lock.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "foundation/messages_ui.h"
#include "platform/file.h"

namespace foundation {

// Prompt kinds; the numbers are the ones the whole program passes around.
namespace prompt_kind {
constexpr int32_t kFileExists = 1;          // answer 0 yes, 1 no, 2 yes to all, 3 no to all, 4 cancel
constexpr int32_t kCreateVolume = 2;        // next volume of an archive being written
constexpr int32_t kVolumeRequired = 3;      // volume required (mode 1)
constexpr int32_t kVolumeRequiredByFormat = 4;  // volume required (mode 0), value = container's format code
constexpr int32_t kMissingVolumes = 5;      // answer 2 cancel, outFlag 1 skip
constexpr int32_t kPassword = 6;            // answer 2 cancel, outText = the password
constexpr int32_t kWrongPassword = 7;       // answer 1 try again, 2 stop
constexpr int32_t kNameChangeNotice = 8;    // no answer
constexpr int32_t kChooseSession = 9;       // choice left in ChosenSessionIndex()
constexpr int32_t kAddProgress = 10;        // no answer
}  // namespace prompt_kind

// Answers of the file-exists prompt (and the standing overwrite answer).
namespace overwrite_answer {
constexpr int32_t kYes = 0;
constexpr int32_t kNo = 1;
constexpr int32_t kYesToAll = 2;
constexpr int32_t kNoToAll = 3;
constexpr int32_t kCancel = 4;
}  // namespace overwrite_answer

// The context a file-exists prompt (kind 1) hands its dialog when its mode is
// not 2: none, as -1.
inline void* NoPromptContext() { return reinterpret_cast<void*>(intptr_t{-1}); }

// What the file-exists question (kind 1) shows: the file on disk and the
// document's item it meets, each side resolved by the asker, so the dialog
// reads no document. Direction -1 is a question that knows the name only.
struct FileExistsSubject {
    int32_t direction = -1;           // 0 adding (the item exists), 1 extracting an item, 2 extracting a track
    std::u16string diskPath;          // the file on disk
    std::u16string itemName;          // the item's folder path and name, or the track's wave name
    int64_t itemSize = -1;            // bytes; -1 unknown
    std::u16string itemTime;          // shown as given; empty when none
    int32_t trackIndex = -1;          // direction 2
};

struct UserPromptRequest {
    int32_t kind = 0;
    intptr_t data = 0;            // kind-specific input: a mode number or a pointer
    std::u16string text;          // message or name shown
    intptr_t value = 0;           // kind-specific second input
    void* context = nullptr;      // kind-specific object (an ImageContext or the caller's record)
    std::u16string path;          // the file concerned: the archive (kind 6), the volume needed (kinds 3-4)
    FileExistsSubject fileExists; // kind 1

    // Written by the prompt.
    int32_t answer = 0;
    std::u16string outText;       // a path or a password
    platform::FileHandle outHandle = nullptr;   // volume prompts (kinds 2-4): the opened file, owned by the asker
    int32_t outFlag = 0;          // kind 5: 1 = skip the volumes that cannot be opened

    // Completion: set once by the prompt's side after the answer is in place.
    void Complete() {
        {
            std::lock_guard<std::mutex> guard(completionLock_);
            completed_ = true;
        }
        completionSignal_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> guard(completionLock_);
        completionSignal_.wait(guard, [this] { return completed_; });
    }
    bool IsComplete() {
        std::lock_guard<std::mutex> guard(completionLock_);
        return completed_;
    }

private:
    std::mutex completionLock_;
    std::condition_variable completionSignal_;
    bool completed_ = false;
};

}  // namespace foundation
