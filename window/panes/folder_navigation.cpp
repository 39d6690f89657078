#include "window/panes/folder_navigation.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>

#include "app/document_lifecycle.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/names.h"
#include "foundation/sizes.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/format.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "window/frame/main_frame.h"
#include "window/frame/main_toolbars.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/pane_layout.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;
using foundation::ui::ToU16;

constexpr uint32_t kStrUnpacked = 420;
constexpr std::u16string_view kTotalsSeparator = u"      ----     ";
constexpr std::u16string_view kFolderMissing = u"The folder does not exist.";

// The document's name as the title shows it, from the character after its
// last separator.
std::u16string DocumentNamePart(const image::ImageContext* ctx) {
    foundation::ImageNameFacts facts;
    facts.hasImage = !ctx->imagePath.empty() || ctx->sourceDriveLetter != 0;
    facts.driveLetter = ctx->sourceDriveLetter;
    facts.openedThroughSheet = !ctx->sheetPath.empty();
    facts.sheetPath = ctx->sheetPath;
    facts.imagePath = ctx->imagePath;
    const std::u16string newName = NewDocumentName();
    facts.documentTitle = newName;
    std::u16string name = foundation::GetImageDisplayName(facts);
    const size_t cut = name.find_last_of(u"/\\");
    if (cut != std::u16string::npos) name.erase(0, cut + 1);
    return name;
}

}  // namespace

FolderNavigation::FolderNavigation(CMainFrame* frame, FramePanes* panes)
    : QObject(panes), frame_(frame), panes_(panes) {}

QLineEdit* FolderNavigation::Box() const {
    CMainToolBars* bars = frame_ ? frame_->ToolBars() : nullptr;
    return bars ? bars->AddressBox() : nullptr;
}

void FolderNavigation::Clear() {
    history_.Clear();
    shownPath_.clear();
    totalsValid_ = false;
    totalsDocument_ = nullptr;
    if (QLineEdit* box = Box()) box->clear();
}

QString FolderNavigation::PathOfNode(const QModelIndex& node) const {
    FolderTreeModel* tree = panes_->TreeModel();
    QStringList parts;
    // Node records know their parents; the root has none.
    for (QModelIndex at = node; at.isValid() && tree->parent(at).isValid(); at = tree->parent(at))
        parts.prepend(at.data().toString());
    return QStringLiteral("/") + parts.join(u'/');
}

QString FolderNavigation::AddressText(const QString& folderPath) {
    image::ImageContext* doc = image::g_CurrentDocument;
    if (!doc) return {};
    if (!totalsValid_ || totalsDocument_ != doc) {
        // Recounted only after an edit or for another document: a tree of a
        // million items would otherwise be walked at every change of folder.
        image::GetTreeStatistics(doc, doc->rootFolder, &totals_, true);
        totalsDocument_ = doc;
        totalsValid_ = true;
    }
    const uint64_t bytes = static_cast<uint64_t>(std::max<int64_t>(totals_.totalBytes, 0));
    const std::u16string totals = platform::Format(
        foundation::GetLangString(kStrUnpacked, u"Unpacked size %s (%s bytes), total %s files"),
        foundation::FormatSizeKbMb(bytes), foundation::FormatThousands(bytes),
        foundation::FormatThousands(static_cast<uint64_t>(std::max(totals_.fileCount, 0))));
    return ToQString(DocumentNamePart(doc)) + folderPath + ToQString(kTotalsSeparator) + ToQString(totals);
}

void FolderNavigation::FolderShown(image::ImageFolder* folder) {
    if (!folder || !image::g_CurrentDocument) return;
    const QModelIndex node = panes_->TreeModel()->IndexOfFolder(folder);
    if (!node.isValid()) return;
    shownPath_ = PathOfNode(node);
    if (QLineEdit* box = Box()) {
        box->setText(AddressText(shownPath_));
        box->setCursorPosition(0);
    }
    if (!recordingSuppressed_) history_.Record(ToU16(shownPath_));
}

