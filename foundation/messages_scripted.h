#pragma once
// A face for tests: records every box and prompt and answers from queues.
// With an empty queue a box gives its refusing answer and a prompt its kind's
// cancel answer. The "window thread" is a thread of its own that runs posted
// prompts in order, as the window program's event loop would.

#include "foundation/messages_ui.h"
#include "foundation/prompts.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace foundation {

class ScriptedUiServices : public UiServices {
public:
    ScriptedUiServices();
    ~ScriptedUiServices() override;

    // Scripting.
    void QueueBoxAnswer(int answer);
    struct PromptAnswer {
        int32_t answer = 0;
        std::optional<std::u16string> outText;
    };
    void QueuePromptAnswer(PromptAnswer answer);
    void QueueConsoleLine(std::u16string line);
    void SetProgressDialogOpen(bool open) { progressOpen_ = open; }
    // When set, posting fails (the window has gone).
    void SetPostFails(bool fails) { postFails_ = fails; }
    // Holds posted prompts until ReleasePrompts (to test a worker that waits).
    void HoldPrompts(bool hold);
    void SetDocumentModified(bool modified) { documentModified_ = modified; }

    // What was shown.
    struct ShownBox {
        MessageBoxRequest request;
        int answer = 0;
    };
    std::vector<ShownBox> Boxes();
    std::vector<int32_t> PromptKinds();
    std::vector<std::u16string> BurnLog();
    std::vector<std::u16string> ConsoleLines();
    size_t PendingPosts();
    // The id of the thread that ran the prompt dialogs (the fake window thread).
    std::thread::id WindowThreadId() const { return windowThread_.get_id(); }
    std::vector<std::thread::id> PromptThreads();

    int ShowMessageBox(const MessageBoxRequest& request) override;
    bool ProgressDialogOpen() override { return progressOpen_; }
    bool PostUserPrompt(std::shared_ptr<UserPromptRequest> request) override;
    void RunPromptDialog(UserPromptRequest& request) override;
    int AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) override;
    int ConsoleAskString(std::u16string_view prompt, uint32_t choices) override;
    bool CurrentDocumentModified() override { return documentModified_; }
    void BurnLogWarning(std::u16string_view text) override;

private:
    void WindowLoop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<int> boxAnswers_;
    std::deque<PromptAnswer> promptAnswers_;
    std::deque<std::u16string> consoleInput_;
    std::deque<std::shared_ptr<UserPromptRequest>> posted_;
    std::vector<ShownBox> boxes_;
    std::vector<int32_t> promptKinds_;
    std::vector<std::thread::id> promptThreads_;
    std::vector<std::u16string> burnLog_;
    std::vector<std::u16string> consoleLines_;
    std::atomic<bool> progressOpen_{false};
    std::atomic<bool> postFails_{false};
    bool hold_ = false;
    std::atomic<bool> documentModified_{false};
    bool stopping_ = false;
    std::thread windowThread_;
};

}  // namespace foundation
