#pragma once
// The files a save writes: one, or a set of volumes. Each is written to a new
// temporary file beside its final name; only when the whole save succeeded is
// each flushed to disk and renamed over its final name, all of them or none
// (platform::CommitStagedSet). A failed or cancelled save removes every file
// it wrote and leaves the user's earlier files as they were. A save never writes a volume over one of the files the
// document reads: those are compared by file identity (device and inode), not
// by name.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "platform/file.h"
#include "platform/staged_file.h"

namespace image {
struct ImageContext;
}

namespace app {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file at a path (links followed); false when it is missing.
bool IdentityOfPath(std::u16string_view path, FileIdentity& id);
// The files a document reads: its open image, its image, sheet and data paths.
std::vector<FileIdentity> DocumentFileIdentities(const image::ImageContext& ctx);

class SaveOutputSet {
public:
    // volumes: the save is split; no volume may then be one of the document's
    // files (a single output may: it replaces its own source at the end).
    SaveOutputSet(const image::ImageContext& source, bool volumes);
    ~SaveOutputSet();   // abandons what was not committed
    SaveOutputSet(const SaveOutputSet&) = delete;
    SaveOutputSet& operator=(const SaveOutputSet&) = delete;

    // A new temporary beside finalPath for the writer to fill; owned by the set.
    // Null with the last error set (kErrorSharingViolation for a volume that is
    // one of the document's files).
    platform::FileHandle OpenVolume(std::u16string_view finalPath);
    size_t VolumeCount() const { return volumes_.size(); }
    const std::u16string& FinalPath(size_t index) const { return volumes_[index].finalPath; }

    // The name of volume n (from 0) in the set's naming style; empty where the
    // style has none. With it a commit also removes the volumes of a longer
    // earlier set under the same names, which a reader would join to this one.
    using VolumeNamer = std::function<std::u16string(int32_t n)>;
    void SetVolumeNamer(VolumeNamer namer) { namer_ = std::move(namer); }

    // Flushes each file to disk and renames it over its final name; the files
    // that stood there are moved aside first and removed only when every
    // volume took its name (then the earlier set's trailing volumes go too).
    // False with the last error set: the earlier files are back as they were
    // and nothing of this save stays behind.
    bool Commit();
    // Removes every temporary.
    void Abandon();

private:
    struct Volume {
        std::u16string finalPath;
        std::unique_ptr<platform::StagedFile> file;
        platform::FileHandle handle = nullptr;   // the writer's, over a duplicate of the file's descriptor
    };
    std::vector<std::u16string> TrailingVolumes() const;

    std::vector<FileIdentity> sources_;
    bool volumesMode_;
    bool committed_ = false;
    VolumeNamer namer_;
    std::vector<Volume> volumes_;
};

}  // namespace app
