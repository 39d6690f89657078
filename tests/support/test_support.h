#pragma once
// Helpers shared by the tests: private scratch folders and running the peer
// tools (xorriso, isoinfo, 7z, ...) that make fixtures and read back our output.

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

// A private folder (mode 0700) removed with everything in it when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct CommandResult {
    int exitCode = -1;   // exit status, or -1 when the command could not run or was killed
    std::string output;  // standard output and standard error, interleaved
};

// Runs a shell command line (tests only; the program itself never uses a shell).
CommandResult Run(const std::string& commandLine);

// Runs a command and fails the current test when it does not exit with 0.
std::string RunOk(const std::string& commandLine);

// Quotes one argument for a shell command line.
std::string ShellQuote(const std::string& arg);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const void* data, size_t size);
void WriteFileText(const std::string& path, const std::string& text);

}  // namespace qvtest
