#include "shellext/program_start.h"

#include <chrono>
#include <dlfcn.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "foundation/registry.h"
#include "foundation/settings.h"
#include "platform/format.h"
#include "platform/named_objects.h"
#include "platform/process.h"
#include "platform/text.h"
#include "shellext/shell_extension.h"
#include "vdrive/virtual_drives.h"

namespace shellext {
namespace {

constexpr uint32_t kStartPauseMs = 100;
constexpr uint32_t kMountWaitMs = 5000;

std::u16string WithoutTrailingSlash(std::u16string path) {
    while (path.size() > 1 && path.back() == u'/') path.pop_back();
    return path;
}

std::optional<std::u16string> NonEmptyString(foundation::RegistryHive hive, std::u16string_view key,
                                             std::u16string_view name) {
    auto value = foundation::RegistryRead(hive, key, name);
    if (!value || value->type != foundation::RegistryValueType::String || value->text.empty()) return std::nullopt;
    return value->text;
}

std::u16string LibraryFolder() {
    const std::u16string file = LibraryFilePath();
    const size_t slash = file.rfind(u'/');
    if (slash == std::u16string::npos) return {};
    return slash == 0 ? std::u16string(u"/") : file.substr(0, slash);
}

bool IsExecutableFile(const std::u16string& path) {
    std::string utf8;
    struct stat st {};
    return platform::Utf16ToUtf8Strict(path, utf8) && ::stat(utf8.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(utf8.c_str(), X_OK) == 0;
}

class StandInDialogs final : public IShellDialogServices {
public:
    std::optional<std::u16string> ChooseFileToMount() override { return std::nullopt; }
    bool RunDriveConfiguration() override { return platform::Process::Start({MainProgramPath()}) != nullptr; }
};

foundation::ServiceSlot<IShellDialogServices, StandInDialogs>& DialogSlot() {
    static foundation::ServiceSlot<IShellDialogServices, StandInDialogs> slot;
    return slot;
}

}  // namespace

std::u16string LibraryFilePath() {
    Dl_info info {};
    if (dladdr(reinterpret_cast<void*>(&LibraryFilePath), &info) == 0 || !info.dli_fname) return {};
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (!resolved) return {};
    std::u16string path = platform::Utf8ToUtf16(resolved);
    ::free(resolved);
    return path;
}

IShellDialogServices* SetShellDialogServices(IShellDialogServices* services) { return DialogSlot().Install(services); }
IShellDialogServices& ShellDialogServices() { return DialogSlot().Get(); }

std::u16string GetMainProgramDir() {
    if (auto dir = NonEmptyString(foundation::RegistryHive::LocalMachine, foundation::kInstallKey, u"Install_Dir"))
        return WithoutTrailingSlash(*dir);
    if (auto dir = NonEmptyString(foundation::RegistryHive::CurrentUser, foundation::kSettingsKey, u"Install_Dir"))
        return WithoutTrailingSlash(*dir);
    return LibraryFolder();
}

std::u16string MainProgramPath() {
    const std::u16string dir = GetMainProgramDir();
    return dir.empty() ? std::u16string() : dir + u"/quendravine";
}

std::u16string HelperProgramPath() {
    std::u16string dir;
    if (auto own = foundation::GetVirtualDriveString(u"Install_Dir"); own && !own->empty())
        dir = WithoutTrailingSlash(*own);
    else
        dir = GetMainProgramDir();
    return dir.empty() ? std::u16string() : dir + u"/qvhelper";
}

bool IsVirtualDriveInstalledHere() { return IsExecutableFile(HelperProgramPath()); }

std::u16string OwnerWindowText(uintptr_t window) {
    std::u16string text;
    for (int i = 0; i < 4; ++i) text += platform::Format(u"%02x", uint32_t((window >> (8 * i)) & 0xFF));
    return text;
}

int RunMainProgramCommand(const std::vector<std::u16string>& command, bool wait) {
    const std::u16string dir = GetMainProgramDir();
    if (dir.empty()) return -1;
    std::vector<std::u16string> argv = {dir + u"/quendravine", u"-ii2", u"-hwnd", OwnerWindowText(OwnerWindow())};
    std::unique_ptr<platform::NamedEvent> event;
    if (wait) {
        std::random_device random;
        const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        const std::u16string name = platform::Format(u"PE_%08x%08x", uint32_t(ticks), uint32_t(random()));
        event = platform::NamedEvent::Create(name, platform::EventReset::Auto, false);
        if (event) {
            argv.push_back(u"-evt");
            argv.push_back(name);
        }
    }
    argv.insert(argv.end(), command.begin(), command.end());
    auto process = platform::Process::Start(argv);
    if (!process) return -1;
    if (!event) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartPauseMs));
    // The event says the command is done; a program that ends without it has
    // failed when its code says so. Past the time the mount counts as under way.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMountWaitMs);
    while (std::chrono::steady_clock::now() < until) {
        if (event->Wait(20) == platform::kWaitObject0) return 0;
        if (process->Wait(0) == platform::kWaitObject0) {
            if (event->Wait(0) == platform::kWaitObject0) return 0;
            return process->ExitCode() == 0 ? 0 : -1;
        }
    }
    return 0;
}

int MountImageOnDrive(char16_t letter, const std::u16string& file) {
    return RunMainProgramCommand({u"mount", file, std::u16string(1, letter) + u":"}, true);
}

bool MountFileThroughMainProgram(uint32_t index, std::optional<std::u16string> file) {
    const std::vector<vdrive::VirtualDriveEntry> drives = vdrive::GetVirtualDriveList();
    if (index >= drives.size()) return false;
    if (!file) {
        file = ShellDialogServices().ChooseFileToMount();
        if (!file) return true;
    }
    return MountImageOnDrive(drives[index].letter, *file) == 0;
}

bool StartHelper(const std::vector<std::u16string>& arguments) {
    const std::u16string helper = HelperProgramPath();
    if (helper.empty()) return false;
    std::vector<std::u16string> argv = {helper};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return platform::Process::Start(argv) != nullptr;
}

}  // namespace shellext
