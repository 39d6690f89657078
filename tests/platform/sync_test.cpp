#include "platform/last_error.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using platform::Event;
using platform::EventReset;
using platform::kInfinite;
using platform::kWaitObject0;
using platform::kWaitTimeout;

TEST(PlatformEvent, ManualResetStaysSetUntilReset) {
    Event event(EventReset::Manual);
    EXPECT_EQ(event.Wait(0), kWaitTimeout);
    event.Set();
    EXPECT_EQ(event.Wait(0), kWaitObject0);
    EXPECT_EQ(event.Wait(10), kWaitObject0);
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_EQ(event.Wait(0), kWaitTimeout);

    // One Set releases every waiter of a manual-reset event.
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (event.Wait(kInfinite) == kWaitObject0) ++woken;
        });
    }
    event.Set();
    for (std::thread& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 3);
    Event initially(EventReset::Manual, true);
    EXPECT_EQ(initially.Wait(0), kWaitObject0);
}

TEST(PlatformEvent, AutoResetReleasesOneWaiterPerSet) {
    Event event(EventReset::Auto, true);
    EXPECT_EQ(event.Wait(0), kWaitObject0);
    EXPECT_EQ(event.Wait(0), kWaitTimeout);   // the wait took it

    std::atomic<int> woken{0};
    Event ready(EventReset::Manual);
    std::thread a([&] { if (event.Wait(kInfinite) == kWaitObject0) ++woken; });
    std::thread b([&] { if (event.Wait(kInfinite) == kWaitObject0) ++woken; });
    event.Set();
    while (woken.load() == 0) platform::Sleep(1);
    platform::Sleep(50);
    EXPECT_EQ(woken.load(), 1);
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 2);
    EXPECT_FALSE(event.IsSet());
}

TEST(PlatformEvent, TimedWaitWaitsItsTime) {
    Event event(EventReset::Auto);
    uint64_t start = platform::GetTickCount64();
    platform::SetLastError(0);
    EXPECT_EQ(event.Wait(60), kWaitTimeout);
    EXPECT_GE(platform::GetTickCount64() - start, 60u);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorWaitTimeout);

    std::thread setter([&] {
        platform::Sleep(30);
        event.Set();
    });
    EXPECT_EQ(event.Wait(10000), kWaitObject0);
    setter.join();
}

TEST(PlatformEvent, WaitForAnyOrAll) {
    Event stop(EventReset::Manual);
    Event work(EventReset::Auto);
    EXPECT_EQ(platform::WaitForEvents({&stop, &work}, false, 0), kWaitTimeout);
    work.Set();
    EXPECT_EQ(platform::WaitForEvents({&stop, &work}, false, 0), kWaitObject0 + 1);
    EXPECT_FALSE(work.IsSet());
    stop.Set();
    work.Set();
    EXPECT_EQ(platform::WaitForEvents({&stop, &work}, false, 0), kWaitObject0);   // lowest index first
    EXPECT_TRUE(work.IsSet());

    Event other(EventReset::Auto);
    EXPECT_EQ(platform::WaitForEvents({&stop, &other}, true, 20), kWaitTimeout);
    EXPECT_TRUE(stop.IsSet());   // nothing taken while not all were set
    other.Set();
    EXPECT_EQ(platform::WaitForEvents({&stop, &other}, true, 0), kWaitObject0);
    EXPECT_FALSE(other.IsSet());
    EXPECT_TRUE(stop.IsSet());

    platform::SetLastError(0);
    EXPECT_EQ(platform::WaitForEvents({}, false, 0), platform::kWaitFailed);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
    EXPECT_EQ(platform::WaitForEvents({&stop, nullptr}, false, 0), platform::kWaitFailed);
}

TEST(PlatformMutex, RecursiveTimedAndOwned) {
    platform::Mutex mutex;
    EXPECT_EQ(mutex.Lock(), kWaitObject0);
    EXPECT_EQ(mutex.Lock(0), kWaitObject0);   // recursive
    uint32_t otherResult = 0;
    bool otherUnlock = true;
    uint32_t otherError = 0;
    std::thread other([&] {
        otherResult = mutex.Lock(30);
        otherUnlock = mutex.Unlock();
        otherError = platform::GetLastError();
    });
    other.join();
    EXPECT_EQ(otherResult, kWaitTimeout);
    EXPECT_FALSE(otherUnlock);
    EXPECT_EQ(otherError, platform::kErrorNotOwner);
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock());

    std::thread again([&] {
        otherResult = mutex.Lock(1000);
        otherUnlock = mutex.Unlock();
    });
    again.join();
    EXPECT_EQ(otherResult, kWaitObject0);
    EXPECT_TRUE(otherUnlock);
}

TEST(PlatformCriticalSection, SerialisesAndNests) {
    platform::CriticalSection section;
    long counter = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                platform::CriticalSectionLock outer(section);
                platform::CriticalSectionLock inner(section);
                ++counter;
            }
        });
    }
    for (std::thread& t : workers) t.join();
    EXPECT_EQ(counter, 80000);
    section.Enter();
    bool tried = true;
    std::thread probe([&] { tried = section.TryEnter(); });
    probe.join();
    EXPECT_FALSE(tried);
    section.Leave();
}

TEST(PlatformThread, StartWaitJoinAndExitCode) {
    Event go(EventReset::Manual);
    platform::Thread thread;
    uint32_t seenThreadId = 0;
    ASSERT_TRUE(thread.Start([&]() -> uint32_t {
        seenThreadId = platform::CurrentThreadId();
        go.Wait(kInfinite);
        return 42;
    }));
    EXPECT_EQ(thread.Wait(20), kWaitTimeout);
    EXPECT_TRUE(thread.Running());
    EXPECT_EQ(thread.ExitCode(), platform::kStillActive);
    EXPECT_FALSE(thread.Start([] { return 0u; }));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorBusy);
    go.Set();
    EXPECT_EQ(platform::WaitForEvents({&thread.Finished()}, false, 10000), kWaitObject0);
    EXPECT_EQ(thread.Wait(kInfinite), kWaitObject0);
    EXPECT_EQ(thread.ExitCode(), 42u);
    EXPECT_TRUE(thread.Join());
    EXPECT_NE(seenThreadId, platform::CurrentThreadId());
    EXPECT_FALSE(thread.Running());

    // An exception ends the thread with its own code instead of ending the process.
    ASSERT_TRUE(thread.Start([]() -> uint32_t { throw std::runtime_error("boom"); }));
    EXPECT_EQ(thread.Wait(10000), kWaitObject0);
    EXPECT_EQ(thread.ExitCode(), platform::kThreadExitException);
    // A finished body leaves the object ready for the next without a Join.
    ASSERT_TRUE(thread.Start([]() -> uint32_t { return 7; }));
    EXPECT_TRUE(thread.Join());
    EXPECT_EQ(thread.ExitCode(), 7u);

    // A thread still running when its object goes is joined, not abandoned.
    std::atomic<bool> done{false};
    {
        platform::Thread scoped;
        ASSERT_TRUE(scoped.Start([&]() -> uint32_t {
            platform::Sleep(30);
            done = true;
            return 0;
        }));
    }
    EXPECT_TRUE(done.load());
}

TEST(PlatformClock, TicksAreMonotonicAndSleepSleeps) {
    uint64_t a = platform::GetTickCount64();
    platform::Sleep(25);
    uint64_t b = platform::GetTickCount64();
    EXPECT_GE(b - a, 25u);
    EXPECT_EQ(platform::CurrentProcessId(), static_cast<uint32_t>(getpid()));
}

}  // namespace
