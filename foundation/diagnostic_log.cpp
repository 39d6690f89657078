#include "foundation/diagnostic_log.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <vector>

#include "codecs/deflate_chain.h"
#include "foundation/file_io.h"
#include "foundation/messages.h"
#include "foundation/progress_log_services.h"
#include "foundation/strings.h"
#include "foundation/system_facts.h"
#include "platform/text.h"

namespace foundation {
namespace {

constexpr char16_t kLogStartText[] = u"Quendravine Log Start";
constexpr char16_t kLogEndText[] = u"Quendravine Log End";
constexpr char16_t kLogVersionText[] = u"2.8";
constexpr size_t kZeroTailBytes = 8;
// The chain coder's own contract: room for the input plus 65536 bytes. The
// block never exceeds 2048 bytes, but the encoder is told the real capacity
// rather than trusted to stay inside a guess.
constexpr size_t kOutputCapacity = kLogBlockBytes + 65536;

struct LogState {
    FileHandle file = nullptr;
    std::u16string path;
    std::vector<uint8_t> text;     // kLogBlockBytes, the block not yet full
    size_t fill = 0;
    uint64_t offset = 0;           // where the current block is written
    std::vector<uint8_t> output;   // compressed and scrambled block + zero tail
    uint8_t key = kLogFirstKey;
};

// The lock exists before any log does, so a line from a worker thread that
// races LogStart never meets an uncreated lock.
std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}

LogState& State() {
    static LogState state;
    return state;
}

void CloseLocked(LogState& s) {
    SafeCloseHandle(s.file);
    s.file = nullptr;
    s.text.clear();
    s.text.shrink_to_fit();
    s.output.clear();
    s.output.shrink_to_fit();
    s.fill = 0;
}

// Compresses, scrambles and writes the current block at the current offset.
// Returns the block's length on disk, 0 when the log had to close.
size_t CommitLocked(LogState& s) {
    std::fill(s.output.begin(), s.output.end(), 0);
    int64_t chainLength = codecs::DeflateCompressBuffer(s.text.data(), s.output.data(), s.fill,
                                                            s.output.size() - kZeroTailBytes);
    if (chainLength < 12) {
        CloseLocked(s);
        return 0;
    }
    size_t length = static_cast<size_t>(chainLength);
    s.output[3] = s.key;
    for (size_t i = 4; i < length; ++i) {
        s.output[i] ^= s.key;
        s.key = static_cast<uint8_t>(s.key + kLogKeyStep);
    }
    // The 8 zero bytes end the stream here until the next block overwrites them.
    std::memset(s.output.data() + length, 0, kZeroTailBytes);
    int64_t written = WriteFileAt(s.file, s.output.data(), s.offset, length + kZeroTailBytes);
    if (written != static_cast<int64_t>(length + kZeroTailBytes)) {
        // A full disk or a lost file ends tracing silently; what was written
        // before stays readable up to the last complete block.
        CloseLocked(s);
        return 0;
    }
    return length;
}

void AppendLocked(LogState& s, const std::string& bytes, bool commit) {
    size_t pos = 0;
    while (pos < bytes.size() && s.file) {
        size_t take = std::min(kLogBlockBytes - s.fill, bytes.size() - pos);
        std::memcpy(s.text.data() + s.fill, bytes.data() + pos, take);
        s.fill += take;
        pos += take;
        if (s.fill == kLogBlockBytes) {
            size_t length = CommitLocked(s);
            if (length == 0) return;
            s.offset += length;
            s.fill = 0;
        } else if (commit) {
            // Not full: written in place, so the next commit rewrites it longer.
            CommitLocked(s);
        }
    }
}

std::u16string TimePrefix() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return platform::Format(u"%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
}

// Converted outside the lock into a buffer of the caller's own, so threads
// logging at once never share conversion space.
std::string ToLogBytes(bool timeStamp, std::u16string_view text) {
    std::u16string full;
    if (timeStamp) full = TimePrefix();
    full.append(text);
    std::string bytes;
    if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi, full, bytes)) bytes = platform::Utf16ToUtf8(full);
    return bytes;
}

}  // namespace

