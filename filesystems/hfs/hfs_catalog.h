#pragma once
// The item tree of an HFS or HFS+ volume, built from its catalog's folder and
// file records (read along the leaf chain, so every record is read once)
// starting at the root folder, folder by folder on a work list: a folder id
// met again is not walked again and the depth is capped.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "filesystems/hfs/hfs_fork.h"
#include "filesystems/hfs/hfs_state.h"
#include "image/document/image_context.h"

namespace filesystems {

constexpr uint32_t kHfsRootParentId = 1;
constexpr uint32_t kHfsRootFolderId = 2;

struct MacCatalogEntry {
    uint32_t parentId = 0;
    std::u16string name;
    bool folder = false;
    uint32_t id = 0;                       // folder id or file id
    int64_t modified = 0;                  // seconds since 1970, UTC
    HfsFork dataFork;                      // files: the record's own extents
};

// Completes a file's data fork through the extents overflow tree.
using MacForkCompleter = std::function<bool(uint32_t fileId, HfsFork& fork)>;

// Fills ctx's root folder from the entries (in catalog order, so each
// folder's entries lie together). False only when memory runs out.
bool BuildMacTree(image::ImageContext& ctx, MacVolume& volume, std::vector<MacCatalogEntry>& entries,
                  const MacForkCompleter& complete, uint64_t pathBudget);

// Keeps one walked entry; an entry whose parent is the root's parent names
// the volume (the first one) and dates the root folder instead.
void KeepCatalogEntry(image::ImageContext& ctx, MacVolume& volume, MacCatalogEntry&& entry,
                      std::vector<MacCatalogEntry>& entries);

// Finds the extents of a file's fork from a block on, in the overflow tree.
using MacExtentLookUp = bool (*)(HfsBTree& tree, uint32_t fileId, uint32_t fileBlock, std::vector<HfsExtent>& out);

// The end of a mount: the tree from the walked entries (forks completed
// through the overflow tree), the document's file-system kind and label.
// walkOk false (damage met on the way) keeps the entries read before it.
// 0 mounted, -1 out of memory.
int FinishMacMount(image::ImageContext& ctx, MacVolume& volume, std::vector<MacCatalogEntry>& entries, bool walkOk,
                   int macFileSystem, MacExtentLookUp lookUp);

// Seconds since 1904 as seconds since 1970 (UTC); classic HFS dates are
// local time, taken with the zone's present offset.
int64_t MacDateToUnix(uint32_t macSeconds, bool localTime);

}  // namespace filesystems

namespace filesystems {

// The volume name as the document's label, and blank-padded into the volume
// identifier of its primary descriptor copy.
void SetMacVolumeLabel(image::ImageContext& ctx, const std::u16string& name);

}  // namespace filesystems
