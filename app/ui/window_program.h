#pragma once
// The window side of start-up: the application object, the main frame and its
// message loop. Returns the process exit code.

namespace app::ui {

int RunWindowProgram(int argc, char** argv);

}  // namespace app::ui
