#pragma once
// A slider whose thumb follows the mouse: a click jumps straight to the
// clicked place instead of paging, and the owner hears the classic scroll
// codes (thumb track while dragging, end track and thumb position on
// release), so a seek bar can wait for the release before it seeks.

#include <QSlider>

namespace dialogs::ui {

class CBitmapSlider : public QSlider {
    Q_OBJECT

public:
    // The scroll codes sent with Scrolled.
    static constexpr int kThumbPosition = 4;
    static constexpr int kThumbTrack = 5;
    static constexpr int kEndTrack = 8;

    explicit CBitmapSlider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    // The value a point in the slider's coordinates stands for: the place along
    // the channel, rounded to the nearest step, within the range. A channel
    // without extent keeps the current value.
    int ValueAt(const QPoint& point) const;
    bool Dragging() const { return dragging_; }

signals:
    void Scrolled(int code, int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool Follow(const QPoint& point);

    bool dragging_ = false;
    bool moved_ = false;
};

}  // namespace dialogs::ui
