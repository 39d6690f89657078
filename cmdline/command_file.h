#pragma once
// Command files: lines "-c WORD argument" in UTF-16LE that other programs (the
// shell extension above all) write for the window program, which loads them
// at start-up ("-pf"/"-pfh" path) and runs them once its window is up. The
// file decides what runs, so only a regular file of this user that nobody
// else can write is read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

struct ScriptCommand {
    std::u16string word;
    std::optional<std::u16string> argument;   // the rest of the line, inner and trailing blanks kept
};

// Largest command file read.
constexpr uint64_t kMaxCommandFileBytes = 64ull << 20;

// The commands of the text, in order: lines whose first word is exactly "-c"
// and that have a command word. A leading byte-order mark is skipped.
std::vector<ScriptCommand> ParseCommandFileText(std::u16string_view text);

// Reads and parses the file (one leading and one trailing double quote of the
// path are dropped). False, with nothing queued, when it is not a regular file
// owned by this user and closed to group and others' writes, is larger than
// kMaxCommandFileBytes, or cannot be read. A file in the program's runtime
// folder is removed once read.
bool LoadCommandFile(std::u16string_view path, std::vector<ScriptCommand>& commands);

// How a run ended.
enum class CommandRunEnd { Finished, Stopped, Exit };

// Runs the commands from the front, removing each; stops (dropping the rest)
// at an unknown word, a failed step or a nonzero OperationStatus. EXIT and
// EMAIL end the run with Exit (the caller ends the process with 0).
CommandRunEnd RunCommandList(std::vector<ScriptCommand>& commands);

// For the window program's start-up: loads the file named after "-pf"/"-pfh"
// and installs the startup action that runs it. False when the arguments name
// no command file.
bool InstallCommandFileAction(int argc, char** argv);

}  // namespace cmdline
