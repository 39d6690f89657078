#include "platform/staged_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "platform/last_error.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr int kNameAttempts = 16;
// The mode of a temporary while it is written.
constexpr mode_t kWritingMode = 0600;
// Temporaries carry the target's name while it leaves room for the suffix
// within the 255 bytes a name may have; a longer name gets a short one.
constexpr size_t kMaxNameInTemporary = 200;

bool Fail(int err) {
    SetLastErrorFromErrno(err);
    return false;
}

// The umask is read, not set: setting it would race with other threads that
// create files.
mode_t CurrentUmask() {
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
    return mask & 0777;
}

bool ValidComponent(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// A name beside `name` that nothing uses yet: made by trying, since only the
// file system knows which names are free.
std::string RandomSibling(std::string_view name, const char* kind, std::random_device& random) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".qv%s-%08x", kind, unsigned(random()));
    return name.size() <= kMaxNameInTemporary ? "." + std::string(name) + suffix : std::string(".qv") + suffix;
}

bool MakeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Moves the entry at `name` to a fresh name without ever replacing one.
bool MoveAside(int folderFd, const std::string& name, std::string& aside) {
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        aside = RandomSibling(name, "old", random);
        if (::renameat2(folderFd, name.c_str(), folderFd, aside.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno == EINVAL) {
            // A file system without the no-replace rename: the random name is
            // checked free first, which is as good as its randomness.
            struct stat st {};
            if (::fstatat(folderFd, aside.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
            if (::renameat(folderFd, name.c_str(), folderFd, aside.c_str()) == 0) return true;
        }
        if (errno != EEXIST) break;
    }
    aside.clear();
    return false;
}

}  // namespace

StagedFile::~StagedFile() { Abandon(); }

bool StagedFile::Begin(std::u16string_view target, const StagedFileOptions& options) {
    std::string host;
    if (!Utf16ToUtf8Strict(target, host)) {
        Abandon();
        SetLastError(kErrorInvalidName);
        return false;
    }
    return BeginUtf8(host, options);
}

bool StagedFile::BeginUtf8(std::string_view target, const StagedFileOptions& options) {
    Abandon();
    const size_t slash = target.rfind('/');
    const std::string name(slash == std::string_view::npos ? target : target.substr(slash + 1));
    const std::string folder =
        slash == std::string_view::npos ? std::string(".") : slash == 0 ? std::string("/") : std::string(target.substr(0, slash));
    if (!ValidComponent(name)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && options.createFolders && MakeFolders(folder))
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) SetLastError(kErrorPathNotFound);
        else SetLastErrorFromErrno(err);
        return false;
    }
    if (!Start(fd, true, name, options)) return false;
    folderPath_ = folder;
    return true;
}

bool StagedFile::BeginAt(int folderFd, std::string_view name, const StagedFileOptions& options) {
    Abandon();
    if (!ValidComponent(name)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    return Start(folderFd, false, name, options);
}

bool StagedFile::Start(int folderFd, bool ownsFolder, std::string_view name, const StagedFileOptions& options) {
    folderFd_ = folderFd;
    ownsFolder_ = ownsFolder;
    name_.assign(name);
    options_ = options;
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        tempName_ = RandomSibling(name, "tmp", random);
        // 0600 until the commit: a half-written copy of a private file is
        // never readable by others.
        fd_ = ::openat(folderFd, tempName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kWritingMode);
        // A umask that takes the owner's own bits would leave a file its writer cannot reopen.
        if (fd_ >= 0 && ::fchmod(fd_, kWritingMode) == 0) return true;
        if (fd_ >= 0) {
            const int err = errno;
            ::close(fd_);
            fd_ = -1;
            ::unlinkat(folderFd, tempName_.c_str(), 0);
            errno = err;
            break;
        }
        if (errno != EEXIST) break;
    }
    const int err = errno;
    tempName_.clear();
    Reset();
    return Fail(err);
}

bool StagedFile::Write(const void* data, size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, p, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        if (n == 0) return Fail(ENOSPC);
        p += n;
        bytes -= size_t(n);
    }
    return true;
}

std::string StagedFile::TemporaryPathUtf8() const {
    if (tempName_.empty() || folderPath_.empty()) return {};
    return folderPath_ == "/" ? "/" + tempName_ : folderPath_ + "/" + tempName_;
}

