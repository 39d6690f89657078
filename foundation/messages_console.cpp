#include "foundation/messages_console.h"

#include "foundation/prompts.h"
#include "platform/format.h"
#include "platform/text.h"

#include <cerrno>
#include <unistd.h>

namespace foundation {

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
    if (atEnd_) return false;
    // One byte at a time: the console's input may be shared with the command
    // processor's own reader, and nothing past this line may be taken from it.
    std::string raw;
    while (true) {
        char c;
        ssize_t n = read(inputFd_, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            atEnd_ = true;
            if (raw.empty()) return false;
            break;
        }
        if (c == '\n') break;
        raw += c;
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    line = platform::Utf8ToUtf16(raw);
    return true;
}

int ConsoleUiServices::ShowMessageBox(const MessageBoxRequest& request) {
    WriteString(request.text);
    WriteString(u"\r\n");
    // Nobody can press a button here: the box answers 0, no button at all, so
    // a Yes/No or OK/Cancel question counts as no, and Abort/Retry/Ignore as
    // neither retry nor ignore.
    (void)request;
    return 0;
}

bool ConsoleUiServices::PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest>) { return false; }

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
            // End of input is cancel whatever was offered: never consent.
            WriteString(u"\r\n");
            return kAskCancel;
        }
        std::u16string answer = platform::ToLower(line);
        while (!answer.empty() && (answer.back() == u' ' || answer.back() == u'\t')) answer.pop_back();
        const size_t blanks = answer.find_first_not_of(u" \t");
        answer.erase(0, blanks == std::u16string::npos ? answer.size() : blanks);
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
