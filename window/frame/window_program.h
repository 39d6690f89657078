#pragma once
// The window side of start-up: the application object, the main frame and its
// message loop. Returns the process exit code.

#include <string_view>
#include <vector>

namespace app::ui {

int RunWindowProgram(int argc, char** argv);

// True when a display server can be reached (X11 or Wayland named in the
// environment, or a Qt platform chosen that needs none).
bool HasDisplay();

// The start-up steps of the last run, in the order they ran (tests).
const std::vector<std::string_view>& StartupStepsRun();

}  // namespace app::ui
