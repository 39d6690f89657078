#include "window/panes/item_list_model.h"

#include "window/panes/type_icons.h"

#include <QColor>
#include <QIcon>

#include <algorithm>
#include <unordered_map>

#include "app/document_lifecycle.h"
#include "app/rename_services.h"
#include "window/panes/item_drag.h"
#include "window/panes/list_cells.h"
#include "foundation/dates.h"
#include "foundation/language.h"
#include "window/faces/icons.h"
#include "window/faces/qt_text.h"
#include "foundation/window_faces.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;

constexpr uint64_t kFolderSortSize = 2048;
constexpr uint32_t kStrName = 30000, kStrType = 30010, kStrSize = 30020, kStrModified = 30030;
// 0xFF0000 as the old colour word: blue.
const QColor kHighlightColour(0, 0, 0xFF);

}  // namespace

ItemListModel::ItemListModel(QObject* parent) : QAbstractTableModel(parent) {}

ItemListModel::Row ItemListModel::MakeRow(image::ImageItem* item) const {
    Row row;
    row.item = item;
    row.folder = IsFolderItem(*item);
    row.name = ToQString(item->name.view());
    row.foldedName = row.name.toCaseFolded();
    // The type text is looked up once per item and kept in it.
    image::ImageItemSide& side = item->EditSide();
    if (side.typeText.empty()) {
        const foundation::ItemTypeInfo info = foundation::GetItemTypeInfo(item->name.view(), row.folder);
        side.typeText = info.typeText;
        side.iconIndexPlusOne = info.iconIndex + 1;
    }
    row.type = ToQString(side.typeText);
    const int64_t size = ctx_ && ctx_->videoCdKind != 0 ? image::GetItemDataSize(ctx_, item) : item->size;
    row.size = row.folder ? kFolderSortSize : static_cast<uint64_t>(size);
    if (!row.folder) row.sizeText = ToQString(SizeCellText(size));
    const int64_t time = item->time != 0 ? int64_t{item->time} : ctx_ ? ctx_->fixedItemTime : 0;
    if (time != 0) {
        foundation::UnixTimeToIsoRecordDate(time, row.date);
    } else {
        std::copy_n(item->recordHeader.begin() + image::dr::kDate, row.date.size(), row.date.begin());
    }
    row.dateText = ToQString(foundation::FormatRecordDateText(row.date));
    return row;
}

void ItemListModel::ShowFolder(image::ImageContext* ctx, image::ImageFolder* folder) {
    beginResetModel();
    ctx_ = ctx;
    folder_ = folder;
    rows_.clear();
    if (folder) {
        rows_.reserve(static_cast<size_t>(std::max<int64_t>(folder->itemCount, 0)));
        for (image::ImageItem* item = folder->firstItem; item; item = item->next)
            if (IsVisibleItem(*item)) rows_.push_back(MakeRow(item));
        SortRows();
    }
    endResetModel();
}

void ItemListModel::Clear() { ShowFolder(nullptr, nullptr); }

