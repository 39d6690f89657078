// Erase and blank check of the target medium.

#include "optical/burn/media_erase.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/settings.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/burn/system_awake.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/drive_speed.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/drive_clock.h"
#include "optical/scsi/scsi_command.h"

namespace optical {

namespace {

constexpr uint32_t kHeadSectors = 2048;   // a quick zero-write covers the volume structures
constexpr int kZeroWriteLocation = 1417;

struct EraseEstimate {
    uint32_t quickDefault, quickMinimum, fullDefault, fullMinimum;
};

bool EstimateFor(uint8_t type, EraseEstimate& e) {
    switch (type) {
    case media::kCdRw: e = {25, 10, 540, 120}; return true;
    case media::kDvdRwSequential:
    case media::kDvdRwRestricted: e = {30, 10, 900, 120}; return true;
    case media::kDvdRam: e = {10, 4, 2400, 300}; return true;
    case media::kDvdPlusRw: e = {120, 40, 1800, 600}; return true;
    case media::kBdRe:
    case media::kBdReDl: e = {30, 4, 3600, 300}; return true;
    default: return false;
    }
}

bool IsQuick(int32_t kind) { return kind == 1; }

void Warn(int id, const char16_t* text) { BurnLogString(true, foundation::GetLangString(uint32_t(id), text)); }

bool IsOverwrittenInPlace(uint8_t type) {
    return type == media::kDvdRam || type == media::kDvdPlusRw || type == media::kBdRe || type == media::kBdReDl;
}

bool IsWriteOnceOrReadOnly(uint8_t type) {
    return type == media::kCdRom || type == media::kCdR || type == media::kDvdRom || type == media::kDvdR ||
           type == media::kDvdPlusR || type == media::kDvdRDl || type == media::kDvdPlusRDl ||
           (type >= media::kBdRom && type <= media::kBdRDlRandom);
}

// Zeros over count sectors from 0, chunkSectors at a time, the cancel flag
// polled before every chunk. 1 written, 0 failed (logged) or cancelled.
int WriteZeros(platform::FileHandle h, BurnJob& job, uint32_t count, uint32_t chunkSectors) {
    std::vector<uint8_t> zeros(size_t(chunkSectors) * 2048, 0);
    for (uint32_t lba = 0; lba < count; lba += chunkSectors) {
        if (job.Cancelled()) return 0;
        KeepSystemAwake(true);
        const uint32_t n = std::min(chunkSectors, count - lba);
        if (!ScsiWrite10(h, lba, zeros.data(), n * 2048, 2048)) {
            BurnLog(true, u"%s (%d-%08x)", foundation::GetLangString(kStringErrorWritingData, u"Error writing data."),
                    kZeroWriteLocation, lba);
            return 0;
        }
        BurnSetProgress(int64_t(lba) + n, count);
    }
    return 1;
}

int SyncAndWait(platform::FileHandle h) {
    if (!ScsiSynchronizeCache(h, true)) {
        Warn(kStringSyncFailed, u"Synchronizing cache failed.");
        return 0;
    }
    if (!WaitUnitReady(h, 480)) {
        Warn(kStringErrorErasing, u"Error erasing media.");
        return 0;
    }
    return 1;
}

int EraseByBlank(platform::FileHandle h, int32_t kind) {
    const bool quick = IsQuick(kind);
    if (!ScsiBlank(h, true, quick ? uint8_t(kind) : 0, quick ? 1200 : 3600)) {
        Warn(kStringErrorErasing, u"Error erasing media.");
        return 0;
    }
    if (!IsDiscBlank(h)) {
        Warn(kStringErrorVerifyingBlank, u"Error verifying blank media.");
        return 0;
    }
    return 1;
}

int EraseDvdRam(platform::FileHandle h, BurnJob& job, int32_t kind) {
    if (!IsQuick(kind)) {
        uint32_t blocks = 0, parameter = 0;
        if (!FindFormatCapacity(h, 0x00, 0, blocks, parameter)) {
            Warn(kStringErrorReadingCapacity, u"Error reading capacity information.");
            return 0;
        }
        if (!ScsiFormatUnit(h, blocks, 0x00, 0, parameter, 0x82, 5400)) {
            Warn(kStringErrorFormatting, u"Error formatting the media.");
            return 0;
        }
        return 1;
    }
    if (!WriteZeros(h, job, kHeadSectors, 16)) return 0;
    if (!ScsiSynchronizeCache(h, true) || !WaitUnitReady(h, 480)) {
        Warn(kStringErrorErasing, u"Error erasing media.");
        return 0;
    }
    return 1;
}

int EraseDvdPlusRw(platform::FileHandle h, BurnJob& job, int32_t kind) {
    uint32_t size = kHeadSectors;
    if (!IsQuick(kind)) {
        uint32_t parameter = 0;
        if (!FindFormatCapacity(h, 0x26, 0, size, parameter)) {
            Warn(kStringErrorReadingCapacity, u"Error reading capacity information.");
            return 0;
        }
    }
    if (!ScsiFormatUnit(h, 0xFFFFFFFF, 0x26, 0, 0, 0x02, 600)) {
        Warn(kStringErrorFormatting, u"Error formatting the media.");
        return 0;
    }
    if (!WriteZeros(h, job, size, 16) || !SyncAndWait(h)) return 0;
    if (!ScsiCloseTrackSession(h, true, 2, 0) || !WaitUnitReady(h, 480)) {
        Warn(kStringErrorClosingTrack, u"Error closing track.");
        return 0;
    }
    return 1;
}

int EraseBdRe(platform::FileHandle h, BurnJob& job, int32_t kind) {
    uint8_t config[20] = {};
    uint32_t len = sizeof config;
    if (!ScsiGetConfiguration(h, 2, 0x23, config, len)) {
        Warn(kStringErrorReadingCapacity, u"Error reading capacity information.");
        return 0;
    }
    const bool current = len >= 12 && (config[10] & 1) != 0;
    const bool spareless = len >= 13 && (config[12] & 0x08) != 0;
    const uint8_t type = current && spareless ? 0x31 : 0x30;
    uint32_t blocks = 0, found = 0;
    if (!FindFormatCapacity(h, type, type == 0x31 ? 0 : 1, blocks, found)) {
        Warn(kStringErrorReadingCapacity, u"Error reading capacity information.");
        return 0;
    }
    if (!ScsiFormatUnit(h, blocks, type, 0, type == 0x31 ? 2048 : 0, 0x02, 600)) {
        Warn(kStringErrorFormatting, u"Error formatting the media.");
        return 0;
    }
    uint32_t capacity = 0;
    if (!ReadCapacity2048(h, capacity)) {
        Warn(kStringErrorReadingCapacity, u"Error reading capacity information.");
        return 0;
    }
    const bool quick = IsQuick(kind);
    if (!quick && job.face) job.face->SetCancelEnabled(true);
    const int written = WriteZeros(h, job, quick ? std::min(kHeadSectors, capacity) : capacity, 32);
    if (!quick && job.face) job.face->SetCancelEnabled(false);
    return written && SyncAndWait(h);
}

}  // namespace

int EraseTimeOffset(uint8_t type, int32_t kind) {
    int base;
    switch (type) {
    case media::kCdRw: base = 0; break;
    case media::kDvdPlusRw: base = 4; break;
    case media::kDvdRwSequential:
    case media::kDvdRwRestricted: base = 8; break;
    case media::kDvdRam: base = 12; break;
    case media::kBdRe:
    case media::kBdReDl: base = 16; break;
    default: return -1;
    }
    return base + (IsQuick(kind) ? 0 : 2);
}

EraseTimes LoadEraseTimes() {
    EraseTimes times{};
    std::vector<uint8_t> value(4096);
    size_t got = 0;
    if (foundation::ReadSettingBinary(u"EraseTime", std::span<uint8_t>(value), &got))
        std::memcpy(times.data(), value.data(), std::min(got, times.size()));
    return times;
}

void StoreEraseDuration(EraseTimes& times, int offset, uint64_t elapsedMs) {
    if (offset < 0 || size_t(offset) + 1 >= times.size()) return;
    times[size_t(offset)] = uint8_t(elapsedMs / 256000);
    times[size_t(offset) + 1] = uint8_t(elapsedMs / 1000);
}

uint32_t EraseEstimateSeconds(const EraseTimes& times, uint8_t type, int32_t kind) {
    EraseEstimate e{};
    const int offset = EraseTimeOffset(type, kind);
    if (offset < 0 || !EstimateFor(type, e)) return 0;
    const uint32_t stored = uint32_t(times[size_t(offset)]) << 8 | times[size_t(offset) + 1];
    const bool quick = IsQuick(kind);
    const uint32_t fallback = quick ? e.quickDefault : e.fullDefault;
    const uint32_t minimum = quick ? e.quickMinimum : e.fullMinimum;
    if (stored == 0) return fallback;
    return std::max(stored, minimum);
}

int EraseMedia(platform::FileHandle h, BurnJob& job, int32_t kind, int32_t speed) {
    const uint64_t started = DriveClock().NowMs();
    const uint8_t type = GetDiscMediaType(h);
    EraseTimes times = LoadEraseTimes();
    BurnLogString(false, foundation::GetLangString(kStringErasingMedia, u"Erasing media..."));
    SetDriveSpeed(h, g_SpeedIndex.load(), type, 0xFFFF, speed);
    if (job.face) job.face->StartEraseProgress(EraseEstimateSeconds(times, type, kind));

    int erased = 0;
    switch (type) {
    case media::kCdRw:
    case media::kDvdRwSequential:
    case media::kDvdRwRestricted: erased = EraseByBlank(h, kind); break;
    case media::kDvdRam: erased = EraseDvdRam(h, job, kind); break;
    case media::kDvdPlusRw: erased = EraseDvdPlusRw(h, job, kind); break;
    case media::kBdRe:
    case media::kBdReDl: erased = EraseBdRe(h, job, kind); break;
    case media::kNoDisc: Warn(kStringNoDisc, u"No disc in the drive."); return 0;
    case media::kUnknown: Warn(kStringUnknownDisc, u"Unknown disc type in the drive."); return 0;
    default:
        BurnLog(true, foundation::GetLangString(kStringCannotBeErased, u"%s cannot be erased."), GetMediaTypeName(type));
        return 0;
    }
    if (!erased) {
        if (job.Cancelled()) Warn(kStringErrorErasing, u"Error erasing media.");
        return 0;
    }
    StoreEraseDuration(times, EraseTimeOffset(type, kind), DriveClock().NowMs() - started);
    foundation::WriteSettingBinary(u"EraseTime", times);
    BurnLogString(false, foundation::GetLangString(kStringMediaErased, u"Media erased successfully."));
    return 1;
}

int IsMediaNotEmpty(platform::FileHandle h, uint8_t type) {
    if (type <= 15 || type == media::kDvdR || type == media::kDvdRwSequential || type == media::kDvdRDl)
        return IsDiscBlank(h) ? 0 : 1;
    uint8_t info[42] = {};
    uint32_t len = sizeof info;
    switch (type) {
    case media::kDvdRam:
    case media::kDvdPlusRw:
    case media::kBdRe:
    case media::kBdReDl:
        if (!ScsiReadDiscInfo(h, 0, info, len) || len < 3) return -1;
        return (info[2] & 3) != 0 && IsAreaBlankByRead(h, 0, 26, 2048) != 1 ? 1 : 0;
    case media::kDvdPlusR:
    case media::kDvdPlusRDl:
    case media::kBdR:
    case media::kBdRDl:
        if (!ScsiReadDiscInfo(h, 0, info, len) || len < 3) return -1;
        return (info[2] & 0x0F) != 0 ? 1 : 0;
    case media::kBdRPow:
    case media::kBdRDlPow: {
        if (!ScsiReadDiscInfo(h, 0, info, len) || len < 12) return -1;
        const uint32_t lastTrack = uint32_t(info[11]) << 8 | info[6];
        if (lastTrack != 1) return 1;
        uint8_t track[48] = {};
        uint32_t tlen = sizeof track;
        if (!ScsiReadTrackInfo(h, false, 1, 1, track, tlen) || tlen < 16) return 1;
        const bool nwaValid = (track[7] & 1) != 0;
        const uint32_t nwa = uint32_t(track[12]) << 24 | uint32_t(track[13]) << 16 | uint32_t(track[14]) << 8 | track[15];
        return nwaValid && nwa == 0 ? 0 : 1;
    }
    default:
        return 1;
    }
}

int CheckDestinationBlank(platform::FileHandle h, uint8_t type, BurnJob& job) {
    const int notEmpty = IsMediaNotEmpty(h, type);
    if (notEmpty < 0) {
        Warn(kStringErrorVerifyingBlank, u"Error verifying blank media.");
        return -1;
    }
    if (notEmpty == 0) return 0;
    std::u16string text = job.kind == BurnJobKind::DiscCopy
                              ? foundation::GetLangString(kStringDestinationNotEmpty, u"The destination disc is not empty.")
                              : foundation::GetLangString(kStringDiscNotEmpty, u"The disc you inserted is not empty.");
    if (IsWriteOnceOrReadOnly(type)) {
        text += u"\r\n";
        text += foundation::GetLangString(kStringInsertBlank, u"Please insert a blank or rewritable disc and retry.");
        foundation::AppMessageBox(text, foundation::kMbOk | foundation::kMbIconInformation);
        return -1;
    }
    text += u" ";
    text += foundation::GetLangString(kStringEraseNow, u"Do you want to erase it now?");
    if (foundation::AppMessageBox(text, foundation::kMbOkCancel | foundation::kMbIconQuestion) != foundation::kIdOk)
        return 1;
    if (job.kind == BurnJobKind::ImageFile &&
        (type == media::kDvdRwSequential || type == media::kDvdRwRestricted) && !job.appendSession && !job.finalize)
        return 0;
    if (IsOverwrittenInPlace(type)) return 0;
    return EraseMedia(h, job, 1, job.writeSpeed) ? 0 : -1;
}

}  // namespace optical
