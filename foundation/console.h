#pragma once
// The console primitives the engines call when the program runs as a console
// command processor: output, a question with fixed choices, and the progress
// line. They use standard input and output (or the streams set below); the
// command-line front end later routes them to its own pipes.
//
// A console whose front end has gone (a failed write, a lost session) ends the
// process: the command cannot report to anyone. It ends with a non-zero exit
// code through _exit, never exit(), because worker threads may still run.

#include <cstdint>
#include <string_view>

#include "foundation/services.h"
#include "platform/format.h"

namespace foundation {

// Exit code of a process whose console front end has gone.
constexpr int kExitConsoleLost = 3;

// Choice flags of ConsoleAskString and its answers.
enum : int32_t { kChoiceOk = 1, kChoiceCancel = 2, kChoiceYes = 4, kChoiceNo = 8 };

// Writes the text (UTF-8 on the stream) and flushes; ends the process when the
// front end is gone. Text that reads like an echo marker is escaped
// (EscapeEchoMarkers), so data can never switch the user's echo.
void ConsoleWriteString(std::u16string_view text);

// Writes the echo marker itself: "<E1>" (echo on) or "<E0>" (echo off).
void ConsoleWriteEchoMarker(bool echoOn);

// The text with one more "<" before every "<E0>" and "<E1>" it holds: the
// front end takes "<<E0>" as the text "<E0>" and only a bare "<E0>" as the
// marker.
std::u16string EscapeEchoMarkers(std::u16string_view text);

// printf-style output with the program's wide-printf rules (platform/format.h).
template <typename... Args>
void ConsoleWrite(std::u16string_view format, const Args&... args) {
    ConsoleWriteString(platform::Format(format, args...));
}

// Writes the prompt, "(" with the offered choices ("y", "n", "Ok", "Cancel"
// joined by "/") and "): ", reads a line and answers 4 for "yes"/"y", 8 for
// "no"/"n", 1 for "ok"/"o", 2 for "cancel"/"c" (each only when offered, any
// case); any other answer asks again. End of input answers 2 (cancel), whatever
// was offered, so a closed input never loops and never passes for consent.
// -1 when there is no prompt text.
int32_t ConsoleAskString(const char16_t* prompt, uint32_t choices);

// The progress line: a percentage printed as six backspaces and "%5d%%".
void ConsoleProgressBegin(std::u16string_view title, uint64_t total);
void ConsoleProgressSet(uint64_t done);
void ConsoleProgressAdd(uint64_t amount);
void ConsoleProgressPercent(uint64_t done, uint64_t total);
void ConsoleProgressEnd();
// Prints "." at most once per second.
void ConsoleProgressTick();
// Prints "%s ... %5d%%" with the text and 0, and forgets the last percentage
// printed so the next update prints again.
void ConsoleProgressTitle(std::u16string_view text);

// The streams used (file descriptors, not owned); standard input and output by
// default. For the front end's pipes and for tests.
void SetConsoleStreams(int inputFd, int outputFd);
// Whether the console's front end is still there, asked after writes (at
// most every 100 ms); a lost session ends the process as a failed write does.
// The console session installs it; the stand-in has no front end to lose.
class IConsoleSessionServices {
public:
    virtual ~IConsoleSessionServices() = default;
    virtual bool SessionAlive() = 0;
};

namespace detail {
class ConsoleSessionStandIn final : public IConsoleSessionServices {
public:
    bool SessionAlive() override { return true; }
};
}  // namespace detail

inline ServiceSlot<IConsoleSessionServices, detail::ConsoleSessionStandIn>& ConsoleSessionServicesSlot() {
    static ServiceSlot<IConsoleSessionServices, detail::ConsoleSessionStandIn> slot;
    return slot;
}
// Not owned; null restores the stand-in. Returns the services installed before.
// The services installed are asked at the next write.
IConsoleSessionServices* SetConsoleSessionServices(IConsoleSessionServices* services);
// Progress state, streams and session back to their start (tests).
void ResetConsoleForTests();

}  // namespace foundation
