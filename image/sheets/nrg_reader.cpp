#include "image/sheets/nrg_reader.h"

#include <algorithm>

#include "foundation/byte_cursor.h"
#include "image/detect/fs_probe.h"
#include "image/document/image_context.h"

namespace image {

namespace {

constexpr uint32_t kIdNero = 0x4E45524F;   // "NERO"
constexpr uint32_t kIdNer5 = 0x4E455235;   // "NER5"
constexpr uint32_t kIdCues = 0x43554553;
constexpr uint32_t kIdCuex = 0x43554558;
constexpr uint32_t kIdDaoi = 0x44414F49;
constexpr uint32_t kIdDaox = 0x44414F58;
constexpr uint32_t kIdEtnf = 0x45544E46;
constexpr uint32_t kIdEtn2 = 0x45544E32;
constexpr uint32_t kIdSinf = 0x53494E46;
constexpr uint32_t kIdMtyp = 0x4D545950;
constexpr uint32_t kIdEnd = 0x454E4421;    // "END!"

constexpr int32_t kLeadInSectors = 150;

int32_t FromBcd(uint8_t value, bool& ok) {
    if ((value & 0x0F) > 9 || (value >> 4) > 9) ok = false;
    return (value >> 4) * 10 + (value & 0x0F);
}

// The track's sector layout from its mode and stored sector size; false for a
// combination no NRG writer produces.
bool DescribeTrack(uint8_t mode, int32_t storedSize, NrgTrackRecord& record) {
    record.storedSize = storedSize;
    record.userSize = 2048;
    record.form2 = false;
    switch (mode) {
    case 0x00:   // Mode 1
        record.kind = NrgTrackKind::Data;
        if (storedSize == 2048) record.userOffset = 0;
        else if (storedSize == 2352 || storedSize == 2448) record.userOffset = 16;
        else return false;
        break;
    case 0x02:   // Mode 2 Form 1, user data only
        record.kind = NrgTrackKind::Mode2;
        if (storedSize != 2048) return false;
        record.userOffset = 0;
        break;
    case 0x03:   // Mode 2 without sync and header: sub-header first
        record.kind = NrgTrackKind::Mode2;
        record.form2 = true;
        if (storedSize == 2336) record.userOffset = 8;
        else return false;
        break;
    case 0x05:   // Mode 1, raw
        record.kind = NrgTrackKind::Mode1;
        if (storedSize != 2352 && storedSize != 2448) return false;
        record.userOffset = 16;
        break;
    case 0x06:   // Mode 2, raw
    case 0x20:
        record.kind = NrgTrackKind::Mode2;
        if (storedSize == 2336) {
            record.form2 = true;
            record.userOffset = 8;
        } else if (storedSize == 2352 || storedSize == 2448) {
            record.userOffset = 24;
        } else {
            return false;
        }
        break;
    case 0x07:   // audio
        record.kind = NrgTrackKind::Audio;
        if (storedSize != 2352 && storedSize != 2448) return false;
        record.userSize = 2352;
        record.userOffset = 0;
        break;
    default:
        return false;
    }
    record.tailSize = storedSize - record.userOffset - record.userSize;
    return record.tailSize >= 0;
}

// Sector size of an ETNF/ETN2 mode.
int32_t EtnSectorSize(uint32_t mode) {
    switch (mode) {
    case 0: return 2048;
    case 2: return 2048;
    case 3: return 2336;
    case 7: return 2352;
    default: return 0;
    }
}

int ParseCuePoints(NrgState& state, std::span<const uint8_t> data, bool lbaAddresses) {
    if (data.size() % nrg::kCueEntryBytes != 0 || data.size() < 2 * nrg::kCueEntryBytes) return -1;
    foundation::ByteCursor cursor(data);
    for (size_t at = 0; at + nrg::kCueEntryBytes <= data.size(); at += nrg::kCueEntryBytes) {
        bool ok = true;
        uint8_t trackByte = cursor.U8(at + 1);
        if (trackByte == 0 || trackByte == 0xAA) continue;   // lead-in and lead-out
        int32_t track = FromBcd(trackByte, ok);
        int32_t index = FromBcd(cursor.U8(at + 2), ok);
        if (!ok || track < 1 || track > kMaxTracks) return -1;
        int32_t sector;
        if (lbaAddresses) {
            sector = static_cast<int32_t>(cursor.Be32(at + 4));
        } else {
            // First version: 0, minute, second, frame in BCD.
            int32_t minute = FromBcd(cursor.U8(at + 5), ok);
            int32_t second = FromBcd(cursor.U8(at + 6), ok);
            int32_t frame = FromBcd(cursor.U8(at + 7), ok);
            if (!ok || second > 59 || frame > 74) return -1;
            sector = (minute * 60 + second) * 75 + frame - kLeadInSectors;
        }
        NrgState::CuePoint& point = state.cuePoints[static_cast<size_t>(track)];
        if (index == 0) {
            point.index0 = sector;
            point.index0Seen = true;
        } else if (index == 1) {
            point.index1 = sector;
            point.index1Seen = true;
        }
    }
    return 0;
}

int ParseEtnEntries(NrgState& state, std::span<const uint8_t> data, bool wide) {
    size_t entryBytes = wide ? nrg::kEtn2EntryBytes : nrg::kEtnfEntryBytes;
    if (!state.tracks.empty() || data.empty() || data.size() % entryBytes != 0) return -1;
    foundation::ByteCursor cursor(data);
    std::vector<NrgTrackRecord> records;
    for (size_t i = 0; i < data.size() / entryBytes; ++i) {
        size_t at = i * entryBytes;
        uint64_t offset = wide ? cursor.Be64(at) : cursor.Be32(at);
        uint64_t length = wide ? cursor.Be64(at + 8) : cursor.Be32(at + 4);
        uint32_t mode = cursor.Be32(at + (wide ? 16 : 8));
        uint32_t start = cursor.Be32(at + (wide ? 20 : 12));
        int32_t size = EtnSectorSize(mode);
        if (size == 0) return -1;
        if (wide) {
            // Some writers of the second version give 2048-byte lengths for
            // other modes: the first size that divides the length counts.
            if (length % static_cast<uint64_t>(size) != 0) {
                for (int32_t candidate : {2048, 2336, 2352}) {
                    if (length % static_cast<uint64_t>(candidate) == 0) {
                        size = candidate;
                        break;
                    }
                }
            }
        }
        if (length == 0 || length % static_cast<uint64_t>(size) != 0) return -1;
        if (!wide && offset != uint64_t{start} * static_cast<uint64_t>(size)) return -1;
        NrgTrackRecord record;
        uint8_t describedMode = static_cast<uint8_t>(mode == 3 && size == 2352 ? 6 : mode);
        if (!DescribeTrack(describedMode, size, record)) return -1;
        uint64_t count = length / static_cast<uint64_t>(size);
        // Each track written at once is preceded by a 150-sector gap that the
        // start sectors of the entries do not count.
        uint64_t startSector = uint64_t{start} + uint64_t{kLeadInSectors} * i;
        if (count > INT32_MAX || startSector + count > INT32_MAX) return -1;
        record.fileOffset = static_cast<int64_t>(std::min<uint64_t>(offset, INT64_MAX));
        record.count = static_cast<int32_t>(count);
        record.startSector = static_cast<int32_t>(startSector);
        records.push_back(record);
    }
    for (const NrgTrackRecord& record : records) AddNrgTrack(state, record);
    return 0;
}

// Records from the DAO entries, with start sectors from the CUE points when the
// image has them.
void BuildDaoRecords(NrgState& state) {
    int64_t running = 0;
    std::vector<NrgTrackRecord> records;
    for (size_t i = 0; i < state.daoEntries.size(); ++i) {
        const NrgState::DaoEntry& entry = state.daoEntries[i];
        NrgTrackRecord record;
        if (!DescribeTrack(entry.mode, entry.sectorSize, record)) {
            state.layoutError = true;
            return;
        }
        uint64_t size = static_cast<uint64_t>(entry.sectorSize);
        if (entry.index0 > entry.index1 || entry.index1 > entry.end) {
            state.layoutError = true;
            return;
        }
        uint64_t count = (entry.end - entry.index1) / size;
        uint64_t pregap = (entry.index1 - entry.index0) / size;
        if (count == 0 || count > INT32_MAX || pregap > INT32_MAX) {
            state.layoutError = true;
            return;
        }
        record.fileOffset = static_cast<int64_t>(entry.index1);
        record.count = static_cast<int32_t>(count);
        record.pregapInFile = i == 0 ? 0 : static_cast<int32_t>(pregap);
        size_t trackNumber = size_t{state.daoFirstTrack} + i;
        int64_t start = i == 0 ? 0 : running + record.pregapInFile;
        if (trackNumber < state.cuePoints.size() && state.cuePoints[trackNumber].index1Seen) {
            start = state.cuePoints[trackNumber].index1;
        }
        if (start < 0 || start + record.count > INT32_MAX) {
            state.layoutError = true;
            return;
        }
        record.startSector = static_cast<int32_t>(start);
        running = start + record.count;
        records.push_back(record);
    }
    for (const NrgTrackRecord& record : records) AddNrgTrack(state, record);
}

}  // namespace

void FreeNrgState(NrgState* state) {
    std::default_delete<NrgState>()(state);
}

NrgStatePtr ReadNrgFooter(platform::FileHandle file) {
    uint64_t fileSize = 0;
    if (!file || !platform::FileGetSize(file, fileSize) || fileSize < nrg::kFooterBytes) return nullptr;
    uint8_t footer[nrg::kFooterBytes];
    if (platform::FileReadAt(file, fileSize - nrg::kFooterBytes, footer, sizeof footer) !=
        static_cast<int64_t>(sizeof footer)) {
        return nullptr;
    }
    foundation::ByteCursor cursor(footer, sizeof footer);
    NrgStatePtr state = std::make_unique<NrgState>();
    uint64_t blockOffset;
    if (cursor.Be32(4) == kIdNero) {
        state->version = 1;
        blockOffset = cursor.Be32(8);
    } else if (cursor.Be32(0) == kIdNer5) {
        state->version = 2;
        blockOffset = cursor.Be64(4);
    } else {
        return nullptr;
    }
    if (blockOffset >= fileSize) return nullptr;
    uint64_t blockLength = fileSize - blockOffset;
    if (blockLength < 1 || blockLength > nrg::kMaxChunkBlockBytes) return nullptr;
    state->chunkBlockOffset = blockOffset;
    state->chunkBlock.resize(static_cast<size_t>(blockLength));
    if (platform::FileReadAt(file, blockOffset, state->chunkBlock.data(), state->chunkBlock.size()) !=
        static_cast<int64_t>(blockLength)) {
        return nullptr;
    }
    return state;
}

int ParseNrgCues(NrgState& state, std::span<const uint8_t> data) {
    return ParseCuePoints(state, data, false);
}

int ParseNrgCuex(NrgState& state, std::span<const uint8_t> data) {
    // The first entry is the lead-in at -150.
    if (data.size() < nrg::kCueEntryBytes || foundation::ByteCursor(data).Be32(4) != 0xFFFFFF6Au) return -1;
    return ParseCuePoints(state, data, true);
}

int ParseNrgEtnf(NrgState& state, std::span<const uint8_t> data) {
    return ParseEtnEntries(state, data, false);
}

int ParseNrgEtn2(NrgState& state, std::span<const uint8_t> data) {
    return ParseEtnEntries(state, data, true);
}

int ParseNrgDao(NrgState& state, std::span<const uint8_t> data, bool wide) {
    size_t entryBytes = wide ? nrg::kDaoxEntryBytes : nrg::kDaoiEntryBytes;
    if (!state.daoEntries.empty() || data.size() < nrg::kDaoHeaderBytes + entryBytes) return -1;
    foundation::ByteCursor cursor(data);
    uint8_t first = cursor.U8(nrg::kDaoHeaderBytes - 2);
    uint8_t last = cursor.U8(nrg::kDaoHeaderBytes - 1);
    if (first < 1 || last < first || last > kMaxTracks) return -1;
    size_t declared = size_t{last} - first + 1;
    size_t present = (data.size() - nrg::kDaoHeaderBytes) / entryBytes;
    if (present < declared) return -1;
    state.daoFirstTrack = first;
    state.daoDiscMode = cursor.U8(nrg::kDaoDiscModeOffset);
    for (size_t i = 0; i < declared; ++i) {
        auto entry = cursor.Sub(nrg::kDaoHeaderBytes + i * entryBytes, entryBytes);
        if (!entry) return -1;
        NrgState::DaoEntry e;
        e.sectorSize = entry->Be16(nrg::kDaoEntrySizeOffset);
        e.mode = entry->U8(nrg::kDaoEntryModeOffset);
        size_t at = nrg::kDaoEntryIndex0Offset;
        if (wide) {
            e.index0 = entry->Be64(at);
            e.index1 = entry->Be64(at + 8);
            e.end = entry->Be64(at + 16);
        } else {
            e.index0 = entry->Be32(at);
            e.index1 = entry->Be32(at + 4);
            e.end = entry->Be32(at + 8);
        }
        state.daoEntries.push_back(e);
    }
    return 0;
}

void AddNrgTrack(NrgState& state, const NrgTrackRecord& record) {
    if (state.tracks.size() >= static_cast<size_t>(kMaxTracks)) {
        state.layoutError = true;
        return;
    }
    state.endSector = std::max(state.endSector, record.startSector + record.count);
    state.tracks.push_back(record);
}

void WalkNrgChunks(NrgState& state) {
    foundation::ByteCursor block(state.chunkBlock);
    size_t pos = 0;
    bool dao = false;
    bool etn = false;
    // The block holds at most 512 chunk headers, so the walk always ends.
    while (block.Size() - pos >= nrg::kChunkHeaderBytes) {
        uint32_t id = block.Be32(pos);
        uint64_t length = block.Be32(pos + 4);
        if (id == kIdEnd) break;
        // A chunk must fit the block: a length running past it is damage.
        auto data = block.Span(pos + nrg::kChunkHeaderBytes, length);
        if (!data) break;
        int result = 0;
        switch (id) {
        case kIdCues: result = ParseNrgCues(state, *data); break;
        case kIdCuex: result = ParseNrgCuex(state, *data); break;
        case kIdDaoi: result = ParseNrgDao(state, *data, false); dao = dao || result == 0; break;
        case kIdDaox: result = ParseNrgDao(state, *data, true); dao = dao || result == 0; break;
        case kIdEtnf: result = ParseNrgEtnf(state, *data); etn = etn || result == 0; break;
        case kIdEtn2: result = ParseNrgEtn2(state, *data); etn = etn || result == 0; break;
        case kIdSinf:
        case kIdMtyp: break;
        default: break;
        }
        if (result != 0 && (id == kIdDaoi || id == kIdDaox || id == kIdEtnf || id == kIdEtn2)) {
            state.layoutError = true;
        }
        pos += nrg::kChunkHeaderBytes + static_cast<size_t>(length);
    }
    if (dao && !etn) BuildDaoRecords(state);

    // Every track's sectors lie before the chunk block.
    for (const NrgTrackRecord& record : state.tracks) {
        uint64_t bytes = uint64_t(record.count) * static_cast<uint64_t>(record.storedSize);
        uint64_t offset = static_cast<uint64_t>(record.fileOffset);
        if (offset > state.chunkBlockOffset || bytes > state.chunkBlockOffset - offset) state.layoutError = true;
    }
}

TrackListPtr BuildNrgTrackList(const NrgState& state, const std::u16string& imagePath, int32_t& formatCode,
                               bool& mixed) {
    formatCode = format_code::kUnknown;
    mixed = false;
    if (state.tracks.empty() || state.layoutError) return nullptr;
    bool audio = false;
    bool data = false;
    for (const NrgTrackRecord& record : state.tracks) {
        if (record.kind == NrgTrackKind::Audio) audio = true;
        else data = true;
    }
    if (!audio) {
        // One data track is read as an image of 2048-byte sectors; several data
        // tracks without audio are not read.
        if (state.tracks.size() == 1) formatCode = format_code::kNrg;
        return nullptr;
    }

    TrackListPtr list = NewTrackList();
    list->firstTrackNumber = 1;
    list->sessionCount = 1;
    list->imageSectorSize = 2352;
    list->firstFilePath = imagePath;
    list->sheetPath = imagePath;
    for (size_t i = 0; i < state.tracks.size(); ++i) {
        const NrgTrackRecord& record = state.tracks[i];
        TrackEntry& track = list->tracks[i];
        switch (record.kind) {
        case NrgTrackKind::Audio: track.mode = track_mode::kAudio; break;
        case NrgTrackKind::Data: track.mode = record.storedSize == 2048 ? track_mode::kNrgData : track_mode::kMode1Raw; break;
        case NrgTrackKind::Mode1: track.mode = track_mode::kMode1Raw; break;
        case NrgTrackKind::Mode2:
            track.mode = record.storedSize == 2048 ? track_mode::kMode2Form1
                         : record.storedSize == 2336 ? track_mode::kMode2
                                                     : track_mode::kMode2Raw;
            break;
        }
        track.sectorSize = record.storedSize;
        track.startSector = record.startSector;
        track.length = record.count;
        track.pregap = record.pregapInFile;
        track.pregapInFile = record.pregapInFile;
        track.dataOffset = record.fileOffset;
        track.endOffset = record.fileOffset + int64_t{record.count} * record.storedSize;
        track.sourceSize = track.endOffset;
        track.fileName = imagePath;
        ++list->trackCount;
    }
    const TrackEntry& last = list->tracks[static_cast<size_t>(list->trackCount - 1)];
    list->tracks[static_cast<size_t>(list->trackCount)].startSector = last.startSector + last.length;
    if (data) {
        formatCode = format_code::kNrg;
        mixed = true;
    } else {
        formatCode = format_code::kAudioCd;
    }
    return list;
}

bool LoadNrgImage(platform::FileHandle file, const std::u16string& imagePath, NrgImage& image) {
    image = NrgImage{};
    NrgStatePtr state = ReadNrgFooter(file);
    if (!state) return false;
    WalkNrgChunks(*state);
    int32_t formatCode = format_code::kUnknown;
    bool mixed = false;
    TrackListPtr list = BuildNrgTrackList(*state, imagePath, formatCode, mixed);
    if (formatCode == format_code::kUnknown) return false;
    image.state = std::move(state);
    image.list = std::move(list);
    image.formatCode = formatCode;
    image.mixed = mixed;
    return true;
}

int32_t ReadNrgSector(const NrgState& state, platform::FileHandle file, int32_t sector, uint8_t* buffer) {
    // Data are read from the first data track (an enhanced CD has its audio first).
    const NrgTrackRecord* record = nullptr;
    for (const NrgTrackRecord& r : state.tracks) {
        if (r.kind != NrgTrackKind::Audio) {
            record = &r;
            break;
        }
    }
    if (!record || sector < 0 || sector >= state.endSector) return -1;
    if (sector < record->startSector || sector - record->startSector >= record->count) return -1;
    uint64_t offset = static_cast<uint64_t>(record->fileOffset) +
                      uint64_t(sector - record->startSector) * static_cast<uint64_t>(record->storedSize) +
                      static_cast<uint64_t>(record->userOffset);
    if (platform::FileReadAt(file, offset, buffer, 2048) != 2048) return -1;
    return 2048;
}

int32_t ReadNrgSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    NrgState* state = ctx.nrgState.get();
    if (!state || !ctx.imageHandle || !buffer) return 0;
    int32_t done = 0;
    for (; done < count; ++done) {
        if (ReadNrgSector(*state, ctx.imageHandle.get(), first + done, buffer + size_t(done) * 2048) < 0) break;
    }
    return done;
}

