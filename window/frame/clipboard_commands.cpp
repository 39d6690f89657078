#include "window/frame/clipboard_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QListView>
#include <QTreeView>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include "app/document_edits.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "window/faces/qt_text.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/item_drag.h"
#include "window/panes/pane_layout.h"

namespace app::ui {

namespace {

constexpr const char* kUriList = "text/uri-list";
constexpr const char* kGnomeList = "x-special/gnome-copied-files";
constexpr const char* kPlainText = "text/plain";
// A pasted list longer than this is not a list a user copied.
constexpr qsizetype kMaxPastedPaths = 1000000;

// The program's own transfer, offered to file managers in their formats too.
class ClipboardTransfer final : public ItemTransferData {
public:
    // cut: the items move when pasted (file managers are told "cut" too).
    ClipboardTransfer(Kind kind, image::ImageContext* ctx, image::ImageFolder* source,
                      std::vector<image::ImageItem*> items, bool cut)
        : ItemTransferData(kind, ctx, source, std::move(items)), cut_(cut) {}

    bool Cut() const { return cut_; }

    QStringList formats() const override {
        QStringList list = ItemTransferData::formats();
        list << QString::fromLatin1(kGnomeList) << QString::fromLatin1(kPlainText);
        return list;
    }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        const bool gnome = mimeType == QLatin1String(kGnomeList);
        const bool plain = mimeType == QLatin1String(kPlainText);
        if (!gnome && !plain) return ItemTransferData::retrieveData(mimeType, type);
        const QVariant uris = ItemTransferData::retrieveData(QString::fromLatin1(kUriList), QMetaType(QMetaType::QByteArray));
        QStringList lines;
        for (const QByteArray& line : uris.toByteArray().split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.isEmpty()) continue;
            lines << (plain ? QUrl::fromEncoded(trimmed).toLocalFile() : QString::fromLatin1(trimmed));
        }
        if (lines.isEmpty()) return {};
        if (gnome) return ((cut_ ? QStringLiteral("cut\n") : QStringLiteral("copy\n")) + lines.join(u'\n')).toUtf8();
        return lines.join(u'\n');
    }

private:
    bool cut_ = false;
};

constexpr uint32_t kStrSameFolder = 1090;
FramePanes* PanesOf(CMainFrame* frame) {
    return frame ? frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool CanCopy(CMainFrame* frame) {
    FramePanes* panes = PanesOf(frame);
    return panes && image::g_CurrentDocument && CurrentDocumentKind() != DocumentKind::AudioCd &&
           !panes->SelectedItems().empty();
}

const QMimeData* ClipboardData() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
}

bool CanPaste() {
    if (!IsWritableDataDocument() || !image::g_CurrentFolder) return false;
    const QMimeData* data = ClipboardData();
    if (!data) return false;
    if (const auto* own = qobject_cast<const ItemTransferData*>(data)) return own->Document() == image::g_CurrentDocument;
    return data->hasFormat(QString::fromLatin1(kUriList)) || data->hasFormat(QString::fromLatin1(kGnomeList)) ||
           data->hasText();
}

bool CanCut(CMainFrame* frame) { return CanCopy(frame) && IsWritableDataDocument(); }

void CopyOrCut(CMainFrame* frame, bool cut) {
    FramePanes* panes = PanesOf(frame);
    if (!(cut ? CanCut(frame) : CanCopy(frame))) return;
    std::vector<image::ImageItem*> items;
    for (image::ImageItem* item : panes->SelectedItems())
        if (!image::IsDotOrDotDot(item)) items.push_back(item);
    if (items.empty()) return;
    // Qt owns what the clipboard holds and frees the previous one.
    QGuiApplication::clipboard()->setMimeData(new ClipboardTransfer(ItemTransferData::Kind::ListSelection,
                                                                    image::g_CurrentDocument, image::g_CurrentFolder,
                                                                    std::move(items), cut),
                                              QClipboard::Clipboard);
}

void AddForeignPaths(const QMimeData* data, image::ImageFolder* target);

void Paste(CMainFrame* frame) {
    if (!CanPaste()) return;
    image::ImageContext* ctx = image::g_CurrentDocument;
    image::ImageFolder* target = image::g_CurrentFolder;
    const QMimeData* data = ClipboardData();
    const auto* cut = dynamic_cast<const ClipboardTransfer*>(data);
    if (cut && cut->Cut()) {
        // Cut items move once; the clipboard lets go of them afterwards.
        if (target == cut->SourceFolder()) {
            foundation::AppMessageBox(foundation::GetLangString(
                                          kStrSameFolder, u"The destination folder is the same as the source folder."),
                                      foundation::kMbOk | foundation::kMbIconStop);
            return;
        }
        // A folder is never moved into itself or below itself (the tree
        // refuses that too); the cut stays on the clipboard.
        if (!AcceptsItemDrop(data, target)) return;
        const bool moved = MoveTransferInto(data, target);
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        if (moved) SetDocumentModified(2);
    } else if (const auto* own = qobject_cast<const ItemTransferData*>(data)) {
        // Copies inside the document; the originals stay.
        bool changed = false;
        for (image::ImageItem* item : own->Items()) {
            if (item->ownFolder) changed |= image::CopyFolder(ctx, item->ownFolder, target, false, false) != nullptr;
            else changed |= image::CopyFileItem(ctx, target, item, false, false) != nullptr;
        }
        if (changed) SetDocumentModified(2);
    } else {
        AddForeignPaths(data, target);
    }
    if (FramePanes* panes = PanesOf(frame)) panes->ShowFolder(target);
}

