#include "platform/named_objects.h"

#include "platform/folders.h"
#include "platform/last_error.h"
#include "platform/text.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// ---- names ---------------------------------------------------------------

// Object names become file and shared-memory names: letters, digits and
// ". _ -" stay, every other byte of the UTF-8 form becomes %XX, so no name
// can reach outside its folder or meet another name (each ends up after a
// fixed prefix, so a leading ".." is just part of one file name).
bool EncodeObjectName(std::u16string_view name, std::string& encoded) {
    for (std::u16string_view prefix : {std::u16string_view(u"Global\\"), std::u16string_view(u"Local\\")}) {
        if (name.substr(0, prefix.size()) == prefix) {
            name.remove_prefix(prefix.size());
            break;
        }
    }
    std::string utf8;
    if (name.empty() || !Utf16ToUtf8Strict(name, utf8)) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    static const char kHex[] = "0123456789ABCDEF";
    encoded.clear();
    for (char ch : utf8) {
        unsigned char c = static_cast<unsigned char>(ch);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '-' || c == '.';
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    // Room for the per-user prefix within a file name.
    if (encoded.size() > 200) {
        SetLastError(kErrorFilenameTooLong);
        return false;
    }
    return true;
}

bool RuntimePathFor(std::u16string_view name, const char* kind, std::string& path) {
    std::string encoded;
    if (!EncodeObjectName(name, encoded)) return false;
    std::string folder;
    if (!GetRuntimeFolderUtf8(folder)) return false;
    path = folder + "/" + kind + "-" + encoded;
    return true;
}

// The token that goes into the shared-memory names of one runtime folder,
// kept in a file there. /dev/shm is one folder for the whole machine: without
// it two sessions of one user with different runtime folders (a desktop and
// an ssh login, a test beside a desktop) would share every object, and
// another user could create a name first. The folder is private, so the token
// is known only to the processes that use it.
constexpr size_t kTokenBytes = 16;

bool ReadRuntimeToken(const std::string& path, std::string& token) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    char text[2 * kTokenBytes + 1] = {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0 &&
              pread(fd, text, sizeof text, 0) == static_cast<ssize_t>(2 * kTokenBytes);
    close(fd);
    for (size_t i = 0; ok && i < 2 * kTokenBytes; ++i) ok = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    if (ok) token.assign(text, 2 * kTokenBytes);
    return ok;
}

bool RuntimeToken(std::string& token) {
    std::string folder;
    if (!GetRuntimeFolderUtf8(folder)) return false;
    const std::string path = folder + "/objects-token";
    if (ReadRuntimeToken(path, token)) return true;
    if (errno != ENOENT) {
        // Something else under the token's name: not ours to remove silently.
        SetLastError(kErrorAccessDenied);
        return false;
    }
    unsigned char random[kTokenBytes];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        SetLastErrorFromErrno();
        return false;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : random) {
        text += kHex[c >> 4];
        text += kHex[c & 15];
    }
    // Written under a temporary name and linked into place, so two first
    // processes agree on one token: the loser reads the winner's.
    std::string temporary = path + ".XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    bool linked = written && link(temporary.c_str(), path.c_str()) == 0;
    unlink(temporary.c_str());
    if (linked) {
        token = text;
        return true;
    }
    if (ReadRuntimeToken(path, token)) return true;
    SetLastError(kErrorAccessDenied);
    return false;
}

bool SharedMemoryName(std::u16string_view name, std::string& shmName) {
    std::string encoded;
    if (!EncodeObjectName(name, encoded)) return false;
    std::string token;
    if (!RuntimeToken(token)) return false;
    shmName = "/qv-" + std::to_string(geteuid()) + "-" + token + "-" + encoded;
    return true;
}

int RetryFlock(int fd, int operation) {
    int r;
    do {
        r = flock(fd, operation);
    } while (r != 0 && errno == EINTR);
    return r;
}

