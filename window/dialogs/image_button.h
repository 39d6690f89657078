#pragma once
// The program's push button with an icon beside its caption: the disabled
// look shows a grey copy of the icon, and in toggle mode the button stays
// pressed while checked, each click (a release inside the button) flipping
// it once; the second press of a double click is a click of its own.

#include <QIcon>
#include <QPushButton>

namespace dialogs::ui {

class CImageButton : public QPushButton {
    Q_OBJECT

public:
    explicit CImageButton(const QString& text = {}, QWidget* parent = nullptr);

    // The icon and its grey copy for the disabled state.
    void SetIconImage(const QIcon& icon);
    void SetToggleMode(bool on) { setCheckable(on); }
    bool ToggleMode() const { return isCheckable(); }
};

// The grey copy of an icon's pixmap at the given size (alpha kept).
QPixmap GreyIconPixmap(const QIcon& icon, const QSize& size);

}  // namespace dialogs::ui
