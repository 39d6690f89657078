#pragma once
// The main frame's client area: three splitters around the folder tree, the
// file list (four view modes over one model and one selection), the comment
// pane and the player row, laid out for the current document.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <vector>

#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

class QSplitter;
class QStackedWidget;
class QTreeView;
class QListView;
class QItemSelectionModel;
class QAbstractItemView;
class QTimer;

namespace app::ui {

class CISOCommentView;
class FolderNavigation;
class FolderTreeModel;
class ItemListModel;
class TrackListModel;

// What a layout gives each pane, for the tests and the view commands.
struct PaneSizes {
    bool treeShown = false;
    bool listShown = false;
    bool commentShown = false;
    bool playerShown = false;
};

class FramePanes : public QObject, public IFramePanes {
    Q_OBJECT
public:
    // Builds the panes as the frame's central widget and takes the view
    // commands of the frame.
    explicit FramePanes(CMainFrame* frame);
    ~FramePanes() override;

    void ArrangePanes();
    void HideCommentPane();
    void ShowCommentPane(image::ImageContext* doc);
    void ShowFolder(image::ImageFolder* folder);
    // 0 large icons, 1 small icons, 2 list, 3 details.
    void SetViewMode(int mode);
    int ViewMode() const { return viewMode_; }
    // The track list's mode, 0-3 as for the file list.
    void SetTrackViewMode(int mode);
    int TrackViewMode() const { return trackViewMode_; }
    void SortCommand(int column);
    void GoUp();
    void ToggleTree();

    // IFramePanes
    void ClearViews() override;
    void ShowDocument(image::ImageContext* ctx) override;
    int FocusedView() override;
    void FillFileListWithFolder(image::ImageFolder* folder) override;
    void NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item,
                                  bool added) override;
    void RefreshTexts() override;
    void BeginViewUpdate() override;
    void EndViewUpdate() override;
    void RefreshListItemDate(image::ImageFolder* folder, image::ImageItem* item) override;
    void ClearNavigationHistory() override;

    // The right-click menu of a view at a screen position, for its selection.
    void ShowContextMenu(QAbstractItemView* view, const QPoint& globalAt);
    // Opens the one selected row: a folder is shown, a file goes to its program.
    void OpenSelection();
    FolderNavigation* Navigation() const { return navigation_; }
    QListView* TrackIconView() const { return trackIconView_; }

    // The selected rows, in row order: items of the file list, track indices
    // of the track list.
    std::vector<image::ImageItem*> SelectedItems() const;
    std::vector<int> SelectedTracks() const;

    FolderTreeModel* TreeModel() const { return treeModel_; }
    TrackListModel* TracksModel() const { return trackModel_; }
    QTreeView* TrackView() const { return trackView_; }
    ItemListModel* ListModel() const { return listModel_; }
    QTreeView* TreeView() const { return treeView_; }
    QTreeView* DetailsView() const { return detailsView_; }
    QListView* IconView() const { return iconView_; }
    CISOCommentView* CommentView() const { return commentView_; }
    QSplitter* MainSplitter() const { return mainSplitter_; }
    QSplitter* BrowseSplitter() const { return browseSplitter_; }
    QSplitter* ListSplitter() const { return listSplitter_; }
    QWidget* PlayerPane() const { return playerPane_; }

signals:
    // The shown folder, the tracks or a selection changed: the status bar
    // counts again.
    void ContentChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTreeSelection();
    void OnListActivated(const QModelIndex& index);
    void SizeColumns();
    void SizeTrackColumns();
    bool RunsOwnViewCommand(uint32_t id) const;
    bool RunsViewCommand(uint32_t id) const;
    bool ViewCommandChecked(uint32_t id) const;
    void RunViewCommand(uint32_t id);
    void ShowModeMenu(bool tracks);
    void OpenTrackRow(int row);
    void SyncTreeVisible();
    void ShowAddedRows();
    // Whether the list shows this folder or one below it.
    bool ShownBelow(const image::ImageFolder* folder) const;

    CMainFrame* frame_;
    QSplitter* mainSplitter_ = nullptr;
    QSplitter* browseSplitter_ = nullptr;
    QSplitter* listSplitter_ = nullptr;
    QTreeView* treeView_ = nullptr;
    QStackedWidget* listStack_ = nullptr;
    QTreeView* detailsView_ = nullptr;
    QListView* iconView_ = nullptr;
    CISOCommentView* commentView_ = nullptr;
    QWidget* playerPane_ = nullptr;
    QTreeView* trackView_ = nullptr;
    QListView* trackIconView_ = nullptr;
    QStackedWidget* trackStack_ = nullptr;
    FolderNavigation* navigation_ = nullptr;
    QTimer* stateRefresh_ = nullptr;
    CommandHandler previousViews_;
    int trackViewMode_ = 3;
    int updateDepth_ = 0;
    bool refillPending_ = false;
    TrackListModel* trackModel_ = nullptr;
    FolderTreeModel* treeModel_ = nullptr;
    ItemListModel* listModel_ = nullptr;
    QItemSelectionModel* listSelection_ = nullptr;
    int viewMode_ = 3;
    bool treeVisible_ = true;
    bool treeSized_ = false;
};

}  // namespace app::ui
