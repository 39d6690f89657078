#include "window/frame/about_command.h"

#include <QPointer>

#include "window/dialogs/about_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

namespace app::ui {

void InstallAboutCommand(CMainFrame* frame) {
    QPointer<CMainFrame> owner(frame);
    InstallCommandHandler(CommandGroup::About, {[owner](uint32_t) {
                                                    dialogs::ui::CAboutDlg dialog(owner);
                                                    dialog.exec();
                                                },
                                                nullptr, nullptr});
}

}  // namespace app::ui
