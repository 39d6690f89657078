#include "foundation/scripted_prompts.h"

namespace foundation {

void ScriptedPrompts::Push(ScriptedAnswer answer) {
    std::lock_guard<std::mutex> guard(lock_);
    answers_.push_back(std::move(answer));
}

void ScriptedPrompts::PushAnswer(int32_t answer) {
    ScriptedAnswer scripted;
    scripted.answer = answer;
    Push(std::move(scripted));
}

void ScriptedPrompts::Show(UserPromptRequest& request) {
    ScriptedAnswer next;
    bool have = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        shown_.push_back(RecordedPrompt{request.kind, request.data, request.text, request.value, request.context});
        if (!answers_.empty()) {
            next = std::move(answers_.front());
            answers_.pop_front();
            have = true;
        }
    }
    if (!have) {
        AnswerCancel(request);
        if (request.kind == prompt_kind::kChooseSession) ChosenSessionIndex().store(-1);
        return;
    }
    request.answer = next.answer;
    request.outText = std::move(next.outText);
    request.outHandle = next.outHandle;
    request.outFlag = next.outFlag;
    if (request.kind == prompt_kind::kChooseSession) ChosenSessionIndex().store(next.chosenIndex);
}

std::vector<RecordedPrompt> ScriptedPrompts::Shown() const {
    std::lock_guard<std::mutex> guard(lock_);
    return shown_;
}

size_t ScriptedPrompts::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return answers_.size();
}

}  // namespace foundation
