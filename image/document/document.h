#pragma once
// Document lifecycle: the constructors of new documents, the open entry that
// turns an image file into a document, the free routine, the current-document
// operations and the capability query of the menus.

#include <cstdint>
#include <memory>
#include <string_view>

#include "foundation/file_io.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"

namespace image {

// Result codes of OpenImageDocument.
namespace open_result {
constexpr int kOk = 0;
constexpr int kCancelled = 1;
constexpr int kOutOfMemory = 6;
constexpr int kTooLarge = 7;             // "The file size is too large."
constexpr int kNotRecognised = 8;        // "The archive is invalid or unsupported."
constexpr int kDirectoryUnreadable = 9;  // "Can not read directory structure."
constexpr int kPasswordRequired = 14;    // "You must input password to open this file."
constexpr int kVersionMismatch = 15;
constexpr int kWrongPassword = 19;       // "The password is wrong or the archive is invalid."
}  // namespace open_result

// Capabilities asked by the menus.
namespace document_can {
constexpr int kTrackOperations = 1;
constexpr int kVideoCd = 32;
constexpr int kGeneral = 153;
}  // namespace document_can

ImageContext* NewIsoDocument();
ImageContext* NewAudioCdDocument();
ImageContext* NewMzpDocument();
ImageContext* NewArchiveDocument(int32_t archiveKind);

// Takes ownership of imageHandle (closed on failure too). sheetPath may be empty.
ImageContext* OpenImageDocument(std::u16string_view imagePath, std::u16string_view sheetPath,
                                foundation::FileHandle imageHandle, bool buildTree, int32_t openedBy,
                                int* resultCode);
// A disc in a drive: driveHandle comes from the drive table and is the
// document's from here on (closed on failure too); layout is the disc's track
// list as the drive reported it. Reads then go to the drive.
ImageContext* OpenDiscDocument(std::u16string_view drivePath, foundation::FileHandle driveHandle, char16_t letter,
                               TrackListPtr layout, bool buildTree, int* resultCode);
// Frees everything the record owns, then the record; null and partly built
// records are accepted.
void FreeImageDocument(ImageContext* ctx);

struct DocumentDeleter {
    void operator()(ImageContext* ctx) const { FreeImageDocument(ctx); }
};
using DocumentPtr = std::unique_ptr<ImageContext, DocumentDeleter>;

void CloseCurrentDocument();
bool IsCurrentDocumentReadOnly();
bool CanDocumentDo(int32_t kind);
// Creates the root folder around the embedded root item: 0, or -1.
int CreateRootFolder(ImageContext* ctx);
// The first sector of the session being built: the next writable sector of the
// disc when the save composes for burning, the source is a disc and a session
// was chosen; else 0. Returns the value set.
int32_t SetSessionStartLba(ImageContext* ctx);

}  // namespace image
