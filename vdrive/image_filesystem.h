#pragma once
// One virtual drive's file system: the item tree of an opened document served
// read-only through FUSE 3. Every reader the program has is served this way:
// ISO 9660 and Joliet items straight from their extents, items of the other
// readers through the reader's own extraction into a private temporary file
// when first opened. Names are shown as the extraction writes them ("/" in a
// name becomes "_"); "." and ".." of the tree are left out. The root answers
// the extended attribute "user.quendravine.mount" with the image's path.
//
// The callbacks are public so that they can be driven without a mount.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/document/document.h"

struct fuse;

namespace image {
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace vdrive {

inline constexpr const char* kMountAttribute = "user.quendravine.mount";

class ImageFileSystem {
public:
    explicit ImageFileSystem(image::DocumentPtr document);
    ~ImageFileSystem();
    ImageFileSystem(const ImageFileSystem&) = delete;
    ImageFileSystem& operator=(const ImageFileSystem&) = delete;

    // 0 or a negative errno, as FUSE wants them.
    int GetAttr(const char* path, struct stat* st);
    int ReadDir(const char* path, std::vector<std::string>& names);
    int Open(const char* path, int flags, uint64_t& handle);
    int Read(uint64_t handle, char* buffer, size_t size, int64_t offset);
    int Release(uint64_t handle);
    int GetXattr(const char* path, const char* name, char* value, size_t size);
    int ListXattr(const char* path, char* list, size_t size);

    const std::u16string& ImagePath() const { return imagePath_; }

private:
    struct OpenFile;
    // The folder node or file item at the path; false when there is none.
    bool Resolve(const char* path, image::ImageFolder*& folder, image::ImageItem*& item);
    // Bytes of a file stored plainly in the image, read from the image file
    // without the readers; -1 when the file does not give them.
    int ReadRuns(const OpenFile& file, char* buffer, size_t size, int64_t offset);

    image::DocumentPtr document_;
    std::u16string imagePath_;
    std::string imagePathUtf8_;
    std::mutex readLock_;   // the document's readers are used by one thread at a time
};

// A FUSE 3 mount of a file system on a folder, served by its own threads.
class MountedDrive {
public:
    // Null with errno set when the folder cannot be mounted.
    static std::unique_ptr<MountedDrive> Mount(std::unique_ptr<ImageFileSystem> fs, const std::string& folder);
    ~MountedDrive();
    MountedDrive(const MountedDrive&) = delete;
    MountedDrive& operator=(const MountedDrive&) = delete;

    // Not lazy: false (errno EBUSY) while a program works inside the drive,
    // which then stays mounted.
    bool Unmount();
    const ImageFileSystem& FileSystem() const { return *fs_; }

private:
    MountedDrive() = default;
    std::unique_ptr<ImageFileSystem> fs_;
    std::string folder_;
    ::fuse* fuse_ = nullptr;
    std::thread loop_;
    bool mounted_ = false;
};

}  // namespace vdrive
