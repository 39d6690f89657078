#include "filesystems/ext2/ext2_directory.h"

#include <array>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/byte_cursor.h"
#include "foundation/dates.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/text_conversions.h"
#include "platform/text.h"

namespace filesystems::ext2 {
namespace {

constexpr uint32_t kMaxNameBytes = 255;
// Room for folder paths besides a UTF-16 unit per volume byte, so a small
// volume with a deep tree of long names still opens.
constexpr uint64_t kFixedPathUnits = uint64_t{4} << 20;

// A record length as stored: 64 KiB blocks keep 65,536 as 0xFFFF, and larger
// lengths put their bits 16-17 into the two low bits, which are otherwise 0.
uint32_t DecodeRecordLength(uint16_t stored) {
    if (stored == 0xFFFF) return 65536;
    return (stored & 0xFFFCu) | ((stored & 3u) << 16);
}

class Ext2TreeWalk {
public:
    Ext2TreeWalk(image::ImageContext& ctx, Ext2State& vol, uint64_t volumeBytes, Ext2MountReport& report)
        : ctx_(ctx),
          vol_(vol),
          report_(report),
          directoryByteBudget_(volumeBytes),
          pathUnitBudget_(volumeBytes + kFixedPathUnits) {}

    bool Run(const Ext2Inode& root);

private:
    struct Pending {
        image::ImageFolder* folder;
        Ext2Inode inode;
    };

    // False when the directory cannot be read at all.
    bool ReadDirectory(const Pending& pending);
    void ReadBlock(image::ImageFolder* folder, const uint8_t* block);
    void AddEntry(image::ImageFolder* folder, uint32_t inodeNumber, std::span<const uint8_t> name);
    // Whether a directory inode can be read as a directory of this volume.
    bool DirectoryReadable(const Ext2Inode& inode) const;

