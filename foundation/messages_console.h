#pragma once
// The console face: boxes become lines on the console, questions are read from
// it. End of input answers the cancelling choice, never loops.

#include "foundation/messages_ui.h"

#include <mutex>
#include <string>

namespace foundation {

class ConsoleUiServices : public UiServices {
public:
    // Reads lines from inputFd and writes to outputFd (UTF-8); the descriptors
    // are not owned.
    explicit ConsoleUiServices(int inputFd = 0, int outputFd = 1);

    int ShowMessageBox(const MessageBoxRequest& request) override;
    bool ProgressDialogOpen() override { return false; }
    bool PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) override;
    int AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) override;
    int ConsoleAskString(std::u16string_view prompt, uint32_t choices) override;
    bool CurrentDocumentModified() override { return false; }
    void BurnLogWarning(std::u16string_view text) override;

    // The two console primitives; the command processor's face derives from
    // this one and routes them through its own console streams.
    virtual void WriteString(std::u16string_view text);
    // One line without its end; false at end of input or on a read error.
    virtual bool ReadLine(std::u16string& line);

private:
    int inputFd_;
    int outputFd_;
    bool atEnd_ = false;
    std::mutex mutex_;
};

}  // namespace foundation
