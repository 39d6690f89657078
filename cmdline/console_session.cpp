#include "cmdline/console_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "foundation/console.h"
#include "platform/format.h"
#include "platform/named_objects.h"

namespace cmdline {
namespace {

int g_sessionId = 0;

bool PipePath(int pid, const char16_t* stream, std::string& path) {
    return platform::NamedPipePath(ConsolePipeName(pid, stream), path);
}

// A write end waits for the front end's reader; a read end opens at once (the
// front end opens its write end next, before the last pipe, so once the last
// pipe is open the writer is there).
int OpenEnd(const std::string& path, bool forWriting, std::chrono::steady_clock::time_point deadline) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode) || st.st_uid != ::getuid()) return -1;
    for (;;) {
        const int fd = ::open(path.c_str(), (forWriting ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            const int flags = ::fcntl(fd, F_GETFL);
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

std::u16string ConsolePipeName(int pid, const char16_t* stream) {
    return platform::Format(u"\\\\.\\pipe\\%d%s", pid, stream);
}

std::u16string ConsoleSessionName(int pid) { return platform::Format(u"zarn_sem_%d", pid); }

bool ConsolePipesPresent(int pid) {
    std::string path;
    struct stat st {};
    if (!PipePath(pid, u"cout", path) || ::lstat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return false;
    // The front end holds the session lock before it starts us. FIFOs under
    // our id that no one holds a session for were left by a front end killed
    // while an earlier process had this id: waiting on them would only delay
    // the start, so they go.
    if (platform::NamedMutex::Open(ConsoleSessionName(pid))) return true;
    for (const char16_t* stream : {u"cout", u"cin", u"cerr"}) platform::DeleteNamedPipe(ConsolePipeName(pid, stream));
    return false;
}

bool BindConsolePipes(int pid, int timeoutMs) {
    std::string out, in, err;
    if (!PipePath(pid, u"cout", out) || !PipePath(pid, u"cin", in) || !PipePath(pid, u"cerr", err)) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const int outFd = OpenEnd(out, true, deadline);
    const int inFd = outFd >= 0 ? OpenEnd(in, false, deadline) : -1;
    const int errFd = inFd >= 0 ? OpenEnd(err, true, deadline) : -1;
    if (errFd < 0) {
        if (outFd >= 0) ::close(outFd);
        if (inFd >= 0) ::close(inFd);
        return false;
    }
    ::dup2(outFd, 1);
    ::dup2(inFd, 0);
    ::dup2(errFd, 2);
    ::close(outFd);
    ::close(inFd);
    ::close(errFd);
    g_sessionId = pid;
    return true;
}

bool ConsoleSessionAlive() {
    if (g_sessionId == 0) return true;
    bool existed = false;
    auto lock = platform::NamedMutex::Create(ConsoleSessionName(g_sessionId), false, &existed);
    return lock != nullptr && existed;
}

void SetConsoleSessionId(int pid) { g_sessionId = pid; }

void PrintConsoleBanner() {
    foundation::ConsoleWriteString(u"\r\nQuendravine Version 2.8\r\n            Type zarn -? for help\r\n\r\n");
}

void ConsoleWriteResultMarker(bool flag) { foundation::ConsoleWriteEchoMarker(flag); }

}  // namespace cmdline
