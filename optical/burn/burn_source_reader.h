#pragma once
// Reading a burn job's source sector by sector number: the read-ahead thread
// fills its ring with it, and the verify pass reads the same sectors again to
// compare them with the disc. One reader per pass; not shared across threads.

#include <cstdint>
#include <vector>

namespace image {
struct TrackList;
}

namespace optical {

struct BurnJob;

enum class ReadErrorSource : int { None = 0, SourceDisc = 1, TemporaryFile = 2 };

struct BurnSourceReader {
    BurnJob* job = nullptr;
    int32_t sectorSize = 2048;      // what the reader hands out
    bool discCopy = false;
    bool fromDrive = false;         // a disc copy that reads the source drive itself
    int32_t readSize = 2048;        // what a disc copy reads from its source
    std::vector<uint8_t> staging;   // 64 sectors of the read size
    // The run of failing sectors being reported, and the row that shows it.
    ReadErrorSource runSource = ReadErrorSource::None;
    int64_t runFirst = -1;
    int64_t runLast = -1;
    uint64_t runRow = 0;
    bool playerStopped = false;     // the audio player has let go of the decoder
};

// Sets up a reader for the job's source. A disc copy whose source gives
// 2048-byte sectors into 2352-byte frames marks its data tracks as Mode 2
// here, before any frame is built or any cue sheet sent.
void InitBurnSourceReader(BurnSourceReader& reader, BurnJob& job, int32_t sectorSize);

// count sectors from sector of the track at position `track` (0 for a
// whole-image range) into out (count x sector size bytes). Sectors before 0
// are zero frames; image sectors past the job's end stay zero. 1 read (in a
// disc copy, unreadable sectors are zeros and reported), 0 failed.
int ReadBurnSource(BurnSourceReader& reader, int32_t track, int64_t sector, uint32_t count, uint8_t* out);

// Opens the music decoder on the decoded track at position `track`. Before
// the first such track of a pass the audio player is stopped and waited for,
// as it shares the one decoder. 1 ready, 0 failed.
int OpenBurnMusicTrack(BurnSourceReader& reader, const image::TrackList& list, int32_t track);

// Reports one unreadable sector, merged into the run it continues.
void ReportSourceReadError(BurnSourceReader& reader, ReadErrorSource source, int64_t sector);

}  // namespace optical
