// The one program that is both the window program and the console command
// processor. The switches decide first, so console mode never constructs a
// QApplication and runs without a display.

#include "app/ui/window_program.h"
#include "cmdline/console_start.h"

int main(int argc, char** argv) {
    if (cmdline::WantsConsole(argc, argv)) return cmdline::RunConsole(argc, argv);
    return app::ui::RunWindowProgram(argc, argv);
}
