// Lowering the priority of a compression thread leaves the others alone.

#include "platform/thread_priority.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace {

int NiceOfThisThread() { return ::getpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid))); }

TEST(ThreadPriority, OnlyTheCallingThreadIsLowered) {
    const int before = NiceOfThisThread();
    int lowered = 0;
    std::thread worker([&] {
        platform::LowerCurrentThreadPriority();
        lowered = NiceOfThisThread();
    });
    worker.join();
    EXPECT_EQ(lowered, 19);
    EXPECT_EQ(NiceOfThisThread(), before);
}

}  // namespace
