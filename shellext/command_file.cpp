#include "shellext/command_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"

namespace shellext {

bool IsCommandArgumentSafe(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == 0 || c == u'\r' || c == u'\n') return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

CCommandFile::~CCommandFile() { Close(); }

bool CCommandFile::Create() {
    Close();
    name_.clear();
    std::string folder;
    if (!platform::GetRuntimeFolderUtf8(folder)) return false;
    std::string pattern = folder + "/command-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    fd_ = fd;
    name_ = pattern;
    return true;
}

bool CCommandFile::Write(std::u16string_view text) {
    if (fd_ < 0) return false;
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(char(unit & 0xFF));
        bytes.push_back(char(unit >> 8));
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool CCommandFile::WriteCommand(std::u16string_view prefix, std::u16string_view argument) {
    if (!IsCommandArgumentSafe(argument)) return false;
    std::u16string line(prefix);
    line += argument;
    line += u"\r\n";
    return Write(line);
}

bool CCommandFile::WriteForEach(std::u16string_view prefix, const std::vector<std::u16string>& paths) {
    for (const std::u16string& path : paths) {
        if (!WriteCommand(prefix, path)) return false;
    }
    return true;
}

void CCommandFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void CCommandFile::Delete() {
    Close();
    if (!name_.empty()) ::unlink(name_.c_str());
    name_.clear();
}

bool CCommandFile::RunMainProgram(const std::u16string& program, bool unattended) {
    Close();
    if (name_.empty() || program.empty()) return false;
    auto process = platform::Process::Start({program, unattended ? u"-pfh" : u"-pf", platform::Utf8ToUtf16(name_)});
    return process != nullptr;
}

}  // namespace shellext
