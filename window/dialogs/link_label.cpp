#include "window/dialogs/link_label.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "foundation/language.h"
#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {

namespace {
constexpr int kInstallLinkId = 1459;
constexpr int kSmallTextId = 1461;
constexpr int kBlinkMilliseconds = 700;
}  // namespace

CLinkLabel::CLinkLabel(int controlId, const QString& caption, QWidget* parent)
    : QLabel(caption, parent), controlId_(controlId) {
    CAppDialog::SetControlId(this, controlId);
    // The look is fixed by the id; the interface font's family stands in for
    // the fixed face the texts were laid out with.
    QFont face = font();
    if (controlId == kInstallLinkId) {
        face.setPixelSize(13);
        face.setWeight(QFont::Bold);
        face.setUnderline(true);
        normal_ = QColor(0, 0, 0xFF);
        setText(QString::fromStdU16String(
            foundation::GetLangString(30530, u"Install Quendravine Virtual Drive(Freeware)...")));
    } else if (controlId == kSmallTextId) {
        face.setPixelSize(14);
    } else {
        face.setPixelSize(16);
        face.setWeight(QFont::Medium);
        face.setUnderline(false);
    }
    setFont(face);
    setWordWrap(true);
    setMouseTracking(true);
}

void CLinkLabel::SetTextColour(const QColor& colour) {
    normal_ = colour;
    update();
}

void CLinkLabel::SetBlinkColours(const QColor& first, const QColor& second) {
    blink1_ = first;
    blink2_ = second;
}

void CLinkLabel::SetBlinking(bool on) {
    blinking_ = on;
    if (!on) {
        if (timerId_) killTimer(timerId_);
        timerId_ = 0;
        blinkState_ = 0;
    }
    update();
}

bool CLinkLabel::HitTest(const QPoint& globalPoint) const {
    return textRect_.contains(mapFromGlobal(globalPoint));
}

void CLinkLabel::paintEvent(QPaintEvent*) {
    if (blinking_ && timerId_ == 0) timerId_ = startTimer(kBlinkMilliseconds);
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(blinkState_ == 1 && blink1_.isValid() ? blink1_ : normal_);
    int flags = Qt::TextWordWrap | Qt::AlignTop;
    if (alignment() & Qt::AlignHCenter) flags |= Qt::AlignHCenter;
    else if (alignment() & Qt::AlignRight) flags |= Qt::AlignRight;
    else flags |= Qt::AlignLeft;
    const QRect area = contentsRect();
    const QRect measured = painter.boundingRect(area, flags, text());
    painter.drawText(area, flags, text());
    // A little margin round the text makes the link easier to hit.
    QRect hit = measured.adjusted(-5, -2, 5, 2);
    if (hit.left() < 0) hit.setLeft(0);
    if (hit.top() < 0) hit.setTop(0);
    textRect_ = hit;
}

void CLinkLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QLabel::timerEvent(event);
        return;
    }
    if (!blinking_) return;
    blinkState_ = blinkState_ == 0 ? 1 : 0;
    update();
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    const bool over = textRect_.contains(event->position().toPoint());
    if (over) setCursor(Qt::PointingHandCursor);
    else unsetCursor();
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && textRect_.contains(event->position().toPoint())) {
        setCursor(Qt::PointingHandCursor);
        emit Clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

}  // namespace dialogs::ui
