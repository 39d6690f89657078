#include "window/dialogs/password_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "foundation/messages.h"

namespace dialogs::ui {

namespace {
QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}
}  // namespace

CPasswordDlg::CPasswordDlg(bool newPassword, QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Password"));
    auto* firstLabel = new QLabel(newPassword ? Lang(890, u"Please enter your new password:")
                                              : Lang(870, u"Please enter your password:"));
    auto* secondLabel = new QLabel(newPassword ? Lang(900, u"Please reenter your new password:")
                                               : Lang(880, u"Please reenter your password:"));
    SetControlId(firstLabel, 1490);
    SetControlId(secondLabel, 1154);
    first_ = new QLineEdit;
    second_ = new QLineEdit;
    for (QLineEdit* edit : {first_, second_}) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setMinimumWidth(300);
        connect(edit, &QLineEdit::textChanged, this, &CPasswordDlg::UpdateOk);
    }
    SetControlId(first_, 1134);
    SetControlId(second_, 1135);
    firstLabel->setBuddy(first_);
    secondLabel->setBuddy(second_);

    QDialogButtonBox* buttons = MakeOkCancelButtons(&ok_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(firstLabel);
    layout->addWidget(first_);
    layout->addWidget(secondLabel);
    layout->addWidget(second_);
    layout->addStretch(1);
    layout->addWidget(buttons);
    UpdateOk();
}

void CPasswordDlg::UpdateOk() {
    ok_->setEnabled(!first_->text().isEmpty() && first_->text() == second_->text());
}

void CPasswordDlg::accept() {
    if (first_->text().isEmpty() || second_->text().isEmpty()) return;
    if (first_->text() != second_->text()) {
        foundation::AppMessageBox(foundation::GetLangString(910, u"The two passwords do not match."),
                                  foundation::kMbOk | foundation::kMbIconInformation);
        return;
    }
    if (!CheckPassword(first_->text().toStdU16String(), password_, false, maxLength_)) {
        first_->clear();
        second_->clear();
        first_->setFocus();
        return;
    }
    CAppDialog::accept();
}

}  // namespace dialogs::ui
