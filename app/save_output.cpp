#include "app/save_output.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "image/document/image_context.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {
namespace {

// More than any naming style numbers (three digits).
constexpr int32_t kMaxSetVolumes = 1000;

}  // namespace

bool IdentityOfPath(std::u16string_view path, FileIdentity& id) {
    std::string host;
    struct stat st {};
    if (path.empty() || !platform::Utf16ToUtf8Strict(path, host) || ::stat(host.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

std::vector<FileIdentity> DocumentFileIdentities(const image::ImageContext& ctx) {
    std::vector<FileIdentity> ids;
    struct stat st {};
    if (ctx.imageHandle && ::fstat(platform::FileDescriptor(ctx.imageHandle.get()), &st) == 0)
        ids.push_back({st.st_dev, st.st_ino});
    for (const std::u16string* path : {&ctx.imagePath, &ctx.sheetPath, &ctx.secondPath}) {
        FileIdentity id;
        if (IdentityOfPath(*path, id) && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    return ids;
}

SaveOutputSet::SaveOutputSet(const image::ImageContext& source, bool volumes)
    : sources_(DocumentFileIdentities(source)), volumesMode_(volumes) {}

SaveOutputSet::~SaveOutputSet() {
    if (!committed_) Abandon();
}

platform::FileHandle SaveOutputSet::OpenVolume(std::u16string_view finalPath) {
    FileIdentity id;
    if (volumesMode_ && IdentityOfPath(finalPath, id) &&
        std::find(sources_.begin(), sources_.end(), id) != sources_.end()) {
        platform::SetLastError(platform::kErrorSharingViolation);
        return nullptr;
    }
    auto file = std::make_unique<platform::StagedFile>();
    if (!file->Begin(finalPath, {.durable = true})) return nullptr;
    const int fd = ::fcntl(file->Fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        platform::SetLastErrorFromErrno();
        return nullptr;
    }
    platform::FileHandle handle = platform::FileFromDescriptor(fd);
    if (!handle) return nullptr;
    volumes_.push_back({std::u16string(finalPath), std::move(file), handle});
    return handle;
}

std::vector<std::u16string> SaveOutputSet::TrailingVolumes() const {
    std::vector<std::u16string> trailing;
    if (!namer_) return trailing;
    for (int32_t n = int32_t(volumes_.size()); n <= int32_t(kMaxSetVolumes); ++n) {
        std::u16string name = namer_(n);
        struct stat st {};
        std::string host;
        if (name.empty() || !platform::Utf16ToUtf8Strict(name, host) || ::lstat(host.c_str(), &st) != 0) break;
        // A file the document still reads stays, wherever it stands.
        const FileIdentity id{st.st_dev, st.st_ino};
        if (!S_ISREG(st.st_mode) || std::find(sources_.begin(), sources_.end(), id) != sources_.end()) break;
        trailing.push_back(std::move(name));
    }
    return trailing;
}

bool SaveOutputSet::Commit() {
    // The writers' handles close first: a delayed write failure shows there.
    for (Volume& v : volumes_) {
        const bool closed = platform::FileClose(v.handle);
        v.handle = nullptr;
        if (!closed) {
            const uint32_t error = platform::GetLastError();
            Abandon();
            platform::SetLastError(error);
            return false;
        }
    }
    std::vector<platform::StagedFile*> files;
    for (Volume& v : volumes_) files.push_back(v.file.get());
    const std::vector<std::u16string> trailing = TrailingVolumes();
    if (!platform::CommitStagedSet(files, trailing)) {
        const uint32_t error = platform::GetLastError();
        Abandon();
        platform::SetLastError(error);
        return false;
    }
    committed_ = true;
    return true;
}

void SaveOutputSet::Abandon() {
    for (Volume& v : volumes_) {
        if (v.handle) platform::FileClose(v.handle);
        v.handle = nullptr;
        v.file->Abandon();
    }
    volumes_.clear();
}

}  // namespace app
