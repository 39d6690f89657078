#include "window/frame/main_frame.h"

#include "window/frame/about_command.h"
#include "window/frame/audio_extract_command.h"
#include "window/frame/edit_commands.h"
#include "window/frame/recent_files_menu.h"
#include "window/frame/item_view_commands.h"
#include "window/frame/track_delete_command.h"
#include "window/frame/password_commands.h"
#include "window/frame/clipboard_commands.h"
#include "window/dialogs/notice_dialog.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include "app/startup_state.h"
#include "window/frame/automation.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_menu.h"
#include "window/frame/main_status_bar.h"
#include "window/frame/main_toolbars.h"
#include "window/panes/pane_layout.h"
#include "window/frame/player_commands.h"
#include "foundation/diagnostic_log.h"
#include "foundation/language.h"
#include "foundation/language_texts.h"
#include "foundation/language_ui.h"
#include "foundation/names.h"
#include "foundation/programs.h"
#include "foundation/settings.h"
#include "window/faces/icons.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "window/faces/window_placement.h"
#include "foundation/work_folder.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "platform/folders.h"

namespace app::ui {

namespace {

using foundation::ui::kCommandIdProperty;
using foundation::ui::ToQString;

CMainFrame* g_mainFrame = nullptr;

constexpr uint32_t kCmdNewZip = 33265, kCmdNewZipBar = 32836, kCmd7z = 33266, kCmdMzp = 33267;
constexpr uint32_t kCmdNewIso = 33206, kCmdNewIsoPreset = 33254, kCmdNewXdi = 33360;
constexpr uint32_t kCmdOpen = 32846, kCmdClose = 32838, kCmdSave = 32849, kCmdSaveAs = 32850, kCmdExit = 57665;
constexpr uint32_t kCmdToolBar = 59392, kCmdExplorerBar = 32848, kCmdStatusBar = 59393;
constexpr uint32_t kCmdFirstLanguage = 33153, kCmdLastLanguage = 33202;
constexpr uint32_t kCmdHelpContents = 57670, kCmdOnlineHelp = 33298, kCmdSupport = 33351;
constexpr uint32_t kCmdHomePage = 32907, kCmdDrivePage = 33268, kCmdLastHowTo = 33350;
constexpr uint32_t kCmdSelectAll = 32853, kCmdTrackSelectAll = 33221, kCmdCopy = 32956, kCmdTrackCopy = 33219;
constexpr uint32_t kCmdPaste = 32957, kCmdTrackPaste = 33220, kCmdCut = 33212, kCmdDelete = 32862;
constexpr uint32_t kCmdChangePassword = 33278, kCmdRemovePassword = 33279;

constexpr uint32_t kStrChangePassword = 920, kStrAddPassword = 930, kStrRemovePassword = 940;

enum : int { kViewTree = 1, kViewList = 2, kViewTracks = 3 };

}  // namespace

CMainFrame* MainFrame() { return g_mainFrame; }

CMainFrame::CMainFrame(int argc, char** argv) : argc_(argc), argv_(argv) {
    g_mainFrame = this;
    setWindowIcon(foundation::ui::ProgramIcon());
    setObjectName(QStringLiteral("CMainFrame"));
    previousDocumentWindow_ = SetDocumentWindowServices(this);
    previousMainWindow_ = image::SetMainWindowServices(this);
}

CMainFrame::~CMainFrame() {
    // The panes go first, while the frame they talk to is still whole.
    delete findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly);
    delete player_;
    player_ = nullptr;
    delete recentFiles_;
    recentFiles_ = nullptr;
    // Nothing may reach the frame once it is going.
    foundation::ui::RegisterMenuTemplate(foundation::kMainMenuId, nullptr);
    SetDocumentWindowServices(previousDocumentWindow_);
    image::SetMainWindowServices(previousMainWindow_);
    if (g_mainFrame == this) g_mainFrame = nullptr;
}

