#pragma once
// The files a save writes: one, or a set of volumes. Each is written to a new
// temporary file beside its final name; only when the whole save succeeded is
// each flushed to disk and renamed over its final name. A failed or cancelled
// save removes every file it wrote, so the user's existing files are never
// left half-replaced. A save never writes a volume over one of the files the
// document reads: those are compared by file identity (device and inode), not
// by name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "platform/file.h"

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

    // Flushes each file to disk, closes it and renames it over its final name.
    // False with the last error set: then nothing of this save stays behind
    // (volumes already renamed are removed too: a part of a set is of no use).
    bool Commit();
    // Removes every temporary.
    void Abandon();

private:
    struct Volume {
        std::u16string finalPath;
        std::u16string tempPath;
        platform::FileHandle file = nullptr;
        bool renamed = false;
    };
    std::vector<FileIdentity> sources_;
    bool volumesMode_;
    bool committed_ = false;
    std::vector<Volume> volumes_;
};

}  // namespace app
