// The DVD, BD and HD DVD writers: the medium is prepared by its type (blank
// checks, formats, reservations, time stamp), the data goes out in whole ECC
// blocks from the read-ahead ring, then the track, session or disc is closed
// by type. A failed preparation step ends the writing there.

#include <algorithm>
#include <cstring>
#include <memory>

#include "foundation/diagnostic_log.h"
#include "foundation/language.h"
#include "image/document/image_context.h"
#include "image/iso/append_session.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/burn/burn_ring_write.h"
#include "optical/burn/burn_writers.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/drive_speed.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"

namespace optical {

namespace {

constexpr int kCodeDvdWrite = 544;
constexpr int kCodeDvdClose = -110;
constexpr int kCodeDvdMinusParameters = 135;
constexpr int kCodeSequentialParameters = 169;
constexpr const char* kTimeStamp = "20070101000000";

uint32_t LastError() { return static_cast<uint32_t>(g_ScsiLastError); }

void LogText(int id, const char16_t* text) { BurnLogString(true, foundation::GetLangString(uint32_t(id), text)); }

void LogFailed(int code) {
    BurnLog(true, u"%s (%d, %08x).", foundation::GetLangString(32580, u"Burning failed"), code, LastError());
}

void LogNotBlank() { LogText(32350, u"Error verifying blank media."); }
void LogCapacityError() { LogText(32180, u"Error reading capacity information."); }
void LogFormatError() { LogText(32480, u"Error formatting the media."); }

uint32_t EccBlock(uint8_t type) { return type >= 32 && type <= 47 ? 32 : 16; }

uint32_t RoundedEnd(const BurnJob& job, uint32_t ecc) {
    const uint64_t end = uint64_t(std::max(job.endSector, 0));
    return uint32_t((end + ecc - 1) / ecc * ecc);
}

// A format capacity a drive may report only when it means something: 0 and
// 0xFFFFFFFF are no size.
bool FindCapacity(platform::FileHandle h, uint8_t formatType, int choice, uint32_t& blocks, uint32_t& parameter) {
    return FindFormatCapacity(h, formatType, choice, blocks, parameter) && blocks != 0 && blocks != 0xFFFFFFFF;
}

void SendTimeStamp(platform::FileHandle h) { ScsiSendTimeStamp(h, kTimeStamp); }

void Reserve(platform::FileHandle h, uint32_t blocks, bool& reserved) {
    reserved = ScsiReserveTrack(h, blocks) != 0;
    if (!reserved) foundation::LogPrintf(true, true, u"%s: %08x\r\n", u"Reserve zone", LastError());
}

bool Close(platform::FileHandle h, uint8_t function, uint16_t track, uint32_t wait) {
    return ScsiCloseTrackSession(h, true, function, track) && WaitUnitReady(h, wait);
}

// An overwritable medium's capacity against the job (DVD-RAM, formatted DVD+RW and BD-RE).
int CheckOverwriteCapacity(platform::FileHandle h, uint32_t size) {
    uint32_t capacity = 0;
    if (!ReadCapacity2048(h, capacity)) {
        LogCapacityError();
        return 0;
    }
    if (capacity < size) {
        BurnLogNotEnoughSpace(true, capacity, size);
        return 0;
    }
    return 1;
}

int FormatBdRe(platform::FileHandle h, uint32_t size) {
    uint8_t feature[20] = {};
    uint32_t len = sizeof feature;
    if (!ScsiGetConfiguration(h, 2, 0x23, feature, len)) {
        LogCapacityError();
        return 0;
    }
    const bool spareless = len >= 13 && (feature[10] & 1) && (feature[12] & 0x08);
    const uint8_t type = spareless ? 0x31 : 0x30;
    uint32_t blocks = 0, parameter = 0;
    if (!FindCapacity(h, type, spareless ? 0 : 1, blocks, parameter)) {
        LogCapacityError();
        return 0;
    }
    if (blocks < size) {
        BurnLogNotEnoughSpace(true, blocks, size);
        return 0;
    }
    if (!ScsiFormatUnit(h, blocks, type, 0, spareless ? 2048 : 0, 0x02, 600)) {
        LogFormatError();
        return 0;
    }
    return 1;
}

// Copies what the new session writes over its first sectors until its volume
// descriptor set terminator, and hands that area to the disc head mirror.
class HeadCapture {
public:
    HeadCapture(image::ImageContext& ctx, int64_t start) : ctx_(ctx), start_(start) {
        head_.resize(size_t(image::kSessionHeadSectors) * 2048);
    }
    void Add(const uint8_t* data, int64_t lba, uint32_t count) {
        for (uint32_t i = 0; i < count && area_ == 0; ++i) {
            const int64_t index = lba + i - start_;
            if (index < 0 || index >= image::kSessionHeadSectors) continue;
            const uint8_t* sector = data + size_t(i) * 2048;
            std::memcpy(head_.data() + size_t(index) * 2048, sector, 2048);
            if (index >= 16 && sector[0] == 0xFF && std::memcmp(sector + 1, "CD001", 5) == 0) area_ = int32_t(index + 1);
        }
        if (area_ > 0 && !captured_) captured_ = image::CaptureSessionHead(ctx_, area_, head_.data(), start_, area_) != 0;
    }
    int32_t area() const { return captured_ ? area_ : 0; }

private:
    image::ImageContext& ctx_;
    int64_t start_;
    std::vector<uint8_t> head_;
    int32_t area_ = 0;
    bool captured_ = false;
};

}  // namespace

uint32_t GetFinalizeWaitSeconds(uint8_t type, uint32_t sectorsWritten) {
    switch (type) {
        case 17: case 18: case 19: return 1800;
        case 21: {
            const uint32_t left = sectorsWritten < 462304 ? 523744 - sectorsWritten : 61440;
            return std::max<uint32_t>(240, left / 600);
        }
        case 20: return 240;
        case 22: return 600;
        case 24: return 5400;
        case 23: return 3600;
        default: return 600;
    }
}

int SetDvdWriteParameters(platform::FileHandle h, bool finalize, bool testWrite, BurnJob& job) {
    std::vector<uint8_t> page;
    if (!ReadModePage(h, 0x05, 2, page)) return 0;
    // The packet fields (bytes 10..13) and byte 32 must lie inside the page.
    if (page.size() < 10 + 0x32 || page[9] < 0x32 || size_t(page[9]) + 10 > page.size()) return 0;
    std::fill(page.begin(), page.begin() + 8, 0);
    uint8_t* p = page.data() + 8;
    p[1] = static_cast<uint8_t>(page.size() - 10);
    if (job.appendSession || !finalize) {
        p[2] = static_cast<uint8_t>((p[2] & 0xC0) | 0x20);
        p[3] = static_cast<uint8_t>((p[3] & 0x10) | 5 | 0x20 | (finalize ? 0 : 0xC0));
        p[4] = 8;
        p[5] = 16;
        p[8] = 0;
        p[10] = p[11] = p[12] = 0;
        p[13] = 16;
    } else {
        p[2] = static_cast<uint8_t>((p[2] & 0xC0) | 2);
        p[3] = 4;
        p[4] = 8;
        p[8] = 0;
        p[16] = 0;
        p[32] = 0;
    }
    if (testWrite) p[2] |= 0x10;
    job.testWriteParametersSent = testWrite;
    p[2] |= 0x40;
    uint32_t len = uint32_t(page.size());
    if (ScsiModeSelect10(h, page.data(), len)) return 1;
    p[2] &= static_cast<uint8_t>(~0x40);
    len = uint32_t(page.size());
    return ScsiModeSelect10(h, page.data(), len);
}

int PrepareDvdMedia(platform::FileHandle h, uint8_t type, ReadAheadBuffer*, BurnJob& job) {
    uint8_t info[42] = {};
    uint32_t len = sizeof info;
    if (!ScsiReadDiscInfo(h, 0, info, len) || len < 12) {
        LogText(32160, u"Error reading media information.");
        return 0;
    }
    BurnLogString(false, foundation::GetLangString(32360, u"Preparing media..."));
    SetDriveSpeed(h, g_SpeedIndex.load(), type, 0xFFFF, job.writeSpeed);
    job.formatStarted = true;
    uint32_t size = RoundedEnd(job, EccBlock(type));
    const uint32_t start = uint32_t(std::max(job.sessionStart, 0));
    if (size <= start) {
        LogFailed(kCodeDvdWrite);
        return 0;
    }
    const bool append = job.appendSession;
    const int firstInLast = info[5] | info[10] << 8;
    const int lastInLast = info[6] | info[11] << 8;
    auto blankOrNext = [&]() {
        if (!append) {
            if (info[2] & 0x0F) {
                LogNotBlank();
                return false;
            }
        } else {
            job.nextTrackNumber = firstInLast;
        }
        return true;
    };
    bool reserved = false;
    switch (type) {
        case media::kDvdR: case media::kDvdRDl:
            if (!blankOrNext()) return 0;
            if (!CheckNextWritableAddress(h, uint32_t(job.nextTrackNumber), true, start, size - start)) return 0;
            if (!SetDvdWriteParameters(h, job.finalize, job.testWrite, job)) {
                LogFailed(kCodeDvdMinusParameters);
                return 0;
            }
            ScsiSendOpcInfo(h);
            SendTimeStamp(h);
            Reserve(h, size - start, reserved);
            return 1;
        case media::kDvdRwSequential: case media::kDvdRwRestricted: {
            uint8_t formatType = 0x15;
            if (append) {
                ScsiSendOpcInfo(h);
                uint8_t track[48] = {};
                uint32_t tlen = sizeof track;
                if (!ScsiReadTrackInfo(h, false, 1, 1, track, tlen) || tlen < 28) {
                    LogText(32170, u"Error reading track information.");
                    return 0;
                }
                const uint32_t trackSize = uint32_t(track[24]) << 24 | track[25] << 16 | track[26] << 8 | track[27];
                if (trackSize >= size) {
                    job.formatStarted = false;
                    SendTimeStamp(h);
                    return 1;
                }
                size = (size - trackSize + 15) / 16 * 16;
                formatType = 0x13;
            } else if (job.finalize) {
                if (!IsDiscBlank(h)) {
                    LogNotBlank();
                    return 0;
                }
                if (!SetDvdWriteParameters(h, true, job.testWrite, job)) {
                    LogFailed(kCodeSequentialParameters);
                    return 0;
                }
                ScsiSendOpcInfo(h);
                SendTimeStamp(h);
                Reserve(h, size, reserved);
                if (!reserved && !CheckNextWritableAddress(h, 1, true, 0, size)) return 0;
                return 1;
            } else {
                ScsiSendOpcInfo(h);
            }
            uint32_t blocks = 0, parameter = 0;
            if (!FindCapacity(h, formatType, 0, blocks, parameter)) {
                LogCapacityError();
                return 0;
            }
            if (blocks < size) {
                BurnLogNotEnoughSpace(true, blocks, size);
                return 0;
            }
            if (!ScsiFormatUnit(h, size, formatType, 0, 16, 0x02, 7200)) {
                LogFormatError();
                return 0;
            }
            SendTimeStamp(h);
            return 1;
        }
        case media::kDvdPlusR: case media::kDvdPlusRDl:
            if (!blankOrNext()) return 0;
            if (!CheckNextWritableAddress(h, uint32_t(job.nextTrackNumber), true, start, size - start)) return 0;
            Reserve(h, size - start, reserved);
            return 1;
        case media::kDvdPlusRw: {
            uint32_t blocks = 0, parameter = 0;
            if (FindCapacity(h, 0x26, 0, blocks, parameter) && blocks < size) {
                BurnLogNotEnoughSpace(true, blocks, size);
                return 0;
            }
            if (append) {
                if ((info[7] & 3) == 1) ScsiFormatUnit(h, 0xFFFFFFFF, 0x26, 0, 1, 0x02, 600);
            } else {
                BurnLogString(false, foundation::GetLangString(32470, u"Formatting DVD+RW media..."));
                if (!ScsiFormatUnit(h, 0xFFFFFFFF, 0x26, 0, 0, 0x02, 600)) {
                    LogFormatError();
                    return 0;
                }
            }
            return CheckOverwriteCapacity(h, size);
        }
        case media::kDvdRam:
            return CheckOverwriteCapacity(h, size);
        case media::kBdR: case media::kBdRDl:
            if (!blankOrNext()) return 0;
            return CheckNextWritableAddress(h, uint32_t(job.nextTrackNumber), true, start, size - start);
        case media::kBdRPow: case media::kBdRDlPow:
            // A new pseudo-overwrite disc: one track, the last in the last session.
            if (!append) {
                if (lastInLast != 1) {
                    LogNotBlank();
                    return 0;
                }
            } else {
                job.nextTrackNumber = lastInLast;
            }
            return CheckNextWritableAddress(h, uint32_t(job.nextTrackNumber), false, start, size - start);
        case media::kBdRe: case media::kBdReDl:
            if ((info[2] & 3) == 0 && !FormatBdRe(h, size)) return 0;
            return CheckOverwriteCapacity(h, size);
        default:
            LogText(32070, u"Media detect failed, or no media in the drive.");
            return 0;
    }
}

int WriteDvdData(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job) {
    const uint32_t ecc = EccBlock(job.mediaType);
    const int64_t start = std::max(job.sessionStart, 0);
    const int64_t end = RoundedEnd(job, ecc);
    if (end <= start) return 0;
    RingWrite w;
    w.h = h;
    w.buffer = buffer;
    w.job = &job;
    w.sectorSize = 2048;
    w.chunk = ecc;
    w.progressTotal = end - start;
    // The head of a disc without real sessions is mirrored only where it can
    // be written again: on overwritable media.
    image::ImageContext* ctx = job.source;
    std::unique_ptr<HeadCapture> capture;
    if (job.appendSession && IsOverwritableMedia(job.mediaType) && ctx && ctx->discHeadCount > 0) {
        capture = std::make_unique<HeadCapture>(*ctx, start);
        w.written = [&](const uint8_t* data, int64_t lba, uint32_t count) { capture->Add(data, lba, count); };
    }
    int64_t failed = 0;
    RingWriteResult r = WriteFromRing(w, start, uint32_t(end - start), failed);
    if (r == RingWriteResult::WriteFailed)
        BurnLog(true, u"%s (%d-%08x %08x)", foundation::GetLangString(32460, u"Error writing data."), kCodeDvdWrite,
                static_cast<uint32_t>(failed), LastError());
    if (r == RingWriteResult::Cancelled) LogBurnCancelled();
    if (r != RingWriteResult::Written) return 0;
    if (capture && capture->area() > 0) {
        if (!image::WriteDiscHeadMirror(*ctx, image::HeadTarget::Drive, h, int32_t(ecc), capture->area())) return 0;
        job.headMirrorWritten = true;
    }
    return 1;
}

int CloseDvdMedia(platform::FileHandle h, uint8_t type, ReadAheadBuffer*, BurnJob& job) {
    const bool finalize = job.finalize;
    BurnLogString(false, finalize ? foundation::GetLangString(32550, u"Finalizing media, this may take several minutes...")
                                  : foundation::GetLangString(32540, u"Closing session, this may take several minutes..."));
    const uint32_t written = uint32_t(std::max<int64_t>(0, int64_t(RoundedEnd(job, EccBlock(type))) - job.sessionStart));
    const uint32_t wait = GetFinalizeWaitSeconds(type, written);
    if (!ScsiSynchronizeCache(h, true) || !WaitUnitReady(h, wait)) return 0;
    const uint16_t track = uint16_t(job.nextTrackNumber);
    const bool newFinalized = !job.appendSession && finalize;
    switch (type) {
        case media::kDvdR: case media::kDvdRDl:
            if (newFinalized) return 1;
            return Close(h, 1, track, wait) && Close(h, 2, 0, wait);
        case media::kDvdRwSequential: case media::kDvdRwRestricted:
            if (newFinalized && type == media::kDvdRwSequential) return 1;
            return Close(h, 2, 0, wait) || !job.formatStarted;
        case media::kDvdPlusR: case media::kDvdPlusRDl:
            return Close(h, 1, track, wait) && Close(h, finalize ? 5 : 2, 0, wait);
        case media::kBdR: case media::kBdRDl:
            return Close(h, 1, track, wait) && Close(h, finalize ? 6 : 2, 0, wait);
        case media::kBdRPow: case media::kBdRDlPow:
            return Close(h, 1, track, wait) && (!finalize || Close(h, 6, 0, wait));
        case media::kDvdPlusRw:
            return Close(h, 2, 0, wait);
        default:
            return 1;
    }
}

bool WriteDvdImage(platform::FileHandle h, ReadAheadBuffer* buffer, uint8_t type, BurnJob& job) {
    job.nextTrackNumber = 1;
    job.testWriteParametersSent = false;
    job.headMirrorWritten = false;
    // Nothing is written, and nothing closed, after a failed preparation.
    bool ok = PrepareDvdMedia(h, type, buffer, job) != 0;
    bool prepared = ok;
    if (ok) {
        BurnShowWritingStatus(true, nullptr);
        ok = WriteDvdData(h, buffer, job) != 0;
    }
    // A cut-short recording is still closed, so the disc stays readable.
    if (prepared && !CloseDvdMedia(h, type, buffer, job)) {
        LogFailed(kCodeDvdClose);
        ok = false;
    }
    if (job.testWriteParametersSent) SetDvdWriteParameters(h, job.finalize, false, job);
    if (!ok && type == media::kDvdPlusRw) {
        uint8_t info[42] = {};
        uint32_t len = sizeof info;
        if (ScsiReadDiscInfo(h, 0, info, len) && len >= 8 && (info[7] & 3) == 2) {
            BurnLogString(false, foundation::GetLangString(32420, u"Stopping background format..."));
            ScsiCloseTrackSession(h, true, 2, 0);
            WaitUnitReady(h, 480);
            BurnLogString(false, foundation::GetLangString(32430, u"Background format stopped."));
        }
    }
    return ok;
}

}  // namespace optical