bool CMainFrame::Create() {
    BuildMenuBar();
    auto* panes = new FramePanes(this);
    player_ = new PlayerCommands(this);
    InstallEditCommands(this);   // before the audio one, which passes other documents on to it
    InstallTrackDeleteCommand(this);
    InstallPasswordCommands(this);
    InstallItemViewCommands(this);
    InstallClipboardCommands(this);
    InstallAudioExtractCommand(this);
    InstallAboutCommand(this);
    CreateBars();
    connect(panes, &FramePanes::ContentChanged, statusBar_, &CMainStatusBar::StartTimer);
    // Ctrl+X belongs to the window: the rename and address boxes keep their own Cut.
    auto* cut = new QAction(this);
    cut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    cut->setShortcutContext(Qt::WindowShortcut);
    connect(cut, &QAction::triggered, this, [this] {
        if (GetFocusedView() != kViewTracks) ExecuteCommand(kCmdCut);
    });
    addAction(cut);
    auto* tracing = new QAction(this);
    tracing->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8));
    tracing->setShortcutContext(Qt::WindowShortcut);
    connect(tracing, &QAction::triggered, this, &CMainFrame::StartTracing);
    addAction(tracing);

    const QByteArray icon = foundation::ui::DocumentIconFile();
    foundation::PrepareTempFolderAndIcon(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(icon.constData()), static_cast<size_t>(icon.size())));
    ClearNavigationHistory();
    if (!g_ExitAfterStartup) StartupActionServices().ParseStartupArguments(argc_, argv_);
    foundation::BuildLanguageMenu(menuBar());
    BuildHowToPopup();
    UpdatePasswordItems();
    recentFiles_ = new RecentFilesMenu(this);

    automation_ = new AutomationChannel(this);
    automation_->Listen();   // without it only automation is missing

    if (StartupActionServices().HasStartupAction() && g_ExitAfterStartup != 1) return true;
    NewDefaultDocument();
    ClearDocumentModified();
    g_ReadyCounter += kReadyMark;
    if (g_ExitAfterStartup == 1) exitRequested_ = true;
    UpdateTitle();
    return true;
}

void CMainFrame::BuildMenuBar() {
    foundation::ui::RegisterMenuTemplate(foundation::kMainMenuId, &MainMenuTemplate());
    for (const foundation::MenuTemplateNode& node : MainMenuTemplate().children) {
        QMenu* popup = BuildPopup(node, menuBar());
        menuBar()->addMenu(popup);
    }
}

void CMainFrame::CreateBars() {
    toolBars_ = new CMainToolBars(this);
    statusBar_ = new CMainStatusBar(this);
    setStatusBar(statusBar_);
    connect(statusBar_, &CMainStatusBar::LockPaneClicked, this, [this](QPoint at) {
        QMenu menu(this);
        for (uint32_t id : {kCmdChangePassword, kCmdRemovePassword})
            if (const QList<QAction*> found = ActionsOf(id); !found.isEmpty()) menu.addAction(found.front());
        UpdateCommandStates();
        menu.exec(at);
    });
}

QMenu* CMainFrame::BuildPopup(const foundation::MenuTemplateNode& node, QWidget* parent) {
    auto* menu = new QMenu(ToQString(node.text), parent);
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    for (const foundation::MenuTemplateNode& child : node.children) {
        if (child.popup) {
            menu->addMenu(BuildPopup(child, menu));
        } else if (child.commandId == 0) {
            menu->addSeparator();
        } else {
            QAction* action = menu->addAction(ToQString(child.text));
            action->setProperty(kCommandIdProperty, child.commandId);
            const uint32_t id = child.commandId;
            connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
            actions_[id].push_back(action);
        }
    }
    return menu;
}

