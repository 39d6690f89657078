#include "window/frame/item_view_commands.h"

#include <QPointer>
#include <QTreeView>

#include <vector>

#include "app/document_lifecycle.h"
#include "foundation/programs.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"
#include "window/dialogs/information_dialog.h"
#include "window/dialogs/split_archive_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/item_opening.h"
#include "window/panes/pane_layout.h"

namespace app::ui {

namespace {

enum : int { kViewTree = 1, kViewList = 2, kViewTracks = 3 };

bool IsOwnCommand(uint32_t id) {
    switch (id) {
    case kCmdViewItem:
    case kCmdViewTrack:
    case kCmdViewItemWith:
    case kCmdViewItemDefault:
    case kCmdItemInformation:
    case kCmdSplitSettings: return true;
    default: return false;
    }
}

FramePanes* PanesOf(CMainFrame* frame) {
    return frame ? frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool IsDataDocument() {
    return image::g_CurrentDocument && CurrentDocumentKind() != DocumentKind::AudioCd;
}

bool HasTracks() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    return ctx && ctx->trackList && ctx->trackList->trackCount > 0;
}

class ItemViewCommands {
public:
    explicit ItemViewCommands(CMainFrame* frame) : frame_(frame) {}

    bool Enabled(uint32_t id) const {
        FramePanes* panes = PanesOf(frame_);
        if (!panes || !image::g_CurrentDocument) return false;
        switch (id) {
        case kCmdViewItem: return IsDataDocument() && panes->SelectedItems().size() == 1;
        case kCmdViewItemWith:
        case kCmdViewItemDefault: {
            if (!IsDataDocument()) return false;
            const std::vector<image::ImageItem*> items = panes->SelectedItems();
            return items.size() == 1 && !image::IsFolderItem(items.front());
        }
        case kCmdViewTrack:
            // Only Video CD tracks have a file to open; audio tracks are played.
            return HasTracks() && image::g_CurrentDocument->videoCdKind != 0 && panes->SelectedTracks().size() == 1;
        case kCmdItemInformation: {
            const int view = frame_->GetFocusedView();
            if (view == kViewTree) return TreeFolder(panes) != nullptr;
            if (view == kViewTracks) return HasTracks() && !panes->SelectedTracks().empty();
            return IsDataDocument() && !panes->SelectedItems().empty();
        }
        case kCmdSplitSettings: return !image::g_CurrentDocument->readOnly;
        default: return false;
        }
    }

    void Run(uint32_t id) {
        FramePanes* panes = PanesOf(frame_);
        if (!panes || !Enabled(id)) return;
        switch (id) {
        case kCmdViewItem: panes->OpenSelection(); break;
        case kCmdViewItemWith: OpenSelected(panes, foundation::LaunchMode::OpenWith); break;
        case kCmdViewItemDefault: OpenSelected(panes, foundation::LaunchMode::DefaultViewer); break;
        case kCmdViewTrack:
            OpenVideoTrack(frame_, panes->SelectedTracks().front(), foundation::LaunchMode::Open);
            break;
        case kCmdItemInformation: ShowInformation(panes); break;
        case kCmdSplitSettings: dialogs::ui::RunSplitArchiveDialog(frame_); break;
        default: break;
        }
    }

private:
    static image::ImageFolder* TreeFolder(FramePanes* panes) {
        return panes->TreeModel()->FolderOf(panes->TreeView()->currentIndex());
    }

    void OpenSelected(FramePanes* panes, foundation::LaunchMode mode) {
        const std::vector<image::ImageItem*> items = panes->SelectedItems();
        if (items.size() == 1 && !image::IsFolderItem(items.front())) OpenListFile(frame_, items.front(), mode);
    }

    void ShowInformation(FramePanes* panes) {
        bool shown = false;
        switch (frame_->GetFocusedView()) {
        case kViewTree:
            shown = dialogs::ui::RunInformationDialog(frame_, dialogs::InformationSource::TreeFolder,
                                                      TreeFolder(panes), {}, {});
            break;
        case kViewTracks:
            shown = dialogs::ui::RunInformationDialog(frame_, dialogs::InformationSource::Tracks, nullptr, {},
                                                      panes->SelectedTracks());
            break;
        default:
            shown = dialogs::ui::RunInformationDialog(frame_, dialogs::InformationSource::ListItems, nullptr,
                                                      panes->SelectedItems(), {});
            break;
        }
        // Dates stored into items show in the list at once.
        if (shown && image::g_CurrentFolder) panes->ShowFolder(image::g_CurrentFolder);
    }

    QPointer<CMainFrame> frame_;
};

}  // namespace

void InstallItemViewCommands(CMainFrame* frame) {
    CommandHandler before;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::ItemView)) before = *installed;
    auto commands = std::make_shared<ItemViewCommands>(frame);
    CommandHandler handler;
    handler.run = [commands, before](uint32_t id) {
        if (IsOwnCommand(id)) commands->Run(id);
        else if (before.run) before.run(id);
    };
    handler.enabled = [commands, before](uint32_t id) {
        if (IsOwnCommand(id)) return commands->Enabled(id);
        return before.run && (!before.enabled || before.enabled(id));
    };
    handler.checked = before.checked;
    InstallCommandHandler(CommandGroup::ItemView, std::move(handler));
    QObject::connect(frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::ItemView, {}); });
}

}  // namespace app::ui
