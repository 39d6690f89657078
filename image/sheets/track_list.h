#pragma once
// The track model of optical images: up to 99 tracks with their mode, place on
// the disc, gaps, the file that holds their data, session, INDEX points and
// CD-TEXT. Filled by the CUE and MDS parsers, the NRG reader, the disc readers
// of the burn side and the audio CD builder; read by sector I/O, the file-system
// probe, Video CD, the CUE writer, the burn engine and the mount request.
//
// Every per-track value lives in one TrackEntry, so adding, removing or moving a
// track moves all of its values together. The CD-TEXT records are indexed by
// track number instead (0 = the disc, position + 1 = a track).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file_io.h"

namespace image {

constexpr int32_t kMaxTracks = 99;      // a CD has at most 99 tracks
constexpr int32_t kTrackSlots = 100;    // entries per track array (one past the last track fits)
constexpr int32_t kCdTextSlots = 18;    // 16 CD-TEXT pack types, then comment and year
constexpr int32_t kMaxIndexes = 100;    // INDEX 00..99

// Track mode byte. The numbers are shared with the format table, the burn engine
// and the mount descriptor, so they stay plain bytes.
namespace track_mode {
constexpr uint8_t kNone = 0;
constexpr uint8_t kAudio = 1;          // CD-DA, 2352-byte frames
constexpr uint8_t kMode1 = 2;          // Mode 1, 2048-byte sectors
constexpr uint8_t kMode1Raw = 3;       // Mode 1, 2352-byte raw sectors
constexpr uint8_t kMode2 = 4;          // Mode 2, 2336-byte sectors
constexpr uint8_t kMode2Form1 = 5;     // Mode 2 Form 1
constexpr uint8_t kMode2Form2 = 6;     // Mode 2 Form 2 (the audio CD lists use it for video tracks)
constexpr uint8_t kMode2Raw = 8;       // Mode 2, 2352-byte raw sectors
constexpr uint8_t kMode2Mixed = 32;    // Mode 2 as the disc readers report it (0x20)
constexpr uint8_t kNrgData = 153;      // a data track of an NRG image (0x99), read as Mode 1
}  // namespace track_mode

// FLAGS bits of a track (sub-channel Q control field).
namespace track_flag {
constexpr uint32_t kDcp = 1;     // digital copy permitted
constexpr uint32_t kFourChannel = 2;
constexpr uint32_t kPreEmphasis = 4;
constexpr uint32_t kScms = 8;    // serial copy management
}  // namespace track_flag

// CD-TEXT slot numbers (slot k holds pack type 0x80 + k for k < 16).
namespace cdtext_slot {
constexpr int kTitle = 0;
constexpr int kPerformer = 1;
constexpr int kSongwriter = 2;
constexpr int kComposer = 3;
constexpr int kArranger = 4;
constexpr int kMessage = 5;
constexpr int kDiscId = 6;
constexpr int kGenre = 7;
constexpr int kUpcIsrc = 14;     // CATALOG (disc) or ISRC (track)
constexpr int kSizeInfo = 15;
constexpr int kComment = 16;     // not CD-TEXT: kept for the audio tag writers
constexpr int kYear = 17;        // not CD-TEXT: kept for the audio tag writers
}  // namespace cdtext_slot

struct TrackDetail {
    uint32_t flags = 0;                          // track_flag bits from FLAGS
    int32_t lastIndex = 0;                       // highest INDEX seen (1 once INDEX 00 or 02+ was seen)
    // Entry 0: INDEX 00 relative to INDEX 01 (zero or negative); entry n >= 2:
    // INDEX n relative to INDEX 01; in sectors. While INDEX 00 waits for its
    // INDEX 01, entry 0 holds its absolute position in the file.
    std::array<int32_t, kMaxIndexes> indexOffsets{};
    std::array<std::u16string, kCdTextSlots> texts;   // empty = none
    std::array<std::string, kCdTextSlots> ansiTexts;  // ANSI code-page copies of texts
};

// MPEG stream information of a Video CD track; defined by the Video CD code.
struct MpegInfo;

using TrackFileHandle = foundation::UniqueFile;

struct TrackEntry {
    uint8_t mode = track_mode::kNone;
    int32_t startSector = 0;        // disc sector of INDEX 01 (the entry after the last track: end sector)
    int32_t pregap = 0;             // sectors before INDEX 01 (PREGAP plus the INDEX 00 stretch)
    int32_t pregapInFile = 0;       // part of the pregap whose sectors the track's file holds
    int32_t postgap = 0;            // POSTGAP sectors after the track
    int32_t storedPostgap = 0;      // part of the postgap already held in the file ("file tail")
    int32_t length = 0;             // sectors from INDEX 01 to the end of the track's data
    int32_t pauseFrames = 0;        // pause shown for the track by the audio views
    int32_t gapFrames = 0;          // gap shown for the track by the audio views
    int64_t endOffset = 0;          // byte size of the track's file (CUE), end of the track in the image (MDS, NRG)
    int64_t dataOffset = 0;         // byte offset of INDEX 01 in the track's file
    int64_t readPosition = 0;       // read position of the audio builder, initialised with fileDataOffset
    int64_t sourceSize = 0;         // bytes of the source (decoded byte count for decoded music files)
    int32_t sectorSize = 0;         // bytes per sector in the file: 2352, 2048, 2336 or the MDS value
    int32_t audioSourceKind = 0;    // 0 read from the file at the data offset, 1 through the music decoder
    std::u16string fileName;        // full path of the file holding the track
    TrackFileHandle fileHandle;     // open only for tracks whose file differs from the first file
    int64_t fileDataOffset = 0;     // audio data inside the file (after a WAV header); 0 for BINARY
    uint32_t flags = 0;             // bit 0: added music file
    int32_t session = 0;            // 0-based
    int32_t index01Position = 0;    // INDEX 01 in sectors from the start of the track's file
    int32_t spareWord = 0;          // the audio builder's own per-track word
    std::array<uint8_t, 2312> videoCdBlock{};   // per-track block of the Video CD builder
    std::shared_ptr<MpegInfo> mpegInfo;         // Video CD stream information, when known
    int32_t iconIndexPlusOne = 0;   // display record: icon index + 1 (0 = not loaded)
    std::u16string displayName;     // display record: name shown in the track views
};

struct TrackList {
    int32_t trackCount = 0;         // 0..99
    int32_t firstTrackNumber = 0;   // 1 for CUE sheets and new audio CDs; MDS leaves it 0
    int64_t pregapByteTotal = 0;    // running sum of pregap sectors x 2352 (MDS only)
    std::array<TrackEntry, kTrackSlots> tracks;
    std::u16string firstFilePath;   // the sheet's first FILE (the image file)
    std::u16string sheetPath;       // the CUE or MDS file
    int32_t sessionCount = 0;       // REM SESSION lines counted (0 without), 1 for a disc list
    int32_t imageSectorSize = 0;    // 2048 when every track has 2048-byte sectors, else 2352
    std::vector<uint8_t> cdTextFile;            // contents of a CDTEXTFILE
    std::array<std::unique_ptr<TrackDetail>, kTrackSlots> details;   // 0 = disc, n = track n
    std::vector<uint8_t> rwSubchannel;          // CD-TEXT packs as R-W subchannel data for the lead-in

