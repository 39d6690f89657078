#include "window/frame/drive_menu.h"

#include "window/frame/main_toolbars.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMenuBar>

#include <chrono>
#include <thread>

#include "app/startup_state.h"
#include "window/dialogs/option_sheet.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "foundation/window_faces.h"
#include "platform/format.h"
#include "vdrive/drive_options.h"
#include "vdrive/virtual_drives.h"

namespace app::ui {

namespace {

using Node = foundation::MenuTemplateNode;
using foundation::ui::kCommandIdProperty;
using foundation::ui::ToQString;

constexpr uint32_t kCmdNoDrive = 32938;
constexpr uint32_t kCmdMount = 33067, kCmdLastMount = 33089;
constexpr uint32_t kCmdUnmount = 33099, kCmdLastUnmount = 33121;
constexpr uint32_t kCmdUnmountAll = 32937;
constexpr uint32_t kCmdDriveCount = 33034, kCmdLastDriveCount = 33057;
constexpr uint32_t kCmdAutostart = 32927, kCmdAutomount = 32928;
constexpr uint32_t kCmdConfiguration = 33276;
constexpr uint32_t kCmdInstall = 33268;
constexpr uint32_t kCmdBarButton = 32883;
constexpr uint32_t kMaxDriveCount = 23;
constexpr uint32_t kCountsInMainList = 8;
constexpr char kMenuName[] = "virtualDriveMenu";

std::u16string Text(uint32_t id, std::u16string_view english) { return foundation::GetLangString(id, english); }

Node Command(std::u16string text, uint32_t id) { return Node{std::move(text), id, false, {}}; }
Node Separator() { return Node{}; }
Node Popup(std::u16string text, std::vector<Node> children) { return Node{std::move(text), 0, true, std::move(children)}; }

uint32_t CountOf(const DriveMenuFacts& facts) { return static_cast<uint32_t>(facts.drives.size()); }

Node CountPopup(const DriveMenuFacts& facts) {
    std::vector<Node> counts{Command(Text(30240, u"Disable"), kCmdDriveCount)};
    std::vector<Node> more;
    const std::u16string format = Text(30250, u"%d Drives");
    for (uint32_t i = 1; i <= kMaxDriveCount; ++i) {
        Node row = Command(platform::Format(format, static_cast<int>(i)), kCmdDriveCount + i);
        // With few drives the larger counts wait in a "More" popup.
        if (i > kCountsInMainList && CountOf(facts) <= kCountsInMainList) more.push_back(std::move(row));
        else counts.push_back(std::move(row));
    }
    if (!more.empty()) {
        counts.push_back(Separator());
        counts.push_back(Popup(Text(30520, u"More"), std::move(more)));
    }
    return Popup(Text(30230, u"&Set Number of Drives"), std::move(counts));
}

QMenu* FindMenu(CMainFrame& frame) {
    return frame.menuBar()->findChild<QMenu*>(QString::fromLatin1(kMenuName));
}

// The items of a template node into a Qt menu; popups become sub-menus.
void AddItems(QMenu* menu, const Node& node, const DriveMenuFacts& facts, CMainFrame& frame) {
    for (const Node& child : node.children) {
        if (child.popup) {
            QMenu* sub = menu->addMenu(ToQString(child.text));
            AddItems(sub, child, facts, frame);
        } else if (child.commandId == 0) {
            menu->addSeparator();
        } else {
            QAction* action = menu->addAction(ToQString(child.text));
            const uint32_t id = child.commandId;
            action->setProperty(kCommandIdProperty, id);
            const bool checkable = (id >= kCmdDriveCount && id <= kCmdLastDriveCount) || id == kCmdAutostart ||
                                   id == kCmdAutomount;
            action->setCheckable(checkable);
            action->setChecked(checkable && DriveMenuChecked(facts, id));
            QObject::connect(action, &QAction::triggered, &frame, [&frame, id] { frame.ExecuteCommand(id); });
        }
    }
}

void FillMenu(QMenu* menu, CMainFrame& frame) {
    const DriveMenuFacts facts = CurrentDriveMenuFacts();
    menu->setTitle(ToQString(Text(30470, u"Virtual Drive")));
    // The items of the last fill go later: one of them may be the sender of
    // the command that refills the menu.
    for (QAction* old : menu->actions()) {
        menu->removeAction(old);
        if (old->parent() == menu) {
            old->setParent(nullptr);
            old->deleteLater();
        }
    }
    for (QMenu* old : menu->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
        old->setParent(nullptr);
        old->deleteLater();
    }
    AddItems(menu, DriveMenuTemplate(facts), facts, frame);
    frame.UpdateCommandStates();
}

std::u16string MountedPath(uint32_t number) {
    for (const vdrive::VirtualDriveEntry& drive : vdrive::GetVirtualDriveList())
        if (drive.number == number) return vdrive::GetMountedImagePath(drive);
    return {};
}

bool DriveExists(uint32_t number) {
    for (const vdrive::VirtualDriveEntry& drive : vdrive::GetVirtualDriveList())
        if (drive.number == number) return true;
    return false;
}

void RunDriveCommand(CMainFrame& frame, uint32_t id) {
    if (id == kCmdBarButton) {
        if (QMenu* menu = FindMenu(frame)) menu->popup(DropPointFor(&frame, kCmdBarButton));
        return;
    }
    if (!vdrive::IsVirtualDriveAvailable(true)) return;
    if (id >= kCmdMount && id <= kCmdLastMount) {
        const uint32_t n = id - kCmdMount;
        const std::optional<std::u16string> path =
            foundation::ShowOpenFileDialog(&frame, foundation::BuildOpenDialogFilter(), u"mzp");
        if (path && vdrive::UnmountVirtualDrive(n)) {
            // The drive's folder settles before the new image goes on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            vdrive::MountOnVirtualDrive(n, *path);
        }
        g_AutomationDone = 0;
    } else if (id >= kCmdUnmount && id <= kCmdLastUnmount) {
        vdrive::UnmountVirtualDrive(id - kCmdUnmount);
        g_AutomationDone = 0;
    } else if (id == kCmdUnmountAll) {
        for (const vdrive::VirtualDriveEntry& drive : vdrive::GetVirtualDriveList())
            vdrive::UnmountVirtualDrive(drive.number);
    } else if (id >= kCmdDriveCount && id <= kCmdLastDriveCount) {
        vdrive::SetVirtualDriveCount(id - kCmdDriveCount);
    } else if (id == kCmdAutostart) {
        vdrive::SetVirtualDriveOptions(vdrive::GetVirtualDriveOptions() ^ vdrive::kOptionAutostart);
    } else if (id == kCmdAutomount) {
        vdrive::SetVirtualDriveOptions(vdrive::GetVirtualDriveOptions() ^ vdrive::kOptionAutomount);
    } else if (id == kCmdConfiguration) {
        dialogs::ui::RunOptionSheet(&frame, true);
    }
    if (QMenu* menu = FindMenu(frame)) FillMenu(menu, frame);
}

bool DriveCommandEnabled(uint32_t id) {
    if (id >= kCmdMount && id <= kCmdLastMount) return DriveExists(id - kCmdMount);
    if (id >= kCmdUnmount && id <= kCmdLastUnmount) return !MountedPath(id - kCmdUnmount).empty();
    if (id >= kCmdDriveCount && id <= kCmdLastDriveCount) return id - kCmdDriveCount <= kMaxDriveCount;
    return true;
}

}  // namespace

DriveMenuFacts CurrentDriveMenuFacts() {
    DriveMenuFacts facts;
    facts.available = vdrive::IsVirtualDriveAvailable(false);
    if (!facts.available) return facts;
    for (const vdrive::VirtualDriveEntry& drive : vdrive::GetVirtualDriveList())
        facts.drives.push_back({drive.letter, vdrive::GetMountedImagePath(drive)});
    facts.options = vdrive::GetVirtualDriveOptions();
    return facts;
}

Node DriveMenuTemplate(const DriveMenuFacts& facts) {
    Node root;
    root.popup = true;
    if (!facts.available) {
        root.children.push_back(Command(Text(30530, u"Install Quendravine Virtual Drive(Freeware)..."), kCmdInstall));
        return root;
    }
    std::vector<Node>& items = root.children;
    if (facts.drives.empty()) {
        items.push_back(Command(Text(30220, u"<No Drive>"), kCmdNoDrive));
    } else if (facts.drives.size() == 1) {
        const char16_t letter = facts.drives[0].letter;
        items.push_back(Command(platform::Format(Text(30200, u"Mount Archive to Drive [%c:] "), letter), kCmdMount));
        items.push_back(Command(platform::Format(Text(30210, u"Unmount Drive [%c:]"), letter), kCmdUnmount));
    } else {
        for (uint32_t n = 0; n < CountOf(facts) && n < kMaxDriveCount; ++n) {
            const DriveMenuFacts::Drive& drive = facts.drives[n];
            const std::u16string title = platform::Format(Text(30260, u"Drive [%c:] "), drive.letter) +
                                         (drive.mountedPath.empty() ? Text(30270, u"<No media>") : drive.mountedPath);
            items.push_back(Popup(title, {Command(Text(460, u"&Mount Archive..."), kCmdMount + n),
                                          Command(Text(470, u"&Unmount Archive"), kCmdUnmount + n)}));
        }
    }
    items.push_back(Separator());
    items.push_back(CountPopup(facts));
    items.push_back(Separator());
    items.push_back(Command(Text(30280, u"&Unmount All Drives"), kCmdUnmountAll));
    items.push_back(Separator());
    items.push_back(Popup(Text(480, u"&Options"),
                          {Command(Text(30290, u"Auto&start"), kCmdAutostart),
                           Command(Text(30300, u"Auto&mount"), kCmdAutomount), Separator(),
                           Command(Text(30450, u"&Configuration..."), kCmdConfiguration)}));
    return root;
}

bool DriveMenuChecked(const DriveMenuFacts& facts, uint32_t id) {
    if (id >= kCmdDriveCount && id <= kCmdLastDriveCount) return id - kCmdDriveCount == CountOf(facts);
    if (id == kCmdAutostart) return (facts.options & vdrive::kOptionAutostart) != 0;
    if (id == kCmdAutomount) return (facts.options & vdrive::kOptionAutomount) != 0;
    return false;
}

void InstallVirtualDriveMenu(CMainFrame& frame) {
    if (!FindMenu(frame)) {
        // Tools is the fourth popup; its placeholder becomes "Virtual Drive".
        const QList<QAction*> top = frame.menuBar()->actions();
        QMenu* tools = top.size() > 3 ? top[3]->menu() : nullptr;
        if (!tools) return;
        for (QAction* action : tools->actions()) {
            if (foundation::ui::CommandIdOf(action) != kVirtualDrivePlaceholder) continue;
            auto* menu = new QMenu(ToQString(Text(30470, u"Virtual Drive")), tools);
            menu->setObjectName(QString::fromLatin1(kMenuName));
            // The placeholder carries the popup: menu positions stay as the
            // menu table counts them, and the item is no command any more.
            action->setMenu(menu);
            action->setProperty(kCommandIdProperty, QVariant());
            action->setEnabled(true);
            QObject::connect(menu, &QMenu::aboutToShow, &frame, [menu, &frame] { FillMenu(menu, frame); });
            FillMenu(menu, frame);
            break;
        }
    }
    CommandHandler handler;
    handler.run = [&frame](uint32_t id) { RunDriveCommand(frame, id); };
    handler.enabled = [](uint32_t id) { return DriveCommandEnabled(id); };
    InstallCommandHandler(CommandGroup::VirtualDrive, std::move(handler));
    // The handler lives as long as the frame it runs in.
    QObject::connect(&frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::VirtualDrive, {}); });
}

QMenu* VirtualDriveMenu(CMainFrame& frame) { return FindMenu(frame); }

}  // namespace app::ui
