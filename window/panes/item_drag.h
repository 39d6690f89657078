#pragma once
// Items of the open document dragged out of the folder tree or the file list.
// A receiver outside the program asks for a file list: the items are then
// extracted once into the work folder and their paths handed over. A drop on
// a folder of the same document moves the items inside the document tree and
// writes no file.

#include <QMimeData>
#include <QStringList>

#include <functional>
#include <vector>

#include "app/extract_job.h"

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app::ui {

// The format that marks this program's own transfers.
inline constexpr const char* kItemTransferFormat = "application/x-quendravine-items";

class ItemTransferData : public QMimeData {
    Q_OBJECT
public:
    // 1 a folder of the tree, 2 the file list's selection.
    enum class Kind : int { TreeFolder = 1, ListSelection = 2 };
    // Extracts items below baseFolder into the destination; the job's result.
    using Renderer = std::function<int(image::ImageContext* ctx, image::ImageFolder* baseFolder,
                                       const std::vector<image::ImageItem*>& items, const ExtractRequest& request)>;

    ItemTransferData(Kind kind, image::ImageContext* ctx, image::ImageFolder* sourceFolder,
                     std::vector<image::ImageItem*> items);

    Kind TransferKind() const { return kind_; }
    image::ImageContext* Document() const { return ctx_; }
    image::ImageFolder* SourceFolder() const { return source_; }
    const std::vector<image::ImageItem*>& Items() const { return items_; }
    bool Rendered() const { return rendered_; }
    // Replaces the extraction under the progress dialog (tests run it directly).
    static void SetRenderer(Renderer renderer);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    bool Render() const;

    Kind kind_;
    image::ImageContext* ctx_;
    image::ImageFolder* source_;
    std::vector<image::ImageItem*> items_;
    mutable bool rendered_ = false;
    mutable bool rendering_ = false;
    mutable QList<QUrl> urls_;
};

// The transfer of the tree's folder (the root: everything in it) or of the
// list's items; null when nothing may be dragged.
ItemTransferData* MakeFolderTransfer(image::ImageContext* ctx, image::ImageFolder* folder);
ItemTransferData* MakeListTransfer(image::ImageContext* ctx, image::ImageFolder* shown,
                                   std::vector<image::ImageItem*> items);

// True when a drop of data on target moves something: this program's transfer
// of the current, writable data document to a folder other than its source and
// not one of the dragged folders.
bool AcceptsItemDrop(const QMimeData* data, image::ImageFolder* target);
// Moves the dragged items into target; true when anything changed.
bool MoveTransferInto(const QMimeData* data, image::ImageFolder* target);

}  // namespace app::ui
