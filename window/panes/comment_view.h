#pragma once
// The pane below the file list that shows the archive's comment, read-only.

#include <QPlainTextEdit>

#include <string>
#include <string_view>

namespace image {
struct ImageContext;
}

namespace app::ui {

inline constexpr size_t kCommentLimitUnits = 65536;

// The stored comment (the archive's code page) as shown: exactly its stored
// bytes converted, never read past them, cut at 65,536 units without
// splitting a surrogate pair.
std::u16string CommentDisplayText(std::string_view stored);

class CISOCommentView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CISOCommentView(QWidget* parent = nullptr);
    // Null: the current document. Nothing without a document or a comment.
    void SetCommentText(image::ImageContext* doc);
};

}  // namespace app::ui
