#pragma once
// The dialog every long operation runs under: the operation's worker routine
// runs on a thread of its own and reports through the progress record; the
// dialog shows the bar, percent, time left and elapsed, the item being worked
// on and a log of warnings, and offers Pause/Continue, Background (into the
// notification area, with the worker's priority lowered), Cancel and Copy to
// Clipboard.
//
// The dialog ends only after the worker routine has returned, so the caller
// reads a final result and may touch the worker's files at once. Finish may
// be called any number of times; a worker that never calls it is finished
// when it returns.

#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "window/models/progress_animation.h"
#include "window/models/progress_estimate.h"
#include "window/dialogs/app_dialog.h"
#include "window/models/worker_priority.h"
#include "foundation/progress_callbacks.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QMenu;
class QTimer;
class QGroupBox;

namespace dialogs::ui {

enum class ProgressKind { None, Extract, CreateArchive, Compress, Decompress, Convert, MakeImage };

// Runs on the worker thread with the dialog's record; its result is kept for
// the caller.
using ProgressWorker = std::function<int32_t(foundation::ProgressCallbacks* progress)>;

class CProgressDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 236;

    explicit CProgressDlg(QWidget* parent = nullptr);
    ~CProgressDlg() override;

    void SetWorker(ProgressWorker worker) { worker_ = std::move(worker); }
    void SetKind(ProgressKind kind) { kind_ = kind; }
    void SetTitle(const QString& title) { title_ = title; }
    void SetTargetFolder(const QString& folder) { targetFolder_ = folder; }
    // The file the operation works on; its last component is shown.
    void SetItemPath(const QString& path) { itemPath_ = path; }
    void SetContext(void* context) { callbacks_.context = context; }
    // The window hidden with the dialog while it sits in the notification area.
    void SetMainWindow(QWidget* window) { mainWindow_ = window; }

    // Shows the dialog application-modal, starts the worker and waits until
    // the operation is over (and, when the log has lines, the user pressed
    // Close). QDialog::Accepted after a finished worker, Rejected when the
    // worker could not be started.
    int Run();
    // The worker routine's result; -1 when it never ran.
    int32_t WorkerResult() const { return workerResult_.load(); }

    foundation::ProgressCallbacks& Callbacks() { return callbacks_; }
    bool Closing() const { return closing_; }
    bool InBackground() const { return inBackground_; }
    bool WorkerReturned() const { return workerReturned_; }
    int LogLineCount() const { return logLines_; }
    // Every log line followed by CR LF, as Copy to Clipboard puts it.
    QString LogText() const;
    const dialogs::ProgressAnimation& Animation() const { return animation_; }

    // The 100 ms tick (finish check and animation step).
    void TimerTick();
    // Background and back; Background does nothing without a notification area.
    void GoToBackground();
    void RestoreFromBackground();
    void TogglePause();
    void CopyLogToClipboard();
    // The tray menu's texts as they read now (tests): Restore..., Pause or Continue, Break Operation.
    QStringList TrayMenuTexts();
    QString TrayTip() const { return trayTip_; }

    // Tests: the next worker thread cannot be started.
    static void FailNextThreadStartForTests();

    // The dialog open now (one at a time), null when none.
    static CProgressDlg* Current();
    // Appends log lines; any thread.
    void QueueLogLine(std::u16string_view text);

public slots:
    void accept() override;   // Enter never closes the dialog
    void reject() override;   // Cancel, Escape, closing the window, Break Operation

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void ApplyOperationTexts();
    void StartWorker();
    void ThreadMain();
    void OnWorkerReturned();
    void EndDialog(int code);
    void ApplyView(const dialogs::ProgressView& view);
    void ApplyCurrentItem(const QString& name);
    void ApplyOptimizing(const QString& text);
    void FlushLog();
    void ShowLogArea(bool show);
    void SetTrayTipForm(int form, const QString& detail = {});
    void PostView();
    QString KindWord() const;
    QString FileName() const;
    bool Held() const;

    ProgressWorker worker_;
    ProgressKind kind_ = ProgressKind::None;
    QString title_;
    QString targetFolder_;
    QString itemPath_;
    QPointer<QWidget> mainWindow_;

    foundation::ProgressCallbacks callbacks_;
    dialogs::ProgressEstimate estimate_;
    dialogs::ProgressAnimation animation_;
    std::u16string lastItemName_;   // worker side: the name last posted

    std::thread thread_;
    std::atomic<int> workerTid_{0};
    std::atomic<int32_t> workerResult_{-1};
    std::atomic<bool> ended_{false};
    bool started_ = false;
    bool workerReturned_ = false;
    bool closing_ = false;
    bool inBackground_ = false;
    dialogs::SavedThreadPriority savedPriority_;

    // Log lines queued from any thread, shown in one go.
    std::mutex logLock_;
    std::vector<QString> pendingLog_;
    bool logFlushPosted_ = false;
    int logLines_ = 0;
    bool logShown_ = true;

    QLabel* animationLabel_ = nullptr;
    QLabel* operationLabel_ = nullptr;
    QLabel* operationText_ = nullptr;
    QLabel* itemLabel_ = nullptr;
    QLabel* itemText_ = nullptr;
    QLabel* timeLeft_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* percent_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* background_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QGroupBox* logGroup_ = nullptr;
    QListWidget* log_ = nullptr;
    QPushButton* copy_ = nullptr;
    QTimer* timer_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QString trayTip_;
    int statusShift_ = 0;
    int lastBarMaximum_ = -1;
};

}  // namespace dialogs::ui
