#pragma once
// A progress bar drawn by the program: a filled part and an empty part, a thin
// frame when visual styles are on, and a centred text (prefix, then the
// caption or the percentage) drawn in the colour that stands out against the
// part it lies over, so it stays readable as the bar crosses it.

#include <QColor>
#include <QWidget>

namespace dialogs::ui {

class CSkinProgressCtrl : public QWidget {
    Q_OBJECT

public:
    explicit CSkinProgressCtrl(QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    // The previous position. The control repaints at once only when the
    // filled width changes.
    int SetPosition(int position);
    int Position() const { return position_; }
    void SetStep(int step) { step_ = step; }
    int StepIt();

    void SetPrefix(const QString& prefix);
    // The window text: shown in place of the percentage when not empty.
    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    void SetShowText(bool show);

    void SetBarColour(const QColor& colour) { barColour_ = colour; update(); }
    void SetEmptyColour(const QColor& colour) { emptyColour_ = colour; update(); }
    void SetTextColours(const QColor& overEmpty, const QColor& overBar) {
        textOverEmpty_ = overEmpty;
        textOverBar_ = overBar;
        update();
    }

    // Filled pixels for the current position and width (0 when the range is empty).
    int FilledWidth() const;
    // The text as it is drawn.
    QString ShownText() const;

    QSize sizeHint() const override { return {200, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double Fraction() const;

    QString prefix_;
    int position_ = 0;
    int step_ = 1;
    int upper_ = 100;
    int lower_ = 0;
    QString caption_;
    bool showText_ = true;
    int lastWidth_ = -1;
    QColor barColour_;
    QColor emptyColour_;
    QColor textOverEmpty_;
    QColor textOverBar_;
};

}  // namespace dialogs::ui
