#include "foundation/work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/language.h"
#include "foundation/operation_status.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/window_faces.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/dir_handle.h"
#include "platform/text.h"

namespace foundation {

namespace {

// "TempFolder" is taken when it fits the 1024-character path buffer the
// folder name is built in.
constexpr size_t kTempFolderSettingMaxChars = 1013;
// Deeper trees than this are left (and counted as failures) rather than
// holding a descriptor per level without bound.
constexpr size_t kMaxTreeDepth = 512;

std::mutex g_lock;
std::string g_workFolder;   // UTF-8, with trailing '/', empty when none
std::string g_workParent;   // the parent asked for when it was made
int g_documentIconIndex = -1;

bool ToNarrow(std::u16string_view path, std::string& out) { return platform::Utf16ToUtf8Strict(path, out); }

// A folder we made for ourselves alone: a real folder (not a link), owned by
// us, with no access for anyone else.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::string TempBase() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? std::string(tmp) : std::string("/tmp");
}

std::string MakeWorkFolderIn(std::string base) {
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string pattern = base + "/$Quendravine$-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        platform::SetLastErrorFromErrno();
        return {};
    }
    std::string made(buffer.data());
    if (!IsPrivateFolder(made)) {
        rmdir(made.c_str());
        platform::SetLastError(platform::kErrorAccessDenied);
        return {};
    }
    return made + "/";
}

// Creates the file (mode 0600) and hands back its name and open descriptor.
struct TempFile {
    std::string name;
    int fd = -1;
};
std::optional<TempFile> CreateTempFileIn(const std::string& folder, const std::string& suffix) {
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '/') pattern.push_back('/');
    pattern += "qv-XXXXXX" + suffix;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkostemps(buffer.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) {
        platform::SetLastErrorFromErrno();
        return std::nullopt;
    }
    return TempFile{std::string(buffer.data()), fd};
}

std::optional<std::string> MakeTempFileIn(const std::string& folder) {
    auto made = CreateTempFileIn(folder, "");
    if (!made) return std::nullopt;
    close(made->fd);
    return made->name;
}

}  // namespace

bool CreateDirectoryPath(std::u16string_view path) {
    const size_t last = FindLastBackslash(path);
    if (last != std::u16string_view::npos) {
        for (size_t i = 1; i <= last; ++i) {
            if (path[i] == kPathSeparator) platform::CreateDirectoryAt(path.substr(0, i));
        }
    }
    const std::u16string_view parent =
        last == std::u16string_view::npos ? std::u16string_view(u".") : (last == 0 ? path.substr(0, 1) : path.substr(0, last));
    if (platform::DirectoryExists(parent)) return true;
    SetLastErrorText(GetLangString(30820, u"Can not create directory or file. The disk maybe full or read-only."));
    OperationStatus = kStatusCannotCreate;
    return false;
}

