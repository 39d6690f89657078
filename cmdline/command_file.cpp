#include "cmdline/command_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/document_lifecycle.h"
#include "app/extract_job.h"
#include "app/save_engine.h"
#include "app/startup_actions.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/programs.h"
#include "image/build/add_disk_files.h"
#include "image/detect/format_detect.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "platform/folders.h"
#include "platform/format.h"
#include "platform/text.h"

namespace cmdline {
namespace {

bool IsLineEnd(char16_t c) { return c == 0 || c == u'\n' || c == u'\r'; }
bool IsBlank(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

// The next word of the line from at: blanks skipped, then up to a blank.
std::u16string_view NextWord(std::u16string_view line, size_t& at) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    const size_t start = at;
    while (at < line.size() && !IsBlank(line[at]) && line[at] != 0) ++at;
    return line.substr(start, at - start);
}

bool HasLoneSurrogate(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                ++i;
                continue;
            }
            return true;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) return true;
    }
    return false;
}

// The word every command's folder of a new document gets without a name.
constexpr const char16_t* kDefaultNewName = u"New Archive.zip";
// Format codes of GetFormatByExtension used here.
constexpr int32_t kFormatArchive = 151;
constexpr int32_t kFormatMzp = 7;

std::u16string g_lastExtractFolder;

bool Tell(std::u16string_view word) {
    foundation::AppMessageBox(platform::Format(u"Not supported: %s", word), 0x10);
    return false;
}

bool NewDocument(const ScriptCommand& c) {
    const std::u16string name = c.argument.value_or(kDefaultNewName);
    const std::u16string extension = platform::ToLower(image::GetFileExtension(name));
    const int32_t format = image::GetFormatByExtension(extension);
    int32_t kind = 0;
    if (format == kFormatArchive) {
        // Only Zip and 7z archives can be made; another archive kind stops the
        // run rather than making a document of no kind.
        if (extension == u"zip") kind = 1;
        else if (extension == u"7z") kind = 2;
        else return Tell(name);
    }
    app::CloseDocument();
    int made = 0;
    if (format == kFormatArchive) made = app::NewArchiveDocument(name, kind);
    else if (format == kFormatMzp) made = app::NewMountableArchive(name);
    else made = app::NewImageDocument(name, 0);
    if (!made) return false;
    app::ClearDocumentModified();
    return true;
}

bool Open(const ScriptCommand& c) {
    if (!c.argument) return false;
    app::CloseDocument();
    const bool opened = app::OpenDocument(*c.argument);
    if (!opened) app::NewDefaultDocument();
    app::ClearDocumentModified();
    return opened;
}

bool Add(const ScriptCommand& c) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || !c.argument) return false;
    image::ImageFolder* folder = image::g_CurrentFolder ? image::g_CurrentFolder : ctx->rootFolder;
    const std::u16string& path = *c.argument;
    const size_t slash = path.find_last_of(u'/');
    const std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    if (name.empty() || !image::AddDiskItem(ctx, folder, path, name)) return false;
    ctx->modified = 2;
    return foundation::OperationStatus == 0;
}

bool Save(const ScriptCommand& c, bool update) {
    if (!c.argument || !image::g_CurrentDocument) return false;
    const bool before = foundation::OverwriteAll.exchange(update || foundation::OverwriteAll.load());
    const int result = app::SaveDocument(*c.argument, -1);
    foundation::OverwriteAll = before;
    if (result == -1) return false;
    app::ClearDocumentModified();
    return true;
}

app::ExtractRequest g_lastExtract;

bool ExtractAll(app::ExtractRequest request) {
    if (!image::g_CurrentDocument) return false;
    request.allFiles = true;
    return app::CommandFileDialogs().ExtractAll(request) == 1;
}

bool ExtractAllTo(const std::u16string& folder) {
    app::ExtractRequest request;
    request.destination = folder;
    return ExtractAll(request);
}

// The dialog is shown once per run; a later EXTRACT_DLG extracts to the
// folder chosen then, with the answers given then.
bool ExtractDialog() {
    if (!g_lastExtractFolder.empty()) return ExtractAll(g_lastExtract);
    app::ExtractRequest request;
    const int chosen = app::CommandFileDialogs().ChooseExtractFolder(request);
    if (chosen < 0) return Tell(u"EXTRACT_DLG");
    if (chosen == 0 || request.destination.empty()) return false;
    g_lastExtractFolder = request.destination;
    g_lastExtract = request;
    return ExtractAll(request);
}

std::u16string DocumentFilePath() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return {};
    return ctx->documentPath.empty() ? ctx->imagePath : ctx->documentPath;
}

// Leaves the views and the document as EXIT does before the process ends.
void CloseForExit() { app::CloseDocument(); }

}  // namespace

