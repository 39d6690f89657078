#include "foundation/console_prompts.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "foundation/console.h"
#include "foundation/missing_volumes_question.h"
#include "foundation/operation_status.h"
#include "foundation/volume_file_open.h"
#include "platform/file.h"
#include "platform/text.h"

namespace foundation {
namespace {

// Terminal echo off for the lifetime of the object, when the stream is a terminal.
class EchoOff {
public:
    explicit EchoOff(std::FILE* stream) : fd_(stream ? ::fileno(stream) : -1) {
        if (fd_ < 0 || !::isatty(fd_) || ::tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool Active() const { return active_; }

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

std::u16string Trimmed(std::u16string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
    return std::u16string(text.substr(begin, end - begin));
}

}  // namespace

ConsolePrompts::ConsolePrompts(std::FILE* input, std::FILE* output)
    : input_(input ? input : stdin), output_(output ? output : stdout) {}

void ConsolePrompts::Write(std::u16string_view text) {
    // Paths and names in a question are data: they must not pass for a marker.
    std::string bytes = platform::Utf16ToUtf8(EscapeEchoMarkers(text));
    std::fwrite(bytes.data(), 1, bytes.size(), output_);
    std::fflush(output_);
}

bool ConsolePrompts::ReadLine(std::u16string& line, bool hideInput) {
    std::string bytes;
    // Behind the console front end the input is its pipe, not a terminal: the
    // markers tell the front end to hide what the user types, and to show it
    // again.
    const bool marked = hideInput && ConsoleMode.load();
    auto marker = [this](const char* text) {
        std::fwrite(text, 1, 4, output_);
        std::fflush(output_);
    };
    if (marked) marker("<E0>");
    struct EchoBack {
        decltype(marker)& write;
        bool marked;
        ~EchoBack() {
            if (marked) write("<E1>");
        }
    } echoBack{marker, marked};
    {
        EchoOff echo(hideInput ? input_ : nullptr);
        for (;;) {
            int c = std::fgetc(input_);
            if (c == EOF) {
                if (bytes.empty()) return false;
                break;
            }
            if (c == '\n') break;
            if (c != '\r') bytes.push_back(static_cast<char>(c));
        }
        if (echo.Active()) Write(u"\r\n");
    }
    // A password is taken as typed: spaces at either end are part of it.
    line = hideInput ? platform::Utf8ToUtf16(bytes) : Trimmed(platform::Utf8ToUtf16(bytes));
    return true;
}

void ConsolePrompts::Show(UserPromptRequest& request) {
    AnswerCancel(request);
    std::u16string line;
    switch (request.kind) {
    case prompt_kind::kFileExists:
        for (;;) {
            Write(request.text + u" (Yes/No/YesAll/NoAll/Cancel):");
            if (!ReadLine(line, false)) return;
            std::u16string lower = platform::ToLower(line);
            if (lower == u"yes" || lower == u"y") request.answer = overwrite_answer::kYes;
            else if (lower == u"no" || lower == u"n") request.answer = overwrite_answer::kNo;
            else if (lower == u"yesall") request.answer = overwrite_answer::kYesToAll;
            else if (lower == u"noall") request.answer = overwrite_answer::kNoToAll;
            else if (lower == u"cancel" || lower == u"c") request.answer = overwrite_answer::kCancel;
            else continue;
            Write(u"\r\n");
            return;
        }
    case prompt_kind::kCreateVolume:
        Write(request.text + u" (Ok/Cancel): ");
        if (!ReadLine(line, false)) return;
        line = platform::ToLower(line);
        if (line == u"ok" || line == u"o" || line.empty()) request.answer = kIdOk;
        return;
    case prompt_kind::kVolumeRequired:
    case prompt_kind::kVolumeRequiredByFormat:
        // The volume is opened here, read-only: a volume on read-only media
        // must still open.
        for (;;) {
            Write(request.text + u"\r\nPath of the volume (empty line cancels): ");
            if (!ReadLine(line, false) || line.empty()) return;
            platform::FileHandle file = OpenChosenVolume(line);
            if (!file) {
                Write(u"Can not open " + line + u"\r\n");
                continue;
            }
            request.answer = kIdOk;
            request.outText = line;
            request.outHandle = file;
            return;
        }
    case prompt_kind::kMissingVolumes: {
        // The question names what is missing; the answer is the folder that
        // holds the volumes, or skip where the asker allows it.
        const auto* question = static_cast<const MissingVolumesQuestion*>(request.context);
        std::u16string shown = request.text + u"\r\nVolumes missed or can not be opened:\r\n";
        if (question)
            for (const std::u16string& name : question->missing) shown += u"  " + name + u"\r\n";
        shown += request.data != 0 ? u"Folder of the volumes (Skip skips them; Cancel or an empty line cancels): "
                                   : u"Folder of the volumes (Cancel or an empty line cancels): ";
        Write(shown);
        if (!ReadLine(line, false) || line.empty()) return;
        const std::u16string lower = platform::ToLower(line);
        if (lower == u"cancel" || lower == u"c") return;
        // The asker ignores a skip it does not allow, and asks again.
        if (lower == u"skip" || lower == u"s") {
            request.answer = kIdOk;
            request.outFlag = 1;
            return;
        }
        request.answer = kIdOk;
        request.outText = line;
        return;
    }
    case prompt_kind::kPassword:
        Write(request.text.empty() ? std::u16string(u"Please input password:") : request.text + u" ");
        if (!ReadLine(line, true)) {
            // Input ended (a script, or no terminal): the run must not end in
            // silence after the question.
            Write(u"\r\nNo password was given.\r\n");
            return;
        }
        request.answer = kIdOk;
        request.outText = line;
        return;
    case prompt_kind::kWrongPassword:
        Write(u"Password wrong! Do you want to try again?(y/n): ");
        if (!ReadLine(line, false)) return;
        line = platform::ToLower(line);
        request.answer = (line == u"y" || line == u"yes") ? kIdOk : kIdCancel;
        return;
    case prompt_kind::kChooseSession: {
        ChosenSessionIndex().store(-1);
        Write(request.text + u"\r\nNumber (from 1; empty line cancels): ");
        if (!ReadLine(line, false) || line.empty()) return;
        std::string digits = platform::Utf16ToUtf8(line);
        char* end = nullptr;
        long number = std::strtol(digits.c_str(), &end, 10);
        if (end && *end == '\0' && number >= 1 && number <= 100000) {
            ChosenSessionIndex().store(static_cast<int32_t>(number - 1));
            request.answer = kIdOk;
        }
        return;
    }
    default:
        // The name-change notice and the adding dialog have nothing to ask on
        // a console.
        return;
    }
}

}  // namespace foundation
