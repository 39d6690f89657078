#include "foundation/registry.h"

#include "foundation/registry_format.h"
#include "platform/last_error.h"
#include "platform/staged_file.h"
#include "platform/text.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

namespace foundation {

namespace {

constexpr const char* kProductFolder = "quendravine";
constexpr const char* kSystemMachineHive = "/etc/quendravine/machine.reg";
// A hive far beyond any the program writes (ConfExtData tops out at 256 KiB of
// hex text) is damage, not settings.
constexpr off_t kHiveMaxBytes = 16 * 1024 * 1024;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

enum class ReadOutcome { Missing, Read, Damaged, Failed };

// Reads a whole file; Missing when it does not exist.
ReadOutcome ReadWholeFile(const std::string& path, std::string& text, struct stat* info) {
    Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) return ReadOutcome::Missing;
        platform::SetLastErrorFromErrno();
        return ReadOutcome::Failed;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
        platform::SetLastErrorFromErrno();
        return ReadOutcome::Failed;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kHiveMaxBytes) return ReadOutcome::Damaged;
    text.assign(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = read(fd.get(), text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            platform::SetLastErrorFromErrno();
            return ReadOutcome::Failed;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    if (info) *info = st;
    return ReadOutcome::Read;
}

// Parsed hives by file, reused while the file is unchanged (same inode, size
// and modification time): settings are read often and written rarely.
struct CachedHive {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
    std::shared_ptr<const RegistryTree> tree;
};

std::mutex& CacheLock() {
    static std::mutex lock;
    return lock;
}
std::map<std::string, CachedHive>& Cache() {
    static std::map<std::string, CachedHive> cache;
    return cache;
}

// A file changed within the last seconds may have been replaced by one with a
// recycled inode, the same size and the same coarse time stamp: read it again.
bool RecentlyChanged(const struct stat& st) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - st.st_mtim.tv_sec < 3;
}

bool SameFile(const CachedHive& c, const struct stat& st) {
    if (RecentlyChanged(st)) return false;
    return c.device == st.st_dev && c.inode == st.st_ino && c.size == st.st_size &&
           c.modified.tv_sec == st.st_mtim.tv_sec && c.modified.tv_nsec == st.st_mtim.tv_nsec;
}

// Holds the hive's lock file exclusively (flock) while it lives. The lock is
// on a file beside the hive because the hive itself is replaced by rename.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath) {
        fd_ = open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            platform::SetLastErrorFromErrno();
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            platform::SetLastErrorFromErrno();
            close(fd_);
            fd_ = -1;
            return;
        }
    }
    ~HiveLock() {
        if (fd_ >= 0) close(fd_);   // closing releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Keeps a damaged hive aside as "<name>.bad" so a fresh one can take its place
// and the user's old values can still be rescued by hand.
void KeepDamagedAside(const std::string& path) {
    std::string bad = path + ".bad";
    if (rename(path.c_str(), bad.c_str()) != 0 && errno != ENOENT) platform::SetLastErrorFromErrno();
}

// Reads and parses a hive file; a damaged one is moved aside (under the lock,
// re-checked there since a writer may just have replaced it) and reads empty.
std::shared_ptr<const RegistryTree> LoadHiveFile(const std::string& path, bool keepDamagedAside) {
    static const auto empty = std::make_shared<const RegistryTree>();
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return empty;
    {
        std::lock_guard<std::mutex> guard(CacheLock());
        auto it = Cache().find(path);
        if (it != Cache().end() && SameFile(it->second, st)) return it->second.tree;
    }
    std::string text;
    ReadOutcome outcome = ReadWholeFile(path, text, &st);
    if (outcome != ReadOutcome::Read && outcome != ReadOutcome::Damaged) return empty;
    auto tree = std::make_shared<RegistryTree>();
    if (outcome == ReadOutcome::Damaged || !ParseRegistryText(text, *tree)) {
        if (keepDamagedAside) {
            HiveLock lock(path);
            std::string again;
            RegistryTree check;
            ReadOutcome second = ReadWholeFile(path, again, nullptr);
            if (second == ReadOutcome::Damaged ||
                (second == ReadOutcome::Read && !ParseRegistryText(again, check)))
                KeepDamagedAside(path);
        }
        return empty;
    }
    CachedHive entry;
    entry.device = st.st_dev;
    entry.inode = st.st_ino;
    entry.size = st.st_size;
    entry.modified = st.st_mtim;
    entry.tree = tree;
    std::lock_guard<std::mutex> guard(CacheLock());
    Cache()[path] = entry;
    return tree;
}

bool MakeFolders(const std::string& path) {
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        partial = path.substr(0, next);
        if (!partial.empty() && mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            platform::SetLastErrorFromErrno();
            return false;
        }
        pos = next + 1;
    }
    return true;
}

