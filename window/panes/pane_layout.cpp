#include "window/panes/pane_layout.h"

#include "window/panes/player_bar.h"

#include <QApplication>
#include <QScrollBar>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/document_lifecycle.h"
#include "window/frame/command_routes.h"
#include "window/panes/comment_view.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/track_list_model.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"

namespace app::ui {

namespace {

constexpr int kHandleWidth = 3;
constexpr int kTreeWidth = 220;
constexpr int kColumnPercent[kListColumns] = {30, 20, 30, 20};
constexpr int kAudioColumnPercent[kAudioTrackColumns] = {10, 20, 16, 10, 10, 10, 24};
constexpr int kVideoColumnPercent[kVideoTrackColumns] = {10, 30, 20, 20, 15};
// Names are edited with F2 or a click on the selected row.
constexpr QAbstractItemView::EditTriggers kLabelEditing =
    QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked;

constexpr uint32_t kCmdFirstMode = 32776, kCmdLastMode = 32779;
// By name, size, type and date: sort columns 0 to 3.
constexpr uint32_t kCmdSortName = 32780, kCmdSortDate = 32783;
constexpr uint32_t kCmdSelectAll = 32853, kCmdInvert = 32854, kCmdUp = 32774, kCmdTreeToggle = 32813;
constexpr uint32_t kCmdSelectAllTracks = 33221, kCmdInvertTracks = 33222;

enum : int { kViewTree = 1, kViewList = 2, kViewTracks = 3 };

// The exact sizes for a splitter: QSplitter rescales a list that does not add
// up to its own size.
void SetTwoSizes(QSplitter* splitter, int first) {
    const int total = splitter->orientation() == Qt::Vertical ? splitter->height() : splitter->width();
    const int usable = std::max(0, total - splitter->handleWidth());
    first = std::clamp(first, 0, usable);
    splitter->setSizes({first, usable - first});
}

int ClientHeight(const CMainFrame* frame) {
    const QWidget* central = frame->centralWidget();
    return central ? central->height() : frame->height();
}

}  // namespace

FramePanes::FramePanes(CMainFrame* frame) : QObject(frame), frame_(frame) {
    treeModel_ = new FolderTreeModel(this);
    listModel_ = new ItemListModel(this);
    listSelection_ = new QItemSelectionModel(listModel_, this);

    mainSplitter_ = new QSplitter(Qt::Vertical);
    browseSplitter_ = new QSplitter(Qt::Horizontal, mainSplitter_);
    listSplitter_ = new QSplitter(Qt::Vertical);
    for (QSplitter* splitter : {mainSplitter_, browseSplitter_, listSplitter_}) {
        splitter->setHandleWidth(kHandleWidth);
        splitter->setChildrenCollapsible(true);
    }

    treeView_ = new QTreeView(browseSplitter_);
    treeView_->setObjectName(QStringLiteral("CISOTreeView"));
    treeView_->setModel(treeModel_);
    treeView_->setHeaderHidden(true);
    treeView_->setEditTriggers(kLabelEditing);
    browseSplitter_->addWidget(listSplitter_);

    listStack_ = new QStackedWidget(listSplitter_);
    detailsView_ = new QTreeView(listStack_);
    detailsView_->setObjectName(QStringLiteral("CISOFileView"));
    detailsView_->setModel(listModel_);
    detailsView_->setSelectionModel(listSelection_);
    detailsView_->setRootIsDecorated(false);
    detailsView_->setItemsExpandable(false);
    detailsView_->setUniformRowHeights(true);
    detailsView_->setSortingEnabled(false);
    detailsView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    detailsView_->setEditTriggers(kLabelEditing);
    detailsView_->header()->setSectionsClickable(true);
    detailsView_->header()->setSortIndicatorShown(true);
    detailsView_->header()->setStretchLastSection(false);
    iconView_ = new QListView(listStack_);
    iconView_->setModel(listModel_);
    iconView_->setSelectionModel(listSelection_);
    iconView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    iconView_->setEditTriggers(kLabelEditing);
    // Items leave by dragging and move by dropping on a folder.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(treeView_),
                                    static_cast<QAbstractItemView*>(detailsView_),
                                    static_cast<QAbstractItemView*>(iconView_)}) {
        view->setDragEnabled(true);
        view->setAcceptDrops(true);
        view->setDropIndicatorShown(true);
        view->setDragDropMode(QAbstractItemView::DragDrop);
        view->setDefaultDropAction(Qt::MoveAction);
    }
    iconView_->setMovement(QListView::Static);
    listStack_->addWidget(detailsView_);
    listStack_->addWidget(iconView_);
    listStack_->setCurrentWidget(detailsView_);
    commentView_ = new CISOCommentView(listSplitter_);
    listSplitter_->addWidget(listStack_);
    listSplitter_->addWidget(commentView_);

    // The audio player's row; the player frame itself is built with the player.
    playerPane_ = new QWidget(mainSplitter_);
    playerPane_->setObjectName(QStringLiteral("PlayerPane"));
    auto* playerLayout = new QVBoxLayout(playerPane_);
    playerLayout->setContentsMargins(0, 0, 0, 0);
    playerLayout->setSpacing(0);
    playerLayout->addWidget(new CPlayerBar(frame, playerPane_));
    trackModel_ = new TrackListModel(this);
    trackView_ = new QTreeView(playerPane_);
    trackView_->setObjectName(QStringLiteral("CISOTrackView"));
    trackView_->setModel(trackModel_);
    trackView_->setRootIsDecorated(false);
    trackView_->setItemsExpandable(false);
    trackView_->setUniformRowHeights(true);
    trackView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    trackView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    trackView_->setEditTriggers(QAbstractItemView::NoEditTriggers);   // tracks keep their names
    trackView_->header()->setStretchLastSection(false);
    playerLayout->addWidget(trackView_);
    mainSplitter_->addWidget(browseSplitter_);
    mainSplitter_->addWidget(playerPane_);
    frame->setCentralWidget(mainSplitter_);
    // Growing the window grows the list, not the tree; the tree starts 220 wide.
    browseSplitter_->setStretchFactor(0, 0);
    browseSplitter_->setStretchFactor(1, 1);
    listSplitter_->setStretchFactor(0, 1);
    mainSplitter_->setStretchFactor(0, 1);
    browseSplitter_->installEventFilter(this);

    connect(treeView_->selectionModel(), &QItemSelectionModel::currentChanged, this, &FramePanes::OnTreeSelection);
    connect(detailsView_, &QAbstractItemView::doubleClicked, this, &FramePanes::OnListActivated);
    connect(iconView_, &QAbstractItemView::doubleClicked, this, &FramePanes::OnListActivated);
    connect(detailsView_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (QApplication::mouseButtons() & Qt::RightButton) return;
        SortCommand(column);
    });
    connect(listSelection_, &QItemSelectionModel::selectionChanged, this, &FramePanes::ContentChanged);
    connect(trackView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FramePanes::ContentChanged);
    // The track the user chose is where the player starts.
    connect(trackView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& at) {
        image::ImageContext* doc = image::g_CurrentDocument;
        if (doc && doc->trackList && doc == trackModel_->Document()) doc->trackList->selectedTrack = trackModel_->TrackAt(at.row());
    });
    for (QWidget* view : {static_cast<QWidget*>(treeView_), static_cast<QWidget*>(detailsView_),
                          static_cast<QWidget*>(iconView_), static_cast<QWidget*>(trackView_)})
        view->installEventFilter(this);

    InstallCommandHandler(CommandGroup::Views, {[this](uint32_t id) { RunViewCommand(id); },
                                                [this](uint32_t id) { return RunsViewCommand(id); },
                                                [this](uint32_t id) {
                                                    if (id >= kCmdFirstMode && id <= kCmdLastMode)
                                                        return static_cast<int>(id - kCmdFirstMode) == viewMode_;
                                                    if (id >= kCmdSortName && id <= kCmdSortDate)
                                                        return listModel_->SortColumn() == static_cast<int>(id - kCmdSortName);
                                                    if (id == kCmdTreeToggle) return treeVisible_;
                                                    return false;
                                                }});
    frame->SetPanes(this);
    SetViewMode(3);
    ArrangePanes();
}

