#pragma once
// The link to the console front end: the three FIFOs named after the
// program's process id ("\\.\pipe\<pid>cout", "<pid>cin", "<pid>cerr") that
// become standard output, input and error, and the session lock
// "zarn_sem_<pid>" that the front end holds while it waits.

#include <string>

namespace cmdline {

std::u16string ConsolePipeName(int pid, const char16_t* stream);   // stream: u"cout", u"cin", u"cerr"
std::u16string ConsoleSessionName(int pid);

// Whether the front end has made this process's FIFOs.
bool ConsolePipesPresent(int pid);
// Opens the FIFOs in the order cout, cin, cerr (the front end opens its ends in
// the same order) and puts them on descriptors 1, 0 and 2. False when any
// cannot be opened within the time; nothing is changed then.
bool BindConsolePipes(int pid, int timeoutMs);

// True while the front end holds the session lock of this process.
bool ConsoleSessionAlive();
// The id whose session ConsoleSessionAlive asks for (tests name another).
void SetConsoleSessionId(int pid);

// "\r\n", "Quendravine Version 2.8", the help hint and a blank line.
void PrintConsoleBanner();
// "<E1>" when the flag is set, else "<E0>": the front end's echo markers.
void ConsoleWriteResultMarker(bool flag);

}  // namespace cmdline
