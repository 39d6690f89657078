#include "window/dialogs/progress_prompts.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "window/dialogs/progress_dialog.h"
#include "foundation/operation_status.h"
#include "foundation/prompt_services.h"
#include "foundation/prompts.h"

namespace dialogs::ui {

namespace {

// A question waiting for the window thread: how to ask it there, and how to
// answer it with cancel when the dialog closes before it was asked.
struct PendingAsk {
    std::function<void()> ask;
    std::function<void()> cancel;
};

std::mutex g_lock;
CProgressDlg* g_dialog = nullptr;
bool g_takingPrompts = false;
std::vector<std::shared_ptr<PendingAsk>> g_queued;
std::atomic<int> g_showing{0};

// Lives as long as the application, so a queued question always has a
// receiver even when the dialog is gone by the time it runs.
QObject* Relay() {
    static QPointer<QObject> relay;
    if (!relay) relay = new QObject(QCoreApplication::instance());
    return relay;
}

bool OnWindowThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void AskOnWindowThread(const std::shared_ptr<PendingAsk>& pending) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto at = std::find(g_queued.begin(), g_queued.end(), pending);
        if (at == g_queued.end()) return;   // answered with cancel when the dialog closed
        g_queued.erase(at);
    }
    ++g_showing;
    pending->ask();
    --g_showing;
}

// Queues the question; false when no dialog takes questions.
bool QueueAsk(const std::shared_ptr<PendingAsk>& pending) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_dialog || !g_takingPrompts) return false;
    QObject* relay = Relay();
    g_queued.push_back(pending);
    if (!QMetaObject::invokeMethod(relay, [pending] { AskOnWindowThread(pending); }, Qt::QueuedConnection)) {
        g_queued.pop_back();
        return false;
    }
    return true;
}

// A box asked from a worker: its answer, handed over under a lock.
struct BoxAnswer {
    std::mutex lock;
    std::condition_variable signal;
    bool done = false;
    int answer = 0;
    void Set(int value) {
        {
            std::lock_guard<std::mutex> guard(lock);
            answer = value;
            done = true;
        }
        signal.notify_all();
    }
    int Wait() {
        std::unique_lock<std::mutex> guard(lock);
        signal.wait(guard, [this] { return done; });
        return answer;
    }
};

}  // namespace

bool ProgressDialogOpen() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_dialog != nullptr && !OnWindowThread();
}

bool PostUserPromptToWindow(std::shared_ptr<foundation::UserPromptRequest> request) {
    if (!request) return false;
    auto pending = std::make_shared<PendingAsk>();
    pending->ask = [request] { foundation::DispatchUserPrompt(*request); };
    pending->cancel = [request] {
        foundation::AnswerCancel(*request);
        request->Complete();
    };
    return QueueAsk(pending);
}

void AddProgressLogLine(std::u16string_view text) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_dialog) g_dialog->QueueLogLine(text);
}

int PromptsShowing() { return g_showing.load(); }

int ProgressUiServices::ShowMessageBox(const foundation::MessageBoxRequest& request) {
    if (ProgressDialogOpen()) {
        // A worker never opens a window: the box is shown on the window
        // thread while the worker waits; a closing dialog answers it with the
        // box's refusing button.
        auto answer = std::make_shared<BoxAnswer>();
        auto pending = std::make_shared<PendingAsk>();
        foundation::UiServices* inner = &inner_;
        pending->ask = [answer, inner, request] { answer->Set(inner->ShowMessageBox(request)); };
        pending->cancel = [answer, flags = request.flags] { answer->Set(foundation::RefusingAnswer(flags)); };
        if (!QueueAsk(pending)) return foundation::RefusingAnswer(request.flags);
        return answer->Wait();
    }
    // A box shown while an operation runs holds it: its wait is no transfer time.
    ++g_showing;
    const int answer = inner_.ShowMessageBox(request);
    --g_showing;
    return answer;
}

namespace detail {

void RegisterProgressDialog(CProgressDlg* dialog) {
    Relay();
    std::lock_guard<std::mutex> guard(g_lock);
    g_dialog = dialog;
    g_takingPrompts = true;
}

void StopTakingPrompts(CProgressDlg* dialog) {
    std::vector<std::shared_ptr<PendingAsk>> queued;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_dialog != dialog) return;   // an earlier dialog going away later
        g_takingPrompts = false;
        queued.swap(g_queued);
    }
    for (const auto& pending : queued) pending->cancel();
}

void UnregisterProgressDialog(CProgressDlg* dialog) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_dialog == dialog) {
        g_dialog = nullptr;
        g_takingPrompts = false;
    }
}

CProgressDlg* CurrentProgressDialog() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_dialog;
}

}  // namespace detail

}  // namespace dialogs::ui
