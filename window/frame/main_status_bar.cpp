#include "window/frame/main_status_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTimerEvent>
#include <qdrawutil.h>

#include "app/document_lifecycle.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"
#include "foundation/language.h"
#include "foundation/sizes.h"
#include "window/faces/icons.h"
#include "window/faces/qt_text.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"
#include "platform/format.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;

constexpr uint32_t kStrTotal = 400, kStrSelected = 410, kStrBytes = 1470;
constexpr int kRefreshMs = 10;
constexpr int kTextInsetX = 5, kTextInsetY = 1;
constexpr int kRawSectorBytes = 2352;

// Sums stop at the largest size instead of wrapping; sizes are at most INT64_MAX.
uint64_t AddBytes(uint64_t sum, uint64_t bytes) {
    constexpr uint64_t kMost = static_cast<uint64_t>(INT64_MAX);
    return bytes > kMost - std::min(sum, kMost) ? kMost : sum + bytes;
}

}  // namespace

QString StatusCountText(uint32_t textId, std::u16string_view fallback, int64_t count, uint64_t bytes) {
    const std::u16string head = platform::Format(foundation::GetLangString(textId, fallback), static_cast<int>(count));
    return ToQString(head + u" " + foundation::FormatSizeKbMb(bytes) + u"(" + foundation::FormatThousands(bytes) + u" " +
                     foundation::GetLangString(kStrBytes, u"bytes") + u")");
}

CMainStatusBar::CMainStatusBar(CMainFrame* frame) : QStatusBar(frame), frame_(frame) {
    setObjectName(QStringLiteral("CMainStatusBar"));
    setSizeGripEnabled(true);
    setMinimumHeight(fontMetrics().height() + 8);
}

void CMainStatusBar::StartTimer() {
    if (timerId_ == 0) timerId_ = startTimer(kRefreshMs);
}

void CMainStatusBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QStatusBar::timerEvent(event);
        return;
    }
    killTimer(timerId_);
    timerId_ = 0;
    if (!counting_) UpdateCounts();
}

void CMainStatusBar::UpdateCounts() {
    counting_ = true;
    ++recounts_;
    totals_.clear();
    selection_.clear();
    image::ImageContext* doc = image::g_CurrentDocument;
    const auto* panes = frame_->findChild<FramePanes*>();
    const bool projectWithoutTracks = doc && doc->formatCode == image::format_code::kProjectAudio && !doc->trackList;
    if (doc && !projectWithoutTracks) {
        image::TreeStatistics stats;
        image::GetTreeStatistics(doc, image::g_CurrentFolder, &stats, false);
        const int64_t objects = int64_t{stats.fileCount} + stats.folderCount + stats.audioTrackCount;
        // Tracks count as the rows show them: raw 2352-byte sectors, as the
        // selection does, so the two panes agree on an audio CD.
        uint64_t totalBytes = static_cast<uint64_t>(std::max<int64_t>(stats.fileBytes, 0));
        if (const image::TrackList* list = doc->trackList) {
            const int count = std::clamp(list->trackCount, 0, image::kMaxTracks);
            for (int i = 0; i < count; ++i) {
                const image::TrackEntry& track = list->tracks[static_cast<size_t>(i)];
                if (track.mode == image::track_mode::kAudio)
                    totalBytes = AddBytes(totalBytes, static_cast<uint64_t>(std::max(track.length, 0)) * kRawSectorBytes);
            }
        }
        totals_ = StatusCountText(kStrTotal, u"Total %d objects,", objects, totalBytes);
        int64_t selected = 0;
        uint64_t selectedBytes = 0;
        if (panes && image::CanDocumentDo(1) && doc->trackList) {
            for (int track : panes->SelectedTracks()) {
                ++selected;
                const int32_t length = doc->trackList->tracks[static_cast<size_t>(track)].length;
                selectedBytes = AddBytes(selectedBytes, static_cast<uint64_t>(std::max(length, 0)) * kRawSectorBytes);
            }
        }
        if (panes && image::CanDocumentDo(153)) {
            for (image::ImageItem* item : panes->SelectedItems()) {
                ++selected;
                if (image::IsFolderItem(item)) continue;
                const int64_t size = doc->videoCdKind != 0 ? image::GetItemDataSize(doc, item) : item->size;
                if (size > 0) selectedBytes = AddBytes(selectedBytes, static_cast<uint64_t>(size));
            }
        }
        selection_ = StatusCountText(kStrSelected, u"Selected %d objects,", selected, selectedBytes);
    }
    update();
    counting_ = false;
}

QRect CMainStatusBar::LockPane() const { return QRect(0, 0, kLockPaneWidth, height()); }

void CMainStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    painter.fillRect(all, palette().button());
    const QRect area = all.adjusted(0, 1, 0, 0);
    const int totalsWidth = (area.width() - kLockPaneWidth) / 2;
    const QRect lock(area.left(), area.top(), kLockPaneWidth, area.height());
    const QRect totals(lock.right() + 2, area.top(), totalsWidth - 2, area.height());
    const QRect selection(totals.right() + 3, area.top(), area.right() - totals.right() - 3, area.height());
    for (const QRect& pane : {lock, totals, selection}) qDrawShadePanel(&painter, pane, palette(), true, 1);

    // A lock in colour with a password, greyed without; the arrow says a menu opens.
    const image::ImageContext* doc = image::g_CurrentDocument;
    const bool password = doc && (doc->passwordEnabled || doc->passwordSet);
    const QPixmap lockImage = foundation::ui::BuiltInIcon(QStringLiteral("system-lock-screen"))
                                  .pixmap(16, 16, password ? QIcon::Normal : QIcon::Disabled);
    const int imageX = lock.left() + (lock.width() - 8 - 16) / 2;
    painter.drawPixmap(imageX, lock.top() + (lock.height() - 16) / 2, lockImage);
    const int arrowX = lock.right() - 4 - 5;
    const int arrowY = lock.top() + lock.height() / 2 - 1;
    const QPoint arrow[3] = {{arrowX, arrowY}, {arrowX + 5, arrowY}, {arrowX + 2, arrowY + 3}};
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().windowText());
    painter.drawPolygon(arrow, 3);

    painter.setPen(palette().color(QPalette::WindowText));
    for (const auto& [pane, text] : {std::pair{totals, totals_}, std::pair{selection, selection_}})
        painter.drawText(pane.adjusted(kTextInsetX, kTextInsetY, -kTextInsetX, -kTextInsetY),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
}

void CMainStatusBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && LockPane().contains(event->position().toPoint()))
        emit LockPaneClicked(mapToGlobal(LockPane().bottomLeft()));
    QStatusBar::mousePressEvent(event);
}

}  // namespace app::ui
