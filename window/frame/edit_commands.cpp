#include "window/frame/edit_commands.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QPointer>
#include <QStackedWidget>
#include <QTreeView>

#include "app/document_edits.h"
#include "app/document_lifecycle.h"
#include "app/startup_state.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "window/dialogs/extract_dialog.h"
#include "window/dialogs/file_folder_select_dialog.h"
#include "window/faces/qt_text.h"
#include "window/frame/clipboard_commands.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/pane_layout.h"

namespace app::ui {

namespace {

constexpr uint32_t kStrConfirmDelete = 960;
enum : int { kViewTree = 1, kViewList = 2, kViewTracks = 3 };

// Shown while the tree or the list changes under a long command.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

FramePanes* PanesOf(CMainFrame* frame) {
    return frame ? frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The list view the user sees (details or icons).
QAbstractItemView* ShownListView(FramePanes* panes) {
    QWidget* details = panes->DetailsView();
    return details->isVisibleTo(details->window()) || !panes->IconView()->isVisibleTo(details->window())
               ? static_cast<QAbstractItemView*>(panes->DetailsView())
               : static_cast<QAbstractItemView*>(panes->IconView());
}

image::ImageFolder* TreeFolder(FramePanes* panes) {
    return panes->TreeModel()->FolderOf(panes->TreeView()->currentIndex());
}

bool RootHasEntries() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || !ctx->rootFolder) return false;
    for (const image::ImageItem* item = ctx->rootFolder->firstItem; item; item = item->next)
        if (item->name.view() != u"." && item->name.view() != u"..") return true;
    return false;
}

bool SelectionDeletable(const std::vector<image::ImageItem*>& items) {
    if (items.empty()) return false;
    for (const image::ImageItem* item : items)
        if (IsProtectedItem(image::g_CurrentDocument, item)) return false;
    return true;
}

bool TreeFolderDeletable(image::ImageFolder* folder) {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    if (!folder || !ctx) return false;
    if (folder == ctx->rootFolder) return RootHasEntries();
    return !IsProtectedItem(ctx, folder->ownItem);
}

bool AskDelete() {
    return foundation::AppMessageBox(
               foundation::GetLangString(kStrConfirmDelete, u"Are you sure to delete the selected item(s)?"),
               foundation::kMbYesNo | foundation::kMbIconQuestion | foundation::kMbDefButton2) == foundation::kIdYes;
}

class EditCommands {
public:
    explicit EditCommands(CMainFrame* frame) : frame_(frame) {}

    bool EditingEnabled(uint32_t id) const {
        FramePanes* panes = PanesOf(frame_);
        if (!panes || !IsWritableDataDocument()) return false;
        switch (id) {
        case kCmdAddFiles:
        case kCmdAddPopup:
        case kCmdNewFolder:
        case kCmdChangeLabel: return true;
        case kCmdDeleteItems:
            if (frame_->GetFocusedView() == kViewTree) return TreeFolderDeletable(TreeFolder(panes));
            return SelectionDeletable(panes->SelectedItems());
        case kCmdRenameItem: {
            if (frame_->GetFocusedView() == kViewTree) {
                image::ImageFolder* folder = TreeFolder(panes);
                return folder && panes->TreeModel()->flags(panes->TreeView()->currentIndex()) & Qt::ItemIsEditable;
            }
            const std::vector<image::ImageItem*> items = panes->SelectedItems();
            return items.size() == 1 && !IsProtectedItem(image::g_CurrentDocument, items.front());
        }
        default: return false;
        }
    }

    void RunEditing(uint32_t id) {
        FramePanes* panes = PanesOf(frame_);
        if (!panes) return;
        switch (id) {
        case kCmdAddFiles:
        case kCmdAddPopup: AddFiles(panes); break;
        case kCmdNewFolder: NewFolder(panes); break;
        case kCmdDeleteItems:
            if (frame_->GetFocusedView() == kViewTree) DeleteTreeFolder(panes);
            else DeleteSelection(panes);
            break;
        case kCmdRenameItem: Rename(panes); break;
        case kCmdChangeLabel: {
            const QModelIndex root = panes->TreeModel()->RootIndex();
            if (!root.isValid()) return;
            panes->TreeView()->setFocus();
            panes->TreeView()->setCurrentIndex(root);
            panes->TreeView()->edit(root);
            break;
        }
        default: break;
        }
    }

    bool ExtractEnabled(uint32_t id) const {
        // Audio CDs rip their tracks instead (the audio handler of the group).
        return id == kCmdExtractItems && image::g_CurrentDocument && CurrentDocumentKind() != DocumentKind::AudioCd &&
               PanesOf(frame_) && RootHasEntries();
    }

