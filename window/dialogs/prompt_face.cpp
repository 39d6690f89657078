#include "window/dialogs/prompt_face.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>

#include <map>
#include <mutex>

#include "foundation/messages.h"
#include "foundation/missing_volumes_question.h"
#include "window/dialogs/enter_password_dialog.h"
#include "window/dialogs/file_exists_dialog.h"
#include "window/dialogs/missing_volumes_dialog.h"
#include "window/dialogs/volume_required_dialog.h"

namespace dialogs::ui {
namespace {

std::mutex g_handlersLock;

std::map<int32_t, PromptKindHandler>& Handlers() {
    static std::map<int32_t, PromptKindHandler> handlers;
    return handlers;
}

PromptKindHandler HandlerFor(int32_t kind) {
    std::lock_guard<std::mutex> guard(g_handlersLock);
    auto found = Handlers().find(kind);
    return found == Handlers().end() ? PromptKindHandler() : found->second;
}

void AskFileExists(foundation::UserPromptRequest& request) {
    CFileExistsDlg dialog(request.text, request.fileExists, QApplication::activeWindow());
    dialog.exec();
    request.answer = dialog.Answer();
}

void AskVolume(foundation::UserPromptRequest& request) {
    CVolumeRequiredDlg dialog(request.path.empty() ? request.text : request.path, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return;
    request.outHandle = dialog.TakeFile();
    if (!request.outHandle) return;
    request.outText = dialog.ChosenPath();
    request.answer = foundation::kIdOk;
}

void AskMissingVolumes(foundation::UserPromptRequest& request) {
    const auto* question = static_cast<const foundation::MissingVolumesQuestion*>(request.context);
    if (!question) return;
    CMissingVolumesDlg dialog(question->folder, question->missing, request.data != 0, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return;
    request.outText = dialog.Folder();
    request.outFlag = dialog.Skip() ? 1 : 0;
    request.answer = foundation::kIdOk;
}

void AskPassword(foundation::UserPromptRequest& request) {
    CEnterPasswordDlg dialog(request.text, request.path, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return;
    request.outText = dialog.Password();
    request.answer = foundation::kIdOk;
}

void AskTryAgain(foundation::UserPromptRequest& request) {
    const int box = foundation::AppMessageBox(request.text, foundation::kMbOkCancel | foundation::kMbIconQuestion);
    request.answer = box == foundation::kIdOk ? 1 : 2;
}

}  // namespace

void SetPromptKindHandler(int32_t kind, PromptKindHandler handler) {
    std::lock_guard<std::mutex> guard(g_handlersLock);
    if (handler) Handlers()[kind] = std::move(handler);
    else Handlers().erase(kind);
}

void ShowPromptHere(foundation::UserPromptRequest& request) {
    // Whatever a dialog leaves unanswered reads as cancel.
    foundation::AnswerCancel(request);
    if (PromptKindHandler handler = HandlerFor(request.kind)) {
        handler(request);
        return;
    }
    switch (request.kind) {
    case foundation::prompt_kind::kFileExists: AskFileExists(request); break;
    case foundation::prompt_kind::kVolumeRequired:
    case foundation::prompt_kind::kVolumeRequiredByFormat: AskVolume(request); break;
    case foundation::prompt_kind::kMissingVolumes: AskMissingVolumes(request); break;
    case foundation::prompt_kind::kPassword: AskPassword(request); break;
    case foundation::prompt_kind::kWrongPassword: AskTryAgain(request); break;
    default: break;
    }
}

void WindowPrompts::Show(foundation::UserPromptRequest& request) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || !qobject_cast<QApplication*>(application)) {
        foundation::AnswerCancel(request);
        return;
    }
    if (QThread::currentThread() == application->thread()) {
        ShowPromptHere(request);
        return;
    }
    foundation::AnswerCancel(request);
    QMetaObject::invokeMethod(application, [&request] { ShowPromptHere(request); }, Qt::BlockingQueuedConnection);
}

}  // namespace dialogs::ui
