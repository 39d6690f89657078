#include "platform/folders.h"

#include "platform/last_error.h"
#include "platform/dir_handle.h"
#include "platform/text.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool ToUtf16Folder(const std::string& path, std::u16string& folder) {
    if (!Utf8ToUtf16Strict(path, folder)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    return true;
}

bool ToUtf8Name(std::u16string_view path, std::string& out) {
    if (!Utf16ToUtf8Strict(path, out) || out.empty() || out.find('\0') != std::string::npos) {
        SetLastError(out.empty() ? kErrorPathNotFound : kErrorInvalidName);
        return false;
    }
    return true;
}

std::string EnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string();
}

// Creates path and any missing parents; the folders made are private.
bool MakeFolders(const std::string& path) {
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        partial = path.substr(0, slash);
        pos = slash + 1;
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            int err = errno;
            SetLastError(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(err));
            return false;
        }
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    return true;
}

bool CheckWritable(const std::string& path) {
    if (access(path.c_str(), W_OK | X_OK) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

// A folder that must be ours alone: created 0700 when missing, refused when
// someone else could have planted it.
bool EnsurePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        int err = errno;
        SetLastError(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(err));
        return false;
    }
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        SetLastError(err == ELOOP || err == ENOTDIR ? kErrorAccessDenied : ErrorFromErrno(err));
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
    if (ok && (st.st_mode & 077) != 0) ok = fchmod(fd, 0700) == 0;
    close(fd);
    if (!ok) {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    return CheckWritable(path);
}

// Folders nested deeper than this are refused rather than holding a
// descriptor per level without bound.
constexpr size_t kMaxTreeDepth = 512;

}  // namespace

bool GetProgramFolder(std::u16string& folder) {
    std::vector<char> buffer(4096);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if (static_cast<size_t>(n) >= buffer.size()) {
        SetLastError(kErrorFilenameTooLong);
        return false;
    }
    std::string path(buffer.data(), static_cast<size_t>(n));
    size_t slash = path.find_last_of('/');
    path = slash == 0 ? "/" : path.substr(0, slash);
    return ToUtf16Folder(path, folder);
}

std::string RuntimeFolderPathUtf8() {
    std::string base = EnvironmentPath("XDG_RUNTIME_DIR");
    if (!base.empty() && base[0] == '/') return base + "/quendravine";
    return "/tmp/quendravine-" + std::to_string(geteuid());
}

bool GetRuntimeFolderUtf8(std::string& folder) {
    std::string path = RuntimeFolderPathUtf8();
    std::u16string asText;
    if (!Utf8ToUtf16Strict(path, asText)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    if (!EnsurePrivateFolder(path)) return false;
    folder = path;
    return true;
}

bool GetRuntimeFolder(std::u16string& folder) {
    std::string path;
    return GetRuntimeFolderUtf8(path) && ToUtf16Folder(path, folder);
}

bool GetConfigFolderUtf8(std::string& folder) {
    std::string path = EnvironmentPath("QV_CONFIG_DIR");
    if (path.empty()) {
        std::string base = EnvironmentPath("XDG_CONFIG_HOME");
        if (base.empty() || base[0] != '/') {
            std::string home = EnvironmentPath("HOME");
            if (home.empty()) {
                struct passwd* pw = getpwuid(geteuid());
                if (pw && pw->pw_dir) home = pw->pw_dir;
            }
            if (home.empty()) {
                SetLastError(kErrorPathNotFound);
                return false;
            }
            base = home + "/.config";
        }
        path = base + "/quendravine";
    }
    // A name the program cannot hold as text is refused before anything is made.
    std::u16string asText;
    if (!Utf8ToUtf16Strict(path, asText)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    if (!MakeFolders(path) || !CheckWritable(path)) return false;
    folder = path;
    return true;
}

bool GetConfigFolder(std::u16string& folder) {
    std::string path;
    return GetConfigFolderUtf8(path) && ToUtf16Folder(path, folder);
}

bool CreatePrivateTempFolder(std::u16string& folder) {
    std::string base = EnvironmentPath("TMPDIR");
    if (base.empty() || base[0] != '/') base = "/tmp";
    std::string pattern = base + "/quendravine-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        int err = errno;
        SetLastError(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(err));
        return false;
    }
    return ToUtf16Folder(buffer.data(), folder);
}

bool RemoveFolderTree(std::u16string_view folder) {
    std::string path;
    if (!ToUtf8Name(folder, path)) return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        // A link (or file) in place of the folder goes itself; what it points to stays.
        if (unlink(path.c_str()) != 0) {
            SetLastErrorFromErrno();
            return false;
        }
        return true;
    }
    struct Level {
        DirHandle dir;
        std::string name;   // in the level above, removed when this level is empty
    };
    std::vector<Level> stack;
    int rootFd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DirHandle root(rootFd >= 0 ? fdopendir(rootFd) : nullptr);
    if (!root) {
        SetLastErrorFromErrno();
        if (rootFd >= 0) close(rootFd);
        return false;
    }
    stack.push_back({std::move(root), std::string()});
    while (!stack.empty()) {
        Level& top = stack.back();
        int fd = dirfd(top.dir.get());
        errno = 0;
        struct dirent* entry = readdir(top.dir.get());
        if (entry == nullptr) {
            if (errno != 0) {
                SetLastErrorFromErrno();
                return false;
            }
            std::string name = top.name;
            stack.pop_back();
            if (!stack.empty() && unlinkat(dirfd(stack.back().dir.get()), name.c_str(), AT_REMOVEDIR) != 0) {
                SetLastErrorFromErrno();
                return false;
            }
            continue;
        }
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (unlinkat(fd, name.c_str(), 0) == 0) continue;
        if (errno != EISDIR && errno != EPERM) {
            if (errno == ENOENT) continue;
            SetLastErrorFromErrno();
            return false;
        }
        if (stack.size() >= kMaxTreeDepth) {
            SetLastError(kErrorFilenameTooLong);
            return false;
        }
        int childFd = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd < 0 && errno == EACCES) {
            // A folder of ours we made unreadable: open it up to empty it.
            fchmodat(fd, name.c_str(), 0700, 0);
            childFd = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (childFd < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        DirHandle child(fdopendir(childFd));
        if (!child) {
            SetLastErrorFromErrno();
            close(childFd);
            return false;
        }
        stack.push_back({std::move(child), name});
    }
    if (rmdir(path.c_str()) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

}  // namespace platform
