#include "window/panes/context_menus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <string_view>

#include "foundation/language.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;

// Submenus stand in the id lists as a marker followed by their ids and an end.
constexpr uint32_t kViewPopup = 1, kSortPopup = 2, kTrackViewPopup = 3, kPopupEnd = 4;

struct Entry {
    uint32_t id;
    std::u16string_view text;
};
// Texts of the entries whose menu-bar text is not the one the menus show.
constexpr Entry kTexts[] = {
    {32909, u"&View"},
    {32910, u"View wit&h..."},
    {32790, u"View with Default &Viewer"},
    {32861, u"E&xtract..."},
    {32917, u"I&nformation..."},
    {32956, u"&Copy to Clipboard\tCtrl+C"},
    {33212, u"Cu&t to Clipboard"},
    {33225, u"&Paste from Clipboard\tCtrl+V"},
    {32957, u"&Paste from Clipboard\tCtrl+V"},
    {32862, u"&Delete..."},
    {32868, u"&Rename"},
    {32853, u"Select A&ll"},
    {32854, u"&Invert selection"},
    {32860, u"&Add File(s)..."},
    {32915, u"&New Folder"},
    {kCmdOpenNode, u"&Open"},
    {33223, u"&View"},
    {33218, u"E&xtract..."},
    {33219, u"&Copy to Clipboard\tCtrl+C"},
    {33220, u"&Paste from Clipboard\tCtrl+V"},
    {33224, u"&Delete..."},
    {33210, u"&Add Audio Files..."},
    {33240, u"Audio &Properties..."},
    {33221, u"Select &All"},
    {33222, u"&Invert Selection"},
    {32776, u"Lar&ge Icon"},
    {32777, u"S&mall Icon"},
    {32778, u"&List"},
    {32779, u"&Detail"},
    {33214, u"Lar&ge Icon"},
    {33215, u"S&mall Icon"},
    {33216, u"&List"},
    {33217, u"&Detail"},
    {32780, u"By &Name"},
    {32781, u"By &Size"},
    {32782, u"By &Type"},
    {32783, u"By &Date"},
};

QString TextOf(uint32_t id) {
    for (const Entry& entry : kTexts)
        if (entry.id == id) return ToQString(entry.text);
    return QString::number(id);
}

bool Checked(uint32_t id) {
    const CommandHandler* handler = HandlerOfGroup(GroupOfCommand(id));
    return handler && handler->checked && handler->checked(id);
}

QAction* AddCommand(CMainFrame* frame, QMenu* menu, uint32_t id) {
    QAction* action = menu->addAction(TextOf(id));
    action->setProperty(foundation::ui::kCommandIdProperty, id);
    if (id != kCmdOpenNode) {
        action->setEnabled(frame->IsCommandEnabled(id));
        QObject::connect(action, &QAction::triggered, frame, [frame, id] { frame->ExecuteCommand(id); });
    }
    return action;
}

}  // namespace

std::vector<uint32_t> ContextMenuIds(ContextKind kind) {
    switch (kind) {
    case ContextKind::FileRow:
        return {32909, 32910, 32790, 32861, 32917, 0, 32956, 33212, 33225, 0, 32862, 32868, 0, 32853, 32854};
    case ContextKind::FolderRow:
        return {32909, 32861, 32917, 0, 32956, 33212, 33225, 0, 32862, 32868, 0, 32853, 32854};
    case ContextKind::ListSpace:
        return {kViewPopup, 32776, 32777, 32778, 32779, kPopupEnd, kSortPopup, 32780, 32782, 32781, 32783, kPopupEnd,
                0,          32861, 0,     32956, 33212, 32957, 0,         32860, 32915, 0,     32853, 32854};
    case ContextKind::TreeNode: return {kCmdOpenNode, 0, 32956, 32957, 0, 32862, 32861, 32868, 0, 32917};
    case ContextKind::TrackSpace:
        return {kTrackViewPopup, 33214, 33215, 33216, 33217, kPopupEnd, 0, 33218, 0, 33219, 33220, 0, 33210, 0, 33240,
                0,               33221, 33222};
    case ContextKind::TrackRows: return {33223, 33218, 0, 33219, 33220, 0, 33224, 0, 33240, 0, 33221, 33222};
    }
    return {};
}

void BuildModeMenu(CMainFrame* frame, QMenu* menu, uint32_t firstId, int checkedMode) {
    auto* group = new QActionGroup(menu);
    for (uint32_t id = firstId; id < firstId + 4; ++id) {
        QAction* action = AddCommand(frame, menu, id);
        action->setCheckable(true);
        action->setChecked(static_cast<int>(id - firstId) == checkedMode);
        group->addAction(action);
    }
}

void BuildContextMenu(CMainFrame* frame, QMenu* menu, ContextKind kind, int viewMode, int sortColumn) {
    const std::vector<uint32_t> ids = ContextMenuIds(kind);
    QMenu* target = menu;
    uint32_t popup = 0;
    QActionGroup* group = nullptr;
    for (uint32_t id : ids) {
        if (id == kViewPopup || id == kSortPopup || id == kTrackViewPopup) {
            popup = id;
            const std::u16string_view title = id == kSortPopup ? u"Sort &Icon" : u"&View";
            target = menu->addMenu(
                ToQString(id == kTrackViewPopup ? foundation::GetLangString(350, title) : std::u16string(title)));
            group = new QActionGroup(target);
            continue;
        }
        if (id == kPopupEnd) {
            target = menu;
            popup = 0;
            group = nullptr;
            continue;
        }
        if (id == 0) {
            target->addSeparator();
            continue;
        }
        QAction* action = AddCommand(frame, target, id);
        if (group) {
            // One radio choice per submenu: the list's mode, or its sort column.
            action->setCheckable(true);
            group->addAction(action);
            const uint32_t first = popup == kSortPopup ? 32780 : popup == kTrackViewPopup ? 33214 : 32776;
            action->setChecked(static_cast<int>(id - first) == (popup == kSortPopup ? sortColumn : viewMode));
        } else if (Checked(id)) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
    const QList<QAction*> all = menu->actions();
    if (!all.isEmpty() && !all.front()->menu()) menu->setDefaultAction(all.front());
}

void RebuildActionMenu(CMainFrame* frame) {
    const bool dataDocument = image::g_CurrentDocument && image::CanDocumentDo(153);
    const bool trackDocument = image::g_CurrentDocument && (image::CanDocumentDo(1) || image::CanDocumentDo(32));
    for (uint32_t id : {32860u, 32915u, 32862u, 32868u})
        for (QAction* action : frame->ActionsOf(id)) action->setVisible(dataDocument);
    for (uint32_t id : {33210u, 33213u})
        for (QAction* action : frame->ActionsOf(id)) action->setVisible(trackDocument);
    frame->UpdatePasswordItems();
}

}  // namespace app::ui
