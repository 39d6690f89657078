#include "platform/sync.h"

#include "platform/last_error.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <exception>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// One lock and one condition for every event of the process: a wait for any
// of several events then needs no registration with each of them, and events
// are signalled seldom enough that waking every waiter costs nothing that
// matters.
std::mutex& EventLock() {
    static std::mutex lock;
    return lock;
}

std::condition_variable& EventCondition() {
    static std::condition_variable condition;
    return condition;
}

using Clock = std::chrono::steady_clock;

}  // namespace

Event::Event(EventReset reset, bool initiallySet) : manual_(reset == EventReset::Manual), signaled_(initiallySet) {}

bool Event::Set() {
    {
        std::lock_guard<std::mutex> guard(EventLock());
        signaled_ = true;
    }
    EventCondition().notify_all();
    return true;
}

bool Event::Reset() {
    std::lock_guard<std::mutex> guard(EventLock());
    signaled_ = false;
    return true;
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> guard(EventLock());
    return signaled_;
}

uint32_t Event::Wait(uint32_t timeoutMs) { return WaitForEvents({this}, false, timeoutMs); }

uint32_t WaitForEvents(std::initializer_list<Event*> events, bool waitAll, uint32_t timeoutMs) {
    if (events.size() == 0) {
        SetLastError(kErrorInvalidParameter);
        return kWaitFailed;
    }
    for (Event* e : events) {
        if (e == nullptr) {
            SetLastError(kErrorInvalidParameter);
            return kWaitFailed;
        }
    }
    // Checks and, when satisfied, takes the events (auto-reset ones reset).
    auto take = [&]() -> uint32_t {
        if (waitAll) {
            for (Event* e : events) {
                if (!e->signaled_) return kWaitTimeout;
            }
            for (Event* e : events) {
                if (!e->manual_) e->signaled_ = false;
            }
            return kWaitObject0;
        }
        uint32_t index = 0;
        for (Event* e : events) {
            if (e->signaled_) {
                if (!e->manual_) e->signaled_ = false;
                return kWaitObject0 + index;
            }
            ++index;
        }
        return kWaitTimeout;
    };
    std::unique_lock<std::mutex> lock(EventLock());
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        uint32_t result = take();
        if (result != kWaitTimeout) return result;
        if (timeoutMs == kInfinite) {
            EventCondition().wait(lock);
        } else if (EventCondition().wait_until(lock, deadline) == std::cv_status::timeout) {
            result = take();
            if (result == kWaitTimeout) SetLastError(kErrorWaitTimeout);
            return result;
        }
    }
}

uint32_t Mutex::Lock(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        mutex_.lock();
    } else if (!mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs))) {
        SetLastError(kErrorWaitTimeout);
        return kWaitTimeout;
    }
    owner_.store(CurrentThreadId(), std::memory_order_relaxed);
    ++depth_;
    return kWaitObject0;
}

bool Mutex::Unlock() {
    // Releasing a mutex another thread holds is refused, not undefined.
    if (owner_.load(std::memory_order_relaxed) != CurrentThreadId() || depth_ == 0) {
        SetLastError(kErrorNotOwner);
        return false;
    }
    if (--depth_ == 0) owner_.store(0, std::memory_order_relaxed);
    mutex_.unlock();
    return true;
}

struct Thread::State {
    std::thread thread;
    Event finished{EventReset::Manual, false};
    uint32_t exitCode = kStillActive;   // written before finished is set
};

Thread::Thread() : state_(std::make_unique<State>()) {}

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<uint32_t()> body) {
    if (state_->thread.joinable()) {
        if (!state_->finished.IsSet()) {
            SetLastError(kErrorBusy);
            return false;
        }
        // The last body has returned: release its thread and start anew.
        state_->thread.join();
    }
    if (!body) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    state_->finished.Reset();
    state_->exitCode = kStillActive;
    State* state = state_.get();
    try {
        state_->thread = std::thread([state, body = std::move(body)]() {
            uint32_t code;
            try {
                code = body();
            } catch (...) {
                code = kThreadExitException;
            }
            state->exitCode = code;
            state->finished.Set();
        });
    } catch (const std::system_error&) {
        SetLastError(kErrorNotEnoughMemory);
        return false;
    }
    return true;
}

uint32_t Thread::Wait(uint32_t timeoutMs) {
    if (!state_->thread.joinable()) return kWaitObject0;
    return state_->finished.Wait(timeoutMs);
}

bool Thread::Join() {
    if (!state_->thread.joinable()) return false;
    if (state_->thread.get_id() == std::this_thread::get_id()) {
        // A thread cannot wait for itself; leave it to end on its own.
        state_->thread.detach();
        return false;
    }
    state_->thread.join();
    return true;
}

uint32_t Thread::ExitCode() const {
    // Reading under the event lock pairs with the Set that follows the write.
    return state_->finished.IsSet() ? state_->exitCode : kStillActive;
}

bool Thread::Running() const { return state_->thread.joinable() && !state_->finished.IsSet(); }

Event& Thread::Finished() { return state_->finished; }

void Sleep(uint32_t milliseconds) {
    struct timespec request {
        static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L
    };
    struct timespec remaining {};
    while (nanosleep(&request, &remaining) != 0) request = remaining;
}

uint64_t GetTickCount64() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace platform