FramePanes::~FramePanes() {
    InstallCommandHandler(CommandGroup::Views, {});
    if (frame_) frame_->SetPanes(nullptr);
    listModel_->Clear();
    treeModel_->Clear();
    trackModel_->Clear();
}

void FramePanes::ClearViews() {
    listSelection_->clear();
    listModel_->Clear();
    treeModel_->Clear();
    trackModel_->Clear();
    emit ContentChanged();
}

void FramePanes::ShowDocument(image::ImageContext* ctx) {
    treeModel_->ShowDocument(ctx);
    const QModelIndex root = treeModel_->RootIndex();
    if (root.isValid() && ctx && ctx->rootFolder && CurrentDocumentKind() != DocumentKind::AudioCd) {
        treeView_->expand(root);
        treeView_->setCurrentIndex(root);
        ShowFolder(ctx->rootFolder);
    } else {
        listModel_->Clear();
    }
    ArrangePanes();
}

void FramePanes::ArrangePanes() {
    image::ImageContext* doc = image::g_CurrentDocument;
    const int h = ClientHeight(frame_);
    bool comment = false;
    bool player = false;
    bool browse = true;
    if (doc && (doc->videoCdKind != 0 || doc->mixedTracks != 0)) {
        player = true;
    } else if (doc && CurrentDocumentKind() == DocumentKind::AudioCd) {
        player = true;
        browse = false;
    } else if (doc && !doc->archiveComment.empty()) {
        comment = true;
    }
    commentView_->setVisible(comment);
    if (comment) {
        commentView_->SetCommentText(doc);
        SetTwoSizes(listSplitter_, h * 30 / 100);
    }
    browseSplitter_->setVisible(browse);
    playerPane_->setVisible(player);
    if (player) {
        trackModel_->ShowTracks(doc, doc->videoCdKind != 0 ? TrackListKind::Video : TrackListKind::Audio);
        SizeTrackColumns();
    } else {
        trackModel_->Clear();
    }
    emit ContentChanged();
    if (player && browse) SetTwoSizes(mainSplitter_, 2 * h / 5);
    treeView_->setVisible(treeVisible_);
}

