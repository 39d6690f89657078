#include "window/dialogs/file_exists_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/models/file_exists_sides.h"

namespace dialogs::ui {
namespace {

QLineEdit* Field(const std::u16string& text, int id) {
    auto* edit = new QLineEdit(QString::fromStdU16String(text));
    edit->setReadOnly(true);
    edit->setMinimumWidth(420);
    edit->setCursorPosition(0);
    CAppDialog::SetControlId(edit, id);
    return edit;
}

}  // namespace

CFileExistsDlg::CFileExistsDlg(const std::u16string& question, const foundation::FileExistsSubject& subject,
                               QWidget* parent)
    : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QString::fromStdU16String(u"Confirm File Replace"));
    const dialogs::FileExistsSides sides = dialogs::BuildFileExistsSides(subject);

    auto* questionLabel = new QLabel(QString::fromStdU16String(question));
    questionLabel->setWordWrap(true);
    SetControlId(questionLabel, 1464);

    auto* grid = new QGridLayout;
    int row = 0;
    auto addSide = [&](const QString& title, const dialogs::FileSide& side, int nameId, int sizeId, int timeId) {
        grid->addWidget(new QLabel(title), row++, 0, 1, 2);
        grid->addWidget(Field(side.name, nameId), row++, 0, 1, 2);
        grid->addWidget(new QLabel(QString::fromStdU16String(u"Size:")), row, 0);
        grid->addWidget(Field(side.size, sizeId), row++, 1);
        grid->addWidget(new QLabel(QString::fromStdU16String(u"Modified:")), row, 0);
        grid->addWidget(Field(side.time, timeId), row++, 1);
    };
    addSide(QString::fromStdU16String(u"File exists:"), sides.existing, 1153, 1028, 1186);
    addSide(QString::fromStdU16String(u"Replace with:"), sides.replacing, 1154, 1187, 1188);

    struct ButtonRow {
        int id;
        const char16_t* text;
        int32_t answer;
    };
    static constexpr ButtonRow kButtons[] = {
        {1, u"&Yes", foundation::overwrite_answer::kYes},
        {7, u"&No", foundation::overwrite_answer::kNo},
        {1146, u"Yes to &All", foundation::overwrite_answer::kYesToAll},
        {1433, u"No &to All", foundation::overwrite_answer::kNoToAll},
        {2, u"Cancel", foundation::overwrite_answer::kCancel},
    };
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (const ButtonRow& b : kButtons) {
        auto* button = new QPushButton(QString::fromStdU16String(b.text));
        SetControlId(button, b.id);
        button->setAutoDefault(false);
        if (b.id == 1) button->setDefault(true);
        const int32_t answer = b.answer;
        connect(button, &QPushButton::clicked, this, [this, answer] { Finish(answer); });
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(questionLabel);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

void CFileExistsDlg::Finish(int32_t answer) {
    answer_ = answer;
    done(answer == foundation::overwrite_answer::kCancel ? QDialog::Rejected : QDialog::Accepted);
}

void CFileExistsDlg::reject() {
    answer_ = foundation::overwrite_answer::kCancel;
    CAppDialog::reject();
}

}  // namespace dialogs::ui
