#include "app/safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "app/extract_helpers.h"
#include "image/document/pause_cancel.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr size_t kStepBytes = size_t(1) << 20;

bool Fail(int err) {
    platform::SetLastErrorFromErrno(err);
    return false;
}

bool HostName(std::u16string_view name, std::string& host) {
    if (!platform::Utf16ToUtf8Strict(name, host) || host.empty() || host == "." || host == ".." ||
        host.find('/') != std::string::npos || host.find('\0') != std::string::npos) {
        platform::SetLastError(platform::kErrorInvalidName);
        return false;
    }
    return true;
}

}  // namespace

int OpenChildFolder(int parentFd, std::u16string_view name, bool create) {
    std::string host;
    if (!HostName(name, host)) return -1;
    if (create && ::mkdirat(parentFd, host.c_str(), 0777) != 0 && errno != EEXIST) {
        platform::SetLastErrorFromErrno();
        return -1;
    }
    // A link planted where a folder belongs is not entered: O_NOFOLLOW fails
    // on it, and O_DIRECTORY on anything else that is not a folder.
    const int fd = ::openat(parentFd, host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        platform::SetLastErrorFromErrno(err == ELOOP || err == ENOTDIR ? EACCES : err);
        return -1;
    }
    return fd;
}

// --- ExtractDestination -------------------------------------------------------

ExtractDestination::~ExtractDestination() {
    DropCache();
    if (rootFd_ >= 0) ::close(rootFd_);
}

void ExtractDestination::DropCache() {
    if (cachedFd_ >= 0 && cachedFd_ != rootFd_) ::close(cachedFd_);
    cachedFd_ = -1;
    cachedComponents_.clear();
}

bool ExtractDestination::Open(std::u16string_view folder) {
    DropCache();
    if (rootFd_ >= 0) ::close(rootFd_);
    rootFd_ = -1;
    path_.assign(folder);
    while (path_.size() > 1 && path_.back() == u'/') path_.pop_back();
    std::string host;
    if (path_.empty() || !platform::Utf16ToUtf8Strict(path_, host)) {
        platform::SetLastError(platform::kErrorInvalidName);
        return false;
    }
    // Every missing folder of the chosen path is made, as the user asked for it.
    for (size_t at = host.find('/', 1); ; at = host.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? host : host.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return Fail(errno);
        if (at == std::string::npos) break;
    }
    rootFd_ = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd_ < 0) return Fail(errno);
    return true;
}

int ExtractDestination::Folder(const std::vector<std::u16string>& components, bool create) {
    if (rootFd_ < 0) {
        platform::SetLastError(platform::kErrorInvalidHandle);
        return -1;
    }
    if (components.empty()) return rootFd_;
    if (cachedFd_ >= 0 && components == cachedComponents_) return cachedFd_;
    // The cached folder is reused when it lies on the way (files of a folder,
    // then its subfolders, come one after another).
    size_t common = 0;
    if (cachedFd_ >= 0 && cachedComponents_.size() <= components.size() &&
        std::equal(cachedComponents_.begin(), cachedComponents_.end(), components.begin()))
        common = cachedComponents_.size();
    int fd = common > 0 ? ::dup(cachedFd_) : rootFd_;
    if (fd < 0) {
        platform::SetLastErrorFromErrno();
        return -1;
    }
    for (size_t i = common; i < components.size(); ++i) {
        const int next = OpenChildFolder(fd, components[i], create);
        if (fd != rootFd_) ::close(fd);
        if (next < 0) return -1;
        fd = next;
    }
    DropCache();
    cachedFd_ = fd;
    cachedComponents_ = components;
    return fd;
}

bool ExtractDestination::RelativeComponents(std::u16string_view path, std::vector<std::u16string>& components) const {
    components.clear();
    const std::u16string_view base = path_ == u"/" ? std::u16string_view{} : std::u16string_view(path_);
    if (path.size() <= base.size() + 1 || path.substr(0, base.size()) != base || path[base.size()] != u'/')
        return false;
    std::u16string_view rest = path.substr(base.size() + 1);
    while (!rest.empty()) {
        const size_t slash = rest.find(u'/');
        const std::u16string_view part = rest.substr(0, slash);
        if (part.empty() || part == u"." || part == u"..") return false;
        components.emplace_back(part);
        if (slash == std::u16string_view::npos) break;
        rest = rest.substr(slash + 1);
    }
    return !components.empty();
}

// --- SafeOutputFile -----------------------------------------------------------

bool SafeOutputFile::Begin(int folderFd, std::u16string_view name) {
    Abandon();
    std::string host;
    if (!HostName(name, host)) return false;
    struct stat status {};
    if (::fstatat(folderFd, host.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return Fail(errno);
    } else if (!S_ISREG(status.st_mode)) {
        return Fail(S_ISDIR(status.st_mode) ? EISDIR : EEXIST);
    }
    return file_.BeginAt(folderFd, host);
}

bool SafeOutputFile::Write(const void* data, size_t bytes) { return file_.Write(data, bytes); }

int SafeOutputFile::CopyFrom(int sourceFd, uint64_t offset, uint64_t bytes, foundation::ProgressCallbacks* progress,
                             CopyState& state) {
    while (bytes > 0) {
        if (image::WaitIfPaused(progress) == 0) return 0;
        const size_t step = size_t(std::min<uint64_t>(bytes, kStepBytes));
        size_t done = 0;
        while (done < step) {
            ssize_t n = -1;
            if (state.kernelCopy) {
                loff_t from = loff_t(offset + done);
                n = ::copy_file_range(sourceFd, &from, Fd(), nullptr, step - done, 0);
                if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                    state.kernelCopy = false;   // not between these file systems: plain reads from now on
                    continue;
                }
            } else {
                if (state.buffer.size() < kStepBytes) state.buffer.resize(kStepBytes);
                n = ::pread(sourceFd, state.buffer.data(), step - done, off_t(offset + done));
                if (n > 0 && !Write(state.buffer.data(), size_t(n))) return -1;
            }
            if (n < 0) {
                if (errno == EINTR) continue;
                platform::SetLastErrorFromErrno();
                return -1;
            }
            if (n == 0) {
                // The source ends before the item does: an error, never zeros.
                platform::SetLastError(platform::kErrorHandleEof);
                return -1;
            }
            done += size_t(n);
        }
        offset += step;
        bytes -= step;
        if (progress && progress->AddDone) progress->AddDone(int64_t(step));
    }
    return 1;
}

bool SafeOutputFile::Commit(int64_t modifiedSeconds) {
    if (!file_.Active()) {
        platform::SetLastError(platform::kErrorInvalidHandle);
        return false;
    }
    SetFileTimes(file_.Fd(), modifiedSeconds);
    return file_.Commit();
}

}  // namespace app
