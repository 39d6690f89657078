#include "window/frame/track_delete_command.h"

#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>

#include <algorithm>
#include <vector>

#include "app/document_edits.h"
#include "audio/tracks/track_model.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "image/vcd/video_cd.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"
#include "window/panes/track_list_model.h"

namespace app::ui {

namespace {

constexpr uint32_t kStrConfirmDelete = 960;

bool IsOwnCommand(uint32_t id) { return id == kCmdDeleteTracks || id == kCmdDeleteTracksVideo; }

FramePanes* PanesOf(CMainFrame* frame) {
    return frame ? frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

std::vector<int> DeletableTracks(CMainFrame* frame) {
    const image::ImageContext* doc = image::g_CurrentDocument;
    FramePanes* panes = PanesOf(frame);
    if (!doc || doc->readOnly || !doc->trackList || doc->trackList->trackCount <= 0 || !panes) return {};
    std::vector<int> chosen = panes->SelectedTracks();
    const int count = std::min(doc->trackList->trackCount, image::kMaxTracks);
    chosen.erase(std::remove_if(chosen.begin(), chosen.end(), [count](int t) { return t < 0 || t >= count; }),
                 chosen.end());
    return chosen;
}

void DeleteTracks(CMainFrame* frame) {
    std::vector<int> chosen = DeletableTracks(frame);
    if (chosen.empty()) return;
    if (foundation::AppMessageBox(
            foundation::GetLangString(kStrConfirmDelete, u"Are you sure to delete the selected item(s)?"),
            foundation::kMbYesNo | foundation::kMbIconQuestion | foundation::kMbDefButton2) != foundation::kIdYes)
        return;
    // The player reads the track list: it lets go before the list changes.
    frame->StopPlayer();
    image::ImageContext* doc = image::g_CurrentDocument;
    std::sort(chosen.begin(), chosen.end());
    int removed = 0;
    for (int track : chosen) audio::RemoveAudioTrack(doc, track - removed++);
    if (doc->videoCdKind != 0) image::BuildVcdFileTree(*doc);
    FramePanes* panes = PanesOf(frame);
    TrackListModel* model = panes->TracksModel();
    panes->TrackView()->selectionModel()->clear();
    model->ShowTracks(doc, model->Kind());
    SetDocumentModified(2);
}

}  // namespace

void InstallTrackDeleteCommand(CMainFrame* frame) {
    CommandHandler before;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::Editing)) before = *installed;
    QPointer<CMainFrame> owner(frame);
    CommandHandler handler;
    handler.run = [owner, before](uint32_t id) {
        if (!IsOwnCommand(id)) {
            if (before.run) before.run(id);
            return;
        }
        if (owner) DeleteTracks(owner);
    };
    handler.enabled = [owner, before](uint32_t id) {
        if (IsOwnCommand(id)) return owner && !DeletableTracks(owner).empty();
        return before.run && (!before.enabled || before.enabled(id));
    };
    handler.checked = before.checked;
    InstallCommandHandler(CommandGroup::Editing, std::move(handler));
    QObject::connect(frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::Editing, {}); });
}

}  // namespace app::ui
