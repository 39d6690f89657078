#pragma once
// Reading the directory hierarchy of a mounted ext2/ext3 volume into the item
// tree.
//
// The hierarchy comes from the disk, so it is walked with a work list, never
// by recursion. A directory inode is read once: one met again (a hard-linked
// directory, a loop) is dropped, as are directories deeper than
// kMaxExt2DirectoryDepth and any that would take the directory bytes read, or
// the folder paths made, past what the volume can hold. Entries are checked
// block by block: a broken record skips the rest of its block only, so the
// empty blocks and index blocks of an indexed (htree) directory, which read
// as unused entries, hide nothing after them.

#include <cstdint>
#include <span>
#include <string>

#include "filesystems/ext2/ext2_blocks.h"
#include "filesystems/ext2/ext2_volume.h"

namespace filesystems::ext2 {

// Far beyond what Linux makes (a path is at most 4096 bytes) and within what
// the rest of the program handles for a folder path.
constexpr uint32_t kMaxExt2DirectoryDepth = 1024;

// A name from a directory entry: UTF-8 as Linux writes it; a name that is not
// well-formed UTF-8 (written under a legacy locale) is read in the ANSI code
// page instead.
std::u16string DecodeExt2Name(std::span<const uint8_t> bytes);

// Reads the root directory (its inode given) and everything below into the
// document's root folder. volumeBytes bounds the directory bytes read and the
// folder paths made. False when the root directory cannot be read at all.
bool ReadExt2Tree(image::ImageContext& ctx, Ext2State& vol, const Ext2Inode& root, uint64_t volumeBytes,
                  Ext2MountReport& report);

}  // namespace filesystems::ext2