size_t DeleteFolderTree(std::u16string_view folder, FolderRemoval removal) {
    std::string root;
    if (!ToNarrow(folder, root)) return 1;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const int rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (rootFd < 0) {
        platform::SetLastErrorFromErrno();
        return 1;
    }
    struct Level {
        platform::DirHandle dir;
        std::string name;   // this folder's name in its parent
    };
    std::vector<Level> stack;
    {
        DIR* dir = fdopendir(rootFd);
        if (!dir) {
            close(rootFd);
            return 1;
        }
        stack.push_back(Level{platform::DirHandle(dir), std::string()});
    }
    size_t failures = 0;
    const bool removeFolders = removal == FolderRemoval::RemoveFolders;
    while (!stack.empty()) {
        Level& top = stack.back();
        const int topFd = dirfd(top.dir.get());
        const dirent* entry = readdir(top.dir.get());
        if (entry == nullptr) {
            const std::string name = top.name;
            stack.pop_back();
            if (!stack.empty() && removeFolders) {
                if (unlinkat(dirfd(stack.back().dir.get()), name.c_str(), AT_REMOVEDIR) != 0) ++failures;
            }
            continue;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (fstatat(topFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++failures;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (stack.size() >= kMaxTreeDepth) {
                ++failures;
                continue;
            }
            const int fd = openat(topFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
            if (!dir) {
                if (fd >= 0) close(fd);
                ++failures;
                continue;
            }
            stack.push_back(Level{platform::DirHandle(dir), name});
            continue;
        }
        if (unlinkat(topFd, name.c_str(), 0) != 0) ++failures;
    }
    if (removeFolders && rmdir(root.c_str()) != 0) {
        platform::SetLastErrorFromErrno();
        ++failures;
    }
    return failures;
}

std::optional<std::u16string> PrepareTempWorkFolder() {
    std::lock_guard<std::mutex> guard(g_lock);
    std::string wanted;
    auto setting = ReadSettingString(u"TempFolder");
    if (!(setting && !setting->empty() && setting->size() <= kTempFolderSettingMaxChars && ToNarrow(*setting, wanted)))
        wanted = TempBase();
    if (!g_workFolder.empty()) {
        const std::string current = g_workFolder.substr(0, g_workFolder.size() - 1);
        const bool stillOurs = IsPrivateFolder(current);
        if (stillOurs && g_workParent == wanted) return platform::Utf8ToUtf16(g_workFolder);
        // The "TempFolder" setting changed: the old folder goes, a new one is
        // made under the new parent.
        if (stillOurs) DeleteFolderTree(platform::Utf8ToUtf16(current), FolderRemoval::RemoveFolders);
        g_workFolder.clear();
    }
    std::string parent = wanted;
    std::string made = MakeWorkFolderIn(parent);
    if (made.empty() && parent != TempBase()) {
        parent = TempBase();
        made = MakeWorkFolderIn(parent);
    }
    if (made.empty()) return std::nullopt;
    g_workFolder = made;
    g_workParent = wanted;
    return platform::Utf8ToUtf16(g_workFolder);
}

std::u16string GetTempWorkFolder() {
    std::lock_guard<std::mutex> guard(g_lock);
    return platform::Utf8ToUtf16(g_workFolder);
}

void DeleteTempWorkFolder() {
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        folder.swap(g_workFolder);
    }
    if (!folder.empty()) DeleteFolderTree(platform::Utf8ToUtf16(folder), FolderRemoval::RemoveFolders);
}

std::optional<std::u16string> MakeTempNameBeside(std::u16string_view path) {
    const size_t last = FindLastBackslash(path);
    std::u16string_view folder = last == std::u16string_view::npos ? std::u16string_view(u".")
                                                                    : path.substr(0, last == 0 ? 1 : last);
    std::string narrow;
    if (!ToNarrow(folder, narrow)) return std::nullopt;
    auto made = MakeTempFileIn(narrow);
    if (!made) return std::nullopt;
    return platform::Utf8ToUtf16(*made);
}

std::optional<std::u16string> MakeTempFileName() {
    if (!PrepareTempWorkFolder()) return std::nullopt;
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        folder = g_workFolder;
    }
    auto made = MakeTempFileIn(folder);
    if (!made) return std::nullopt;
    return platform::Utf8ToUtf16(*made);
}

UniqueFile OpenPrivateTempFile() {
    const std::optional<std::u16string> name = MakeTempFileName();
    if (!name) return {};
    UniqueFile file(platform::FileOpen(*name, platform::FileAccess::ReadWrite, platform::FileDisposition::OpenExisting));
    platform::DeleteFileAt(*name);
    return file;
}

int RegisterIconFile(std::span<const uint8_t> iconData) {
    WindowFaces* faces = InstalledWindowFaces();
    if (!faces || !PrepareTempWorkFolder()) return -1;
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        folder = g_workFolder;
    }
    auto made = CreateTempFileIn(folder, ".ico");
    if (!made) return -1;
    size_t done = 0;
    while (done < iconData.size()) {
        const ssize_t n = write(made->fd, iconData.data() + done, iconData.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(made->fd);
    int index = -1;
    if (done == iconData.size()) index = faces->IconIndexForFile(platform::Utf8ToUtf16(made->name));
    unlink(made->name.c_str());
    return index;
}

bool PrepareTempFolderAndIcon(std::span<const uint8_t> documentIcon) {
    if (!PrepareTempWorkFolder()) return false;
    const int index = RegisterIconFile(documentIcon);
    std::lock_guard<std::mutex> guard(g_lock);
    g_documentIconIndex = index;
    return true;
}

int GetDocumentIconIndex() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_documentIconIndex;
}

void ResetWorkFolderForTests() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_workFolder.clear();
    g_workParent.clear();
    g_documentIconIndex = -1;
}

}  // namespace foundation
