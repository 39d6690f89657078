#include "foundation/programs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/language.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/window_faces.h"
#include "platform/last_error.h"
#include "platform/text.h"

extern char** environ;

namespace foundation {

namespace {

// Starting and reaping child processes. A small stand-in of our own until the
// platform layer's process calls are linked here.
struct SpawnResult {
    pid_t pid = -1;
    int error = 0;
};

SpawnResult Spawn(const std::vector<std::string>& argv, int stdoutFd = -1) {
    SpawnResult result;
    if (argv.empty()) {
        result.error = EINVAL;
        return result;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.error = rc;
        platform::SetLastErrorFromErrno(rc);
        return result;
    }
    result.pid = pid;
    return result;
}

int WaitExitCode(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a program to its end and gives its standard output; nothing when it
// could not start or did not exit with 0.
std::optional<std::string> RunForOutput(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    const SpawnResult child = Spawn(argv, fds[1]);
    close(fds[1]);
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            // A query answers in a line; more than this is not an answer.
            if (output.size() < 65536) output.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    close(fds[0]);
    if (child.pid < 0) return std::nullopt;
    if (WaitExitCode(child.pid) != 0) return std::nullopt;
    return output;
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// The waiter threads: one per launched program, each owning its launch record.
struct Waiters {
    std::mutex lock;
    std::condition_variable idle;
    size_t running = 0;
    LaunchEndedHook hook;
};
// Shared with every waiter thread: a detached waiter may still finish while
// the program exits, and must not find its lock gone.
const std::shared_ptr<Waiters>& TheWaitersPtr() {
    static const std::shared_ptr<Waiters> waiters = std::make_shared<Waiters>();
    return waiters;
}
Waiters& TheWaiters() { return *TheWaitersPtr(); }

struct LaunchRecord {
    pid_t pid = -1;
    std::u16string path;
};

void WaitForLaunchedProcess(std::unique_ptr<LaunchRecord> record, std::shared_ptr<Waiters> shared) {
    const int exitCode = WaitExitCode(record->pid);
    Waiters& waiters = *shared;
    LaunchEndedHook hook;
    {
        std::lock_guard<std::mutex> guard(waiters.lock);
        hook = waiters.hook;
    }
    if (hook) hook(record->path, exitCode);
    record.reset();
    std::lock_guard<std::mutex> guard(waiters.lock);
    --waiters.running;
    waiters.idle.notify_all();
}

bool StartWatched(const std::vector<std::string>& argv, std::u16string_view path) {
    auto record = std::make_unique<LaunchRecord>();
    record->path = std::u16string(path);
    const SpawnResult child = Spawn(argv);
    if (child.pid < 0) return false;
    record->pid = child.pid;
    Waiters& waiters = TheWaiters();
    {
        std::lock_guard<std::mutex> guard(waiters.lock);
        ++waiters.running;
    }
    std::thread(WaitForLaunchedProcess, std::move(record), TheWaitersPtr()).detach();
    return true;
}

// Started and reaped in the background, nobody told.
bool StartUnwatched(const std::vector<std::string>& argv) { return StartWatched(argv, u""); }

bool ToNarrow(std::u16string_view text, std::string& out) { return platform::Utf16ToUtf8Strict(text, out); }

// The desktop has an application for the file's type.
bool HasAssociation(const std::string& path) {
    auto type = RunForOutput({"xdg-mime", "query", "filetype", path});
    if (!type) return false;
    std::string mime = FirstLine(*type);
    mime = mime.substr(0, mime.find(';'));
    if (mime.empty()) return false;
    auto application = RunForOutput({"xdg-mime", "query", "default", mime});
    return application && !FirstLine(*application).empty();
}

bool StartProgramIn(const std::u16string& folder, std::u16string_view program,
                    const std::vector<std::u16string>& arguments) {
    std::string file;
    if (!ToNarrow(CombinePath(folder, program), file)) return false;
    std::vector<std::string> argv{file};
    for (const std::u16string& a : arguments) {
        std::string narrow;
        if (!ToNarrow(a, narrow)) return false;
        argv.push_back(narrow);
    }
    return StartUnwatched(argv);
}

constexpr std::u16string_view kHomePage = u"https://www.quendravine.example/";
constexpr std::u16string_view kHomePageChinese = u"https://cn.quendravine.example/";
constexpr std::u16string_view kSupportMail = u"support@quendravine.example";
constexpr uint32_t kLanguageChineseSimplified = 2052;

}  // namespace

bool LaunchFile(std::u16string_view path, LaunchMode mode) {
    std::string file;
    if (!ToNarrow(path, file)) return false;
    switch (mode) {
        case LaunchMode::Open:
            if (!HasAssociation(file)) {
                platform::SetLastError(platform::kErrorNotFound);
                return false;
            }
            return StartWatched({"xdg-open", file}, path);
        case LaunchMode::OpenWith: {
            WindowFaces* faces = InstalledWindowFaces();
            return faces != nullptr && faces->OpenWithChooser(path);
        }
        case LaunchMode::DefaultViewer: {
            std::string viewer;
            if (!ToNarrow(GetDefaultViewer(), viewer) || viewer.empty()) return false;
            return StartWatched({viewer, file}, path);
        }
    }
    return false;
}

bool SetDefaultViewer(std::u16string_view program) { return WriteSettingString(u"DefaultViewer", program); }

void ShellOpen(std::u16string_view fileOrLink) {
    std::string target;
    if (fileOrLink.empty() || !ToNarrow(fileOrLink, target)) return;
    StartUnwatched({"xdg-open", target});
}

bool RestartElevated(const std::vector<std::u16string>& arguments) {
    return StartProgramIn(GetInstallDir(), u"quendravine", arguments);
}

bool StartHelperElevated(const std::vector<std::u16string>& arguments) {
    return StartProgramIn(GetVirtualDriveInstallDir(), u"qvhelper", arguments);
}

int32_t SendFileByMail(std::u16string_view path) {
    std::string file;
    if (!ToNarrow(path, file)) return kMailProgramMissing;
    const SpawnResult child = Spawn({"xdg-email", "--attach", file});
    if (child.pid < 0) return kMailProgramMissing;
    Waiters& waiters = TheWaiters();
    {
        std::lock_guard<std::mutex> guard(waiters.lock);
        ++waiters.running;
    }
    auto record = std::make_unique<LaunchRecord>();
    record->pid = child.pid;
    record->path = std::u16string(path);
    std::thread(WaitForLaunchedProcess, std::move(record), TheWaitersPtr()).detach();
    return kMailHandedOver;
}

std::u16string GetWebLinkForLanguage(int32_t kind, uint32_t uiLanguageId) {
    // The support address is one mailbox whatever the language.
    if (kind == 3) return std::u16string(kSupportMail);
    if (uiLanguageId == kLanguageChineseSimplified) {
        std::u16string link(kHomePageChinese);
        if (kind != 6) link.append(u"index.htm");
        return link;
    }
    std::u16string link(kHomePage);
    switch (kind) {
        case 2: link.append(u"order.htm"); break;
        case 4: link.append(u"download.htm"); break;
        case 5: link.append(u"virtual-drive.htm"); break;
        case 7: link.append(u"tutorial/index.htm"); break;
        default: break;
    }
    return link;
}

std::u16string GetWebLink(int32_t kind) { return GetWebLinkForLanguage(kind, GetLanguageTable().uiLanguageId); }

void SetLaunchEndedHook(LaunchEndedHook hook) {
    Waiters& waiters = TheWaiters();
    std::lock_guard<std::mutex> guard(waiters.lock);
    waiters.hook = std::move(hook);
}

void WaitForLaunchWaiters() {
    Waiters& waiters = TheWaiters();
    std::unique_lock<std::mutex> guard(waiters.lock);
    waiters.idle.wait(guard, [&] { return waiters.running == 0; });
}

}  // namespace foundation
