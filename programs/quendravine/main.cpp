// The one program that is both the window program and the console command
// processor. The switches decide first, so console mode never constructs a
// QApplication and runs without a display.

#include "window/frame/window_program.h"
#include "cmdline/console_start.h"
#include "cmdline/front_end_arguments.h"
#include "shellext/shell_integration.h"

// The sanitizer build's leak check: the desktop's bus and font libraries keep
// a few allocations until the process ends, which are none of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    cmdline::TakeFrontEndArguments(argc, argv);
    shellext::InstallShellIntegration();
    if (cmdline::WantsConsole(argc, argv)) {
        const int code = cmdline::RunConsole(argc, argv);
        if (!cmdline::ContinuesAsWindowProgram()) return code;
    }
    return app::ui::RunWindowProgram(argc, argv);
}
