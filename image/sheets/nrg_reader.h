#pragma once
// NRG images (Nero): the disc's sectors first, then a block of chunks that
// describes the tracks, found through a footer at the very end of the file.
// All numbers in the chunks are big-endian.
//
//   footer, first version:  ... "NERO" offset32            (last 8 of 12 bytes)
//   footer, second version: "NER5" offset64                (last 12 bytes)
//   chunk:                  id (4 bytes), length n (4 bytes), n bytes
//
// Track layouts come from DAOI/DAOX (disc-at-once: per track the sector size,
// mode and the file offsets of INDEX 00, INDEX 01 and the track's end) or from
// ETNF/ETN2 (track-at-once: per track file offset, byte length, mode, start
// sector). CUES/CUEX give the INDEX points on the disc. Images with several
// data tracks and no audio track, and chunk blocks over 4096 bytes, are not
// read.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"

namespace image {

struct ImageContext;

namespace nrg {
constexpr size_t kFooterBytes = 12;
constexpr uint64_t kMaxChunkBlockBytes = 4096;
constexpr size_t kChunkHeaderBytes = 8;
constexpr size_t kCueEntryBytes = 8;       // control/ADR, track, index, 0, address
constexpr size_t kEtnfEntryBytes = 20;     // offset32, length32, mode32, start32, 4 more
constexpr size_t kEtn2EntryBytes = 32;     // offset64, length64, mode32, start32, 8 more
constexpr size_t kDaoHeaderBytes = 22;     // length, catalog (13), 3 bytes, first track, last track
constexpr size_t kDaoDiscModeOffset = 18;  // in the DAO data: 2 = Mode 2 Form 1 disc
constexpr size_t kDaoiEntryBytes = 30;     // ISRC (12), size16, mode, 3 bytes, index0/1 and end as 32 bits
constexpr size_t kDaoxEntryBytes = 42;     // the same with 64-bit offsets
constexpr size_t kDaoEntrySizeOffset = 12;
constexpr size_t kDaoEntryModeOffset = 14;
constexpr size_t kDaoEntryIndex0Offset = 18;
}  // namespace nrg

enum class NrgTrackKind : uint8_t { Audio = 0, Mode1 = 1, Mode2 = 2, Data = 3 };

struct NrgTrackRecord {
    NrgTrackKind kind = NrgTrackKind::Data;
    bool form2 = false;          // 2336-byte Mode 2 sectors: the user data follow the 8-byte sub-header
    int32_t storedSize = 0;      // bytes per sector in the file
    int32_t userSize = 0;        // 2048, or 2352 for audio
    int32_t userOffset = 0;      // where the user bytes start in a stored sector
    int32_t tailSize = 0;        // stored bytes after the user bytes
    int64_t fileOffset = 0;      // file offset of the track's INDEX 01
    int32_t count = 0;           // sectors from INDEX 01 to the end of the track
    int32_t startSector = 0;     // disc sector of INDEX 01
    int32_t pregapInFile = 0;    // INDEX 00 .. INDEX 01 sectors held in the file before fileOffset
};

struct NrgState {
    int32_t version = 0;                 // 1 "NERO", 2 "NER5"
    uint64_t chunkBlockOffset = 0;       // where the chunks start; every track ends before it
    std::vector<uint8_t> chunkBlock;
    int32_t endSector = 0;               // highest start + count of any record
    std::vector<NrgTrackRecord> tracks;

    // What the chunks said, combined into records once the walk is done.
    struct CuePoint {
        bool index0Seen = false, index1Seen = false;
        int32_t index0 = 0, index1 = 0;  // disc sectors
    };
    std::array<CuePoint, kTrackSlots> cuePoints{};
    struct DaoEntry {
        int32_t sectorSize = 0;
        uint8_t mode = 0;
        uint64_t index0 = 0, index1 = 0, end = 0;   // file offsets
    };
    std::vector<DaoEntry> daoEntries;
    uint8_t daoFirstTrack = 0;
    uint8_t daoDiscMode = 0;
    bool layoutError = false;            // a DAO or ETN chunk that could not be taken
};

using NrgStatePtr = std::unique_ptr<NrgState>;
// Frees a state given up by its NrgStatePtr (the document's slot holds it so).
void FreeNrgState(NrgState* state);

// The footer and the chunk block (1..4096 bytes from its offset to the end of
// the file); null when the file is no NRG image or cannot be read.
NrgStatePtr ReadNrgFooter(platform::FileHandle file);

// Chunk parsers: 0 taken, -1 refused (the walk goes on either way).
int ParseNrgCues(NrgState& state, std::span<const uint8_t> data);
int ParseNrgCuex(NrgState& state, std::span<const uint8_t> data);
int ParseNrgEtnf(NrgState& state, std::span<const uint8_t> data);
int ParseNrgEtn2(NrgState& state, std::span<const uint8_t> data);
int ParseNrgDao(NrgState& state, std::span<const uint8_t> data, bool wide);
// Appends a record (at most 99) and raises the end sector.
void AddNrgTrack(NrgState& state, const NrgTrackRecord& record);
// Walks the chunk block, then turns the DAO or ETN entries into records.
void WalkNrgChunks(NrgState& state);

// The track list of the records: format 100 (audio CD) for audio tracks only,
// format 3 with mixed set for data and audio; a single data track gives format
// 3 and no list. formatCode -1 (and no list) when the image cannot be read.
TrackListPtr BuildNrgTrackList(const NrgState& state, const std::u16string& imagePath, int32_t& formatCode,
                               bool& mixed);

struct NrgImage {
    NrgStatePtr state;
    TrackListPtr list;
    int32_t formatCode = format_code::kUnknown;
    bool mixed = false;
};
// Footer, chunks and track list of an open NRG file; false when it is none.
bool LoadNrgImage(platform::FileHandle file, const std::u16string& imagePath, NrgImage& image);

// One 2048-byte user sector of the first data track: 2048, or -1 outside the
// track or on a read failure.
int32_t ReadNrgSector(const NrgState& state, platform::FileHandle file, int32_t sector, uint8_t* buffer);
// Sectors read into consecutive 2048-byte slots, stopping at the first failure.
int32_t ReadNrgSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);

// Opens the document's image file as NRG: 0 with format 100 (audio CD) or 3
// (data, file system probed), -1 (format -1) otherwise.
int OpenNrgImageReader(ImageContext& ctx);

}  // namespace image
