#include "window/frame/burn_commands.h"

#include "app/document_lifecycle.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"

#include "window/dialogs/burn_dialog.h"
#include "window/dialogs/make_image_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"

namespace app::ui {
namespace {

bool IsBurnCommand(uint32_t id) {
    return id == kBurnImageCommand || id == kBurnImageToolCommand || id == kMakeImageCommand ||
           id == kBurnAudioCdCommand || id == kBurnDataDiscCommand;
}

}  // namespace

void RunBurnDialog(QWidget* parent, const std::u16string& imagePath) {
    dialogs::ui::CBurnDlg dialog(imagePath, parent);
    dialog.exec();
}

bool RunProjectBurnDialog(CMainFrame& frame, bool audio) {
    // The project replaces the current document: a cancelled "save changes?"
    // keeps that document and opens nothing, so it is never burnt instead.
    const bool made = audio ? app::NewCommand([] { return app::NewAudioCdDocument({}); })
                            : app::NewCommand([] { return app::NewImageDocument({}, 1); });
    if (!made || !image::g_CurrentDocument) return false;
    if (!audio && image::g_CurrentDocument->rootFolder) frame.FillFileListWithFolder(image::g_CurrentDocument->rootFolder);
    dialogs::ui::CBurnDlg dialog(audio ? dialogs::ui::CBurnDlg::kAudioTemplate : dialogs::ui::CBurnDlg::kDataTemplate,
                                 frame.findChild<FramePanes*>(), &frame);
    dialog.exec();
    return true;
}

void InstallBurnCommands(CMainFrame& frame) {
    const CommandHandler* installed = HandlerOfGroup(CommandGroup::Tools);
    const CommandHandler previous = installed ? *installed : CommandHandler{};
    CommandHandler handler;
    handler.run = [&frame, previous](uint32_t id) {
        if (!IsBurnCommand(id)) {
            if (previous.run) previous.run(id);
            return;
        }
        if (id == kMakeImageCommand)
            dialogs::ui::RunMakeImageCommand(&frame);
        else if (id == kBurnAudioCdCommand || id == kBurnDataDiscCommand)
            RunProjectBurnDialog(frame, id == kBurnAudioCdCommand);
        else
            RunBurnDialog(&frame, {});
    };
    handler.enabled = [previous](uint32_t id) {
        if (IsBurnCommand(id)) return true;
        return previous.run ? (!previous.enabled || previous.enabled(id)) : false;
    };
    handler.checked = [previous](uint32_t id) { return !IsBurnCommand(id) && previous.checked && previous.checked(id); };
    InstallCommandHandler(CommandGroup::Tools, std::move(handler));
    QObject::connect(&frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::Tools, {}); });
}

}  // namespace app::ui
