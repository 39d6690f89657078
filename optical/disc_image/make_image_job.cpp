#include "optical/disc_image/make_image_job.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "foundation/language.h"
#include "foundation/optical_services.h"
#include "image/sheets/cdtext.h"
#include "image/sheets/cue_writer.h"
#include "image/sheets/track_list.h"
#include "optical/burn/system_awake.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/sector_read_state.h"
#include "optical/drive/sector_reader.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"
#include "image/sectors/raw_sectors.h"
#include "platform/last_error.h"
#include "platform/format.h"
#include "platform/staged_file.h"

namespace optical {
namespace {

constexpr uint32_t kChunkSectors = 16;
constexpr size_t kMaxNameLength = 200;
// One retry per sector, then zeros: a scratched disc is read to its end and
// the user learns how many sectors are missing.
constexpr int32_t kLossyPolicy = 3;

struct Device {
    platform::FileHandle handle = nullptr;
    ~Device() {
        if (handle) CloseOpticalDevice(handle);
    }
};

bool IsAudio(const image::TrackEntry& t) { return t.mode == image::track_mode::kAudio; }

bool NeedsBin(const image::TrackList& list) {
    if (list.trackCount > 1 || list.sessionCount > 1) return true;
    return list.trackCount == 1 && IsAudio(list.tracks[0]);
}

std::u16string Lang(int id, std::u16string_view text) { return foundation::GetLangString(uint32_t(id), text); }

// Reads count sectors at lba; sectors that stay unreadable are zeros and
// counted one by one.
bool ReadChunk(platform::FileHandle device, image::TrackList& list, uint32_t lba, uint32_t count, bool raw,
               uint8_t* buffer, uint32_t& lost) {
    const size_t unit = raw ? image::kRawSectorSize : 2048;
    foundation::SectorReadRequest request;
    request.trackList = &list;
    request.device = device;
    request.buffer = buffer;
    request.bufferBytes = uint64_t(count) * unit;
    request.lba = lba;
    request.count = count;
    request.raw = raw;
    request.policy = kLossyPolicy;
    int hadError = 0;
    if (optical::ReadSectorsWithRetry(request, &hadError) != 1) return false;
    if (!hadError) return true;
    for (uint32_t i = 0; i < count; ++i) {
        request.buffer = buffer + i * unit;
        request.bufferBytes = unit;
        request.lba = lba + i;
        request.count = 1;
        int one = 0;
        if (optical::ReadSectorsWithRetry(request, &one) != 1) return false;
        if (one) ++lost;
    }
    return true;
}

}  // namespace

bool DiscNeedsBinFormat(char16_t letter) {
    image::TrackListPtr list = image::NewTrackList();
    return ReadDiscLayoutByLetter(letter, *list) && NeedsBin(*list);
}

std::u16string ReadDiscLabel(char16_t letter) {
    Device device;
    device.handle = OpenOpticalDevice(letter);
    if (!device.handle) return {};
    // ECMA-119 8.4: the primary descriptor at sector 16, "CD001" at +1, the
    // volume identifier at +40, 32 d-characters.
    std::vector<uint8_t> sector(2048);
    uint32_t got = 0;
    if (!ReadCookedDiscSectors(nullptr, device.handle, sector.data(), 16, 1, got) || got < 2048) return {};
    if (sector[0] != 1 || std::memcmp(sector.data() + 1, "CD001", 5) != 0) return {};
    std::u16string label;
    for (size_t i = 40; i < 72; ++i) label += char16_t(sector[i]);
    while (!label.empty() && label.back() == u' ') label.pop_back();
    return label;
}

std::u16string ImageFileNameForLabel(std::u16string_view label, MakeImageFormat format) {
    std::u16string name;
    for (char16_t c : label) {
        if (c < 0x20 || c == 0x7F) continue;
        // Separators of either system become a plain character, so a label
        // never reaches into another folder.
        name += (c == u'/' || c == u'\\') ? u'_' : c;
    }
    while (!name.empty() && (name.back() == u' ' || name.back() == u'.')) name.pop_back();
    size_t lead = 0;
    while (lead < name.size() && (name[lead] == u' ' || name[lead] == u'.')) ++lead;
    name.erase(0, lead);
    if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
    if (name.empty()) return {};
    return name + (format == MakeImageFormat::Bin ? u".bin" : u".iso");
}

MakeImageResult MakeImageFromDisc(const MakeImageRequest& req) {
    MakeImageResult result;
    g_IgnoreAllReadErrors = false;
    g_ReadHadErrors = false;
    const std::u16string source = platform::Format(u"%s [%c:]", std::u16string(u"Drive"), req.letter);
    SetImageJobSourceName(source);
    struct EndJob {
        ~EndJob() {
            SetImageJobSourceName({});
            KeepSystemAwake(false);
        }
    } endJob;

    Device device;
    device.handle = OpenOpticalDevice(req.letter);
    if (!device.handle) {
        result.message = platform::Format(u"Error opening device[%C:].", req.letter);
        return result;
    }
    image::TrackListPtr list = image::NewTrackList();
    if (!ReadDiscLayout(device.handle, *list, req.letter)) {
        result.message = Lang(kStringReadMediaFailed, u"Error reading media information.");
        return result;
    }
    const int32_t tracks = std::clamp(list->trackCount, 0, image::kMaxTracks);
    if (tracks == 0) {
        result.message = Lang(kStringDiscEmpty, u"The disc is empty.");
        return result;
    }
    const bool bin = req.format == MakeImageFormat::Bin;
    if (!bin && NeedsBin(*list)) {
        result.message = tracks > 1 || list->sessionCount > 1
                             ? Lang(kStringNeedBinMultiTrack, u"This is a multi-track disc, please select BIN image file format.")
                             : Lang(kStringNeedBinAudio, u"This is an audio disc, please select BIN image file format.");
        return result;
    }
    bool hasAudio = false;
    for (int32_t i = 0; i < tracks; ++i) hasAudio |= IsAudio(list->tracks[size_t(i)]);
    if (bin && hasAudio) {
        std::vector<uint8_t> packs;
        if (ReadCdTextPacks(device.handle, packs) == 1 && packs.size() > 4) image::ApplyCdTextFile(list.get(), packs);
    }
    const bool raw = bin && CanReadRaw(device.handle, list.get());
    const size_t unit = raw ? image::kRawSectorSize : 2048;

    // The sectors each track holds on the disc, in disc order; what lies
    // between them (a lead-out and lead-in between sessions) is zeros in a BIN.
    struct Range {
        int64_t first, end;
    };
    std::vector<Range> ranges;
    int64_t end = 0;
    for (int32_t i = 0; i < tracks; ++i) {
        const image::TrackEntry& t = list->tracks[size_t(i)];
        const int64_t first = std::max<int64_t>(int64_t(t.startSector) - std::max(t.pregap, 0), 0);
        const int64_t last = int64_t(t.startSector) + std::max(t.length, 0) + (bin ? std::max(t.postgap, 0) : 0);
        if (last <= first || first < end) {
            result.message = Lang(kStringReadMediaFailed, u"Error reading media information.");
            return result;
        }
        ranges.push_back({first, last});
        end = last;
    }
    if (!bin) ranges.front().first = 0;

    platform::StagedFile out;
    if (!out.Begin(req.destination, {.createFolders = true})) {
        result.message = platform::Format(u"%s\r\n%s", req.destination, platform::ErrorText(platform::GetLastError()));
        return result;
    }
    const uint64_t total = uint64_t(end) * image::kRawSectorSize;
    std::vector<uint8_t> buffer(kChunkSectors * unit);
    int64_t at = 0;
    for (const Range& range : ranges) {
        for (int64_t lba = at; lba < range.end;) {
            if (req.cancelled && req.cancelled()) {
                result.outcome = MakeImageOutcome::Cancelled;
                return result;
            }
            KeepSystemAwake(true);
            const uint32_t n = uint32_t(std::min<int64_t>(kChunkSectors, (lba < range.first ? range.first : range.end) - lba));
            std::memset(buffer.data(), 0, buffer.size());
            if (lba >= range.first &&
                !ReadChunk(device.handle, *list, uint32_t(lba), n, raw, buffer.data(), result.lostSectors)) {
                result.message = Lang(kStringReadMediaFailed, u"Error reading media information.");
                return result;
            }
            if (!out.Write(buffer.data(), size_t(n) * unit)) {
                result.message = platform::Format(u"%s\r\n%s", req.destination, platform::ErrorText(platform::GetLastError()));
                return result;
            }
            lba += n;
            if (req.progress) req.progress(uint64_t(lba) * image::kRawSectorSize, total);
        }
        at = range.end;
    }
    if (!out.Commit()) {
        result.message = platform::Format(u"%s\r\n%s", req.destination, platform::ErrorText(platform::GetLastError()));
        return result;
    }
    if (bin) {
        list->imageSectorSize = int32_t(unit);
        for (int32_t i = 0; i < tracks; ++i) list->tracks[size_t(i)].sectorSize = int32_t(unit);
        if (image::WriteFullCueSheet(req.destination, *list, false) != 0) {
            result.message = platform::Format(u"%s\r\n%s", req.destination, platform::ErrorText(platform::GetLastError()));
            return result;
        }
    }
    if (result.lostSectors > 0) {
        result.outcome = MakeImageOutcome::DoneWithLoss;
        result.message = platform::Format(u"%u sectors could not be read and were written as zeros.",
                                          result.lostSectors);
    } else {
        result.outcome = MakeImageOutcome::Done;
    }
    return result;
}

}  // namespace optical
