#pragma once
// The warning shown before a program file inside a document is run: run it
// directly, or extract everything to a temporary folder first (the default).

#include <QString>
#include <QWidget>

#include "window/dialogs/app_dialog.h"

class QRadioButton;

namespace dialogs::ui {

class CRunExeWarningDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 285;
    static constexpr int kRunDirectly = 1191;
    static constexpr int kExtractAllFirst = 1192;

    explicit CRunExeWarningDlg(const QString& fileName, QWidget* parent = nullptr);
    // The checked choice (kRunDirectly or kExtractAllFirst).
    int Choice() const;

private:
    QRadioButton* direct_ = nullptr;
    QRadioButton* extractAll_ = nullptr;
};

// The choice, or 0 when the user cancelled.
int AskRunExecutable(QWidget* parent, const QString& fileName);

}  // namespace dialogs::ui
