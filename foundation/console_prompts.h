#pragma once
// The console face of the prompt service: the questions of the prompt dialogs
// asked on a text stream (the console of the command processor). End of input
// answers the kind's cancel value; a password is read with terminal echo off
// when the input is a terminal, and kept as typed (answers are trimmed).

#include <cstdio>

#include "foundation/prompt_services.h"

namespace foundation {

class ConsolePrompts final : public IPromptServices {
public:
    // Streams are not owned; null means stdin / stdout.
    ConsolePrompts(std::FILE* input = nullptr, std::FILE* output = nullptr);
    void Show(UserPromptRequest& request) override;

private:
    bool ReadLine(std::u16string& line, bool hideInput);
    void Write(std::u16string_view text);

    std::FILE* input_;
    std::FILE* output_;
};

}  // namespace foundation
