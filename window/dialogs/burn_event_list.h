#pragma once
// The burn dialog's event list: the burn log's rows, each with its time and a
// plain or warning look, at most 300 of them, and "Copy to Clipboard" on a
// right click. The burn log calls it from the burn, read-ahead and window
// threads under its own lock: each call only posts a copy of its text to the
// window thread and never waits.

#include <QTreeWidget>
#include <string_view>

#include "optical/burn/burn_log.h"

class QProgressBar;

namespace dialogs::ui {

class CBurnEventList final : public QTreeWidget, public optical::IBurnLogServices {
    Q_OBJECT

public:
    static constexpr int kMaxRows = 300;
    static constexpr int kCopyCommand = 33292;

    explicit CBurnEventList(QWidget* parent = nullptr);
    // The bar that shows the job's percentage (may be null).
    void SetProgressBar(QProgressBar* bar) { bar_ = bar; }

    // IBurnLogServices: any thread.
    void AddEvent(bool warning, std::u16string_view text) override;
    void ReplaceLastEvent(bool warning, std::u16string_view text) override;
    void SetProgress(int percent) override;

    // Every row as "[time] text" followed by CR LF.
    QString EventsText() const;
    void CopyEventsToClipboard() const;

private:
    void AddRow(bool warning, const QString& time, const QString& text);
    void SetRow(QTreeWidgetItem* item, bool warning, const QString& time, const QString& text);

    QProgressBar* bar_ = nullptr;
};

}  // namespace dialogs::ui
