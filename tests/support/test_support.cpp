#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace qvtest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qvtest-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed for " << tmpl;
        return;
    }
    path_ = buf.data();
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        Run("chmod -R u+rwx " + ShellQuote(path_) + " 2>/dev/null; rm -rf " + ShellQuote(path_));
    }
}

std::string ShellQuote(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

CommandResult Run(const std::string& commandLine) {
    CommandResult result;
    std::string full = "(" + commandLine + ") 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return result;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
    int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

std::string RunOk(const std::string& commandLine) {
    CommandResult r = Run(commandLine);
    EXPECT_EQ(r.exitCode, 0) << "command failed: " << commandLine << "\n" << r.output;
    return r.output;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteFileText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, text.data(), text.size());
}

}  // namespace qvtest
