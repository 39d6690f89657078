#include "window/dialogs/owner_draw_button.h"

namespace dialogs::ui {

COwnerDrawButton::COwnerDrawButton(QWidget* parent) : QPushButton(parent) {}

void COwnerDrawButton::Subclass(int style) {
    initialType_ = style & 0x0F;
    if (initialType_ == kDefaultPushButton) {
        pushButton_ = true;
        default_ = true;
        initialType_ = kPushButton;
    } else if (initialType_ == kPushButton) {
        pushButton_ = true;
    }
    setDefault(default_);
    setAutoDefault(pushButton_);
    if (initialType_ == kGroupBox) setFocusPolicy(Qt::NoFocus);
    update();
}

void COwnerDrawButton::SetButtonStyle(int style) {
    const int kind = style & 0x0F;
    if (kind == kPushButton || kind == kDefaultPushButton) {
        default_ = kind == kDefaultPushButton;
        setDefault(default_);
    }
    update();
}

int COwnerDrawButton::DialogCode() const {
    int code = 0;
    if (initialType_ == kRadioButton || initialType_ == kAutoRadioButton) code |= kCodeRadio;
    if (initialType_ == kGroupBox) return kCodeStatic;
    if (pushButton_) code |= default_ ? kCodeDefaultPush : kCodeUndefinedPush;
    return code;
}

}  // namespace dialogs::ui