// Open-file-description record locks, independent of flock on the same file
// and tied to our descriptor rather than the process.
bool RangeLock(int fd, short type, off_t start, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = 1;
    int r;
    do {
        r = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

// Byte 0 of a mutex's lock file: '1' while owned. Found '1' by the next owner
// means the last one ended without releasing.
constexpr off_t kMutexStateByte = 0;
// A shared lock per open handle: a new handle that can lock this exclusively
// is the first.
constexpr off_t kMutexPresenceByte = 1;
// Serialises the presence check of two handles opening at once.
constexpr off_t kMutexGuardByte = 2;

// ---- shared-memory objects ------------------------------------------------

enum class SharedKind : uint32_t { Event = 1, Mapping = 2 };

// Record locks on the shared-memory object itself: a shared lock on the
// presence byte per holder, and the guard byte held while a handle opens
// (and initialises) or closes, so opening and removing never interleave.
constexpr off_t kSharedPresenceByte = 0;
constexpr off_t kSharedGuardByte = 1;

// Changed whenever the header's layout changes: an object of another layout
// is never used.
constexpr uint32_t kSharedMagic = 0x32425651;   // "QVB2"
// The mapping's bytes start on a page of their own after the header.
constexpr uint64_t kSharedHeaderSize = 4096;

// An event is one futex word: no lock is ever held across processes, so a
// party that dies at any point leaves nothing that blocks the others (a
// process-shared condition variable keeps a dead waiter counted and hangs
// the next signaller).
struct SharedHeader {
    uint32_t magic;
    uint32_t kind;
    uint64_t dataSize;
    uint32_t signaled;
    uint32_t manualReset;
};
static_assert(sizeof(SharedHeader) <= kSharedHeaderSize);

struct SharedObject {
    int fd = -1;
    void* base = MAP_FAILED;
    uint64_t mappedSize = 0;
    std::string shmName;
    bool holder = false;   // counted among the object's holders

    SharedObject() = default;
    SharedObject(const SharedObject&) = delete;
    SharedObject& operator=(const SharedObject&) = delete;
    ~SharedObject() {
        if (base != MAP_FAILED) munmap(base, mappedSize);
        if (fd >= 0) {
            // Every holder keeps a shared presence lock; whoever can lock it
            // exclusively is the last and removes the name, as the last
            // handle's close did. The guard keeps an opener from slipping in.
            if (holder) {
                RangeLock(fd, F_WRLCK, kSharedGuardByte, true);
                if (RangeLock(fd, F_WRLCK, kSharedPresenceByte, false)) shm_unlink(shmName.c_str());
            }
            close(fd);
        }
    }
    SharedHeader* header() const { return static_cast<SharedHeader*>(base); }
};

// Whether fd is still the object the name refers to (a last holder may have
// removed the name between our open and our lock).
bool SameFile(int fd, const std::string& path) {
    struct stat byFd {};
    struct stat byName {};
    if (fstat(fd, &byFd) != 0) return false;
    if (lstat(path.c_str(), &byName) != 0) return false;
    return byFd.st_ino == byName.st_ino && byFd.st_dev == byName.st_dev;
}

bool StillLinked(int fd, const std::string& shmName) {
    struct stat byFd {};
    struct stat byName {};
    if (fstat(fd, &byFd) != 0) return false;
    std::string path = "/dev/shm" + shmName;
    if (stat(path.c_str(), &byName) != 0) return false;
    return byFd.st_ino == byName.st_ino && byFd.st_dev == byName.st_dev;
}

void InitialiseEvent(SharedHeader* header, bool manual, bool initiallySet) {
    header->manualReset = manual ? 1 : 0;
    header->signaled = initiallySet ? 1 : 0;
}

std::atomic_ref<uint32_t> SignalWord(SharedHeader* header) { return std::atomic_ref<uint32_t>(header->signaled); }

long Futex(uint32_t* word, int operation, uint32_t value, const struct timespec* timeout) {
    // Not the private form: the word is shared with other processes.
    return syscall(SYS_futex, word, operation, value, timeout, nullptr, 0);
}

struct OpenRequest {
    SharedKind kind;
    bool create;
    uint64_t dataSize;   // for a new mapping
    bool manual;         // for a new event
    bool initiallySet;
};

std::unique_ptr<SharedObject> OpenShared(std::u16string_view name, const OpenRequest& request, bool* existed) {
    std::string shmName;
    if (!SharedMemoryName(name, shmName)) return nullptr;
    // A few rounds at most: each retry means a last holder removed the name
    // while we opened it.
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto object = std::make_unique<SharedObject>();
        object->shmName = shmName;
        int flags = O_RDWR | O_CLOEXEC | (request.create ? O_CREAT : 0);
        object->fd = shm_open(shmName.c_str(), flags, 0600);
        if (object->fd < 0) {
            SetLastError(errno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(errno));
            return nullptr;
        }
        if (!RangeLock(object->fd, F_WRLCK, kSharedGuardByte, true)) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        if (!StillLinked(object->fd, shmName)) {
            close(object->fd);
            object->fd = -1;
            continue;
        }
        struct stat st {};
        if (fstat(object->fd, &st) != 0) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        // Another user's object under our name is never trusted.
        if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
            SetLastError(kErrorAccessDenied);
            close(object->fd);
            object->fd = -1;
            return nullptr;
        }
        bool isNew = st.st_size == 0;
        if (isNew && !request.create) {
            // A creator that died half-way; nobody can use it.
            close(object->fd);
            object->fd = -1;
            SetLastError(kErrorFileNotFound);
            return nullptr;
        }
        uint64_t total;
        if (isNew) {
            total = kSharedHeaderSize + request.dataSize;
            // Reserving the memory now turns a full /dev/shm into an error here
            // instead of a fault when the bytes are first touched.
            int r = posix_fallocate(object->fd, 0, static_cast<off_t>(total));
            if (r != 0) {
                SetLastError(r == ENOSPC || r == EFBIG ? kErrorDiskFull : ErrorFromErrno(r));
                shm_unlink(shmName.c_str());
                return nullptr;
            }
        } else {
            total = static_cast<uint64_t>(st.st_size);
            if (total < kSharedHeaderSize) {
                SetLastError(kErrorInvalidHandle);
                return nullptr;
            }
        }
        object->base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, object->fd, 0);
        if (object->base == MAP_FAILED) {
            SetLastErrorFromErrno();
            if (isNew) shm_unlink(shmName.c_str());
            return nullptr;
        }
        object->mappedSize = total;
        SharedHeader* header = object->header();
        if (isNew) {
            header->kind = static_cast<uint32_t>(request.kind);
            header->dataSize = request.dataSize;
            if (request.kind == SharedKind::Event) InitialiseEvent(header, request.manual, request.initiallySet);
            std::atomic_thread_fence(std::memory_order_release);
            header->magic = kSharedMagic;
        } else if (header->magic != kSharedMagic || header->kind != static_cast<uint32_t>(request.kind) ||
                   header->dataSize > total - kSharedHeaderSize) {
            // The name belongs to an object of another kind.
            SetLastError(kErrorInvalidHandle);
            return nullptr;
        }
        if (!RangeLock(object->fd, F_RDLCK, kSharedPresenceByte, true)) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        RangeLock(object->fd, F_UNLCK, kSharedGuardByte, false);
        object->holder = true;
        if (existed) *existed = !isNew;
        SetLastError(isNew ? kErrorSuccess : kErrorAlreadyExists);
        return object;
    }
    SetLastError(kErrorBusy);
    return nullptr;
}

