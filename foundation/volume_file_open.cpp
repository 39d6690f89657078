#include "foundation/volume_file_open.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"
#include "platform/text.h"

namespace foundation {

platform::FileHandle OpenChosenVolume(std::u16string_view path) {
    if (path.empty()) {
        platform::SetLastError(platform::kErrorFileNotFound);
        return nullptr;
    }
    // Opened without waiting for a writer, so a FIFO is refused rather than
    // blocking; the kind is then checked on the open descriptor itself, so a
    // name swapped after a check cannot slip through.
    const std::string native = platform::Utf16ToUtf8(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        platform::SetLastErrorFromErrno(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        platform::SetLastError(platform::kErrorAccessDenied);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    platform::FileHandle file = platform::FileFromDescriptor(fd);
    if (!file) ::close(fd);
    return file;
}

bool SameOpenFile(platform::FileHandle a, platform::FileHandle b) {
    if (!a || !b) return false;
    struct stat sa {};
    struct stat sb {};
    if (::fstat(platform::FileDescriptor(a), &sa) != 0 || ::fstat(platform::FileDescriptor(b), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace foundation
