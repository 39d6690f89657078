#pragma once
// The cue sheet of a session-at-once CD recording and the plan it describes:
// where each track's first sector, INDEX 01 and end lie on the disc. The plan
// is built and checked once (1..99 tracks, known modes, contiguous and
// ascending, inside the disc) and both the cue sheet and the write loop are
// taken from it, so what is sent and what is written cannot disagree.

#include <cstdint>
#include <string>
#include <vector>

namespace image {
struct TrackList;
}

namespace optical {

// Location codes of the CD writers' failure messages.
namespace cd_code {
constexpr int kDataWrite = 118;
constexpr int kDataPregap = 152;
constexpr int kDataCueSheet = 153;
constexpr int kDataParameters = 154;
constexpr int kAudioParameters = 255;
constexpr int kAudioCueSheet = 263;
constexpr int kCopyLeadIn = 283;
constexpr int kAudioLeadIn = 295;
constexpr int kAudioPregap = 305;
constexpr int kCopyWrite = 330;
constexpr int kAudioWrite = 359;
}  // namespace cd_code

// Sheet modes: 1 audio, 2 Mode 1, 4 Mode 2.
struct CdTrackPlan {
    int number = 1;           // track number on the disc
    int listIndex = 0;        // position in the track list
    uint8_t mode = 1;
    int64_t first = 0;        // first sector the ring supplies (start - pregap)
    int64_t index1 = 0;
    int64_t end = 0;          // one past the trailing gap
    bool index0 = false;      // an INDEX 00 entry at `first`
};

struct CdSessionPlan {
    std::vector<CdTrackPlan> tracks;
    int64_t pregapStart = 0;  // the session's 150-sector pregap (its first cue time)
    int64_t leadOut = 0;
    bool xa = false;          // a Mode 2 track: session format 0x20
};

// The sheet mode of a track-list mode (audio 1; 2, 3, 0x99 Mode 1; 4..8 and
// 0x20 Mode 2); 0 for any other.
uint8_t CdSheetMode(uint8_t listMode);

// Plans tracks [first, last] of the list as one session whose pregap starts
// 150 sectors before `sessionStart`. False (with the reason) when the tracks
// are not 1..99, have an unknown mode or an empty data part, do not follow
// each other without holes, or begin outside the session's pregap.
bool PlanCdSession(const image::TrackList& list, int32_t first, int32_t last, int64_t sessionStart,
                   int firstNumber, CdSessionPlan& plan, std::string& why);

struct CdCueOptions {
    bool cdText = false;
    std::string catalog;                      // 13 digits, else not sent
    std::vector<std::string> isrc;            // per planned track; 12 of [A-Z0-9], else not sent
    bool audioCtl = true;                     // audio entries carry CTL 2 (copy permitted)
};

// The 8-byte entries of the plan: catalogue and ISRC pairs (with CD-TEXT),
// lead-in, one INDEX 00 before the first track, INDEX 00 of each later track
// with a pregap, INDEX 01 of every track, lead-out.
std::vector<uint8_t> BuildCdCueSheet(const CdSessionPlan& plan, const CdCueOptions& options);

// The four entries of one Mode 1 track of `sectors` (padding included) from `start`.
std::vector<uint8_t> BuildDataCueSheet(int64_t start, int64_t sectors, int trackNumber);

// True when text is a catalogue number (13 digits) / an ISRC (12 of [A-Z0-9]).
bool IsCatalogNumber(const std::string& text);
bool IsIsrc(const std::string& text);

}  // namespace optical
