#include "window/dialogs/comment_page.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "window/dialogs/app_dialog.h"
#include "foundation/file_filters.h"
#include "foundation/window_faces.h"

namespace dialogs::ui {

CCommentPage::CCommentPage(const ArchiveSettings& settings, QWidget* parent) : QWidget(parent) {
    text_ = new QPlainTextEdit;
    text_->setPlainText(QString::fromStdU16String(CommentText(settings)));
    CAppDialog::SetControlId(text_, 1153);
    auto* copy = new QPushButton(QString::fromUtf16(u"Copy to Clipboard"));
    auto* load = new QPushButton(QString::fromUtf16(u"Load from File ..."));
    copy->setAutoDefault(false);
    load->setAutoDefault(false);
    CAppDialog::SetControlId(copy, 1146);
    CAppDialog::SetControlId(load, 1147);
    connect(copy, &QPushButton::clicked, this, &CCommentPage::CopyToClipboard);
    connect(load, &QPushButton::clicked, this, &CCommentPage::LoadFromFile);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addWidget(load);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);
}

void CCommentPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The text shows from its start, not selected.
    if (firstPaint_) {
        firstPaint_ = false;
        text_->moveCursor(QTextCursor::Start);
        text_->ensureCursorVisible();
    }
}

void CCommentPage::CopyToClipboard() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text_->toPlainText());
}

void CCommentPage::LoadFromFile() {
    std::optional<std::u16string> chosen;
    if (foundation::InstalledWindowFaces()) {
        chosen = foundation::ShowOpenFileDialog(this, foundation::BuildAllFilesFilter(), {});
    } else {
        const QString name = QFileDialog::getOpenFileName(this);
        if (!name.isEmpty()) chosen = name.toStdU16String();
    }
    if (!chosen) return;
    // A file that cannot be read changes nothing.
    if (const std::optional<std::u16string> text = LoadCommentFile(*chosen))
        text_->setPlainText(QString::fromStdU16String(*text));
}

void CCommentPage::Store(ArchiveSettings& settings) const {
    SetCommentText(settings, text_->toPlainText().toStdU16String());
}

}  // namespace dialogs::ui
