#include "app/save_output.h"

#include <sys/stat.h>

#include <algorithm>
#include <random>

#include "foundation/paths.h"
#include "image/document/image_context.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr int kTemporaryAttempts = 16;

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
    std::u16string folder = foundation::FolderOfPath(finalPath);
    if (folder.empty()) folder = u".";
    const std::u16string name = foundation::NameOfPath(finalPath);
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        std::u16string temp =
            foundation::CombinePath(folder, u"." + name + platform::Format(u".qvsave-%08x", unsigned(random())));
        platform::FileHandle file =
            platform::FileOpen(temp, platform::FileAccess::ReadWrite, platform::FileDisposition::CreateNew);
        if (file) {
            volumes_.push_back({std::u16string(finalPath), std::move(temp), file, false});
            return file;
        }
        if (platform::GetLastError() != platform::kErrorFileExists) break;
    }
    return nullptr;
}

bool SaveOutputSet::Commit() {
    // Every volume is on disk before the first takes its name.
    for (Volume& v : volumes_) {
        const bool flushed = platform::FileFlush(v.file);
        const uint32_t error = platform::GetLastError();
        const bool closed = platform::FileClose(v.file);
        v.file = nullptr;
        if (!flushed || !closed) {
            if (!flushed) platform::SetLastError(error);
            Abandon();
            return false;
        }
    }
    for (Volume& v : volumes_) {
        if (!platform::RenameFile(v.tempPath, v.finalPath)) {
            const uint32_t error = platform::GetLastError();
            Abandon();
            platform::SetLastError(error);
            return false;
        }
        v.renamed = true;
    }
    committed_ = true;
    return true;
}

void SaveOutputSet::Abandon() {
    for (Volume& v : volumes_) {
        if (v.file) platform::FileClose(v.file);
        v.file = nullptr;
        platform::DeleteFileAt(v.renamed ? v.finalPath : v.tempPath);
    }
    volumes_.clear();
}

}  // namespace app
