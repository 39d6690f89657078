#pragma once
// Writing a document to a file: the output format chosen from the name, the
// writer of that format found in one table (ISO and BIN images through the
// image build; the containers and archives add theirs as they land), the save
// written beside its target and renamed over it only when complete, and the
// in-place update of an image whose only change is its volume label.
//
// The window side runs SaveDocument on the progress dialog's worker with
// the dialog's progress record; the console and tests call it directly.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
}

namespace app {

class SaveOutputSet;

// What a writer gets: the document, the output format, the path the user
// named (after the self-extracting and volume rules), the output set to write
// through (writers other than the image build), and the progress record.
struct SaveRequest {
    image::ImageContext& ctx;
    int32_t format;
    std::u16string path;
    SaveOutputSet& output;
    foundation::ProgressCallbacks* progress;
};

// 1 saved, 0 cancelled, -1 failed (the writer has told the user why, and
// OperationStatus holds the reason). A writer that uses the output set leaves
// committing it to the engine.
using DocumentWriter = int (*)(SaveRequest& request);

// The writer of an output format (0 ISO, 1 BIN, 2 DAA/HXI, 7 MZP, 8 XDI,
// 151 archive); null when none exists yet. ISO and BIN are built in; DAA/HXI
// and XDI go through the image build once their container writer is installed.
DocumentWriter GetDocumentWriter(int32_t format);
// Installs a writer (null removes it); returns the one installed before.
DocumentWriter SetDocumentWriter(int32_t format, DocumentWriter writer);

// The result of the last save: 0 success, -1 failure or not done.
int32_t SaveResult();
// True while a save writes the document over its own file.
bool SavingOverSource();
// The file being written, for progress and error texts.
std::u16string CurrentOutputPath();

// A split save refuses volumes smaller than this and sets of more than 999.
constexpr int64_t kMinVolumeBytes = int64_t(1) << 20;
constexpr int64_t kMaxVolumeCount = 999;

struct SaveTarget {
    int32_t format = -1;
    std::u16string path;        // the file (or first volume) to write
    bool overSource = false;    // the target is the document's own file
    bool volumes = false;
    int32_t volumeNamingStyle = 0;   // 1: three-digit part numbers
    std::u16string firstVolume;      // volumes: the name of the first file written
};

// The format and the path to write for a path and a requested format (-1: by
// the extension; an unknown extension writes an ISO image). -1 with the user
// told and OperationStatus 2 when the target is refused. A split save stores
// the naming style its volume count needs in the document.
int32_t PrepareSaveTarget(image::ImageContext& ctx, std::u16string_view path, int32_t format, SaveTarget& target);

// Before a document read from an encrypted archive is written: the password
// asked for (and kept as the write password) unless one is set already; a
// document without an archive behind it writes without encryption. 1 go on,
// 0 the user cancelled.
int EnsureSavePassword(image::ImageContext& ctx);

// Writes the document. Returns SaveResult(): 0 saved (the document's path is
// then the written file), -1 not saved (the document's path and title are
// unchanged, and every file the save began is gone). Nothing is written for a
// format without a writer.
int SaveDocument(image::ImageContext& ctx, std::u16string_view path, int32_t format,
                 foundation::ProgressCallbacks* progress);
// The same for the current document.
int SaveDocument(std::u16string_view path, int32_t format);

// The image build for the burn engine, without an output file: the document
// is composed (image::ComposeImage) and read through its composed image from
// then on; the next session starts after it. Returns SaveResult().
int PrepareDocumentForBurn(image::ImageContext& ctx);

// Whether a label-only change can be written into the file in place: ISO and
// Mode 1 BIN images in their table layout, read from a single session, with
// their primary descriptor known.
bool CanUpdateInPlace(const image::ImageContext& ctx);
// Rewrites the volume label in the primary and Joliet descriptors of the
// document's own file through its format's sector writer (EDC/ECC for raw
// sectors), keeping the file, its size and everything else in it. 0 done, -1
// not possible or failed (the document stays open and unchanged).
int UpdateImageInPlace(image::ImageContext& ctx, std::u16string_view path);

}  // namespace app
