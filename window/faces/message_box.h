#pragma once
// The message box of the window program and the window face of the message
// services: Windows flags in, Windows result numbers out, from any thread.

#include <QMessageBox>

#include <functional>
#include <memory>

#include "foundation/messages_console.h"
#include "foundation/messages_ui.h"

namespace foundation::ui {

// The box's buttons and default for the flags' button set.
struct MessageBoxButtons {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};
MessageBoxButtons ButtonsForFlags(uint32_t flags);
QMessageBox::Icon IconForFlags(uint32_t flags);
// The Windows result number of a clicked button; anything outside the set
// (the box was closed or rejected) is the set's refusing answer.
int ResultForButton(uint32_t flags, int clicked);

// Builds the box (plain text: a name like "<b>x</b>" shows as it is), not yet
// shown. The caption is "Quendravine" unless the request names another.
std::unique_ptr<QMessageBox> MakeMessageBox(const MessageBoxRequest& request, QWidget* owner);

// Shows the box modally on the window thread and returns the result number. A
// worker's call is carried to the window thread and waits there; the window
// thread itself never waits on a worker for it.
int ShowMessageBoxOnWindowThread(const MessageBoxRequest& request);

// The window program's message services: boxes as above, prompts posted to the
// window thread's event loop; the console questions stay with the console face.
class QtUiServices : public ConsoleUiServices {
public:
    int ShowMessageBox(const MessageBoxRequest& request) override;
    bool ProgressDialogOpen() override { return progressDialogOpen ? progressDialogOpen() : false; }
    bool PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) override;
    bool CurrentDocumentModified() override { return documentModified ? documentModified() : false; }

    // Told by the progress dialog while it is open (it owns the prompts then).
    std::function<bool()> progressDialogOpen;
    std::function<bool()> documentModified;
};

}  // namespace foundation::ui
