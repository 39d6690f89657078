#include "window/panes/folder_tree_model.h"

#include <QIcon>

#include <algorithm>

#include "app/document_lifecycle.h"
#include "app/rename_services.h"
#include "window/panes/item_drag.h"
#include "window/panes/list_cells.h"
#include "window/faces/icons.h"
#include "window/faces/qt_text.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/iso/volume_texts.h"

namespace app::ui {

using foundation::ui::ToQString;

struct FolderTreeModel::Node {
    image::ImageFolder* folder = nullptr;   // null for the "Audio CD" node
    Node* parent = nullptr;
    int row = 0;
    bool loaded = false;
    QString text;
    std::vector<std::unique_ptr<Node>> children;
};

namespace {

// The tree's edit box takes at most this many characters.
constexpr qsizetype kMaxLabelEdit = 1024;

// Disk images and WIM images show their folders in the document's own order.
bool KeepsDocumentOrder(const image::ImageContext* ctx) {
    return ctx && (ctx->formatCode == 150 || ctx->formatCode == 152);
}

bool IsShownFolder(const image::ImageFolder& folder) {
    if (!folder.ownItem) return false;
    if (!IsVisibleItem(*folder.ownItem)) return false;
    return (folder.flags & image::folder_flag::kExcluded) == 0;
}

}  // namespace

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

FolderTreeModel::~FolderTreeModel() { ForgetHandles(root_.get()); }

void FolderTreeModel::ForgetHandles(Node* start) const {
    if (!start) return;
    std::vector<Node*> work{start};
    while (!work.empty()) {
        Node* node = work.back();
        work.pop_back();
        if (node->folder && node->folder->treeViewHandle == node) node->folder->treeViewHandle = nullptr;
        for (auto& child : node->children) work.push_back(child.get());
    }
}

void FolderTreeModel::ShowDocument(image::ImageContext* ctx) {
    beginResetModel();
    ForgetHandles(root_.get());
    root_.reset();
    ctx_ = ctx;
    if (ctx) {
        root_ = std::make_unique<Node>();
        if (ctx->formatCode == 100 || ctx->formatCode == 103 || !ctx->rootFolder) {
            root_->text = QStringLiteral("Audio CD");
            root_->loaded = true;
        } else {
            root_->folder = ctx->rootFolder;
            root_->folder->treeViewHandle = root_.get();
            root_->text = ToQString(image::GetVolumeField(*ctx, image::kVolumeLabel));
        }
    }
    endResetModel();
}

void FolderTreeModel::Clear() { ShowDocument(nullptr); }

void FolderTreeModel::Load(Node* node) const {
    if (node->loaded) return;
    node->loaded = true;
    if (!node->folder) return;
    std::vector<image::ImageFolder*> shown;
    for (image::ImageFolder* sub = node->folder->firstSubfolder; sub; sub = sub->next)
        if (IsShownFolder(*sub)) shown.push_back(sub);
    std::vector<QString> names;
    for (image::ImageFolder* sub : shown) names.push_back(ToQString(sub->ownItem->name.view()));
    std::vector<size_t> order(shown.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (!KeepsDocumentOrder(ctx_))
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return QString::compare(names[a], names[b], Qt::CaseInsensitive) < 0;
        });
    for (size_t i : order) {
        auto child = std::make_unique<Node>();
        child->folder = shown[i];
        child->parent = node;
        child->row = static_cast<int>(node->children.size());
        child->text = names[i];
        shown[i]->treeViewHandle = child.get();
        node->children.push_back(std::move(child));
    }
}

FolderTreeModel::Node* FolderTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::IndexOfNode(Node* node) const {
    if (!node) return {};
    return createIndex(node->row, 0, node);
}

QModelIndex FolderTreeModel::RootIndex() const { return root_ ? createIndex(0, 0, root_.get()) : QModelIndex(); }

image::ImageFolder* FolderTreeModel::FolderOf(const QModelIndex& index) const {
    Node* node = NodeOf(index);
    return node ? node->folder : nullptr;
}

QModelIndex FolderTreeModel::IndexOfFolder(image::ImageFolder* folder) const {
    if (!folder || !folder->treeViewHandle || !root_) return {};
    return IndexOfNode(static_cast<Node*>(folder->treeViewHandle));
}

QModelIndex FolderTreeModel::FindByPath(const QString& path) {
    if (!root_) return {};
    Node* node = root_.get();
    const QStringList parts = QString(path).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        Load(node);
        Node* next = nullptr;
        for (auto& child : node->children)
            if (child->text == part) next = child.get();
        if (!next) return {};
        node = next;
    }
    return IndexOfNode(node);
}

void FolderTreeModel::FolderRemoved(image::ImageFolder* folder) {
    if (!folder || !folder->treeViewHandle) return;
    Node* node = static_cast<Node*>(folder->treeViewHandle);
    if (node == root_.get()) {
        Clear();
        return;
    }
    Node* parentNode = node->parent;
    beginRemoveRows(IndexOfNode(parentNode), node->row, node->row);
    ForgetHandles(node);
    parentNode->children.erase(parentNode->children.begin() + node->row);
    for (size_t i = 0; i < parentNode->children.size(); ++i) parentNode->children[i]->row = static_cast<int>(i);
    endRemoveRows();
}

