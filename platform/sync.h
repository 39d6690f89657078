#pragma once
// Threads and synchronisation with the semantics the program was written
// against: events with manual and automatic reset, timed waits that answer
// kWaitObject0 or kWaitTimeout, recursive mutexes and critical sections,
// joinable threads that report an exit code. Nothing here throws or aborts.

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitAbandoned = 0x80;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;

// The exit code of a thread whose function ended by an exception: the code
// the program's first system gave a thread that died of an uncaught C++
// exception.
constexpr uint32_t kThreadExitException = 0xE06D7363u;
// GetExitCode's answer while a thread or process is still running.
constexpr uint32_t kStillActive = 259;

enum class EventReset { Manual, Auto };

class Event {
public:
    explicit Event(EventReset reset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool Set();
    bool Reset();
    // kWaitObject0 when signalled (an auto-reset event is reset by the wait
    // that takes it), kWaitTimeout after timeoutMs (kInfinite waits forever).
    uint32_t Wait(uint32_t timeoutMs);
    bool IsSet() const;

private:
    friend uint32_t WaitForEvents(std::initializer_list<Event*> events, bool waitAll, uint32_t timeoutMs);
    bool manual_;
    bool signaled_;
};

// Waits for one (kWaitObject0 + index of the first signalled) or all of the
// events. kWaitFailed with kErrorInvalidParameter for an empty or null list.
uint32_t WaitForEvents(std::initializer_list<Event*> events, bool waitAll, uint32_t timeoutMs);

// A recursive mutex with timed acquisition. Lock/Unlock by the owning thread;
// lock()/unlock() make it usable with std::lock_guard.
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    uint32_t Lock(uint32_t timeoutMs = kInfinite);
    // False with kErrorNotOwner when the calling thread does not hold it.
    bool Unlock();
    void lock() { Lock(kInfinite); }
    void unlock() { Unlock(); }

private:
    std::recursive_timed_mutex mutex_;
    std::atomic<uint32_t> owner_{0};
    uint32_t depth_ = 0;
};

// A recursive critical section.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void Leave() { mutex_.unlock(); }
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a critical section for one scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~CriticalSectionLock() { section_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};

// A joinable thread. The destructor joins a thread still running (never
// detaches, never terminates the process).
class Thread {
public:
    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False (last error kErrorNotEnoughMemory, or kErrorBusy while the last
    // body still runs) when the thread could not start. A thread whose body
    // has returned is joined first, so one object can run bodies in turn.
    bool Start(std::function<uint32_t()> body);
    // kWaitObject0 once the body has returned, kWaitTimeout otherwise.
    uint32_t Wait(uint32_t timeoutMs);
    // Waits for the end and releases the thread; true when one had started.
    bool Join();
    // The body's result, kStillActive while it runs.
    uint32_t ExitCode() const;
    bool Running() const;
    // Set when the body has returned, for WaitForEvents with other events.
    Event& Finished();

private:
    struct State;
    std::unique_ptr<State> state_;
};

void Sleep(uint32_t milliseconds);
// Milliseconds since an arbitrary start, never going backwards.
uint64_t GetTickCount64();
uint32_t GetTickCount();
uint32_t CurrentThreadId();
uint32_t CurrentProcessId();

}  // namespace platform
