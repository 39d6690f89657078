#pragma once
// The console side of start-up: whether the switches ask for console mode, and
// the console run itself (commands, command files, exit code).

namespace cmdline {

bool WantsConsole(int argc, char** argv);
int RunConsole(int argc, char** argv);

}  // namespace cmdline
