#include "image/document/image_context.h"

#include <string.h>

#include "foundation/drive_handles.h"
#include "image/sheets/track_list.h"

namespace image {
namespace {

template <typename T>
void Drop(T& value) {
    T empty{};
    std::swap(value, empty);
}

}  // namespace

void ReleaseDocumentContents(ImageContext& ctx) {
    if (ctx.ownsTree) {
        FreeFolderTree(&ctx, ctx.rootFolder);
        ctx.rootFolder = nullptr;
        FreeItem(&ctx, &ctx.rootItem);
        ctx.rootItem.ownFolder = nullptr;
        // Last: the items freed above may have had their names here.
        ctx.nameArena.Reset();
    }
    // The boot state goes whether or not this record built the tree: the open
    // loads it in either case.
    ctx.elTorito.Reset();
    ctx.composedImage.Reset();
    ctx.hfsVolume.Reset();
    ctx.hfsPlusVolume.Reset();
    ctx.wimState.Reset();
    ctx.ntfsState.Reset();
    ctx.ext2State.Reset();
    ctx.vhdState.Reset();
    ctx.vdiState.Reset();
    ctx.vmdkState.Reset();
    ctx.fatState.Reset();
    Drop(ctx.collectionBuffer);
    Drop(ctx.outputBuffer);
    Drop(ctx.writerBuffer);
    Drop(ctx.furtherBuffers[0]);
    Drop(ctx.furtherBuffers[1]);
    Drop(ctx.discHeadBuffer);
    ctx.chunkTable.Reset();
    if (ctx.trackList) {
        FreeTrackList(ctx.trackList);
        ctx.trackList = nullptr;
    }
    Drop(ctx.imagePath);
    Drop(ctx.sheetPath);
    Drop(ctx.archiveComment);
    Drop(ctx.packedComment);
    ctx.nrgState.Reset();
    ctx.daaReader.Reset();
    ctx.daaWriter.Reset();
    ctx.mzpReader.Reset();
    ctx.mzpWriter.Reset();
    ctx.xdiReader.Reset();
    ctx.xdiWriter.Reset();
    ctx.encryptedImage.Reset();
    // A disc source's handle may come from the drive table, which then keeps
    // the count; any other handle is simply closed by it.
    if (platform::FileHandle image = ctx.imageHandle.release()) foundation::CloseDriveHandle(image);
    ctx.outputHandle.reset();
    ctx.composedImageHandle.reset();
    if (ctx.sourceDriveHandle) {
        foundation::CloseDriveHandle(ctx.sourceDriveHandle);
        ctx.sourceDriveHandle = nullptr;
    }
    Drop(ctx.discHeadSourcePath);
    ctx.udfState.Reset();
    ctx.archiveLink.Reset();
    ctx.marfsVolume.Reset();
    Drop(ctx.furtherBuffers[2]);
    Drop(ctx.itemArray);
    Drop(ctx.preloadedHead);
    ctx.listLater = nullptr;
}

ImageContext::~ImageContext() {
    ReleaseDocumentContents(*this);
    // The passwords go with the document rather than lingering in freed
    // memory (a core dump, the next allocation); a wipe the compiler cannot
    // drop as a dead store.
    explicit_bzero(outputPassword.data(), outputPassword.size());
    explicit_bzero(writePassword.data(), writePassword.size());
}

}  // namespace image
