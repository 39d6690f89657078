#pragma once
// The one way a file reaches its final name: written under a fresh temporary
// name beside the target (created exclusively, mode 0600 while it is being
// written, so a half-made file is never seen under the final name nor read by
// others), then renamed over the target in one step. The writer gets the
// temporary's descriptor and never reopens it by name. A replaced file keeps
// its mode, owner and group; a new file gets the caller's mode less the umask.
// A writer may set the temporary's mode itself (a self-extracting program
// makes itself executable): a new file then keeps that mode, and a replaced
// file becomes executable for those who may read it.
// A planted link at the target is replaced, never followed.
//
// A set of files (the volumes of a split image) is committed together: every
// file that stood at one of the set's names is first moved aside, and a
// failure at any step puts the previous set back as it was.

#include <sys/types.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct StagedFileOptions {
    mode_t newFileMode = 0666;    // a file that replaces nothing: this less the umask
    bool durable = false;         // fsync the file and its folder: the store must survive a crash
    bool createFolders = false;   // the target's missing folders are made (0777 less the umask)
};

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile();   // an uncommitted file is abandoned
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Starts a file that will replace the target path. False with the last
    // error set.
    bool Begin(std::u16string_view target, const StagedFileOptions& options = {});
    bool BeginUtf8(std::string_view target, const StagedFileOptions& options = {});
    // Starts `name` (one path component) in an open folder, which the caller
    // keeps open until the file is committed or abandoned: nothing above the
    // folder is looked up again.
    bool BeginAt(int folderFd, std::string_view name, const StagedFileOptions& options = {});

    bool Active() const { return fd_ >= 0; }
    // The temporary's descriptor; the file keeps owning it.
    int Fd() const { return fd_; }
    // Writes all of data at the file's current end; false with the last error
    // set (a full disk is kErrorDiskFull).
    bool Write(const void* data, size_t bytes);
    // The temporary's path, for a library that takes only a name ("" after
    // BeginAt, whose folder has no path).
    std::string TemporaryPathUtf8() const;
    const std::string& TargetName() const { return name_; }

    // Flushes (durable), sets the final mode and group, closes and renames the
    // temporary over the target. False with the last error set: the target is
    // then as it was and the temporary is gone.
    bool Commit();
    // Removes the temporary; the target is untouched.
    void Abandon();

private:
    friend bool CommitStagedSet(std::span<StagedFile* const> files, std::span<const std::u16string> removeAfter);

    bool Start(int folderFd, bool ownsFolder, std::string_view name, const StagedFileOptions& options);
    // Flush, mode and close: everything of a commit before the rename.
    bool Seal();
    void Reset();

    int folderFd_ = -1;
    bool ownsFolder_ = false;
    std::string folderPath_;   // "" after BeginAt
    std::string name_;
    std::string tempName_;
    int fd_ = -1;
    StagedFileOptions options_;
};

// Commits every file of a set: each is sealed, each file standing at one of
// the set's names is moved aside under a fresh name, then each temporary takes
// its name. Only when all succeeded are the moved-aside files removed, and then
// the paths in removeAfter (volumes of a longer earlier set). False with the
// last error set: the earlier files are back under their names, every
// temporary is gone, and nothing in removeAfter was touched.
bool CommitStagedSet(std::span<StagedFile* const> files, std::span<const std::u16string> removeAfter = {});

}  // namespace platform