bool LogStart(std::u16string_view path) {
    {
        std::lock_guard<std::mutex> guard(LogLock());
        LogState& s = State();
        if (s.file) CloseLocked(s);
    }
    FileHandle file = CreateOutputFile(path);
    if (!file) return false;
    {
        std::lock_guard<std::mutex> guard(LogLock());
        LogState& s = State();
        try {
            s.text.assign(kLogBlockBytes, 0);
            s.output.assign(kOutputCapacity + kZeroTailBytes, 0);
        } catch (const std::bad_alloc&) {
            SafeCloseHandle(file);
            s.text.clear();
            s.output.clear();
            AppMessageBox(LangString(30810), kMbIconStop);
            return false;
        }
        s.file = file;
        s.path = std::u16string(path);
        s.fill = 0;
        s.offset = 0;
        s.key = kLogFirstKey;
    }
    LogPrintf(true, true, u"%s(%s) %d\r\n", kLogStartText, kLogVersionText, GetWindowsKind());
    return LogIsOpen();
}

void LogEnd() {
    LogPrintf(true, true, u"%s\r\n", kLogEndText);
    std::lock_guard<std::mutex> guard(LogLock());
    LogState& s = State();
    if (s.file) CloseLocked(s);
}

bool LogIsOpen() {
    std::lock_guard<std::mutex> guard(LogLock());
    return State().file != nullptr;
}

void LogString(bool commit, bool timeStamp, std::u16string_view text) {
    if (!LogIsOpen()) return;
    std::string bytes = ToLogBytes(timeStamp, text);
    std::lock_guard<std::mutex> guard(LogLock());
    LogState& s = State();
    if (s.file) AppendLocked(s, bytes, commit);
}

void LogHexDump(bool commit, const uint8_t* bytes, size_t count) {
    if (!LogIsOpen()) return;
    if (count == 0 || !bytes) {
        LogString(commit, false, u"\r\n");
        return;
    }
    // The whole dump is built first and appended under one lock hold, so lines
    // of other threads never fall between its lines.
    std::u16string text;
    size_t fullLines = count / 16;
    size_t rest = count % 16;
    for (size_t line = 0; line < fullLines; ++line) {
        for (size_t i = 0; i < 16; ++i) text += platform::Format(u"%02x ", bytes[line * 16 + i]);
        text += u"\r\n";
    }
    if (rest != 0) {
        const uint8_t* tail = bytes + fullLines * 16;
        for (size_t i = 0; i < rest; ++i) text += platform::Format(u"%02x ", tail[i]);
        // Remainders of 6, 10 and 12 bytes (common command-block lengths) end
        // as a line of their own; the other remainders are the same bytes
        // followed by the line end, which reads identically.
        text += u"\r\n";
    }
    LogString(commit, false, text);
}

void ProgressLogString(std::u16string_view text) { foundation::AddProgressLogLine(text); }

std::u16string DocumentsFolder() {
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home ? home : "/";
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string dirsFile = (configHome && *configHome ? std::string(configHome) : homeDir + "/.config") +
                           "/user-dirs.dirs";
    std::ifstream in(dirsFile);
    std::string line;
    while (std::getline(in, line)) {
        // XDG_DOCUMENTS_DIR="$HOME/Documents", as xdg-user-dir reads it.
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value = homeDir + value.substr(5);
        if (!value.empty() && value[0] == '/' && platform::DirectoryExists(platform::Utf8ToUtf16(value))) {
            return platform::Utf8ToUtf16(value);
        }
    }
    return platform::Utf8ToUtf16(homeDir);
}

std::u16string TraceLogPath() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    std::u16string folder = DocumentsFolder();
    if (folder.empty() || folder.back() != u'/') folder += u'/';
    return folder + platform::Format(u"Quendravine-%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d.log", t.tm_year + 1900,
                                     t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

bool StartTracingMode() {
    std::u16string path = TraceLogPath();
    if (!LogStart(path)) return false;
    AppMessageBox(platform::Format(u"Quendravine is in tracing mode now. All tracing information will be written to %s.",
                                   path),
                  kMbIconInformation);
    return true;
}

}  // namespace foundation
