#include "window/dialogs/burn_views.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <array>

#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/pane_layout.h"
#include "window/panes/track_list_model.h"

namespace dialogs::ui {
namespace {

// Shares of the list's width for name, size, type and date.
constexpr std::array<int, app::ui::kListColumns> kFilePercent = {30, 20, 30, 20};
// Track, title, duration and path; the main list's other track columns
// (artist, pause, size) are not shown here.
constexpr int kTrackColumn = 0, kTitleColumn = 1, kDurationColumn = 3, kPathColumn = 6;
constexpr std::array<std::pair<int, int>, 4> kTrackPercent = {
    {{kTrackColumn, 9}, {kTitleColumn, 42}, {kDurationColumn, 12}, {kPathColumn, 38}}};

}  // namespace

CBurnTreeView::CBurnTreeView(app::ui::FramePanes* panes, QWidget* parent) : QTreeView(parent), panes_(panes) {
    setObjectName(QStringLiteral("CBurnTreeView"));
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    if (!panes_) return;
    setModel(panes_->TreeModel());
    // The main tree's own selection: the folder chosen here is the folder the
    // main list shows, without a second record of it.
    setSelectionModel(panes_->TreeView()->selectionModel());
}

void CBurnTreeView::ShowRoot() {
    if (!panes_) return;
    const QModelIndex root = panes_->TreeModel()->RootIndex();
    if (!root.isValid()) return;
    expand(root);
    selectionModel()->setCurrentIndex(root, QItemSelectionModel::ClearAndSelect);
}

CBurnFileView::CBurnFileView(app::ui::FramePanes* panes, bool tracks, QWidget* parent)
    : QTreeView(parent), panes_(panes), tracks_(tracks) {
    setObjectName(QStringLiteral("CBurnFileView"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    if (!panes_) return;
    // The main list's model and selection: a row chosen here is chosen there.
    if (tracks_) {
        setModel(panes_->TracksModel());
        setSelectionModel(panes_->TrackView()->selectionModel());
        const auto hideOthers = [this] {
            for (int column = 0; column < model()->columnCount(); ++column) {
                bool shown = false;
                for (const auto& [kept, percent] : kTrackPercent) shown = shown || kept == column;
                setColumnHidden(column, !shown);
            }
            SizeColumns();
        };
        connect(model(), &QAbstractItemModel::modelReset, this, hideOthers);
        hideOthers();
    } else {
        setModel(panes_->ListModel());
        setSelectionModel(panes_->DetailsView()->selectionModel());
        header()->setSortIndicator(panes_->ListModel()->SortColumn(),
                                   panes_->ListModel()->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
        connect(this, &QAbstractItemView::doubleClicked, this, &CBurnFileView::OnActivated);
    }
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (QApplication::mouseButtons() & Qt::RightButton) return;
        OnHeaderClicked(column);
    });
}

void CBurnFileView::SizeColumns() {
    const int width = std::max(0, viewport()->width() - 20);
    if (tracks_) {
        // A narrow dialog still shows the whole track number and duration.
        for (const auto& [column, percent] : kTrackPercent)
            header()->resizeSection(column, std::max({width * percent / 100, sizeHintForColumn(column),
                                                      header()->sectionSizeHint(column)}));
        return;
    }
    for (int column = 0; column < app::ui::kListColumns; ++column)
        header()->resizeSection(column, width * kFilePercent[static_cast<size_t>(column)] / 100);
}

void CBurnFileView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    SizeColumns();
}

void CBurnFileView::OnHeaderClicked(int column) {
    if (!panes_) return;
    if (tracks_) {
        // The burn order is the track order: only the arrow turns.
        trackAscending_ = column == trackSortColumn_ ? !trackAscending_ : true;
        trackSortColumn_ = column;
        header()->setSortIndicator(column, trackAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
        return;
    }
    // The main list sorts (and so this one, over the same rows); both show the arrow.
    panes_->SortCommand(column);
    const app::ui::ItemListModel* list = panes_->ListModel();
    header()->setSortIndicator(list->SortColumn(), list->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CBurnFileView::OnActivated(const QModelIndex& index) {
    if (!panes_ || !index.isValid() || selectionModel()->selectedRows().size() != 1) return;
    // Opened exactly as a double click in the main list opens it.
    emit panes_->DetailsView()->doubleClicked(index);
}

}  // namespace dialogs::ui
