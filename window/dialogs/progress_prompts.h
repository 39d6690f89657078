#pragma once
// How a worker running under the progress dialog reaches the user: its
// questions are queued to the window thread, asked there and answered back to
// the waiting worker; its log lines land in the open dialog's log. The
// window program's message face wraps itself in ProgressUiServices so the
// foundation's prompt routing (foundation/prompts.h) finds the dialog.

#include <memory>
#include <string_view>

#include "foundation/messages_ui.h"
#include "foundation/user_prompt.h"

namespace dialogs::ui {

class CProgressDlg;

// True while a progress dialog is open and the caller is not the window
// thread (the window thread asks directly: waiting there for itself would
// never end).
bool ProgressDialogOpen();
// Queues the request to the window thread, which runs DispatchUserPrompt on
// it. False when no dialog takes questions any more; the request is then
// never touched.
bool PostUserPromptToWindow(std::shared_ptr<foundation::UserPromptRequest> request);
// One line in the open dialog's log, from any thread; nothing without a dialog.
void AddProgressLogLine(std::u16string_view text);
// Questions being shown on the window thread now (the operation is held).
int PromptsShowing();

// A message face that answers the progress questions itself and hands
// everything else to the face it wraps.
class ProgressUiServices final : public foundation::UiServices {
public:
    explicit ProgressUiServices(foundation::UiServices& inner) : inner_(inner) {}
    int ShowMessageBox(const foundation::MessageBoxRequest& request) override;
    bool ProgressDialogOpen() override { return dialogs::ui::ProgressDialogOpen(); }
    bool PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) override {
        return PostUserPromptToWindow(std::move(request));
    }
    int AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) override {
        return inner_.AskFileExistsOnConsole(name, text);
    }
    int ConsoleAskString(std::u16string_view prompt, uint32_t choices) override {
        return inner_.ConsoleAskString(prompt, choices);
    }
    bool CurrentDocumentModified() override { return inner_.CurrentDocumentModified(); }
    void BurnLogWarning(std::u16string_view text) override { inner_.BurnLogWarning(text); }

private:
    foundation::UiServices& inner_;
};

namespace detail {
// The dialog's side, on the window thread.
void RegisterProgressDialog(CProgressDlg* dialog);
// No more questions are taken; those queued and not yet shown are answered
// with their cancel answer. The dialog still counts as open until it is
// unregistered, so a late question is refused rather than asked on the
// worker's own thread.
void StopTakingPrompts(CProgressDlg* dialog);
void UnregisterProgressDialog(CProgressDlg* dialog);
CProgressDlg* CurrentProgressDialog();
}  // namespace detail

}  // namespace dialogs::ui
