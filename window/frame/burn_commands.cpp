#include "window/frame/burn_commands.h"

#include "window/dialogs/burn_dialog.h"
#include "window/dialogs/make_image_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

namespace app::ui {
namespace {

bool IsBurnCommand(uint32_t id) {
    return id == kBurnImageCommand || id == kBurnImageToolCommand || id == kMakeImageCommand;
}

}  // namespace

void RunBurnDialog(QWidget* parent, const std::u16string& imagePath) {
    dialogs::ui::CBurnDlg dialog(imagePath, parent);
    dialog.exec();
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
