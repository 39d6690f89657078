#include "foundation/messages_ui.h"

#include "foundation/messages_console.h"

#include "foundation/services.h"

namespace foundation {

namespace {

// With no face installed the console face over standard input and output answers.
ServiceSlot<UiServices, ConsoleUiServices>& Slot() {
    static ServiceSlot<UiServices, ConsoleUiServices> slot;
    return slot;
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

UiServices& CurrentUiServices() { return Slot().Get(); }

UiServices* InstalledUiServices() { return Slot().Installed(); }

UiServices* SetUiServices(UiServices* services) { return Slot().Install(services); }

}  // namespace foundation