void CMainFrame::BuildHowToPopup() {
    // Help is the sixth popup; its placeholder becomes "How to...".
    const QList<QAction*> top = menuBar()->actions();
    QMenu* help = top.size() > 5 ? top[5]->menu() : nullptr;
    if (!help) return;
    QAction* placeholder = nullptr;
    for (QAction* action : help->actions())
        if (foundation::ui::CommandIdOf(action) == kHowToPlaceholder) placeholder = action;
    QMenu* howTo = help->findChild<QMenu*>(QStringLiteral("howTo"), Qt::FindDirectChildrenOnly);
    if (!howTo) {
        if (!placeholder) return;
        howTo = new QMenu(QStringLiteral("How to..."), help);
        howTo->setObjectName(QStringLiteral("howTo"));
        help->insertMenu(placeholder, howTo);
        help->removeAction(placeholder);
        actions_.erase(kHowToPlaceholder);
        placeholder->deleteLater();
    }
    howTo->clear();
    for (int row = 0; row < kHowToRows; ++row) {
        const HowToRow& entry = HowTo(row);
        if (entry.text.empty()) {
            howTo->addSeparator();
            continue;
        }
        const uint32_t id = kFirstHowTo + static_cast<uint32_t>(row);
        QAction* action = howTo->addAction(ToQString(entry.text));
        action->setProperty(kCommandIdProperty, id);
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    }
}

QList<QAction*> CMainFrame::ActionsOf(uint32_t id) const {
    auto found = actions_.find(id);
    QList<QAction*> result = found == actions_.end() ? QList<QAction*>() : found->second;
    // Actions made at run time (language rows, how-to rows) carry their id too.
    for (QAction* action : menuBar()->findChildren<QAction*>())
        if (foundation::ui::CommandIdOf(action) == id && !result.contains(action)) result.push_back(action);
    return result;
}

std::map<uint32_t, QList<QAction*>> CMainFrame::AllActions() const {
    std::map<uint32_t, QList<QAction*>> all = actions_;
    for (QAction* action : menuBar()->findChildren<QAction*>()) {
        const uint32_t id = foundation::ui::CommandIdOf(action);
        if (id == 0) continue;
        QList<QAction*>& list = all[id];
        if (!list.contains(action)) list.push_back(action);
    }
    return all;
}

bool CMainFrame::ExecuteCommand(uint32_t id) {
    const CommandGroup group = GroupOfCommand(id);
    bool handled = false;
    switch (group) {
    case CommandGroup::None: break;
    case CommandGroup::NoAction: handled = true; break;
    case CommandGroup::Frame:
        if (FrameCommandEnabled(id)) RunFrameCommand(id);
        handled = true;
        break;
    default:
        if (const CommandHandler* handler = HandlerOfGroup(group)) {
            if (!handler->enabled || handler->enabled(id)) handler->run(id);
            handled = true;
        }
        break;
    }
    ScheduleStateRefresh();
    return handled;
}

bool CMainFrame::IsCommandEnabled(uint32_t id) const {
    const CommandGroup group = GroupOfCommand(id);
    switch (group) {
    case CommandGroup::None: return false;
    case CommandGroup::NoAction: return true;
    case CommandGroup::Frame: return FrameCommandEnabled(id);
    default: {
        const CommandHandler* handler = HandlerOfGroup(group);
        return handler && (!handler->enabled || handler->enabled(id));
    }
    }
}

void CMainFrame::UpdateCommandStates() {
    refreshPending_ = false;
    // The menus' and the tool bars' actions follow the same rules.
    for (QAction* action : findChildren<QAction*>()) {
        const uint32_t id = foundation::ui::CommandIdOf(action);
        if (id == 0) continue;
        action->setEnabled(IsCommandEnabled(id));
        const CommandGroup group = GroupOfCommand(id);
        bool checked = false;
        bool checkable = false;
        if (group == CommandGroup::Frame) {
            checkable = id == kCmdToolBar || id == kCmdExplorerBar || id == kCmdStatusBar ||
                        (id >= kCmdFirstLanguage && id <= kCmdLastLanguage);
            checked = FrameCommandChecked(id);
        } else if (const CommandHandler* handler = HandlerOfGroup(group); handler && handler->checked) {
            checkable = true;
            checked = handler->checked(id);
        }
        // Only an item that is or was checked shows a check mark.
        if (checkable && (checked || action->isCheckable())) {
            action->setCheckable(true);
            action->setChecked(checked);
        }
    }
    UpdatePasswordItems();
}

