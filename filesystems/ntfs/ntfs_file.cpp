#include "filesystems/ntfs/ntfs_file.h"

#include <algorithm>

#include "filesystems/ntfs/ntfs_data.h"
#include "filesystems/ntfs/ntfs_layout.h"
#include "filesystems/ntfs/ntfs_state.h"
#include "foundation/byte_cursor.h"

namespace filesystems {
namespace {

namespace rec = ntfs_layout::record;

// The attribute list's value: in the record, or read through its runs.
bool ListValue(image::ImageContext& ctx, const NtfsDataPiece& list, std::vector<uint8_t>& buffer,
               std::span<const uint8_t>& value) {
    if (list.resident) {
        value = list.value;
        return true;
    }
    if (list.lowestVcn != 0 || list.dataBytes > kMaxNtfsAttributeListBytes) return false;
    NtfsDataLayout layout;
    if (!MakeNtfsDataLayout({list}, ctx.ntfsState->volumeClusters, layout)) return false;
    buffer.clear();
    const int read = ReadNtfsAttribute(ctx, layout, [&](std::span<const uint8_t> bytes) {
        buffer.insert(buffer.end(), bytes.begin(), bytes.end());
        return 1;
    });
    if (read != 1) return false;
    value = buffer;
    return true;
}

}  // namespace

std::span<const uint8_t> NtfsTableRecord(const image::NtfsState& volume, uint64_t number) {
    if (number >= volume.recordCount) return {};
    return std::span<const uint8_t>(volume.mftTable).subspan(number * volume.recordBytes, volume.recordBytes);
}

void ClearNtfsFileFacts(NtfsFileFacts& facts) {
    std::vector<NtfsDataPiece> data = std::move(facts.data);
    data.clear();
    facts = NtfsFileFacts{};
    facts.data = std::move(data);
}

bool ReadNtfsFile(image::ImageContext& ctx, uint64_t number, NtfsFileFacts& facts, std::vector<uint8_t>& listBuffer) {
    ClearNtfsFileFacts(facts);
    const image::NtfsState* volume = ctx.ntfsState.get();
    if (!volume) return false;
    const std::span<const uint8_t> base = NtfsTableRecord(*volume, number);
    if (base.empty() || !ParseNtfsRecord(base, NtfsRecordRole::kBase, facts)) return false;
    if (!facts.haveList || facts.baseRecord != 0) return true;

    std::span<const uint8_t> value;
    std::vector<NtfsListEntry> entries;
    if (!ListValue(ctx, facts.list, listBuffer, value) || !DecodeNtfsAttributeList(value, entries)) return false;
    // Each record once, and never the base again: a list may name a record
    // many times, or itself.
    std::vector<uint64_t> records;
    for (const NtfsListEntry& e : entries) {
        if (e.record != number) records.push_back(e.record);
    }
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    for (uint64_t extension : records) {
        const std::span<const uint8_t> r = NtfsTableRecord(*volume, extension);
        if (r.empty()) continue;
        foundation::ByteCursor c(r);
        const bool inUse = (c.Le16(rec::kFlags) & rec::kInUse) != 0;
        const uint64_t owner = c.Le64(rec::kBaseRecord) & ntfs_layout::kRecordNumberMask;
        if (!inUse || owner != number) continue;
        NtfsFileFacts more;
        if (!ParseNtfsRecord(r, NtfsRecordRole::kExtension, more)) continue;
        facts.data.insert(facts.data.end(), more.data.begin(), more.data.end());
        if (more.haveName && (!facts.haveName || (facts.nameSpace == ntfs_layout::filename::kDosNamespace &&
                                                  more.nameSpace != ntfs_layout::filename::kDosNamespace))) {
            facts.haveName = true;
            facts.name = more.name;
            facts.nameSpace = more.nameSpace;
            facts.parentReference = more.parentReference;
            facts.directory = facts.directory || more.directory;
        }
        if (!facts.haveStandardInformation && more.haveStandardInformation) {
            facts.haveStandardInformation = true;
            facts.modificationFileTime = more.modificationFileTime;
            facts.fileAttributes = more.fileAttributes;
        }
    }
    return true;
}

}  // namespace filesystems
