// Placeholders until the writers are built: every writer refuses, so a burn
// fails with its message instead of claiming success.

#include "optical/burn/burn_log.h"
#include "optical/burn/burn_writers.h"

namespace optical {

namespace {
int NotBuilt() {
    BurnLogString(true, u"Burning failed");
    return 0;
}
}  // namespace

int SetCdWriteParameters(platform::FileHandle, bool, uint8_t, uint8_t, uint8_t, uint8_t) { return 0; }
int WriteCdTextLeadIn(platform::FileHandle, const image::TrackList&, int32_t) { return 0; }
int WriteDataCd(platform::FileHandle, ReadAheadBuffer*, int32_t, BurnJob&) { return NotBuilt(); }
int WriteAudioCd(platform::FileHandle, ReadAheadBuffer*, BurnJob&) { return NotBuilt(); }
int CopyCdSessions(platform::FileHandle, ReadAheadBuffer*, BurnJob&) { return NotBuilt(); }
int WriteCdImage(platform::FileHandle, ReadAheadBuffer*, BurnJob&) { return NotBuilt(); }
bool WriteDvdImage(platform::FileHandle, ReadAheadBuffer*, uint8_t, BurnJob&) { return NotBuilt() != 0; }
int PrepareDvdMedia(platform::FileHandle, uint8_t, ReadAheadBuffer*, BurnJob&) { return NotBuilt(); }
int WriteDvdData(platform::FileHandle, ReadAheadBuffer*, BurnJob&) { return NotBuilt(); }
int CloseDvdMedia(platform::FileHandle, uint8_t, ReadAheadBuffer*, BurnJob&) { return NotBuilt(); }
int SetDvdWriteParameters(platform::FileHandle, bool, bool, BurnJob&) { return 0; }
uint32_t GetFinalizeWaitSeconds(uint8_t, uint32_t) { return 600; }

}  // namespace optical
