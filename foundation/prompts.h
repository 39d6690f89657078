#pragma once
// Questions a worker thread has the window thread ask: the worker builds a
// UserPromptRequest, posts it and blocks until DispatchUserPrompt, run on the
// window thread, stores the answer and signals.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

enum class PromptKind : int32_t {
    FileExists = 1,        // answer 0 yes, 1 no, 2 yes to all, 3 no to all, 4 cancel
    NextVolume = 2,        // create the next volume of an archive being written
    VolumeRequired = 3,    // mode 1
    VolumeRequiredByFormat = 4,   // mode 0, input chosen by the container's format code
    MissingVolumes = 5,
    Password = 6,          // answer 2 cancelled; out text the password
    PasswordWrong = 7,     // 1 try again, 2 cancel
    NameChanged = 8,
    ChooseSession = 9,
    AddProgress = 10,
};

// One question. Shared by the asking worker and the window thread, so neither
// can free it under the other.
struct UserPromptRequest {
    int32_t kind = 0;
    intptr_t data = 0;
    std::u16string text;
    intptr_t value = 0;
    void* context = nullptr;
    int32_t answer = 0;
    std::optional<std::u16string> outText;

    // The completion event: set once by DispatchUserPrompt.
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
};

// The answer that means "cancel" for a kind: 4 for file exists, 2 (IDCANCEL)
// for the dialogs and the wrong-password question, -1 for the session choice,
// 0 for the kinds that answer nothing.
int32_t PromptCancelAnswer(int32_t kind);

// Runs the prompt: on the calling thread in console mode or when no progress
// dialog is open, else on the window thread while this thread waits. Returns 0
// with the answer (and the out text, when asked for) written; -1 when the
// question could not be put, with the kind's cancel answer written.
int RunUserPrompt(int32_t kind, intptr_t data, std::u16string_view text, intptr_t value,
                  void* context, int32_t* answer, std::optional<std::u16string>* outText);

// Runs the prompt of the request's kind on the calling thread, stores the
// answer and the out text, and signals the request.
void DispatchUserPrompt(UserPromptRequest& request);

}  // namespace foundation
