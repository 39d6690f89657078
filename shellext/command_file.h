#pragma once
// The command file the extension hands to the window program: "-c WORD
// argument" lines in UTF-16LE without a byte-order mark, made with mkstemp
// (mode 0600) in the per-user runtime folder, the one place where the window
// program removes a command file after reading it. An argument holding a line
// break, a NUL or a lone surrogate would smuggle in a command of its own: it is
// refused, and the file is then deleted and nothing is started.

#include <string>
#include <string_view>
#include <vector>

namespace shellext {

class CCommandFile {
public:
    CCommandFile() = default;
    ~CCommandFile();
    CCommandFile(const CCommandFile&) = delete;
    CCommandFile& operator=(const CCommandFile&) = delete;

    // A new empty file; false (nothing made) when the runtime folder cannot be
    // used or written.
    bool Create();
    // Writes the literal text ("-c EXIT\r\n").
    bool Write(std::u16string_view text);
    // Writes prefix + argument + "\r\n"; false without writing for an argument
    // that carries CR, LF, NUL or a lone surrogate.
    bool WriteCommand(std::u16string_view prefix, std::u16string_view argument);
    bool WriteForEach(std::u16string_view prefix, const std::vector<std::u16string>& paths);
    void Close();
    void Delete();
    // Closes the file and starts the program with "-pfh" (unattended) or "-pf"
    // and the file's path. The program owns the file once started.
    bool RunMainProgram(const std::u16string& program, bool unattended);

    const std::string& Name() const { return name_; }

private:
    int fd_ = -1;
    std::string name_;
};

// True when the text could stand as one argument of a command line: no CR,
// LF, NUL and no lone surrogate.
bool IsCommandArgumentSafe(std::u16string_view text);

}  // namespace shellext
