#include "image/sectors/raw_sectors.h"

#include <cstring>

#include "foundation/byte_order.h"
#include "image/sectors/edc_ecc.h"

namespace image {
namespace {

constexpr uint8_t kSync[kSyncSize] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// +12 minute, +13 second, +14 frame (BCD), +15 mode
constexpr size_t kHeaderOffset = 12;
constexpr size_t kModeOffset = 15;
constexpr size_t kSubheaderOffset = 16;   // file, channel, sub-mode, coding; then again
constexpr size_t kMode1EdcOffset = 2064;
constexpr size_t kMode1ZeroOffset = 2068; // 8 reserved zero bytes
constexpr size_t kForm1EdcOffset = 2072;
constexpr size_t kForm2EdcOffset = 2348;

struct SubmodeFlag {
    int32_t sector;
    uint8_t bits;
};

struct SubmodeFlagList {
    SubmodeFlag pairs[kSubmodeFlagCapacity];
    size_t count = 0;
};

thread_local SubmodeFlagList tSubmodeFlags;

uint8_t SubmodeFlagsFor(int32_t sector) {
    uint8_t bits = 0;
    for (size_t i = 0; i < tSubmodeFlags.count; ++i)
        if (tSubmodeFlags.pairs[i].sector == sector) bits |= tSubmodeFlags.pairs[i].bits;
    return bits;
}

void WriteSyncAndHeader(int32_t sector, uint8_t mode, uint8_t* out) {
    std::memcpy(out, kSync, kSyncSize);
    const Msf msf = LbaToMsf(sector);
    out[kHeaderOffset] = BinToBcd(msf.minute);
    out[kHeaderOffset + 1] = BinToBcd(msf.second);
    out[kHeaderOffset + 2] = BinToBcd(msf.frame);
    out[kModeOffset] = mode;
}

void CopyData(uint8_t* out, size_t offset, const uint8_t* data, size_t size) {
    if (data != nullptr) std::memcpy(out + offset, data, size);
}

// EDC and parity of a Form 1 sector whose sub-header and data are in place;
// the parity is taken with a zero header, which is filled in afterwards.
void FinishForm1(int32_t sector, uint8_t* out) {
    foundation::WriteLE32(out + kForm1EdcOffset, ComputeEdc(out + kSubheaderOffset, kForm1EdcOffset - kSubheaderOffset));
    std::memset(out + kHeaderOffset, 0, 4);
    ComputeEcc(out);
    WriteSyncAndHeader(sector, 2, out);
}

void FinishMode1(uint8_t* out) {
    foundation::WriteLE32(out + kMode1EdcOffset, ComputeEdc(out, kMode1EdcOffset));
    std::memset(out + kMode1ZeroOffset, 0, 8);
    ComputeEcc(out);
}

void FinishForm2(uint8_t* out) {
    foundation::WriteLE32(out + kForm2EdcOffset, ComputeEdc(out + kSubheaderOffset, kForm2EdcOffset - kSubheaderOffset));
}

bool IsBcd(uint8_t b) { return (b & 0x0F) <= 9 && (b >> 4) <= 9; }

uint8_t BcdToBin(uint8_t b) { return uint8_t((b >> 4) * 10 + (b & 0x0F)); }

}  // namespace

uint8_t BinToBcd(uint32_t n) {
    // Addresses past 99:59:74 do not exist on a disc; wrap the minutes rather
    // than store a byte that is no BCD digit pair.
    n %= 100;
    return uint8_t(n + (n / 10) * 6);
}

Msf LbaToMsf(int32_t sector) {
    const int64_t t = sector >= -150 ? int64_t(sector) + 150 : int64_t(sector) + 450150;
    const uint64_t u = t < 0 ? 0 : uint64_t(t);
    Msf msf;
    msf.minute = uint8_t((u / 4500) % 256);
    msf.second = uint8_t((u % 4500) / 75);
    msf.frame = uint8_t(u % 75);
    return msf;
}

bool BcdMsfToLba(const uint8_t* header3, int32_t& sector) {
    if (!IsBcd(header3[0]) || !IsBcd(header3[1]) || !IsBcd(header3[2])) return false;
    const int32_t m = BcdToBin(header3[0]);
    const int32_t s = BcdToBin(header3[1]);
    const int32_t f = BcdToBin(header3[2]);
    if (s >= 60 || f >= 75) return false;
    const int32_t t = m * 4500 + s * 75 + f;
    // 90 minutes and above are lead-in addresses, the negative sectors.
    sector = m >= 90 ? t - 450150 : t - 150;
    return true;
}

void AddSubmodeFlag(int32_t sector, uint8_t flagBits) {
    if (tSubmodeFlags.count >= kSubmodeFlagCapacity) return;
    tSubmodeFlags.pairs[tSubmodeFlags.count++] = SubmodeFlag{sector, flagBits};
}

void ClearSubmodeFlags() { tSubmodeFlags.count = 0; }

void MakeMode1Sector(int32_t sector, const uint8_t* data, uint8_t* out) {
    CopyData(out, kMode1DataOffset, data, kUserDataSize);
    WriteSyncAndHeader(sector, 1, out);
    FinishMode1(out);
}

void MakeMode2Form1Sector(int32_t sector, const uint8_t* data, uint8_t* out) {
    std::memcpy(out, kSync, kSyncSize);
    const uint8_t submode = uint8_t(kSubmodeData | SubmodeFlagsFor(sector));
    const uint8_t sub[4] = {0, 0, submode, 0};
    std::memcpy(out + kSubheaderOffset, sub, 4);
    std::memcpy(out + kSubheaderOffset + 4, sub, 4);
    CopyData(out, kMode2Form1DataOffset, data, kUserDataSize);
    FinishForm1(sector, out);
}

void MakeMode2Form2Sector(int32_t sector, uint8_t file, uint8_t channel, uint8_t submode,
                          uint8_t coding, const uint8_t* data, uint8_t* out) {
    WriteSyncAndHeader(sector, 2, out);
    const uint8_t sub[4] = {file, channel, submode, coding};
    std::memcpy(out + kSubheaderOffset, sub, 4);
    std::memcpy(out + kSubheaderOffset + 4, sub, 4);
    CopyData(out, kMode2Form1DataOffset, data, kForm2DataSize);
    FinishForm2(out);
}

void MakeMode2Sector(int32_t sector, const uint8_t* data, uint8_t* out) {
    CopyData(out, kMode1DataOffset, data, kMode2DataSize);
    WriteSyncAndHeader(sector, 2, out);
}

size_t CopyUserData(const uint8_t* raw, uint8_t* destination, size_t count, size_t stride,
                    size_t offset) {
    for (size_t i = 0; i < count; ++i)
        std::memcpy(destination + i * kUserDataSize, raw + i * stride + offset, kUserDataSize);
    return count * kUserDataSize;
}

RawSectorCheck CheckRawSector(const uint8_t* sector, RawSectorInfo* info) {
    RawSectorInfo local;
    RawSectorInfo& out = info != nullptr ? *info : local;
    out = RawSectorInfo{};
    if (std::memcmp(sector, kSync, kSyncSize) != 0) return RawSectorCheck::BadSync;
    if (!BcdMsfToLba(sector + kHeaderOffset, out.address)) return RawSectorCheck::BadHeader;
    switch (sector[kModeOffset]) {
        case 0:
            out.kind = RawSectorKind::Mode0;
            return RawSectorCheck::Ok;
        case 1:
            out.kind = RawSectorKind::Mode1;
            out.hasEdc = true;
            if (foundation::ReadLE32(sector + kMode1EdcOffset) != ComputeEdc(sector, kMode1EdcOffset))
                return RawSectorCheck::BadEdc;
            return CheckEcc(sector) ? RawSectorCheck::Ok : RawSectorCheck::BadEcc;
        case 2:
            break;
        default:
            return RawSectorCheck::BadHeader;
    }
    if (std::memcmp(sector + kSubheaderOffset, sector + kSubheaderOffset + 4, 4) != 0)
        return RawSectorCheck::BadSubheader;
    if (sector[kSubheaderOffset + 2] & kSubmodeForm2) {
        out.kind = RawSectorKind::Mode2Form2;
        const uint32_t stored = foundation::ReadLE32(sector + kForm2EdcOffset);
        out.hasEdc = stored != 0;
        if (out.hasEdc &&
            stored != ComputeEdc(sector + kSubheaderOffset, kForm2EdcOffset - kSubheaderOffset))
            return RawSectorCheck::BadEdc;
        return RawSectorCheck::Ok;
    }
    out.kind = RawSectorKind::Mode2Form1;
    out.hasEdc = true;
    if (foundation::ReadLE32(sector + kForm1EdcOffset) !=
        ComputeEdc(sector + kSubheaderOffset, kForm1EdcOffset - kSubheaderOffset))
        return RawSectorCheck::BadEdc;
    uint8_t copy[kRawSectorSize];
    std::memcpy(copy, sector, kRawSectorSize);
    std::memset(copy + kHeaderOffset, 0, 4);
    return CheckEcc(copy) ? RawSectorCheck::Ok : RawSectorCheck::BadEcc;
}

void RebuildRawSector(int32_t sector, uint8_t* raw) {
    switch (raw[kModeOffset]) {
        case 1:
            WriteSyncAndHeader(sector, 1, raw);
            FinishMode1(raw);
            return;
        case 2:
            // The sub-header stays as stored: it tells the form and carries the
            // producer's file, channel and sub-mode.
            if (raw[kSubheaderOffset + 2] & kSubmodeForm2) {
                WriteSyncAndHeader(sector, 2, raw);
                FinishForm2(raw);
            } else {
                std::memcpy(raw, kSync, kSyncSize);
                FinishForm1(sector, raw);
            }
            return;
        default:
            return;
    }
}

}  // namespace image
