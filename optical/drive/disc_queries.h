#pragma once
// What the program asks a drive before reading or writing: the medium in it,
// what the drive can read and write, whether raw reads work, the disc's
// layout as a track list, and the capacity by medium. Every count and length a
// drive reports is checked against the bytes it sent and against the 99
// tracks a disc can hold before it is used.

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace image {
struct TrackList;
}

namespace optical {

// Medium type codes (from the current profile, refined by ATIP, features and
// the disc structures).
namespace media {
constexpr uint8_t kNoDisc = 0;
constexpr uint8_t kCdRom = 1;
constexpr uint8_t kCdR = 2;
constexpr uint8_t kCdRw = 3;
constexpr uint8_t kDvdRom = 16;
constexpr uint8_t kDvdR = 17;
constexpr uint8_t kDvdRwSequential = 18;
constexpr uint8_t kDvdRwRestricted = 19;
constexpr uint8_t kDvdRam = 20;
constexpr uint8_t kDvdPlusR = 21;
constexpr uint8_t kDvdPlusRw = 22;
constexpr uint8_t kDvdRDl = 23;
constexpr uint8_t kDvdPlusRDl = 24;
constexpr uint8_t kDvdRwDl = 25;
constexpr uint8_t kDvdPlusRwDl = 26;
constexpr uint8_t kBdRom = 32;
constexpr uint8_t kBdR = 33;
constexpr uint8_t kBdRPow = 34;
constexpr uint8_t kBdRRandom = 35;
constexpr uint8_t kBdRDl = 36;
constexpr uint8_t kBdRDlPow = 37;
constexpr uint8_t kBdRDlRandom = 38;
constexpr uint8_t kBdRe = 39;
constexpr uint8_t kBdReDl = 40;
constexpr uint8_t kHdDvdRom = 48;
constexpr uint8_t kHdDvdR = 49;
constexpr uint8_t kHdDvdRam = 50;
constexpr uint8_t kUnknown = 255;
}  // namespace media

uint8_t GetDiscMediaType(platform::FileHandle h);
const char16_t* GetMediaTypeName(uint8_t code);

struct DriveCapabilities {
    char vendor[9] = {};
    char product[17] = {};
    char revision[5] = {};
    bool writer = false;
    bool cdRead = false, cdRRead = false, cdRWrite = false, cdRwRead = false, cdRwWrite = false;
    bool cdTextRead = false, c2Pointers = false;
    bool dvdRead = false;
    bool dvdPlusRwRead = false, dvdPlusRwWrite = false, dvdPlusRRead = false, dvdPlusRWrite = false;
    bool dvdPlusRwDlRead = false, dvdPlusRwDlWrite = false, dvdPlusRDlRead = false, dvdPlusRDlWrite = false;
    bool dvdRRead = false, dvdRWrite = false, dvdRDlRead = false, dvdRDlWrite = false;
    bool dvdRwRead = false, dvdRwWrite = false, dvdRamRead = false, dvdRamWrite = false;
    bool bdRead = false, bdRRead = false, bdRWrite = false, bdRDlRead = false, bdRDlWrite = false;
    bool bdReRead = false, bdReWrite = false, bdReDlRead = false, bdReDlWrite = false;
    bool hdDvdRead = false, hdDvdRRead = false, hdDvdRWrite = false, hdDvdRamRead = false, hdDvdRamWrite = false;
    bool css = false, cprm = false, aacs = false, vcps = false;
    std::string serialNumber;
    std::string firmwareDate;
};

// what: 1 INQUIRY, 2 mode page 0x2A and the configuration. A failed INQUIRY
// fails unless tolerated.
bool GetDriveCapabilities(platform::FileHandle h, DriveCapabilities& record, int what, bool tolerate);
bool IsDriveWriter(platform::FileHandle h);
bool CanReadRaw(platform::FileHandle h, const image::TrackList* layout);

// Builds the disc's layout; false when none could be built (the reason is
// left in the last-error text for layouts abandoned for bad drive data).
bool ReadDiscLayout(platform::FileHandle h, image::TrackList& trackList, char16_t letter,
                    bool firstTrackOnly = false);
bool ReadDiscLayoutByLetter(char16_t letter, image::TrackList& trackList);
// The file system's size (ISO 9660 volume space) rounded up to the medium's
// ECC block, replacing a single track's longer length.
bool GetDataLengthFromVolume(platform::FileHandle h, uint8_t code, image::TrackList& trackList);
// written: 0 or 1.
bool GetMediaCapacity(platform::FileHandle h, uint8_t code, int written, uint32_t& total, uint32_t& nextWritable,
                      uint32_t& freeBlocks);

}  // namespace optical
