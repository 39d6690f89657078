#include "foundation/messages_console.h"

#include "foundation/prompts.h"
#include "platform/format.h"
#include "platform/text.h"

#include <cerrno>
#include <unistd.h>

namespace foundation {

namespace {

// The cancelling choice among those offered: what end of input answers.
int CancellingChoice(uint32_t choices) {
    if (choices & kAskCancel) return kAskCancel;
    if (choices & kAskNo) return kAskNo;
    if (choices & kAskOk) return kAskOk;
    return kAskYes;
}

}  // namespace

ConsoleUiServices::ConsoleUiServices(int inputFd, int outputFd) : inputFd_(inputFd), outputFd_(outputFd) {}

void ConsoleUiServices::WriteString(std::u16string_view text) {
    std::string bytes = platform::Utf16ToUtf8(text);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(outputFd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

bool ConsoleUiServices::ReadLine(std::u16string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    while (true) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string raw = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!raw.empty() && raw.back() == '\r') raw.pop_back();
            line = platform::Utf8ToUtf16(raw);
            return true;
        }
        if (atEnd_) {
            if (pending_.empty()) return false;
            line = platform::Utf8ToUtf16(pending_);
            pending_.clear();
            return true;
        }
        char buffer[512];
        ssize_t n = read(inputFd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            atEnd_ = true;
            continue;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

int ConsoleUiServices::ShowMessageBox(const MessageBoxRequest& request) {
    WriteString(request.text);
    WriteString(u"\r\n");
    // Nobody can press a button here: the box answers its refusing button, so
    // an OK/Cancel question is cancelled and a Yes/No question counts as no.
    return RefusingAnswer(request.flags);
}

bool ConsoleUiServices::PostUserPrompt(std::shared_ptr<dialogs::UserPromptRequest>) { return false; }

int ConsoleUiServices::AskFileExistsOnConsole(std::u16string_view name, std::u16string_view text) {
    while (true) {
        WriteString(platform::Format(u"%s: %s", name, text));
        WriteString(u"(Yes/No/YesAll/NoAll/Cancel):");
        std::u16string line;
        if (!ReadLine(line)) {
            WriteString(u"\r\n");
            return 4;
        }
        int answer = ParseFileExistsAnswer(line);
        if (answer >= 0) {
            WriteString(u"\r\n");
            return answer;
        }
    }
}

int ConsoleUiServices::ConsoleAskString(std::u16string_view prompt, uint32_t choices) {
    std::u16string offered;
    struct Choice {
        uint32_t flag;
        std::u16string_view shown;
    };
    static constexpr Choice kShown[] = {{kAskYes, u"y"}, {kAskNo, u"n"}, {kAskOk, u"Ok"}, {kAskCancel, u"Cancel"}};
    for (const Choice& c : kShown) {
        if (!(choices & c.flag)) continue;
        if (!offered.empty()) offered += u'/';
        offered += c.shown;
    }
    while (true) {
        WriteString(platform::Format(u"%s(%s): ", prompt, offered));
        std::u16string line;
        if (!ReadLine(line)) {
            WriteString(u"\r\n");
            return CancellingChoice(choices);
        }
        std::u16string answer = platform::ToLower(line);
        while (!answer.empty() && (answer.back() == u' ' || answer.back() == u'\t')) answer.pop_back();
        if ((choices & kAskYes) && (answer == u"yes" || answer == u"y")) return kAskYes;
        if ((choices & kAskNo) && (answer == u"no" || answer == u"n")) return kAskNo;
        if ((choices & kAskOk) && (answer == u"ok" || answer == u"o")) return kAskOk;
        if ((choices & kAskCancel) && (answer == u"cancel" || answer == u"c")) return kAskCancel;
    }
}

void ConsoleUiServices::BurnLogWarning(std::u16string_view text) {
    WriteString(text);
    WriteString(u"\r\n");
}

}  // namespace foundation
