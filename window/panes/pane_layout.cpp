#include "window/panes/pane_layout.h"

#include "window/panes/player_bar.h"

#include <QApplication>
#include <QScrollBar>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QCursor>
#include <QLabel>
#include <QListView>
#include <QSplitter>
#include <QStackedWidget>
#include <QThread>
#include <unordered_set>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/document_lifecycle.h"
#include "window/faces/menu_adapter.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_toolbars.h"
#include "window/panes/comment_view.h"
#include "window/panes/context_menus.h"
#include "window/panes/folder_navigation.h"
#include "window/panes/item_opening.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/track_list_model.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"

namespace app::ui {

namespace {

constexpr int kHandleWidth = 3;
constexpr int kTreeWidth = 220;
// Size, type and date get these shares of the width; the name takes the rest.
constexpr int kColumnPercent[kListColumns] = {0, 13, 22, 22};
constexpr int kAudioColumnPercent[kAudioTrackColumns] = {10, 20, 16, 10, 10, 10, 24};
constexpr int kVideoColumnPercent[kVideoTrackColumns] = {10, 30, 20, 20, 15};
// Names are edited with F2 or a click on the selected row.
constexpr QAbstractItemView::EditTriggers kLabelEditing =
    QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked;

constexpr uint32_t kCmdFirstMode = 32776, kCmdLastMode = 32779;
// By name, size, type and date: sort columns 0 to 3.
constexpr uint32_t kCmdSortName = 32780, kCmdSortDate = 32783;
constexpr uint32_t kCmdSelectAll = 32853, kCmdInvert = 32854, kCmdTreeToggle = 32813;
constexpr uint32_t kCmdViewModeMenu = 32831, kCmdTrackViewModeMenu = 33146;
constexpr uint32_t kCmdFirstTrackMode = 33214, kCmdLastTrackMode = 33217;
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
    navigation_ = new FolderNavigation(frame, this);
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
    detailsView_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
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
    trackView_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    // The track list's icon and list modes: a second view over the same rows
    // and the same selection.
    trackIconView_ = new QListView(playerPane_);
    trackIconView_->setObjectName(QStringLiteral("CISOTrackIconView"));
    trackIconView_->setModel(trackModel_);
    trackIconView_->setSelectionModel(trackView_->selectionModel());
    trackIconView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    trackIconView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    trackStack_ = new QStackedWidget(playerPane_);
    trackStack_->addWidget(trackView_);
    trackStack_->addWidget(trackIconView_);
    trackStack_->setCurrentWidget(trackView_);
    playerLayout->addWidget(trackStack_);
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
                          static_cast<QWidget*>(iconView_), static_cast<QWidget*>(trackView_),
                          static_cast<QWidget*>(trackIconView_)})
        view->installEventFilter(this);
    // A tree dragged shut is a hidden tree: the toggle and its button follow.
    connect(browseSplitter_, &QSplitter::splitterMoved, this, &FramePanes::SyncTreeVisible);
    connect(trackIconView_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        OpenTrackRow(index.row());
    });
    connect(trackView_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        OpenTrackRow(index.row());
    });

    // Command states follow every change of folder and selection, once per
    // burst of changes, not only when a menu opens.
    stateRefresh_ = new QTimer(this);
    stateRefresh_->setSingleShot(true);
    stateRefresh_->setInterval(0);
    connect(stateRefresh_, &QTimer::timeout, frame, &CMainFrame::UpdateCommandStates);
    connect(this, &FramePanes::ContentChanged, stateRefresh_, qOverload<>(&QTimer::start));
    connect(treeView_->selectionModel(), &QItemSelectionModel::currentChanged, stateRefresh_, qOverload<>(&QTimer::start));

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(treeView_),
                                    static_cast<QAbstractItemView*>(detailsView_),
                                    static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(trackView_),
                                    static_cast<QAbstractItemView*>(trackIconView_)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            ShowContextMenu(view, view->viewport()->mapToGlobal(at));
        });
    }

    // Ids this handler does not know go on to the one installed before it.
    const CommandHandler* earlier = HandlerOfGroup(CommandGroup::Views);
    previousViews_ = earlier ? *earlier : CommandHandler{};
    InstallCommandHandler(CommandGroup::Views, {[this](uint32_t id) {
                                                    if (RunsOwnViewCommand(id)) RunViewCommand(id);
                                                    else if (previousViews_.run) previousViews_.run(id);
                                                },
                                                [this](uint32_t id) {
                                                    if (RunsOwnViewCommand(id)) return RunsViewCommand(id);
                                                    if (!previousViews_.run) return false;
                                                    return !previousViews_.enabled || previousViews_.enabled(id);
                                                },
                                                [this](uint32_t id) {
                                                    if (!RunsOwnViewCommand(id))
                                                        return previousViews_.checked && previousViews_.checked(id);
                                                    return ViewCommandChecked(id);
                                                }});
    frame->SetPanes(this);
    SetViewMode(3);
    ArrangePanes();
}

