// Document lifecycle: constructors of new documents, the open of an image file,
// freeing, the current document and the capability query.

#include "image/document/document.h"

#include <ctime>
#include <memory>
#include <new>
#include <span>
#include <string>

#include "image/document/current_document.h"
#include "foundation/prompt_services.h"
#include "foundation/dates.h"
#include "foundation/memory.h"
#include "foundation/settings.h"
#include "image/detect/format_detect_services.h"
#include "image/document/item_tree_internal.h"
#include "image/document/session_chooser_services.h"
#include "image/iso/iso_record_layout.h"
#include "image/document/open_reader_services.h"
#include "image/sheets/track_list.h"
#include "image/iso/volume_texts.h"

namespace image {
namespace {

// The record, or null when out of memory (also when a test injects the failure).
DocumentPtr AllocateDocument() {
    if (foundation::AllocationShouldFail()) return nullptr;
    try {
        return DocumentPtr(std::make_unique<ImageContext>().release());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Copies a text into a field; false when out of memory.
bool CopyText(std::u16string& field, std::u16string_view text) {
    if (foundation::AllocationShouldFail()) return false;
    try {
        field.assign(text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The parts shared by the ISO, MZP and archive documents.
DocumentPtr NewTreeDocument(int32_t formatCode) {
    DocumentPtr ctx = AllocateDocument();
    if (!ctx) return nullptr;
    int64_t now = OpenReaderServices().FixedTime();
    ctx->creationTime = now;
    ctx->modificationTime = now;
    foundation::UnixTimeToIsoRecordDate(now, std::span<uint8_t>(ctx->rootDirectoryRecord).subspan(dr::kDate, dr::kDateBytes));
    ctx->newDocument = true;
    ctx->fileSpaceOptimisation = true;
    ctx->isoNameLimit = kIsoNameLimit;
    ctx->jolietNameLimit = kJolietNameLimit;
    ctx->formatCode = formatCode;
    ctx->compressionLevel = OpenReaderServices().CompressionLevel();
    ctx->primaryDescriptorSector = -1;
    ctx->jolietDescriptorSector = -1;
    ctx->jolietLevel = 3;
    ctx->ownsTree = true;
    if (CreateRootFolder(ctx.get()) != 0) return nullptr;
    OpenReaderServices().InitNewImageFields(*ctx, formatCode);
    ctx->sessionStartLba = 0;
    return ctx;
}

bool HasMacVolume(const ImageContext& ctx) { return ctx.hfsVolume || ctx.hfsPlusVolume; }

// Steps 11 to 14 of the open: read-only, tree decision, the tree, El Torito.
int BuildDocumentTree(ImageContext& ctx, bool buildTree) {
    if (ctx.xboxVolume || HasMacVolume(ctx) || ctx.wiiDisc || ctx.discSource) ctx.readOnly = true;
    if (ctx.videoCdKind != 0 && !buildTree && !ctx.readOnly) {
        buildTree = true;
        ctx.ownsTree = true;
    }
    if (buildTree) {
        if (ctx.discSource && ctx.trackList) ctx.trackList->cookedReadsOnly = true;
        if (ctx.formatCode != format_code::kAudioCd && !ctx.udfPresent) {
            bool showMac = HasMacVolume(ctx) && (!ctx.iso9660Present || OpenReaderServices().ShowMacFiles());
            if (HasMacVolume(ctx) && ctx.iso9660Present) ctx.hybridMacDisc = true;
            ctx.rootItem.startSector = DecodeRecordHead(ctx.rootDirectoryRecord).value_or(IsoRecordHead{}).extentLba;
            if (CreateRootFolder(&ctx) != 0) return open_result::kOutOfMemory;
            IOpenReaderServices& readers = OpenReaderServices();
            int read = -1;
            if (ctx.xboxVolume) {
                read = readers.ReadXboxTree(ctx);
            } else if (ctx.hfsPlusVolume && showMac) {
                read = readers.BuildHfsPlusTree(ctx);
            } else if (ctx.hfsVolume && showMac) {
                read = readers.BuildHfsTree(ctx);
            } else if (ctx.marfsVolume) {
                read = FormatDetectServices().LoadMarfsTree(ctx);
            } else if (!ctx.wiiDisc) {
                read = readers.ReadIsoTree(ctx);
            } else {
                read = 0;   // the Wii reader builds its own tree
            }
            if (read != 0) return open_result::kDirectoryUnreadable;
        }
    }
    OpenReaderServices().LoadElTorito(ctx);
    return open_result::kOk;
}

}  // namespace

ImageContext* NewIsoDocument() { return NewTreeDocument(format_code::kIso).release(); }

ImageContext* NewMzpDocument() {
    DocumentPtr ctx = NewTreeDocument(format_code::kMzp);
    if (ctx) ctx->mzpDocument = true;
    return ctx.release();
}

ImageContext* NewArchiveDocument(int32_t archiveKind) {
    DocumentPtr ctx = NewTreeDocument(format_code::kArchive);
    if (ctx) ctx->archiveKind = archiveKind;
    return ctx.release();
}

ImageContext* NewAudioCdDocument() {
    DocumentPtr ctx = AllocateDocument();
    if (!ctx) return nullptr;
    ctx->compressionLevel = OpenReaderServices().CompressionLevel();
    if (foundation::AllocationShouldFail()) return nullptr;
    TrackListPtr list = NewTrackList();
    if (!list) return nullptr;
    list->firstTrackNumber = 1;
    list->selectedTrack = -1;
    ctx->trackList = list.release();
    ctx->formatCode = format_code::kAudioCd;
    ctx->dataOffset = 0;
    ctx->sectorSize = 2352;
    ctx->sessionStartLba = 0;
    return ctx.release();
}

namespace {

// Where the sectors of an opened document come from when it is a disc in a drive.
struct DiscOrigin {
    char16_t letter = 0;
    TrackListPtr layout;
};

ImageContext* OpenDocument(std::u16string_view imagePath, std::u16string_view sheetPath,
                           foundation::FileHandle imageHandle, bool buildTree, int32_t openedBy, DiscOrigin* disc,
                           int* resultCode) {
    int ignored = 0;
    int& code = resultCode ? *resultCode : ignored;
    DocumentPtr ctx = AllocateDocument();
    if (!ctx) {
        foundation::SafeCloseHandle(imageHandle);
        code = open_result::kOutOfMemory;
        return nullptr;
    }
    ctx->imageHandle.reset(imageHandle);
    ctx->fileSpaceOptimisation = true;
    ctx->isoNameLimit = kIsoNameLimit;
    ctx->jolietNameLimit = kJolietNameLimit;
    ctx->primaryDescriptorSector = -1;
    ctx->jolietDescriptorSector = -1;
    ctx->formatCode = format_code::kUnknown;

    bool sessionAsked = false;
    int32_t chosen = -1;
    auto finish = [&](int result) -> ImageContext* {
        // Whatever the outcome, the chosen session is recorded and the shared
        // choice is forgotten.
        if (sessionAsked) {
            if (chosen >= 0) ctx->chosenSession = chosen + 1;
            foundation::ChosenSessionIndex().store(-1);
        }
        code = result;
        if (result != open_result::kOk) return nullptr;   // ctx frees the partial record
        return ctx.release();
    };

    if (!CopyText(ctx->imagePath, imagePath)) return finish(open_result::kOutOfMemory);
    // An empty sheet path is the same as none.
    if (!sheetPath.empty() && !CopyText(ctx->sheetPath, sheetPath)) return finish(open_result::kOutOfMemory);
    ctx->bootRecordSector = -1;
    ctx->openedBy = openedBy;
    ctx->compressionLevel = OpenReaderServices().CompressionLevel();
    ctx->ownsTree = buildTree;

    if (!ctx->sheetPath.empty()) {
        TrackListPtr list = OpenSheet(ctx->sheetPath);
        if (ctx->trackList) FreeTrackList(ctx->trackList);
        ctx->trackList = list.release();
    }
    if (disc) {
        ctx->discSource = true;
        ctx->sourceDriveLetter = disc->letter;
        if (ctx->trackList) FreeTrackList(ctx->trackList);
        ctx->trackList = disc->layout.release();
    }
    int64_t size = OpenReaderServices().FileSize(ctx->imageHandle.get());
    ctx->imageSize = size < 0 ? 0 : size;

    sessionAsked = true;
    // No choice left over from an earlier question may count as this one's.
    foundation::ChosenSessionIndex().store(-1);
    if (ChooseSession(ctx.get(), buildTree) == -1) return finish(open_result::kCancelled);
    chosen = foundation::ChosenSessionIndex().load();

    if (static_cast<uint64_t>(ctx->imageSize) > kOutputSizeLimitBytes) return finish(open_result::kTooLarge);

    OpenReaderServices().DetectImageFormat(*ctx, format_code::kUnknown);
    if (ctx->formatCode == format_code::kUnknown) {
        if (ctx->passwordMissing) return finish(open_result::kPasswordRequired);
        if (ctx->passwordGiven) return finish(open_result::kWrongPassword);
        return finish(open_result::kNotRecognised);
    }
    if (ctx->formatCode == format_code::kDaa || ctx->formatCode == format_code::kMzp ||
        ctx->formatCode == format_code::kXdi) {
        if (FormatDetectServices().ContainerNeedsPassword(*ctx)) return finish(open_result::kPasswordRequired);
        if (FormatDetectServices().ContainerIsNewerVersion(*ctx)) return finish(open_result::kVersionMismatch);
    }
    return finish(BuildDocumentTree(*ctx, buildTree));
}

}  // namespace

ImageContext* OpenImageDocument(std::u16string_view imagePath, std::u16string_view sheetPath,
                                foundation::FileHandle imageHandle, bool buildTree, int32_t openedBy,
                                int* resultCode) {
    return OpenDocument(imagePath, sheetPath, imageHandle, buildTree, openedBy, nullptr, resultCode);
}

ImageContext* OpenDiscDocument(std::u16string_view drivePath, foundation::FileHandle driveHandle, char16_t letter,
                               TrackListPtr layout, bool buildTree, int* resultCode) {
    DiscOrigin disc{letter, std::move(layout)};
    return OpenDocument(drivePath, {}, driveHandle, buildTree, 0, &disc, resultCode);
}

void FreeImageDocument(ImageContext* ctx) {
    if (!ctx) return;
    ReleaseDocumentContents(*ctx);
    std::unique_ptr<ImageContext> owned(ctx);
}

void CloseCurrentDocument() {
    ImageContext* current = image::g_CurrentDocument;
    image::g_CurrentDocument = nullptr;
    image::g_CurrentFolder = nullptr;
    FreeImageDocument(current);
}

bool IsCurrentDocumentReadOnly() { return image::g_CurrentDocument && image::g_CurrentDocument->readOnly; }

bool CanDocumentDo(int32_t kind) {
    const ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return false;
    if (ctx->formatCode == format_code::kAudioCd || ctx->formatCode == format_code::kProjectAudio)
        return kind == document_can::kTrackOperations;
    switch (kind) {
    case document_can::kGeneral: return true;
    case document_can::kTrackOperations: return ctx->mixedTracks || ctx->trackOperationsAllowed;
    case document_can::kVideoCd: return ctx->videoCdKind != 0;
    default: return false;
    }
}

int CreateRootFolder(ImageContext* ctx) {
    if (!ctx) return -1;
    if (ctx->rootFolder) return 0;
    ImageFolder* root = NewFolderRecord();
    if (!root) return -1;
    root->parent = root;
    root->depth = 0;
    root->ownItem = &ctx->rootItem;
    ctx->rootItem.ownFolder = root;
    ctx->rootItem.parent = root;
    ctx->rootItem.archiveIndex = -1;
    ctx->rootItem.recordHeader[dr::kFlags] |= dirflag::kDirectory;
    ctx->rootFolder = root;
    return 0;
}

int32_t SetSessionStartLba(ImageContext* ctx) {
    if (!ctx) return 0;
    ctx->sessionStartLba =
        (ctx->composeOutput && ctx->discSource && ctx->chosenSession >= 1) ? ctx->nextWritableSector : 0;
    return ctx->sessionStartLba;
}

}  // namespace image
