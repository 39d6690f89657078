#include "filesystems/fat/fat_directory.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "image/document/text_conversions.h"
#include "platform/text.h"

namespace filesystems {

using namespace fat_layout;

void FatDirectory::MarkEntryDirty(uint32_t index) {
    if (IsFixedRoot()) {
        if (dirtyClusters.empty()) dirtyClusters.resize(1);
        dirtyClusters[0] = 1;
        return;
    }
    const uint32_t position = index / entriesPerCluster;
    if (position < dirtyClusters.size()) dirtyClusters[position] = 1;
}

std::unique_ptr<FatDirectory> LoadFatDirectory(image::ImageContext& ctx, uint32_t first, std::vector<bool>* claimed) {
    FatVolume* volume = GetFatVolume(ctx);
    if (!volume) return nullptr;
    auto dir = std::make_unique<FatDirectory>();
    dir->firstCluster = first;
    dir->entriesPerCluster = volume->entriesPerCluster;
    if (volume->type != FatType::kFat32 && first == 0) {
        // The fixed root: at least one cluster of room, so that code working
        // in clusters needs no second case.
        dir->totalEntries = volume->rootEntries;
        dir->bytes.assign(std::max<size_t>(volume->rootDir.size(), volume->clusterBytes), 0);
        std::copy(volume->rootDir.begin(), volume->rootDir.end(), dir->bytes.begin());
        dir->dirtyClusters.assign(1, 0);
    } else {
        if (!IsDataCluster(*volume, first)) return nullptr;
        std::unordered_set<uint32_t> seen;
        const uint32_t maxClusters = std::max<uint32_t>(1, kMaxDirectoryEntries / volume->entriesPerCluster);
        uint32_t cluster = first;
        while (true) {
            if (claimed && (*claimed)[cluster]) {
                dir->damaged = true;
                break;
            }
            if (!seen.insert(cluster).second) {
                dir->damaged = true;
                break;
            }
            if (dir->clusters.size() >= maxClusters) {
                dir->damaged = true;
                break;
            }
            if (claimed) (*claimed)[cluster] = true;
            dir->clusters.push_back(cluster);
            const uint32_t next = GetFatEntry(*volume, cluster);
            if (IsEndMark(*volume, next)) break;
            if (!IsDataCluster(*volume, next)) {
                // Free, bad or out of range: the chain is broken here.
                dir->damaged = true;
                break;
            }
            cluster = next;
        }
        dir->bytes.assign(dir->clusters.size() * size_t(volume->clusterBytes), 0);
        for (size_t i = 0; i < dir->clusters.size(); ++i) {
            uint8_t* at = dir->bytes.data() + i * volume->clusterBytes;
            if (ReadFatCluster(ctx, at, dir->clusters[i]) != 0) std::fill_n(at, volume->clusterBytes, 0);
        }
        dir->totalEntries = uint32_t(dir->clusters.size()) * volume->entriesPerCluster;
        dir->dirtyClusters.assign(dir->clusters.size(), 0);
    }
    // Behind the end marker nothing counts, whatever the bytes are.
    for (uint32_t i = 0; i < dir->totalEntries; ++i) {
        if (dir->Entry(i)[entry::kName] == entry::kEndMarker) {
            std::fill(dir->bytes.begin() + size_t(i) * kEntryBytes,
                      dir->bytes.begin() + size_t(dir->totalEntries) * kEntryBytes, 0);
            break;
        }
    }
    return dir;
}

uint8_t LongNameChecksum(const uint8_t* name11) {
    uint8_t sum = 0;
    for (size_t i = 0; i < entry::kNameBytes; ++i) sum = uint8_t(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

namespace {

bool IsLiveShortEntry(const uint8_t* e) {
    return e[entry::kName] != entry::kEndMarker && e[entry::kName] != entry::kDeleted &&
           e[entry::kAttribute] != attr::kLongName;
}

}  // namespace

LongNameRun ReadLongName(const FatDirectory& dir, uint32_t index) {
    LongNameRun run;
    const uint8_t* head = dir.Entry(index);
    const uint8_t sequence = head[lfn::kSequence];
    if (!(sequence & lfn::kLastFlag)) return run;
    const uint32_t n = sequence & uint8_t(~lfn::kLastFlag);
    if (n < 1 || n > lfn::kMaxSequence) return run;
    // The run and its 8.3 entry must lie inside the directory.
    if (index >= dir.totalEntries || n >= dir.totalEntries - index) return run;
    const uint8_t* shortEntry = dir.Entry(index + n);
    if (!IsLiveShortEntry(shortEntry)) return run;
    const uint8_t checksum = LongNameChecksum(shortEntry);
    std::u16string units(size_t(n) * lfn::kUnitsPerEntry, u'\0');
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = dir.Entry(index + i);
        const uint32_t expected = n - i;
        const uint8_t seq = i == 0 ? uint8_t(e[lfn::kSequence] & ~lfn::kLastFlag) : e[lfn::kSequence];
        if (e[entry::kAttribute] != attr::kLongName || seq != expected || e[lfn::kChecksum] != checksum) {
            run.entries = std::max<uint32_t>(1, i);
            return run;
        }
        for (size_t u = 0; u < lfn::kUnitsPerEntry; ++u) {
            units[(expected - 1) * lfn::kUnitsPerEntry + u] = char16_t(foundation::ReadLE16(e + lfn::kUnitOffsets[u]));
        }
    }
    // The last entry pads the name with a 0x0000 and 0xFFFF units.
    const size_t end = units.find(u'\0');
    if (end != std::u16string::npos) units.resize(end);
    run.entries = n;
    run.name = std::move(units);
    return run;
}

std::string ShortNameToText(const uint8_t* e, bool label) {
    std::string text;
    if (label) {
        text.assign(reinterpret_cast<const char*>(e), entry::kNameBytes);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
        return text;
    }
    std::string base;
    for (size_t i = 0; i < 8 && e[i] != 0; ++i) base.push_back(char(e[i]));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (!base.empty() && uint8_t(base[0]) == entry::kKanjiE5) base[0] = char(0xE5);
    std::string extension;
    for (size_t i = 8; i < 11 && e[i] != 0; ++i) extension.push_back(char(e[i]));
    while (!extension.empty() && extension.back() == ' ') extension.pop_back();
    text = base;
    if (e[8] != 0 && !extension.empty() && base != "." && base != "..") text += "." + extension;
    return text;
}

std::u16string ShortNameToDisplay(const FatVolume& volume, const uint8_t* e) {
    const uint8_t caseFlags = e[entry::kCaseFlags];
    std::u16string base;
    std::u16string extension;
    std::string text = ShortNameToText(e, false);
    const size_t dot = (text == "." || text == "..") ? std::string::npos : text.find('.');
    base = image::MultiByteToWideText(std::string_view(text).substr(0, dot), platform::kCodePageOem);
    if (dot != std::string::npos) {
        extension = image::MultiByteToWideText(std::string_view(text).substr(dot + 1), platform::kCodePageOem);
    }
    // Windows NT keeps an all-lower-case base or extension as flags beside an
    // upper-case 8.3 name; without them FAT32 names show in lower case and
    // FAT12/16 names as stored.
    const bool anyFlag = (caseFlags & (entry::kLowerBase | entry::kLowerExtension)) != 0;
    if (anyFlag) {
        if (caseFlags & entry::kLowerBase) base = platform::ToLower(base);
        if (caseFlags & entry::kLowerExtension) extension = platform::ToLower(extension);
    } else if (volume.type == FatType::kFat32) {
        base = platform::ToLower(base);
        extension = platform::ToLower(extension);
    }
    return dot == std::string::npos ? base : base + u"." + extension;
}

std::array<uint8_t, 7> FatDateToIsoDate(uint16_t time, uint16_t date) {
    std::array<uint8_t, 7> out{};
    out[0] = uint8_t(((date >> 9) & 0x7F) + 80);
    out[1] = uint8_t((date >> 5) & 0x0F);
    out[2] = uint8_t(date & 0x1F);
    out[3] = uint8_t((time >> 11) & 0x1F);
    out[4] = uint8_t((time >> 5) & 0x3F);
    out[5] = uint8_t((time & 0x1F) * 2);
    // FAT times are local: the record carries the offset of the local zone at
    // that moment, in 15-minute units.
    const int64_t offset = foundation::GetUtcOffsetSeconds() / 900;
    out[6] = uint8_t(int8_t(offset));
    return out;
}

uint32_t EntryFirstCluster(const FatVolume& volume, const uint8_t* e) {
    const uint32_t low = foundation::ReadLE16(e + entry::kClusterLow);
    // The high word is FAT32's; older systems kept other data there.
    if (volume.type != FatType::kFat32) return low;
    return (uint32_t(foundation::ReadLE16(e + entry::kClusterHigh)) << 16) | low;
}

}  // namespace filesystems
