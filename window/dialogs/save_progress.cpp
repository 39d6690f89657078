#include "window/dialogs/save_progress.h"

#include <QApplication>

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

void InstallSaveProgress() { app::SetWriterRunner(&RunWriterUnderProgress); }
void RemoveSaveProgress() { app::SetWriterRunner(nullptr); }

}  // namespace dialogs::ui
