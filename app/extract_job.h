#pragma once
// The extraction job: items of a document (files, folders with everything in
// them, audio tracks) copied to a folder on disk. Every file goes through the
// safe output (app/safe_output.h), so nothing lands outside the chosen folder
// and no failure or cancel costs the user an existing file. Item data come
// through the one reader of item data (image/document/item_bytes.h); ISO 9660
// items are copied straight from their real extents.
//
// The window side builds a job from the selection and the Extract dialog's
// answers and runs Run on the progress dialog's worker thread; the console
// and the tests run it on their own thread with a null progress record.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app {

struct ExtractOptions {
    bool overwriteWithoutAsking = false;   // "Overwrite existing files"
    bool overwriteSilently = false;        // an item transfer renders into the work folder
};

class CExtractJob {
public:
    enum class EntryKind : uint8_t { Folder = 1, File = 2, Track = 3 };
    struct Entry {
        EntryKind kind = EntryKind::File;
        uint8_t trackFlag = 0;
        image::ImageItem* item = nullptr;   // folder or file entries
        int32_t trackIndex = -1;            // track entries
    };

    // baseFolder: the folder whose contents land directly in the destination
    // (the document's root for "all files", the shown folder for a
    // selection); null: the root.
    CExtractJob(image::ImageContext* ctx, std::u16string_view destination, image::ImageFolder* baseFolder);
    ~CExtractJob();
    CExtractJob(const CExtractJob&) = delete;
    CExtractJob& operator=(const CExtractJob&) = delete;

    int AddFolder(image::ImageItem* item);
    int AddFile(image::ImageItem* item);
    int AddTrack(int32_t index, uint8_t flag);

    // Bytes to write: folders with all below them, files by size, tracks as
    // 2352-byte sectors; 64-bit, saturating, unknown sizes left out.
    int64_t ComputeTotal() const;

    // The worker. 1 done, 0 cancelled, -1 failed (reported to the user with
    // ReportExtractError; OperationStatus says why). Items that could not be
    // written under their name (a name too long, a path of 2048 characters or
    // more) are skipped, counted, reported at the end, and leave OperationStatus
    // at 5 with result -1.
    int Run(foundation::ProgressCallbacks* progress);

    ExtractOptions options;
    const std::vector<Entry>& Entries() const { return entries_; }
    const std::u16string& Destination() const { return destination_; }
    int64_t SkippedCount() const { return skipped_; }
    int64_t FilesWritten() const { return filesWritten_; }

private:
    class Worker;

    image::ImageContext* ctx_;
    std::u16string destination_;
    image::ImageFolder* baseFolder_;
    std::vector<Entry> entries_;
    int64_t skipped_ = 0;
    int64_t filesWritten_ = 0;
};

// What the Extract dialog answers; the frame's Extract command hands it, with
// the selection, to ExtractItems on the progress dialog's worker.
struct ExtractRequest {
    std::u16string destination;
    bool allFiles = false;                 // "All files": everything below the base folder
    bool openFolderAfter = false;          // the frame opens the folder when the job succeeded
    ExtractOptions options;
};

// Builds and runs the job: with allFiles every entry of baseFolder, else the
// items given (files and folders of baseFolder). Returns CExtractJob::Run's
// result.
int ExtractItems(image::ImageContext* ctx, image::ImageFolder* baseFolder, const std::vector<image::ImageItem*>& items,
                 const ExtractRequest& request, foundation::ProgressCallbacks* progress);

// The job that exists, null when none (set by the constructor, cleared by the
// destructor).
CExtractJob* CurrentExtractJob();

// When OperationStatus is set and is not a cancel: "%s\r\n\r\n%s %s" with the
// path, "Extract failed!" and the last error text, stop icon.
void ReportExtractError(std::u16string_view path);

// The part after the last "/" or "\", or the whole name without either.
std::u16string GetNamePart(std::u16string_view path);

}  // namespace app
