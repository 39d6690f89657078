#include "window/models/worker_priority.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>

#include "tests/support/test_support.h"

namespace {

std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
}

// What ps and ionice say of one thread.
std::string NiceOf(int tid) {
    return Trim(qvtest::RunOk("ps -L -o tid=,ni= -p " + std::to_string(getpid()) + " | awk '$1==" +
                              std::to_string(tid) + " {print $2}'"));
}
std::string IoClassOf(int tid) { return Trim(qvtest::RunOk("ionice -p " + std::to_string(tid))); }

TEST(WorkerPriority, LoweredInTheBackgroundAndRestored) {
    if (qvtest::Run("command -v ionice && command -v ps").exitCode != 0) GTEST_SKIP() << "ionice or ps missing";
    std::atomic<int> tid{0};
    std::latch started(1);
    std::latch stop(1);
    std::thread worker([&] {
        tid = static_cast<int>(syscall(SYS_gettid));
        started.count_down();
        stop.wait();
    });
    started.wait();
    const std::string niceBefore = NiceOf(tid);
    const std::string ioBefore = IoClassOf(tid);

    const dialogs::SavedThreadPriority saved = dialogs::LowerThreadPriority(tid);
    EXPECT_TRUE(saved.ioLowered);
    EXPECT_EQ(IoClassOf(tid), "idle");
    if (saved.niceLowered) {
        EXPECT_EQ(NiceOf(tid), "19");
    } else {
        EXPECT_EQ(NiceOf(tid), niceBefore);   // not allowed to come back: left alone
    }
    dialogs::RestoreThreadPriority(saved);
    EXPECT_EQ(NiceOf(tid), niceBefore);
    EXPECT_EQ(IoClassOf(tid), ioBefore);
    // The process itself is untouched.
    EXPECT_EQ(IoClassOf(getpid()), ioBefore);
    stop.count_down();
    worker.join();
}

TEST(WorkerPriority, NoThreadNoChange) {
    const dialogs::SavedThreadPriority saved = dialogs::LowerThreadPriority(0);
    EXPECT_FALSE(saved.ioLowered);
    EXPECT_FALSE(saved.niceLowered);
    dialogs::RestoreThreadPriority(saved);
}

}  // namespace
