#pragma once
// The writers of a burn job, one per kind of medium, called by the burn
// engine once the read-ahead buffer is filled. Each logs its own failures to
// the burn log, stops at the first failed preparation step, and returns 1 (or
// true) only when everything it wrote was written.

#include <cstdint>

#include "platform/file.h"

namespace image {
struct TrackList;
}

namespace optical {

struct BurnJob;
struct ReadAheadBuffer;

// --- CD (session at once, driven by a cue sheet) ---

// Mode page 5 for a CD write; 1 sent, 0 failed.
int SetCdWriteParameters(platform::FileHandle h, bool testWrite, uint8_t writeType, uint8_t multiSession,
                         uint8_t dataBlockType, uint8_t sessionFormat);
// The CD-TEXT packs of the track list repeated through the lead-in from
// leadInStart (a negative sector); 1 written, 0 failed.
int WriteCdTextLeadIn(platform::FileHandle h, const image::TrackList& trackList, int32_t leadInStart);
// One Mode 1 track of 2048-byte sectors up to endSector.
int WriteDataCd(platform::FileHandle h, ReadAheadBuffer* buffer, int32_t endSector, BurnJob& job);
// The 2352-byte job of the source's track list (audio, mixed, Video CD).
int WriteAudioCd(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job);
// A disc copy to CD: one session at once per session of the source disc.
int CopyCdSessions(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job);
// A CD job that is not a disc copy: blank check, speed, OPC, then the data or
// the audio writer by the buffer's sector size.
int WriteCdImage(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job);

// --- DVD, BD and HD DVD (2048-byte jobs in whole ECC blocks) ---

// The whole sequence: prepare, write, close.
bool WriteDvdImage(platform::FileHandle h, ReadAheadBuffer* buffer, uint8_t type, BurnJob& job);
int PrepareDvdMedia(platform::FileHandle h, uint8_t type, ReadAheadBuffer* buffer, BurnJob& job);
int WriteDvdData(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job);
int CloseDvdMedia(platform::FileHandle h, uint8_t type, ReadAheadBuffer* buffer, BurnJob& job);
int SetDvdWriteParameters(platform::FileHandle h, bool finalize, bool testWrite, BurnJob& job);
// Seconds to wait for the medium after the last write.
uint32_t GetFinalizeWaitSeconds(uint8_t type, uint32_t sectorsWritten);

}  // namespace optical
