#pragma once
// The folder tree's model over the document's folders, built lazily: a node's
// children are made when a view first asks for them. Each node record is kept
// in its folder's tree handle, so a folder finds its node without a search.
// The root's parent is the root itself in the item tree; the model never walks
// folder parents, only its own node records. Clear() runs before the document
// is freed.

#include <QAbstractItemModel>
#include <QString>

#include <memory>
#include <vector>

namespace image {
struct ImageContext;
struct ImageFolder;
}  // namespace image

namespace app::ui {

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // The document's tree (an audio CD shows the one node "Audio CD").
    void ShowDocument(image::ImageContext* ctx);
    void Clear();

    image::ImageFolder* FolderOf(const QModelIndex& index) const;
    QModelIndex IndexOfFolder(image::ImageFolder* folder) const;
    QModelIndex RootIndex() const;
    // The node of a "\"- or "/"-separated path below the root, walked one
    // component at a time (names as shown, exact); invalid when absent.
    QModelIndex FindByPath(const QString& path);
    // The item tree changed under a folder: a removed folder drops its
    // subtree; an added one appears where a loaded parent shows it.
    void FolderRemoved(image::ImageFolder* folder);
    void FolderAdded(image::ImageFolder* folder);
    // A folder's node shows a new name; its siblings are sorted again.
    void RenameNode(image::ImageFolder* folder, const QString& text);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Node names are edited in place: the root's is the volume label, the
    // others rename their folder through the document's rename command.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // A folder dragged out (the root: its contents); this program's items
    // dropped on a folder move there.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    struct Node;
    Node* NodeOf(const QModelIndex& index) const;
    void Load(Node* node) const;
    QModelIndex IndexOfNode(Node* node) const;
    void ForgetHandles(Node* node) const;
    void SortChildren(Node* node);

    image::ImageContext* ctx_ = nullptr;
    std::unique_ptr<Node> root_;
};

}  // namespace app::ui
