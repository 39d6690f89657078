#include "app/extract_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <unordered_set>
#include <vector>

#include "app/audio_track_services.h"
#include "app/extract_helpers.h"
#include "image/document/item_bytes.h"
#include "app/safe_output.h"
#include "app/save_output.h"
#include "foundation/dates.h"
#include "foundation/deletion_queue.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/iso/iso_reader.h"
#include "image/sectors/format_table.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {
namespace {

using foundation::OperationStatus;

constexpr size_t kChunkBytes = size_t(1) << 20;
constexpr uint32_t kExtractFailedText = 1010;
constexpr uint32_t kSkippedItemsText = 1011;
// Below the path limit every level costs at least two characters.
constexpr int32_t kMaxFolderDepth = int32_t(kExtractPathLimit / 2);

std::atomic<CExtractJob*> g_currentExtractJob{nullptr};

void SetStatus(int32_t status) {
    if (OperationStatus.load() == foundation::kStatusNone) OperationStatus = status;
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
    if (b <= 0) return a;
    return a > std::numeric_limits<int64_t>::max() - b ? std::numeric_limits<int64_t>::max() : a + b;
}

// The item's time: its own, else its directory record's date.
int64_t ItemTime(const image::ImageItem& item) {
    if (item.time != 0) return int64_t(item.time);
    return foundation::IsoRecordDateToUnixTime(std::span<const uint8_t>(item.recordHeader.data() + image::dr::kDate, 7));
}

}  // namespace

CExtractJob* CurrentExtractJob() { return g_currentExtractJob.load(); }

void ReportExtractError(std::u16string_view path) {
    const int32_t status = OperationStatus.load();
    if (status == foundation::kStatusNone || status == foundation::kStatusCancelled) return;
    foundation::AppMessageBox(platform::Format(u"%s\r\n\r\n%s %s", std::u16string(path),
                                               foundation::GetLangString(kExtractFailedText, u"Extract failed!"),
                                               foundation::GetLastErrorText()),
                              foundation::kMbIconStop);
    foundation::SetCurrentFileName(std::nullopt);
}