void CMainFrame::ScheduleStateRefresh() {
    // Many commands in a row refresh the states once, when the loop is idle.
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, &CMainFrame::UpdateCommandStates);
}

bool CMainFrame::FrameCommandEnabled(uint32_t id) const {
    if (busy_) return false;
    if (id == kCmdSave || id == kCmdSaveAs) return image::g_CurrentDocument != nullptr;
    if (id >= kCmdFirstLanguage && id <= kCmdLastLanguage)
        return static_cast<size_t>(id - kCmdFirstLanguage) < foundation::GetLanguageTable().rows.size();
    if (id >= kFirstHowTo && id <= kCmdLastHowTo)
        return static_cast<int>(id - kFirstHowTo) < kHowToRows && !HowTo(static_cast<int>(id - kFirstHowTo)).text.empty();
    return true;
}

bool CMainFrame::FrameCommandChecked(uint32_t id) const {
    if (id == kCmdToolBar) return toolBarFlag_;
    if (id == kCmdExplorerBar) return explorerBarFlag_;
    if (id == kCmdStatusBar) return statusBarFlag_;
    if (id >= kCmdFirstLanguage && id <= kCmdLastLanguage)
        return static_cast<int>(id - kCmdFirstLanguage) == foundation::GetLanguageTable().currentIndex;
    return false;
}

void CMainFrame::RunFrameCommand(uint32_t id) {
    switch (id) {
    case kCmdNewZip:
    case kCmdNewZipBar: NewCommand([] { return NewArchiveDocument({}, 1); }); break;
    case kCmd7z: NewCommand([] { return NewArchiveDocument({}, 2); }); break;
    case kCmdMzp: NewCommand([] { return NewMountableArchive({}); }); break;
    case kCmdNewIso: NewCommand([] { return NewImageDocument({}, 0); }); break;
    case kCmdNewIsoPreset: NewCommand([] { return NewImageDocument({}, 1); }); break;
    case kCmdNewXdi: NewCommand([] { return NewXdiDocument(); }); break;
    case kCmdClose: NewCommand([] { return NewDefaultDocument(); }); break;
    case kCmdOpen:
        busy_ = true;
        OpenCommand();
        busy_ = false;
        g_AutomationDone = 0;
        break;
    case kCmdSave: SaveCommand(); break;
    case kCmdSaveAs:
        SaveAsCommand();
        g_AutomationDone = 0;
        break;
    case kCmdExit: close(); break;
    case kCmdToolBar:
        toolBarFlag_ = !toolBarFlag_;
        UpdateBarsForKind(true);
        break;
    case kCmdExplorerBar:
        explorerBarFlag_ = !explorerBarFlag_;
        UpdateBarsForKind(true);
        break;
    case kCmdStatusBar:
        statusBarFlag_ = !statusBarFlag_;
        statusBar()->setVisible(statusBarFlag_);
        break;
    case kCmdHelpContents: {
        std::u16string folder;
        const QString local = platform::GetProgramFolder(folder)
                                  ? ToQString(folder) + QStringLiteral("/help/Overview.html")
                                  : QString();
        foundation::ShellOpen(!local.isEmpty() && QFileInfo::exists(local) ? foundation::ui::ToU16(local)
                                                                           : foundation::GetWebLink(7));
        break;
    }
    case kCmdOnlineHelp: foundation::ShellOpen(foundation::GetWebLink(7)); break;
    case kCmdSupport: foundation::ShellOpen(u"mailto:" + foundation::GetWebLink(3)); break;
    case kCmdHomePage: foundation::ShellOpen(foundation::GetWebLink(1)); break;
    case kCmdDrivePage: foundation::ShellOpen(foundation::GetWebLink(5)); break;
    default:
        if (id >= kCmdFirstLanguage && id <= kCmdLastLanguage) {
            foundation::SwitchLanguage(static_cast<int>(id - kCmdFirstLanguage));
        } else if (id >= kFirstHowTo && id <= kCmdLastHowTo) {
            const int row = static_cast<int>(id - kFirstHowTo);
            if (row < kHowToRows && !HowTo(row).text.empty()) {
                // The site's root (link 6): the home page link of some languages names its page.
                std::u16string site = foundation::GetWebLink(6);
                if (!site.empty() && site.back() == u'/') site.pop_back();
                foundation::ShellOpen(site + u"/tutorials/" + std::u16string(HowTo(row).page));
            }
        }
        break;
    }
}

