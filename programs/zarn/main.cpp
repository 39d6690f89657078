// zarn: the console front end of the program. It starts "quendravine" in
// console mode, linked by three FIFOs named after the started process's id and
// a session lock it holds while it waits, relays standard input, output and
// error, hides typed input between the program's echo markers, restores the
// terminal on every way out, and exits with the program's exit code (128 + the
// signal's number when a signal ended it). The program runs in its own
// process group, so Ctrl+C reaches only this front end; the program sees the
// session gone and ends on its own.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cmdline/console_session.h"
#include "cmdline/front_end_arguments.h"
#include "echo_markers.h"
#include "platform/folders.h"
#include "platform/last_error.h"
#include "platform/named_objects.h"
#include "platform/text.h"

namespace {

int g_signalPipe[2] = {-1, -1};
bool g_haveTerminal = false;
termios g_savedTerminal{};

void RestoreTerminal() {
    if (g_haveTerminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
}

void SetEcho(bool on) {
    if (!g_haveTerminal) return;
    termios t = g_savedTerminal;
    if (!on) t.c_lflag &= tcflag_t(~ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &t);
}

void OnSignal(int sig) {
    const unsigned char byte = static_cast<unsigned char>(sig);
    const int saved = errno;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

void WriteAll(int fd, std::string_view bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += size_t(n);
    }
}

std::string ProgramPath() {
    std::u16string folder;
    if (platform::GetProgramFolder(folder)) {
        const std::string path = platform::Utf16ToUtf8(folder) + "/quendravine";
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return "quendravine";
}

int StatusToExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

struct Pipes {
    int pid = 0;
    std::string paths[3];
    ~Pipes() {
        for (const std::string& p : paths)
            if (!p.empty()) ::unlink(p.c_str());
    }
};

// The write end of the program's input: waits for its reader (the program
// opens it right after its output); false when the program ended first.
int OpenInputEnd(const std::string& path, pid_t child, int& status, bool& ended) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO && errno != EINTR) return -1;
        if (::waitpid(child, &status, WNOHANG) == child) {
            ended = true;
            return -1;
        }
        ::usleep(2000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(g_signalPipe, O_CLOEXEC) != 0) return 1;
    g_haveTerminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;

    int sync[2];
    if (::pipe2(sync, O_CLOEXEC) != 0) return 1;
    // The arguments go to the program over a pipe of its own, never in its
    // argv, where every local user could read a password; ours are blanked.
    int handOver[2];
    if (::pipe2(handOver, O_CLOEXEC) != 0) return 1;
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(argv[i]);
        arguments.push_back('\0');
        std::memset(argv[i], 0, std::strlen(argv[i]));
    }
    const std::string program = ProgramPath();
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("zarn");
        return 1;
    }
    if (child == 0) {
        // Its own process group: the terminal's Ctrl+C is the front end's.
        ::setpgid(0, 0);
        ::close(sync[1]);
        char go = 0;
        if (::read(sync[0], &go, 1) != 1 || go != 1) _exit(127);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        ::close(handOver[1]);
        ::fcntl(handOver[0], F_SETFD, 0);
        ::setenv(cmdline::kArgumentsFdVariable, std::to_string(handOver[0]).c_str(), 1);
        std::vector<char*> args{const_cast<char*>(program.c_str()), nullptr};
        ::execvp(args[0], args.data());
        std::fprintf(stderr, "zarn: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    ::setpgid(child, child);
    ::close(sync[0]);
    ::close(handOver[0]);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);

    Pipes pipes;
    pipes.pid = int(child);
    const char16_t* streams[3] = {u"cout", u"cin", u"cerr"};
    bool made = true;
    for (int i = 0; i < 3 && made; ++i) {
        const std::u16string name = cmdline::ConsolePipeName(int(child), streams[i]);
        made = platform::NamedPipePath(name, pipes.paths[i]) && platform::CreateNamedPipe(name);
        if (!made && platform::GetLastError() == platform::kErrorAlreadyExists) {
            // Left by a front end that was killed while an earlier program
            // had this process id: the id is our child's now, so no one else
            // uses them.
            made = platform::DeleteNamedPipe(name) && platform::CreateNamedPipe(name);
        }
        if (!made) pipes.paths[i].clear();
    }
    bool existed = false;
    std::unique_ptr<platform::NamedMutex> session =
        made ? platform::NamedMutex::Create(cmdline::ConsoleSessionName(int(child)), true, &existed) : nullptr;
    if (!session) {
        const std::string why = platform::Utf16ToUtf8(platform::ErrorText(platform::GetLastError()));
        std::fprintf(stderr, "zarn: cannot make the console pipes in %s: %s\n",
                     platform::RuntimeFolderPathUtf8().c_str(), why.c_str());
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return 1;
    }
    session->Wait(0);

    // The read ends open at once; the program's output end waits for them.
    const int outFd = ::open(pipes.paths[0].c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const char go = 1;
    [[maybe_unused]] ssize_t started = ::write(sync[1], &go, 1);
    ::close(sync[1]);
    // The program reads them first thing; one that never started leaves the
    // write failing (SIGPIPE is ignored).
    WriteAll(handOver[1], arguments);
    ::close(handOver[1]);
    std::fill(arguments.begin(), arguments.end(), '\0');

    int status = 0;
    bool ended = false;
    int inFd = outFd >= 0 ? OpenInputEnd(pipes.paths[1], child, status, ended) : -1;
    const int errFd = inFd >= 0 ? ::open(pipes.paths[2].c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;

    zarn::EchoMarkerFilter filter([](bool on) { SetEcho(on); });
    bool outOpen = errFd >= 0, errOpen = errFd >= 0, inOpen = errFd >= 0;
    int exitCode = -1;
    char buffer[65536];
    while (!ended && (outOpen || errOpen)) {
        pollfd watch[4];
        int count = 0;
        const int sigAt = count;
        watch[count++] = {g_signalPipe[0], POLLIN, 0};
        const int outAt = outOpen ? count : -1;
        if (outOpen) watch[count++] = {outFd, POLLIN, 0};
        const int errAt = errOpen ? count : -1;
        if (errOpen) watch[count++] = {errFd, POLLIN, 0};
        const int inAt = inOpen ? count : -1;
        if (inOpen) watch[count++] = {STDIN_FILENO, POLLIN, 0};
        if (::poll(watch, nfds_t(count), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (watch[sigAt].revents & POLLIN) {
            unsigned char sig = 0;
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &sig, 1);
            exitCode = 128 + sig;
            break;
        }
        if (outAt >= 0 && watch[outAt].revents) {
            const ssize_t n = ::read(outFd, buffer, sizeof buffer);
            if (n > 0) WriteAll(STDOUT_FILENO, filter.Feed(std::string_view(buffer, size_t(n))));
            else if (n == 0 || errno != EINTR) outOpen = false;
        }
        if (errAt >= 0 && watch[errAt].revents) {
            const ssize_t n = ::read(errFd, buffer, sizeof buffer);
            if (n > 0) WriteAll(STDERR_FILENO, std::string_view(buffer, size_t(n)));
            else if (n == 0 || errno != EINTR) errOpen = false;
        }
        if (inAt >= 0 && watch[inAt].revents) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0) {
                WriteAll(inFd, std::string_view(buffer, size_t(n)));
            } else if (n == 0 || errno != EINTR) {
                // End of input reaches the program as the end of its input.
                inOpen = false;
                ::close(inFd);
                inFd = -1;
            }
        }
    }
    WriteAll(STDOUT_FILENO, filter.Flush());
    RestoreTerminal();
    if (exitCode >= 0) {
        // Interrupted: the session lock goes with this process, and the
        // program, no longer watched, ends by itself.
        return exitCode;
    }
    if (!ended) {
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (inFd >= 0) ::close(inFd);
    return StatusToExitCode(status);
}
