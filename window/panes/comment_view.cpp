#include "window/panes/comment_view.h"

#include "window/faces/qt_text.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/text_conversions.h"

namespace app::ui {

std::u16string CommentDisplayText(std::string_view stored) {
    std::u16string text = image::MultiByteToWideText(stored, image::kAnsiCodePage);
    if (text.size() > kCommentLimitUnits) {
        size_t keep = kCommentLimitUnits;
        if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
        text.resize(keep);
    }
    return text;
}

CISOCommentView::CISOCommentView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setObjectName(QStringLiteral("CISOCommentView"));
}

void CISOCommentView::SetCommentText(image::ImageContext* doc) {
    if (!doc) doc = image::g_CurrentDocument;
    if (!doc || doc->archiveComment.empty()) return;
    setPlainText(foundation::ui::ToQString(CommentDisplayText(doc->archiveComment)));
    setFocus();
}

}  // namespace app::ui
