#pragma once
// A face for tests: records every box, console question and burn-log line and
// answers from queues; with an empty queue a box gives its refusing answer and
// a console question its cancelling choice. Its "window thread" is a thread of
// its own that runs posted prompts in order through DispatchUserPrompt, as the
// window program's event loop would; the prompt dialogs themselves answer
// through the installed prompt service (foundation/scripted_prompts.h in tests).

#include "foundation/messages_ui.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace foundation {

class ScriptedUiServices : public UiServices {
public:
    ScriptedUiServices();
    ~ScriptedUiServices() override;
    ScriptedUiServices(const ScriptedUiServices&) = delete;
    ScriptedUiServices& operator=(const ScriptedUiServices&) = delete;

    void QueueBoxAnswer(int answer);
    void QueueConsoleLine(std::u16string line);
    void SetProgressDialogOpen(bool open) { progressOpen_ = open; }
    // When set, posting fails (the window has gone).
    void SetPostFails(bool fails) { postFails_ = fails; }
    // Holds posted prompts until released (to see a worker waiting).
    void HoldPrompts(bool hold);
    void SetDocumentModified(bool modified) { documentModified_ = modified; }

    struct ShownBox {
        MessageBoxRequest request;
        int answer = 0;
    };
    std::vector<ShownBox> Boxes();
    std::vector<std::u16string> BurnLog();
    std::vector<std::u16string> ConsoleLines();
    size_t PendingPosts();
    // Threads that ran posted prompts (all the fake window thread).
    std::vector<std::thread::id> DispatchThreads();
    std::thread::id WindowThreadId() const { return windowThread_.get_id(); }

    int ShowMessageBox(const MessageBoxRequest& request) override;
    bool ProgressDialogOpen() override { return progressOpen_; }
    bool PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) override;
    int AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) override;
    int ConsoleAskString(std::u16string_view prompt, uint32_t choices) override;
    bool CurrentDocumentModified() override { return documentModified_; }
    void BurnLogWarning(std::u16string_view text) override;

private:
    void WindowLoop();
    bool NextConsoleLine(std::u16string& line);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<int> boxAnswers_;
    std::deque<std::u16string> consoleInput_;
    std::deque<std::shared_ptr<foundation::UserPromptRequest>> posted_;
    std::vector<ShownBox> boxes_;
    std::vector<std::thread::id> dispatchThreads_;
    std::vector<std::u16string> burnLog_;
    std::vector<std::u16string> consoleLines_;
    std::atomic<bool> progressOpen_{false};
    std::atomic<bool> postFails_{false};
    std::atomic<bool> documentModified_{false};
    bool hold_ = false;
    bool stopping_ = false;
    std::thread windowThread_;
};

}  // namespace foundation