bool StagedFile::Seal() {
    if (fd_ < 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // File systems that keep nothing to flush say EINVAL.
    if (options_.durable && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) return Fail(errno);
    // The file it replaces decides the mode, owner and group: saving over a
    // private image keeps it private. Owner and group go first, as changing
    // them clears the set-id bits.
    // A writer that set the mode itself (a self-extracting program makes
    // itself executable) has said what the file is.
    struct stat temp {};
    if (::fstat(fd_, &temp) != 0) return Fail(errno);
    const mode_t writerMode = temp.st_mode & 07777;
    const bool writerSetMode = writerMode != kWritingMode;
    struct stat old {};
    if (::fstatat(folderFd_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)) {
        // Only root may give a file away; anyone may keep a group they are in.
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0 && ::fchown(fd_, uid_t(-1), old.st_gid) != 0) {
            // Neither: the file keeps its maker's group, as any new file would.
        }
        // A program replacing a file may be run by whoever may read it.
        const mode_t run = writerSetMode ? ((old.st_mode & 0444) >> 2) & writerMode : 0;
        if (::fchmod(fd_, (old.st_mode & 07777) | run) != 0) return Fail(errno);
    } else if (!writerSetMode && ::fchmod(fd_, options_.newFileMode & ~CurrentUmask() & 07777) != 0) {
        return Fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    // A delayed write failure shows at close on some file systems.
    if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
    return true;
}

bool StagedFile::Commit() {
    if (!Seal()) {
        const uint32_t error = GetLastError();
        Abandon();
        SetLastError(error);
        return false;
    }
    if (::renameat(folderFd_, tempName_.c_str(), folderFd_, name_.c_str()) != 0) {
        const int err = errno;
        Abandon();
        return Fail(err);
    }
    tempName_.clear();
    if (options_.durable) ::fsync(folderFd_);
    Reset();
    return true;
}

void StagedFile::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // Only the temporary goes, never the file it was to replace.
    if (folderFd_ >= 0 && !tempName_.empty()) ::unlinkat(folderFd_, tempName_.c_str(), 0);
    tempName_.clear();
    Reset();
}

void StagedFile::Reset() {
    if (ownsFolder_ && folderFd_ >= 0) ::close(folderFd_);
    folderFd_ = -1;
    ownsFolder_ = false;
    folderPath_.clear();
    name_.clear();
}

bool CommitStagedSet(std::span<StagedFile* const> files, std::span<const std::u16string> removeAfter) {
    struct Step {
        StagedFile* file;
        std::string aside;   // where the earlier file at its name waits
        bool published = false;
    };
    std::vector<Step> steps;
    for (StagedFile* file : files) steps.push_back({file, {}, false});

    // Puts every earlier file back under its name and drops every temporary.
    auto restore = [&steps](uint32_t error) {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            StagedFile& f = *it->file;
            if (it->published) ::unlinkat(f.folderFd_, f.name_.c_str(), 0);
            if (!it->aside.empty()) ::renameat(f.folderFd_, it->aside.c_str(), f.folderFd_, f.name_.c_str());
            if (it->published) f.tempName_.clear();
            f.Abandon();
        }
        SetLastError(error);
        return false;
    };

    // Every file is whole on disk before the first earlier file moves.
    for (Step& s : steps)
        if (!s.file->Seal()) return restore(GetLastError());
    for (Step& s : steps) {
        StagedFile& f = *s.file;
        struct stat st {};
        if (::fstatat(f.folderFd_, f.name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            return restore(SetLastErrorFromErrno());
        }
        // A folder (or a device) where a volume belongs is no earlier volume:
        // the set is not written over it.
        if (S_ISDIR(st.st_mode)) return restore(SetLastErrorFromErrno(EISDIR));
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return restore(SetLastErrorFromErrno(EEXIST));
        if (!MoveAside(f.folderFd_, f.name_, s.aside)) return restore(SetLastErrorFromErrno());
    }
    for (Step& s : steps) {
        StagedFile& f = *s.file;
        if (::renameat2(f.folderFd_, f.tempName_.c_str(), f.folderFd_, f.name_.c_str(), RENAME_NOREPLACE) != 0 &&
            (errno != EINVAL || ::renameat(f.folderFd_, f.tempName_.c_str(), f.folderFd_, f.name_.c_str()) != 0))
            return restore(SetLastErrorFromErrno());
        s.published = true;
    }
    for (Step& s : steps) {
        StagedFile& f = *s.file;
        if (f.options_.durable) ::fsync(f.folderFd_);
        if (!s.aside.empty()) ::unlinkat(f.folderFd_, s.aside.c_str(), 0);
        f.tempName_.clear();
        f.Reset();
    }
    for (const std::u16string& path : removeAfter) {
        std::string host;
        if (Utf16ToUtf8Strict(path, host)) ::unlink(host.c_str());
    }
    return true;
}

}  // namespace platform