// Replaces the hive file with the text: temporary file beside it, fsync,
// rename, so a reader sees the old or the new hive, never a torn one. A new
// hive is private to the user.
bool ReplaceHiveFile(const std::string& path, const std::string& text) {
    platform::StagedFile file;
    return file.BeginUtf8(path, {.newFileMode = 0600, .durable = true}) && file.Write(text.data(), text.size()) &&
           file.Commit();
}

// Runs one change on a hive under its lock: read fresh, change, write back.
// The change returns false when nothing needs writing.
template <typename Change>
bool ModifyHive(RegistryHive hive, Change change) {
    std::string path = RegistryHivePath(hive);
    if (path.empty()) {
        platform::SetLastError(platform::kErrorPathNotFound);
        return false;
    }
    if (!MakeFolders(RegistryConfigDir())) return false;
    HiveLock lock(path);
    if (!lock.held()) return false;
    RegistryTree tree;
    std::string text;
    ReadOutcome outcome = ReadWholeFile(path, text, nullptr);
    if (outcome == ReadOutcome::Failed) return false;
    if (outcome == ReadOutcome::Damaged ||
        (outcome == ReadOutcome::Read && !ParseRegistryText(text, tree))) {
        KeepDamagedAside(path);
        tree.keys.clear();
    }
    if (!change(tree)) return true;
    {
        std::lock_guard<std::mutex> guard(CacheLock());
        Cache().erase(path);
    }
    return ReplaceHiveFile(path, FormatRegistryText(tree));
}

std::optional<RegistryValue> FindIn(const RegistryTree& tree, std::u16string_view keyPath,
                                    std::u16string_view name) {
    const RegistryKey* key = tree.FindKey(keyPath);
    if (!key) return std::nullopt;
    const RegistryNamedValue* v = FindRegistryValue(*key, name);
    if (!v) return std::nullopt;
    return v->value;
}

// The .reg syntax has no escape for line ends in key paths and value names: a
// name that could not be written back is refused rather than damaging the hive.
bool WritableName(std::u16string_view text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

// A key line "[-...]" means "delete this key" in the syntax, so such a path
// would turn the whole hive into one that no longer parses.
bool WritableKeyPath(std::u16string_view keyPath) {
    std::u16string normalized = NormalizeRegistryKeyPath(keyPath);
    return !normalized.empty() && normalized.front() != u'-' && WritableName(keyPath);
}

bool UsingTestConfig() {
    const char* dir = getenv("QV_CONFIG_DIR");
    return dir && *dir;
}

}  // namespace

std::string RegistryConfigDir() {
    if (const char* dir = getenv("QV_CONFIG_DIR"); dir && *dir) return dir;
    if (const char* xdg = getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/" + kProductFolder;
    if (const char* home = getenv("HOME"); home && *home)
        return std::string(home) + "/.config/" + kProductFolder;
    return {};
}

std::string RegistryHivePath(RegistryHive hive) {
    std::string dir = RegistryConfigDir();
    if (dir.empty()) return {};
    return dir + (hive == RegistryHive::CurrentUser ? "/user.reg" : "/machine.reg");
}

std::optional<RegistryValue> RegistryRead(RegistryHive hive, std::u16string_view keyPath,
                                          std::u16string_view name) {
    std::string path = RegistryHivePath(hive);
    if (!path.empty()) {
        if (auto value = FindIn(*LoadHiveFile(path, true), keyPath, name)) return value;
    }
    // Machine defaults an administrator put in /etc sit under the user's copy;
    // tests with their own folder never see them.
    if (hive == RegistryHive::LocalMachine && !UsingTestConfig())
        return FindIn(*LoadHiveFile(kSystemMachineHive, false), keyPath, name);
    return std::nullopt;
}

bool RegistryKeyExists(RegistryHive hive, std::u16string_view keyPath) {
    std::string path = RegistryHivePath(hive);
    if (!path.empty() && LoadHiveFile(path, true)->FindKey(keyPath)) return true;
    if (hive == RegistryHive::LocalMachine && !UsingTestConfig())
        return LoadHiveFile(kSystemMachineHive, false)->FindKey(keyPath) != nullptr;
    return false;
}

bool RegistryWrite(RegistryHive hive, std::u16string_view keyPath, std::u16string_view name,
                   const RegistryValue& value) {
    if (!WritableKeyPath(keyPath) || !WritableName(name)) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return false;
    }
    return ModifyHive(hive, [&](RegistryTree& tree) {
        SetRegistryValue(tree.FindOrAddKey(keyPath), name, value);
        return true;
    });
}

bool RegistryDeleteValue(RegistryHive hive, std::u16string_view keyPath, std::u16string_view name) {
    return ModifyHive(hive, [&](RegistryTree& tree) {
        RegistryKey* key = tree.FindKey(keyPath);
        return key && RemoveRegistryValue(*key, name);
    });
}

bool RegistryDeleteKey(RegistryHive hive, std::u16string_view keyPath) {
    if (NormalizeRegistryKeyPath(keyPath).empty()) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return false;
    }
    return ModifyHive(hive, [&](RegistryTree& tree) { return tree.RemoveKeyTree(keyPath); });
}

}  // namespace foundation
