#include "window/dialogs/comment_dialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "image/document/image_context.h"
#include "image/document/text_conversions.h"
#include "window/faces/qt_text.h"

namespace dialogs::ui {

std::u16string CommentDialogText(const image::ImageContext& ctx) {
    if (ctx.archiveComment.empty()) return {};
    std::u16string text = image::MultiByteToWideText(ctx.archiveComment, image::kAnsiCodePage);
    if (text.size() > CCommentDlg::kTextLimit) {
        size_t keep = CCommentDlg::kTextLimit;
        if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
        text.resize(keep);
    }
    return text;
}

CCommentDlg::CCommentDlg(const image::ImageContext& ctx, QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Comment"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(foundation::ui::ToQString(foundation::GetLangString(30890, u"Comment:")));
    SetControlId(label, kIdLabel);
    layout->addWidget(label);
    text_ = new QPlainTextEdit;
    text_->setReadOnly(true);
    text_->setPlainText(foundation::ui::ToQString(CommentDialogText(ctx)));
    text_->setMinimumSize(420, 240);
    SetControlId(text_, kIdText);
    layout->addWidget(text_);
    auto* row = new QHBoxLayout;
    auto* copy = new QPushButton(foundation::ui::ToQString(foundation::GetLangString(30900, u"Copy to Clipboard")));
    SetControlId(copy, kIdCopy);
    connect(copy, &QPushButton::clicked, this, [this] {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text_->toPlainText());
    });
    row->addWidget(copy);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(MakeOkCancelButtons());
}

void CCommentDlg::paintEvent(QPaintEvent* event) {
    if (firstPaint_) {
        firstPaint_ = false;
        text_->moveCursor(QTextCursor::Start);
    }
    CAppDialog::paintEvent(event);
}

bool ShowCommentDialog(QWidget* parent, const image::ImageContext& ctx) {
    if (ctx.archiveComment.empty()) return false;
    CCommentDlg dialog(ctx, parent);
    dialog.exec();
    return true;
}

}  // namespace dialogs::ui