    image::ImageContext& ctx_;
    Ext2State& vol_;
    Ext2MountReport& report_;
    std::vector<Pending> work_;
    std::unordered_set<uint32_t> directoriesSeen_;
    uint64_t directoryBytes_ = 0;
    const uint64_t directoryByteBudget_;
    uint64_t pathUnits_ = 0;
    const uint64_t pathUnitBudget_;
    std::vector<uint8_t> block_;
};

bool Ext2TreeWalk::DirectoryReadable(const Ext2Inode& inode) const {
    if (inode.flags & (inode_flag::kExtents | inode_flag::kInlineData)) return false;
    const uint64_t blocks = inode.DataBlocks(vol_.blockBytes);
    if (blocks > MappableBlocks(vol_)) return false;
    // Directories come out of the volume's own blocks: one larger than the
    // room left is damage, and is not read.
    return blocks * vol_.blockBytes <= directoryByteBudget_ - directoryBytes_;
}

bool Ext2TreeWalk::Run(const Ext2Inode& root) {
    if (image::CreateRootFolder(&ctx_) != 0) return false;
    if (!root.IsDirectory() || !DirectoryReadable(root)) return false;
    directoriesSeen_.insert(root.number);
    block_.resize(vol_.blockBytes);
    if (!ReadDirectory({ctx_.rootFolder, root})) return false;
    while (!work_.empty()) {
        const Pending pending = work_.back();
        work_.pop_back();
        if (!ReadDirectory(pending)) ++report_.unreadableDirectories;
    }
    return true;
}

bool Ext2TreeWalk::ReadDirectory(const Pending& pending) {
    const uint64_t blocks = pending.inode.DataBlocks(vol_.blockBytes);
    if (blocks * vol_.blockBytes > directoryByteBudget_ - directoryBytes_) return false;
    for (uint64_t i = 0; i < blocks; ++i) {
        const int64_t block = MapExt2Block(ctx_, vol_, pending.inode, i);
        // A hole reads as zeros, which hold no entry.
        if (block == 0) continue;
        if (block < 0 || !ReadExt2Blocks(ctx_, vol_, static_cast<uint64_t>(block), block_.data(), 1)) {
            // The entries of the blocks read so far stay.
            return i > 0;
        }
        directoryBytes_ += vol_.blockBytes;
        report_.directoryBytesRead += vol_.blockBytes;
        ReadBlock(pending.folder, block_.data());
    }
    return true;
}

void Ext2TreeWalk::ReadBlock(image::ImageFolder* folder, const uint8_t* bytes) {
    const foundation::ByteCursor block(bytes, vol_.blockBytes);
    const bool typed = (vol_.incompatibleFeatures & incompat::kFileType) != 0;
    uint64_t at = 0;
    while (block.Has(at, de::kMinRecordBytes)) {
        const uint32_t inodeNumber = block.Le32(at + de::kInode);
        const uint32_t recordLength = DecodeRecordLength(block.Le16(at + de::kRecordLength));
        // Without the file-type feature the name length has two bytes.
        const uint32_t nameLength = typed ? block.U8(at + de::kNameLength) : block.Le16(at + de::kNameLength);
        if (recordLength < de::kMinRecordBytes || recordLength % 4 != 0 || !block.Has(at, recordLength) ||
            nameLength > kMaxNameBytes || nameLength > recordLength - de::kName) {
            ++report_.badDirectoryBlocks;
            return;
        }
        // Unused entries (inode 0) sit anywhere: the first of an empty block,
        // the index blocks of an htree directory, a deleted entry's place.
        if (inodeNumber != 0 && nameLength != 0) {
            AddEntry(folder, inodeNumber, block.Span(at + de::kName, nameLength).value());
        }
        at += recordLength;
    }
}

void Ext2TreeWalk::AddEntry(image::ImageFolder* folder, uint32_t inodeNumber, std::span<const uint8_t> name) {
    if ((name.size() == 1 && name[0] == '.') || (name.size() == 2 && name[0] == '.' && name[1] == '.')) return;
    const std::optional<Ext2Inode> inode = ReadExt2Inode(ctx_, vol_, inodeNumber);
    if (!inode) {
        ++report_.droppedEntries;
        return;
    }
    const std::u16string text = DecodeExt2Name(name);
    if (text.empty()) {
        ++report_.droppedEntries;
        return;
    }
    // The kind comes from the inode: entries of volumes without the
    // file-type feature say nothing of it.
    const bool directory = inode->IsDirectory();
    if (directory) {
        if (folder->depth + 1 > static_cast<int32_t>(kMaxExt2DirectoryDepth)) {
            ++report_.tooDeepDirectories;
            return;
        }
        if (directoriesSeen_.count(inode->number)) {
            ++report_.repeatedDirectories;
            return;
        }
        const uint64_t pathUnits = folder->path.size() + 1 + text.size();
        if (!DirectoryReadable(*inode) || pathUnits > pathUnitBudget_ - pathUnits_) {
            ++report_.unreadableDirectories;
            return;
        }
        pathUnits_ += pathUnits;
    }

    image::ImageItem* item = image::NewItem();
    if (!item) {
        ++report_.droppedEntries;
        return;
    }
    item->name.AssignInArena(ctx_.nameArena, text);
    item->startSector = inode->number;
    item->size = static_cast<int64_t>(inode->sizeBytes);
    item->time = inode->modificationTime;
    foundation::UnixTimeToIsoRecordDate(inode->modificationTime,
                                        std::span<uint8_t>(item->recordHeader).subspan(image::dr::kDate));
    if (directory) {
        image::ImageFolder* sub = image::NewFolderRecord();
        if (!sub) {
            image::FreeItem(&ctx_, item);
            ++report_.droppedEntries;
            return;
        }
        directoriesSeen_.insert(inode->number);
        item->recordHeader[image::dr::kFlags] = image::dirflag::kDirectory;
        item->kindByte = 2;
        item->ownFolder = sub;
        sub->ownItem = item;
        sub->path = image::JoinFolderPath(folder, text);
        image::AppendSubfolder(folder, sub);
        work_.push_back({sub, *inode});
        ++report_.folders;
    } else {
        ++report_.files;
    }
    image::LinkItemAtHead(folder, item);
}

}  // namespace

std::u16string DecodeExt2Name(std::span<const uint8_t> bytes) {
    bool ascii = true;
    for (uint8_t b : bytes) ascii = ascii && b < 0x80;
    if (ascii) return std::u16string(bytes.begin(), bytes.end());
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::u16string name;
    if (platform::Utf8ToUtf16Strict(text, name)) return name;
    return image::MultiByteToWideText(text, image::kAnsiCodePage);
}

bool ReadExt2Tree(image::ImageContext& ctx, Ext2State& vol, const Ext2Inode& root, uint64_t volumeBytes,
                  Ext2MountReport& report) {
    return Ext2TreeWalk(ctx, vol, volumeBytes, report).Run(root);
}

}  // namespace filesystems::ext2
