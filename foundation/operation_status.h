#pragma once
// The process-wide values of the one current operation: its result code, the
// error text that overrides the system text, the file being read, the standing
// overwrite answer, and the mode flags the front ends set. Workers write them
// while the window thread reads them, so the numbers are atomic and the texts
// sit behind a lock.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// Result of the current operation, set to 0 by ResetOperationStatus.
extern std::atomic<int32_t> OperationStatus;

enum : int32_t {
    kStatusNone = 0,
    kStatusCancelled = 1,          // also "no space" in FAT writing
    kStatusFailed = 2,             // open, save or convert failed
    kStatusWriteFailed = 3,        // a sector write of the output failed
    kStatusSourceReadFailed = 4,   // source read failed or a source changed its size
    kStatusCannotCreate = 5,       // a folder or file could not be created
    kStatusOutOfMemory = 6,
    kStatusSourceOpenFailed = 10,
    kStatusImageReadError = 11,    // unexpected end of the image, read error
    kStatusFatWriteFailed = 16,
};

// -1 none; 2 yes to all, 3 no to all, 4 cancel (stored by the add and extract
// code when a prompt returns one of them).
extern std::atomic<int32_t> StandingOverwriteAnswer;

// Set by the command-line front end when the program runs as a console
// command processor.
extern std::atomic<bool> ConsoleMode;
// Started with "-ii1" (virtual-drive settings) or "-ii2" (mount from the shell
// extension).
extern std::atomic<bool> LaunchedVirtualDriveMode;
extern std::atomic<bool> LaunchedMountMode;
// Set by the command-file runner: existing files are overwritten without asking.
extern std::atomic<bool> OverwriteAll;
// True while AppMessageBox shows a box or writes to the console.
extern std::atomic<bool> MessageBoxOpen;

// OperationStatus = 0 and the current file name cleared.
void ResetOperationStatus();

// The file (or volume) being read, named in read-error messages.
void SetCurrentFileName(std::optional<std::u16string_view> path);
std::optional<std::u16string> GetCurrentFileName();

// The override text: at most 511 characters are kept. Null (nothing) empties it
// and sets the system last error to 0.
inline constexpr size_t kLastErrorTextMaxChars = 511;
void SetLastErrorText(std::optional<std::u16string_view> text);
std::u16string GetLastErrorTextOverride();

// A request a writer will not carry out (an option out of range, a volume
// count past the naming style): the override text says why, and the last error
// is 87 (invalid parameter), so the caller's message shows our text.
void Refuse(std::u16string_view text);

// Every value above back to its start (tests).
void ResetProcessStateForTests();

}  // namespace foundation
