#include "platform/process.h"

#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/text.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

struct Process::State {
    pid_t pid = -1;
    Event ended{EventReset::Manual, false};
    std::atomic<uint32_t> exitCode{kStillActive};
    // Held while reaping and while signalling, so a signal never reaches a
    // process that took over the number of a reaped child.
    std::mutex reapLock;
    bool reaped = false;
};

namespace {

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

}  // namespace

std::unique_ptr<Process> Process::Start(const std::vector<std::u16string>& argv, const ProcessStartOptions& options) {
    if (argv.empty() || argv[0].empty()) {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    std::vector<std::string> arguments;
    arguments.reserve(argv.size());
    for (const std::u16string& arg : argv) {
        std::string utf8;
        if (!Utf16ToUtf8Strict(arg, utf8) || utf8.find('\0') != std::string::npos) {
            SetLastError(kErrorInvalidName);
            return nullptr;
        }
        arguments.push_back(std::move(utf8));
    }
    std::vector<char*> pointers;
    for (std::string& arg : arguments) pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    SpawnActions actions;
    if (!options.workingFolder.empty()) {
        std::string folder;
        if (!Utf16ToUtf8Strict(options.workingFolder, folder)) {
            SetLastError(kErrorInvalidName);
            return nullptr;
        }
        posix_spawn_file_actions_addchdir_np(&actions.actions, folder.c_str());
    }
    const int redirects[3] = {options.stdinFd, options.stdoutFd, options.stderrFd};
    for (int target = 0; target < 3; ++target) {
        if (redirects[target] >= 0) posix_spawn_file_actions_adddup2(&actions.actions, redirects[target], target);
    }
    // The child inherits no descriptor beyond its standard streams: a lock,
    // a pipe end or a command file held here must not stay open in it.
    posix_spawn_file_actions_addclosefrom_np(&actions.actions, 3);
    // The child starts with default signal handling and nothing blocked,
    // whatever this process ignores (it ignores SIGPIPE for its pipes).
    SpawnAttributes attributes;
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGXFSZ}) sigaddset(&defaults, sig);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    bool searchPath = arguments[0].find('/') == std::string::npos;
    int r = searchPath ? posix_spawnp(&pid, arguments[0].c_str(), &actions.actions, &attributes.attributes,
                                      pointers.data(), environ)
                       : posix_spawn(&pid, arguments[0].c_str(), &actions.actions, &attributes.attributes,
                                     pointers.data(), environ);
    if (r != 0) {
        SetLastError(r == ENOENT || r == ENOTDIR ? kErrorFileNotFound : ErrorFromErrno(r));
        return nullptr;
    }

    std::unique_ptr<Process> process(new Process());
    process->state_ = std::make_shared<State>();
    process->state_->pid = pid;
    // The waiter holds the state, so the child is reaped even when nobody
    // keeps its Process; it lives exactly as long as the child.
    std::shared_ptr<State> state = process->state_;
    try {
        std::thread([state]() {
            // Wait for the end but leave the child unreaped until the lock is
            // ours; its number stays taken meanwhile.
            siginfo_t info {};
            while (waitid(P_PID, static_cast<id_t>(state->pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
            }
            int status = 0;
            pid_t got;
            {
                std::lock_guard<std::mutex> guard(state->reapLock);
                do {
                    got = waitpid(state->pid, &status, 0);
                } while (got < 0 && errno == EINTR);
                state->reaped = true;
            }
            uint32_t code = 0xFFFFFFFFu;
            if (got == state->pid) {
                if (WIFEXITED(status)) code = static_cast<uint32_t>(WEXITSTATUS(status));
                else if (WIFSIGNALED(status)) code = 128u + static_cast<uint32_t>(WTERMSIG(status));
            }
            state->exitCode = code;
            state->ended.Set();
        }).detach();
    } catch (const std::system_error&) {
        // Without a waiter nobody could report the end: end the child now.
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        SetLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
    SetLastError(kErrorSuccess);
    return process;
}

Process::~Process() = default;

uint32_t Process::Wait(uint32_t timeoutMs) { return state_->ended.Wait(timeoutMs); }

uint32_t Process::ExitCode() const { return state_->ended.IsSet() ? state_->exitCode.load() : kStillActive; }

bool Process::Terminate() {
    std::lock_guard<std::mutex> guard(state_->reapLock);
    if (state_->reaped) return true;
    if (kill(state_->pid, SIGKILL) != 0 && errno != ESRCH) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

int Process::Id() const { return state_->pid; }

}  // namespace platform
