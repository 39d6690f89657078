#pragma once
// The face through which the foundation shows message boxes, hands prompts to
// the window thread and asks on the console (the prompt dialogs themselves are
// the prompt service of foundation/prompt_services.h). The window program installs
// its Qt face; the console command processor installs ConsoleUiServices
// (messages_console.h) or a face derived from it; tests install
// ScriptedUiServices (messages_scripted.h). With none installed, the console
// face over standard input and output is used.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/services.h"

namespace foundation {
struct UserPromptRequest;
}

namespace foundation {

// Message-box flags and results keep their Windows numbers.
enum : uint32_t {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbButtonMask = 0xF,
    kMbIconStop = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
    kMbIconMask = 0xF0,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
};
enum : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};

// Which owner and caption a box has.
enum class MessageBoxFace {
    Framework,        // the window program's own box
    VirtualDrive,     // launched with "-ii1": caption string 30440, owned by the "-hwnd" window
    Mount,            // launched with "-ii2": caption "Quendravine", owned by the "-hwnd" window
};

struct MessageBoxRequest {
    std::u16string text;
    std::u16string caption;   // empty for the framework's own caption
    uint32_t flags = 0;
    MessageBoxFace face = MessageBoxFace::Framework;
};

// The answer a box gives when it cannot ask: the refusing button of its set
// (OK alone: IDOK; with Cancel: IDCANCEL; Yes/No: IDNO; Abort/Retry/Ignore:
// IDABORT).
int RefusingAnswer(uint32_t flags);

class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows the box and returns the button chosen (IDOK ...), never 0.
    virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;

    // True while a progress dialog is open: a worker's prompts then go to the
    // window thread through PostUserPrompt.
    virtual bool ProgressDialogOpen() = 0;
    // Queues the request to the window thread, which calls
    // DispatchUserPrompt(*request) there. False when it could not be queued;
    // the request is then never touched by the window thread.
    virtual bool PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) = 0;

    // The console's file-exists question (kind 1 in console mode): the answer
    // 0 yes .. 4 cancel.
    virtual int AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) = 0;
    // ConsoleAskString: (prompt, choice flags 1 Ok, 2 Cancel, 4 yes, 8 no) the
    // choice flag answered; 2 (cancel) at end of input, whatever was offered.
    virtual int ConsoleAskString(std::u16string_view prompt, uint32_t choices) = 0;

    // Whether the current document has unsaved changes (RequireSavedDocument).
    virtual bool CurrentDocumentModified() = 0;
    // BurnLogString with the warning flag: the burn log (and the diagnostic log).
    virtual void BurnLogWarning(std::u16string_view text) = 0;
};

// Console choices of ConsoleAskString.
enum : uint32_t { kAskOk = 1, kAskCancel = 2, kAskYes = 4, kAskNo = 8 };

// The installed face (the console face when none was installed).
UiServices& CurrentUiServices();
// The face installed, null when none is.
UiServices* InstalledUiServices();
// Not owned; the installer keeps it alive while installed. Null restores the
// console face. Returns the face installed before (foundation/services.h).
UiServices* SetUiServices(UiServices* services);

}  // namespace foundation
