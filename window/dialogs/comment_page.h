#pragma once
// The sheet's "Comment" page: the archive comment as editable text, copied to
// the clipboard or loaded from a file, and stored into the settings record on
// OK (cut to what the writers keep).

#include <QWidget>

#include "window/models/archive_settings.h"

class QPlainTextEdit;

namespace dialogs::ui {

class CCommentPage : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 322;

    explicit CCommentPage(const ArchiveSettings& settings, QWidget* parent = nullptr);
    void Store(ArchiveSettings& settings) const;

public slots:
    void CopyToClipboard();
    void LoadFromFile();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPlainTextEdit* text_ = nullptr;
    bool firstPaint_ = true;
};

}  // namespace dialogs::ui
