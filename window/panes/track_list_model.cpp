#include "window/panes/track_list_model.h"

#include <algorithm>

#include "window/panes/list_cells.h"
#include "foundation/language.h"
#include "window/faces/icons.h"
#include "window/faces/qt_text.h"
#include "foundation/window_faces.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;

constexpr uint32_t kStrSize = 30020;
constexpr uint32_t kAddedMusicFile = 1;

// A sheet with a negative length or gap shows zero, never a wrapped count.
uint32_t Frames(int32_t value) { return value > 0 ? static_cast<uint32_t>(value) : 0; }

}  // namespace

TrackListModel::TrackListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TrackListModel::ShowTracks(image::ImageContext* ctx, TrackListKind kind) {
    beginResetModel();
    ctx_ = ctx;
    kind_ = kind;
    tracks_.clear();
    const image::TrackList* list = ctx ? ctx->trackList : nullptr;
    if (list) {
        const uint8_t mode = kind == TrackListKind::Audio ? image::track_mode::kAudio : image::track_mode::kMode2Form2;
        const int count = std::clamp(list->trackCount, 0, image::kMaxTracks);
        for (int i = 0; i < count; ++i)
            if (list->tracks[static_cast<size_t>(i)].mode == mode) tracks_.push_back(i);
    }
    endResetModel();
}

void TrackListModel::Clear() { ShowTracks(nullptr, kind_); }

int TrackListModel::TrackAt(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= tracks_.size()) return -1;
    return tracks_[static_cast<size_t>(row)];
}

void TrackListModel::RefreshTrackDurations() {
    // Only the rows there are: a list that grew since the fill waits for a new fill.
    if (kind_ != TrackListKind::Audio || tracks_.empty()) return;
    emit dataChanged(index(0, 4), index(static_cast<int>(tracks_.size()) - 1, 4), {Qt::DisplayRole});
}

void TrackListModel::RefreshTitles() { emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1); }

int TrackListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tracks_.size());
}

int TrackListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return kind_ == TrackListKind::Audio ? kAudioTrackColumns : kVideoTrackColumns;
}

QString TrackListModel::CellText(int track, int column) const {
    const image::TrackList& list = *ctx_->trackList;
    const image::TrackEntry& entry = list.tracks[static_cast<size_t>(track)];
    const bool video = kind_ == TrackListKind::Video;
    auto displayName = [&] {
        if (!entry.displayName.empty()) return ToQString(entry.displayName);
        // Tracks of an image share its one file; only an added music file names its track.
        const std::u16string_view source =
            (entry.flags & kAddedMusicFile) != 0 ? std::u16string_view(entry.fileName) : std::u16string_view();
        return ToQString(foundation::TrackDisplayName(track + 1, video, source));
    };
    auto cdText = [&](int slot) {
        const image::TrackDetail* detail = list.details[static_cast<size_t>(track) + 1].get();
        return detail ? ToQString(detail->texts[static_cast<size_t>(slot)]) : QString();
    };
    const uint32_t length = Frames(entry.length);
    if (column == 0) return QString::number(track + 1);
    if (video) {
        switch (column) {
        case 1: return displayName();
        case 2: return ToQString(VideoLengthText(length));
        case 3: return ToQString(VideoLengthText(Frames(entry.gapFrames)));
        default: return {};
        }
    }
    switch (column) {
    case 1: {
        const QString title = cdText(image::cdtext_slot::kTitle);
        return title.isEmpty() ? displayName() : title;
    }
    case 2: return cdText(image::cdtext_slot::kPerformer);
    case 3: return ToQString(AudioLengthText(length));
    case 4:
        // A sheet's track has no pause of its own: the gap before it is its pause.
        return ToQString(AudioLengthText(Frames(entry.pauseFrames != 0 ? entry.pauseFrames : entry.pregap)));
    case 5: return ToQString(TrackSizeText(length));
    case 6: return ToQString(entry.fileName);
    default: return {};
    }
}

QVariant TrackListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid() || !ctx_ || !ctx_->trackList) return {};
    const int track = TrackAt(index.row());
    if (track < 0 || index.column() >= columnCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return CellText(track, index.column());
    case Qt::DecorationRole:
        if (index.column() != 0) return {};
        return foundation::ui::BuiltInIcon(kind_ == TrackListKind::Audio ? QStringLiteral("audio-x-generic")
                                                                          : QStringLiteral("video-x-generic"));
    case Qt::TextAlignmentRole: {
        const int column = index.column();
        const bool centred = kind_ == TrackListKind::Audio ? column == 3 || column == 4 : column == 2 || column == 3;
        const bool right = kind_ == TrackListKind::Audio ? column == 5 : column == 4;
        if (centred) return QVariant(Qt::AlignHCenter | Qt::AlignVCenter);
        if (right) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    case kTrackIndexRole: return track;
    default: return {};
    }
}

QVariant TrackListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const bool audio = kind_ == TrackListKind::Audio;
    if (role == Qt::TextAlignmentRole) {
        const bool centred = audio ? section == 3 || section == 4 : section == 2 || section == 3;
        const bool right = audio ? section == 5 : section == 4;
        if (centred) return QVariant(Qt::AlignHCenter | Qt::AlignVCenter);
        return right ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) return {};
    static const char16_t* const kAudio[kAudioTrackColumns] = {u"Track", u"Title", u"Artist", u"Duration",
                                                               u"Pause", nullptr, u"Path"};
    static const char16_t* const kVideo[kVideoTrackColumns] = {u"Track", u"Title", u"Duration", u"Pause", nullptr};
    const char16_t* text = audio ? kAudio[section] : kVideo[section];
    return text ? ToQString(std::u16string_view(text)) : ToQString(foundation::GetLangString(kStrSize, u"Size"));
}

}  // namespace app::ui
