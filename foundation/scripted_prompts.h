#pragma once
// The scripted face of the prompt service for tests: answers come from a queue
// set up by the test, and every request shown is recorded. An empty queue
// answers cancel. Thread-safe, so a worker may ask while the test inspects.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/prompt_services.h"

namespace foundation {

struct ScriptedAnswer {
    int32_t answer = 0;
    std::u16string outText;
    platform::FileHandle outHandle = nullptr;
    int32_t outFlag = 0;
    int32_t chosenIndex = -1;     // kind 9: the row chosen
};

struct RecordedPrompt {
    int32_t kind = 0;
    intptr_t data = 0;
    std::u16string text;
    intptr_t value = 0;
    void* context = nullptr;
};

class ScriptedPrompts final : public IPromptServices {
public:
    void Push(ScriptedAnswer answer);
    void PushAnswer(int32_t answer);
    void Show(UserPromptRequest& request) override;
    std::vector<RecordedPrompt> Shown() const;
    size_t Pending() const;

private:
    mutable std::mutex lock_;
    std::deque<ScriptedAnswer> answers_;
    std::vector<RecordedPrompt> shown_;
};

}  // namespace foundation
