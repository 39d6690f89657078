#include "window/frame/recent_files_menu.h"

#include <QAction>

#include "app/document_lifecycle.h"
#include "foundation/language.h"
#include "window/dialogs/option_sheet.h"
#include "window/faces/qt_text.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

namespace app::ui {

namespace {

constexpr uint32_t kStrNone = 1750;

}  // namespace

RecentFilesMenu::RecentFilesMenu(CMainFrame* frame) : QObject(frame), frame_(frame) {
    list_.Load();
    BuildReopenMenu();
    CommandHandler handler;
    handler.run = [this](uint32_t id) {
        const size_t index = id - kCmdFirstRecentFile;
        if (index >= list_.Entries().size()) return;
        if (AskToSave() == -1) return;
        DocumentWindowServices().ClearNavigationHistory();
        OpenRecentFile(index);
    };
    handler.enabled = [this](uint32_t id) { return id - kCmdFirstRecentFile < list_.Entries().size(); };
    InstallCommandHandler(CommandGroup::RecentFiles, std::move(handler));
    dialogs::ui::SetClearRecentFilesHandler([this] { ClearRecentFiles(); });
}

RecentFilesMenu::~RecentFilesMenu() {
    InstallCommandHandler(CommandGroup::RecentFiles, {});
    dialogs::ui::SetClearRecentFilesHandler({});
}

void RecentFilesMenu::ClearRecentFiles() {
    list_.Clear();
    BuildReopenMenu();
}

void RecentFilesMenu::AddRecentFile(std::u16string_view path) {
    list_.Add(path);
    BuildReopenMenu();
}

void RecentFilesMenu::RemoveRecentFile(std::u16string_view path) {
    if (list_.Remove(path)) BuildReopenMenu();
}

void RecentFilesMenu::BuildReopenMenu() {
    if (!frame_) return;
    const std::vector<std::u16string>& entries = list_.Entries();
    for (size_t n = 0; n < dialogs::kRecentFileCount; ++n) {
        for (QAction* action : frame_->ActionsOf(kCmdFirstRecentFile + static_cast<uint32_t>(n))) {
            if (n < entries.size()) {
                // A "&" of the path is shown, not taken as the item's key.
                QString path = foundation::ui::ToQString(entries[n]);
                path.replace(QLatin1Char('&'), QStringLiteral("&&"));
                action->setText(QStringLiteral("&%1 ").arg(n + 1) + path);
                action->setVisible(true);
            } else if (n == 0) {
                action->setText(foundation::ui::ToQString(foundation::GetLangString(kStrNone, u"<None>")));
                action->setVisible(true);
            } else {
                action->setVisible(false);
            }
        }
    }
}

void RecentFilesMenu::OpenRecentFile(size_t index) {
    // A copy: a successful open moves the entry, a failed one removes it.
    const std::u16string path = list_.Entries()[index];
    CloseDocument();
    if (!OpenDocument(path)) {
        // A sheet is listed by its own path while the open may name the image.
        RemoveRecentFile(path);
        NewDefaultDocument();
    }
    ClearDocumentModified();
    DocumentWindowServices().UpdateBarsForKind(false);
}

}  // namespace app::ui