std::vector<ScriptCommand> ParseCommandFileText(std::u16string_view text) {
    std::vector<ScriptCommand> commands;
    size_t at = 0;
    if (!text.empty() && text.front() == 0xFEFF) at = 1;
    while (at < text.size()) {
        while (at < text.size() && (IsBlank(text[at]) || text[at] == 0)) ++at;
        const size_t start = at;
        while (at < text.size() && !IsLineEnd(text[at])) ++at;
        const std::u16string_view line = text.substr(start, at - start);
        if (line.empty()) continue;
        size_t pos = 0;
        if (NextWord(line, pos) != u"-c") continue;
        const std::u16string_view word = NextWord(line, pos);
        if (word.empty()) continue;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        ScriptCommand command;
        command.word = std::u16string(word);
        if (pos < line.size()) command.argument = std::u16string(line.substr(pos));
        // A name no file can carry would open another file: such a line stops
        // the run where it stands.
        if (HasLoneSurrogate(line)) command = ScriptCommand{};
        commands.push_back(std::move(command));
    }
    return commands;
}

bool LoadCommandFile(std::u16string_view quotedPath, std::vector<ScriptCommand>& commands) {
    commands.clear();
    std::u16string_view path = quotedPath;
    if (!path.empty() && path.front() == u'"') path.remove_prefix(1);
    if (!path.empty() && path.back() == u'"') path.remove_suffix(1);
    std::string utf8;
    if (path.empty() || !platform::Utf16ToUtf8Strict(path, utf8)) return false;
    const int fd = ::open(utf8.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool acceptable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                            (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && uint64_t(st.st_size) <= kMaxCommandFileBytes;
    std::string bytes;
    bool ok = acceptable;
    if (ok) {
        bytes.resize(size_t(st.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += size_t(n);
        }
        ok = done == bytes.size();
    }
    ::close(fd);
    if (!ok) return false;
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char16_t(uint8_t(bytes[2 * i]) | (uint16_t(uint8_t(bytes[2 * i + 1])) << 8));
    commands = ParseCommandFileText(text);
    // Files handed over in the runtime folder are used once.
    std::string runtime;
    if (platform::GetRuntimeFolderUtf8(runtime) && utf8.rfind(runtime + "/", 0) == 0) ::unlink(utf8.c_str());
    return true;
}

CommandRunEnd RunCommandList(std::vector<ScriptCommand>& commands) {
    foundation::ResetOperationStatus();
    size_t next = 0;
    CommandRunEnd end = CommandRunEnd::Finished;
    while (next < commands.size()) {
        const ScriptCommand c = std::move(commands[next++]);
        const std::u16string& w = c.word;
        bool goOn = true;
        if (w == u"NEW_SCD") goOn = NewDocument(c);
        else if (w == u"OPEN" || w == u"OPEN_SCD") goOn = Open(c);
        else if (w == u"ADD") goOn = Add(c);
        else if (w == u"SAVE_AS") {
            const int saved = app::CommandFileDialogs().SaveAs(c.argument.value_or(u""));
            goOn = saved < 0 ? Tell(w) : true;
        } else if (w == u"SAVE_TO") goOn = Save(c, false);
        else if (w == u"UPDATE") goOn = Save(c, true);
        else if (w == u"EXIT") {
            CloseForExit();
            end = CommandRunEnd::Exit;
            break;
        } else if (w == u"EXTRACT_TO") goOn = c.argument && ExtractAllTo(*c.argument);
        else if (w == u"EXTRACT_DLG") goOn = ExtractDialog();
        else if (w == u"EXEC") {
            if (c.argument) {
                foundation::AppMessageBox(*c.argument, 0);
                foundation::ShellOpen(*c.argument);
            }
            goOn = c.argument.has_value();
        } else if (w == u"EMAIL") {
            const std::u16string path = DocumentFilePath();
            if (!path.empty()) {
                CloseForExit();
                foundation::SendFileByMail(path);
                end = CommandRunEnd::Exit;
                break;
            }
        } else if (w == u"BURN_IMAGE_FILE") {
            if (c.argument) goOn = app::CommandFileDialogs().BurnImage(*c.argument) < 0 ? Tell(w) : true;
        } else if (w == u"MAKE_IMAGE") {
            goOn = app::CommandFileDialogs().MakeImage(c.argument.value_or(u"")) < 0 ? Tell(w) : true;
        } else {
            goOn = false;   // an unknown word ends the run without a word
        }
        if (!goOn || foundation::OperationStatus != 0) {
            end = CommandRunEnd::Stopped;
            break;
        }
    }
    commands.clear();
    return end;
}

namespace {

class CommandFileAction final : public app::IStartupActionServices {
public:
    std::vector<ScriptCommand> commands;
    // The switches were read before the window existed, when the file was loaded.
    void ParseStartupArguments(int, char**) override {}
    bool HasStartupAction() override { return !commands.empty(); }
    int RunStartupAction() override { return RunCommandList(commands) == CommandRunEnd::Exit ? 0 : -1; }
};

}  // namespace

bool InstallCommandFileAction(int argc, char** argv) {
    if (argc < 3) return false;
    const std::string_view sw = argv[1];
    if (sw != "-pf" && sw != "-pfh") return false;
    static CommandFileAction action;
    LoadCommandFile(platform::Utf8ToUtf16(argv[2]), action.commands);
    app::SetStartupActionServices(&action);
    return true;
}

}  // namespace cmdline
