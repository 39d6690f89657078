#include "window/dialogs/missing_volumes_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/language.h"

namespace dialogs::ui {
namespace {

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

}  // namespace

CMissingVolumesDlg::CMissingVolumesDlg(const std::u16string& folder, const std::vector<std::u16string>& missing,
                                       bool maySkip, QWidget* parent)
    : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Missing Volumes"));
    auto* advice = new QLabel(Lang(30680, u"Please put all volumes under the same folder before edit, convert, or "
                                          u"mount a multi-volume archive, and make sure no volume is opened by "
                                          u"other program."));
    advice->setWordWrap(true);
    SetControlId(advice, 1474);

    auto* pathText = new QLabel(Lang(30690, u"Volume path:"));
    SetControlId(pathText, 1475);
    folder_ = new QLineEdit(QString::fromStdU16String(folder));
    folder_->setMinimumWidth(380);
    SetControlId(folder_, 1128);
    auto* browse = new QPushButton(QStringLiteral("..."));
    SetControlId(browse, 1001);
    connect(browse, &QPushButton::clicked, this, &CMissingVolumesDlg::Browse);

    auto* listText = new QLabel(Lang(30700, u"Volumes missed or can not be opened:"));
    SetControlId(listText, 1476);
    list_ = new QListWidget;
    for (const std::u16string& name : missing) list_->addItem(QString::fromStdU16String(name));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    SetControlId(list_, 1138);

    skip_ = new QCheckBox(Lang(30710, u"Skip unaccessible volumes"));
    skip_->setChecked(false);
    skip_->setEnabled(maySkip);
    SetControlId(skip_, 1139);

    auto* row = new QGridLayout;
    row->addWidget(pathText, 0, 0);
    row->addWidget(folder_, 0, 1);
    row->addWidget(browse, 0, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(advice);
    layout->addLayout(row);
    layout->addWidget(listText);
    layout->addWidget(list_, 1);
    layout->addWidget(skip_);
    layout->addWidget(MakeOkCancelButtons());
}

std::u16string CMissingVolumesDlg::Folder() const { return folder_->text().trimmed().toStdU16String(); }

bool CMissingVolumesDlg::Skip() const { return skip_->isEnabled() && skip_->isChecked(); }

void CMissingVolumesDlg::Browse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QString(), folder_->text());
    if (!chosen.isEmpty()) folder_->setText(chosen);
}

}  // namespace dialogs::ui
