#include "cmdline/console_start.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/desktop_associations.h"
#include "app/dialog_services.h"
#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "app/part_choosers.h"
#include "app/startup_state.h"
#include "audio/tracks/audio_services_install.h"
#include "cmdline/argument_parser.h"
#include "app/audio_save_routes.h"
#include "cmdline/command_file.h"
#include "cmdline/console_commands.h"
#include "cmdline/console_session.h"
#include "cmdline/front_end_arguments.h"
#include "cmdline/switch_values.h"
#include "foundation/console.h"
#include "foundation/console_prompts.h"
#include "foundation/deletion_queue.h"
#include "foundation/operation_status.h"
#include "foundation/prompt_services.h"
#include "foundation/work_folder.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "platform/named_objects.h"
#include "platform/text.h"

namespace cmdline {
namespace {

// How long the program waits for the front end to open its ends of the pipes.
constexpr int kPipeOpenTimeoutMs = 10000;
// How often a silent command (a long extraction) looks for the front end.
constexpr auto kSessionWatchInterval = std::chrono::milliseconds(200);

bool g_pipeConsole = false;
std::atomic<bool> g_commandDone{false};
// How long a cancelled command is given to remove what it was writing.
constexpr auto kCancelGrace = std::chrono::seconds(10);

enum class HelperMode { None, VirtualDrive, Mount };

HelperMode HelperModeOf(int argc, char** argv) {
    if (argc <= 2) return HelperMode::None;
    if (std::strcmp(argv[1], "-ii1") == 0) return HelperMode::VirtualDrive;
    if (std::strcmp(argv[1], "-ii2") == 0) return HelperMode::Mount;
    return HelperMode::None;
}

// The front end of a piped console, asked after the command's writes.
class PipeSession final : public foundation::IConsoleSessionServices {
public:
    bool SessionAlive() override { return ConsoleSessionAlive(); }
};

// Ends the process when the front end goes away while the command writes
// nothing: the deletion queue removes half-written outputs first.
void WatchSession() {
    std::thread([] {
        for (;;) {
            std::this_thread::sleep_for(kSessionWatchInterval);
            if (!ConsoleSessionAlive()) {
                // The running command is cancelled and given time to take
                // back its partial output before the process ends.
                ConsoleOperationProgress().cancelEvent.Set();
                const auto until = std::chrono::steady_clock::now() + kCancelGrace;
                while (!g_commandDone.load() && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                foundation::DeleteQueuedFiles();
                std::fflush(nullptr);
                _exit(foundation::kExitConsoleLost);
            }
        }
    }).detach();
}

}  // namespace

bool WantsConsole(int argc, char** argv) {
    if (HelperModeOf(argc, argv) != HelperMode::None) return true;
    const int pid = int(::getpid());
    if (!ConsolePipesPresent(pid)) {
        // The window program then: a command file it names is loaded now and
        // run once the window is up.
        InstallCommandFileAction(argc, argv);
        return false;
    }
    // A front end that made the pipes but never opens them leaves the program
    // to start as a window program.
    g_pipeConsole = BindConsolePipes(pid, kPipeOpenTimeoutMs);
    return g_pipeConsole;
}

int RunConsole(int argc, char** argv) {
    const HelperMode helper = HelperModeOf(argc, argv);
    foundation::ConsoleMode = true;
    foundation::LaunchedVirtualDriveMode = helper == HelperMode::VirtualDrive;
    foundation::LaunchedMountMode = helper == HelperMode::Mount;
    if (g_pipeConsole) {
        static PipeSession session;
        foundation::SetConsoleSessionServices(&session);
        WatchSession();
    }

    app::InstallReaders();
    InstallAudioSaveRoutes();
    audio::InstallAudioServices();
    static foundation::ConsolePrompts prompts;
    foundation::SetPromptServices(&prompts);
    app::InstallDialogServices();
    app::InstallPartChoosers();
    app::InstallDesktopAssociations();
    image::g_CurrentDocument = image::NewIsoDocument();
    if (g_pipeConsole) PrintConsoleBanner();

    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) {
        std::u16string arg;
        if (!platform::Utf8ToUtf16Strict(argv[i], arg)) {
            foundation::ConsoleWrite(u"Bad parameter: %s", ShowableText(platform::Utf8ToUtf16(argv[i])));
            return 255;
        }
        args.push_back(std::move(arg));
    }
    HidePasswordArguments(argc, argv);
    CommandLineRequest request;
    const int parsed = ParseCommandLine(args, helper != HelperMode::None, request);
    // "-password" answers the first password question of the command.
    app::SetCommandLinePassword(request.openPassword);
    int result = parsed == 0 ? DispatchConsoleCommand(request) : parsed == 1 ? request.endCode.value_or(0) : -1;
    if (g_pipeConsole && ConsoleOperationProgress().cancelEvent.IsSet()) result = foundation::kExitConsoleLost;
    g_commandDone = true;

    // The shell extension waits on this event for the mount to end.
    if (helper == HelperMode::Mount && !request.eventName.empty()) {
        if (auto done = platform::NamedEvent::Open(request.eventName)) done->Set();
    }
    app::CloseDocument();
    foundation::DeleteQueuedFiles();
    // The run's work folder goes with it, as the window program's does.
    foundation::DeleteTempWorkFolder();
    std::fflush(nullptr);
    if (ContinuesAsWindowProgram()) {
        // The window program installs its own readers, questions and faces.
        foundation::SetPromptServices(nullptr);
        app::RemoveDialogServices();
        app::SetCommandLinePassword({});
        RemoveAudioSaveRoutes();
        app::UninstallReaders();
        foundation::ConsoleMode = false;
        foundation::LaunchedVirtualDriveMode = false;
        foundation::LaunchedMountMode = false;
    }
    return result & 0xFF;
}

bool ContinuesAsWindowProgram() { return app::g_ExitAfterStartup == 1; }

}  // namespace cmdline
