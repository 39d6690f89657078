#include "app/desktop_associations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "foundation/settings.h"
#include "platform/process.h"
#include "platform/staged_file.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr char kDesktopId[] = "quendravine.desktop";
constexpr char kDefaultSection[] = "[Default Applications]";
constexpr std::u16string_view kSnapshotValue = u"ConfExtData";
constexpr size_t kSnapshotMaxBytes = 0x40000;
// Kept defaults: one "<mime type> <earlier value>" line per taken type; an
// earlier value of "-" means the type had no line.
constexpr char kNoEarlierLine[] = "-";

std::string XdgFolder(const char* variable, const char* underHome) {
    const char* set = std::getenv(variable);
    if (set && *set == '/') return set;
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + underHome : std::string();
}
std::string DataHome() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }
std::string ConfigHome() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }
std::string MimeAppsPath() {
    const std::string config = ConfigHome();
    return config.empty() ? config : config + "/mimeapps.list";
}

bool WriteWhole(const std::string& path, const std::string& text) {
    platform::StagedFile file;
    return file.BeginUtf8(path, {.durable = true, .createFolders = true}) && file.Write(text.data(), text.size()) &&
           file.Commit();
}

std::optional<std::string> ReadWhole(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

// The program's path as one Exec argument, quoted when it must be: inside '"',
// '`', '$' and '\\' take a backslash, the value's own escaping then doubles
// every backslash, and '%' is doubled so it is no field code.
std::optional<std::string> ExecArgument(const std::string& path) {
    // A path without reserved characters goes unquoted: some readers of
    // desktop entries (xdg-mime among them) take the Exec word as it stands.
    if (path.find_first_of(" \t\n\"'\\><~|&;$*?#()`%=") == std::string::npos) return path;
    std::string quoted = "\"";
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        if (c == '\\') value += "\\\\";
        else if (c == '%') value += "%%";
        else value += c;
    }
    return value;
}

// The MIME types and the desktop entry, which lists only the types the
// program holds (a desktop takes any program that lists a type as its opener
// when no default is set, so a type given back must leave the list). Written
// at each change, so a moved program is found again.
bool WriteTypeFiles(const std::vector<std::string>& held) {
    const std::string data = DataHome();
    if (data.empty()) return false;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (std::u16string_view extension : foundation::AssociationExtensions()) {
        const std::string mime = AssociationMimeType(extension);
        const std::string upper = platform::Utf16ToUtf8(platform::ToUpper(extension.substr(1)));
        xml += "  <mime-type type=\"" + mime + "\">\n    <comment>Quendravine " + upper +
               " File</comment>\n    <glob pattern=\"*" + platform::Utf16ToUtf8(platform::ToLower(extension)) +
               "\"/>\n  </mime-type>\n";
    }
    xml += "</mime-info>\n";
    std::string types;
    for (const std::string& mime : held) types += mime + ";";
    const std::optional<std::string> exec =
        ExecArgument(platform::Utf16ToUtf8(foundation::GetInstallDir()) + "/quendravine");
    if (!exec) return false;
    std::string entry = "[Desktop Entry]\nType=Application\nName=Quendravine\nExec=" + *exec +
                        " %f\nTerminal=false\nCategories=Utility;Archiving;\n";
    if (!types.empty()) entry += "MimeType=" + types + "\n";
    if (!WriteWhole(data + "/mime/packages/quendravine.xml", xml)) return false;
    if (!WriteWhole(data + "/applications/" + kDesktopId, entry)) return false;
    // The desktop reads the compiled database; without the tool the types
    // still come from the XML once it runs.
    if (auto process = platform::Process::Start({u"update-mime-database", platform::Utf8ToUtf16(data + "/mime")}))
        process->Wait(30000);
    return true;
}

// The kept earlier defaults; nothing when the stored value is damaged.
std::optional<std::map<std::string, std::string>> LoadSnapshots() {
    std::map<std::string, std::string> kept;
    std::vector<uint8_t> buffer(kSnapshotMaxBytes);
    size_t length = 0;
    if (!foundation::ReadSettingBinary(kSnapshotValue, buffer, &length)) return kept;
    std::istringstream in(std::string(buffer.begin(), buffer.begin() + std::ptrdiff_t(length)));
    std::string line;
    while (std::getline(in, line)) {
        const size_t blank = line.find(' ');
        if (blank == std::string::npos || blank == 0 || blank + 1 >= line.size()) return std::nullopt;
        const std::string mime = line.substr(0, blank);
        bool known = false;
        for (std::u16string_view extension : foundation::AssociationExtensions())
            known = known || AssociationMimeType(extension) == mime;
        if (!known || line.find('\0') != std::string::npos) return std::nullopt;
        kept[mime] = line.substr(blank + 1);
    }
    return kept;
}