std::u16string GetNamePart(std::u16string_view path) {
    const size_t at = path.find_last_of(u"/\\");
    return std::u16string(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

CExtractJob::CExtractJob(image::ImageContext* ctx, std::u16string_view destination, image::ImageFolder* baseFolder)
    : ctx_(ctx), destination_(destination), baseFolder_(baseFolder) {
    g_currentExtractJob.store(this);
}

CExtractJob::~CExtractJob() {
    CExtractJob* self = this;
    g_currentExtractJob.compare_exchange_strong(self, nullptr);
}

int CExtractJob::AddFolder(image::ImageItem* item) {
    entries_.push_back({EntryKind::Folder, 0, item, -1});
    return 0;
}

int CExtractJob::AddFile(image::ImageItem* item) {
    entries_.push_back({EntryKind::File, 0, item, -1});
    return 0;
}

int CExtractJob::AddTrack(int32_t index, uint8_t flag) {
    entries_.push_back({EntryKind::Track, flag, nullptr, index});
    return 0;
}

int64_t CExtractJob::ComputeTotal() const {
    int64_t total = 0;
    for (const Entry& e : entries_) {
        switch (e.kind) {
        case EntryKind::Folder:
            if (e.item && e.item->ownFolder) {
                image::TreeStatistics stats;
                image::GetTreeStatistics(ctx_, e.item->ownFolder, &stats, true);
                total = SaturatingAdd(total, stats.fileBytes);
            }
            break;
        case EntryKind::File:
            if (e.item) total = SaturatingAdd(total, image::GetItemDataSize(ctx_, e.item));
            break;
        case EntryKind::Track:
            if (ctx_ && ctx_->trackList && e.trackIndex >= 0 && e.trackIndex < ctx_->trackList->trackCount &&
                e.trackIndex < image::kMaxTracks)
            {
                // A saved track holds its gaps too.
                const image::TrackEntry& t = ctx_->trackList->tracks[size_t(e.trackIndex)];
                total = SaturatingAdd(total, (int64_t(std::max(t.pregap, 0)) + std::max(t.length, 0) +
                                              std::max(t.postgap, 0)) * 2352);
            }
            break;
        }
    }
    return total;
}

// One run of the job: the open destination, the document's files it must not
// overwrite, and the item data copy.
class CExtractJob::Worker {
public:
    Worker(CExtractJob& job, foundation::ProgressCallbacks* progress) : job_(job), ctx_(*job.ctx_), progress_(progress) {}

    int Run() {
        if (!destination_.Open(job_.destination_)) {
            SetStatus(foundation::kStatusCannotCreate);
            ReportExtractError(job_.destination_);
            return -1;
        }
        RememberDocumentFiles();
        for (const Entry& e : job_.entries_) {
            if (OperationStatus.load() != foundation::kStatusNone) break;
            switch (e.kind) {
            case EntryKind::File:
                if (e.item) ExtractFile(*e.item);
                break;
            case EntryKind::Folder:
                if (e.item && e.item->ownFolder) ExtractTree(e.item->ownFolder);
                break;
            case EntryKind::Track: ExtractTrack(e); break;
            }
        }
        const int32_t status = OperationStatus.load();
        if (status == foundation::kStatusCancelled) return 0;
        if (status != foundation::kStatusNone) return -1;
        if (unreadable_ > 0) {
            // Each was told when it failed; the job still fails.
            SetStatus(foundation::kStatusSourceReadFailed);
            return -1;
        }
        if (job_.skipped_ > 0) {
            // Reported once for the whole job; the rest has been written.
            foundation::AppMessageBox(
                platform::Format(u"%s\r\n\r\n%s %d",
                                 foundation::GetLangString(kExtractFailedText, u"Extract failed!"),
                                 foundation::GetLangString(kSkippedItemsText, u"Items that could not be written:"),
                                 int(std::min<int64_t>(job_.skipped_, INT32_MAX))),
                foundation::kMbIconStop);
            SetStatus(foundation::kStatusCannotCreate);
            return -1;
        }
        return 1;
    }

private:
    void RememberDocumentFiles() {
        documentFiles_ = DocumentFileIdentities(ctx_);
    }

    bool IsDocumentFile(const FileIdentity& id) const {
        return std::find(documentFiles_.begin(), documentFiles_.end(), id) != documentFiles_.end();
    }

    // The output folder of a path BuildExtractPath made, and its last name.
    int FolderOf(const std::u16string& path, std::u16string& name, bool createLast) {
        if (!destination_.RelativeComponents(path, components_)) {
            platform::SetLastError(platform::kErrorInvalidName);
            return -1;
        }
        name = components_.back();
        if (!createLast) components_.pop_back();
        return destination_.Folder(components_, true);
    }

    void Skip() { ++job_.skipped_; }

    int64_t unreadable_ = 0;   // files told and left out because their data could not be read

    // Folders and their files without recursion: a work list, and a depth
    // below which no path fits the limit anyway.
    void ExtractTree(image::ImageFolder* top) {
        std::vector<image::ImageFolder*> work{top};
        std::unordered_set<const image::ImageFolder*> seen;
        while (!work.empty() && OperationStatus.load() == foundation::kStatusNone) {
            image::ImageFolder* folder = work.back();
            work.pop_back();
            if (!seen.insert(folder).second) continue;
            if (folder != Base() && folder->ownItem) {
                if (folder->depth - BaseDepth() > kMaxFolderDepth) {
                    Skip();
                    continue;
                }
                const std::u16string path = BuildExtractPath(&ctx_, folder->ownItem, Base(), destination_.Path());
                std::u16string name;
                if (path.empty()) {
                    Skip();
                    continue;   // its contents cannot be placed either
                }
                std::u16string folderPath = path;
                if (!folderPath.empty() && folderPath.back() == u'/') folderPath.pop_back();
                if (FolderOf(folderPath, name, true) < 0) {
                    if (platform::GetLastError() == platform::kErrorFilenameTooLong) {
                        Skip();
                        continue;
                    }
                    SetStatus(foundation::kStatusCannotCreate);
                    ReportExtractError(folderPath);
                    return;
                }
            }
            for (image::ImageItem* item = folder->firstItem; item; item = item->next) {
                if (OperationStatus.load() != foundation::kStatusNone) return;
                if (!image::IsPlainFileItem(item)) continue;
                ExtractFile(*item);
            }
            for (image::ImageFolder* sub = folder->firstSubfolder; sub; sub = sub->next) {
                const std::u16string_view name = image::FolderName(sub);
                if (name == u"." || name == u"..") continue;
                work.push_back(sub);
            }
        }
    }

    image::ImageFolder* Base() const { return job_.baseFolder_ ? job_.baseFolder_ : ctx_.rootFolder; }
    int32_t BaseDepth() const { return Base() ? Base()->depth : 0; }

    void ExtractFile(image::ImageItem& item) {
        const std::u16string path = BuildExtractPath(&ctx_, &item, Base(), destination_.Path());
        if (path.empty()) {
            Skip();
            return;
        }
        std::u16string name;
        const int folderFd = FolderOf(path, name, false);
        if (folderFd < 0) {
            if (platform::GetLastError() == platform::kErrorFilenameTooLong) {
                Skip();
                return;
            }
            SetStatus(foundation::kStatusCannotCreate);
            ReportExtractError(path);
            return;
        }
        std::string host;
        if (!platform::Utf16ToUtf8Strict(name, host)) {
            Skip();
            return;
        }
        struct stat st {};
        if (::fstatat(folderFd, host.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            const FileIdentity existing{st.st_dev, st.st_ino};
            FileIdentity source;
            // Extracting an item over the disk file it was added from: nothing to do.
            if (!item.diskPath.empty() && IdentityOfPath(item.diskPath, source) && source == existing) return;
            if (IsDocumentFile(existing)) {
                // The document reads this very file: replacing it would lose the image.
                platform::SetLastError(platform::kErrorSharingViolation);
                SetStatus(foundation::kStatusSourceOpenFailed);
                ReportExtractError(path);
                return;
            }
        }
        if (ConfirmOverwriteAt(folderFd, host, path, &item) != 0) return;   // skipped, or cancelled
        if (OperationStatus.load() != foundation::kStatusNone) return;

        SafeOutputFile out;
        if (!out.Begin(folderFd, name)) {
            if (platform::GetLastError() == platform::kErrorFilenameTooLong) {
                Skip();
                return;
            }
            SetStatus(foundation::kStatusSourceOpenFailed);
            ReportExtractError(path);
            return;
        }
        if (progress_ && progress_->SetCurrentItem) progress_->SetCurrentItem(GetNamePart(path));
        const int written = WriteItemData(item, out);
        if (written != 1) {
            out.Abandon();
            if (written == 0) {
                SetStatus(foundation::kStatusCancelled);
                return;
            }
            ReportExtractError(path);
            // A file whose data cannot be read (cut short, damaged, in an
            // unknown method) is told and left out; the others are still
            // written. Writing, cancelling and placing failures stop the job.
            const int32_t status = OperationStatus.load();
            if (status == foundation::kStatusImageReadError || status == foundation::kStatusSourceReadFailed) {
                ++unreadable_;
                OperationStatus = foundation::kStatusNone;
            }
            return;
        }
        if (!out.Commit(ItemTime(item))) {
            SetStatus(foundation::kStatusWriteFailed);
            ReportExtractError(path);
            return;
        }
        ++job_.filesWritten_;
    }

    int Failed(int32_t status) {
        SetStatus(status);
        return -1;
    }

    int WriteItemData(image::ImageItem& item, SafeOutputFile& out) {
        const uint64_t size = item.size > 0 ? uint64_t(item.size) : 0;
        if (!item.memoryData.empty()) {
            const size_t n = size_t(std::min<uint64_t>(size, item.memoryData.size()));
            if (!out.Write(item.memoryData.data(), n)) return Failed(foundation::kStatusWriteFailed);
            if (progress_ && progress_->AddDone) progress_->AddDone(int64_t(n));
            return 1;
        }
        if (!item.diskPath.empty() && image::IsItemFromDiskFile(&ctx_, &item)) return CopyDiskFile(item, out, size);

        if (image::ReaderKindOf(ctx_, item) != image::ItemReaderKind::Iso) {
            platform::FileHandle handle = platform::FileFromDescriptor(::dup(out.Fd()));
            if (!handle) return Failed(foundation::kStatusWriteFailed);
            const int result = image::WriteItemData(ctx_, item, handle, progress_);
            platform::FileClose(handle);
            if (result == -1) SetStatus(foundation::kStatusSourceReadFailed);
            return result;
        }
        return CopyIsoExtents(item, out, size);
    }

    int CopyDiskFile(const image::ImageItem& item, SafeOutputFile& out, uint64_t size) {
        std::string host;
        if (!platform::Utf16ToUtf8Strict(item.diskPath, host)) return Failed(foundation::kStatusSourceOpenFailed);
        const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            platform::SetLastErrorFromErrno();
            return Failed(foundation::kStatusSourceOpenFailed);
        }
        struct stat st {};
        int result = -1;
        if (::fstat(fd, &st) != 0) {
            platform::SetLastErrorFromErrno();
            SetStatus(foundation::kStatusSourceReadFailed);
        } else {
            result = out.CopyFrom(fd, 0, uint64_t(st.st_size), progress_, copyState_);
            if (result == -1) SetStatus(foundation::kStatusWriteFailed);
        }
        (void)size;
        ::close(fd);
        return result;
    }

    // Plain 2048-byte-sector images are copied straight from the image file
    // by the kernel; every other layout reads through the sector readers.
    bool PlainImage() const {
        const image::ImageFormatRow* row = image::GetImageFormatRow(ctx_.formatCode);
        return row && row->reader == image::ReadPlainSectors && ctx_.sectorSize == 2048 && ctx_.userDataOffset == 0 &&
               ctx_.composedRead == 0 && (ctx_.discSource == 0 || ctx_.virtualDrive != 0) &&
               ctx_.preloadedHead.empty() && ctx_.imageHandle;
    }

    int CopyIsoExtents(const image::ImageItem& item, SafeOutputFile& out, uint64_t size) {
        const std::vector<image::IsoExtent> extents = image::IsoItemExtents(item);
        uint64_t listed = 0;
        for (const image::IsoExtent& e : extents) listed += e.length;
        if (listed < size) {
            // The record claims more than its extents hold: an error, not zeros.
            platform::SetLastError(platform::kErrorHandleEof);
            return Failed(foundation::kStatusImageReadError);
        }
        if (PlainImage()) {
            const int fd = platform::FileDescriptor(ctx_.imageHandle.get());
            uint64_t imageBytes = 0;
            if (!platform::FileGetSize(ctx_.imageHandle.get(), imageBytes)) return Failed(foundation::kStatusImageReadError);
            uint64_t left = size;
            for (const image::IsoExtent& e : extents) {
                if (left == 0) break;
                const uint64_t n = std::min(left, e.length);
                const int64_t start = int64_t(e.lba) * 2048 + ctx_.dataOffset;
                if (start < 0 || uint64_t(start) > imageBytes || n > imageBytes - uint64_t(start)) {
                    // "Unexpected end of file": the item's data lie past the image's end.
                    platform::SetLastError(platform::kErrorHandleEof);
                    return Failed(foundation::kStatusImageReadError);
                }
                const int result = out.CopyFrom(fd, uint64_t(start), n, progress_, copyState_);
                if (result != 1) {
                    if (result == -1) SetStatus(foundation::kStatusWriteFailed);
                    return result;
                }
                left -= n;
            }
            return 1;
        }
        if (chunk_.empty()) chunk_.resize(kChunkBytes);
        for (uint64_t done = 0; done < size;) {
            if (image::WaitIfPaused(progress_) == 0) return 0;
            const uint64_t n = std::min<uint64_t>(kChunkBytes, size - done);
            const int64_t got = image::ReadIsoItemBytes(ctx_, item, done, chunk_.data(), n);
            if (got != int64_t(n)) {
                if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
                return Failed(foundation::kStatusSourceReadFailed);
            }
            if (!out.Write(chunk_.data(), size_t(n))) return Failed(foundation::kStatusWriteFailed);
            done += n;
            if (progress_ && progress_->AddDone) progress_->AddDone(int64_t(n));
        }
        return 1;
    }

    void ExtractTrack(const Entry& e) {
        // The track writer names its own file in its one error report.
        const int result =
            AudioTrackServices().ExtractAudioTrack(ctx_, e.trackIndex, e.trackFlag, destination_.Path(), progress_);
        if (result == 0) SetStatus(foundation::kStatusCancelled);
        if (result == -1) SetStatus(foundation::kStatusWriteFailed);
    }

    CExtractJob& job_;
    image::ImageContext& ctx_;
    foundation::ProgressCallbacks* progress_;
    ExtractDestination destination_;
    std::vector<FileIdentity> documentFiles_;
    std::vector<std::u16string> components_;
    std::vector<uint8_t> chunk_;
    SafeOutputFile::CopyState copyState_;
};

int ExtractItems(image::ImageContext* ctx, image::ImageFolder* baseFolder, const std::vector<image::ImageItem*>& items,
                 const ExtractRequest& request, foundation::ProgressCallbacks* progress) {
    if (!ctx) return -1;
    image::ImageFolder* base = baseFolder ? baseFolder : ctx->rootFolder;
    CExtractJob job(ctx, request.destination, base);
    job.options = request.options;
    auto add = [&job](image::ImageItem* item) {
        if (!item || image::IsDotOrDotDot(item)) return;
        if (image::IsFolderItem(item)) job.AddFolder(item);
        else job.AddFile(item);
    };
    if (request.allFiles) {
        for (image::ImageItem* item = base ? base->firstItem : nullptr; item; item = item->next) add(item);
    } else {
        for (image::ImageItem* item : items) add(item);
    }
    return job.Run(progress);
}

int CExtractJob::Run(foundation::ProgressCallbacks* progress) {
    foundation::ResetOperationStatus();
    skipped_ = 0;
    filesWritten_ = 0;
    // A command-file run overwrites without asking; otherwise the standing
    // answer of an earlier job does not carry over.
    if (foundation::OverwriteAll.load() || options.overwriteWithoutAsking || options.overwriteSilently)
        foundation::StandingOverwriteAnswer = 2;
    else
        foundation::StandingOverwriteAnswer = -1;
    if (!ctx_) {
        foundation::OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    if (progress && progress->SetTotal) progress->SetTotal(ComputeTotal());
    Worker worker(*this, progress);
    const int result = worker.Run();
    foundation::DeleteQueuedFiles();
    if (progress && progress->Finish) progress->Finish();
    return result;
}

}  // namespace app
