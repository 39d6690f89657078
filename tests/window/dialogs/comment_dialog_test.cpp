// The comment viewer: a comment is shown whole and read-only, copied to the
// clipboard as shown; an over-long comment is cut on a whole character; a document
// without a comment shows nothing.

#include "window/dialogs/comment_dialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "image/document/image_context.h"
#include "tests/support/window/qt_application.h"

namespace dialogs::ui {
namespace {

TEST(CommentDialog, ShowsTheArchiveCommentAndCopiesIt) {
    qvtest::EnsureApplication();
    image::ImageContext ctx;
    ctx.archiveComment = "first line\nsecond line\n";
    ctx.archiveCommentPresent = true;
    CCommentDlg dialog(ctx);
    QPlainTextEdit* text = dialog.ControlAs<QPlainTextEdit>(CCommentDlg::kIdText);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->toPlainText().trimmed(), QStringLiteral("first line\nsecond line"));
    dialog.ControlAs<QPushButton>(CCommentDlg::kIdCopy)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text->toPlainText());
    if (const char* shots = std::getenv("QV_SHOT_DIR")) {
        dialog.show();
        dialog.grab().save(QString::fromUtf8(shots) + "/comment.png");
    }
    // Without a comment nothing is shown.
    image::ImageContext none;
    EXPECT_FALSE(ShowCommentDialog(nullptr, none));
}

TEST(CommentDialog, LongCommentsAreCutOnWholeCharacters) {
    image::ImageContext ctx;
    EXPECT_TRUE(CommentDialogText(ctx).empty());
    // Every character above U+FFFF is a pair; the limit falls inside one.
    std::string comment;
    for (size_t i = 0; i < CCommentDlg::kTextLimit / 2 + 1; ++i) comment += "\xF0\x9F\x98\x80";
    ctx.archiveComment = "a" + comment;
    setenv("QV_ANSI_CODEPAGE", "65001", 1);
    const std::u16string shown = CommentDialogText(ctx);
    unsetenv("QV_ANSI_CODEPAGE");
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(shown.size(), CCommentDlg::kTextLimit);
    EXPECT_FALSE(shown.back() >= 0xD800 && shown.back() <= 0xDBFF);
}

}  // namespace
}  // namespace dialogs::ui
