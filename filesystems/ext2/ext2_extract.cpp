// Extraction of one item of a mounted ext2/ext3 volume: a file's blocks in
// runs (consecutive volume blocks are read in one request, holes written as
// zeros), or a symbolic link's target.

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "filesystems/ext2/ext2_blocks.h"
#include "filesystems/ext2/ext2_blocks_seen.h"
#include "filesystems/ext2/ext2_volume.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "image/document/image_context.h"
#include "image/document/pause_cancel.h"

namespace filesystems {
namespace {

using ext2::Ext2Inode;
using ext2::Ext2State;

// Bytes read and written per step: large enough that a contiguous file costs
// few requests, small enough that cancel answers at once.
constexpr uint32_t kRunBytes = 1u << 20;
// Linux keeps symbolic link targets below a page; a larger size is damage.
constexpr uint64_t kMaxSymlinkBytes = 65536;

int Fail(int32_t status) {
    foundation::OperationStatus = status;
    return -1;
}

// A symbolic link keeps a short target in its block words ("fast": no data
// block, or only an extended-attribute block); a longer one in data blocks.
bool IsFastSymlink(const Ext2State& vol, const Ext2Inode& inode) {
    if (inode.sizeBytes >= ext2::ino::kInlineTargetBytes) return false;
    return inode.sectorCount == 0 || (inode.fileAcl != 0 && inode.sectorCount == vol.sectorsPerBlock);
}

// The next run of logical blocks from i on: all holes (*volumeBlock 0), or
// volume blocks following each other. 0 when block i cannot be mapped.
uint64_t NextRun(image::ImageContext& ctx, Ext2State& vol, const Ext2Inode& inode, uint64_t i, uint64_t end,
                 uint64_t maxBlocks, uint64_t* volumeBlock) {
    const int64_t first = ext2::MapExt2Block(ctx, vol, inode, i);
    if (first < 0) return 0;
    *volumeBlock = static_cast<uint64_t>(first);
    uint64_t n = 1;
    while (n < maxBlocks && i + n < end) {
        const int64_t next = ext2::MapExt2Block(ctx, vol, inode, i + n);
        if (next < 0) break;
        if (first == 0 ? next != 0 : next != first + static_cast<int64_t>(n)) break;
        ++n;
    }
    return n;
}

bool WriteAll(foundation::FileHandle output, const uint8_t* data, size_t bytes) {
    return foundation::WriteFileAt(output, data, foundation::kCurrentPosition, bytes) == static_cast<int64_t>(bytes);
}

// Writes the first `bytes` bytes of the inode's data; 1, 0 cancelled, -1 failed.
int CopyBlocks(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, Ext2State& vol,
               const Ext2Inode& inode, uint64_t bytes, foundation::FileHandle output) {
    const uint64_t blocks = bytes / vol.blockBytes + (bytes % vol.blockBytes ? 1 : 0);
    // A small file needs no more than its own blocks.
    const uint64_t runBlocks = std::min<uint64_t>(blocks, std::max<uint64_t>(1, kRunBytes / vol.blockBytes));
    std::vector<uint8_t> buffer(runBlocks * vol.blockBytes);
    ext2::BlocksSeen seen;
    uint64_t left = bytes;
    for (uint64_t i = 0; i < blocks;) {
        if (!image::WaitIfPaused(progress)) return 0;
        uint64_t n = 0;
        bool isHole = false;
        {
            std::lock_guard<std::mutex> guard(vol.lock);
            uint64_t volumeBlock = 0;
            n = NextRun(ctx, vol, inode, i, blocks, runBlocks, &volumeBlock);
            isHole = volumeBlock == 0;
            if (n == 0) return Fail(foundation::kStatusSourceReadFailed);
            if (volumeBlock != 0 && !seen.MarkRun(volumeBlock, n)) return Fail(foundation::kStatusSourceReadFailed);
            if (volumeBlock == 0) {
                std::fill_n(buffer.begin(), n * vol.blockBytes, uint8_t{0});
            } else if (!ext2::ReadExt2Blocks(ctx, vol, volumeBlock, buffer.data(), static_cast<uint32_t>(n))) {
                return Fail(foundation::kStatusSourceReadFailed);
            }
        }
        const uint64_t chunk = std::min<uint64_t>(left, n * vol.blockBytes);
        // A hole stays a hole where the output can seek: a sparse file that
        // claims gigabytes over a few blocks costs no writing and no disk.
        // Only a file that ends in a hole needs its last byte written.
        uint64_t at = 0;
        const bool last = left == chunk;
        const bool hole = isHole && chunk > 1 && foundation::GetFilePosition64(output, at) &&
                          foundation::SeekFile64(output, at + chunk - (last ? 1 : 0));
        if (hole) {
            if (last && !WriteAll(output, buffer.data(), 1)) return Fail(foundation::kStatusWriteFailed);
        } else if (!WriteAll(output, buffer.data(), static_cast<size_t>(chunk))) {
            return Fail(foundation::kStatusWriteFailed);
        }
        left -= chunk;
        i += n;
        if (progress && progress->AddDone) progress->AddDone(static_cast<int64_t>(chunk));
    }
    return 1;
}

}  // namespace

int ExtractExt2File(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, const image::ImageItem& item,
                    std::u16string_view /*path*/, foundation::FileHandle output) {
    Ext2State* vol = ctx.ext2State.get();
    if (!vol || !output) return Fail(foundation::kStatusSourceReadFailed);
    std::optional<Ext2Inode> inode;
    {
        std::lock_guard<std::mutex> guard(vol->lock);
        inode = ext2::ReadExt2Inode(ctx, *vol, item.startSector);
    }
    // Extent-mapped and inline data are not block pointers: reading them as
    // such would write garbage.
    if (!inode || inode->IsDirectory() ||
        (inode->flags & (ext2::inode_flag::kExtents | ext2::inode_flag::kInlineData))) {
        return Fail(foundation::kStatusSourceReadFailed);
    }
    if (inode->IsSymlink()) {
        if (inode->sizeBytes > kMaxSymlinkBytes) return Fail(foundation::kStatusSourceReadFailed);
        if (IsFastSymlink(*vol, *inode)) {
            if (!image::WaitIfPaused(progress)) return 0;
            const size_t bytes = static_cast<size_t>(inode->sizeBytes);
            if (!WriteAll(output, inode->blockBytes.data(), bytes)) return Fail(foundation::kStatusWriteFailed);
            if (progress && progress->AddDone) progress->AddDone(static_cast<int64_t>(bytes));
            return 1;
        }
    }
    if (inode->DataBlocks(vol->blockBytes) > ext2::MappableBlocks(*vol)) {
        return Fail(foundation::kStatusSourceReadFailed);
    }
    return CopyBlocks(progress, ctx, *vol, *inode, inode->sizeBytes, output);
}

}  // namespace filesystems