void CMainFrame::OnViewKey(int key, Qt::KeyboardModifiers modifiers, int sender) {
    const bool control = modifiers & Qt::ControlModifier;
    if (control && !(modifiers & Qt::ShiftModifier)) {
        switch (key) {
        case Qt::Key_A: ExecuteCommand(sender == kViewTracks ? kCmdTrackSelectAll : kCmdSelectAll); return;
        case Qt::Key_C: ExecuteCommand(sender == kViewTracks ? kCmdTrackCopy : kCmdCopy); return;
        case Qt::Key_V: ExecuteCommand(sender == kViewTracks ? kCmdTrackPaste : kCmdPaste); return;
        case Qt::Key_O: ExecuteCommand(kCmdOpen); return;
        case Qt::Key_S: ExecuteCommand(kCmdSave); return;
        default: break;
        }
    }
    if (key == Qt::Key_Delete && (sender == kViewTree || sender == kViewList)) ExecuteCommand(kCmdDelete);
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    // Keys no view took come here; the views hand theirs over with their mark.
    OnViewKey(event->key(), event->modifiers(), 0);
    QMainWindow::keyPressEvent(event);
}

void CMainFrame::StartTracing() {
    // Once per run: while a log path is kept the key does nothing.
    if (!tracingPath_.empty()) return;
    const std::u16string path = foundation::TraceLogPath();
    if (!foundation::StartTracingMode()) return;
    tracingPath_ = path;
}

int CMainFrame::GetFocusedView() const { return panes_ ? panes_->FocusedView() : -1; }

void CMainFrame::UpdateTitle() {
    QString title = QStringLiteral("Quendravine - ");
    if (const image::ImageContext* ctx = image::g_CurrentDocument) {
        foundation::ImageNameFacts facts;
        facts.hasImage = !ctx->imagePath.empty() || ctx->sourceDriveLetter != 0;
        facts.driveLetter = ctx->sourceDriveLetter;
        facts.openedThroughSheet = !ctx->sheetPath.empty();
        facts.sheetPath = ctx->sheetPath;
        facts.imagePath = ctx->imagePath;
        const std::u16string newName = NewDocumentName();
        facts.documentTitle = newName;
        title += ToQString(foundation::GetImageDisplayName(facts));
        if (ctx->modified) title += u'*';
    }
    // The window manager's placeholder "[*]" must show as written.
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title);
}

void CMainFrame::RefreshMenus() {
    foundation::ui::TranslateMenuBar(menuBar(), foundation::kMainMenuId, false);
    BuildHowToPopup();
    UpdatePasswordItems();
    if (recentFiles_) recentFiles_->BuildReopenMenu();
}

void CMainFrame::UpdatePasswordItems() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    const bool hasPassword = ctx && (ctx->passwordEnabled || ctx->passwordSet);
    const std::u16string change = hasPassword ? foundation::GetLangString(kStrChangePassword, u"Change Password...")
                                              : foundation::GetLangString(kStrAddPassword, u"Add Password...");
    const std::map<uint32_t, QList<QAction*>> all = AllActions();
    const QList<QAction*> none;
    const auto of = [&](uint32_t id) -> const QList<QAction*>& {
        auto found = all.find(id);
        return found == all.end() ? none : found->second;
    };
    for (QAction* action : of(kCmdChangePassword)) action->setText(ToQString(change));
    for (QAction* action : of(kCmdRemovePassword))
        action->setText(ToQString(foundation::GetLangString(kStrRemovePassword, u"Remove Password...")));
}

