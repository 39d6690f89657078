#include "filesystems/udf/udf_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <string>

#include "filesystems/udf/udf_descriptors.h"
#include "filesystems/udf/udf_volume.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/messages.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/format.h"

namespace filesystems {
namespace {

using image::FolderLayout;
using image::ImageContext;
using image::ImageItem;
using image::IsoLayout;
using image::RecordKind;
using image::UdfPlacement;
using Block = std::array<uint8_t, kUdfBlockBytes>;

constexpr uint32_t kSequenceBlocks = 16;
constexpr uint32_t kIntegrityBlocks = 2;
constexpr uint32_t kAnchorOffset = 256;
constexpr uint32_t kSequenceStartOffset = 32;
constexpr uint32_t kAppendedPartitionStart = 16;
constexpr size_t kFidHeaderBytes = 38;
constexpr size_t kParentFidBytes = 40;
constexpr size_t kFileEntryHeaderBytes = 176;
constexpr uint16_t kUdfRevision = 0x0102;
constexpr size_t kMaxIdentifierBytes = 255;   // the one-byte identifier length
constexpr size_t kLabelCharsLimit = 2048;

constexpr char kImplementationId[] = "*quendravine";
constexpr char kDomainId[] = "*OSTA UDF Compliant";
constexpr char kCharSetName[] = "OSTA Compressed Unicode";

void PutRegid(uint8_t* at, const char* identifier) {
    std::memset(at, 0, 32);
    std::memcpy(at + 1, identifier, std::min<size_t>(std::strlen(identifier), 23));
}

void PutDomain(uint8_t* at) {
    PutRegid(at, kDomainId);
    foundation::WriteLE16(at + 24, kUdfRevision);
    at[26] = 3;   // hard and soft write protection: the image is read-only
}

void PutCharSpec(uint8_t* at) {
    std::memset(at, 0, 64);
    std::memcpy(at + 1, kCharSetName, sizeof kCharSetName - 1);
}

// A UDF timestamp of a moment (local time with its offset).
void PutTime(uint8_t* at, int64_t seconds) {
    uint8_t iso[7] = {};
    foundation::UnixTimeToIsoRecordDate(seconds, std::span<uint8_t>(iso, 7));
    UdfMakeTimestamp(at, iso);
}

// The date an item's entry carries: its own time, else the document's fixed
// item time, else its record date; a date of zeros takes the document's time.
void PutItemTime(uint8_t* at, const ImageContext& ctx, const ImageItem* item) {
    uint8_t iso[7] = {};
    int64_t seconds = item ? int64_t(item->time) : 0;
    if (seconds == 0) seconds = ctx.fixedItemTime;
    if (seconds == 0 || !foundation::UnixTimeToIsoRecordDate(seconds, std::span<uint8_t>(iso, 7))) {
        if (item) std::memcpy(iso, item->recordHeader.data() + image::dr::kDate, 7);
        if (std::all_of(iso, iso + 7, [](uint8_t b) { return b == 0; })) {
            const int64_t fallback = ctx.rootTime ? ctx.rootTime : ctx.creationTime ? ctx.creationTime : time(nullptr);
            foundation::UnixTimeToIsoRecordDate(fallback, std::span<uint8_t>(iso, 7));
        }
    }
    UdfMakeTimestamp(at, iso);
}

std::u16string VolumeLabel(const ImageContext& ctx) {
    std::u16string label = ctx.volumeTexts[image::volume_text::kVolumeLabel];
    while (!label.empty() && label.back() == u' ') label.pop_back();
    if (label.size() >= kLabelCharsLimit) label.clear();
    return label;
}

int64_t CreationTime(const ImageContext& ctx) { return ctx.creationTime ? ctx.creationTime : foundation::GetFixedTime(); }

// CS0 bytes of an entry's UDF name: the item's own name. The Joliet
// identifier would do for most names, but the Joliet limit (64 or 110
// characters) cuts longer ones, which UDF holds whole.
std::string FidName(const image::DirectoryRecord& r) { return EncodeOstaCs0(r.item->name); }

size_t FidBytes(size_t nameBytes) { return (kFidHeaderBytes + nameBytes + 3) & ~size_t(3); }

bool Listed(const image::DirectoryRecord& r) { return r.kind == RecordKind::File || r.kind == RecordKind::Folder; }

// Writes blocks in order, checking that they land where the layout put them.
class BlockWriter {
public:
    BlockWriter(image::SectorWrite write, void* sink, uint32_t position) : write_(write), sink_(sink), position_(position) {}
    uint32_t Position() const { return position_; }
    bool Put(const uint8_t* data, uint32_t blocks) {
        if (blocks == 0) return true;
        if (!write_(sink_, data, blocks)) return false;
        position_ += blocks;
        return true;
    }
    bool PadTo(uint32_t sector) {
        static const Block kZero{};
        while (position_ < sector)
            if (!Put(kZero.data(), 1)) return false;
        return position_ == sector;
    }

private:
    image::SectorWrite write_;
    void* sink_;
    uint32_t position_;
};

struct VolumeFacts {
    std::u16string label;
    int64_t created = 0;
    uint32_t partitionStart = 0;
    uint32_t partitionBlocks = 0;
};

// The six descriptors of a volume descriptor sequence and its ten empty blocks.
bool WriteSequence(BlockWriter& out, const UdfPlacement& plan, const VolumeFacts& v, uint32_t start) {
    Block b{};
    uint32_t at = start;
    // Primary volume descriptor (ECMA-167 3/10.1).
    b.fill(0);
    foundation::WriteLE32(&b[16], 0);
    EncodeUdfDstring(std::span<uint8_t>(&b[24], 32), v.label);
    foundation::WriteLE16(&b[56], 1);
    foundation::WriteLE16(&b[58], 1);
    foundation::WriteLE16(&b[60], 2);
    foundation::WriteLE16(&b[62], 2);
    foundation::WriteLE32(&b[64], 1);
    foundation::WriteLE32(&b[68], 1);
    const std::u16string volumeSet = platform::Format(u"%08X%08X", uint32_t(v.created), uint32_t(v.created >> 32));
    EncodeUdfDstring(std::span<uint8_t>(&b[72], 128), volumeSet);
    PutCharSpec(&b[200]);
    PutCharSpec(&b[264]);
    PutTime(&b[376], v.created);
    PutRegid(&b[388], kImplementationId);
    StampUdfTag(b.data(), 512, udf_tag::kPrimaryVolume, at++);
    if (!out.Put(b.data(), 1)) return false;
    // Implementation use volume descriptor (UDF 2.2.7).
    b.fill(0);
    foundation::WriteLE32(&b[16], 1);
    PutRegid(&b[20], "*UDF LV Info");
    foundation::WriteLE16(&b[44], kUdfRevision);
    PutCharSpec(&b[52]);
    EncodeUdfDstring(std::span<uint8_t>(&b[116], 128), v.label);
    PutRegid(&b[352], kImplementationId);
    StampUdfTag(b.data(), 512, udf_tag::kImplementationUse, at++);
    if (!out.Put(b.data(), 1)) return false;
    // Partition descriptor (3/10.5).
    b.fill(0);
    foundation::WriteLE32(&b[16], 2);
    foundation::WriteLE16(&b[20], 1);
    foundation::WriteLE16(&b[22], 0);
    PutRegid(&b[24], "+NSR02");
    b[24] = 2;
    foundation::WriteLE32(&b[184], 1);
    foundation::WriteLE32(&b[188], v.partitionStart);
    foundation::WriteLE32(&b[192], v.partitionBlocks);
    PutRegid(&b[196], kImplementationId);
    StampUdfTag(b.data(), 512, udf_tag::kPartition, at++);
    if (!out.Put(b.data(), 1)) return false;
    // Logical volume descriptor (3/10.6) with one type 1 partition map.
    b.fill(0);
    foundation::WriteLE32(&b[16], 3);
    PutCharSpec(&b[20]);
    EncodeUdfDstring(std::span<uint8_t>(&b[84], 128), v.label);
    foundation::WriteLE32(&b[212], kUdfBlockBytes);
    PutDomain(&b[216]);
    foundation::WriteLE32(&b[248], 2 * kUdfBlockBytes);
    foundation::WriteLE32(&b[252], plan.fileSetBlock);
    foundation::WriteLE16(&b[256], 0);
    foundation::WriteLE32(&b[264], 6);
    foundation::WriteLE32(&b[268], 1);
    PutRegid(&b[272], kImplementationId);
    foundation::WriteLE32(&b[432], kIntegrityBlocks * kUdfBlockBytes);
    foundation::WriteLE32(&b[436], plan.integritySequence);
    b[440] = 1;
    b[441] = 6;
    foundation::WriteLE16(&b[442], 1);
    foundation::WriteLE16(&b[444], 0);
    StampUdfTag(b.data(), 446, udf_tag::kLogicalVolume, at++);
    if (!out.Put(b.data(), 1)) return false;
    // Unallocated space descriptor (3/10.8): no free space on a finished image.
    b.fill(0);
    foundation::WriteLE32(&b[16], 4);
    StampUdfTag(b.data(), 24, udf_tag::kUnallocatedSpace, at++);
    if (!out.Put(b.data(), 1)) return false;
    b.fill(0);
    StampUdfTag(b.data(), 512, udf_tag::kTerminating, at++);
    if (!out.Put(b.data(), 1)) return false;
    return out.PadTo(start + kSequenceBlocks);
}

bool WriteIntegrity(BlockWriter& out, const UdfPlacement& plan, const VolumeFacts& v) {
    Block b{};
    PutTime(&b[16], v.created);
    foundation::WriteLE32(&b[28], 1);   // closed
    foundation::WriteLE64(&b[40], uint64_t(plan.lastFileEntry) + 1);
    foundation::WriteLE32(&b[72], 1);
    foundation::WriteLE32(&b[76], 46);
    foundation::WriteLE32(&b[80], 0);
    foundation::WriteLE32(&b[84], v.partitionBlocks);
    PutRegid(&b[88], kImplementationId);
    foundation::WriteLE32(&b[120], plan.fileCount);
    foundation::WriteLE32(&b[124], plan.folderCount);
    foundation::WriteLE16(&b[128], kUdfRevision);
    foundation::WriteLE16(&b[130], kUdfRevision);
    foundation::WriteLE16(&b[132], kUdfRevision);
    StampUdfTag(b.data(), 134, udf_tag::kIntegrity, plan.integritySequence);
    if (!out.Put(b.data(), 1)) return false;
    b.fill(0);
    StampUdfTag(b.data(), 512, udf_tag::kTerminating, plan.integritySequence + 1);
    return out.Put(b.data(), 1);
}

bool WriteAnchor(BlockWriter& out, const UdfPlacement& plan, uint32_t sector) {
    Block b{};
    foundation::WriteLE32(&b[16], kSequenceBlocks * kUdfBlockBytes);
    foundation::WriteLE32(&b[20], plan.mainSequence);
    foundation::WriteLE32(&b[24], kSequenceBlocks * kUdfBlockBytes);
    foundation::WriteLE32(&b[28], plan.reserveSequence);
    StampUdfTag(b.data(), 512, udf_tag::kAnchor, sector);
    return out.Put(b.data(), 1);
}

// A file entry (ECMA-167 4/14.9) at `sector`.
struct EntryFacts {
    bool directory = false;
    uint64_t size = 0;
    uint16_t links = 1;
    uint64_t uniqueId = 0;
    const ImageItem* item = nullptr;
    std::vector<uint8_t> descriptors;
};

bool WriteFileEntry(BlockWriter& out, const ImageContext& ctx, const UdfPlacement& plan, uint32_t sector,
                    const EntryFacts& e) {
    Block b{};
    foundation::WriteLE16(&b[20], 4);   // strategy 4: one direct entry
    foundation::WriteLE16(&b[24], 1);
    b[27] = e.directory ? 4 : 5;
    foundation::WriteLE16(&b[34], 0x230);   // short descriptors, non-relocatable, archive, contiguous
    foundation::WriteLE32(&b[36], 0xFFFFFFFFu);
    foundation::WriteLE32(&b[40], 0xFFFFFFFFu);
    foundation::WriteLE32(&b[44], e.directory ? 0x14A5 : 0x1084);
    foundation::WriteLE16(&b[48], e.links);
    foundation::WriteLE64(&b[56], e.size);
    foundation::WriteLE64(&b[64], (e.size + kUdfBlockBytes - 1) / kUdfBlockBytes);
    PutItemTime(&b[72], ctx, e.item);
    std::memcpy(&b[84], &b[72], kUdfTimestampBytes);
    std::memcpy(&b[96], &b[72], kUdfTimestampBytes);
    foundation::WriteLE32(&b[108], 1);
    PutRegid(&b[128], kImplementationId);
    foundation::WriteLE64(&b[160], e.uniqueId);
    foundation::WriteLE32(&b[168], 0);
    foundation::WriteLE32(&b[172], uint32_t(e.descriptors.size()));
    if (kFileEntryHeaderBytes + e.descriptors.size() > kUdfBlockBytes) return false;
    if (!e.descriptors.empty()) std::memcpy(&b[kFileEntryHeaderBytes], e.descriptors.data(), e.descriptors.size());
    StampUdfTag(b.data(), kFileEntryHeaderBytes + e.descriptors.size(), udf_tag::kFileEntry,
                sector - plan.partitionStart);
    return out.Put(b.data(), 1);
}

// A file identifier descriptor (4/14.4), tag and CRC made whole before it is
// placed (it may cross a block boundary).
void AppendFid(std::vector<uint8_t>& dir, size_t& pos, uint32_t directoryBlock, uint8_t characteristics,
               const std::string& name, uint32_t targetBlock, uint32_t uniqueId) {
    std::vector<uint8_t> fid(FidBytes(name.size()), 0);
    foundation::WriteLE16(&fid[16], 1);
    fid[18] = characteristics;
    fid[19] = uint8_t(name.size());
    foundation::WriteLE32(&fid[20], kUdfBlockBytes);
    foundation::WriteLE32(&fid[24], targetBlock);
    foundation::WriteLE16(&fid[28], 0);
    foundation::WriteLE32(&fid[32], uniqueId);
    foundation::WriteLE16(&fid[36], 0);
    std::memcpy(&fid[kFidHeaderBytes], name.data(), name.size());
    StampUdfTag(fid.data(), fid.size(), udf_tag::kFileIdentifier, directoryBlock + uint32_t(pos / kUdfBlockBytes));
    std::memcpy(dir.data() + pos, fid.data(), fid.size());
    pos += fid.size();
}

}  // namespace

bool MakeUdfShortDescriptors(uint64_t sizeBytes, uint32_t firstBlock, std::vector<uint8_t>& out) {
    out.clear();
    const uint64_t count = (sizeBytes + kUdfMaxExtentBytes - 1) / kUdfMaxExtentBytes;
    if (count > kUdfMaxShortDescriptors) return false;
    uint64_t block = firstBlock;
    for (uint64_t left = sizeBytes; left > 0;) {
        const uint64_t length = std::min(left, kUdfMaxExtentBytes);
        if (block > UINT32_MAX) return false;
        uint8_t d[8];
        foundation::WriteLE32(d, uint32_t(length));
        foundation::WriteLE32(d + 4, uint32_t(block));
        out.insert(out.end(), d, d + 8);
        block += length / kUdfBlockBytes;
        left -= length;
    }
    return true;
}

bool UdfWriter::LayoutArea(ImageContext& ctx, const IsoLayout& layout, UdfPlacement& plan, uint64_t& next,
                           std::u16string& reason) {
    (void)ctx;
    const uint64_t s = uint64_t(uint32_t(plan.sessionStart));
    plan.areaSector = uint32_t(next);
    next = std::max(next, s + kSequenceStartOffset);
    plan.mainSequence = uint32_t(next);
    next += kSequenceBlocks;
    plan.reserveSequence = uint32_t(next);
    next += kSequenceBlocks;
    plan.integritySequence = uint32_t(next);
    next += kIntegrityBlocks;
    if (next > s + kAnchorOffset) {
        reason = u"The UDF descriptors do not fit before sector 256 of the session.";
        return false;
    }
    next = s + kAnchorOffset;
    plan.anchor = uint32_t(next++);
    // A later session's partition starts at sector 16, so that its files can
    // point at the data of the sessions before it.
    plan.partitionStart = s != 0 ? kAppendedPartitionStart : uint32_t(next);
    plan.fileSetBlock = uint32_t(next - plan.partitionStart);
    next += 2;

    plan.folderEntry.clear();
    plan.folderBytes.clear();
    plan.fileEntry.clear();
    for (const auto& f : layout.folders) {
        uint64_t bytes = kParentFidBytes;
        for (const image::DirectoryRecord& r : f->records) {
            if (!Listed(r)) continue;
            const std::string name = FidName(r);
            // The identifier length is one byte: 254 characters of eight
            // bits or 127 of sixteen. Names are never cut.
            if (r.item->name.empty() || name.size() > kMaxIdentifierBytes) {
                reason = platform::Format(u"The name is too long for UDF: %s", std::u16string(r.item->name));
                return false;
            }
            bytes += FidBytes(name.size());
        }
        if (bytes > kUdfMaxExtentBytes) {
            reason = u"A folder holds more entries than one UDF directory can.";
            return false;
        }
        plan.folderEntry.push_back(uint32_t(next));
        plan.folderBytes.push_back(uint32_t(bytes));
        next += 1 + (bytes + kUdfBlockBytes - 1) / kUdfBlockBytes;
    }
    plan.fileCount = 0;
    for (const auto& f : layout.folders) {
        for (uint32_t index : f->isoOrder) {
            const image::DirectoryRecord& r = f->records[index];
            if (r.kind != RecordKind::File) continue;
            if ((uint64_t(std::max<int64_t>(r.item->size, 0)) + kUdfMaxExtentBytes - 1) / kUdfMaxExtentBytes >
                kUdfMaxShortDescriptors) {
                reason = platform::Format(u"The file is too large for one UDF file entry: %s",
                                          std::u16string(r.item->name));
                return false;
            }
            if (plan.fileEntry.emplace(r.item, uint32_t(next)).second) {
                ++next;
                ++plan.fileCount;
            }
        }
    }
    plan.folderCount = uint32_t(layout.folders.size());
    plan.lastFileEntry = uint32_t(next - 1);
    plan.areaEnd = uint32_t(next);
    if (next > UINT32_MAX) {
        reason = u"The image would hold more than 2^32 sectors.";
        return false;
    }
    return true;
}

bool UdfWriter::WriteRecognition(image::SectorWrite write, void* sink) {
    std::array<uint8_t, 3 * kUdfBlockBytes> b{};
    const char* ids[3] = {"BEA01", "NSR02", "TEA01"};
    for (size_t i = 0; i < 3; ++i) {
        std::memcpy(&b[i * kUdfBlockBytes + 1], ids[i], 5);
        b[i * kUdfBlockBytes + 6] = 1;
    }
    return write(sink, b.data(), 3);
}

bool UdfWriter::WriteArea(ImageContext& ctx, const IsoLayout& layout, const UdfPlacement& plan,
                          image::DataStartOf dataStart, const void* dataContext, image::SectorWrite write,
                          void* sink) {
    if (plan.folderEntry.size() != layout.folders.size() || plan.closingAnchor < plan.partitionStart) return false;
    VolumeFacts v;
    v.label = VolumeLabel(ctx);
    v.created = CreationTime(ctx);
    v.partitionStart = plan.partitionStart;
    v.partitionBlocks = plan.closingAnchor - plan.partitionStart;
    BlockWriter out(write, sink, plan.areaSector);
    if (!out.PadTo(plan.mainSequence) || !WriteSequence(out, plan, v, plan.mainSequence)) return false;
    if (!out.PadTo(plan.reserveSequence) || !WriteSequence(out, plan, v, plan.reserveSequence)) return false;
    if (!out.PadTo(plan.integritySequence) || !WriteIntegrity(out, plan, v)) return false;
    if (!out.PadTo(plan.anchor) || !WriteAnchor(out, plan, plan.anchor)) return false;

    // File set descriptor (4/14.1) and its terminating descriptor.
    const auto relative = [&](uint32_t sector) { return sector - plan.partitionStart; };
    Block b{};
    PutTime(&b[16], v.created);
    foundation::WriteLE16(&b[28], 3);
    foundation::WriteLE16(&b[30], 3);
    foundation::WriteLE32(&b[32], 1);
    foundation::WriteLE32(&b[36], 1);
    PutCharSpec(&b[48]);
    EncodeUdfDstring(std::span<uint8_t>(&b[112], 128), v.label);
    PutCharSpec(&b[240]);
    EncodeUdfDstring(std::span<uint8_t>(&b[304], 32), v.label);
    foundation::WriteLE32(&b[400], kUdfBlockBytes);
    foundation::WriteLE32(&b[404], relative(plan.folderEntry.front()));
    PutDomain(&b[416]);
    StampUdfTag(b.data(), 512, udf_tag::kFileSet, plan.fileSetBlock);
    if (!out.Put(b.data(), 1)) return false;
    b.fill(0);
    StampUdfTag(b.data(), 512, udf_tag::kTerminating, plan.fileSetBlock + 1);
    if (!out.Put(b.data(), 1)) return false;

    std::unordered_map<const FolderLayout*, size_t> indexOf;
    for (size_t i = 0; i < layout.folders.size(); ++i) indexOf[layout.folders[i].get()] = i;
    auto folderUniqueId = [&](size_t i) { return i == 0 ? 0u : plan.folderEntry[i]; };
    std::vector<uint8_t> dir;
    for (size_t i = 0; i < layout.folders.size(); ++i) {
        const FolderLayout& f = *layout.folders[i];
        const uint32_t entry = plan.folderEntry[i];
        if (out.Position() != entry) return false;
        EntryFacts e;
        e.directory = true;
        e.size = plan.folderBytes[i];
        e.item = f.records.empty() ? &ctx.rootItem : f.records.front().item;
        e.uniqueId = folderUniqueId(i);
        uint32_t links = 1;
        for (const image::DirectoryRecord& r : f.records) links += r.kind == RecordKind::Folder ? 1 : 0;
        e.links = uint16_t(std::min<uint32_t>(links, 0xFFFF));
        MakeUdfShortDescriptors(e.size, relative(entry + 1), e.descriptors);
        if (!WriteFileEntry(out, ctx, plan, entry, e)) return false;

        const uint64_t blocks = (uint64_t(plan.folderBytes[i]) + kUdfBlockBytes - 1) / kUdfBlockBytes;
        dir.assign(size_t(blocks * kUdfBlockBytes), 0);
        size_t pos = 0;
        const size_t parent = indexOf.count(f.parent) ? indexOf[f.parent] : 0;
        AppendFid(dir, pos, relative(entry + 1), 0x0A, {}, relative(plan.folderEntry[parent]),
                  folderUniqueId(parent));
        for (uint32_t index : f.isoOrder) {
            const image::DirectoryRecord& r = f.records[index];
            if (!Listed(r)) continue;
            uint32_t target = 0;
            uint32_t uniqueId = 0;
            if (r.kind == RecordKind::Folder) {
                auto it = layout.byFolder.find(r.subfolder);
                if (it == layout.byFolder.end() || !indexOf.count(it->second)) return false;
                const size_t child = indexOf[it->second];
                target = plan.folderEntry[child];
                uniqueId = folderUniqueId(child);
            } else {
                auto it = plan.fileEntry.find(r.item);
                if (it == plan.fileEntry.end()) return false;
                target = uniqueId = it->second;
            }
            const uint8_t characteristics = r.kind == RecordKind::Folder ? 2 : 0;
            AppendFid(dir, pos, relative(entry + 1), characteristics, FidName(r), relative(target), uniqueId);
        }
        if (pos != plan.folderBytes[i] || !out.Put(dir.data(), uint32_t(blocks))) return false;
    }

    for (const auto& f : layout.folders) {
        for (uint32_t index : f->isoOrder) {
            const image::DirectoryRecord& r = f->records[index];
            if (r.kind != RecordKind::File) continue;
            auto it = plan.fileEntry.find(r.item);
            if (it == plan.fileEntry.end() || it->second != out.Position()) continue;   // an item listed twice
            EntryFacts e;
            e.item = r.item;
            e.size = uint64_t(std::max<int64_t>(r.item->size, 0));
            e.uniqueId = it->second;
            if (e.size > 0) {
                const uint32_t start = dataStart(dataContext, r.item);
                if (start < plan.partitionStart) {
                    foundation::SetLastErrorText(platform::Format(
                        u"The data of a file lies before the UDF partition: %s", std::u16string(r.item->name)));
                    return false;
                }
                if (!MakeUdfShortDescriptors(e.size, relative(start), e.descriptors)) return false;
            }
            if (!WriteFileEntry(out, ctx, plan, it->second, e)) return false;
        }
    }
    return out.Position() == plan.areaEnd;
}

bool UdfWriter::WriteClosingAnchor(ImageContext& ctx, const UdfPlacement& plan, image::SectorWrite write, void* sink) {
    (void)ctx;
    BlockWriter out(write, sink, plan.closingAnchor);
    return WriteAnchor(out, plan, plan.closingAnchor);
}

int64_t UdfWriter::BlockToSector(ImageContext& ctx, const ImageItem& item, uint64_t block) {
    return UdfBlockToSector(ctx, item, block);
}

}  // namespace filesystems
