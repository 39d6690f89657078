#pragma once
// The File menu's Recent Files items (commands 32841..32844): the list from
// the settings store shown as "&1 path".., or one disabled "<None>", and the
// commands that reopen an entry. The frame hands it every opened file and
// every recent file that failed to open.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <string_view>

#include "window/models/recent_files.h"

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kCmdFirstRecentFile = 32841;

class RecentFilesMenu : public QObject {
    Q_OBJECT
public:
    // Loads the list, shows it and takes the RecentFiles command group.
    explicit RecentFilesMenu(CMainFrame* frame);
    ~RecentFilesMenu() override;

    void AddRecentFile(std::u16string_view path);
    void RemoveRecentFile(std::u16string_view path);
    // The options sheet's "Clear opened files history".
    void ClearRecentFiles();
    // The items' texts again (after a change or a language switch).
    void BuildReopenMenu();
    const dialogs::RecentFileList& List() const { return list_; }

private:
    void OpenRecentFile(size_t index);

    QPointer<CMainFrame> frame_;
    dialogs::RecentFileList list_;
};

}  // namespace app::ui
