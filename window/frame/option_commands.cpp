#include "window/frame/option_commands.h"

#include "window/dialogs/option_sheet.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

namespace app::ui {

void InstallOptionCommands(CMainFrame& frame) {
    const CommandHandler* installed = HandlerOfGroup(CommandGroup::Tools);
    const CommandHandler previous = installed ? *installed : CommandHandler{};
    CommandHandler handler;
    handler.run = [&frame, previous](uint32_t id) {
        if (id != kOptionsCommand) {
            if (previous.run) previous.run(id);
            return;
        }
        dialogs::ui::RunOptionSheet(&frame, false);
    };
    handler.enabled = [previous](uint32_t id) {
        if (id == kOptionsCommand) return true;
        return previous.run ? (!previous.enabled || previous.enabled(id)) : false;
    };
    handler.checked = [previous](uint32_t id) {
        return id != kOptionsCommand && previous.checked && previous.checked(id);
    };
    InstallCommandHandler(CommandGroup::Tools, std::move(handler));
    QObject::connect(&frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::Tools, {}); });
}

}  // namespace app::ui
