#pragma once
// The one way extracted data reach the disk, for every extractor: the chosen
// folder is held open and everything below it is reached from that descriptor
// one component at a time, never through a link; every file is written as a
// temporary beside its name and renamed over it only when complete, so a
// failed or cancelled file leaves the old one (or none) as it was.
// Names handed in are single components already made safe (MakeSafeComponent).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/progress_callbacks.h"
#include "platform/staged_file.h"

namespace app {

// The folder the user chose, open for the life of an extraction.
class ExtractDestination {
public:
    ExtractDestination() = default;
    ~ExtractDestination();
    ExtractDestination(const ExtractDestination&) = delete;
    ExtractDestination& operator=(const ExtractDestination&) = delete;

    // Creates the chosen folder with its parents when missing and opens it.
    // The chosen folder itself may be reached through links: the user named
    // it. False with the last error set.
    bool Open(std::u16string_view folder);
    const std::u16string& Path() const { return path_; }
    int RootFd() const { return rootFd_; }

    // The folder below the destination named by the components, created (mode
    // 0777 less the umask) when missing and create is set. The descriptor is the
    // destination's and stays valid until the next call. -1 with the last error
    // set when a component is a link or not a folder, or cannot be made.
    int Folder(const std::vector<std::u16string>& components, bool create);

    // The components of a path below Path() (as BuildExtractPath makes them);
    // false when the path does not lie below it.
    bool RelativeComponents(std::u16string_view path, std::vector<std::u16string>& components) const;

private:
    void DropCache();

    int rootFd_ = -1;
    std::u16string path_;
    std::vector<std::u16string> cachedComponents_;
    int cachedFd_ = -1;
};

// One file being written into an open folder: a temporary beside its name,
// renamed over it at Commit (platform::StagedFile), so the name never holds
// a half-written file.
class SafeOutputFile {
public:
    SafeOutputFile() = default;
    ~SafeOutputFile() = default;   // an uncommitted file is abandoned
    SafeOutputFile(const SafeOutputFile&) = delete;
    SafeOutputFile& operator=(const SafeOutputFile&) = delete;

    // Starts `name` in the folder. Whatever stands at the name that is not a
    // regular file is refused: the overwrite question (ConfirmOverwriteAt) has
    // removed it when the user agreed. A new file gets mode 0666 less the
    // umask; a replaced one keeps its mode and group. False with the last
    // error set.
    bool Begin(int folderFd, std::u16string_view name);
    int Fd() const { return file_.Fd(); }

    // Writes all of data at the file's current end; false with the last error
    // set (a full disk is kErrorDiskFull).
    bool Write(const void* data, size_t bytes);
    // What a run of copies learns once: whether the kernel copies between the
    // two file systems, and the buffer of the copies it does not.
    struct CopyState {
        bool kernelCopy = true;
        std::vector<uint8_t> buffer;
    };
    // Copies bytes from a descriptor at an offset (copy_file_range where the
    // kernel can, else read and write in 1 MiB steps), reporting progress and
    // polling pause and cancel between steps. 1 done, 0 cancelled, -1 failed
    // (last error set; a short source is kErrorHandleEof).
    int CopyFrom(int sourceFd, uint64_t offset, uint64_t bytes, foundation::ProgressCallbacks* progress,
                 CopyState& state);

    // Sets the times (seconds since 1970, 0 none) and renames the file over
    // its name. False with the last error set; an old file is then untouched
    // and nothing is left behind.
    bool Commit(int64_t modifiedSeconds);
    // Removes what was written; an old file is untouched.
    void Abandon() { file_.Abandon(); }

private:
    platform::StagedFile file_;
};

// A folder entry below an open folder: created when missing, then opened
// without following a link. The new descriptor, or -1 with the last error set.
int OpenChildFolder(int parentFd, std::u16string_view name, bool create);

}  // namespace app
