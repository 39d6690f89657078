#include "cmdline/console_start.h"

#include <cstdio>

namespace cmdline {

bool WantsConsole(int, char**) { return false; }

int RunConsole(int, char**) {
    std::fputs("quendravine: console mode is not available yet\n", stderr);
    return 1;
}

}  // namespace cmdline
