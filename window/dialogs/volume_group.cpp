#include "window/dialogs/volume_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "window/dialogs/app_dialog.h"
#include "window/models/volume_size.h"

namespace dialogs::ui {
namespace {

QString Plain(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

}  // namespace

CVolumeGroup::CVolumeGroup(QWidget* parent) : QGroupBox(Plain(u"Multiple volumes support: "), parent) {
    CAppDialog::SetControlId(this, 1493);
    auto* layout = new QVBoxLayout(this);
    split_ = new QCheckBox(Plain(u"Split to multiple volumes"), this);
    CAppDialog::SetControlId(split_, 1102);
    auto* label = new QLabel(Plain(u"Volume size(bytes, K means 1024, M means 1024K, G means 1024M):"), this);
    CAppDialog::SetControlId(label, 1478);
    size_ = new QComboBox(this);
    size_->setEditable(true);
    size_->setInsertPolicy(QComboBox::NoInsert);
    // "Autodetect" leads the list and is told by its data, not its
    // (translated) text.
    size_->addItem(QString::fromStdU16String(AutodetectText()), QVariant::fromValue<qlonglong>(kAutodetectVolumeSize));
    for (const VolumeSizePreset& preset : VolumeSizePresets())
        size_->addItem(QString::fromUtf16(preset.text), QVariant::fromValue<qlonglong>(preset.bytes));
    CAppDialog::SetControlId(size_, 1104);
    label->setBuddy(size_);
    pause_ = new QCheckBox(Plain(u"Pause after each volume"), this);
    CAppDialog::SetControlId(pause_, 1124);
    layout->addWidget(split_);
    layout->addWidget(label);
    layout->addWidget(size_);
    layout->addWidget(pause_);
    connect(split_, &QCheckBox::clicked, this, [this] { UpdateEnabling(); });
    connect(size_, &QComboBox::activated, this, [this](int index) {
        if (size_->itemData(index).toLongLong() == kAutodetectVolumeSize) pause_->setChecked(true);
    });
    UpdateEnabling();
}

void CVolumeGroup::Load(bool split, int64_t volumeSize, bool pause) {
    split_->setChecked(split);
    pause_->setChecked(pause);
    if (volumeSize == kAutodetectVolumeSize) {
        size_->setCurrentIndex(0);
    } else {
        const QString shown = QString::fromStdU16String(ShowVolumeSize(volumeSize));
        const int preset = size_->findText(shown);
        if (preset >= 0) size_->setCurrentIndex(preset);
        else size_->setEditText(shown);
    }
    UpdateEnabling();
}

bool CVolumeGroup::Split() const { return split_->isChecked(); }
bool CVolumeGroup::Pause() const { return pause_->isChecked(); }

bool CVolumeGroup::ReadSize(int64_t& size) {
    const VolumeSizeCheck check = ReadVolumeSizeText(size_->currentText().toStdU16String(), size);
    if (check == VolumeSizeCheck::Ok) return true;
    foundation::AppMessageBox(VolumeSizeMessage(check), foundation::kMbOk | foundation::kMbIconInformation);
    size_->setFocus();
    return false;
}

void CVolumeGroup::UpdateEnabling() {
    size_->setEnabled(split_->isChecked());
    pause_->setEnabled(split_->isChecked());
}

}  // namespace dialogs::ui