void IgnoreBrokenPipeSignal() {
    static std::atomic<bool> done{false};
    if (done.exchange(true)) return;
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace

// ---- NamedMutex -------------------------------------------------------------

// flock belongs to the open file, not to a thread: two threads of this
// process sharing one object would both get it. Ownership among our own
// threads is therefore kept here, and the lock file only settles it between
// processes.
struct NamedMutex::State {
    int fd = -1;
    std::string path;
    std::mutex lock;
    std::condition_variable released;
    uint32_t ownerThread = 0;   // also set while that thread waits for the file lock
    uint32_t depth = 0;

    ~State() {
        // Closing while owning leaves the state byte set: the next owner hears
        // that the mutex was abandoned. The last handle removes the lock file,
        // so runs leave nothing behind in the runtime folder (a process that
        // was killed leaves its file to the next last holder, or to whoever
        // finds it held by no one).
        if (fd < 0) return;
        if (!path.empty() && RangeLock(fd, F_WRLCK, kMutexGuardByte, true)) {
            if (RangeLock(fd, F_WRLCK, kMutexPresenceByte, false) && SameFile(fd, path)) unlink(path.c_str());
        }
        close(fd);
    }
};

NamedMutex::NamedMutex() : state_(std::make_unique<State>()) {}

std::unique_ptr<NamedMutex> NamedMutex::Create(std::u16string_view name, bool initialOwner, bool* alreadyExisted) {
    std::string path;
    if (!RuntimePathFor(name, "mutex", path)) return nullptr;
    std::unique_ptr<NamedMutex> mutex;
    int fd = -1;
    // A few rounds at most: each retry means a last holder removed the file
    // between our open and our lock.
    for (int attempt = 0;; ++attempt) {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        mutex.reset(new NamedMutex());
        mutex->state_->fd = fd;
        if (!RangeLock(fd, F_WRLCK, kMutexGuardByte, true)) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        if (SameFile(fd, path)) break;
        if (attempt == 8) {
            SetLastError(kErrorBusy);
            return nullptr;
        }
    }
    mutex->state_->path = path;
    bool existed = !RangeLock(fd, F_WRLCK, kMutexPresenceByte, false);
    bool present = RangeLock(fd, F_RDLCK, kMutexPresenceByte, true);
    int presenceError = errno;
    RangeLock(fd, F_UNLCK, kMutexGuardByte, false);
    if (!present) {
        SetLastErrorFromErrno(presenceError);
        return nullptr;
    }
    if (initialOwner && !existed) mutex->Wait(kInfinite);
    if (alreadyExisted) *alreadyExisted = existed;
    SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
    return mutex;
}

std::unique_ptr<NamedMutex> NamedMutex::Open(std::u16string_view name) {
    std::string path;
    if (!RuntimePathFor(name, "mutex", path)) return nullptr;
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(errno));
        return nullptr;
    }
    std::unique_ptr<NamedMutex> mutex(new NamedMutex());
    mutex->state_->fd = fd;
    RangeLock(fd, F_WRLCK, kMutexGuardByte, true);
    // A lock file nobody holds open is a leftover, not a mutex.
    bool nobody = RangeLock(fd, F_WRLCK, kMutexPresenceByte, false);
    bool present = !nobody && RangeLock(fd, F_RDLCK, kMutexPresenceByte, true);
    if (nobody && SameFile(fd, path)) unlink(path.c_str());
    if (present) mutex->state_->path = path;
    RangeLock(fd, F_UNLCK, kMutexGuardByte, false);
    if (!present) {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    SetLastError(kErrorSuccess);
    return mutex;
}

