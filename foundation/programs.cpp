#include "foundation/programs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/launch_services.h"
#include "foundation/language.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/window_faces.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/text.h"

namespace foundation {

namespace {

// Runs a program to its end and gives its standard output; nothing when it
// could not start or did not exit with 0.
std::optional<std::string> RunForOutput(const std::vector<std::u16string>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    platform::ProcessStartOptions options;
    options.stdoutFd = fds[1];
    std::unique_ptr<platform::Process> child = platform::Process::Start(argv, options);
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
    if (!child) return std::nullopt;
    while (child->Wait(1000) == platform::kWaitTimeout) {
    }
    if (child->ExitCode() != 0) return std::nullopt;
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
};
// Shared with every waiter thread: a detached waiter may still finish while
// the program exits, and must not find its lock gone.
const std::shared_ptr<Waiters>& TheWaitersPtr() {
    static const std::shared_ptr<Waiters> waiters = std::make_shared<Waiters>();
    return waiters;
}
Waiters& TheWaiters() { return *TheWaitersPtr(); }

// Owned by its waiter thread.
struct LaunchRecord {
    std::unique_ptr<platform::Process> process;
    std::u16string path;
};

// The waiter thread's body: waits in steps of a second until the program has
// ended, reads its exit code and releases the launch record.
void WaitForLaunchedProcess(std::unique_ptr<LaunchRecord> record, std::shared_ptr<Waiters> shared) {
    while (record->process->Wait(1000) == platform::kWaitTimeout) {
    }
    const int exitCode = static_cast<int>(record->process->ExitCode());
    Waiters& waiters = *shared;
    if (!record->path.empty()) LaunchServices().LaunchEnded(record->path, exitCode);
    record.reset();
    std::lock_guard<std::mutex> guard(waiters.lock);
    --waiters.running;
    waiters.idle.notify_all();
}

bool StartWatched(const std::vector<std::u16string>& argv, std::u16string_view path) {
    auto record = std::make_unique<LaunchRecord>();
    record->path = std::u16string(path);
    record->process = platform::Process::Start(argv);
    if (!record->process) return false;
    Waiters& waiters = TheWaiters();
    {
        std::lock_guard<std::mutex> guard(waiters.lock);
        ++waiters.running;
    }
    std::thread(WaitForLaunchedProcess, std::move(record), TheWaitersPtr()).detach();
    return true;
}

// A path handed to another program as an argument. One that starts with '-'
// would read as an option of that program (an extracted item may well be
// named "--help" or "-e"), so it goes with "./" in front, which names the
// same file.
std::u16string PathArgument(std::u16string_view path) {
    std::u16string argument;
    if (!path.empty() && path.front() == u'-') argument = u"./";
    argument.append(path);
    return argument;
}

// Started and reaped in the background, nobody told.
bool StartUnwatched(const std::vector<std::u16string>& argv) { return StartWatched(argv, u""); }

// The desktop has an application for the file's type.
bool HasAssociation(std::u16string_view path) {
    auto type = RunForOutput({u"xdg-mime", u"query", u"filetype", PathArgument(path)});
    if (!type) return false;
    std::string mime = FirstLine(*type);
    mime = mime.substr(0, mime.find(';'));
    if (mime.empty()) return false;
    auto application = RunForOutput({u"xdg-mime", u"query", u"default", platform::Utf8ToUtf16(mime)});
    return application && !FirstLine(*application).empty();
}

bool StartProgramIn(const std::u16string& folder, std::u16string_view program,
                    const std::vector<std::u16string>& arguments) {
    if (folder.empty()) return false;  // GetInstallDir has set the last error
    std::vector<std::u16string> argv{CombinePath(folder, program)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return StartUnwatched(argv);
}

constexpr std::u16string_view kHomePage = u"https://www.quendravine.example/";
constexpr std::u16string_view kHomePageChinese = u"https://cn.quendravine.example/";
constexpr std::u16string_view kSupportMail = u"support@quendravine.example";
constexpr uint32_t kLanguageChineseSimplified = 2052;

}  // namespace

bool LaunchFile(std::u16string_view path, LaunchMode mode) {
    if (path.empty()) return false;
    switch (mode) {
        case LaunchMode::Open:
            if (!HasAssociation(path)) {
                platform::SetLastError(platform::kErrorNotFound);
                return false;
            }
            return StartWatched({u"xdg-open", PathArgument(path)}, path);
        case LaunchMode::OpenWith: {
            WindowFaces* faces = InstalledWindowFaces();
            return faces != nullptr && faces->OpenWithChooser(path);
        }
        case LaunchMode::DefaultViewer: {
            const std::u16string viewer = GetDefaultViewer();
            if (viewer.empty()) return false;
            return StartWatched({viewer, PathArgument(path)}, path);
        }
    }
    return false;
}

bool SetDefaultViewer(std::u16string_view program) { return WriteSettingString(u"DefaultViewer", program); }

void ShellOpen(std::u16string_view fileOrLink) {
    if (fileOrLink.empty()) return;
    StartUnwatched({u"xdg-open", PathArgument(fileOrLink)});
}

bool RestartElevated(const std::vector<std::u16string>& arguments) {
    return StartProgramIn(GetInstallDir(), u"quendravine", arguments);
}

bool StartHelperElevated(const std::vector<std::u16string>& arguments) {
    return StartProgramIn(GetVirtualDriveInstallDir(), u"qvhelper", arguments);
}

int32_t SendFileByMail(std::u16string_view path) {
    if (!StartWatched({u"xdg-email", u"--attach", PathArgument(path)}, path)) {
        return platform::GetLastError() == platform::kErrorNotEnoughMemory ? kMailOutOfMemory : kMailProgramMissing;
    }
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

void WaitForLaunchWaiters() {
    Waiters& waiters = TheWaiters();
    std::unique_lock<std::mutex> guard(waiters.lock);
    waiters.idle.wait(guard, [&] { return waiters.running == 0; });
}

}  // namespace foundation