void FolderTreeModel::FolderAdded(image::ImageFolder* folder) {
    if (!folder || folder->treeViewHandle || !folder->parent || folder->parent == folder) return;
    auto* parentNode = static_cast<Node*>(folder->parent->treeViewHandle);
    if (!parentNode || !parentNode->loaded || !IsShownFolder(*folder)) return;
    const QString name = ToQString(folder->ownItem->name.view());
    int row = 0;
    while (row < static_cast<int>(parentNode->children.size()) &&
           QString::compare(parentNode->children[static_cast<size_t>(row)]->text, name, Qt::CaseInsensitive) <= 0)
        ++row;
    beginInsertRows(IndexOfNode(parentNode), row, row);
    auto child = std::make_unique<Node>();
    child->folder = folder;
    child->parent = parentNode;
    child->text = name;
    folder->treeViewHandle = child.get();
    parentNode->children.insert(parentNode->children.begin() + row, std::move(child));
    for (size_t i = 0; i < parentNode->children.size(); ++i) parentNode->children[i]->row = static_cast<int>(i);
    endInsertRows();
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 && root_ ? RootIndex() : QModelIndex();
    Node* node = NodeOf(parent);
    Load(node);
    if (static_cast<size_t>(row) >= node->children.size()) return {};
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    Node* node = NodeOf(child);
    if (!node || !node->parent) return {};
    return IndexOfNode(node->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    if (!parent.isValid()) return root_ ? 1 : 0;
    Node* node = NodeOf(parent);
    Load(node);
    return static_cast<int>(node->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    Node* node = NodeOf(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole: return node->text;
    case Qt::DecorationRole:
        return node == root_.get() ? foundation::ui::BuiltInIcon(QStringLiteral("media-optical"))
                                   : foundation::ui::BuiltInIcon(QStringLiteral("folder"));
    default: return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractItemModel::flags(index);
    Node* node = NodeOf(index);
    if (!node || !node->folder || !ctx_ || CurrentDocumentKind() == DocumentKind::AudioCd) return result;
    result |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (ctx_->videoCdKind != 0 && node->folder->ownItem && image::IsItemFromDiskFile(ctx_, node->folder->ownItem))
        return result;
    return result | Qt::ItemIsEditable;
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
    Node* node = NodeOf(index);
    const QString text = value.toString().left(kMaxLabelEdit);
    if (text.isEmpty() || text == node->text) return false;
    if (node == root_.get()) {
        if (!RenameServices().SetVolumeLabel(foundation::ui::ToU16(text))) return false;
        node->text = text;
        emit dataChanged(index, index);
        return true;
    }
    image::ImageFolder* folder = node->folder;
    if (RenameServices().RenameTreeFolder(folder, foundation::ui::ToU16(text)) != 1) return false;
    // The command may have renamed the node already; the name it kept wins.
    if (folder->treeViewHandle == node)
        RenameNode(folder, folder->ownItem ? ToQString(folder->ownItem->name.view()) : text);
    return true;
}

QStringList FolderTreeModel::mimeTypes() const { return {QString::fromLatin1(kItemTransferFormat)}; }

QMimeData* FolderTreeModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.size() != 1) return nullptr;
    Node* node = NodeOf(indexes.front());
    return node ? MakeFolderTransfer(ctx_, node->folder) : nullptr;
}

bool FolderTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                      const QModelIndex& parent) const {
    Node* node = NodeOf(parent);
    return node && AcceptsItemDrop(data, node->folder);
}

bool FolderTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) {
    Node* node = NodeOf(parent);
    return node && MoveTransferInto(data, node->folder);
}

Qt::DropActions FolderTreeModel::supportedDragActions() const { return Qt::CopyAction | Qt::MoveAction; }
Qt::DropActions FolderTreeModel::supportedDropActions() const { return Qt::MoveAction; }

void FolderTreeModel::RenameNode(image::ImageFolder* folder, const QString& text) {
    if (!folder || !folder->treeViewHandle || !root_) return;
    auto* node = static_cast<Node*>(folder->treeViewHandle);
    node->text = text;
    const QModelIndex at = IndexOfNode(node);
    emit dataChanged(at, at);
    if (node->parent) SortChildren(node->parent);
}

void FolderTreeModel::SortChildren(Node* node) {
    if (KeepsDocumentOrder(ctx_)) return;
    const QModelIndex parentIndex = IndexOfNode(node);
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<Node*> nodesBefore;
    for (const QModelIndex& index : before) nodesBefore.push_back(NodeOf(index));
    std::stable_sort(node->children.begin(), node->children.end(), [](const auto& a, const auto& b) {
        return QString::compare(a->text, b->text, Qt::CaseInsensitive) < 0;
    });
    for (size_t i = 0; i < node->children.size(); ++i) node->children[i]->row = static_cast<int>(i);
    QModelIndexList after;
    for (Node* moved : nodesBefore) after.push_back(IndexOfNode(moved));
    changePersistentIndexList(before, after);
    emit layoutChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace app::ui
