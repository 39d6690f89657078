#pragma once
// Raw 2352-byte CD sectors (ECMA-130 / the CD-ROM XA layout): sync, header
// with the address in BCD minute:second:frame, Mode 1, Mode 2 Form 1, Mode 2
// Form 2 and formless Mode 2, with their EDC and P/Q parity; and the checks
// that tell whether a stored raw sector is intact.
//
//   bytes     Mode 1          Mode 2 Form 1    Mode 2 Form 2    Mode 2 formless
//   0..11     sync: 00, ten FF, 00 in every mode
//   12..14    address: minute, second, frame, each BCD
//   15        mode 1          mode 2           mode 2           mode 2
//   16..23    user data       sub-header twice sub-header twice user data
//   data      16..2063        24..2071         24..2347         16..2351
//   EDC       2064 over 0..   2072 over 16..   2348 over 16..   none
//   parity    P 2076, Q 2248  P 2076, Q 2248   none             none

#include <cstddef>
#include <cstdint>

namespace image {

constexpr size_t kRawSectorSize = 2352;
constexpr size_t kUserDataSize = 2048;
constexpr size_t kForm2DataSize = 2324;
constexpr size_t kMode2DataSize = 2336;
constexpr size_t kSyncSize = 12;
constexpr size_t kMode1DataOffset = 16;
constexpr size_t kMode2Form1DataOffset = 24;   // also Form 2
constexpr int32_t kSectorsPerSecond = 75;

// Sub-mode bits of the XA sub-header.
constexpr uint8_t kSubmodeEndOfRecord = 0x01;
constexpr uint8_t kSubmodeVideo = 0x02;
constexpr uint8_t kSubmodeAudio = 0x04;
constexpr uint8_t kSubmodeData = 0x08;
constexpr uint8_t kSubmodeTrigger = 0x10;
constexpr uint8_t kSubmodeForm2 = 0x20;
constexpr uint8_t kSubmodeRealTime = 0x40;
constexpr uint8_t kSubmodeEndOfFile = 0x80;

struct Msf {
    uint8_t minute = 0;
    uint8_t second = 0;
    uint8_t frame = 0;
};

// 0..99 -> BCD (n + (n / 10) * 6).
uint8_t BinToBcd(uint32_t n);
// Sector address: t = s + 150 for s >= -150, else s + 450150 (the lead-in
// addresses 90:00:00.. count back from 100 minutes); plain binary values.
Msf LbaToMsf(int32_t sector);
// Inverse of LbaToMsf for a BCD header; false when a byte is not BCD or out of range.
bool BcdMsfToLba(const uint8_t* header3, int32_t& sector);

// The sub-mode flags of sectors that end a file, filled by the composed-image
// reader just before it builds those sectors. Up to 30 pairs; further pairs are
// ignored. The list belongs to the building thread (each thread has its own), so
// a burn read-ahead and a save never see each other's flags.
constexpr size_t kSubmodeFlagCapacity = 30;
void AddSubmodeFlag(int32_t sector, uint8_t flagBits);
void ClearSubmodeFlags();

// Each builder writes a whole 2352-byte sector to `out`. `data` may be null when
// the user data is already in place in `out`; otherwise it may not overlap `out`.
void MakeMode1Sector(int32_t sector, const uint8_t* data, uint8_t* out);
// Sub-header: file 0, channel 0, sub-mode 0x08 OR the listed flags, coding 0.
// The parity is computed with the four header bytes zero (XA Form 1 rule).
void MakeMode2Form1Sector(int32_t sector, const uint8_t* data, uint8_t* out);
void MakeMode2Form2Sector(int32_t sector, uint8_t file, uint8_t channel, uint8_t submode,
                          uint8_t coding, const uint8_t* data, uint8_t* out);
void MakeMode2Sector(int32_t sector, const uint8_t* data, uint8_t* out);

// Copies 2048 bytes per sector from `raw`, starting at `offset` and stepping by
// `stride`; returns count * 2048.
size_t CopyUserData(const uint8_t* raw, uint8_t* destination, size_t count, size_t stride,
                    size_t offset);

enum class RawSectorKind { Unknown, Mode0, Mode1, Mode2Form1, Mode2Form2 };

enum class RawSectorCheck {
    Ok,
    BadSync,
    BadHeader,   // address not BCD, or unknown mode byte
    BadEdc,
    BadEcc,
    BadSubheader // the two copies of the XA sub-header differ
};

struct RawSectorInfo {
    RawSectorKind kind = RawSectorKind::Unknown;
    int32_t address = 0;  // from the header
    bool hasEdc = false;  // Form 2 may carry 0 in place of its optional EDC
};

// Checks sync, header, sub-header, EDC and parity of a stored 2352-byte sector.
// Mode 2 sectors are told apart by the Form 2 bit of the sub-header; a Form 2
// sector whose EDC field is zero counts as carrying no EDC (it is optional).
RawSectorCheck CheckRawSector(const uint8_t* sector, RawSectorInfo* info = nullptr);

// Rebuilds sync, header, EDC and parity of a stored sector in place from its
// mode byte (and, for Mode 2, its sub-header), numbering it `sector`. Sectors of
// an unknown mode are left alone.
void RebuildRawSector(int32_t sector, uint8_t* raw);

}  // namespace image