NamedMutex::~NamedMutex() = default;

uint32_t NamedMutex::Wait(uint32_t timeoutMs) {
    State& state = *state_;
    uint32_t self = CurrentThreadId();
    uint64_t deadline = GetTickCount64() + timeoutMs;
    {
        std::unique_lock<std::mutex> guard(state.lock);
        if (state.ownerThread == self && state.depth > 0) {
            ++state.depth;
            return kWaitObject0;
        }
        auto free = [&] { return state.ownerThread == 0; };
        if (timeoutMs == kInfinite) {
            state.released.wait(guard, free);
        } else if (!state.released.wait_for(guard, std::chrono::milliseconds(timeoutMs), free)) {
            SetLastError(kErrorWaitTimeout);
            return kWaitTimeout;
        }
        state.ownerThread = self;
    }
    auto giveBack = [&](uint32_t result) {
        std::lock_guard<std::mutex> guard(state.lock);
        state.ownerThread = 0;
        state.released.notify_one();
        return result;
    };
    if (timeoutMs == kInfinite) {
        if (RetryFlock(state.fd, LOCK_EX) != 0) {
            SetLastErrorFromErrno();
            return giveBack(kWaitFailed);
        }
    } else {
        // flock has no timed form: poll it, finely enough for the waits the
        // program makes (a few to a few thousand milliseconds).
        while (flock(state.fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                SetLastErrorFromErrno();
                return giveBack(kWaitFailed);
            }
            uint64_t now = GetTickCount64();
            if (now >= deadline) {
                SetLastError(kErrorWaitTimeout);
                return giveBack(kWaitTimeout);
            }
            platform::Sleep(static_cast<uint32_t>(deadline - now < 5 ? deadline - now : 5));
        }
    }
    char byte = '0';
    bool abandoned = pread(state.fd, &byte, 1, kMutexStateByte) == 1 && byte == '1';
    byte = '1';
    if (pwrite(state.fd, &byte, 1, kMutexStateByte) != 1) {
        SetLastErrorFromErrno();
        RetryFlock(state.fd, LOCK_UN);
        return giveBack(kWaitFailed);
    }
    std::lock_guard<std::mutex> guard(state.lock);
    state.depth = 1;
    return abandoned ? kWaitAbandoned : kWaitObject0;
}

