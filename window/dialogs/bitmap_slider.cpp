#include "window/dialogs/bitmap_slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace dialogs::ui {

CBitmapSlider::CBitmapSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
    setTickPosition(QSlider::NoTicks);
}

int CBitmapSlider::ValueAt(const QPoint& point) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect channel = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const bool vertical = orientation() == Qt::Vertical;
    const int start = vertical ? channel.top() : channel.left();
    const int end = vertical ? channel.bottom() + 1 : channel.right() + 1;
    if (end <= start) return value();
    const double f = (double((vertical ? point.y() : point.x()) - start)) / double(end - start);
    const double raw = minimum() + 0.5 + f * (double(maximum()) - minimum());
    const double clamped = std::clamp(raw, double(minimum()), double(maximum()));
    return static_cast<int>(std::trunc(clamped));
}

bool CBitmapSlider::Follow(const QPoint& point) {
    const int next = ValueAt(point);
    if (next == value()) return false;
    setValue(next);
    return true;
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    dragging_ = true;
    moved_ = false;
    setSliderDown(true);
    if (Follow(event->position().toPoint())) {
        moved_ = true;
        emit Scrolled(kThumbTrack, value());
    }
    event->accept();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    if (Follow(event->position().toPoint())) {
        moved_ = true;
        emit Scrolled(kThumbTrack, value());
    }
    event->accept();
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_) {
        QSlider::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    setSliderDown(false);
    // A press that moved the thumb ends its track on release too, so the
    // owner always hears the end of a change it saw begin.
    if (Follow(event->position().toPoint())) moved_ = true;
    if (moved_) {
        emit Scrolled(kEndTrack, value());
        emit Scrolled(kThumbPosition, value());
        moved_ = false;
    }
    event->accept();
}

}  // namespace dialogs::ui
