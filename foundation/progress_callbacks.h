#pragma once
// The progress entry points the operation progress dialog fills before it starts
// its worker, and hands to the worker routine. A null record means that no
// progress dialog runs (console or quiet operation). The entries are called on
// the worker thread and only update the dialog; an empty entry is skipped.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

namespace foundation {

// A manual-reset event: stays signalled from Set() until Reset().
class CancelEvent {
public:
    void Set() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            signalled_.store(true);
        }
        signal_.notify_all();
    }
    void Reset() { signalled_.store(false); }
    bool IsSet() const { return signalled_.load(); }
    // True when signalled within the time.
    bool WaitFor(std::chrono::milliseconds time) {
        std::unique_lock<std::mutex> guard(lock_);
        return signal_.wait_for(guard, time, [this] { return signalled_.load(); });
    }

private:
    std::mutex lock_;
    std::condition_variable signal_;
    std::atomic<bool> signalled_{false};
};

struct ProgressCallbacks {
    std::function<void(int64_t totalBytes)> SetTotal;
    std::function<void(int64_t bytesJustDone)> AddDone;
    std::function<void(int64_t bytesDoneSoFar)> SetDone;
    std::function<void()> Finish;
    std::function<void(std::u16string_view itemName)> SetCurrentItem;
    std::function<void()> NarrowStatus;     // the identical-data search shows its counter
    std::function<void(std::u16string_view counterText)> ShowOptimizing;
    std::function<void()> WidenStatus;
    std::function<void()> Reset;

    CancelEvent cancelEvent;                // signalled when the user presses Cancel
    void* dialogWindow = nullptr;           // the dialog's window (opaque to the engines)
    // The document or request the operation works on, set by callers that
    // need it (the save puts the document being written here).
    void* context = nullptr;
    // 0 running, 1 while the user holds the operation paused. Written by the
    // window thread, read by the worker.
    std::atomic<int32_t> paused{0};
    // 1 once Finish was called; a second Finish changes nothing.
    std::atomic<int32_t> finished{0};
};

}  // namespace foundation
