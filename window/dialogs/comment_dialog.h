#pragma once
// An archive's comment, read-only, with a button that copies it to the
// clipboard.

#include <string>

#include "window/dialogs/app_dialog.h"

class QPlainTextEdit;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

class CCommentDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 361;
    enum : int { kIdText = 1153, kIdCopy = 1146, kIdLabel = 1463 };
    // Shown units at most: a longer comment is cut on a whole character.
    static constexpr size_t kTextLimit = 0x20000;

    explicit CCommentDlg(const image::ImageContext& ctx, QWidget* parent = nullptr);

    QPlainTextEdit* TextView() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPlainTextEdit* text_ = nullptr;
    bool firstPaint_ = true;
};

// The comment of the document as the dialog shows it: the stored bytes in the
// archive's code page, cut at kTextLimit units without splitting a pair.
std::u16string CommentDialogText(const image::ImageContext& ctx);

// Shows the document's comment; false (nothing shown) when it has none.
bool ShowCommentDialog(QWidget* parent, const image::ImageContext& ctx);

}  // namespace dialogs::ui