FramePanes::~FramePanes() {
    InstallCommandHandler(CommandGroup::Views, previousViews_);
    if (frame_) frame_->SetPanes(nullptr);
    listModel_->Clear();
    treeModel_->Clear();
    trackModel_->Clear();
}

void FramePanes::ClearViews() {
    refillPending_ = false;
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
    RebuildActionMenu(frame_);
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
    navigation_->FolderShown(folder);
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
    if (!item) return;
    if (!item->ownFolder) {
        // A file opens only as the one selected row, as the menus' View does.
        const std::vector<image::ImageItem*> selected = SelectedItems();
        if (selected.size() == 1 && selected.front() == item) OpenListFile(frame_, item, foundation::LaunchMode::Open);
        return;
    }
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

void FramePanes::SetTrackViewMode(int mode) {
    if (mode < 0 || mode > 3) return;
    trackViewMode_ = mode;
    if (mode == 3) {
        trackStack_->setCurrentWidget(trackView_);
        return;
    }
    trackStack_->setCurrentWidget(trackIconView_);
    trackIconView_->setModelColumn(1);
    trackIconView_->setViewMode(mode == 0 ? QListView::IconMode : QListView::ListMode);
    trackIconView_->setIconSize(mode == 0 ? QSize(32, 32) : QSize(16, 16));
    trackIconView_->setGridSize(mode == 0 ? QSize(96, 64) : QSize());
    trackIconView_->setFlow(mode == 2 ? QListView::TopToBottom : QListView::LeftToRight);
    trackIconView_->setWrapping(true);
    trackIconView_->setResizeMode(QListView::Adjust);
    trackIconView_->setMovement(QListView::Static);
}

void FramePanes::SizeColumns() {
    // Column 0 stretches over whatever the others leave.
    const int width = std::max(0, detailsView_->width() - 20);
    for (int column = 1; column < kListColumns; ++column)
        detailsView_->header()->resizeSection(column, width * kColumnPercent[column] / 100);
}

void FramePanes::SizeTrackColumns() {
    const int width = std::max(0, trackView_->width() - 20);
    const bool audio = trackModel_->Kind() == TrackListKind::Audio;
    const int columns = trackModel_->columnCount();
    for (int column = 0; column < columns; ++column)
        if (column != 1) trackView_->header()->resizeSection(
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

void FramePanes::SyncTreeVisible() {
    const QList<int> sizes = browseSplitter_->sizes();
    const bool shown = !sizes.isEmpty() && sizes.front() > 0;
    if (shown == treeVisible_) return;
    treeVisible_ = shown;
    stateRefresh_->start();
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
    stateRefresh_->start();
}

bool FramePanes::RunsOwnViewCommand(uint32_t id) const {
    return (id >= kCmdFirstMode && id <= kCmdLastMode) || (id >= kCmdSortName && id <= kCmdSortDate) ||
           (id >= kCmdFirstTrackMode && id <= kCmdLastTrackMode) || id == kCmdSelectAll || id == kCmdInvert ||
           id == kCmdSelectAllTracks || id == kCmdInvertTracks || id == kCmdTreeToggle || id == kCmdViewModeMenu ||
           id == kCmdTrackViewModeMenu || id == kCmdBack || id == kCmdForward || id == kCmdUp ||
           (id >= kCmdFirstHistory && id <= kCmdLastHistory);
}

bool FramePanes::ViewCommandChecked(uint32_t id) const {
    const bool audioCd = image::g_CurrentDocument && CurrentDocumentKind() == DocumentKind::AudioCd;
    if (id >= kCmdFirstMode && id <= kCmdLastMode)
        return static_cast<int>(id - kCmdFirstMode) == (audioCd ? trackViewMode_ : viewMode_);
    if (id >= kCmdFirstTrackMode && id <= kCmdLastTrackMode)
        return static_cast<int>(id - kCmdFirstTrackMode) == trackViewMode_;
    if (id >= kCmdSortName && id <= kCmdSortDate) return listModel_->SortColumn() == static_cast<int>(id - kCmdSortName);
    if (id == kCmdTreeToggle) return treeVisible_;
    return false;
}

bool FramePanes::RunsViewCommand(uint32_t id) const {
    const bool dataDocument = image::g_CurrentDocument && image::CanDocumentDo(153);
    const bool trackDocument = image::g_CurrentDocument && (image::CanDocumentDo(1) || image::CanDocumentDo(32));
    if (id >= kCmdFirstMode && id <= kCmdLastMode) return true;
    if (id >= kCmdFirstTrackMode && id <= kCmdLastTrackMode) return trackModel_->rowCount() > 0 || trackDocument;
    if (id == kCmdViewModeMenu) return true;
    if (id == kCmdTrackViewModeMenu) return trackDocument;
    if (id >= kCmdSortName && id <= kCmdSortDate) return dataDocument;
    if (id == kCmdSelectAll || id == kCmdInvert) return dataDocument;
    if (id == kCmdSelectAllTracks || id == kCmdInvertTracks) return trackDocument && trackModel_->rowCount() > 0;
    if (id == kCmdTreeToggle) return true;
    return navigation_->Runs(id);
}

void FramePanes::RunViewCommand(uint32_t id) {
    const bool audioCd = image::g_CurrentDocument && CurrentDocumentKind() == DocumentKind::AudioCd;
    if (id >= kCmdFirstMode && id <= kCmdLastMode) {
        // An audio CD shows no file list: its modes are the track list's.
        if (audioCd) SetTrackViewMode(static_cast<int>(id - kCmdFirstMode));
        else SetViewMode(static_cast<int>(id - kCmdFirstMode));
    } else if (id >= kCmdFirstTrackMode && id <= kCmdLastTrackMode) SetTrackViewMode(static_cast<int>(id - kCmdFirstTrackMode));
    else if (id == kCmdViewModeMenu) ShowModeMenu(false);
    else if (id == kCmdTrackViewModeMenu) ShowModeMenu(true);
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
    } else if (id == kCmdTreeToggle) ToggleTree();
    else navigation_->Run(id);
}

int FramePanes::FocusedView() {
    QWidget* focus = QApplication::focusWidget();
    if (focus == treeView_) return kViewTree;
    if (focus == detailsView_ || focus == iconView_) return kViewList;
    if (focus == trackView_ || focus == trackIconView_) return kViewTracks;
    return -1;
}

void FramePanes::NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item,
                                          bool added) {
    if (QThread::currentThread() != thread()) {
        // A worker's edit: the views change on their own thread, and the
        // worker waits, since a leaving item is freed once this returns.
        QMetaObject::invokeMethod(
            this, [=, this] { NotifyItemAddedOrRemoved(ctx, folder, item, added); }, Qt::BlockingQueuedConnection);
        return;
    }
    navigation_->ForgetTotals();
    if (!added && item && item->ownFolder && ShownBelow(item->ownFolder)) {
        // The shown folder (or one above it) is leaving: its parent is shown
        // first, so neither the list nor the tree's current row is left on
        // the freed folder or moved by Qt to a neighbour.
        image::ImageFolder* parent = folder ? folder : item->ownFolder->parent;
        const QModelIndex parentNode = treeModel_->IndexOfFolder(parent);
        if (parentNode.isValid()) treeView_->setCurrentIndex(parentNode);
        if (listModel_->Folder() != parent) ShowFolder(parent);
    }
    if (item && item->ownFolder) {
        if (added) treeModel_->FolderAdded(item->ownFolder);
        else treeModel_->FolderRemoved(item->ownFolder);
    }
    if (!folder || folder != listModel_->Folder()) return;
    // A leaving item is still linked when it is told: only its row goes. An
    // added one is linked already: the shown folder's rows are made again.
    if (added && updateDepth_ > 0) {
        // Inside one edit the rows are made once, when it ends.
        refillPending_ = true;
        return;
    }
    if (added) ShowAddedRows();
    else listModel_->RemoveItem(item);
    emit ContentChanged();
}

bool FramePanes::ShownBelow(const image::ImageFolder* folder) const {
    // Parents end at the root, which is its own parent; the depth bounds the walk.
    const image::ImageFolder* at = listModel_->Folder();
    for (int hops = 0; at && hops <= at->depth + 1; ++hops) {
        if (at == folder) return true;
        if (at->parent == at) break;
        at = at->parent;
    }
    return false;
}

void FramePanes::BeginViewUpdate() {
    if (updateDepth_++ > 0) return;
    for (QWidget* view : {static_cast<QWidget*>(treeView_), static_cast<QWidget*>(listStack_)})
        view->setUpdatesEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void FramePanes::ShowAddedRows() {
    refillPending_ = false;
    image::ImageFolder* folder = listModel_->Folder();
    if (!folder) return;
    // The rows are made again; the selected items stay selected.
    const std::vector<image::ImageItem*> was = SelectedItems();
    const std::unordered_set<image::ImageItem*> selected(was.begin(), was.end());
    listSelection_->clear();
    listModel_->ShowFolder(image::g_CurrentDocument, folder);
    if (selected.empty()) return;
    QItemSelection rows;
    for (int row = 0; row < listModel_->rowCount(); ++row)
        if (selected.count(listModel_->ItemAt(row)))
            rows.select(listModel_->index(row, 0), listModel_->index(row, kListColumns - 1));
    listSelection_->select(rows, QItemSelectionModel::Select);
}

void FramePanes::EndViewUpdate() {
    if (updateDepth_ == 0 || --updateDepth_ > 0) return;
    if (refillPending_) {
        ShowAddedRows();
        emit ContentChanged();
    }
    for (QWidget* view : {static_cast<QWidget*>(treeView_), static_cast<QWidget*>(listStack_)})
        view->setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();
}

void FramePanes::RefreshListItemDate(image::ImageFolder* folder, image::ImageItem* item) {
    if (!folder || folder != listModel_->Folder()) return;
    listModel_->RefreshItem(item);
}

void FramePanes::ClearNavigationHistory() { navigation_->Clear(); }

void FramePanes::ShowModeMenu(bool tracks) {
    const bool audioCd = image::g_CurrentDocument && CurrentDocumentKind() == DocumentKind::AudioCd;
    const uint32_t first = tracks ? kCmdFirstTrackMode : kCmdFirstMode;
    const int mode = tracks || audioCd ? trackViewMode_ : viewMode_;
    QMenu menu;
    BuildModeMenu(frame_, &menu, first, mode);
    menu.exec(DropPointFor(frame_, tracks ? kCmdTrackViewModeMenu : kCmdViewModeMenu));
}

void FramePanes::ShowContextMenu(QAbstractItemView* view, const QPoint& globalAt) {
    if (!image::g_CurrentDocument) return;
    QMenu menu;
    if (view == treeView_) {
        const QModelIndex node = treeView_->indexAt(treeView_->viewport()->mapFromGlobal(globalAt));
        if (!node.isValid()) return;
        // The menu's commands act on the node clicked: it becomes the shown folder.
        if (node != treeView_->currentIndex()) treeView_->setCurrentIndex(node);
        BuildContextMenu(frame_, &menu, ContextKind::TreeNode);
        for (QAction* action : menu.actions())
            if (foundation::ui::CommandIdOf(action) == kCmdOpenNode)
                connect(action, &QAction::triggered, this, [this] { treeView_->expand(treeView_->currentIndex()); });
    } else if (view == trackView_ || view == trackIconView_) {
        if (trackModel_->Kind() != TrackListKind::Audio) return;   // video tracks have no menu
        BuildContextMenu(frame_, &menu, SelectedTracks().empty() ? ContextKind::TrackSpace : ContextKind::TrackRows,
                         trackViewMode_);
    } else {
        const std::vector<image::ImageItem*> selected = SelectedItems();
        if (selected.empty()) BuildContextMenu(frame_, &menu, ContextKind::ListSpace, viewMode_, listModel_->SortColumn());
        else
            BuildContextMenu(frame_, &menu,
                             image::IsFolderItem(selected.front()) ? ContextKind::FolderRow : ContextKind::FileRow);
    }
    frame_->UpdateCommandStates();
    menu.exec(globalAt);
}

void FramePanes::OpenTrackRow(int row) {
    if (trackModel_->Kind() != TrackListKind::Video) return;   // audio tracks are played, not opened
    OpenVideoTrack(frame_, trackModel_->TrackAt(row), foundation::LaunchMode::Open);
}

void FramePanes::OpenSelection() {
    const std::vector<image::ImageItem*> selected = SelectedItems();
    if (selected.size() != 1) return;
    const int row = listModel_->RowOf(selected.front());
    if (row >= 0) OnListActivated(listModel_->index(row, 0));
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
        const int sender = watched == treeView_                                        ? kViewTree
                           : watched == trackView_ || watched == trackIconView_ ? kViewTracks
                                                                                : kViewList;
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (sender != kViewTracks) {
            // Moving between folders from the keyboard, as in a file manager.
            uint32_t move = 0;
            if (mods == Qt::NoModifier && key->key() == Qt::Key_Backspace) move = kCmdUp;
            else if (mods == Qt::AltModifier && key->key() == Qt::Key_Up) move = kCmdUp;
            else if (mods == Qt::AltModifier && key->key() == Qt::Key_Left) move = kCmdBack;
            else if (mods == Qt::AltModifier && key->key() == Qt::Key_Right) move = kCmdForward;
            if (move != 0) {
                frame_->ExecuteCommand(move);
                return true;
            }
            if (sender == kViewList && mods == Qt::NoModifier &&
                (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                OpenSelection();
                return true;
            }
        } else if (mods == Qt::NoModifier && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            OpenTrackRow(trackView_->currentIndex().row());
            return true;
        }
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
