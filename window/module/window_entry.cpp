// The one entry of the window half (libqvwindow.so). The program loads this
// library only when it starts as a window program, so console runs never map
// Qt or the window code; everything below the window layer is the program's
// own copy, which this library binds to when it loads.

#include "window/frame/window_program.h"

extern "C" __attribute__((visibility("default"))) int qv_run_window_program(int argc, char** argv) {
    return app::ui::RunWindowProgram(argc, argv);
}
