#include "window/frame/audio_extract_command.h"

#include <QPointer>

#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "window/dialogs/rip_audio_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"

namespace app::ui {

namespace {

constexpr uint32_t kCmdExtract = 32861;
constexpr uint32_t kCmdExtractTracks = 33218;

bool IsAudioExtract(uint32_t id) {
    const image::ImageContext* doc = image::g_CurrentDocument;
    return (id == kCmdExtract || id == kCmdExtractTracks) && doc && doc->formatCode == image::format_code::kAudioCd;
}

bool HasTracks(const image::ImageContext* doc) { return doc && doc->trackList && doc->trackList->trackCount > 0; }

}  // namespace

void InstallAudioExtractCommand(CMainFrame* frame) {
    CommandHandler before;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::Extraction)) before = *installed;
    QPointer<CMainFrame> owner(frame);
    CommandHandler handler;
    handler.run = [owner, before](uint32_t id) {
        if (!IsAudioExtract(id)) {
            if (before.run) before.run(id);
            return;
        }
        if (!owner || !HasTracks(image::g_CurrentDocument)) return;
        std::vector<int> selection;
        if (auto* panes = owner->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly))
            selection = panes->SelectedTracks();
        dialogs::ui::RunRipAudioDialog(owner, image::g_CurrentDocument, selection);
    };
    handler.enabled = [before](uint32_t id) {
        if (IsAudioExtract(id)) return HasTracks(image::g_CurrentDocument);
        if (!before.run) return false;
        return before.enabled ? before.enabled(id) : true;
    };
    handler.checked = before.checked;
    InstallCommandHandler(CommandGroup::Extraction, std::move(handler));
}

}  // namespace app::ui
