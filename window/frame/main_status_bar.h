#pragma once
// The frame's status bar: a lock pane that tells whether the document has a
// password and opens the password menu, the count and size of the shown
// folder's objects, and of the selection. Bursts of list changes are counted
// once, a short moment after the first.

#include <QStatusBar>
#include <QString>

#include <cstdint>

namespace app::ui {

class CMainFrame;

class CMainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit CMainStatusBar(CMainFrame* frame);

    // Starts the 10 ms recount unless one waits already.
    void StartTimer();
    // Both texts again, then a repaint.
    void UpdateCounts();

    const QString& TotalsText() const { return totals_; }
    const QString& SelectionText() const { return selection_; }
    bool TimerRunning() const { return timerId_ != 0; }
    int Recounts() const { return recounts_; }
    static constexpr int kLockPaneWidth = 32;

signals:
    // The lock pane was clicked: the password menu opens there.
    void LockPaneClicked(QPoint bottomLeft);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRect LockPane() const;

    CMainFrame* frame_;
    QString totals_;
    QString selection_;
    int timerId_ = 0;
    int recounts_ = 0;
    bool counting_ = false;
};

// The texts of a pane: "Total %d objects," or "Selected %d objects," (by the
// language text id) with the size in KB or MB and the exact byte count.
QString StatusCountText(uint32_t textId, std::u16string_view fallback, int64_t count, uint64_t bytes);

}  // namespace app::ui
