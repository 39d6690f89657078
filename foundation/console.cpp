#include "foundation/console.h"

#include <errno.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "foundation/deletion_queue.h"
#include "foundation/diagnostic_log.h"
#include "platform/text.h"

namespace foundation {
namespace {

struct ConsoleState {
    std::mutex lock;   // one writer at a time: workers and the command thread share the console
    int inputFd = 0;
    int outputFd = 1;
    uint64_t total = 0;
    uint64_t done = 0;
    int32_t lastPercent = -1;
    bool tickedOnce = false;
    std::chrono::steady_clock::time_point lastTick{};
    std::chrono::steady_clock::time_point lastSessionCheck{};
};

ConsoleState& State() {
    static ConsoleState state;
    return state;
}

// Commits the diagnostic log, then ends without running static destructors
// under threads that may still be working.
[[noreturn]] void EndProcessConsoleLost() {
    if (foundation::LogIsOpen()) foundation::LogEnd();
    // Half-written outputs go with the process.
    DeleteQueuedFiles();
    std::fflush(nullptr);
    _exit(kExitConsoleLost);
}

// Writes all bytes; false when the stream is gone. SIGPIPE is held back for the
// write and consumed, so a closed pipe is a failed write here, not a kill.
bool WriteAll(int fd, const std::string& bytes) {
    sigset_t pipeSet, oldSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
    const bool wasPending = [&] {
        sigset_t pending;
        sigpending(&pending);
        return sigismember(&pending, SIGPIPE) == 1;
    }();
    size_t at = 0;
    bool ok = true;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        at += size_t(n);
    }
    if (!ok && !wasPending) {
        const timespec zero{0, 0};
        sigtimedwait(&pipeSet, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
    return ok;
}

// The front end's session is asked at most every 100 ms: a listing of many
// lines pays for one check, not one per line.
void CheckSessionLocked(ConsoleState& s) {
    IConsoleSessionServices* session = ConsoleSessionServicesSlot().Installed();
    if (!session) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - s.lastSessionCheck < std::chrono::milliseconds(100)) return;
    s.lastSessionCheck = now;
    if (!session->SessionAlive()) EndProcessConsoleLost();
}

void WriteLocked(ConsoleState& s, std::u16string_view text) {
    if (!WriteAll(s.outputFd, platform::Utf16ToUtf8(text))) EndProcessConsoleLost();
    CheckSessionLocked(s);
}

// One line without its end; false at end of input (or a read error) with
// nothing read.
bool ReadLine(int fd, std::u16string& line) {
    std::string bytes;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (bytes.empty()) return false;
            break;
        }
        if (c == '\n') break;
        bytes.push_back(c);
    }
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    line = platform::Utf8ToUtf16(bytes);
    return true;
}

std::u16string Trim(std::u16string_view t) {
    size_t b = 0, e = t.size();
    while (b < e && (t[b] == u' ' || t[b] == u'\t')) ++b;
    while (e > b && (t[e - 1] == u' ' || t[e - 1] == u'\t')) --e;
    return std::u16string(t.substr(b, e - b));
}

int32_t PercentOf(uint64_t done, uint64_t total) {
    if (total == 0) return -1;
    // done * 100 could pass 2^64 for absurd byte counts; divide first then.
    const uint64_t p = done <= UINT64_MAX / 100 ? done * 100 / total : done / total * 100;
    return p > 100 ? 100 : int32_t(p);
}

void PrintPercentLocked(ConsoleState& s, int32_t percent) {
    WriteLocked(s, platform::Format(u"\b\b\b\b\b\b%5d%%", percent));
    s.lastPercent = percent;
}

void ReprintIfChangedLocked(ConsoleState& s) {
    const int32_t p = PercentOf(s.done, s.total);
    if (p >= 0 && p != s.lastPercent) PrintPercentLocked(s, p);
}

}  // namespace

