#include "window/dialogs/skin_progress_ctrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {

namespace {
// The frame colour of the styled look (a soft steel blue).
const QColor kStyledFrame(0x7F, 0x9D, 0xB9);
}  // namespace

CSkinProgressCtrl::CSkinProgressCtrl(QWidget* parent) : QWidget(parent) {
    const QPalette& p = palette();
    barColour_ = p.color(QPalette::Highlight);
    emptyColour_ = p.color(QPalette::Base);
    textOverEmpty_ = p.color(QPalette::Highlight);
    textOverBar_ = p.color(QPalette::Base);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double CSkinProgressCtrl::Fraction() const {
    if (lower_ >= upper_) return 0.0;
    const double f = (double(position_) - lower_) / (double(upper_) - lower_);
    return std::clamp(f, 0.0, 1.0);
}

int CSkinProgressCtrl::FilledWidth() const {
    if (lower_ >= upper_) return 0;
    return static_cast<int>(width() * Fraction());
}

QString CSkinProgressCtrl::ShownText() const {
    if (!showText_) return {};
    const QString body = caption_.isEmpty() ? QStringLiteral("%1%").arg(static_cast<int>(Fraction() * 100)) : caption_;
    return prefix_ + body;
}

void CSkinProgressCtrl::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    lastWidth_ = -1;
    update();
}

int CSkinProgressCtrl::SetPosition(int position) {
    const int previous = position_;
    position_ = position;
    const int filled = FilledWidth();
    if (filled != lastWidth_) {
        lastWidth_ = filled;
        repaint();
    }
    return previous;
}

int CSkinProgressCtrl::StepIt() {
    int next = position_ + step_;
    if (next > upper_) next = lower_ + (next - upper_);
    return SetPosition(next);
}

void CSkinProgressCtrl::SetPrefix(const QString& prefix) {
    if (prefix == prefix_) return;
    prefix_ = prefix;
    update();
}

void CSkinProgressCtrl::SetCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    setWindowTitle(caption);
    update();
}

void CSkinProgressCtrl::SetShowText(bool show) {
    if (show == showText_) return;
    showText_ = show;
    update();
}

void CSkinProgressCtrl::resizeEvent(QResizeEvent* event) {
    lastWidth_ = -1;
    QWidget::resizeEvent(event);
}

void CSkinProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    // An empty range shows an empty bar rather than nothing at all.
    const int filled = FilledWidth();
    const QRect bar(all.left(), all.top(), filled, all.height());
    const QRect empty(all.left() + filled, all.top(), all.width() - filled, all.height());
    painter.fillRect(bar, barColour_);
    painter.fillRect(empty, emptyColour_);
    if (CAppDialog::StylesActive()) {
        painter.setPen(kStyledFrame);
        painter.drawRect(all.adjusted(0, 0, -1, -1));
    }
    const QString text = ShownText();
    if (text.isEmpty()) return;
    painter.setClipRect(bar);
    painter.setPen(textOverBar_);
    painter.drawText(all, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.setClipRect(empty);
    painter.setPen(textOverEmpty_);
    painter.drawText(all, Qt::AlignCenter | Qt::TextSingleLine, text);
}

}  // namespace dialogs::ui