void FramePanes::HideCommentPane() { commentView_->hide(); }

void FramePanes::ShowCommentPane(image::ImageContext* doc) {
    if (!doc || doc->archiveComment.empty()) return;
    commentView_->show();
    commentView_->SetCommentText(doc);
    SetTwoSizes(listSplitter_, ClientHeight(frame_) * 30 / 100);
}

void FramePanes::ShowFolder(image::ImageFolder* folder) {
    image::ImageContext* doc = image::g_CurrentDocument;
    image::g_CurrentFolder = folder;
    if (!doc || folder != doc->rootFolder) HideCommentPane();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    listSelection_->clear();
    listModel_->ShowFolder(doc, folder);
    QApplication::restoreOverrideCursor();
    detailsView_->header()->setSortIndicator(listModel_->SortColumn(),
                                             listModel_->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit ContentChanged();
}

void FramePanes::FillFileListWithFolder(image::ImageFolder* folder) {
    const QModelIndex node = treeModel_->IndexOfFolder(folder);
    if (node.isValid() && node != treeView_->currentIndex()) {
        treeView_->setCurrentIndex(node);   // the selection change shows it
        return;
    }
    ShowFolder(folder);
}

void FramePanes::OnTreeSelection() {
    image::ImageFolder* folder = treeModel_->FolderOf(treeView_->currentIndex());
    if (folder) ShowFolder(folder);
}

void FramePanes::OnListActivated(const QModelIndex& index) {
    image::ImageItem* item = listModel_->ItemAt(index.row());
    if (!item || !item->ownFolder) return;   // opening files belongs to the item commands
    image::ImageFolder* folder = item->ownFolder;
    const QModelIndex parentNode = treeView_->currentIndex();
    treeView_->expand(parentNode);
    treeModel_->rowCount(parentNode);   // makes the children's nodes
    FillFileListWithFolder(folder);
}

void FramePanes::SetViewMode(int mode) {
    if (mode < 0 || mode > 3) return;
    viewMode_ = mode;
    if (mode == 3) {
        listStack_->setCurrentWidget(detailsView_);
        SizeColumns();
        return;
    }
    listStack_->setCurrentWidget(iconView_);
    iconView_->setModelColumn(0);
    if (mode == 0) {
        iconView_->setViewMode(QListView::IconMode);
        iconView_->setIconSize(QSize(32, 32));
        iconView_->setGridSize(QSize(96, 64));
        iconView_->setFlow(QListView::LeftToRight);
    } else {
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setIconSize(QSize(16, 16));
        iconView_->setGridSize(QSize());
        iconView_->setFlow(mode == 1 ? QListView::LeftToRight : QListView::TopToBottom);
    }
    iconView_->setWrapping(true);
    iconView_->setResizeMode(QListView::Adjust);
    // Icon mode would let icons wander; a drag must carry the items instead.
    iconView_->setMovement(QListView::Static);
}

void FramePanes::SizeColumns() {
    const int width = std::max(0, detailsView_->width() - 20);
    for (int column = 0; column < kListColumns; ++column)
        detailsView_->header()->resizeSection(column, width * kColumnPercent[column] / 100);
}

void FramePanes::SizeTrackColumns() {
    const int width = std::max(0, trackView_->width() - 20);
    const bool audio = trackModel_->Kind() == TrackListKind::Audio;
    const int columns = trackModel_->columnCount();
    for (int column = 0; column < columns; ++column)
        trackView_->header()->resizeSection(
            column, width * (audio ? kAudioColumnPercent[column] : kVideoColumnPercent[column]) / 100);
}

std::vector<image::ImageItem*> FramePanes::SelectedItems() const {
    std::vector<int> rows;
    for (const QModelIndex& index : listSelection_->selectedRows(0)) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<image::ImageItem*> items;
    for (int row : rows)
        if (image::ImageItem* item = listModel_->ItemAt(row)) items.push_back(item);
    return items;
}

std::vector<int> FramePanes::SelectedTracks() const {
    std::vector<int> rows;
    for (const QModelIndex& index : trackView_->selectionModel()->selectedRows(0)) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<int> tracks;
    for (int row : rows)
        if (const int track = trackModel_->TrackAt(row); track >= 0) tracks.push_back(track);
    return tracks;
}

void FramePanes::SortCommand(int column) {
    const bool ascending = column != listModel_->SortColumn() ? true : !listModel_->SortAscending();
    listModel_->SetSort(column, ascending);
    detailsView_->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void FramePanes::GoUp() {
    const QModelIndex current = treeView_->currentIndex();
    const QModelIndex up = treeModel_->parent(current);
    if (!up.isValid()) return;   // at the root there is nothing above
    treeView_->setCurrentIndex(up);
}

void FramePanes::ToggleTree() {
    treeVisible_ = !treeVisible_;
    treeView_->setVisible(treeVisible_);
    if (treeVisible_) SetTwoSizes(browseSplitter_, kTreeWidth);
}

bool FramePanes::RunsViewCommand(uint32_t id) const {
    const bool dataDocument = image::g_CurrentDocument && CurrentDocumentKind() != DocumentKind::AudioCd;
    if (id >= kCmdFirstMode && id <= kCmdLastMode) return true;
    if (id >= kCmdSortName && id <= kCmdSortDate) return dataDocument;
    if (id == kCmdSelectAll || id == kCmdInvert) return dataDocument;
    if (id == kCmdSelectAllTracks || id == kCmdInvertTracks) return trackModel_->rowCount() > 0;
    if (id == kCmdUp) return treeModel_->parent(treeView_->currentIndex()).isValid();
    if (id == kCmdTreeToggle) return true;
    return false;   // history, address and track-list commands come with their panes
}

void FramePanes::RunViewCommand(uint32_t id) {
    if (id >= kCmdFirstMode && id <= kCmdLastMode) SetViewMode(static_cast<int>(id - kCmdFirstMode));
    else if (id >= kCmdSortName && id <= kCmdSortDate) SortCommand(static_cast<int>(id - kCmdSortName));
    else if (id == kCmdSelectAll) detailsView_->selectAll();
    else if (id == kCmdSelectAllTracks) trackView_->selectAll();
    else if (id == kCmdInvertTracks) {
        const QModelIndex first = trackModel_->index(0, 0);
        const QModelIndex last = trackModel_->index(trackModel_->rowCount() - 1, trackModel_->columnCount() - 1);
        if (first.isValid())
            trackView_->selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::Toggle);
    }
    else if (id == kCmdInvert) {
        const QModelIndex first = listModel_->index(0, 0);
        const QModelIndex last = listModel_->index(listModel_->rowCount() - 1, kListColumns - 1);
        if (first.isValid()) listSelection_->select(QItemSelection(first, last), QItemSelectionModel::Toggle);
    } else if (id == kCmdUp) GoUp();
    else if (id == kCmdTreeToggle) ToggleTree();
}

int FramePanes::FocusedView() {
    QWidget* focus = QApplication::focusWidget();
    if (focus == treeView_) return kViewTree;
    if (focus == detailsView_ || focus == iconView_) return kViewList;
    if (focus == trackView_) return kViewTracks;
    return -1;
}

void FramePanes::NotifyItemAddedOrRemoved(image::ImageContext*, image::ImageFolder* folder, image::ImageItem* item,
                                          bool added) {
    if (item && item->ownFolder) {
        if (added) treeModel_->FolderAdded(item->ownFolder);
        else treeModel_->FolderRemoved(item->ownFolder);
    }
    if (!folder || folder != listModel_->Folder()) return;
    // A leaving item is still linked when it is told: only its row goes. An
    // added one is linked already: the shown folder's rows are made again.
    if (added) listModel_->ShowFolder(image::g_CurrentDocument, folder);
    else listModel_->RemoveItem(item);
    emit ContentChanged();
}

void FramePanes::RefreshTexts() {
    listModel_->RefreshTitles();
    trackModel_->RefreshTitles();
}

bool FramePanes::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == detailsView_) SizeColumns();
    if (event->type() == QEvent::Resize && watched == trackView_) SizeTrackColumns();
    if (event->type() == QEvent::Resize && watched == browseSplitter_ && !treeSized_ && browseSplitter_->width() > kTreeWidth) {
        treeSized_ = true;
        if (treeVisible_) SetTwoSizes(browseSplitter_, kTreeWidth);
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int sender = watched == treeView_ ? kViewTree : watched == trackView_ ? kViewTracks : kViewList;
        const bool control = key->modifiers() & Qt::ControlModifier;
        if ((control && (key->key() == Qt::Key_A || key->key() == Qt::Key_C || key->key() == Qt::Key_V ||
                         key->key() == Qt::Key_O || key->key() == Qt::Key_S)) ||
            key->key() == Qt::Key_Delete) {
            frame_->OnViewKey(key->key(), key->modifiers(), sender);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace app::ui
