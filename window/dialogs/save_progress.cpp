#include "window/dialogs/save_progress.h"

#include <QApplication>

#include "app/save_runner_services.h"
#include "window/dialogs/progress_dialog.h"
#include "foundation/operation_status.h"

namespace dialogs::ui {

int RunWriterUnderProgress(app::DocumentWriter writer, app::SaveRequest& request) {
    if (!writer) return -1;
    QWidget* owner = QApplication::activeWindow();
    CProgressDlg dialog(owner);
    dialog.SetKind(ProgressKind::CreateArchive);
    dialog.SetItemPath(QString::fromStdU16String(request.path));
    dialog.SetMainWindow(owner);
    dialog.SetContext(&request.ctx);
    dialog.SetWorker([writer, &request](foundation::ProgressCallbacks* progress) -> int32_t {
        request.progress = progress;
        const int result = writer(request);
        request.progress = nullptr;
        return result;
    });
    if (dialog.Run() != QDialog::Accepted) return -1;
    return dialog.WorkerResult();
}

namespace {

class ProgressSaveRunner final : public app::ISaveRunnerServices {
public:
    int RunWriter(app::DocumentWriter writer, app::SaveRequest& request) override {
        return RunWriterUnderProgress(writer, request);
    }
};

ProgressSaveRunner g_progressSaveRunner;

}  // namespace

void InstallSaveProgress() { app::SetSaveRunnerServices(&g_progressSaveRunner); }
void RemoveSaveProgress() { app::SetSaveRunnerServices(nullptr); }

}  // namespace dialogs::ui
