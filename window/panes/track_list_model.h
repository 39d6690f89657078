#pragma once
// The track list of a document with tracks: one row per audio track (kind 2)
// or per video track (kind 3) of the document's track list, in track order.
// It reads the image core's TrackList where it lies and copies nothing of it;
// Clear() must run before the document is freed.

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

namespace image {
struct ImageContext;
}

namespace app::ui {

enum class TrackListKind : int { Audio = 2, Video = 3 };
inline constexpr int kAudioTrackColumns = 7;
inline constexpr int kVideoTrackColumns = 5;
// The track index of a row, for the views and commands.
inline constexpr int kTrackIndexRole = Qt::UserRole + 2;

class TrackListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrackListModel(QObject* parent = nullptr);

    // Shows the tracks of the kind's mode (null document: none).
    void ShowTracks(image::ImageContext* ctx, TrackListKind kind);
    void Clear();
    TrackListKind Kind() const { return kind_; }
    image::ImageContext* Document() const { return ctx_; }
    // The track index of a row; -1 outside the rows.
    int TrackAt(int row) const;
    // The pause cells again after the tracks' pauses changed.
    void RefreshTrackDurations();
    void RefreshTitles();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString CellText(int track, int column) const;

    image::ImageContext* ctx_ = nullptr;
    TrackListKind kind_ = TrackListKind::Audio;
    std::vector<int> tracks_;
};

}  // namespace app::ui
