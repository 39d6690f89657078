#define FUSE_USE_VERSION 31
#include "vdrive/image_filesystem.h"

#include <fcntl.h>
#include <fuse.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/extract_helpers.h"
#include "foundation/dates.h"
#include "image/document/image_context.h"
#include "image/document/item_bytes.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_reader.h"
#include "image/sectors/sector_io.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/text.h"

namespace vdrive {

struct ImageFileSystem::OpenFile {
    image::ImageItem* item = nullptr;
    // Every item that is not read straight from the image file's runs.
    std::unique_ptr<image::ItemByteReader> reader;
    int64_t size = 0;
    // Where the item's extents lie in the image file when the image stores
    // its sectors as they are: reads then go straight from the file into
    // the kernel's buffer, on every FUSE thread at once.
    struct Run {
        int64_t fileOffset = 0;
        uint64_t length = 0;
    };
    std::vector<Run> runs;
};

namespace {

// The name as the drive shows it; empty for names that cannot be shown.
std::string ShownName(const image::ImageItem* item) {
    std::u16string safe;
    if (!app::MakeSafeComponent(item->name.view(), safe)) return {};
    return platform::Utf16ToUtf8(safe);
}

int64_t ItemTime(const image::ImageItem* item) {
    if (item->time != 0) return item->time;
    return foundation::IsoRecordDateToUnixTime(
        std::span<const uint8_t>(item->recordHeader.data() + image::dr::kDate, image::dr::kDateBytes));
}

image::ImageItem* FindShownChild(image::ImageFolder* folder, const std::string& name) {
    // The index answers most names at once; names made safe or differing in
    // case are found by their shown form.
    if (image::ImageItem* quick = image::FindChildByName(folder, platform::Utf8ToUtf16(name)))
        if (!image::IsDotOrDotDot(quick) && ShownName(quick) == name) return quick;
    for (image::ImageItem* item = folder->firstItem; item; item = item->next)
        if (!image::IsDotOrDotDot(item) && ShownName(item) == name) return item;
    return nullptr;
}

ImageFileSystem* Self() { return static_cast<ImageFileSystem*>(fuse_get_context()->private_data); }

int OpGetAttr(const char* path, struct stat* st, fuse_file_info*) { return Self()->GetAttr(path, st); }

int OpReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    std::vector<std::string> names;
    const int r = Self()->ReadDir(path, names);
    if (r != 0) return r;
    for (const std::string& name : names)
        if (fill(buffer, name.c_str(), nullptr, 0, fuse_fill_dir_flags(0)) != 0) break;
    return 0;
}

int OpOpen(const char* path, fuse_file_info* fi) {
    uint64_t handle = 0;
    const int r = Self()->Open(path, fi->flags, handle);
    if (r != 0) return r;
    fi->fh = handle;
    fi->keep_cache = 1;   // the image does not change under the drive
    return 0;
}

int OpRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    return Self()->Read(fi->fh, buffer, size, offset);
}

int OpRelease(const char*, fuse_file_info* fi) { return Self()->Release(fi->fh); }

int OpGetXattr(const char* path, const char* name, char* value, size_t size) {
    return Self()->GetXattr(path, name, value, size);
}

int OpListXattr(const char* path, char* list, size_t size) { return Self()->ListXattr(path, list, size); }

void* OpInit(fuse_conn_info*, fuse_config* config) {
    config->kernel_cache = 1;
    config->entry_timeout = config->attr_timeout = 3600;
    return fuse_get_context()->private_data;
}

fuse_operations MakeOperations() {
    fuse_operations ops{};
    ops.getattr = OpGetAttr;
    ops.readdir = OpReadDir;
    ops.open = OpOpen;
    ops.read = OpRead;
    ops.release = OpRelease;
    ops.getxattr = OpGetXattr;
    ops.listxattr = OpListXattr;
    ops.init = OpInit;
    return ops;
}

}  // namespace

ImageFileSystem::ImageFileSystem(image::DocumentPtr document) : document_(std::move(document)) {
    if (document_) imagePath_ = document_->imagePath;
    imagePathUtf8_ = platform::Utf16ToUtf8(imagePath_);
}

ImageFileSystem::~ImageFileSystem() = default;