// Paths of a drop or paste from another program into the shown folder; each
// unreadable one named in a message, the others still added.
void AddForeignPaths(const QMimeData* data, image::ImageFolder* target) {
    const QStringList paths =
        LocalPathsOfTransfer(data->data(QString::fromLatin1(kUriList)), data->data(QString::fromLatin1(kGnomeList)),
                             data->hasText() ? data->text() : QString());
    for (const QString& path : paths) {
        if (!QFileInfo(path).isReadable()) {
            foundation::AppMessageBox(foundation::ui::ToU16(path) + u"\r\n\r\nThe file cannot be read.",
                                      foundation::kMbOk | foundation::kMbIconExclamation);
            continue;
        }
        AddDiskPath(target, foundation::ui::ToU16(path));
    }
}

bool IsForeignFileDrop(const QMimeData* data) {
    return data && !qobject_cast<const ItemTransferData*>(data) && data->hasUrls() && IsWritableDataDocument() &&
           image::g_CurrentFolder;
}

// Files dropped by a file manager on the frame or its views are added to the
// shown folder (a copy: the files stay where they are). This program's own
// transfers pass on to the views, which move them inside the document.
class ForeignDropFilter final : public QObject {
public:
    explicit ForeignDropFilter(CMainFrame* frame) : QObject(frame), frame_(frame) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (!IsForeignFileDrop(drag->mimeData())) return QObject::eventFilter(watched, event);
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!IsForeignFileDrop(drop->mimeData())) return QObject::eventFilter(watched, event);
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            image::ImageFolder* target = image::g_CurrentFolder;
            AddForeignPaths(drop->mimeData(), target);
            if (FramePanes* panes = PanesOf(frame_)) panes->ShowFolder(target);
            return true;
        }
        default: return QObject::eventFilter(watched, event);
        }
    }

private:
    QPointer<CMainFrame> frame_;
};

}  // namespace

QStringList LocalPathsOfTransfer(const QByteArray& uriList, const QByteArray& gnomeList, const QString& plainText) {
    QStringList paths;
    auto addUri = [&paths](const QByteArray& line) {
        const QUrl url = QUrl::fromEncoded(line.trimmed(), QUrl::StrictMode);
        if (!url.isValid() || !url.isLocalFile()) return;
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && !path.contains(QChar(u'\0')) && paths.size() < kMaxPastedPaths) paths << path;
    };
    if (!uriList.isEmpty()) {
        for (const QByteArray& line : uriList.split('\n'))
            if (!line.trimmed().isEmpty() && !line.startsWith('#')) addUri(line);
        return paths;
    }
    if (!gnomeList.isEmpty()) {
        const QList<QByteArray> lines = gnomeList.split('\n');
        for (qsizetype n = 1; n < lines.size(); ++n)
            if (!lines[n].trimmed().isEmpty()) addUri(lines[n]);
        return paths;
    }
    for (const QString& line : plainText.split(u'\n')) {
        const QString path = line.trimmed();
        if (path.startsWith(u'/') && !path.contains(QChar(u'\0')) && paths.size() < kMaxPastedPaths) paths << path;
        else if (path.startsWith(QLatin1String("file://"))) addUri(path.toUtf8());
    }
    return paths;
}

void ForgetClipboardItemsOf(const image::ImageContext* ctx) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    const auto* own = qobject_cast<const ItemTransferData*>(clipboard->mimeData(QClipboard::Clipboard));
    if (own && own->Document() == ctx) clipboard->clear(QClipboard::Clipboard);
}

void InstallClipboardCommands(CMainFrame* frame) {
    CommandHandler before;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::Clipboard)) before = *installed;
    QPointer<CMainFrame> owner(frame);
    const auto mine = [](uint32_t id) { return id == kCmdCopyItems || id == kCmdCutItems || id == kCmdPasteItems; };
    CommandHandler handler;
    handler.run = [owner, before, mine](uint32_t id) {
        if (!mine(id)) {
            if (before.run) before.run(id);
            return;
        }
        if (id == kCmdCopyItems) CopyOrCut(owner, false);
        else if (id == kCmdCutItems) CopyOrCut(owner, true);
        else Paste(owner);
    };
    handler.enabled = [owner, before, mine](uint32_t id) {
        if (mine(id)) return id == kCmdCopyItems ? CanCopy(owner) : id == kCmdCutItems ? CanCut(owner) : CanPaste();
        return before.run && (!before.enabled || before.enabled(id));
    };
    handler.checked = before.checked;
    InstallCommandHandler(CommandGroup::Clipboard, std::move(handler));
    auto* drops = new ForeignDropFilter(frame);
    frame->installEventFilter(drops);
    if (FramePanes* panes = PanesOf(frame)) {
        for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(panes->DetailsView()),
                                        static_cast<QAbstractItemView*>(panes->IconView()),
                                        static_cast<QAbstractItemView*>(panes->TreeView())}) {
            view->setAcceptDrops(true);
            view->viewport()->installEventFilter(drops);
        }
    }
    QObject::connect(frame, &QObject::destroyed, [] {
        // The clipboard must not keep items of a document that is going.
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            if (qobject_cast<const ItemTransferData*>(clipboard->mimeData(QClipboard::Clipboard))) clipboard->clear();
        InstallCommandHandler(CommandGroup::Clipboard, {});
    });
}

}  // namespace app::ui
