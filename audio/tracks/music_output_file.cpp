#include "audio/tracks/music_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/last_error.h"
#include "platform/text.h"

namespace audio {
namespace {

// The mode a plain new file gets (0666 less the umask). The umask is read, not
// set, since setting it would race with other threads creating files.
mode_t NewFileMode() {
    mode_t mask = 022;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = mode_t(std::strtoul(line + 6, nullptr, 8));
                break;
            }
        }
        std::fclose(f);
    }
    return 0666 & ~mask;
}

// Creates the folders of a "/"-separated path one level at a time.
bool MakeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

MusicOutputFile::~MusicOutputFile() { Abandon(); }

bool MusicOutputFile::Begin(std::u16string_view target) {
    Abandon();
    target_ = std::u16string(target);
    const std::string path = platform::Utf16ToUtf8(target);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    // A short name of our own: the target's name may already use all 255 bytes.
    std::string pattern = folder + ".qv-music-XXXXXX";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && MakeFolders(folder)) {
        pattern = folder + ".qv-music-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    }
    if (fd < 0) {
        platform::SetLastErrorFromErrno();
        return false;
    }
    const bool ok = ::fchmod(fd, NewFileMode()) == 0;
    const int err = errno;
    ::close(fd);
    temporary_ = platform::Utf8ToUtf16(pattern);
    if (!ok) {
        Abandon();
        errno = err;
        platform::SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool MusicOutputFile::Commit() {
    if (temporary_.empty()) {
        platform::SetLastError(platform::kErrorInvalidHandle);
        return false;
    }
    if (::rename(platform::Utf16ToUtf8(temporary_).c_str(), platform::Utf16ToUtf8(target_).c_str()) != 0) {
        const int err = errno;
        Abandon();
        errno = err;
        platform::SetLastErrorFromErrno();
        return false;
    }
    temporary_.clear();
    return true;
}

void MusicOutputFile::Abandon() {
    if (temporary_.empty()) return;
    ::unlink(platform::Utf16ToUtf8(temporary_).c_str());
    temporary_.clear();
}

}  // namespace audio