std::u16string EscapeEchoMarkers(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const std::u16string_view rest = text.substr(i);
        if (rest.size() >= 4 && rest[0] == u'<' && rest[1] == u'E' && (rest[2] == u'0' || rest[2] == u'1') &&
            rest[3] == u'>')
            out += u'<';
        out += text[i];
    }
    return out;
}

void ConsoleWriteString(std::u16string_view text) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    WriteLocked(s, EscapeEchoMarkers(text));
}

void ConsoleWriteEchoMarker(bool echoOn) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    WriteLocked(s, echoOn ? u"<E1>" : u"<E0>");
}

int32_t ConsoleAskString(const char16_t* prompt, uint32_t choices) {
    if (prompt == nullptr) return -1;
    std::u16string offered;
    auto offer = [&](uint32_t flag, const char16_t* word) {
        if (!(choices & flag)) return;
        if (!offered.empty()) offered += u'/';
        offered += word;
    };
    offer(kChoiceYes, u"y");
    offer(kChoiceNo, u"n");
    offer(kChoiceOk, u"Ok");
    offer(kChoiceCancel, u"Cancel");
    const std::u16string question = std::u16string(prompt) + u"(" + offered + u"): ";

    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    for (;;) {
        WriteLocked(s, EscapeEchoMarkers(question));
        std::u16string line;
        if (!ReadLine(s.inputFd, line)) return kChoiceCancel;
        const std::u16string answer = platform::ToLower(Trim(line));
        struct Word {
            const char16_t* full;
            const char16_t* abbreviation;
            int32_t flag;
        };
        for (const Word& w : {Word{u"yes", u"y", kChoiceYes}, Word{u"no", u"n", kChoiceNo},
                              Word{u"ok", u"o", kChoiceOk}, Word{u"cancel", u"c", kChoiceCancel}}) {
            if ((choices & uint32_t(w.flag)) && (answer == w.full || answer == w.abbreviation))
                return w.flag;
        }
    }
}

void ConsoleProgressBegin(std::u16string_view title, uint64_t total) {
    ConsoleProgressTitle(title);
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.total = total;
    s.done = 0;
}

void ConsoleProgressSet(uint64_t done) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.done = done;
    ReprintIfChangedLocked(s);
}

void ConsoleProgressAdd(uint64_t amount) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.done = amount > UINT64_MAX - s.done ? UINT64_MAX : s.done + amount;
    ReprintIfChangedLocked(s);
}

void ConsoleProgressPercent(uint64_t done, uint64_t total) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const int32_t p = PercentOf(done, total);
    if (p >= 0 && p != s.lastPercent) PrintPercentLocked(s, p);
}

void ConsoleProgressEnd() {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    PrintPercentLocked(s, 100);
}

void ConsoleProgressTick() {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto now = std::chrono::steady_clock::now();
    if (s.tickedOnce && now - s.lastTick < std::chrono::milliseconds(1000)) return;
    s.tickedOnce = true;
    s.lastTick = now;
    WriteLocked(s, u".");
}

void ConsoleProgressTitle(std::u16string_view text) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    WriteLocked(s, EscapeEchoMarkers(platform::Format(u"%s ... %5d%%", text, 0)));
    s.lastPercent = -1;
}

void SetConsoleStreams(int inputFd, int outputFd) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.inputFd = inputFd;
    s.outputFd = outputFd;
}

void ResetConsoleForTests() {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.inputFd = 0;
    s.outputFd = 1;
    s.total = 0;
    s.done = 0;
    s.lastPercent = -1;
    s.tickedOnce = false;
    s.lastTick = {};
    s.lastSessionCheck = {};
    ConsoleSessionServicesSlot().Install(nullptr);
}

IConsoleSessionServices* SetConsoleSessionServices(IConsoleSessionServices* services) {
    ConsoleState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.lastSessionCheck = {};
    return ConsoleSessionServicesSlot().Install(services);
}

}  // namespace foundation
