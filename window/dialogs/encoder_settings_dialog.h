#pragma once
// The encoder settings dialogs of the rip dialog's "Config..." button: the APE
// compression level, the MP3 format, channel mode and header bits, and the
// FLAC compression level. Each reads its settings when it opens and on OK
// writes back only the values the user changed; Cancel writes nothing.

#include <cstdint>
#include <vector>

#include "foundation/settings_values.h"
#include "window/dialogs/app_dialog.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QVBoxLayout;

namespace dialogs::ui {

class CEncoderSettingsDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kApeTemplate = 347;
    static constexpr int kFlacTemplate = 348;
    static constexpr int kMp3Template = 349;

    // One of the three templates.
    explicit CEncoderSettingsDlg(int templateId, QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    struct Item {
        const char16_t* text;
        uint32_t textId;   // 0: not translated
        uint32_t data;
    };
    // A combo of items selecting the one whose data is the stored value, else
    // the fallback row.
    void AddCombo(int labelId, const QString& label, int comboId, const foundation::SettingDefinition& setting,
                  const std::vector<Item>& items, int fallbackRow);
    void AddCheck(int id, const QString& text, const foundation::SettingDefinition& setting);

    struct Bound {
        const foundation::SettingDefinition* setting;
        uint32_t opened;   // the value read at opening
        QComboBox* combo = nullptr;
        QCheckBox* check = nullptr;
    };
    std::vector<Bound> bound_;
    QFormLayout* form_ = nullptr;
    QVBoxLayout* checks_ = nullptr;
};

// The settings dialog of an output format (3 MP3, 4 APE, 5 FLAC), modally;
// false for a format without one.
bool RunEncoderSettings(int32_t format, QWidget* parent);

}  // namespace dialogs::ui
