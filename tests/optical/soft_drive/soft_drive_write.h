#pragma once
// The recording side of the software drive: what the medium is, what the host
// has set up for writing (write parameters page, cue sheet, reservation), where
// the next write must go, and what has been written in the open session.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace softdrive {

enum class MediumKind : uint8_t {
    ReadOnly,
    Cd,          // CD-R, CD-RW: session-at-once from a cue sheet
    Sequential,  // DVD-R, DVD-RW sequential, DVD+R, BD-R: incremental at the NWA
    Overwrite,   // DVD+RW, DVD-RW restricted overwrite, DVD-RAM, BD-RE once formatted
};

// The fields of mode page 05 the drive acts on.
struct WriteParameters {
    uint8_t writeType = 1;       // 0 packet, 1 TAO, 2 SAO/DAO, 3 raw
    bool testWrite = false;
    bool bufe = false;
    uint8_t multiSession = 0;    // 0 close the disc, 3 leave it open
    uint8_t trackMode = 4;
    bool fixedPackets = false;
    uint8_t dataBlockType = 8;
    uint8_t linkSize = 0;
    uint8_t sessionFormat = 0;
    uint32_t packetSize = 0;
};

// One entry of the cue sheet with its time as an LBA (absolute time - 150).
struct CueEntry {
    uint8_t ctlAdr = 0;
    uint8_t track = 0;
    uint8_t index = 0;
    uint8_t form = 0;
    int64_t lba = 0;
};

// A track the drive has recorded, as the export describes it.
struct RecordedTrack {
    int number = 0;
    int session = 1;
    uint8_t control = 4;
    uint8_t dataMode = 1;        // 0 audio, 1 Mode 1, 2 Mode 2
    int64_t index0 = -1;         // start of the INDEX 00 stretch; -1 none
    int64_t start = 0;           // INDEX 01
    int64_t end = 0;
    std::string isrc;
};

struct WriteState {
    MediumKind kind = MediumKind::ReadOnly;
    uint32_t eccBlock = 1;
    bool erasable = false;
    int fd = -1;
    uint32_t capacity = 0;       // blocks the medium holds (formatted size on overwritable media)
    bool formatted = false;
    WriteParameters page;

    // Session-at-once on CD.
    std::vector<CueEntry> cue;
    bool cueArmed = false;
    bool leadInPending = false;
    int64_t leadInNext = 0;
    int64_t saoFirst = 0;
    int64_t saoEnd = 0;          // the lead-out's LBA
    std::vector<uint8_t> leadInPacks;   // 18-byte packs as the lead-in carried them
    std::string mcn;
    std::vector<std::pair<uint8_t, std::string>> isrc;

    // Incremental recording on DVD and BD.
    int64_t next = 0;            // where the next write must go (CD: inside the cue sheet)
    int64_t trackStart = -1;     // first sector of the open track; -1 none written
    uint32_t reserved = 0;

    int64_t writtenEnd = 0;      // one past the highest sector written (overwritable media)
    int sessions = 0;            // sessions recorded
    int openSession = 0;         // session number of the tracks being recorded; 0 none yet
    std::vector<RecordedTrack> recorded;
    std::vector<std::pair<int64_t, int64_t>> writtenRanges;   // CD sectors held by the medium file
    std::vector<uint8_t> discPacks;    // the CD-TEXT block of the first session

    // The throttle: a drive buffer emptied at the write rate.
    double bufferLevel = 0;
    bool streaming = false;
    std::chrono::steady_clock::time_point lastDrain{};
    uint64_t underruns = 0;
};

// Checks a cue sheet against the disc; entries on success, else the reason.
bool ParseCueSheet(const uint8_t* data, uint32_t bytes, int firstTrack, int64_t nwa, int64_t freeBlocks,
                   WriteState& state, std::string& why);
// The packs of 96-byte R-W sub-channel units (each pack 24 six-bit symbols);
// false when a pack's CRC fails.
bool DecodeLeadInUnits(const uint8_t* units, uint32_t count, std::vector<uint8_t>& packs);
// The data form of the cue sheet at lba (the entry that covers it).
uint8_t CueFormAt(const WriteState& state, int64_t lba);
// Bytes the host sends per sector of a data form; 0 for a form the drive does not take.
uint32_t FormUnitBytes(uint8_t form);

}  // namespace softdrive
