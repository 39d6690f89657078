#include "window/dialogs/run_exe_warning_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>


namespace dialogs::ui {

namespace {

// The dialog's own texts (translated with the dialog as a whole).
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

}  // namespace

CRunExeWarningDlg::CRunExeWarningDlg(const QString& fileName, QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Quendravine"));
    auto* text = new QLabel(Plain(u"You are about to run an executable file. We recommend you to extract all "
                                       u"files to a temporary folder, then run the file."));
    text->setWordWrap(true);
    auto* name = new QLineEdit(fileName);
    name->setReadOnly(true);
    SetControlId(name, 1078);
    direct_ = new QRadioButton(Plain(u"Run the file directly"));
    extractAll_ = new QRadioButton(Plain(u"Extract all files to temporary folder"));
    SetControlId(direct_, kRunDirectly);
    SetControlId(extractAll_, kExtractAllFirst);
    extractAll_->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRunExeWarningDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRunExeWarningDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(name);
    layout->addWidget(direct_);
    layout->addWidget(extractAll_);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

int CRunExeWarningDlg::Choice() const { return direct_->isChecked() ? kRunDirectly : kExtractAllFirst; }

int AskRunExecutable(QWidget* parent, const QString& fileName) {
    CRunExeWarningDlg dialog(fileName, parent);
    if (dialog.exec() != QDialog::Accepted) return 0;
    return dialog.Choice();
}

}  // namespace dialogs::ui