void ItemListModel::RemoveItem(const image::ImageItem* item) {
    const int row = RowOf(item);
    if (row < 0) return;
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void ItemListModel::RefreshItem(const image::ImageItem* item) {
    const int row = RowOf(item);
    if (row < 0) return;
    rows_[static_cast<size_t>(row)] = MakeRow(rows_[static_cast<size_t>(row)].item);
    emit dataChanged(index(row, 0), index(row, kListColumns - 1));
}

void ItemListModel::SortRows() {
    // The keys were made once per fill; a stable sort keeps equal rows in
    // the folder's own order.
    const int column = sortColumn_;
    const bool ascending = ascending_;
    std::stable_sort(rows_.begin(), rows_.end(), [column, ascending](const Row& a, const Row& b) {
        int order = 0;
        if (a.folder != b.folder) {
            order = a.folder ? -1 : 1;
            return ascending ? order < 0 : order > 0;
        }
        if (column == 1 && a.size != b.size) order = a.size < b.size ? -1 : 1;
        else if (column == 2) order = QString::compare(a.type, b.type, Qt::CaseSensitive);
        else if (column == 3) order = std::lexicographical_compare(a.date.begin(), a.date.end(), b.date.begin(), b.date.end())
                                          ? -1
                                          : (a.date == b.date ? 0 : 1);
        if (order == 0) order = QString::compare(a.foldedName, b.foldedName, Qt::CaseSensitive);
        return ascending ? order < 0 : order > 0;
    });
}

void ItemListModel::SetSort(int column, bool ascending) {
    if (column < 0 || column >= kListColumns) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<image::ImageItem*> items;
    for (const QModelIndex& index : before) items.push_back(ItemAt(index.row()));
    sortColumn_ = column;
    ascending_ = ascending;
    SortRows();
    std::unordered_map<const image::ImageItem*, int> rowOf;
    if (!before.isEmpty())
        for (size_t i = 0; i < rows_.size(); ++i) rowOf.emplace(rows_[i].item, static_cast<int>(i));
    QModelIndexList after;
    for (size_t i = 0; i < items.size(); ++i) {
        auto found = rowOf.find(items[i]);
        after.push_back(found == rowOf.end() ? QModelIndex()
                                             : index(found->second, before[static_cast<qsizetype>(i)].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit headerDataChanged(Qt::Horizontal, 0, kListColumns - 1);
}

void ItemListModel::sort(int column, Qt::SortOrder order) { SetSort(column, order == Qt::AscendingOrder); }

image::ImageItem* ItemListModel::ItemAt(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return nullptr;
    return rows_[static_cast<size_t>(row)].item;
}

int ItemListModel::RowOf(const image::ImageItem* item) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].item == item) return static_cast<int>(i);
    return -1;
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kListColumns; }

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid() || static_cast<size_t>(index.row()) >= rows_.size()) return {};
    const Row& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::EditRole:
        return index.column() == 0 ? row.name : QVariant();
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case 0: return row.name;
        case 1: return row.sizeText;
        case 2: return row.type;
        case 3: return row.dateText;
        default: return {};
        }
    case Qt::DecorationRole:
        if (index.column() != 0) return {};
        if (row.folder) return foundation::ui::BuiltInIcon(QStringLiteral("folder"));
        return TypeIconForName(row.name);
    case Qt::TextAlignmentRole:
        return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (ctx_ && ctx_->formatCode == 150 && row.item->Side().highlight) return kHighlightColour;
        return {};
    case kItemRole: return QVariant::fromValue(static_cast<void*>(row.item));
    default: return {};
    }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kListColumns) return {};
    if (role == Qt::TextAlignmentRole)
        return section == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
    case 0: return ToQString(foundation::GetLangString(kStrName, u"Name"));
    case 1: return ToQString(foundation::GetLangString(kStrSize, u"Size"));
    case 2: return ToQString(foundation::GetLangString(kStrType, u"Type"));
    default: return ToQString(foundation::GetLangString(kStrModified, u"Modified"));
    }
}

Qt::ItemFlags ItemListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    const image::ImageItem* item = index.isValid() ? ItemAt(index.row()) : nullptr;
    if (!index.isValid()) return result | Qt::ItemIsDropEnabled;   // the shown folder
    if (item) {
        result |= Qt::ItemIsDragEnabled;
        if (item->ownFolder) result |= Qt::ItemIsDropEnabled;
    }
    if (!item || index.column() != 0 || !ctx_ || CurrentDocumentKind() == DocumentKind::AudioCd) return result;
    // Track files of a Video CD keep the names the disc layout gives them.
    if (ctx_->videoCdKind != 0 && image::IsItemFromDiskFile(ctx_, item)) return result;
    return result | Qt::ItemIsEditable;
}

bool ItemListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
    const QString text = value.toString();
    Row& row = rows_[static_cast<size_t>(index.row())];
    if (text.isEmpty() || text == row.name) return false;
    if (RenameServices().RenameListItem(row.item, foundation::ui::ToU16(text)) != 0) return false;
    row.name = ToQString(row.item->name.view());
    row.foldedName = row.name.toCaseFolded();
    emit dataChanged(index, index);
    return true;
}

QStringList ItemListModel::mimeTypes() const { return {QString::fromLatin1(kItemTransferFormat)}; }

QMimeData* ItemListModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.column() == 0) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<image::ImageItem*> items;
    for (int row : rows)
        if (image::ImageItem* item = ItemAt(row)) items.push_back(item);
    return MakeListTransfer(ctx_, folder_, std::move(items));
}

image::ImageFolder* ItemListModel::DropTarget(const QModelIndex& parent) const {
    const image::ImageItem* item = parent.isValid() ? ItemAt(parent.row()) : nullptr;
    return item && item->ownFolder ? item->ownFolder : folder_;
}

bool ItemListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const {
    return AcceptsItemDrop(data, DropTarget(parent));
}

bool ItemListModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) {
    return MoveTransferInto(data, DropTarget(parent));
}

Qt::DropActions ItemListModel::supportedDragActions() const { return Qt::CopyAction | Qt::MoveAction; }
Qt::DropActions ItemListModel::supportedDropActions() const { return Qt::MoveAction; }

void ItemListModel::RefreshTitles() { emit headerDataChanged(Qt::Horizontal, 0, kListColumns - 1); }

}  // namespace app::ui
