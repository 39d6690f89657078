#pragma once
// The window program's face of the prompt service: each prompt kind shown as
// its dialog, always on the window thread. A worker that asks while no
// progress dialog relays its questions reaches this face on its own thread;
// the face then runs the dialog on the window thread and waits for it.
// Kinds whose dialogs live elsewhere (the chooser, the name-change notice,
// the adding dialog) are shown by the handler installed for them; a kind
// without one is answered with its cancel value.

#include <cstdint>
#include <functional>

#include "foundation/prompt_services.h"

namespace dialogs::ui {

class WindowPrompts final : public foundation::IPromptServices {
public:
    void Show(foundation::UserPromptRequest& request) override;
};

// The dialog of one prompt kind, run on the window thread; it writes the
// answer into the request. An empty handler removes it.
using PromptKindHandler = std::function<void(foundation::UserPromptRequest&)>;
void SetPromptKindHandler(int32_t kind, PromptKindHandler handler);

// Runs the kind's dialog on the calling thread (the window thread).
void ShowPromptHere(foundation::UserPromptRequest& request);

}  // namespace dialogs::ui