bool ImageFileSystem::Resolve(const char* path, image::ImageFolder*& folder, image::ImageItem*& item) {
    folder = document_ ? document_->rootFolder : nullptr;
    item = nullptr;
    if (!folder || !path || path[0] != '/') return false;
    std::string_view rest(path + 1);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string name(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (name.empty()) continue;
        if (!folder) return false;   // a name below a file
        image::ImageItem* child = FindShownChild(folder, name);
        if (!child) return false;
        if (image::IsFolderItem(child) && child->ownFolder) {
            folder = child->ownFolder;
            item = nullptr;
        } else if (image::IsFolderItem(child)) {
            return false;
        } else {
            folder = nullptr;
            item = child;
        }
    }
    return true;
}

int ImageFileSystem::GetAttr(const char* path, struct stat* st) {
    std::memset(st, 0, sizeof *st);
    image::ImageFolder* folder = nullptr;
    image::ImageItem* item = nullptr;
    if (!Resolve(path, folder, item)) return -ENOENT;
    st->st_uid = ::getuid();
    st->st_gid = ::getgid();
    if (folder) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
        const image::ImageItem* own = folder->ownItem;
        st->st_mtime = own ? ItemTime(own) : 0;
    } else {
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = std::max<int64_t>(image::GetItemDataSize(document_.get(), item), 0);
        st->st_mtime = ItemTime(item);
        st->st_blocks = (st->st_size + 511) / 512;
    }
    st->st_atime = st->st_ctime = st->st_mtime;
    return 0;
}

