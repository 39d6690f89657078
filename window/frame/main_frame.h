#pragma once
// The program's one top-level window: it holds the menu bar built from the
// menu table, routes every command through the command table, keeps the title
// on the current document, answers automation requests, and is the window
// face of the document lifecycle and of the image core's view upkeep.

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/document_lifecycle.h"
#include "foundation/language_menu.h"
#include "image/document/current_document.h"
#include "image/document/main_window_services.h"

class QAction;
class QMenu;

namespace app::ui {

class AutomationChannel;
class PlayerCommands;
class RecentFilesMenu;
class CMainStatusBar;
class CMainToolBars;

// What the frame needs of its panes (the splitter, tree, list and comment
// views), installed by whoever builds them; without panes nothing is shown.
class IFramePanes {
public:
    virtual ~IFramePanes() = default;
    virtual void ClearViews() = 0;
    virtual void ShowDocument(image::ImageContext* ctx) = 0;
    // 1 folder tree, 2 file list, 3 track list, -1 none.
    virtual int FocusedView() = 0;
    virtual void FillFileListWithFolder(image::ImageFolder* folder) = 0;
    virtual void NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder,
                                          image::ImageItem* item, bool added) = 0;
    virtual void RefreshTexts() = 0;
    // Redrawing off (nested) while the core edits the tree, and back on.
    virtual void BeginViewUpdate() {}
    virtual void EndViewUpdate() {}
    virtual void RefreshListItemDate(image::ImageFolder*, image::ImageItem*) {}
    virtual void ClearNavigationHistory() {}
};

class CMainFrame : public QMainWindow, public IDocumentWindowServices, public image::IMainWindowServices {
    Q_OBJECT
public:
    // argc/argv: the switches, for the start-up parser.
    CMainFrame(int argc, char** argv);
    ~CMainFrame() override;

    // The frame's creation: bars, work folder and icon, switches, language
    // menu, and the default document unless a start-up action waits. False
    // when the frame cannot be made.
    bool Create();
    // True when the switches asked to end once the default document is made.
    bool ExitRequested() const { return exitRequested_; }

    // Runs a command of the table; false when nothing answers it.
    bool ExecuteCommand(uint32_t id);
    // Enabled and checked states of every action, as the menus show them.
    void UpdateCommandStates();
    // The actions of a command id (menu items, shortcuts).
    QList<QAction*> ActionsOf(uint32_t id) const;
    // ActionsOf for every id at once: one pass over the menus instead of one per id.
    std::map<uint32_t, QList<QAction*>> AllActions() const;
    bool IsCommandEnabled(uint32_t id) const;

    // Key-downs the views hand over; sender 1 or 2 tree and list, 3 track list.
    void OnViewKey(int key, Qt::KeyboardModifiers modifiers, int sender);
    void UpdateTitle() override;
    void RefreshMenus();
    void UpdatePasswordItems();
    int GetFocusedView() const;

    void SetPanes(IFramePanes* panes) { panes_ = panes; }
    AutomationChannel* Automation() const { return automation_; }
    CMainToolBars* ToolBars() const { return toolBars_; }
    CMainStatusBar* StatusBar() const { return statusBar_; }
    bool Busy() const { return busy_; }
    bool ToolBarFlag() const { return toolBarFlag_; }
    bool ExplorerBarFlag() const { return explorerBarFlag_; }
    const std::u16string& TracingPath() const { return tracingPath_; }

    // IDocumentWindowServices
    void ClearViews() override;
    void ShowDocument(image::ImageContext* ctx) override;
    void UpdateBarsForKind(bool force) override;
    void StopPlayer() override;
    void CancelCutTransfer(image::ImageContext* ctx) override;
    void ClearNavigationHistory() override;

    // image::IMainWindowServices
    void NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item,
                                  bool added) override;
    void BeginViewUpdate() override {
        if (panes_) panes_->BeginViewUpdate();
    }
    void EndViewUpdate() override {
        if (panes_) panes_->EndViewUpdate();
    }
    void DetachFromCutTransfer(image::ImageItem*, image::ImageFolder*) override {}
    void FillFileListWithFolder(image::ImageFolder* folder) override;
    void RefreshListItemDate(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item) override {
        if (panes_ && ctx == image::g_CurrentDocument) panes_->RefreshListItemDate(folder, item);
    }
    void ShowNameChangedNotice(std::u16string_view oldName, std::u16string_view newName, bool isFolder) override;
    void AddRecentFile(std::u16string_view path) override;
    void RemoveRecentFile(std::u16string_view path) override;
    void RefreshAfterLanguageSwitch() override;

signals:
    // The first paint is over and the start-up action (if any) has run.
    void StartupFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenuBar();
    void CreateBars();
    QMenu* BuildPopup(const foundation::MenuTemplateNode& node, QWidget* parent);
    void BuildHowToPopup();
    void OnFirstPaint();
    void RunFrameCommand(uint32_t id);
    bool FrameCommandEnabled(uint32_t id) const;
    bool FrameCommandChecked(uint32_t id) const;
    void StartTracing();
    void ScheduleStateRefresh();

    int argc_;
    char** argv_;
    std::map<uint32_t, QList<QAction*>> actions_;
    IFramePanes* panes_ = nullptr;
    AutomationChannel* automation_ = nullptr;
    PlayerCommands* player_ = nullptr;
    RecentFilesMenu* recentFiles_ = nullptr;
    CMainToolBars* toolBars_ = nullptr;
    CMainStatusBar* statusBar_ = nullptr;
    IDocumentWindowServices* previousDocumentWindow_ = nullptr;
    image::IMainWindowServices* previousMainWindow_ = nullptr;
    bool toolBarFlag_ = true;
    bool explorerBarFlag_ = true;
    bool statusBarFlag_ = true;
    int appliedKind_ = -1;
    bool busy_ = false;
    bool painted_ = false;
    bool exitRequested_ = false;
    bool refreshPending_ = false;
    std::u16string tracingPath_;
};

// The frame while it exists, else null (the window side's g_MainFrame).
CMainFrame* MainFrame();

}  // namespace app::ui
