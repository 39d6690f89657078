#include "window/frame/player_commands.h"

#include <QMetaObject>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>

#include <algorithm>

#include "window/frame/command_routes.h"
#include "window/panes/pane_layout.h"
#include "window/panes/track_list_model.h"
#include "app/document_edits.h"
#include "audio/tracks/track_model.h"
#include "audio/player/audio_player.h"
#include "audio/player/mixer_volume.h"
#include "foundation/settings.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"

namespace app::ui {
namespace {

constexpr uint32_t kCmdPlay = 33134, kCmdStop = 33135, kCmdPrevious = 33136, kCmdNext = 33137;
constexpr uint32_t kCmdMoveUp = 33139, kCmdMoveDown = 33140;
// The player takes at most this many chosen tracks.
constexpr size_t kMaxPlayPositions = 99;
constexpr uint32_t kCmdRepeat = 33148, kCmdRandom = 33149, kCmdVolumeUp = 33150, kCmdVolumeDown = 33151;

bool HasAudioTracks(const image::ImageContext* doc) {
    if (doc == nullptr || doc->trackList == nullptr) return false;
    const image::TrackList& list = *doc->trackList;
    const int32_t count = std::clamp(list.trackCount, 0, image::kMaxTracks);
    for (int32_t t = 0; t < count; ++t)
        if (list.tracks[size_t(t)].mode == image::track_mode::kAudio) return true;
    return false;
}

void SetPlayingMark(int32_t track) {
    if (image::g_CurrentDocument && image::g_CurrentDocument->trackList)
        image::g_CurrentDocument->trackList->playingTrack = track;
}

FramePanes* PanesOf(QObject* frame) {
    return frame ? frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The chosen tracks when they may move that way: a writable document, and
// none of them already at the end it moves towards.
std::vector<int> MovableTracks(QObject* frame, bool up) {
    const image::ImageContext* doc = image::g_CurrentDocument;
    FramePanes* panes = PanesOf(frame);
    if (!doc || doc->readOnly || !doc->trackList || !panes) return {};
    std::vector<int> chosen = panes->SelectedTracks();
    if (chosen.size() > kMaxPlayPositions) chosen.resize(kMaxPlayPositions);
    const int last = std::clamp(doc->trackList->trackCount, 0, image::kMaxTracks) - 1;
    if (chosen.empty() || (up && chosen.front() <= 0) || (!up && chosen.back() >= last)) return {};
    return chosen;
}

}  // namespace

PlayerCommands::PlayerCommands(QObject* parent) : QObject(parent) {
    InstallCommandHandler(CommandGroup::Player, {[this](uint32_t id) { Run(id); },
                                                 [this](uint32_t id) { return Enabled(id); },
                                                 [this](uint32_t id) { return Checked(id); }});
}

PlayerCommands::~PlayerCommands() {
    InstallCommandHandler(CommandGroup::Player, {});
    StopPlayer();
}

void PlayerCommands::StopPlayer() {
    std::shared_ptr<audio::AudioPlayer> player = std::move(player_);
    if (!player) return;
    audio::StopPlaybackAndWait(player);
    SetPlayingMark(-1);
}

void PlayerCommands::Play() {
    StopPlayer();
    SetPlayingMark(-1);
    audio::PlaybackRequest request;
    request.document = image::g_CurrentDocument;
    request.status = foundation::GetStatusFlags();
    // The chosen tracks, in list order; none chosen plays them all.
    if (QObject* frame = parent())
        if (auto* panes = frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly)) {
            const std::vector<int> chosen = panes->SelectedTracks();
            request.positions.assign(chosen.begin(), chosen.end());
            if (request.positions.size() > kMaxPlayPositions) request.positions.resize(kMaxPlayPositions);
        }
    // The notices arrive on the output thread; the window thread acts on them.
    QPointer<PlayerCommands> self(this);
    request.onTrackChange = [self](audio::AudioPlayer& p) {
        const audio::AudioPlayer* player = &p;
        QMetaObject::invokeMethod(self.data(), [self, player] { if (self) self->OnTrackChanged(player); },
                                  Qt::QueuedConnection);
    };
    auto ended = [self](audio::AudioPlayer& p) {
        const audio::AudioPlayer* player = &p;
        QMetaObject::invokeMethod(self.data(), [self, player] { if (self) self->OnEnded(player); },
                                  Qt::QueuedConnection);
    };
    request.onNormalEnd = ended;
    request.onErrorEnd = ended;
    player_ = audio::StartPlayback(std::move(request));
    if (player_) SetPlayingMark(player_->PlayingTrack());
}

void PlayerCommands::OnTrackChanged(const audio::AudioPlayer* player) {
    if (player_.get() == player) SetPlayingMark(player_->PlayingTrack());
}

void PlayerCommands::OnEnded(const audio::AudioPlayer* player) {
    if (player_.get() != player) return;
    player_.reset();
    SetPlayingMark(-1);
}

void PlayerCommands::Run(uint32_t id) {
    switch (id) {
        case kCmdPlay: Play(); break;
        case kCmdStop: StopPlayer(); break;
        case kCmdPrevious:
            if (player_) audio::SetTrackRequest(*player_, audio::kTrackRequestPrevious);
            break;
        case kCmdNext:
            if (player_) audio::SetTrackRequest(*player_, audio::kTrackRequestNext);
            break;
        case kCmdRepeat: foundation::SetStatusFlags(foundation::GetStatusFlags() ^ audio::kStatusRepeat); break;
        case kCmdRandom: foundation::SetStatusFlags(foundation::GetStatusFlags() ^ audio::kStatusRandomOrder); break;
        case kCmdVolumeUp: audio::StepMixerVolumePercent(+5); break;
        case kCmdVolumeDown: audio::StepMixerVolumePercent(-5); break;
        case kCmdMoveUp: MoveTracks(true); break;
        case kCmdMoveDown: MoveTracks(false); break;
        default: break;
    }
}

void PlayerCommands::MoveTracks(bool up) {
    SetPlayingMark(-1);
    std::vector<int> chosen = MovableTracks(parent(), up);
    if (chosen.empty()) return;
    // The player reads the track list: it lets go before the list changes.
    StopPlayer();
    image::ImageContext* doc = image::g_CurrentDocument;
    if (up) {
        for (int& track : chosen) audio::MoveTrackUp(doc, track--);
    } else {
        for (auto track = chosen.rbegin(); track != chosen.rend(); ++track) audio::MoveTrackDown(doc, (*track)++);
    }
    FramePanes* panes = PanesOf(parent());
    TrackListModel* model = panes->TracksModel();
    model->ShowTracks(doc, model->Kind());
    QItemSelectionModel* selection = panes->TrackView()->selectionModel();
    selection->clear();
    for (int row = 0; row < model->rowCount(); ++row)
        if (std::find(chosen.begin(), chosen.end(), model->TrackAt(row)) != chosen.end())
            selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    SetDocumentModified(2);
}

bool PlayerCommands::Enabled(uint32_t id) const {
    const int32_t index = player_ ? player_->CurrentIndex() : -1;
    switch (id) {
        case kCmdPlay: return HasAudioTracks(image::g_CurrentDocument);
        case kCmdStop: return player_ != nullptr;
        case kCmdPrevious: return index > 0;
        case kCmdNext: return index >= 0 && index < player_->PlayListCount() - 1;
        case kCmdRepeat:
        case kCmdRandom:
        case kCmdVolumeUp:
        case kCmdVolumeDown: return true;
        case kCmdMoveUp: return !MovableTracks(parent(), true).empty();
        case kCmdMoveDown: return !MovableTracks(parent(), false).empty();
        default: return false;
    }
}

bool PlayerCommands::Checked(uint32_t id) const {
    if (id == kCmdRepeat) return (foundation::GetStatusFlags() & audio::kStatusRepeat) != 0;
    if (id == kCmdRandom) return (foundation::GetStatusFlags() & audio::kStatusRandomOrder) != 0;
    return false;
}

}  // namespace app::ui
