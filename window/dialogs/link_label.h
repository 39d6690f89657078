#pragma once
// A static text with its own font and colour, optionally blinking, that knows
// the rectangle its text covers: the About dialog and the option pages make
// links of it (hand cursor and click over that rectangle only).

#include <QColor>
#include <QLabel>
#include <QRect>

namespace dialogs::ui {

class CLinkLabel : public QLabel {
    Q_OBJECT

public:
    // The control id chooses the look: 1459 the virtual-drive install link
    // (bold, underlined, blue, its own text), 1461 a slightly smaller plain
    // text, anything else the ordinary link text.
    explicit CLinkLabel(int controlId, const QString& caption = {}, QWidget* parent = nullptr);

    void SetTextColour(const QColor& colour);
    QColor TextColour() const { return normal_; }
    void SetBlinkColours(const QColor& first, const QColor& second);
    void SetBlinking(bool on);
    bool Blinking() const { return blinking_; }
    int BlinkState() const { return blinkState_; }

    // Whether a point in global (screen) coordinates lies over the text, as
    // it was last drawn.
    bool HitTest(const QPoint& globalPoint) const;
    QRect TextRect() const { return textRect_; }

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int controlId_;
    QColor normal_{Qt::black};
    QColor blink1_;
    QColor blink2_;
    int timerId_ = 0;
    bool blinking_ = false;
    int blinkState_ = 0;
    QRect textRect_;
};

}  // namespace dialogs::ui