    void RunExtract() {
        FramePanes* panes = PanesOf(frame_);
        image::ImageContext* ctx = image::g_CurrentDocument;
        if (!panes || !ctx || !RootHasEntries() || foundation::RequireSavedDocument() != 0) return;
        image::ImageFolder* base = image::g_CurrentFolder ? image::g_CurrentFolder : ctx->rootFolder;
        std::vector<image::ImageItem*> selection;
        if (frame_->GetFocusedView() == kViewTree) {
            image::ImageFolder* folder = TreeFolder(panes);
            if (folder && folder != ctx->rootFolder && folder->ownItem) {
                base = folder->parent;
                selection.push_back(folder->ownItem);
            } else {
                base = ctx->rootFolder;
            }
        } else {
            selection = panes->SelectedItems();
        }
        dialogs::ui::RunExtractDialog(frame_, ctx, base, selection);
        foundation::ResetOperationStatus();
        g_AutomationDone = 0;
    }

private:
    void AddFiles(FramePanes* panes) {
        image::ImageFolder* folder = image::g_CurrentFolder;
        if (!folder) return;
        // Files and folders are chosen together, as the adding variant of
        // the selection dialog offers them.
        const std::vector<std::u16string> chosen = dialogs::ui::SelectFilesAndFolders(
            frame_, QString::fromStdU16String(foundation::GetLangString(620, u"Add Files and Folders")),
            QDir::homePath(), true);
        WaitCursor wait;
        for (const std::u16string& path : chosen) AddDiskPath(folder, path);
        if (!chosen.empty()) panes->ShowFolder(folder);
        g_AutomationDone = 0;
    }

    void NewFolder(FramePanes* panes) {
        WaitCursor wait;
        image::ImageItem* item = CreateNewFolder(image::g_CurrentFolder);
        if (!item) return;
        const int row = panes->ListModel()->RowOf(item);
        if (row < 0) return;
        QAbstractItemView* view = ShownListView(panes);
        const QModelIndex index = panes->ListModel()->index(row, 0);
        view->setFocus();
        view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->setCurrentIndex(index);
        view->edit(index);
    }

    void Rename(FramePanes* panes) {
        if (frame_->GetFocusedView() == kViewTree) {
            panes->TreeView()->edit(panes->TreeView()->currentIndex());
            return;
        }
        const std::vector<image::ImageItem*> items = panes->SelectedItems();
        if (items.size() != 1) return;
        const int row = panes->ListModel()->RowOf(items.front());
        if (row < 0) return;
        QAbstractItemView* view = ShownListView(panes);
        const QModelIndex index = panes->ListModel()->index(row, 0);
        view->setFocus();
        view->setCurrentIndex(index);
        view->edit(index);
    }

    void DeleteSelection(FramePanes* panes) {
        const std::vector<image::ImageItem*> items = panes->SelectedItems();
        if (!SelectionDeletable(items) || !IsWritableDataDocument() || !AskDelete()) return;
        WaitCursor wait;
        ForgetClipboardItemsOf(image::g_CurrentDocument);
        image::ImageFolder* shown = image::g_CurrentFolder;
        // The rows go all at once: told one by one, a large selection would
        // cost a search of the list per item.
        panes->ListModel()->Clear();
        DeleteItems(items);
        panes->ShowFolder(image::g_CurrentFolder ? image::g_CurrentFolder : shown);
    }

    void DeleteTreeFolder(FramePanes* panes) {
        image::ImageContext* ctx = image::g_CurrentDocument;
        image::ImageFolder* folder = TreeFolder(panes);
        if (!ctx || !TreeFolderDeletable(folder) || !IsWritableDataDocument() || !AskDelete()) return;
        WaitCursor wait;
        ForgetClipboardItemsOf(ctx);
        if (folder == ctx->rootFolder) {
            panes->ListModel()->Clear();
            DeleteRootContents();
            panes->ShowFolder(ctx->rootFolder);
            return;
        }
        DeleteItems({folder->ownItem});
    }

    QPointer<CMainFrame> frame_;
};

}  // namespace

void InstallEditCommands(CMainFrame* frame) {
    static DocumentRenameServices renames;
    SetRenameServices(&renames);
    auto commands = std::make_shared<EditCommands>(frame);

    CommandHandler editingBefore;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::Editing)) editingBefore = *installed;
    CommandHandler editing;
    editing.run = [commands, editingBefore](uint32_t id) {
        if (commands->EditingEnabled(id) || !editingBefore.run) commands->RunEditing(id);
        else editingBefore.run(id);
    };
    editing.enabled = [commands, editingBefore](uint32_t id) {
        if (commands->EditingEnabled(id)) return true;
        return editingBefore.run && editingBefore.enabled && editingBefore.enabled(id);
    };
    editing.checked = editingBefore.checked;
    InstallCommandHandler(CommandGroup::Editing, std::move(editing));

    CommandHandler extractBefore;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::Extraction)) extractBefore = *installed;
    CommandHandler extraction;
    extraction.run = [commands, extractBefore](uint32_t id) {
        if (commands->ExtractEnabled(id)) commands->RunExtract();
        else if (extractBefore.run) extractBefore.run(id);
    };
    extraction.enabled = [commands, extractBefore](uint32_t id) {
        if (commands->ExtractEnabled(id)) return true;
        return extractBefore.run && (!extractBefore.enabled || extractBefore.enabled(id));
    };
    extraction.checked = extractBefore.checked;
    InstallCommandHandler(CommandGroup::Extraction, std::move(extraction));

    QObject::connect(frame, &QObject::destroyed, [] {
        InstallCommandHandler(CommandGroup::Editing, {});
        InstallCommandHandler(CommandGroup::Extraction, {});
        SetRenameServices(nullptr);
    });
}

}  // namespace app::ui