int OpenNrgImageReader(ImageContext& ctx) {
    auto fail = [&] {
        ctx.nrgState.Reset();
        ctx.nrgSource = false;
        ctx.formatCode = format_code::kUnknown;
        return -1;
    };
    if (!ctx.imageHandle) return fail();
    NrgImage image;
    if (!LoadNrgImage(ctx.imageHandle.get(), ctx.imagePath, image)) return fail();
    ctx.nrgState.Attach(image.state.release(), FreeNrgState);
    ctx.nrgSource = true;
    if (image.list) {
        FreeTrackList(ctx.trackList);
        ctx.trackList = image.list.release();
        ctx.sectorSize = 2352;
        ctx.dataOffset = 0;
    }
    if (image.formatCode == format_code::kAudioCd) {
        ctx.formatCode = format_code::kAudioCd;
        ctx.ripFlag = 1;
        ctx.userDataOffset = 0;
        ctx.endSector = GetTrackListEndSector(ctx.trackList);
        return 0;
    }
    ctx.mixedTracks = image.mixed;
    ctx.formatCode = format_code::kNrg;
    ctx.sectorSize = 2048;
    ctx.userDataOffset = 0;
    ctx.dataOffset = 0;
    if (ProbeFileSystem(ctx, format_code::kNrg) == 0) {
        ctx.endSector = ctx.volumeSpaceSize;
        return 0;
    }
    FreeTrackList(ctx.trackList);
    ctx.trackList = nullptr;
    ctx.mixedTracks = false;
    return fail();
}

}  // namespace image