bool NamedMutex::Release() {
    State& state = *state_;
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.depth == 0 || state.ownerThread != CurrentThreadId()) {
        SetLastError(kErrorNotOwner);
        return false;
    }
    if (--state.depth > 0) return true;
    char byte = '0';
    bool written = pwrite(state.fd, &byte, 1, kMutexStateByte) == 1;
    int err = errno;
    RetryFlock(state.fd, LOCK_UN);
    state.ownerThread = 0;
    state.released.notify_one();
    if (!written) {
        SetLastErrorFromErrno(err);
        return false;
    }
    return true;
}

// ---- NamedEvent -------------------------------------------------------------

struct NamedEvent::Object {
    std::unique_ptr<SharedObject> shared;
    SharedHeader* header() const { return shared->header(); }
};

std::unique_ptr<NamedEvent> NamedEvent::Create(std::u16string_view name, EventReset reset, bool initiallySet,
                                               bool* alreadyExisted) {
    OpenRequest request{SharedKind::Event, true, 0, reset == EventReset::Manual, initiallySet};
    std::unique_ptr<SharedObject> shared = OpenShared(name, request, alreadyExisted);
    if (!shared) return nullptr;
    uint32_t error = GetLastError();
    std::unique_ptr<NamedEvent> event(new NamedEvent());
    event->object_ = std::make_unique<Object>();
    event->object_->shared = std::move(shared);
    SetLastError(error);
    return event;
}

std::unique_ptr<NamedEvent> NamedEvent::Open(std::u16string_view name) {
    OpenRequest request{SharedKind::Event, false, 0, false, false};
    std::unique_ptr<SharedObject> shared = OpenShared(name, request, nullptr);
    if (!shared) return nullptr;
    std::unique_ptr<NamedEvent> event(new NamedEvent());
    event->object_ = std::make_unique<Object>();
    event->object_->shared = std::move(shared);
    SetLastError(kErrorSuccess);
    return event;
}

NamedEvent::~NamedEvent() = default;

bool NamedEvent::Set() {
    SharedHeader* header = object_->header();
    SignalWord(header).store(1, std::memory_order_release);
    // Every waiter wakes; for an auto-reset event one of them takes the
    // signal and the others wait again.
    Futex(&header->signaled, FUTEX_WAKE, INT_MAX, nullptr);
    return true;
}

bool NamedEvent::Reset() {
    SignalWord(object_->header()).store(0, std::memory_order_release);
    return true;
}

uint32_t NamedEvent::Wait(uint32_t timeoutMs) {
    SharedHeader* header = object_->header();
    std::atomic_ref<uint32_t> word = SignalWord(header);
    const bool manual = header->manualReset != 0;
    const uint64_t deadline = GetTickCount64() + (timeoutMs == kInfinite ? 0 : timeoutMs);
    for (;;) {
        uint32_t value = word.load(std::memory_order_acquire);
        if (value != 0) {
            if (manual || word.compare_exchange_strong(value, 0, std::memory_order_acq_rel)) return kWaitObject0;
            continue;
        }
        struct timespec left {};
        if (timeoutMs != kInfinite) {
            const uint64_t now = GetTickCount64();
            if (now >= deadline) {
                SetLastError(kErrorWaitTimeout);
                return kWaitTimeout;
            }
            left.tv_sec = static_cast<time_t>((deadline - now) / 1000);
            left.tv_nsec = static_cast<long>((deadline - now) % 1000) * 1000000L;
        }
        if (Futex(&header->signaled, FUTEX_WAIT, 0, timeoutMs == kInfinite ? nullptr : &left) != 0 &&
            errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) {
            SetLastErrorFromErrno();
            return kWaitFailed;
        }
    }
}

// ---- SharedMapping ----------------------------------------------------------

struct SharedMapping::Object {
    std::unique_ptr<SharedObject> shared;
};

