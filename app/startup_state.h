#pragma once
// What the window program and the command-line front end share about start-up
// and automation: the file to open once the frame is up, the automation flags
// another process reads through the frame, and the start-up action of the
// switches. The console front end fills them (it is no window code, so they
// live here, below both); until it installs its start-up action, the window
// program opens the file named on its command line.

#include <cstdint>
#include <string>

#include "foundation/services.h"

namespace app {

// The full path of the file to open after the first paint; empty for none.
inline std::u16string g_StartupFile;
// Set by the command-line executor: 1 ends the program once the default
// document is made.
inline int32_t g_ExitAfterStartup = 0;
// The "-auto" switch.
inline int32_t g_AutoMode = 0;
// 0 or 1, set by automation message type 2; commands clear it when they end.
inline int32_t g_AutomationDone = 0;
// A path handed over by another process for the next add in auto mode.
inline std::u16string g_AutomationPath;
// 0x5A5A0000 once the default document is made, plus 1 at the first paint.
inline uint32_t g_ReadyCounter = 0;
inline constexpr uint32_t kReadyMark = 0x5A5A0000;

// The switches' side of start-up.
class IStartupActionServices {
public:
    virtual ~IStartupActionServices() = default;
    // Reads the start-up switches once the frame exists.
    virtual void ParseStartupArguments(int argc, char** argv) = 0;
    // True when something is to run after the first paint.
    virtual bool HasStartupAction() = 0;
    // Runs it (on the window thread, the frame disabled meanwhile). -1: the
    // window program goes on; otherwise the exit code the program ends with
    // (a command file that ended with EXIT).
    virtual int RunStartupAction() = 0;
};

// Without the front end's parser: the first argument that is not a switch is
// the file to open; opening it is the start-up action.
class StartupFileStandIn : public IStartupActionServices {
public:
    void ParseStartupArguments(int argc, char** argv) override;
    bool HasStartupAction() override { return !g_StartupFile.empty(); }
    int RunStartupAction() override;
};

inline foundation::ServiceSlot<IStartupActionServices, StartupFileStandIn>& StartupActionServicesSlot() {
    static foundation::ServiceSlot<IStartupActionServices, StartupFileStandIn> slot;
    return slot;
}
inline IStartupActionServices& StartupActionServices() { return StartupActionServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IStartupActionServices* SetStartupActionServices(IStartupActionServices* services) {
    return StartupActionServicesSlot().Install(services);
}

}  // namespace app
