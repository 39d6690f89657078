#pragma once
// Editing a mounted FAT volume: files written from disk or copied inside the
// volume, new folders, deletions. Every change goes into the volume's overlay
// (fat_overlay.h); the image file is never written. After each operation the
// FAT copies, the FAT12/16 root and the FSInfo values are written back into
// the overlay, so the overlaid volume is whole at every step. Volumes of a
// disk with several partitions, and volumes found damaged, refuse every edit.

#include <cstdint>

#include "filesystems/fat/fat_volume.h"

namespace filesystems {

// Writes item (new, or one the volume already holds) into its parent
// folder's directory, the data from sourceItem of the same volume or, when
// null, from the item's disk path. 0, or -1 with OperationStatus set (1 no
// space or cancelled, 3 overlay write failed, 4 source read failed, 10 source
// not opened, 16 any other failure); what was written is given back.
int FatWriteFile(image::ImageContext& ctx, const image::ImageItem* sourceItem, image::ImageItem* item);
int FatCopyFile(image::ImageContext& ctx, const image::ImageItem* sourceItem, image::ImageItem* item);
// A new, empty folder for the folder item: 0, or -1.
int FatCreateFolder(image::ImageContext& ctx, image::ImageItem* item);
// Frees the item's clusters (a folder's whole subtree) and its entries.
// Nothing for an item the volume did not make or that no longer matches its
// entry.
void FatDeleteFile(image::ImageContext& ctx, image::ImageItem* item);
void FatDeleteFolder(image::ImageContext& ctx, image::ImageItem* item);

// The item was renamed or moved in the tree (its parent and name are the new
// ones): its entry is written under the new name in the new parent's
// directory and taken out of the old one; a moved folder's ".." names its
// new parent. The data stays where it is. 0, or -1 with the volume as it was.
int FatMoveEntry(image::ImageContext& ctx, image::ImageItem* item);

// Writes the changed FAT sectors to every FAT copy, the FSInfo values and the
// changed root into the overlay: 0, or -1.
int FlushFatVolume(image::ImageContext& ctx);
// At the mount of a writable FAT32 volume: FSInfo values that cannot be
// right (both 0, unknown, beyond the volume) are replaced by counted ones.
void CheckFsInfo(image::ImageContext& ctx);

// FAT entries (n of the volume's clusters only; others are ignored). A FAT32
// entry keeps its top 4 bits.
void SetFatEntry(FatVolume& volume, uint32_t n, uint32_t value);
// A free cluster marked end of chain, or 0 when none is left.
uint32_t AllocateFatCluster(FatVolume& volume);

}  // namespace filesystems
