#include "window/dialogs/enter_password_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/paths.h"

namespace dialogs::ui {

CEnterPasswordDlg::CEnterPasswordDlg(const std::u16string& question, const std::u16string& archivePath,
                                     QWidget* parent)
    : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Password"));
    auto* file = new QLineEdit(QString::fromStdU16String(foundation::NameOfPath(archivePath)));
    file->setReadOnly(true);
    SetControlId(file, 1078);
    auto* questionLabel = new QLabel(QString::fromStdU16String(question));
    questionLabel->setWordWrap(true);
    SetControlId(questionLabel, 1474);
    password_ = new QLineEdit;
    password_->setEchoMode(QLineEdit::Password);
    password_->setMinimumWidth(320);
    SetControlId(password_, 1133);
    questionLabel->setBuddy(password_);

    QDialogButtonBox* buttons = MakeOkCancelButtons(&ok_);
    connect(password_, &QLineEdit::textChanged, this, [this] { ok_->setEnabled(!password_->text().isEmpty()); });
    ok_->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(file);
    layout->addWidget(questionLabel);
    layout->addWidget(password_);
    layout->addStretch(1);
    layout->addWidget(buttons);
    password_->setFocus();
}

std::u16string CEnterPasswordDlg::Password() const { return password_->text().toStdU16String(); }

}  // namespace dialogs::ui
