#include "window/dialogs/drive_settings_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "foundation/language.h"
#include "foundation/window_faces.h"
#include "platform/format.h"
#include "window/dialogs/app_dialog.h"
#include "window/dialogs/drive_letter_dialog.h"
#include "window/dialogs/image_button.h"

namespace dialogs::ui {
namespace {

QString Text(uint32_t id, std::u16string_view english) {
    return QString::fromStdU16String(foundation::GetLangString(id, english));
}

}  // namespace

CDriveSettingsForm::CDriveSettingsForm(const DriveSettingsFormIds& ids, QWidget* parent)
    : QWidget(parent), ids_(ids) {
    auto* layout = new QVBoxLayout(this);

    auto* options = new QGroupBox(Text(30940, u"Virtual Drive Options:"), this);
    auto* optionRows = new QGridLayout(options);
    autostart_ = new QCheckBox(Text(30990, u"Autostart"), options);
    automount_ = new QCheckBox(Text(31000, u"Automount"), options);
    CAppDialog::SetControlId(autostart_, ids.autostart);
    CAppDialog::SetControlId(automount_, ids.automount);
    optionRows->addWidget(autostart_, 0, 0);
    optionRows->addWidget(automount_, 0, 1);
    optionRows->addWidget(new QLabel(Text(30980, u"Number of Virtual Drives:"), options), 1, 0);
    count_ = new QComboBox(options);
    CAppDialog::SetControlId(count_, ids.count);
    count_->addItem(Text(30510, u"<Disabled>"));
    const std::u16string drives = foundation::GetLangString(30250, u"%d Drives");
    for (int n = 1; n <= int(vdrive::kMaxDriveSetting); ++n)
        count_->addItem(QString::fromStdU16String(platform::Format(drives, n)));
    optionRows->addWidget(count_, 1, 1);
    layout->addWidget(options);

    auto* letters = new QGroupBox(Text(30950, u"Virtual Drive Letter Assignment:"), this);
    auto* letterRows = new QHBoxLayout(letters);
    list_ = MakeDriveLetterList(ids.list, letters);
    list_->setMinimumHeight(140);
    letterRows->addWidget(list_, 1);
    edit_ = new QPushButton(Text(31010, u"Edit..."), letters);
    CAppDialog::SetControlId(edit_, ids.edit);
    letterRows->addWidget(edit_, 0, Qt::AlignTop);
    layout->addWidget(letters);

    auto* temp = new QGroupBox(Text(30960, u"Temporary Folder:"), this);
    auto* tempRows = new QGridLayout(temp);
    tempFolder_ = new QLineEdit(temp);
    CAppDialog::SetControlId(tempFolder_, ids.tempFolder);
    auto* browse = new CImageButton({}, temp);
    browse->SetIconImage(style()->standardIcon(QStyle::SP_DirOpenIcon));
    browse_ = browse;
    CAppDialog::SetControlId(browse_, ids.browse);
    tempRows->addWidget(tempFolder_, 0, 0);
    tempRows->addWidget(browse_, 0, 1);
    tempRows->addWidget(new QLabel(Text(31020, u"Note: Leave blank if using system temporary folder."), temp), 1, 0,
                        1, 2);
    layout->addWidget(temp);

    connect(edit_, &QPushButton::clicked, this, &CDriveSettingsForm::EditLetter);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { EditLetter(); });
    connect(browse_, &QPushButton::clicked, this, &CDriveSettingsForm::BrowseTempFolder);
}

void CDriveSettingsForm::Load(const vdrive::DriveSettings& settings) {
    autostart_->setChecked(settings.autostart);
    automount_->setChecked(settings.automount);
    count_->setCurrentIndex(int(std::min(settings.driveCount, vdrive::kMaxDriveSetting)));
    letters_ = settings.letters;
    FillDriveLetterList(list_, letters_);
    tempFolder_->setText(QString::fromStdU16String(settings.tempFolder));
}

vdrive::DriveSettings CDriveSettingsForm::Read() const {
    vdrive::DriveSettings settings;
    settings.autostart = autostart_->isChecked();
    settings.automount = automount_->isChecked();
    settings.driveCount = static_cast<uint32_t>(std::max(0, count_->currentIndex()));
    settings.letters = letters_;
    settings.tempFolder = tempFolder_->text().toStdU16String();
    return settings;
}

void CDriveSettingsForm::SetEditable(bool editable) {
    for (QWidget* control : std::initializer_list<QWidget*>{autostart_, automount_, count_, edit_, tempFolder_, browse_})
        control->setEnabled(editable);
}

void CDriveSettingsForm::EditLetter() {
    if (!edit_->isEnabled()) return;
    EditSelectedDriveLetter(window(), list_, letters_, ids_.letterTemplate);
}

void CDriveSettingsForm::BrowseTempFolder() {
    // The Windows start "C:\" for an empty folder is the home folder here.
    std::u16string start = tempFolder_->text().toStdU16String();
    if (start.empty()) start = QDir::homePath().toStdU16String();
    std::u16string chosen;
    if (foundation::BrowseForFolder(window(), u"", start, chosen) == 0)
        tempFolder_->setText(QString::fromStdU16String(chosen));
}

}  // namespace dialogs::ui
