#pragma once
// Questions a worker thread has the window thread ask: the worker builds a
// UserPromptRequest, posts it and blocks until DispatchUserPrompt, run on the
// window thread, has stored the answer and completed the request. The request
// is shared by both threads, so neither frees it under the other.

#include "foundation/user_prompt.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace foundation {

using foundation::UserPromptRequest;

// The answer that means "cancel" for a kind: 4 for file exists, 2 (IDCANCEL)
// for the dialogs and the wrong-password question, 0 for the kinds that answer
// nothing.
int32_t PromptCancelAnswer(int32_t kind);

// Kind 1 (file exists) takes the message as its text and the name as a
// NUL-terminated UTF-16 text whose address is the value; the asking thread
// keeps it alive, as it waits for the answer.
//
// Runs the prompt: on the calling thread in console mode or when no progress
// dialog is open, else on the window thread while this thread waits. Returns 0
// with the answer (and the out text, when asked for) written; -1 when the
// question could not be put, with the kind's cancel answer written and the out
// text left alone.
int RunUserPrompt(int32_t kind, intptr_t data, std::u16string_view text, intptr_t value,
                  void* context, int32_t* answer, std::u16string* outText);
// The same for a request the caller built, for prompts that answer more than
// a number and a text (an opened volume, the skip flag). On -1 the request
// holds the kind's cancel answer.
int RunUserPromptRequest(const std::shared_ptr<UserPromptRequest>& request);

// Runs the prompt of the request's kind on the calling thread, stores the
// answer and the out text, and completes the request.
void DispatchUserPrompt(UserPromptRequest& request);

// The console's file-exists question: "%s: %s" (name, text) and
// "(Yes/No/YesAll/NoAll/Cancel):", read until one of the answers comes; end of
// input answers 4 (cancel).
int ParseFileExistsAnswer(std::u16string_view line);   // -1 for anything else

}  // namespace foundation
