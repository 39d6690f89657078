#include "window/dialogs/more_labels_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "image/document/image_context.h"

namespace dialogs::ui {

namespace {
constexpr const char16_t* kCaptions[kMoreLabelCount] = {
    u"System ID:",      u"Volume Set ID:", u"Publisher ID:", u"Data Preparer ID:",
    u"Application ID:", u"Copyright ID:",  u"Abstract ID:",  u"Bibliographical ID:",
};
}  // namespace

CMoreLabelsDlg::CMoreLabelsDlg(image::ImageContext& ctx, QWidget* parent)
    : CAppDialog(kTemplateId, parent), ctx_(ctx), initial_(GetMoreLabels(ctx)) {
    setWindowTitle(QString::fromUtf16(u"More Labels"));
    auto* form = new QFormLayout;
    for (int i = 0; i < kMoreLabelCount; ++i) {
        auto* edit = new QLineEdit(QString::fromStdU16String(initial_[size_t(i)]));
        edit->setMinimumWidth(300);
        SetControlId(edit, kEditIds[size_t(i)]);
        form->addRow(QString::fromUtf16(kCaptions[i]), edit);
        edits_[size_t(i)] = edit;
    }
    QDialogButtonBox* buttons = MakeOkCancelButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CMoreLabelsDlg::accept() {
    MoreLabels labels;
    for (int i = 0; i < kMoreLabelCount; ++i) labels[size_t(i)] = edits_[size_t(i)]->text().toStdU16String();
    SetMoreLabels(ctx_, initial_, labels);
    CAppDialog::accept();
}

}  // namespace dialogs::ui
