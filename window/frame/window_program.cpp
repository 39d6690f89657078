#include "window/frame/window_program.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "app/startup_state.h"
#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "app/audio_save_routes.h"
#include "app/dialog_services.h"
#include "window/dialogs/prompt_face.h"
#include "window/frame/command_file_dialogs.h"
#include "window/frame/drive_menu.h"
#include "window/frame/burn_commands.h"
#include "window/frame/image_tool_commands.h"
#include "window/frame/option_commands.h"
#include "app/desktop_associations.h"
#include "app/part_choosers.h"
#include "window/dialogs/import_session_dialog.h"
#include "window/frame/main_frame.h"
#include "window/dialogs/progress_routes.h"
#include "foundation/deletion_queue.h"
#include "foundation/diagnostic_log.h"
#include "foundation/language.h"
#include "foundation/language_ui.h"
#include "foundation/memory.h"
#include "foundation/settings.h"
#include "foundation/system_facts.h"
#include "window/faces/message_box.h"
#include "window/faces/qt_window_faces.h"
#include "window/faces/window_placement.h"
#include "foundation/work_folder.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "audio/tracks/audio_services_install.h"
#include "audio/tracks/track_model.h"
#include "optical/drive/drive_services.h"
#include "platform/named_objects.h"

namespace app::ui {

namespace {

constexpr std::u16string_view kInstanceMutexName = u"QUENDRAVINE_6A6EFB6A SEMAPHORE";

std::vector<std::string_view>& Steps() {
    static std::vector<std::string_view> steps;
    return steps;
}
void Step(std::string_view name) { Steps().push_back(name); }

bool NonEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The window program's message faces: the document's modified flag for the
// questions that need it.
class FrameUiServices : public foundation::ui::QtUiServices {
public:
    FrameUiServices() {
        documentModified = [] { return image::g_CurrentDocument && image::g_CurrentDocument->modified != 0; };
    }
};

// Adding a music file stops the document window's player first.
class WindowPlayerStop final : public audio::IPlayerStopServices {
public:
    void StopPlayer() override { app::DocumentWindowServices().StopPlayer(); }
};

// Everything start-up installs or makes, undone in one place whichever way
// the program ends: the log closed, queued files deleted, the work folder
// removed, the faces taken back, the instance mutex released.
class Shutdown {
public:
    ~Shutdown() {
        // The views let go of the document before it is freed, then the frame goes.
        CloseDocument();
        frame.reset();
        if (shellIntegration.joinable()) shellIntegration.join();
        foundation::LogEnd();
        foundation::DeleteQueuedFiles();
        foundation::DeleteTempWorkFolder();
        if (commandFileDialogs) SetCommandFileDialogs(nullptr);
        if (routesInstalled) dialogs::ui::RemoveProgressRoutes();
        if (promptsInstalled) {
            app::RemoveDialogServices();
            foundation::SetPromptServices(previousPrompts);
        }
        if (playerStopInstalled) audio::SetPlayerStopServices(previousPlayerStop);
        if (readersInstalled) {
            cmdline::RemoveAudioSaveRoutes();
            app::UninstallReaders();
        }
        if (facesInstalled) {
            foundation::SetWindowFaces(previousFaces);
            foundation::SetUiServices(previousUi);
        }
        instanceMutex.reset();
    }
    std::unique_ptr<FrameUiServices> ui;
    std::unique_ptr<foundation::ui::QtWindowFaces> faces;
    foundation::UiServices* previousUi = nullptr;
    foundation::WindowFaces* previousFaces = nullptr;
    bool facesInstalled = false;
    bool readersInstalled = false;
    bool routesInstalled = false;
    dialogs::ui::WindowPrompts prompts;
    foundation::IPromptServices* previousPrompts = nullptr;
    bool promptsInstalled = false;
    WindowPlayerStop playerStop;
    audio::IPlayerStopServices* previousPlayerStop = nullptr;
    bool playerStopInstalled = false;
    std::unique_ptr<platform::NamedMutex> instanceMutex;
    std::thread shellIntegration;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CommandFileDialogs> commandFileDialogs;
};

// A termination signal ends the message loop, so the one shutdown routine
// still runs (a killed program would leave its work folder behind). The
// handler only writes a byte; the loop reads it.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = write(g_signalPipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> WatchTerminationSignals() {
    if (g_signalPipe[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        char byte = 0;
        [[maybe_unused]] ssize_t got = read(g_signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
    return notifier;
}

}  // namespace

bool HasDisplay() {
    if (NonEmpty("DISPLAY") || NonEmpty("WAYLAND_DISPLAY")) return true;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform) return false;
    const std::string_view chosen(platform);
    return chosen.starts_with("offscreen") || chosen.starts_with("minimal") || chosen.starts_with("vnc") ||
           chosen.starts_with("eglfs") || chosen.starts_with("linuxfb");
}

const std::vector<std::string_view>& StartupStepsRun() { return Steps(); }

int RunWindowProgram(int argc, char** argv) {
    Steps().clear();
    // Without a display Qt would abort with a core dump.
    if (!HasDisplay()) {
        std::fputs("quendravine: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Run the console front end instead: quendravine with a console command, or zarn.\n",
                   stderr);
        return 1;
    }
    Step("system facts");
    if (foundation::IsVistaOrLater()) foundation::DeleteVirtualStoreKeys();
    Step("virtual-drive channel");   // connected by the drive code when it is linked in
    Step("archive library");         // loaded by the archive bridge when it is linked in; never stops start-up
    Step("out-of-memory policy");
    foundation::InstallOutOfMemoryPolicy();

    // Qt gets the program's name only: it never reads the user's switches or
    // file names as options of its own.
    static int qtArgc = 1;
    static char* qtArgv[] = {argv && argc > 0 ? argv[0] : const_cast<char*>("quendravine"), nullptr};
    std::unique_ptr<QApplication> ownApplication;
    if (!QCoreApplication::instance()) ownApplication = std::make_unique<QApplication>(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Quendravine"));
    QApplication::setQuitOnLastWindowClosed(true);
    Step("application");

    Shutdown shutdown;
    Step("language");
    foundation::CreateUIFont({}, 0);
    foundation::LoadLanguageFiles();
    {
        const foundation::UIFontChoice font = foundation::CurrentUIFont();
        foundation::CreateUIFont(font.family, font.points);
    }
    Step("window placement");
    const std::optional<foundation::WindowPlacementRecord> placement = foundation::ui::LoadPlacementForScreen();
    Step("shell integration");
    shutdown.shellIntegration = std::thread([] { foundation::ApplyShellIntegration(); });
    Step("instance mutex");
    shutdown.instanceMutex = platform::NamedMutex::Create(kInstanceMutexName, false);

    shutdown.ui = std::make_unique<FrameUiServices>();
    shutdown.faces = std::make_unique<foundation::ui::QtWindowFaces>();
    shutdown.previousUi = foundation::SetUiServices(shutdown.ui.get());
    shutdown.previousFaces = foundation::SetWindowFaces(shutdown.faces.get());
    shutdown.facesInstalled = true;
    Step("readers and drives");
    app::InstallReaders();
    cmdline::InstallAudioSaveRoutes();
    shutdown.readersInstalled = true;
    optical::InstallDriveServices();
    audio::InstallAudioServices();
    shutdown.previousPlayerStop = audio::SetPlayerStopServices(&shutdown.playerStop);
    shutdown.playerStopInstalled = true;
    // Long operations, and the questions their workers ask, go through the progress dialog.
    dialogs::ui::InstallProgressRoutes(*shutdown.ui);
    shutdown.routesInstalled = true;
    // Every question a worker or the window asks is shown as its dialog.
    shutdown.previousPrompts = foundation::SetPromptServices(&shutdown.prompts);
    app::InstallDialogServices();
    app::InstallPartChoosers();
    app::InstallDesktopAssociations();
    dialogs::ui::InstallImportSessionPrompt();
    shutdown.promptsInstalled = true;

    Step("main frame");
    shutdown.frame = std::make_unique<CMainFrame>(argc, argv);
    shutdown.faces->SetDefaultOwner(shutdown.frame.get());
    // The steps of a command file that need the frame's dialogs.
    shutdown.commandFileDialogs = std::make_unique<CommandFileDialogs>(shutdown.frame.get());
    SetCommandFileDialogs(shutdown.commandFileDialogs.get());
    if (!shutdown.frame->Create()) {
        QMessageBox::critical(nullptr, QStringLiteral("Quendravine"), QStringLiteral("The main window could not be created."));
        return 1;
    }
    InstallVirtualDriveMenu(*shutdown.frame);
    InstallImageToolCommands(*shutdown.frame);
    InstallBurnCommands(*shutdown.frame);
    InstallOptionCommands(*shutdown.frame);
    if (shutdown.frame->ExitRequested()) return 0;
    if (placement) foundation::ui::ApplyPlacement(*shutdown.frame, *placement);
    else shutdown.frame->resize(900, 600);
    const std::unique_ptr<QSocketNotifier> terminationWatch = WatchTerminationSignals();
    Step("show");
    if (placement && placement->maximized) shutdown.frame->showMaximized();
    else shutdown.frame->show();
    return QApplication::exec();
}

}  // namespace app::ui