    // Read by the open, the burn side and the views.
    int32_t selectedTrack = -1;     // track chosen by the user (-1 none)
    int32_t playingTrack = -1;      // track the player is on (-1 none)
    bool cookedReadsOnly = false;   // the source drive is read in 2048-byte sectors
    bool sourceIsVirtualDrive = false;
    uint8_t discKind = 0;           // disc type from the drive (1..15: a CD with raw sectors)
    uint8_t discStatus = 0;         // disc status from READ DISC INFORMATION (2 complete)
    uint8_t lastSessionState = 0;
    int32_t mediaCode = 0;          // medium type code reported by the drive

    TrackList() = default;
    TrackList(const TrackList&) = delete;
    TrackList& operator=(const TrackList&) = delete;
};

using TrackListPtr = std::unique_ptr<TrackList>;

// A new, empty list (everything zero, selected and playing track -1).
TrackListPtr NewTrackList();
// Frees names, handles, CD-TEXT records and blocks, and the list; null is accepted.
void FreeTrackList(TrackList* list);

// The CD-TEXT record of a track number 0..99 (0 = disc), made on first use;
// null outside 0..99.
TrackDetail* GetTrackCdText(int32_t track, TrackList* list);

// 1 when count is 1..99, start sectors rise strictly from track 1 on, and (when
// imagePath is given) the first file path equals it case-insensitively.
int IsValidTrackList(const TrackList* list, const std::u16string* imagePath);
// start + postgap + length of the last track; 0 for an empty or null list.
int32_t GetTrackListEndSector(const TrackList* list);
// 1 when the tracks from firstTrack on begin with audio tracks; from track 0 the
// count is cut to those leading audio tracks.
int TrimToAudioTracks(TrackList* list, int32_t firstTrack);
// 1 when audio and non-audio tracks both occur from firstTrack on.
int HasMixedTracks(const TrackList* list, int32_t firstTrack);
// Start sector; -1 when session >= session count or track >= count.
int32_t GetTrackStart(const TrackList* list, int32_t session, int32_t track);
int32_t FindTrackOfSession(const TrackList* list, int32_t session);
int32_t FindDataTrackOfSession(const TrackList* list, int32_t session);
int32_t GetSessionSectors(const TrackList* list, int32_t session);
int64_t GetSessionBytes(const TrackList* list, int32_t session);
// A copy with its own CD-TEXT records and blocks; track file names and handles cleared.
TrackListPtr CopyTrackList(const TrackList* list);
// One Mode 1 track (mode 2) from sector 0 of endSector sectors, one session.
TrackListPtr NewDiscTrackList(int32_t endSector);

// Tries the CUE parser, then the MDS parser; keeps the first list that passes
// IsValidTrackList. Null when neither gives one.
TrackListPtr OpenSheet(const std::u16string& sheetPath);
// "x.bin" -> "x.cue", "x.mdf" -> "x.mds" (the sheet's name compared without case
// in the image's folder); the sheet's path only when it parses into a valid list
// whose first file is the image. Empty when there is none.
std::u16string FindCompanionSheet(const std::u16string& imagePath);

}  // namespace image
