#include "shellext/file_manager_entries.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/staged_file.h"
#include "platform/text.h"
#include "shellext/program_start.h"

namespace shellext {
namespace {

struct Action {
    const char* verb;
    const char* name;
    const char* id;   // desktop action id: letters and digits only
};

// The commands worth a fixed place in a file manager's menu; the rest depend
// on what is selected and on the drives, which only the built menu knows.
constexpr Action kActions[] = {
    {"extract-here", "Extract here", "ExtractHere"},
    {"extract-to", "Extract to...", "ExtractTo"},
    {"add-to", "Add to archive", "AddTo"},
    {"mount-0", "Mount on the first virtual drive", "Mount"},
    {"burn", "Burn...", "Burn"},
};

std::string EnvFolder(const char* variable, const char* homeRelative) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/" + homeRelative : std::string();
}

std::string DataFolder() { return EnvFolder("XDG_DATA_HOME", ".local/share"); }
std::string ConfigFolder() { return EnvFolder("XDG_CONFIG_HOME", ".config"); }

std::string ScriptText(const std::string& qvshell, const Action& action) {
    return "#!/bin/sh\n# Quendravine: hands the selected files to qvshell.\nexec " + ShellWord(qvshell) +
           " --invoke " + action.verb + " -- \"$@\"\n";
}

}  // namespace

std::string DesktopExecArgument(const std::string& argument) {
    // Inside the quotes of an Exec argument '"', '`', '$' and '\' take a
    // backslash; '%' is doubled as field codes would take it.
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // The value itself is a desktop-entry string: its backslashes are escaped.
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

std::string ShellWord(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::vector<FileManagerEntry> BuildFileManagerEntries(const std::string& qvshell) {
    std::vector<FileManagerEntry> entries;
    const std::string data = DataFolder();
    const std::string config = ConfigFolder();
    if (data.empty() || config.empty()) return entries;

    std::string dolphin =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Quendravine\n"
        "NoDisplay=true\n"
        "Exec=" + DesktopExecArgument(qvshell) + " --menu -- %F\n"
        "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
        "MimeType=application/octet-stream;inode/directory;\n"
        "X-KDE-Submenu=Quendravine\n"
        "Actions=";
    for (const Action& action : kActions) dolphin += std::string(action.id) + ";";
    dolphin += "\n";
    for (const Action& action : kActions) {
        dolphin += std::string("\n[Desktop Action ") + action.id + "]\nName=" + action.name +
                   "\nExec=" + DesktopExecArgument(qvshell) + " --invoke " + action.verb + " -- %F\n";
    }
    entries.push_back({data + "/kio/servicemenus/quendravine.desktop", dolphin, true});

    for (const Action& action : kActions) {
        const std::string script = std::string("Quendravine - ") + action.name;
        entries.push_back({data + "/nautilus/scripts/" + script, ScriptText(qvshell, action), true});
        entries.push_back({config + "/caja/scripts/" + script, ScriptText(qvshell, action), true});
        entries.push_back({data + "/nemo/actions/quendravine-" + action.verb + ".nemo_action",
                           std::string("[Nemo Action]\nName=Quendravine: ") + action.name +
                               "\nComment=Quendravine: " + action.name + "\nExec=" + ShellWord(qvshell) +
                               " --invoke " + action.verb + " -- %F\nSelection=notnone\nExtensions=any;\n",
                           false});
    }
    return entries;
}

bool InstallFileManagerEntries() {
    const std::u16string library = LibraryFilePath();
    const size_t slash = library.rfind(u'/');
    if (slash == std::u16string::npos) return false;
    const std::string qvshell = platform::Utf16ToUtf8(library.substr(0, slash)) + "/qvshell";
    const std::vector<FileManagerEntry> entries = BuildFileManagerEntries(qvshell);
    if (entries.empty()) return false;
    for (const FileManagerEntry& entry : entries) {
        platform::StagedFile file;
        platform::StagedFileOptions options;
        options.newFileMode = entry.executable ? 0755 : 0644;
        options.createFolders = true;
        if (!file.BeginUtf8(entry.path, options)) return false;
        if (entry.executable) ::fchmod(file.Fd(), 0755);
        if (!file.Write(entry.text.data(), entry.text.size()) || !file.Commit()) return false;
    }
    return true;
}

bool RemoveFileManagerEntries() {
    bool ok = true;
    for (const FileManagerEntry& entry : BuildFileManagerEntries("qvshell")) {
        if (::unlink(entry.path.c_str()) != 0 && errno != ENOENT) ok = false;
    }
    return ok;
}

}  // namespace shellext