bool SaveSnapshots(const std::map<std::string, std::string>& kept) {
    std::string text;
    for (const auto& [mime, earlier] : kept) text += mime + " " + earlier + "\n";
    if (text.size() > kSnapshotMaxBytes) return false;
    return foundation::WriteSettingBinary(kSnapshotValue, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

// The lines of mimeapps.list, and where the default line of a type is.
struct MimeApps {
    std::vector<std::string> lines;
    bool endsWithNewline = true;
    std::optional<size_t> defaultLine;   // the type's line in [Default Applications]
    std::optional<size_t> sectionEnd;    // one past the section's last line
};

MimeApps ParseMimeApps(const std::string& text, const std::string& mime) {
    MimeApps apps;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) apps.lines.push_back(line);
    apps.endsWithNewline = text.empty() || text.back() == '\n';
    bool inDefaults = false;
    for (size_t i = 0; i < apps.lines.size(); ++i) {
        const std::string& l = apps.lines[i];
        if (!l.empty() && l[0] == '[') {
            if (inDefaults) apps.sectionEnd = i;
            inDefaults = l == kDefaultSection;
            continue;
        }
        if (inDefaults && l.rfind(mime + "=", 0) == 0) apps.defaultLine = i;
    }
    if (inDefaults) apps.sectionEnd = apps.lines.size();
    return apps;
}

std::string JoinMimeApps(const MimeApps& apps) {
    std::string text;
    for (size_t i = 0; i < apps.lines.size(); ++i) {
        text += apps.lines[i];
        if (i + 1 < apps.lines.size() || apps.endsWithNewline) text += "\n";
    }
    return text;
}

// The current file's text; nothing when it may not be replaced (a link, or
// a file we cannot read back).
std::optional<std::string> ReadMimeApps(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::string();
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    return ReadWhole(path);
}

// The types whose default is the program in the list's text.
std::vector<std::string> HeldTypes(const std::string& text);

}  // namespace

std::string AssociationMimeType(std::u16string_view extension) {
    if (!extension.empty() && extension[0] == u'.') extension.remove_prefix(1);
    return "application/x-quendravine-" + platform::Utf16ToUtf8(platform::ToLower(extension));
}

namespace {

std::vector<std::string> HeldTypes(const std::string& text) {
    std::vector<std::string> held;
    for (std::u16string_view extension : foundation::AssociationExtensions()) {
        const std::string mime = AssociationMimeType(extension);
        const MimeApps apps = ParseMimeApps(text, mime);
        if (!apps.defaultLine) continue;
        const std::string value = apps.lines[*apps.defaultLine].substr(mime.size() + 1);
        if (value == kDesktopId || value == std::string(kDesktopId) + ";") held.push_back(mime);
    }
    return held;
}

}  // namespace

bool DesktopAssociations::IsAssociated(std::u16string_view extension) {
    const std::string mime = AssociationMimeType(extension);
    const std::optional<std::string> text = ReadMimeApps(MimeAppsPath());
    if (!text) return false;
    const MimeApps apps = ParseMimeApps(*text, mime);
    if (!apps.defaultLine) return false;
    const std::string value = apps.lines[*apps.defaultLine].substr(mime.size() + 1);
    return value == kDesktopId || value == std::string(kDesktopId) + ";";
}

bool DesktopAssociations::SetAssociation(std::u16string_view extension, bool on) {
    if (foundation::FindAssociationRow(extension) < 0) return false;
    const std::string mime = AssociationMimeType(extension);
    const std::string path = MimeAppsPath();
    if (path.empty()) return false;
    std::optional<std::map<std::string, std::string>> kept = LoadSnapshots();
    if (!kept) return false;
    const std::optional<std::string> text = ReadMimeApps(path);
    if (!text) return false;
    MimeApps apps = ParseMimeApps(*text, mime);
    const bool ours = IsAssociated(extension);
    if (on) {
        if (ours) return true;
        std::vector<std::string> held = HeldTypes(*text);
        held.push_back(mime);
        if (!WriteTypeFiles(held)) return false;
        const std::string earlier =
            apps.defaultLine ? apps.lines[*apps.defaultLine].substr(mime.size() + 1) : std::string(kNoEarlierLine);
        (*kept)[mime] = earlier.empty() ? std::string(kNoEarlierLine) : earlier;
        // The earlier default is kept before the desktop's file changes.
        if (!SaveSnapshots(*kept)) return false;
        const std::string line = mime + "=" + kDesktopId;
        if (apps.defaultLine) {
            apps.lines[*apps.defaultLine] = line;
        } else if (apps.sectionEnd) {
            apps.lines.insert(apps.lines.begin() + std::ptrdiff_t(*apps.sectionEnd), line);
        } else {
            if (!apps.lines.empty() && !apps.endsWithNewline) apps.endsWithNewline = true;
            apps.lines.push_back(kDefaultSection);
            apps.lines.push_back(line);
        }
        return WriteWhole(path, JoinMimeApps(apps));
    }
    // Giving back: only a type that is ours now.
    if (!ours) return true;
    const auto found = kept->find(mime);
    const std::string earlier = found == kept->end() ? std::string(kNoEarlierLine) : found->second;
    if (earlier == kNoEarlierLine) apps.lines.erase(apps.lines.begin() + std::ptrdiff_t(*apps.defaultLine));
    else apps.lines[*apps.defaultLine] = mime + "=" + earlier;
    const std::string given = JoinMimeApps(apps);
    if (!WriteWhole(path, given)) return false;
    WriteTypeFiles(HeldTypes(given));
    if (found != kept->end()) {
        kept->erase(found);
        SaveSnapshots(*kept);
    }
    return true;
}

void InstallDesktopAssociations() {
    static DesktopAssociations associations;
    foundation::SetFileAssociationServices(&associations);
}

}  // namespace app
