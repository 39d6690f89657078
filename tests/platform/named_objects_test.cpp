#include "platform/folders.h"
#include "platform/last_error.h"
#include "platform/named_objects.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::EventReset;
using platform::kInfinite;
using platform::kWaitObject0;
using platform::kWaitTimeout;

// Every test gets its own runtime folder and object names no parallel test uses.
// Shared memory lives in one system-wide folder (/dev/shm), so the names carry
// the runtime folder's own random part: unique among the tests running now,
// and never the name of an object a crashed earlier run left behind under a
// reused process id.
class PlatformNamedObjects : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string unique = runtime_.path().substr(runtime_.path().rfind('/') + 1);
        prefix_ = platform::Utf8ToUtf16(unique + "-" + std::to_string(getpid()) + "-" + info->name() + "-");
    }
    std::u16string Name(const std::u16string& base) const { return prefix_ + base; }
    std::string RuntimeFile(const std::string& name) const { return runtime_.path() + "/quendravine/" + name; }
    std::string ShmFile(const std::u16string& base) const {
        std::string path;
        EXPECT_TRUE(platform::SharedObjectPath(Name(base), path));
        return path;
    }

    qvtest::TempDir runtime_;
    std::u16string prefix_;
};

// Runs body in a forked child; its return value is the child's exit code.
pid_t Fork(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int ExitCodeOf(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A one-byte handshake between parent and child.
struct Signal {
    int fds[2] = {-1, -1};
    Signal() { EXPECT_EQ(pipe(fds), 0); }
    ~Signal() {
        close(fds[0]);
        close(fds[1]);
    }
    void Post() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
    // Gives up after a while, so a child that died early fails the test
    // instead of hanging it.
    bool Take() {
        struct pollfd watch {fds[0], POLLIN, 0};
        char c;
        return poll(&watch, 1, 10000) == 1 && read(fds[0], &c, 1) == 1;
    }
};

TEST_F(PlatformNamedObjects, MutexIsALockFileAcrossProcesses) {
    bool existed = true;
    auto mutex = platform::NamedMutex::Create(u"Global\\" + Name(u"m"), true, &existed);
    ASSERT_NE(mutex, nullptr);
    EXPECT_FALSE(existed);
    std::string lockFile = RuntimeFile("mutex-" + platform::Utf16ToUtf8(Name(u"m")));
    // The flock tool sees the lock we hold.
    EXPECT_EQ(qvtest::Run("flock -n " + qvtest::ShellQuote(lockFile) + " true").exitCode, 1);
    EXPECT_EQ(qvtest::RunOk("stat -c %a " + qvtest::ShellQuote(lockFile)), "600\n");

    Signal childReady;
    Signal parentReleased;
    pid_t child = Fork([&]() -> int {
        bool childExisted = false;
        auto other = platform::NamedMutex::Create(u"Local\\" + Name(u"m"), true, &childExisted);
        if (!other || !childExisted || platform::GetLastError() != platform::kErrorAlreadyExists) return 10;
        if (other->Wait(30) != kWaitTimeout) return 11;
        childReady.Post();
        parentReleased.Take();
        if (other->Wait(10000) != kWaitObject0) return 12;
        // Ends while owning: the mutex is abandoned.
        return 0;
    });
    childReady.Take();
    EXPECT_EQ(mutex->Wait(0), kWaitObject0);   // recursive
    EXPECT_TRUE(mutex->Release());
    EXPECT_TRUE(mutex->Release());
    parentReleased.Post();
    EXPECT_EQ(ExitCodeOf(child), 0);
    EXPECT_EQ(mutex->Wait(10000), platform::kWaitAbandoned);
    EXPECT_TRUE(mutex->Release());
    EXPECT_EQ(mutex->Wait(0), kWaitObject0);
    EXPECT_TRUE(mutex->Release());
    EXPECT_EQ(qvtest::Run("flock -n " + qvtest::ShellQuote(lockFile) + " true").exitCode, 0);

    platform::SetLastError(0);
    EXPECT_FALSE(mutex->Release());
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotOwner);
}

// One object shared by two threads: flock alone would let both in.
TEST_F(PlatformNamedObjects, MutexObjectSharedByThreads) {
    auto mutex = platform::NamedMutex::Create(Name(u"threads"), false);
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(mutex->Wait(0), kWaitObject0);
    uint32_t whileHeld = 0;
    uint32_t afterRelease = 0;
    bool otherRelease = true;
    platform::Event tried(EventReset::Manual);
    platform::Event released(EventReset::Manual);
    std::thread other([&] {
        whileHeld = mutex->Wait(30);
        otherRelease = mutex->Release();
        tried.Set();
        released.Wait(10000);
        afterRelease = mutex->Wait(10000);
        mutex->Release();
    });
    tried.Wait(10000);
    EXPECT_TRUE(mutex->Release());
    released.Set();
    other.join();
    EXPECT_EQ(whileHeld, kWaitTimeout);
    EXPECT_FALSE(otherRelease);
    EXPECT_EQ(afterRelease, kWaitObject0);
}

TEST_F(PlatformNamedObjects, MutexOpenNeedsAHolder) {
    {
        auto held = platform::NamedMutex::Create(Name(u"open"), false);
        ASSERT_NE(held, nullptr);
        auto opened = platform::NamedMutex::Open(Name(u"open"));
        ASSERT_NE(opened, nullptr);
        EXPECT_EQ(opened->Wait(0), kWaitObject0);
        EXPECT_EQ(held->Wait(0), kWaitTimeout);
        EXPECT_TRUE(opened->Release());
    }
    // The lock file goes with its last holder: runs leave nothing behind.
    struct stat st {};
    EXPECT_NE(lstat(RuntimeFile("mutex-" + platform::Utf16ToUtf8(Name(u"open"))).c_str(), &st), 0);
    platform::SetLastError(0);
    EXPECT_EQ(platform::NamedMutex::Open(Name(u"open")), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    bool existed = true;
    auto again = platform::NamedMutex::Create(Name(u"open"), false, &existed);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(existed);
}

// A killed holder's lock file is left; the next opener finds no one holding
// it and removes it.
TEST_F(PlatformNamedObjects, KilledHoldersLockFileIsClearedByTheNextOpener) {
    const std::string lockFile = RuntimeFile("mutex-" + platform::Utf16ToUtf8(Name(u"killed")));
    Signal childReady;
    pid_t child = Fork([&]() -> int {
        auto mutex = platform::NamedMutex::Create(Name(u"killed"), true);
        if (!mutex) return 10;
        childReady.Post();
        pause();
        return 0;
    });
    ASSERT_TRUE(childReady.Take());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    struct stat st {};
    EXPECT_EQ(lstat(lockFile.c_str(), &st), 0);
    EXPECT_EQ(platform::NamedMutex::Open(Name(u"killed")), nullptr);
    EXPECT_NE(lstat(lockFile.c_str(), &st), 0);
}

// A party killed while it waits (or at any other point) leaves nothing that
// blocks the others.
TEST_F(PlatformNamedObjects, EventOutlivesAKilledWaiter) {
    auto event = platform::NamedEvent::Create(Name(u"wake"), EventReset::Auto, false);
    ASSERT_NE(event, nullptr);
    Signal childReady;
    pid_t child = Fork([&]() -> int {
        auto mine = platform::NamedEvent::Open(Name(u"wake"));
        if (!mine) return 10;
        childReady.Post();
        mine->Wait(platform::kInfinite);
        return 0;
    });
    ASSERT_TRUE(childReady.Take());
    usleep(50000);   // into its wait
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    Signal woke;
    pid_t waiter = Fork([&]() -> int {
        auto mine = platform::NamedEvent::Open(Name(u"wake"));
        return mine && mine->Wait(10000) == kWaitObject0 ? 0 : 11;
    });
    usleep(50000);
    EXPECT_TRUE(event->Set());
    EXPECT_EQ(ExitCodeOf(waiter), 0);
    EXPECT_EQ(event->Wait(0), kWaitTimeout);
}

// Two sessions of one user with different runtime folders (a desktop and an
// ssh login) never meet in /dev/shm, whatever the objects are called.
TEST_F(PlatformNamedObjects, EachRuntimeFolderHasObjectsOfItsOwn) {
    auto here = platform::NamedEvent::Create(Name(u"session"), EventReset::Manual, false);
    ASSERT_NE(here, nullptr);
    qvtest::TempDir otherRuntime;
    setenv("XDG_RUNTIME_DIR", otherRuntime.path().c_str(), 1);
    EXPECT_EQ(platform::NamedEvent::Open(Name(u"session")), nullptr);
    bool existed = true;
    auto there = platform::NamedEvent::Create(Name(u"session"), EventReset::Manual, false, &existed);
    ASSERT_NE(there, nullptr);
    EXPECT_FALSE(existed);
    there->Set();
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    EXPECT_EQ(here->Wait(0), kWaitTimeout);
    // The token that keeps them apart is private to the folder's owner.
    struct stat st {};
    ASSERT_EQ(stat(RuntimeFile("objects-token").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PlatformNamedObjects, EventsAcrossProcesses) {
    auto request = platform::NamedEvent::Create(Name(u"request"), EventReset::Auto, false);
    auto reply = platform::NamedEvent::Create(Name(u"reply"), EventReset::Manual, false);
    ASSERT_NE(request, nullptr);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(qvtest::RunOk("stat -c %a " + qvtest::ShellQuote(ShmFile(u"request"))), "600\n");

    Signal childReady;
    pid_t child = Fork([&]() -> int {
        auto req = platform::NamedEvent::Open(u"Global\\" + Name(u"request"));
        bool existed = false;
        auto rep = platform::NamedEvent::Create(Name(u"reply"), EventReset::Auto, true, &existed);
        if (!req || !rep || !existed) return 10;
        if (req->Wait(20) != kWaitTimeout) return 11;
        childReady.Post();
        for (int i = 0; i < 3; ++i) {
            if (req->Wait(10000) != kWaitObject0) return 12;
            rep->Set();
        }
        return 0;
    });
    childReady.Take();
    for (int i = 0; i < 3; ++i) {
        request->Set();
        if (reply->Wait(10000) != kWaitObject0) {
            ADD_FAILURE() << "no reply " << i << ", child ended with " << ExitCodeOf(child);
            return;
        }
        // Manual reset (the creator's choice stands): still set until reset.
        EXPECT_EQ(reply->Wait(0), kWaitObject0);
        reply->Reset();
    }
    EXPECT_EQ(ExitCodeOf(child), 0);
    EXPECT_EQ(request->Wait(0), kWaitTimeout);   // each wait took its set

    // The names go with their last holder.
    request.reset();
    reply.reset();
    struct stat st {};
    EXPECT_NE(stat(ShmFile(u"request").c_str(), &st), 0);
    platform::SetLastError(0);
    EXPECT_EQ(platform::NamedEvent::Open(Name(u"request")), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
}

TEST_F(PlatformNamedObjects, MappingAcrossProcesses) {
    bool existed = true;
    auto mapping = platform::SharedMapping::Create(Name(u"channel"), 65536, &existed);
    ASSERT_NE(mapping, nullptr);
    EXPECT_FALSE(existed);
    ASSERT_EQ(mapping->Size(), 65536u);
    auto* bytes = static_cast<unsigned char*>(mapping->Data());
    for (size_t i = 0; i < mapping->Size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
    std::memcpy(bytes, "request", 7);
    auto done = platform::NamedEvent::Create(Name(u"done"), EventReset::Auto, false);
    ASSERT_NE(done, nullptr);

    pid_t child = Fork([&]() -> int {
        auto view = platform::SharedMapping::Open(Name(u"channel"));
        auto finished = platform::NamedEvent::Open(Name(u"done"));
        if (!view || !finished || view->Size() != 65536) return 10;
        auto* data = static_cast<char*>(view->Data());
        if (std::memcmp(data, "request", 7) != 0) return 11;
        std::memcpy(data + 65536 - 5, "reply", 5);
        finished->Set();
        return 0;
    });
    ASSERT_EQ(done->Wait(10000), kWaitObject0);
    EXPECT_EQ(std::memcmp(bytes + 65536 - 5, "reply", 5), 0);
    EXPECT_EQ(ExitCodeOf(child), 0);

    // An existing mapping keeps its size; the name is not an event.
    auto second = platform::SharedMapping::Create(Name(u"channel"), 10, &existed);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(existed);
    EXPECT_EQ(second->Size(), 65536u);
    platform::SetLastError(0);
    EXPECT_EQ(platform::NamedEvent::Open(Name(u"channel")), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidHandle);

    // An unnamed mapping is shared with forked children.
    auto anonymous = platform::SharedMapping::Create(u"", 4096);
    ASSERT_NE(anonymous, nullptr);
    pid_t writer = Fork([&]() -> int {
        std::memcpy(anonymous->Data(), "child", 5);
        return 0;
    });
    EXPECT_EQ(ExitCodeOf(writer), 0);
    EXPECT_EQ(std::memcmp(anonymous->Data(), "child", 5), 0);
}

TEST_F(PlatformNamedObjects, MappingThatDoesNotFitIsAClearError) {
    platform::SetLastError(0);
    EXPECT_EQ(platform::SharedMapping::Create(Name(u"huge"), 1ull << 39), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
    struct stat st {};
    EXPECT_NE(stat(ShmFile(u"huge").c_str(), &st), 0);
    EXPECT_EQ(platform::SharedMapping::Create(Name(u"empty"), 0), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
}

TEST_F(PlatformNamedObjects, PipesAreFifosInTheRuntimeFolder) {
    std::u16string name = u"\\\\.\\pipe\\" + Name(u"out");
    ASSERT_TRUE(platform::CreateNamedPipe(name));
    EXPECT_FALSE(platform::CreateNamedPipe(name));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
    std::string path;
    ASSERT_TRUE(platform::NamedPipePath(name, path));
    EXPECT_EQ(path, RuntimeFile("pipe-" + platform::Utf16ToUtf8(Name(u"out"))));
    EXPECT_EQ(qvtest::RunOk("stat -c '%a %F' " + qvtest::ShellQuote(path)), "600 fifo\n");

    pid_t child = Fork([&]() -> int {
        platform::FileHandle out = platform::OpenNamedPipe(name, platform::FileAccess::Write, 10000);
        if (!out) return 10;
        const char text[] = "line one\n\xC3\xA9t\xC3\xA9\n";
        int64_t n = platform::FileWriteAt(out, platform::kCurrentPosition, text, sizeof text - 1);
        platform::FileClose(out);
        return n == static_cast<int64_t>(sizeof text - 1) ? 0 : 11;
    });
    platform::FileHandle in = platform::OpenNamedPipe(name, platform::FileAccess::Read, 10000);
    ASSERT_NE(in, nullptr);
    std::string received;
    char buf[64];
    int64_t n;
    while ((n = platform::FileReadAt(in, platform::kCurrentPosition, buf, sizeof buf)) > 0) {
        received.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(n, 0);
    platform::FileClose(in);
    EXPECT_EQ(received, "line one\n\xC3\xA9t\xC3\xA9\n");
    EXPECT_EQ(ExitCodeOf(child), 0);

    // Nobody at the other end: a timed open gives up.
    platform::SetLastError(0);
    EXPECT_EQ(platform::OpenNamedPipe(name, platform::FileAccess::Write, 30), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorWaitTimeout);
    EXPECT_EQ(platform::OpenNamedPipe(name, platform::FileAccess::Read, 30), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorWaitTimeout);

    // A reader that went away is a broken pipe, not a fatal signal.
    Signal opened;
    pid_t reader = Fork([&]() -> int {
        int fd = open(path.c_str(), O_RDONLY);
        opened.Post();
        close(fd);
        return 0;
    });
    platform::FileHandle out = platform::OpenNamedPipe(name, platform::FileAccess::Write, 10000);
    ASSERT_NE(out, nullptr);
    opened.Take();
    EXPECT_EQ(ExitCodeOf(reader), 0);
    platform::SetLastError(0);
    EXPECT_EQ(platform::FileWriteAt(out, platform::kCurrentPosition, "x", 1), -1);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorBrokenPipe);
    platform::FileClose(out);

    EXPECT_TRUE(platform::DeleteNamedPipe(name));
    EXPECT_EQ(platform::OpenNamedPipe(name, platform::FileAccess::Read, 0), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
}

TEST_F(PlatformNamedObjects, NamesStayInsideTheirNamespace) {
    auto mutex = platform::NamedMutex::Create(u"../../" + Name(u"evil/name"), false);
    ASSERT_NE(mutex, nullptr);
    std::string listing = qvtest::RunOk("ls " + qvtest::ShellQuote(runtime_.path() + "/quendravine"));
    EXPECT_NE(listing.find("mutex-..%2F..%2F"), std::string::npos) << listing;
    EXPECT_EQ(qvtest::RunOk("ls " + qvtest::ShellQuote(runtime_.path())), "quendravine\n");

    platform::SetLastError(0);
    EXPECT_EQ(platform::NamedEvent::Create(u"bad\xD800", EventReset::Auto, false), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName);
    EXPECT_EQ(platform::NamedMutex::Create(u"", false), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName);
    EXPECT_EQ(platform::NamedMutex::Create(std::u16string(300, u'n'), false), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFilenameTooLong);

    // An unusable runtime folder is reported, not worked around.
    qvtest::WriteFileText(runtime_ / "file", "x");
    setenv("XDG_RUNTIME_DIR", (runtime_ / "file").c_str(), 1);
    EXPECT_EQ(platform::NamedMutex::Create(Name(u"m"), false), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    EXPECT_FALSE(platform::CreateNamedPipe(Name(u"p")));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

}  // namespace
