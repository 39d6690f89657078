#pragma once
// Starting other programs: from an argv array with posix_spawn, never through
// a shell, so arguments with spaces, quotes or any other characters arrive as
// given. A waiter thread reaps each child; Wait answers kWaitObject0 once it
// has ended, kWaitTimeout before.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct ProcessStartOptions {
    // Empty: the caller's current folder.
    std::u16string workingFolder;
    // Descriptors for the child's standard streams; -1 keeps the caller's.
    int stdinFd = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
};

class Process {
public:
    // argv[0] is the program: a path, or a bare name looked up in PATH. Null
    // with kErrorFileNotFound (no such program), kErrorAccessDenied (not
    // executable), kErrorInvalidName (a lone surrogate or NUL in an argument)
    // or kErrorInvalidParameter (no argv).
    static std::unique_ptr<Process> Start(const std::vector<std::u16string>& argv,
                                          const ProcessStartOptions& options = {});
    // Closing the object neither waits for nor ends the child.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    uint32_t Wait(uint32_t timeoutMs);
    // kStillActive while it runs; its exit status once ended, or 128 + the
    // signal's number when a signal ended it (as shells report it).
    uint32_t ExitCode() const;
    // Ends it at once (SIGKILL); true when it had already ended too.
    bool Terminate();
    int Id() const;

private:
    struct State;
    Process() = default;
    std::shared_ptr<State> state_;
};

}  // namespace platform
