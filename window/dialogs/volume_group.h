#pragma once
// The "Multiple volumes support" controls: split on or off (1102), the
// volume size (1104, "Autodetect" first, told by its data -1, then the
// presets; any size can be typed) and the pause after each volume (1124).
// The size box and the pause follow the split switch; choosing "Autodetect"
// asks for the pause.

#include <cstdint>

#include <QGroupBox>

class QCheckBox;
class QComboBox;

namespace dialogs::ui {

class CVolumeGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit CVolumeGroup(QWidget* parent = nullptr);

    void Load(bool split, int64_t volumeSize, bool pause);
    bool Split() const;
    bool Pause() const;
    // With split on: the size typed or chosen, or false after telling the
    // user why it cannot be used (the box then has the focus).
    bool ReadSize(int64_t& size);

    QCheckBox* SplitBox() const { return split_; }
    QComboBox* SizeBox() const { return size_; }
    QCheckBox* PauseBox() const { return pause_; }

private:
    void UpdateEnabling();

    QCheckBox* split_ = nullptr;
    QComboBox* size_ = nullptr;
    QCheckBox* pause_ = nullptr;
};

}  // namespace dialogs::ui
