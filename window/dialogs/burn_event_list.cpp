#include "window/dialogs/burn_event_list.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QStyle>
#include <QTime>

#include "foundation/language.h"
#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {
namespace {

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

QString Now() { return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")); }

}  // namespace

CBurnEventList::CBurnEventList(QWidget* parent) : QTreeWidget(parent) {
    CAppDialog::SetControlId(this, 1172);
    setColumnCount(2);
    setHeaderLabels({Lang(32010, u"Time"), Lang(32020, u"Event")});
    setRootIsDecorated(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setUniformRowHeights(true);
    header()->setStretchLastSection(true);
    header()->resizeSection(0, 90);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* copy = menu.addAction(Lang(30900, u"Copy to Clipboard"));
        copy->setData(kCopyCommand);
        connect(copy, &QAction::triggered, this, &CBurnEventList::CopyEventsToClipboard);
        menu.exec(viewport()->mapToGlobal(at));
    });
}

void CBurnEventList::SetRow(QTreeWidgetItem* item, bool warning, const QString& time, const QString& text) {
    item->setText(0, time);
    item->setText(1, text);
    item->setIcon(0, style()->standardIcon(warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation));
    item->setData(0, Qt::UserRole, warning);
}

void CBurnEventList::AddRow(bool warning, const QString& time, const QString& text) {
    while (topLevelItemCount() >= kMaxRows) delete takeTopLevelItem(0);
    auto* item = new QTreeWidgetItem(this);
    SetRow(item, warning, time, text);
    scrollToItem(item);
}

void CBurnEventList::AddEvent(bool warning, std::u16string_view text) {
    QString copy = QString::fromUtf16(text.data(), qsizetype(text.size()));
    QString time = Now();
    QMetaObject::invokeMethod(
        this, [this, warning, time, copy] { AddRow(warning, time, copy); }, Qt::QueuedConnection);
}

void CBurnEventList::ReplaceLastEvent(bool warning, std::u16string_view text) {
    QString copy = QString::fromUtf16(text.data(), qsizetype(text.size()));
    QString time = Now();
    QMetaObject::invokeMethod(
        this,
        [this, warning, time, copy] {
            // Nothing to rewrite yet: the text becomes the first row.
            if (topLevelItemCount() == 0) return AddRow(warning, time, copy);
            SetRow(topLevelItem(topLevelItemCount() - 1), warning, time, copy);
        },
        Qt::QueuedConnection);
}

void CBurnEventList::SetProgress(int percent) {
    QMetaObject::invokeMethod(
        this,
        [this, percent] {
            if (bar_) bar_->setValue(std::clamp(percent, 0, 100));
        },
        Qt::QueuedConnection);
}

QString CBurnEventList::EventsText() const {
    QString all;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = topLevelItem(i);
        all += QStringLiteral("[") + item->text(0) + QStringLiteral("] ") + item->text(1) + QStringLiteral("\r\n");
    }
    return all;
}

void CBurnEventList::CopyEventsToClipboard() const {
    const QString text = EventsText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

}  // namespace dialogs::ui
