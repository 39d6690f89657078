#include "foundation/messages_scripted.h"

#include "foundation/prompt_services.h"
#include "foundation/prompts.h"
#include "platform/format.h"
#include "platform/text.h"

namespace foundation {

ScriptedUiServices::ScriptedUiServices() : windowThread_([this] { WindowLoop(); }) {}

ScriptedUiServices::~ScriptedUiServices() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    windowThread_.join();
    // A request still queued when the window goes is answered with cancel, so
    // no worker waits for ever.
    for (auto& request : posted_) {
        foundation::AnswerCancel(*request);
        request->Complete();
    }
}

void ScriptedUiServices::WindowLoop() {
    std::unique_lock<std::mutex> guard(mutex_);
    while (true) {
        wake_.wait(guard, [this] { return stopping_ || (!hold_ && !posted_.empty()); });
        if (stopping_) return;
        std::shared_ptr<foundation::UserPromptRequest> request = std::move(posted_.front());
        posted_.pop_front();
        dispatchThreads_.push_back(std::this_thread::get_id());
        guard.unlock();
        DispatchUserPrompt(*request);
        request.reset();
        guard.lock();
    }
}

void ScriptedUiServices::QueueBoxAnswer(int answer) {
    std::lock_guard<std::mutex> guard(mutex_);
    boxAnswers_.push_back(answer);
}

void ScriptedUiServices::QueueConsoleLine(std::u16string line) {
    std::lock_guard<std::mutex> guard(mutex_);
    consoleInput_.push_back(std::move(line));
}

void ScriptedUiServices::HoldPrompts(bool hold) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        hold_ = hold;
    }
    wake_.notify_all();
}

std::vector<ScriptedUiServices::ShownBox> ScriptedUiServices::Boxes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return boxes_;
}

std::vector<std::u16string> ScriptedUiServices::BurnLog() {
    std::lock_guard<std::mutex> guard(mutex_);
    return burnLog_;
}

std::vector<std::u16string> ScriptedUiServices::ConsoleLines() {
    std::lock_guard<std::mutex> guard(mutex_);
    return consoleLines_;
}

size_t ScriptedUiServices::PendingPosts() {
    std::lock_guard<std::mutex> guard(mutex_);
    return posted_.size();
}

std::vector<std::thread::id> ScriptedUiServices::DispatchThreads() {
    std::lock_guard<std::mutex> guard(mutex_);
    return dispatchThreads_;
}

int ScriptedUiServices::ShowMessageBox(const MessageBoxRequest& request) {
    std::lock_guard<std::mutex> guard(mutex_);
    int answer = RefusingAnswer(request.flags);
    if (!boxAnswers_.empty()) {
        answer = boxAnswers_.front();
        boxAnswers_.pop_front();
    }
    boxes_.push_back(ShownBox{request, answer});
    return answer;
}

bool ScriptedUiServices::PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) {
    if (postFails_) return false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stopping_) return false;
        posted_.push_back(std::move(request));
    }
    wake_.notify_all();
    return true;
}

bool ScriptedUiServices::NextConsoleLine(std::u16string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (consoleInput_.empty()) return false;
    line = std::move(consoleInput_.front());
    consoleInput_.pop_front();
    return true;
}

int ScriptedUiServices::AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) {
    while (true) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            consoleLines_.push_back(platform::Format(u"%s: %s(Yes/No/YesAll/NoAll/Cancel):", name, text));
        }
        std::u16string line;
        if (!NextConsoleLine(line)) return 4;
        int answer = ParseFileExistsAnswer(line);
        if (answer >= 0) return answer;
    }
}

int ScriptedUiServices::ConsoleAskString(std::u16string_view prompt, uint32_t choices) {
    while (true) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            consoleLines_.push_back(std::u16string(prompt));
        }
        std::u16string line;
        if (!NextConsoleLine(line)) return kAskCancel;
        std::u16string answer = platform::ToLower(line);
        if ((choices & kAskYes) && (answer == u"yes" || answer == u"y")) return kAskYes;
        if ((choices & kAskNo) && (answer == u"no" || answer == u"n")) return kAskNo;
        if ((choices & kAskOk) && (answer == u"ok" || answer == u"o")) return kAskOk;
        if ((choices & kAskCancel) && (answer == u"cancel" || answer == u"c")) return kAskCancel;
    }
}

void ScriptedUiServices::BurnLogWarning(std::u16string_view text) {
    std::lock_guard<std::mutex> guard(mutex_);
    burnLog_.push_back(std::u16string(text));
}

}  // namespace foundation
