#pragma once
// The one prompt service behind DispatchUserPrompt: it runs the dialog of a
// prompt kind on the calling thread and stores the answer in the request (it
// does not complete the request; the dispatcher does). Faces: the window
// program's dialogs, the console (console_prompts.h) and a scripted face for
// tests (scripted_prompts.h). With no face installed every prompt is answered
// with its cancel value, so a headless run never waits for a user.

#include <atomic>
#include <cstdint>

#include "foundation/services.h"
#include "foundation/user_prompt.h"

namespace foundation {

class IPromptServices {
public:
    virtual ~IPromptServices() = default;
    virtual void Show(UserPromptRequest& request) = 0;
};

// Writes the cancel answer of the request's kind (file exists: 4; volume,
// password and wrong-password prompts: 2 with no text and no handle; chooser:
// no choice).
inline void AnswerCancel(UserPromptRequest& request) {
    request.outText.clear();
    request.outHandle = nullptr;
    request.outFlag = 0;
    switch (request.kind) {
    case prompt_kind::kFileExists: request.answer = overwrite_answer::kCancel; break;
    case prompt_kind::kNameChangeNotice:
    case prompt_kind::kAddProgress: request.answer = 0; break;
    case prompt_kind::kChooseSession: request.answer = kIdCancel; break;
    default: request.answer = kIdCancel; break;
    }
}

// The session, partition or image chosen in the chooser dialog (prompt kind 9),
// -1 when none. Process-wide; the chooser's callers set -1 before asking.
inline std::atomic<int32_t>& ChosenSessionIndex() {
    static std::atomic<int32_t> chosen{-1};
    return chosen;
}

namespace detail {
class CancellingPrompts final : public IPromptServices {
public:
    void Show(UserPromptRequest& request) override {
        AnswerCancel(request);
        if (request.kind == prompt_kind::kChooseSession) ChosenSessionIndex().store(-1);
    }
};
}  // namespace detail

// The installed face; the cancelling stand-in when none is installed.
inline foundation::ServiceSlot<IPromptServices, detail::CancellingPrompts>& PromptServicesSlot() {
    static foundation::ServiceSlot<IPromptServices, detail::CancellingPrompts> slot;
    return slot;
}
inline IPromptServices& PromptServices() { return PromptServicesSlot().Get(); }
// Installs a face (not owned; it must outlive its use). Null restores the stand-in.
inline IPromptServices* SetPromptServices(IPromptServices* service) { return PromptServicesSlot().Install(service); }

}  // namespace foundation
