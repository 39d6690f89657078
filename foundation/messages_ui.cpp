#include "foundation/messages_ui.h"

#include "foundation/messages_console.h"

#include <atomic>

namespace foundation {

namespace {

std::atomic<UiServices*>& Installed() {
    static std::atomic<UiServices*> installed{nullptr};
    return installed;
}

}  // namespace

int RefusingAnswer(uint32_t flags) {
    switch (flags & kMbButtonMask) {
    case kMbOkCancel:
    case kMbYesNoCancel:
    case kMbRetryCancel:
        return kIdCancel;
    case kMbYesNo:
        return kIdNo;
    case kMbAbortRetryIgnore:
        return kIdAbort;
    default:
        return kIdOk;
    }
}

UiServices& CurrentUiServices() {
    if (UiServices* services = Installed().load()) return *services;
    static ConsoleUiServices console;
    return console;
}

UiServices* InstalledUiServices() { return Installed().load(); }

void SetUiServices(UiServices* services) { Installed().store(services); }

}  // namespace foundation
