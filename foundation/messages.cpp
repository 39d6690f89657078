#include "foundation/messages.h"

#include "foundation/prompts.h"
#include "foundation/strings.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

#include <mutex>
#include <sys/stat.h>

namespace foundation {

namespace {

std::u16string TwoParts(std::u16string_view first, std::u16string_view second) {
    return platform::Format(u"%s\r\n\r\n%s", first, second);
}

// Read-only in the Windows sense: the owner may not write the file.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

bool ClearReadOnly(const std::string& path, const struct stat& st) {
    if (chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0) return true;
    platform::SetLastErrorFromErrno();
    return false;
}

bool AskYesNo(std::u16string_view path, std::u16string_view text) {
    if (ConsoleMode)
        return CurrentUiServices().ConsoleAskString(platform::Format(u"%s: %s", path, text),
                                                    kAskYes | kAskNo) == static_cast<int>(kAskYes);
    return AppMessageBox(TwoParts(path, text), kMbYesNo | kMbIconQuestion | kMbDefButton2) == kIdYes;
}

struct LastLoggedName {
    std::mutex lock;
    std::optional<std::u16string> name;
};

LastLoggedName& LastLogged() {
    static LastLoggedName last;
    return last;
}

}  // namespace

int AppMessageBox(std::u16string_view text, uint32_t flags) {
    MessageBoxRequest request;
    request.text = std::u16string(text);
    request.flags = flags;
    if (LaunchedVirtualDriveMode) {
        request.face = MessageBoxFace::VirtualDrive;
        request.caption = LangString(kStrVirtualDriveCaption);
    } else if (LaunchedMountMode) {
        request.face = MessageBoxFace::Mount;
        request.caption = u"Quendravine";
    }
    bool wasOpen = MessageBoxOpen.exchange(true);
    int answer = CurrentUiServices().ShowMessageBox(request);
    MessageBoxOpen = wasOpen;
    // The console answers 0, which callers take as no; a window face that
    // could not ask must still give a button the caller knows.
    if (answer != 0 || ConsoleMode) return answer;
    return RefusingAnswer(flags);
}

std::u16string GetLastErrorText() {
    std::u16string text = GetLastErrorTextOverride();
    if (!text.empty()) return text;
    uint32_t code = platform::GetLastError();
    if (code == 0) return {};
    text = platform::ErrorText(code);
    if (text.size() > kLastErrorTextMaxChars) text.resize(kLastErrorTextMaxChars);
    return text;
}

void ShowLastError(std::optional<std::u16string_view> path) {
    std::u16string error = GetLastErrorText();
    AppMessageBox(path ? TwoParts(*path, error) : error, kMbOk | kMbIconStop);
    SetLastErrorText(std::nullopt);
}

int AskRetryOnError(std::optional<std::u16string_view> text, std::optional<std::u16string_view> errorText) {
    std::u16string error = errorText ? std::u16string(*errorText) : GetLastErrorText();
    return AppMessageBox(text ? TwoParts(*text, error) : error, kMbAbortRetryIgnore | kMbIconStop);
}

int AskOverwriteFile(std::u16string_view path) {
    std::string utf8;
    if (!platform::Utf16ToUtf8Strict(path, utf8)) return 0;
    struct stat st;
    if (lstat(utf8.c_str(), &st) != 0) return 0;
    if (S_ISREG(st.st_mode) && IsReadOnly(st)) {
        if (!OverwriteAll && !AskYesNo(path, LangString(kStrFileReadOnlyExists))) return -1;
        if (!ClearReadOnly(utf8, st)) {
            AppMessageBox(TwoParts(path, GetLastErrorText()), kMbOk | kMbIconStop);
            return -1;
        }
        return 0;
    }
    if (OverwriteAll) return 0;
    return AskYesNo(path, LangString(kStrFileExists)) ? 0 : -1;
}

namespace {
int AskOverwriteRequest(std::u16string_view name, void* context, const FileExistsSubject* subject) {
    int32_t standing = StandingOverwriteAnswer;
    if (standing == 2 || standing == 3) return standing;
    if (standing == 4) {
        OperationStatus = kStatusCancelled;
        return 4;
    }
    std::u16string nameText(name);
    auto request = std::make_shared<UserPromptRequest>();
    request->kind = prompt_kind::kFileExists;
    request->data = subject ? subject->direction : 0;
    request->text = LangString(kStrNameExists);
    request->value = reinterpret_cast<intptr_t>(nameText.c_str());
    request->context = context;
    if (subject) request->fileExists = *subject;
    else request->fileExists.itemName = nameText;
    int32_t answer = PromptCancelAnswer(prompt_kind::kFileExists);
    if (RunUserPromptRequest(request) == 0) answer = request->answer;
    if (answer == 4) OperationStatus = kStatusCancelled;
    return answer;
}
}  // namespace

int AskOverwriteName(void* context, std::u16string_view name) { return AskOverwriteRequest(name, context, nullptr); }

int AskOverwrite(const FileExistsSubject& subject) {
    return AskOverwriteRequest(subject.direction == 0 ? subject.itemName : subject.diskPath, nullptr, &subject);
}

int RequireSavedDocument() {
    if (!CurrentUiServices().CurrentDocumentModified()) return 0;
    AppMessageBox(LangString(kStrSaveFirst), kMbOk | kMbIconQuestion);
    return -1;
}

void ReportFileTooBig(std::u16string_view name) {
    AppMessageBox(TwoParts(name, LangString(kStrFileTooBig)), kMbOk | kMbIconInformation);
}

void ReportImageReadWarnings(uint32_t warningBits, std::u16string_view imagePath) {
    using namespace image_warning;
    if ((warningBits & (kUnexpectedEnd | kDirectoryError)) == 0 || imagePath.empty()) return;
    uint32_t id = (warningBits & kDirectoryError) ? kStrDirectoryError : kStrUnexpectedEnd;
    AppMessageBox(LangString(id), kMbOk | kMbIconInformation);
}

void ShowArchiveComment(std::string_view ansiComment) {
    std::u16string wide;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, ansiComment, wide)) return;
    // The comment is limited to what 1024 bytes of it hold, cut between
    // characters: counting bytes before the conversion could split a
    // double-byte character.
    size_t bytes = 0;
    size_t keep = 0;
    while (keep < wide.size()) {
        size_t units = (wide[keep] >= 0xD800 && wide[keep] <= 0xDBFF && keep + 1 < wide.size()) ? 2 : 1;
        std::string encoded;
        if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi,
                                        std::u16string_view(wide).substr(keep, units), encoded))
            encoded = "?";
        if (bytes + encoded.size() > kArchiveCommentMaxBytes) break;
        bytes += encoded.size();
        keep += units;
    }
    wide.resize(keep);
    AppMessageBox(wide, kMbOk | kMbIconInformation);
}

void LogFileErrorOnce(std::optional<std::u16string_view> name, bool reset) {
    LastLoggedName& last = LastLogged();
    if (reset) {
        std::lock_guard<std::mutex> guard(last.lock);
        last.name.reset();
        return;
    }
    if (!name) return;
    {
        std::lock_guard<std::mutex> guard(last.lock);
        if (last.name && platform::EqualsNoCase(*last.name, *name)) return;
        last.name = std::u16string(*name);
    }
    CurrentUiServices().BurnLogWarning(platform::Format(u"%s: %s", *name, GetLastErrorText()));
    SetLastErrorText(u"");
}

}  // namespace foundation
