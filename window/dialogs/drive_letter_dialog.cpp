#include "window/dialogs/drive_letter_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "platform/format.h"
#include "vdrive/drive_settings.h"

namespace dialogs::ui {
namespace {

QString Text(uint32_t id, std::u16string_view english) {
    return QString::fromStdU16String(foundation::GetLangString(id, english));
}

constexpr int kLastDriveIndex = 22;

}  // namespace

CDriveLetterDlg::CDriveLetterDlg(uint32_t driveIndex, std::u16string letters, QWidget* parent, int templateId)
    : CAppDialog(templateId, parent), driveIndex_(driveIndex), letters_(std::move(letters)) {
    setWindowTitle(Text(30910, u"Edit Drive Letter"));
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(QString::fromStdU16String(platform::Format(
                                 foundation::GetLangString(30400, u"Edit the drive letter assignment for drive %d:"),
                                 int(driveIndex))),
                             this);
    SetControlId(about, 1203);
    auto* prompt = new QLabel(Text(30920, u"New drive letter assignment:"), this);
    SetControlId(prompt, 1467);
    combo_ = new QComboBox(this);
    // The file manager's dialog numbers its combo 1031.
    SetControlId(combo_, templateId == kTemplateId ? kCombo : 1031);
    combo_->addItem(Text(30480, u"<Auto>"));
    for (char16_t l = u'D'; l <= u'Z'; ++l) combo_->addItem(QString::fromStdU16String(std::u16string{l, u':'}));
    combo_->setCurrentIndex(driveIndex < letters_.size() ? vdrive::DriveLetterItem(letters_[driveIndex]) : 0);
    layout->addWidget(about);
    layout->addWidget(prompt);
    layout->addWidget(combo_);
    layout->addWidget(MakeOkCancelButtons());
}

void CDriveLetterDlg::accept() {
    const int item = combo_->currentIndex();
    const int other = vdrive::ConflictingDrive(letters_, driveIndex_, item);
    if (other >= 0) {
        foundation::AppMessageBox(vdrive::DriveLetterConflictText(vdrive::DriveLetterOfItem(item), other),
                                  foundation::kMbIconStop);
        return;
    }
    if (driveIndex_ < letters_.size()) letters_[driveIndex_] = vdrive::DriveLetterOfItem(item);
    CAppDialog::accept();
}

QTreeWidget* MakeDriveLetterList(int controlId, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    CAppDialog::SetControlId(list, controlId);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setHeaderLabels({Text(30490, u"Drive"), Text(30500, u"Letter")});
    list->header()->setStretchLastSection(true);
    list->setColumnWidth(0, 140);
    return list;
}

void FillDriveLetterList(QTreeWidget* list, std::u16string_view letters) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    int keep = selected.size() == 1 ? list->indexOfTopLevelItem(selected.front()) : 0;
    if (keep < 0 || keep > kLastDriveIndex) keep = 0;
    list->clear();
    const std::u16string drive = foundation::GetLangString(30490, u"Drive");
    for (int i = 0; i <= kLastDriveIndex; ++i) {
        const char16_t letter = static_cast<size_t>(i) < letters.size() ? letters[static_cast<size_t>(i)] : u'A';
        auto* row = new QTreeWidgetItem(list);
        row->setText(0, QString::fromStdU16String(platform::Format(u"%s %d", drive, i)));
        row->setText(1, QString::fromStdU16String(vdrive::DriveLetterText(letter)));
    }
    if (QTreeWidgetItem* row = list->topLevelItem(keep)) {
        row->setSelected(true);
        list->setCurrentItem(row);
    }
}

bool EditSelectedDriveLetter(QWidget* parent, QTreeWidget* list, std::u16string& letters, int templateId) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.size() != 1) return false;
    const int index = list->indexOfTopLevelItem(selected.front());
    if (index < 0 || index > kLastDriveIndex) return false;
    CDriveLetterDlg dlg(static_cast<uint32_t>(index), letters, parent, templateId);
    if (dlg.exec() != QDialog::Accepted) return false;
    letters = dlg.Letters();
    FillDriveLetterList(list, letters);
    return true;
}

}  // namespace dialogs::ui
