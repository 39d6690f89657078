#pragma once
// The diagnostic log of tracing mode: drive commands, volume locks, burn
// messages and hex dumps of command data. Text gathers in a 2048-byte block;
// each block goes to disk compressed as a deflate-variant chain and scrambled
// with a running key, followed by 8 zero bytes, so the file stays a complete,
// readable stream even when the program ends abruptly.
//
// One block on disk (little-endian):
//   +0  3 bytes   uncompressed length of the block's text (at most 2048)
//   +3  1 byte    the key used for the byte at +4
//   +4  uint32    compressed length n               } scrambled: byte i is
//   +8  n bytes   the piece of the chain            } XOR-ed with the key, which
//   +8+n uint32   0, the end of the chain           } then grows by 17
// The key starts at 0x6B and runs on across blocks and rewrites of a block.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/format.h"

namespace foundation {

constexpr size_t kLogBlockBytes = 2048;
constexpr uint8_t kLogFirstKey = 0x6B;
constexpr uint8_t kLogKeyStep = 17;

// Opens the log (asking before overwriting an existing file) and writes the
// start line. False when the file could not be created or memory ran out.
bool LogStart(std::u16string_view path);
// Writes the end line and closes the log.
void LogEnd();
// True while a log is open (the process-wide tracing flag).
bool LogIsOpen();

// Appends text, with the local "%02d:%02d:%02d " prefix when timeStamp is set;
// commit writes the block out now (rewriting it in place when not full).
void LogString(bool commit, bool timeStamp, std::u16string_view text);
template <typename... Args>
void LogPrintf(bool commit, bool timeStamp, std::u16string_view format, const Args&... args) {
    if (LogIsOpen()) LogString(commit, timeStamp, platform::Format(format, args...));
}
// Hex lines of 16 "%02x " items; see the .cpp for the remainder rules.
void LogHexDump(bool commit, const uint8_t* bytes, size_t count);

// A line in the message list of the open progress dialog (not the log file).
template <typename... Args>
void ProgressLogPrintf(std::u16string_view format, const Args&... args);
void ProgressLogString(std::u16string_view text);

// The log file's path for tracing started now:
// "<documents>/Quendravine-YYYYMMDDhhmmss.log" in local time. The documents
// folder is XDG_DOCUMENTS_DIR of the user's user-dirs.dirs, else $HOME.
std::u16string TraceLogPath();
std::u16string DocumentsFolder();
// Starts tracing as the main window does: opens the log at TraceLogPath() and
// tells the user where it goes. False when the log could not be started.
bool StartTracingMode();

template <typename... Args>
void ProgressLogPrintf(std::u16string_view format, const Args&... args) {
    ProgressLogString(platform::Format(format, args...));
}

}  // namespace foundation
