#pragma once
// The base of buttons the program draws itself (the image buttons). Whatever
// kind the button started as, it keeps that kind's keyboard behaviour: a
// default push button still answers Enter, radio buttons still move as a
// group, a group box is still passed over by Tab.

#include <QPushButton>

namespace dialogs::ui {

class COwnerDrawButton : public QPushButton {
    Q_OBJECT

public:
    // Button kinds, by their classic style numbers.
    static constexpr int kPushButton = 0;
    static constexpr int kDefaultPushButton = 1;
    static constexpr int kRadioButton = 4;
    static constexpr int kGroupBox = 7;
    static constexpr int kAutoRadioButton = 9;
    static constexpr int kOwnerDraw = 11;
    static constexpr int kUnknownType = 15;

    // Dialog codes: how the dialog's keyboard handling treats the button.
    static constexpr int kCodeDefaultPush = 0x0010;
    static constexpr int kCodeUndefinedPush = 0x0020;
    static constexpr int kCodeRadio = 0x0040;
    static constexpr int kCodeStatic = 0x0100;

    explicit COwnerDrawButton(QWidget* parent = nullptr);

    // Takes over a button of the given style (its low four bits are the kind)
    // and makes it owner-drawn.
    void Subclass(int style);
    // A push kind (0 or 1) sets whether the button is the default one.
    void SetButtonStyle(int style);

    int GetButtonType() const { return initialType_; }
    bool IsDefault() const { return default_; }
    bool IsPushButton() const { return pushButton_; }
    int DialogCode() const;

private:
    bool pushButton_ = false;
    bool default_ = false;
    int initialType_ = kUnknownType;
};

}  // namespace dialogs::ui
