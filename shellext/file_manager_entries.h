#pragma once
// The ways Linux file managers reach the extension: each runs
// "qvshell --invoke VERB -- FILE..." (qvshell lies beside this library) for a
// few of the menu's commands. Written into the user's data folder
// ($XDG_DATA_HOME, else ~/.local/share) and Caja's scripts folder
// ($XDG_CONFIG_HOME/caja/scripts): a Dolphin service menu, Nautilus and Caja
// scripts, and Nemo actions. Thunar takes custom actions only from its own
// uca.xml, which it rewrites: the README gives the lines to add there.

#include <string>
#include <vector>

namespace shellext {

struct FileManagerEntry {
    std::string path;      // where it is written
    std::string text;      // its content
    bool executable = false;
};

// The entries for a qvshell at the given path.
std::vector<FileManagerEntry> BuildFileManagerEntries(const std::string& qvshell);
bool InstallFileManagerEntries();
// Removes every entry the install writes; absent ones are fine.
bool RemoveFileManagerEntries();

// The path as one argument of a desktop entry's Exec line (quoted, with the
// characters the desktop-entry rules reserve escaped, then escaped again as a
// string value), and as one word of a POSIX shell script.
std::string DesktopExecArgument(const std::string& argument);
std::string ShellWord(const std::string& word);

}  // namespace shellext
