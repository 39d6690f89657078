#include "platform/file.h"

#include "platform/last_error.h"
#include "platform/text.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct FileObject {
    int fd = -1;
    bool blockDevice = false;
    bool regular = false;   // a regular file: reads at the position fill the buffer
};

namespace {

// ENOENT means "file not found" when the folder exists and "path not found"
// when it does not, as the program's messages distinguish the two.
void SetMissingError(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(kErrorFileNotFound);
    } else {
        SetLastError(kErrorPathNotFound);
    }
}

void SetErrorForPath(int err, const std::string& path) {
    if (err == ENOENT) {
        SetMissingError(path);
    } else {
        SetLastErrorFromErrno(err);
    }
}

// A name handed to the system must be exactly what the program meant: no
// embedded NUL, no malformed UTF-8, no lone surrogate.
bool ValidUtf8Name(const std::string& path) {
    if (path.empty()) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    std::u16string ignored;
    if (path.find('\0') != std::string::npos || !Utf8ToUtf16Strict(path, ignored)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    return true;
}

bool NameFromUtf16(std::u16string_view path, std::string& out) {
    if (!Utf16ToUtf8Strict(path, out)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    return ValidUtf8Name(out);
}

// On a valid descriptor EBADF means the handle was opened without the access
// the call needs, which the program knows as "access denied".
uint32_t SetTransferError(int err) {
    if (err == EBADF) {
        SetLastError(kErrorAccessDenied);
        return kErrorAccessDenied;
    }
    return SetLastErrorFromErrno(err);
}

bool ValidHandle(FileHandle file) {
    if (file == nullptr || file->fd < 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    return true;
}

}  // namespace

FileHandle FileOpen(std::u16string_view path, FileAccess access, FileDisposition disposition) {
    std::string name;
    if (!NameFromUtf16(path, name)) return nullptr;
    return FileOpenUtf8(name, access, disposition);
}

FileHandle FileOpenUtf8(const std::string& path, FileAccess access, FileDisposition disposition) {
    if (!ValidUtf8Name(path)) return nullptr;
    int flags = O_CLOEXEC;
    switch (access) {
        case FileAccess::Read: flags |= O_RDONLY; break;
        case FileAccess::ReadWrite: flags |= O_RDWR; break;
        case FileAccess::Write: flags |= O_WRONLY; break;
    }
    auto openRetrying = [&](int openFlags) {
        int result;
        do {
            result = open(path.c_str(), openFlags, 0666);
        } while (result < 0 && errno == EINTR);
        return result;
    };
    int fd = -1;
    bool existed = false;
    if (disposition == FileDisposition::OpenExisting || disposition == FileDisposition::CreateNew) {
        fd = openRetrying(flags | (disposition == FileDisposition::CreateNew ? O_CREAT | O_EXCL : 0));
    } else {
        // Create-always and open-always tell the caller whether the file was
        // there before (kErrorAlreadyExists on success), so try to create it
        // first and open the existing one when that fails.
        int existingFlags = flags | (disposition == FileDisposition::CreateAlways ? O_TRUNC : 0);
        for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
            fd = openRetrying(flags | O_CREAT | O_EXCL);
            if (fd >= 0 || errno != EEXIST) break;
            fd = openRetrying(existingFlags);
            if (fd >= 0) existed = true;
            else if (errno != ENOENT) break;   // ENOENT: removed meanwhile, try again
        }
        // A dangling symlink never stops existing for O_EXCL: let open create its target.
        if (fd < 0 && errno == ENOENT) fd = openRetrying(existingFlags | O_CREAT);
    }
    if (fd < 0) {
        SetErrorForPath(errno, path);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        SetLastErrorFromErrno();
        close(fd);
        return nullptr;
    }
    // A folder is not a file; opening one is refused as it is elsewhere.
    if (S_ISDIR(st.st_mode)) {
        close(fd);
        SetLastError(kErrorAccessDenied);
        return nullptr;
    }
    auto file = std::make_unique<FileObject>();
    file->fd = fd;
    file->blockDevice = S_ISBLK(st.st_mode);
    file->regular = S_ISREG(st.st_mode);
    SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
    return file.release();
}

bool FileClose(FileHandle file) {
    if (file == nullptr) return true;
    std::unique_ptr<FileObject> owned(file);
    // close() is not retried on EINTR: the descriptor is gone either way.
    if (owned->fd >= 0 && close(owned->fd) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

int64_t FileReadAt(FileHandle file, uint64_t offset, void* buffer, size_t size) {
    if (!ValidHandle(file)) return -1;
    bool current = offset == kCurrentPosition;
    if (!current && offset > static_cast<uint64_t>(INT64_MAX)) {
        SetLastError(kErrorInvalidParameter);
        return -1;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    uint64_t done = 0;
    while (done < size) {
        size_t chunk = size - done > 0x40000000 ? 0x40000000 : size - done;
        ssize_t n = current ? read(file->fd, out + done, chunk)
                            : pread(file->fd, out + done, chunk, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetTransferError(errno);
            return -1;
        }
        if (n == 0) break;
        done += static_cast<uint64_t>(n);
        // A pipe or terminal gives what it has; waiting for more would hang a
        // reader that asked for a whole buffer.
        if (current && !file->regular && !file->blockDevice) break;
    }
    // A read at an offset leaves the position after it, as on the system the
    // program was written for.
    if (!current) lseek(file->fd, static_cast<off_t>(offset + done), SEEK_SET);
    SetLastError(kErrorSuccess);
    return static_cast<int64_t>(done);
}

int64_t FileWriteAt(FileHandle file, uint64_t offset, const void* data, size_t size) {
    if (!ValidHandle(file)) return -1;
    bool current = offset == kCurrentPosition;
    if (!current && offset > static_cast<uint64_t>(INT64_MAX)) {
        SetLastError(kErrorInvalidParameter);
        return -1;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    uint64_t done = 0;
    while (done < size) {
        size_t chunk = size - done > 0x40000000 ? 0x40000000 : size - done;
        ssize_t n = current ? write(file->fd, in + done, chunk)
                            : pwrite(file->fd, in + done, chunk, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            if (!current) lseek(file->fd, static_cast<off_t>(offset + done), SEEK_SET);
            uint32_t code = SetTransferError(err);
            // A full disk is a short write; anything else fails the call unless
            // part of the data is already out.
            if (code == kErrorDiskFull || done > 0) return static_cast<int64_t>(done);
            return -1;
        }
        if (n == 0) {
            SetLastError(kErrorDiskFull);
            return static_cast<int64_t>(done);
        }
        done += static_cast<uint64_t>(n);
    }
    if (!current) lseek(file->fd, static_cast<off_t>(offset + done), SEEK_SET);
    SetLastError(kErrorSuccess);
    return static_cast<int64_t>(done);
}

bool FileGetSize(FileHandle file, uint64_t& size) {
    if (!ValidHandle(file)) return false;
    if (file->blockDevice) {
        uint64_t bytes = 0;
        if (ioctl(file->fd, BLKGETSIZE64, &bytes) != 0) {
            SetLastErrorFromErrno();
            return false;
        }
        size = bytes;
        return true;
    }
    struct stat st {};
    if (fstat(file->fd, &st) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool FileSetSize(FileHandle file, uint64_t size) {
    if (!ValidHandle(file)) return false;
    if (size > static_cast<uint64_t>(INT64_MAX)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    int r;
    do {
        r = ftruncate(file->fd, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool FileGetPosition(FileHandle file, uint64_t& position) {
    if (!ValidHandle(file)) return false;
    off_t pos = lseek(file->fd, 0, SEEK_CUR);
    if (pos < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    position = static_cast<uint64_t>(pos);
    return true;
}

bool FileSetPosition(FileHandle file, uint64_t position) {
    if (!ValidHandle(file)) return false;
    if (position > static_cast<uint64_t>(INT64_MAX)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    if (lseek(file->fd, static_cast<off_t>(position), SEEK_SET) < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool FileFlush(FileHandle file) {
    if (!ValidHandle(file)) return false;
    if (fsync(file->fd) != 0) {
        // Pipes and terminals have nothing to flush.
        if (errno == EINVAL || errno == EROFS) return true;
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

int FileDescriptor(FileHandle file) { return file ? file->fd : -1; }

FileHandle FileFromDescriptor(int fd) {
    if (fd < 0) {
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    auto file = std::make_unique<FileObject>();
    file->fd = fd;
    struct stat st {};
    if (fstat(fd, &st) == 0) {
        file->blockDevice = S_ISBLK(st.st_mode);
        file->regular = S_ISREG(st.st_mode);
    }
    return file.release();
}

bool FileIsBlockDevice(FileHandle file) { return file != nullptr && file->blockDevice; }

bool DeleteFileAt(std::u16string_view path) {
    std::string name;
    if (!NameFromUtf16(path, name)) return false;
    if (unlink(name.c_str()) != 0) {
        int err = errno;
        // A folder is not deleted by the file call.
        if (err == EISDIR) {
            SetLastError(kErrorAccessDenied);
        } else {
            SetErrorForPath(err, name);
        }
        return false;
    }
    return true;
}

bool RenameFile(std::u16string_view from, std::u16string_view to) {
    std::string source;
    std::string target;
    if (!NameFromUtf16(from, source) || !NameFromUtf16(to, target)) return false;
    if (rename(source.c_str(), target.c_str()) != 0) {
        int err = errno;
        if (err == EXDEV) {
            SetLastError(kErrorNotSameDevice);
        } else if (err == ENOENT) {
            struct stat st {};
            SetErrorForPath(err, lstat(source.c_str(), &st) == 0 ? target : source);
        } else {
            SetLastErrorFromErrno(err);
        }
        return false;
    }
    return true;
}

namespace {
// True when the path names an existing entry of the wanted kind; otherwise
// false with the last error Windows gives for a missing file or folder.
bool ExistsAs(std::u16string_view path, bool directory) {
    std::string name;
    if (!NameFromUtf16(path, name)) return false;
    struct stat st {};
    if (stat(name.c_str(), &st) != 0) {
        SetErrorForPath(errno, name);
        return false;
    }
    if (S_ISDIR(st.st_mode) != directory) {
        SetLastError(directory ? kErrorPathNotFound : kErrorFileNotFound);
        return false;
    }
    return true;
}
}  // namespace

bool FileExists(std::u16string_view path) { return ExistsAs(path, false); }

bool DirectoryExists(std::u16string_view path) { return ExistsAs(path, true); }

bool CreateDirectoryAt(std::u16string_view path) {
    std::string name;
    if (!NameFromUtf16(path, name)) return false;
    if (mkdir(name.c_str(), 0777) != 0) {
        int err = errno;
        if (err == EEXIST) {
            SetLastError(kErrorAlreadyExists);
        } else if (err == ENOENT) {
            SetLastError(kErrorPathNotFound);
        } else {
            SetLastErrorFromErrno(err);
        }
        return false;
    }
    return true;
}

}  // namespace platform
