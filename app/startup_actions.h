#pragma once
// What the window program does once its main window is up: the commands of a
// command file ("-pf"/"-pfh") that the command-line side loaded before the
// window existed. The command-line side installs the real actions; the window
// program asks HasStartupAction after creating its frame and calls
// RunStartupAction after the first show (until then the stand-in has none).

#include <string>
#include <string_view>

#include "foundation/services.h"

namespace app {

class IStartupActionServices {
public:
    virtual ~IStartupActionServices() = default;
    virtual bool HasStartupAction() = 0;
    // Runs it. -1: the window program goes on; otherwise the exit code the
    // program ends with (a file that ended with EXIT or EMAIL).
    virtual int RunStartupAction() = 0;
};

namespace detail {
class NoStartupAction : public IStartupActionServices {
public:
    bool HasStartupAction() override { return false; }
    int RunStartupAction() override { return -1; }
};
}  // namespace detail

inline foundation::ServiceSlot<IStartupActionServices, detail::NoStartupAction>& StartupActionServicesSlot() {
    static foundation::ServiceSlot<IStartupActionServices, detail::NoStartupAction> slot;
    return slot;
}
inline IStartupActionServices& StartupActionServices() { return StartupActionServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IStartupActionServices* SetStartupActionServices(IStartupActionServices* services) {
    return StartupActionServicesSlot().Install(services);
}

// The steps of a command file that need the window program's dialogs. Each
// answers 1 done, 0 cancelled by the user, -1 not available (no window, or
// the engine behind it has not landed); the stand-in answers -1.
class ICommandFileDialogs {
public:
    virtual ~ICommandFileDialogs() = default;
    // The archive property sheet in save mode, its file name preset.
    virtual int SaveAs(std::u16string_view presetName) = 0;
    // The Extract dialog; the chosen folder.
    virtual int ChooseExtractFolder(std::u16string& folder) = 0;
    // The burn dialog for a disc image.
    virtual int BurnImage(std::u16string_view imagePath) = 0;
    // The make-image dialog with the menu entry's argument.
    virtual int MakeImage(std::u16string_view argument) = 0;
};

namespace detail {
class NoCommandFileDialogs : public ICommandFileDialogs {
public:
    int SaveAs(std::u16string_view) override { return -1; }
    int ChooseExtractFolder(std::u16string&) override { return -1; }
    int BurnImage(std::u16string_view) override { return -1; }
    int MakeImage(std::u16string_view) override { return -1; }
};
}  // namespace detail

inline foundation::ServiceSlot<ICommandFileDialogs, detail::NoCommandFileDialogs>& CommandFileDialogsSlot() {
    static foundation::ServiceSlot<ICommandFileDialogs, detail::NoCommandFileDialogs> slot;
    return slot;
}
inline ICommandFileDialogs& CommandFileDialogs() { return CommandFileDialogsSlot().Get(); }
inline ICommandFileDialogs* SetCommandFileDialogs(ICommandFileDialogs* dialogs) {
    return CommandFileDialogsSlot().Install(dialogs);
}

}  // namespace app