std::unique_ptr<SharedMapping> SharedMapping::Create(std::u16string_view name, uint64_t size, bool* alreadyExisted) {
    if (size == 0 || size > (1ull << 40)) {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    std::unique_ptr<SharedMapping> mapping(new SharedMapping());
    mapping->object_ = std::make_unique<Object>();
    mapping->object_->shared = std::make_unique<SharedObject>();
    if (name.empty()) {
        void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        mapping->object_->shared->base = base;
        mapping->object_->shared->mappedSize = size;
        mapping->data_ = base;
        mapping->size_ = size;
        if (alreadyExisted) *alreadyExisted = false;
        SetLastError(kErrorSuccess);
        return mapping;
    }
    OpenRequest request{SharedKind::Mapping, true, size, false, false};
    std::unique_ptr<SharedObject> shared = OpenShared(name, request, alreadyExisted);
    if (!shared) return nullptr;
    uint32_t error = GetLastError();
    mapping->data_ = static_cast<char*>(shared->base) + kSharedHeaderSize;
    mapping->size_ = shared->header()->dataSize;
    mapping->object_->shared = std::move(shared);
    SetLastError(error);
    return mapping;
}

std::unique_ptr<SharedMapping> SharedMapping::Open(std::u16string_view name) {
    OpenRequest request{SharedKind::Mapping, false, 0, false, false};
    std::unique_ptr<SharedObject> shared = OpenShared(name, request, nullptr);
    if (!shared) return nullptr;
    std::unique_ptr<SharedMapping> mapping(new SharedMapping());
    mapping->object_ = std::make_unique<Object>();
    mapping->data_ = static_cast<char*>(shared->base) + kSharedHeaderSize;
    mapping->size_ = shared->header()->dataSize;
    mapping->object_->shared = std::move(shared);
    SetLastError(kErrorSuccess);
    return mapping;
}

SharedMapping::~SharedMapping() = default;

bool SharedObjectPath(std::u16string_view name, std::string& path) {
    std::string shmName;
    if (!SharedMemoryName(name, shmName)) return false;
    path = "/dev/shm" + shmName;
    return true;
}

// ---- named pipes --------------------------------------------------------------

bool NamedPipePath(std::u16string_view name, std::string& path) {
    constexpr std::u16string_view kPrefix = u"\\\\.\\pipe\\";
    if (name.size() >= kPrefix.size() && EqualsNoCase(name.substr(0, kPrefix.size()), kPrefix)) {
        name.remove_prefix(kPrefix.size());
    }
    return RuntimePathFor(name, "pipe", path);
}

bool CreateNamedPipe(std::u16string_view name) {
    std::string path;
    if (!NamedPipePath(name, path)) return false;
    if (mkfifo(path.c_str(), 0600) != 0) {
        SetLastError(errno == EEXIST ? kErrorAlreadyExists : ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool DeleteNamedPipe(std::u16string_view name) {
    std::string path;
    if (!NamedPipePath(name, path)) return false;
    if (unlink(path.c_str()) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

FileHandle OpenNamedPipe(std::u16string_view name, FileAccess access, uint32_t timeoutMs) {
    std::string path;
    if (!NamedPipePath(name, path)) return nullptr;
    if (access == FileAccess::ReadWrite) {
        // Both ends in one handle would never see the other end close.
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    IgnoreBrokenPipeSignal();
    uint64_t deadline = GetTickCount64() + (timeoutMs == kInfinite ? 0 : timeoutMs);
    int fd = -1;
    if (access == FileAccess::Write) {
        // Without a reader a non-blocking open fails with ENXIO; try again
        // until one comes.
        for (;;) {
            fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) break;
            if (errno != ENXIO && errno != EINTR) {
                SetLastErrorFromErrno();
                return nullptr;
            }
            if (timeoutMs != kInfinite && GetTickCount64() >= deadline) {
                SetLastError(kErrorWaitTimeout);
                return nullptr;
            }
            platform::Sleep(5);
        }
    } else {
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            SetLastErrorFromErrno();
            return nullptr;
        }
        // Until a writer has been there, a read would see end of file at once;
        // wait for the first data (or a writer that came and went).
        for (;;) {
            struct pollfd watch {fd, POLLIN, 0};
            uint64_t now = GetTickCount64();
            int left = timeoutMs == kInfinite ? -1 : static_cast<int>(deadline > now ? deadline - now : 0);
            int r = poll(&watch, 1, left);
            if (r > 0) break;
            if (r < 0 && errno != EINTR) {
                SetLastErrorFromErrno();
                close(fd);
                return nullptr;
            }
            if (r == 0) {
                close(fd);
                SetLastError(kErrorWaitTimeout);
                return nullptr;
            }
        }
    }
    // Transfers after the open wait as ordinary blocking ones.
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return FileFromDescriptor(fd);
}

}  // namespace platform
