#pragma once
// The project's own panes in the audio CD and data disc burn dialogs: a folder
// tree and a file (or track) list that sit over the main window's models and
// share their selections, so selecting, opening and sorting here act on the
// main window's lists with nothing copied and nothing mirrored back and forth.

#include <QTreeView>

namespace app::ui {
class FramePanes;
}

namespace dialogs::ui {

// The project's folders: the main tree's model and its selection, so choosing
// a folder here shows it in the main file list (and so in the burn list).
class CBurnTreeView : public QTreeView {
    Q_OBJECT
public:
    CBurnTreeView(app::ui::FramePanes* panes, QWidget* parent = nullptr);
    // The root (showing the project's volume label) expanded and selected.
    void ShowRoot();

private:
    app::ui::FramePanes* panes_;
};

// The files of the shown folder, or the audio CD's tracks.
class CBurnFileView : public QTreeView {
    Q_OBJECT
public:
    CBurnFileView(app::ui::FramePanes* panes, bool tracks, QWidget* parent = nullptr);
    bool ShowsTracks() const { return tracks_; }
    // Column widths as shares of the list's width.
    void SizeColumns();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnHeaderClicked(int column);
    void OnActivated(const QModelIndex& index);

    app::ui::FramePanes* panes_;
    bool tracks_;
    // Track lists keep their order; a header click only turns the arrow.
    int trackSortColumn_ = -1;
    bool trackAscending_ = true;
};

}  // namespace dialogs::ui