bool FolderNavigation::GoToPath(const QString& path) {
    FolderTreeModel* tree = panes_->TreeModel();
    const QModelIndex node = tree->FindByPath(path);
    if (!node.isValid()) return false;
    for (QModelIndex up = tree->parent(node); up.isValid(); up = tree->parent(up)) panes_->TreeView()->expand(up);
    if (panes_->TreeView()->currentIndex() == node) panes_->FillFileListWithFolder(tree->FolderOf(node));
    else panes_->TreeView()->setCurrentIndex(node);
    return true;
}

void FolderNavigation::Move(std::optional<std::u16string> entry, int previousPosition) {
    if (!entry) return;
    recordingSuppressed_ = true;
    const bool shown = GoToPath(ToQString(*entry));
    recordingSuppressed_ = false;
    if (shown) return;
    // The folder went with an edit since it was shown: the history forgets it
    // and stays where it was.
    history_.SetPosition(previousPosition);
    history_.Remove(*entry);
    foundation::AppMessageBox(*entry + u"\r\n\r\n" + std::u16string(kFolderMissing),
                              foundation::kMbOk | foundation::kMbIconStop);
}

bool FolderNavigation::Runs(uint32_t id) const {
    if (id == kCmdBack) return history_.BackCount() > 0;
    if (id == kCmdForward) return history_.ForwardCount() > 0;
    if (id == kCmdUp) {
        const bool dataDocument = image::g_CurrentDocument && image::CanDocumentDo(153);
        const QModelIndex current = panes_->TreeView()->currentIndex();
        return dataDocument && panes_->TreeModel()->RootIndex().isValid() && current.isValid() &&
               panes_->TreeModel()->parent(current).isValid();
    }
    if (id >= kCmdFirstHistory && id <= kCmdLastHistory) return history_.Entry(static_cast<int>(id - kCmdFirstHistory));
    return false;
}

void FolderNavigation::Run(uint32_t id) {
    const int before = history_.Position();
    if (id == kCmdBack) Move(history_.Back(1), before);
    else if (id == kCmdForward) Move(history_.Forward(1), before);
    else if (id == kCmdUp) panes_->GoUp();
    else if (id >= kCmdFirstHistory && id <= kCmdLastHistory)
        Move(history_.SetPosition(static_cast<int>(id - kCmdFirstHistory)), before);
}

void FolderNavigation::FillHistoryMenu(QMenu* menu, bool back) {
    menu->clear();
    for (int index : history_.MenuEntries(back)) {
        const std::u16string* path = history_.Entry(index);
        if (!path) continue;
        QAction* action = menu->addAction(ToQString(app::HistoryMenuText(*path)));
        const uint32_t id = kCmdFirstHistory + static_cast<uint32_t>(index);
        action->setProperty(foundation::ui::kCommandIdProperty, id);
        connect(action, &QAction::triggered, this, [this, id] { frame_->ExecuteCommand(id); });
    }
}

void FolderNavigation::AcceptAddress() {
    QLineEdit* box = Box();
    if (!box || !image::g_CurrentDocument) return;
    QString typed = box->text();
    // The totals after the path are part of what the box shows, not of the path.
    const qsizetype totals = typed.indexOf(ToQString(kTotalsSeparator));
    if (totals >= 0) typed.truncate(totals);
    const QString name = ToQString(DocumentNamePart(image::g_CurrentDocument));
    if (!name.isEmpty() && typed.startsWith(name)) typed.remove(0, name.size());
    typed = typed.trimmed();
    if (typed.isEmpty()) typed = QStringLiteral("/");
    if (!GoToPath(typed)) {
        foundation::AppMessageBox(ToU16(typed) + u"\r\n\r\n" + std::u16string(kFolderMissing),
                                  foundation::kMbOk | foundation::kMbIconStop);
        box->setText(AddressText(shownPath_));
        box->setCursorPosition(0);
    }
}

}  // namespace app::ui