void CMainFrame::RefreshAfterLanguageSwitch() {
    RefreshMenus();
    UpdateTitle();
    if (toolBars_) toolBars_->SetButtonCaptions();
    if (panes_) panes_->RefreshTexts();
    if (statusBar_) statusBar_->StartTimer();
}

void CMainFrame::ClearViews() {
    if (panes_) panes_->ClearViews();
}

void CMainFrame::ShowDocument(image::ImageContext* ctx) {
    if (panes_) panes_->ShowDocument(ctx);
}

void CMainFrame::UpdateBarsForKind(bool force) {
    const int kind = static_cast<int>(CurrentDocumentKind());
    if (!force && appliedKind_ != -1 && image::g_CurrentDocument && kind == appliedKind_) return;
    appliedKind_ = kind;
    if (toolBars_) toolBars_->ApplyFlags(toolBarFlag_, explorerBarFlag_);
    ScheduleStateRefresh();
}

void CMainFrame::StopPlayer() {
    if (player_) player_->StopPlayer();
}

void CMainFrame::CancelCutTransfer(image::ImageContext* ctx) { ForgetClipboardItemsOf(ctx); }

void CMainFrame::ClearNavigationHistory() {
    if (panes_) panes_->ClearNavigationHistory();
}

void CMainFrame::NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder,
                                          image::ImageItem* item, bool added) {
    if (panes_) panes_->NotifyItemAddedOrRemoved(ctx, folder, item, added);
}

void CMainFrame::FillFileListWithFolder(image::ImageFolder* folder) {
    image::g_CurrentFolder = folder;
    if (panes_) panes_->FillFileListWithFolder(folder);
}

void CMainFrame::ShowNameChangedNotice(std::u16string_view oldName, std::u16string_view newName, bool isFolder) {
    dialogs::ui::ShowNameChangeNotice(this, oldName, newName, isFolder);
}

void CMainFrame::AddRecentFile(std::u16string_view path) {
    if (recentFiles_) recentFiles_->AddRecentFile(path);
}

void CMainFrame::RemoveRecentFile(std::u16string_view path) {
    if (recentFiles_) recentFiles_->RemoveRecentFile(path);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Qt delivers a close to a disabled window too: while the start-up action
    // or a command runs, closing would free the document under it.
    if (!isEnabled() || busy_) {
        event->ignore();
        return;
    }
    if (!ExitCommand()) {
        event->ignore();
        return;
    }
    foundation::ui::SavePlacementOf(*this);
    event->accept();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (QWindow* handle = windowHandle()) handle->installEventFilter(this);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (!painted_ && event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed())
        QTimer::singleShot(0, this, &CMainFrame::OnFirstPaint);
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (!painted_) QTimer::singleShot(0, this, &CMainFrame::OnFirstPaint);
}

void CMainFrame::OnFirstPaint() {
    if (painted_) return;
    painted_ = true;
    g_ReadyCounter += 1;
    if (!StartupActionServices().HasStartupAction()) {
        setAcceptDrops(true);
        emit StartupFinished();
        return;
    }
    setEnabled(false);
    QTimer::singleShot(10, this, [this] {
        busy_ = true;
        const int exitCode = StartupActionServices().RunStartupAction();
        busy_ = false;
        if (exitCode >= 0) {
            QCoreApplication::exit(exitCode);
            return;
        }
        setEnabled(true);
        setAcceptDrops(true);
        UpdateTitle();
        ScheduleStateRefresh();
        emit StartupFinished();
    });
}

}  // namespace app::ui
