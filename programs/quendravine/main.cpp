// The one program that is both the window program and the console command
// processor. The switches decide first, so console mode never constructs a
// QApplication and runs without a display. The window half lives in
// libqvwindow.so beside the program and is loaded only when a window is to
// be shown: a console run neither maps Qt nor pays for its start-up.

#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "cmdline/console_start.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "cmdline/front_end_arguments.h"
#include "shellext/shell_integration.h"

// The sanitizer build's leak check: the desktop's bus and font libraries keep
// a few allocations until the process ends, which are none of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}

namespace {

int RunWindowHalf(int argc, char** argv) {
    std::u16string folder;
    const std::string path =
        (platform::GetProgramFolder(folder) ? platform::Utf16ToUtf8(folder) + "/" : std::string()) + "libqvwindow.so";
    // Kept loaded to the end: Qt's exit handlers run from its code.
    void* half = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    using Entry = int (*)(int, char**);
    Entry entry = half ? reinterpret_cast<Entry>(::dlsym(half, "qv_run_window_program")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "quendravine: cannot load the window program (%s): %s\n", path.c_str(),
                     half ? "no entry" : ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    cmdline::TakeFrontEndArguments(argc, argv);
    shellext::InstallShellIntegration();
    if (cmdline::WantsConsole(argc, argv)) {
        const int code = cmdline::RunConsole(argc, argv);
        if (!cmdline::ContinuesAsWindowProgram()) return code;
    }
    return RunWindowHalf(argc, argv);
}
