#include "window/dialogs/encoder_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "audio/encoders/mp3_encoder.h"
#include "audio/tracks/music_file_names.h"
#include "foundation/language.h"
#include "foundation/settings.h"
#include "platform/format.h"

namespace dialogs::ui {

namespace {

QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}

}  // namespace

CEncoderSettingsDlg::CEncoderSettingsDlg(int templateId, QWidget* parent) : CAppDialog(templateId, parent) {
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    checks_ = new QVBoxLayout;
    layout->addLayout(form_);
    layout->addLayout(checks_);
    layout->addStretch(1);

    const char16_t* name = u"MP3";
    if (templateId == kApeTemplate) {
        name = u"APE";
        AddCombo(1071, QStringLiteral("Compression Level:"), 1395, foundation::kSettingApeCompressionLevel,
                 {{u"Fast", 2190, 1}, {u"Normal", 2200, 2}, {u"High", 2210, 3}, {u"Extra High", 2220, 4},
                  {u"Insane", 2230, 5}},
                 0);
    } else if (templateId == kFlacTemplate) {
        name = u"FLAC";
        AddCombo(1071, QStringLiteral("Compression Level:"), 1396, foundation::kSettingFlacCompressionLevel,
                 {{u"0 (fastest, least compression)", 2160, 0}, {u"1", 0, 1}, {u"2", 0, 2}, {u"3", 0, 3},
                  {u"4", 0, 4}, {u"5 (default)", 2170, 5}, {u"6", 0, 6}, {u"7", 0, 7},
                  {u"8 (slowest, most compression)", 2180, 8}},
                 0);
    } else {
        std::vector<Item> formats;
        for (const audio::LameFormatRow& row : audio::LameFormatTable())
            formats.push_back({row.label.data(), 0, row.code});
        AddCombo(1071, QStringLiteral("Format:"), 1397, foundation::kSettingLameEncodeFormat, formats,
                 int(audio::kLameFallbackRow));
        AddCombo(1154, QStringLiteral("Mode:"), 1398, foundation::kSettingLameEncodeMode,
                 {{u"Stereo", 0, 0}, {u"Joint Stereo", 0, 1}, {u"Dual Channel", 0, 2}, {u"Mono", 0, 3}}, 0);
        AddCheck(1150, QStringLiteral("Enable ID3 V1"), foundation::kSettingLameID3V1);
        AddCheck(1399, QStringLiteral("Enable ID3 V2"), foundation::kSettingLameID3V2);
        AddCheck(1401, QStringLiteral("Copyright bit"), foundation::kSettingLameCopyright);
        AddCheck(1402, QStringLiteral("Original bit"), foundation::kSettingLameOriginal);
    }
    setWindowTitle(QString::fromStdU16String(platform::Format(foundation::GetLangString(2140, u"%s Encoder"),
                                                               std::u16string(name))));
    layout->addWidget(MakeOkCancelButtons());
    setMinimumWidth(300);
}

void CEncoderSettingsDlg::AddCombo(int labelId, const QString& label, int comboId,
                                   const foundation::SettingDefinition& setting, const std::vector<Item>& items,
                                   int fallbackRow) {
    auto* caption = new QLabel(label);
    SetControlId(caption, labelId);
    auto* combo = new QComboBox;
    SetControlId(combo, comboId);
    caption->setBuddy(combo);
    for (const Item& item : items) {
        const QString text = item.textId ? Lang(item.textId, item.text) : QString::fromUtf16(item.text);
        combo->addItem(text, QVariant::fromValue<uint32_t>(item.data));
    }
    const uint32_t stored = foundation::ReadSettingValue(setting);
    const int row = combo->findData(QVariant::fromValue<uint32_t>(stored));
    combo->setCurrentIndex(row >= 0 ? row : fallbackRow);
    form_->addRow(caption, combo);
    bound_.push_back({&setting, stored, combo, nullptr});
}

void CEncoderSettingsDlg::AddCheck(int id, const QString& text, const foundation::SettingDefinition& setting) {
    auto* check = new QCheckBox(text);
    SetControlId(check, id);
    const uint32_t stored = foundation::ReadSettingValue(setting);
    check->setChecked(stored != 0);
    checks_->addWidget(check);
    bound_.push_back({&setting, stored, nullptr, check});
}

void CEncoderSettingsDlg::accept() {
    for (const Bound& b : bound_) {
        const uint32_t now = b.combo ? b.combo->currentData().value<uint32_t>() : (b.check->isChecked() ? 1u : 0u);
        if (now != b.opened) foundation::WriteSettingValue(*b.setting, now);
    }
    CAppDialog::accept();
}

bool RunEncoderSettings(int32_t format, QWidget* parent) {
    int templateId = 0;
    switch (format) {
        case audio::kAudioMp3: templateId = CEncoderSettingsDlg::kMp3Template; break;
        case audio::kAudioApe: templateId = CEncoderSettingsDlg::kApeTemplate; break;
        case audio::kAudioFlac: templateId = CEncoderSettingsDlg::kFlacTemplate; break;
        default: return false;
    }
    CEncoderSettingsDlg dialog(templateId, parent);
    dialog.exec();
    return true;
}

}  // namespace dialogs::ui