int ImageFileSystem::ReadDir(const char* path, std::vector<std::string>& names) {
    image::ImageFolder* folder = nullptr;
    image::ImageItem* item = nullptr;
    if (!Resolve(path, folder, item)) return -ENOENT;
    if (!folder) return -ENOTDIR;
    names = {".", ".."};
    for (const image::ImageItem* child = folder->firstItem; child; child = child->next) {
        if (image::IsDotOrDotDot(child)) continue;
        std::string name = ShownName(child);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return 0;
}

int ImageFileSystem::Open(const char* path, int flags, uint64_t& handle) {
    if ((flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    image::ImageFolder* folder = nullptr;
    image::ImageItem* item = nullptr;
    if (!Resolve(path, folder, item)) return -ENOENT;
    if (!item) return -EISDIR;
    auto file = std::make_unique<OpenFile>();
    file->item = item;
    file->size = std::max<int64_t>(image::GetItemDataSize(document_.get(), item), 0);
    if (image::ReaderKindOf(*document_, *item) == image::ItemReaderKind::Iso && item->sourceMarker == 0 &&
        item->memoryData.empty() && !image::IsItemFromDiskFile(document_.get(), item)) {
        for (const image::IsoExtent& e : image::IsoItemExtents(*item)) {
            const std::optional<int64_t> at =
                image::PlainSectorFileOffset(*document_, e.lba, int64_t((e.length + 2047) / 2048));
            if (!at) {
                file->runs.clear();
                break;
            }
            file->runs.push_back({*at, e.length});
        }
    }
    file->reader = std::make_unique<image::ItemByteReader>(*document_, *item);
    handle = reinterpret_cast<uint64_t>(file.release());
    return 0;
}

int ImageFileSystem::Read(uint64_t handle, char* buffer, size_t size, int64_t offset) {
    auto* file = reinterpret_cast<OpenFile*>(handle);
    if (!file || offset < 0) return -EINVAL;
    // Never past the item's end, whatever the image holds after it.
    if (offset >= file->size) return 0;
    size = size_t(std::min<int64_t>(int64_t(size), file->size - offset));
    if (!file->runs.empty()) {
        if (const int n = ReadRuns(*file, buffer, size, offset); n >= 0) return n;
    }
    std::lock_guard<std::mutex> guard(readLock_);
    const int64_t n = file->reader->Read(uint64_t(offset), reinterpret_cast<uint8_t*>(buffer), size);
    return n < 0 ? -EIO : int(n);
}

int ImageFileSystem::ReadRuns(const OpenFile& file, char* buffer, size_t size, int64_t offset) {
    const int fd = platform::FileDescriptor(document_->imageHandle.get());
    size_t done = 0;
    uint64_t runStart = 0;
    for (const OpenFile::Run& run : file.runs) {
        const uint64_t runEnd = runStart + run.length;
        while (done < size && uint64_t(offset) + done < runEnd) {
            const uint64_t inRun = uint64_t(offset) + done - runStart;
            const size_t want = size_t(std::min<uint64_t>(size - done, runEnd - (uint64_t(offset) + done)));
            const ssize_t n = ::pread(fd, buffer + done, want, run.fileOffset + int64_t(inRun));
            // A failed or short read goes the readers' way, which says why.
            if (n <= 0) return -1;
            done += size_t(n);
        }
        runStart = runEnd;
        if (done == size) break;
    }
    return int(done);
}

int ImageFileSystem::Release(uint64_t handle) {
    auto* file = reinterpret_cast<OpenFile*>(handle);
    delete file;
    return 0;
}

int ImageFileSystem::GetXattr(const char* path, const char* name, char* value, size_t size) {
    if (std::strcmp(path, "/") != 0 || std::strcmp(name, kMountAttribute) != 0) return -ENODATA;
    if (size == 0) return int(imagePathUtf8_.size());
    if (size < imagePathUtf8_.size()) return -ERANGE;
    std::memcpy(value, imagePathUtf8_.data(), imagePathUtf8_.size());
    return int(imagePathUtf8_.size());
}

int ImageFileSystem::ListXattr(const char* path, char* list, size_t size) {
    if (std::strcmp(path, "/") != 0) return 0;
    const size_t bytes = std::strlen(kMountAttribute) + 1;
    if (size == 0) return int(bytes);
    if (size < bytes) return -ERANGE;
    std::memcpy(list, kMountAttribute, bytes);
    return int(bytes);
}

std::unique_ptr<MountedDrive> MountedDrive::Mount(std::unique_ptr<ImageFileSystem> fs, const std::string& folder) {
    static const fuse_operations ops = MakeOperations();
    std::unique_ptr<MountedDrive> drive(new MountedDrive());
    drive->fs_ = std::move(fs);
    drive->folder_ = folder;
    const char* argv[] = {"qvhelper", "-o", "ro,fsname=quendravine,subtype=quendravine", nullptr};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    drive->fuse_ = fuse_new(&args, &ops, sizeof ops, drive->fs_.get());
    fuse_opt_free_args(&args);
    if (!drive->fuse_) {
        errno = EINVAL;
        return nullptr;
    }
    if (fuse_mount(drive->fuse_, folder.c_str()) != 0) {
        fuse_destroy(drive->fuse_);
        drive->fuse_ = nullptr;
        errno = EPERM;
        return nullptr;
    }
    drive->mounted_ = true;
    struct fuse* f = drive->fuse_;
    drive->loop_ = std::thread([f] { fuse_loop_mt(f, 0); });
    return drive;
}

namespace {

// The folder goes to the helper as one argument, never through a shell: a
// quote or any other character in the runtime path stays part of the name.
bool UnmountThroughFuseHelper(const std::string& folder) {
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    platform::ProcessStartOptions options;
    options.stdoutFd = quiet;
    options.stderrFd = quiet;
    const std::unique_ptr<platform::Process> helper =
        platform::Process::Start({u"fusermount3", u"-u", u"-q", platform::Utf8ToUtf16(folder)}, options);
    if (quiet >= 0) ::close(quiet);
    return helper && helper->Wait(platform::kInfinite) == platform::kWaitObject0 && helper->ExitCode() == 0;
}

}  // namespace

bool MountedDrive::Unmount() {
    if (!mounted_) return true;
    if (::umount2(folder_.c_str(), 0) != 0) {
        if (errno == EBUSY) return false;
        // Without the right to unmount directly the FUSE helper does it, and
        // it too refuses a busy drive (no lazy unmount).
        if (!UnmountThroughFuseHelper(folder_)) {
            errno = EBUSY;
            return false;
        }
    }
    mounted_ = false;
    fuse_exit(fuse_);
    if (loop_.joinable()) loop_.join();
    fuse_unmount(fuse_);
    fuse_destroy(fuse_);
    fuse_ = nullptr;
    return true;
}

MountedDrive::~MountedDrive() {
    if (mounted_ && !Unmount()) {
        // Leaving: a busy drive is detached so nothing is left behind serving no one.
        ::umount2(folder_.c_str(), MNT_DETACH);
        mounted_ = false;
        fuse_exit(fuse_);
        if (loop_.joinable()) loop_.join();
    }
    if (loop_.joinable()) loop_.join();
    if (fuse_) {
        fuse_unmount(fuse_);
        fuse_destroy(fuse_);
    }
}

}  // namespace vdrive
