#pragma once
// The console side of start-up: whether the switches ask for console mode, and
// the console run itself (commands, command files, exit code).

namespace cmdline {

// True for the helper modes ("-ii1", "-ii2") and when the console front end
// made this process's pipes (then bound here). Otherwise the window program
// follows: a command file named after "-pf"/"-pfh" is loaded and left as the
// window program's startup action (app/startup_actions.h).
bool WantsConsole(int argc, char** argv);
int RunConsole(int argc, char** argv);
// After RunConsole: true when the command asked the window program to follow
// ("create-lang-file"); console mode has then been left.
bool ContinuesAsWindowProgram();

}  // namespace cmdline
