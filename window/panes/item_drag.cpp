#include "window/panes/item_drag.h"

#include <QApplication>
#include <QUrl>

#include "app/document_lifecycle.h"
#include "window/frame/main_frame.h"
#include "window/dialogs/extract_dialog.h"
#include "window/faces/qt_text.h"
#include "foundation/user_prompt.h"
#include "foundation/work_folder.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;

constexpr const char* kUriList = "text/uri-list";
constexpr int32_t kNoAnswerYet = -1;

ItemTransferData::Renderer& RendererSlot() {
    static ItemTransferData::Renderer renderer;
    return renderer;
}

bool IsDraggable(image::ImageContext* ctx, const image::ImageItem* item) {
    if (!item || image::IsDotOrDotDot(item)) return false;
    // Track files of a Video CD belong to the disc layout, not to a folder.
    return !(ctx->videoCdKind != 0 && image::IsItemFromDiskFile(ctx, item));
}

bool IsDataDocument(const image::ImageContext* ctx) {
    return ctx && ctx == image::g_CurrentDocument && CurrentDocumentKind() != DocumentKind::AudioCd;
}

}  // namespace

ItemTransferData::ItemTransferData(Kind kind, image::ImageContext* ctx, image::ImageFolder* sourceFolder,
                                   std::vector<image::ImageItem*> items)
    : kind_(kind), ctx_(ctx), source_(sourceFolder), items_(std::move(items)) {}

void ItemTransferData::SetRenderer(Renderer renderer) { RendererSlot() = std::move(renderer); }

QStringList ItemTransferData::formats() const {
    return {QString::fromLatin1(kItemTransferFormat), QString::fromLatin1(kUriList)};
}

bool ItemTransferData::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

QVariant ItemTransferData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType == QLatin1String(kItemTransferFormat)) return QByteArray("1");
    if (mimeType != QLatin1String(kUriList)) return QMimeData::retrieveData(mimeType, type);
    // Files only for the document the items belong to, once, and never while
    // the same transfer is being written.
    if (ctx_ != image::g_CurrentDocument || rendering_ || items_.empty()) return {};
    if (!rendered_ && !Render()) return {};
    if (type.id() == QMetaType::QByteArray) {
        QByteArray list;
        for (const QUrl& url : urls_) list += url.toEncoded() + "\r\n";
        return list;
    }
    QVariantList list;
    for (const QUrl& url : urls_) list.push_back(url);
    return list;
}

bool ItemTransferData::Render() const {
    const std::optional<std::u16string> folder = foundation::PrepareTempWorkFolder();
    if (!folder) return false;
    rendering_ = true;
    ExtractRequest request;
    request.destination = *folder;
    request.options.overwriteSilently = true;
    int result = -1;
    std::vector<std::u16string> paths;
    if (RendererSlot()) {
        result = RendererSlot()(ctx_, source_, items_, request);
        for (const image::ImageItem* item : items_) paths.push_back(*folder + std::u16string(item->name.view()));
    } else {
        // A folder's earlier copy is replaced whole; the paths carry the names
        // as written (made safe for the file system).
        result = dialogs::ui::RunTransferRender(MainFrame(), ctx_, source_, items_, paths);
    }
    rendering_ = false;
    if (result != 1) return false;
    urls_.clear();
    for (const std::u16string& path : paths) urls_.push_back(QUrl::fromLocalFile(ToQString(path)));
    rendered_ = true;
    return true;
}

ItemTransferData* MakeFolderTransfer(image::ImageContext* ctx, image::ImageFolder* folder) {
    if (!IsDataDocument(ctx) || !folder || !folder->ownItem) return nullptr;
    std::vector<image::ImageItem*> items;
    image::ImageFolder* source = nullptr;
    if (folder == ctx->rootFolder) {
        // The root cannot leave its document: its contents go instead.
        for (image::ImageItem* item = folder->firstItem; item; item = item->next)
            if (IsDraggable(ctx, item) && (item->flags & image::item_flag::kExcluded) == 0) items.push_back(item);
        source = folder;
    } else {
        if (!IsDraggable(ctx, folder->ownItem)) return nullptr;
        items.push_back(folder->ownItem);
        source = folder->parent;
    }
    if (items.empty()) return nullptr;
    return new ItemTransferData(ItemTransferData::Kind::TreeFolder, ctx, source, std::move(items));
}

ItemTransferData* MakeListTransfer(image::ImageContext* ctx, image::ImageFolder* shown,
                                   std::vector<image::ImageItem*> items) {
    if (!IsDataDocument(ctx) || !shown || items.empty()) return nullptr;
    for (const image::ImageItem* item : items)
        if (!IsDraggable(ctx, item)) return nullptr;
    return new ItemTransferData(ItemTransferData::Kind::ListSelection, ctx, shown, std::move(items));
}

bool AcceptsItemDrop(const QMimeData* data, image::ImageFolder* target) {
    const auto* transfer = qobject_cast<const ItemTransferData*>(data);
    if (!transfer || !target || !IsDataDocument(transfer->Document())) return false;
    if (transfer->Document()->readOnly || image::IsCurrentDocumentReadOnly()) return false;
    if (target == transfer->SourceFolder()) return false;
    for (const image::ImageItem* item : transfer->Items())
        if (item->ownFolder == target) return false;
    return true;
}

bool MoveTransferInto(const QMimeData* data, image::ImageFolder* target) {
    if (!AcceptsItemDrop(data, target)) return false;
    const auto* transfer = qobject_cast<const ItemTransferData*>(data);
    image::ImageContext* ctx = transfer->Document();
    image::SetOverwriteAnswer(kNoAnswerYet);
    bool changed = false;
    for (image::ImageItem* item : transfer->Items()) {
        if (image::GetOverwriteAnswer() == foundation::overwrite_answer::kCancel) break;
        if (item->ownFolder) {
            changed |= image::CopyFolder(ctx, item->ownFolder, target, true, false) != nullptr;
        } else {
            changed |= image::CopyFileItem(ctx, target, item, true, false) != nullptr;
        }
    }
    if (changed) {
        ctx->modified |= 2;
        if (CMainFrame* frame = MainFrame()) frame->UpdateTitle();
    }
    return changed;
}

}  // namespace app::ui
