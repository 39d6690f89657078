#pragma once
// An edit field that holds a time code MM:SS.FF and takes only digits,
// Backspace and Delete (the rules are in window/models/time_code.h); other
// characters are swallowed, pasted text goes through the digit rules.

#include <QLineEdit>

namespace dialogs::ui {

class CTimeCodeEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CTimeCodeEdit(QWidget* parent = nullptr);

    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Paste(const QString& text);

    bool modified_ = false;
};

}  // namespace dialogs::ui
