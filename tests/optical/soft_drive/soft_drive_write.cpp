// The recording commands of the software drive: WRITE(10) and WRITE(12),
// the write parameters page, SEND CUE SHEET, SYNCHRONIZE CACHE, CLOSE
// TRACK/SESSION, RESERVE TRACK, SEND OPC and the time stamp.

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "soft_drive/soft_drive.h"
#include "soft_drive/soft_drive_bytes.h"
#include "soft_drive/soft_drive_reply.h"
#include "soft_drive/soft_drive_sectors.h"

namespace softdrive {

using optical::DataDirection;
using optical::TransportRequest;

namespace {

constexpr uint8_t kIllegal = 5;
// CD frames are kept in the medium file from LBA -150 on.
constexpr int64_t kCdBias = 150;

bool IsDvdMinus(uint16_t profile) { return profile == 0x11 || profile == 0x14 || profile == 0x15 || profile == 0x16; }

}  // namespace

bool SoftDrive::SetUpRecording(std::string& error) {
    if (write_.fd >= 0) ::close(write_.fd);
    write_ = WriteState{};
    const WriteDescription& w = manifest_.write;
    if (!w.enabled || manifest_.profile == 0) return true;
    uint16_t p = manifest_.profile;
    switch (p) {
        case 0x09: write_.kind = MediumKind::Cd; break;
        case 0x0A: write_.kind = MediumKind::Cd; write_.erasable = true; break;
        case 0x11: case 0x15: case 0x16: case 0x1B: case 0x2B: case 0x41:
            write_.kind = MediumKind::Sequential;
            break;
        case 0x14: write_.kind = MediumKind::Sequential; write_.erasable = true; break;
        case 0x13: write_.kind = MediumKind::Overwrite; write_.erasable = true; break;
        case 0x12: case 0x1A: case 0x2A: case 0x43: write_.kind = MediumKind::Overwrite; break;
        default: error = "this medium cannot be recorded"; return false;
    }
    write_.eccBlock = p >= 0x40 ? 32 : p >= 0x10 ? 16 : 1;
    write_.capacity = w.capacity;
    if (write_.capacity == 0) {
        error = "a recordable medium needs its capacity";
        return false;
    }
    write_.fd = w.mediumFile.empty() ? ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600)
                                     : ::open(w.mediumFile.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (write_.fd < 0) {
        error = "cannot make the medium file";
        return false;
    }
    write_.sessions = SessionCount();
    if (write_.kind == MediumKind::Overwrite) {
        if (w.formatted || p == 0x13) MakeOverwriteTrack();
        return true;
    }
    if (manifest_.discStatus != 2 && manifest_.nwa < 0) manifest_.nwa = DiscEnd();
    if (manifest_.nwa >= 0 && manifest_.freeBlocks == 0)
        manifest_.freeBlocks = static_cast<uint32_t>(std::max<int64_t>(0, write_.capacity - manifest_.nwa));
    write_.next = manifest_.nwa;
    return true;
}

bool SoftDrive::RunRecording(const uint8_t* cdb, const TransportRequest& request, Reply& reply) {
    switch (cdb[0]) {
        case 0x2A: case 0xAA: Write(cdb, request, reply); return true;
        case 0x55: SelectPage(request, reply); return true;
        case 0x5D: SendCueSheet(cdb, request, reply); return true;
        case 0x35: Synchronize(); return true;
        case 0x5B: Close(cdb, reply); return true;
        case 0xA1: Blank(cdb, reply); return true;
        case 0x04:
            if ((cdb[1] & 0x17) != 0x11) {
                reply.Fail(kIllegal, 0x24, 0x00);
                return true;
            }
            Format(request, reply);
            return true;
        case 0x53: {   // RESERVE TRACK
            uint32_t size = Get32(cdb + 5);
            if (write_.kind != MediumKind::Sequential || write_.trackStart >= 0 || manifest_.discStatus == 2) {
                reply.Fail(kIllegal, 0x2C, 0x00);
            } else if (size == 0 || manifest_.nwa + size > write_.capacity) {
                reply.Fail(kIllegal, 0x21, 0x00);
            } else {
                write_.reserved = size;
            }
            return true;
        }
        case 0x54: return true;   // SEND OPC INFORMATION
        case 0xBF:   // SEND DISC STRUCTURE: only the time stamp, only on DVD
            if (cdb[7] != 0x0F || manifest_.profile < 0x10 || manifest_.profile >= 0x40) reply.Fail(kIllegal, 0x24, 0x00);
            return true;
        default: return false;
    }
}

void SoftDrive::WritePage(const uint8_t* cdb, std::vector<uint8_t>& out) {
    uint8_t control = cdb[2] >> 6;
    uint8_t length = manifest_.write.page5Length;
    std::vector<uint8_t> page(2 + std::max<size_t>(length, 0x32), 0);
    page[0] = 0x05;
    page[1] = length;
    if (control == 1) {
        std::fill(page.begin() + 2, page.end(), 0xFF);
    } else {
        WriteParameters w = control == 2 ? WriteParameters{} : write_.page;
        page[2] = static_cast<uint8_t>((w.bufe ? 0x40 : 0) | (w.testWrite ? 0x10 : 0) | w.writeType);
        page[3] = static_cast<uint8_t>(w.multiSession << 6 | (w.fixedPackets ? 0x20 : 0) | w.trackMode);
        page[4] = w.dataBlockType;
        page[5] = w.linkSize;
        page[8] = w.sessionFormat;
        Put32(&page[10], w.packetSize);
        Put16(&page[14], 150);
    }
    page.resize(2 + length);
    out.assign(8, 0);
    out.insert(out.end(), page.begin(), page.end());
    Put16(&out[0], static_cast<uint32_t>(out.size() - 2));
}

void SoftDrive::SelectPage(const TransportRequest& request, Reply& reply) {
    const uint8_t* d = request.data;
    uint32_t n = request.direction == DataDirection::Out ? request.dataLength : 0;
    if (!d || n < 10 || Get16(d + 6) != 0 || (d[8] & 0x3F) != 0x05 || 10u + d[9] > n ||
        d[9] != manifest_.write.page5Length || d[9] < 0x32) {
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    const uint8_t* p = d + 8;
    WriteParameters w;
    w.writeType = p[2] & 0x0F;
    w.testWrite = (p[2] & 0x10) != 0;
    w.bufe = (p[2] & 0x40) != 0;
    w.multiSession = p[3] >> 6;
    w.fixedPackets = (p[3] & 0x20) != 0;
    w.trackMode = p[3] & 0x0F;
    w.dataBlockType = p[4] & 0x0F;
    w.linkSize = p[5];
    w.sessionFormat = p[8];
    w.packetSize = Get32(p + 10);
    bool ok = w.writeType <= 3 && (w.multiSession == 0 || w.multiSession == 3) &&
              (w.sessionFormat == 0 || w.sessionFormat == 0x10 || w.sessionFormat == 0x20);
    if (write_.kind == MediumKind::Cd) {
        ok = ok && (w.writeType == 1 || w.writeType == 2) &&
             (w.dataBlockType == 0 || w.dataBlockType == 8 || w.dataBlockType == 10 || w.dataBlockType == 13);
    } else if (write_.kind == MediumKind::Sequential) {
        ok = ok && (w.writeType == 0 || w.writeType == 2) && w.dataBlockType == 8 &&
             (!w.fixedPackets || w.packetSize == write_.eccBlock);
    }
    if (!ok) {
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    write_.page = w;
}

void SoftDrive::Write(const uint8_t* cdb, const TransportRequest& request, Reply& reply) {
    int64_t lba = static_cast<int32_t>(Get32(cdb + 2));
    uint32_t count = cdb[0] == 0xAA ? Get32(cdb + 6) : Get16(cdb + 7);
    if (count == 0) return;
    if (request.direction != DataDirection::Out || !request.data || request.dataLength % count != 0) {
        reply.Fail(kIllegal, 0x24, 0x00);
        return;
    }
    uint32_t unit = request.dataLength / count;
    if (write_.kind == MediumKind::Cd) WriteCd(lba, count, unit, request.data, reply);
    else WriteBlocks(lba, count, unit, request.data, reply);
    if (!reply.check) Throttle(request.dataLength);
}

void SoftDrive::WriteCd(int64_t lba, uint32_t count, uint32_t unit, const uint8_t* data, Reply& reply) {
    if (!write_.cueArmed) {
        reply.Fail(kIllegal, 0x2C, 0x00);   // no cue sheet: command sequence error
        return;
    }
    if (write_.leadInPending) {
        if (lba != write_.leadInNext || unit != 96 || lba + count > -150) {
            reply.Fail(kIllegal, 0x21, 0x02);
            return;
        }
        std::vector<uint8_t> packs;
        if (!DecodeLeadInUnits(data, count, packs)) {
            reply.Fail(kIllegal, 0x26, 0x00);
            return;
        }
        write_.leadInPacks.insert(write_.leadInPacks.end(), packs.begin(), packs.end());
        write_.leadInNext += count;
        if (write_.leadInNext == -150) write_.leadInPending = false;
        return;
    }
    if (lba != write_.next || lba + count > write_.saoEnd) {
        reply.Fail(kIllegal, 0x21, 0x02);   // invalid address for write
        return;
    }
    std::vector<uint8_t> frames(static_cast<size_t>(count) * kRawBytes);
    for (uint32_t i = 0; i < count; ++i) {
        int64_t at = lba + i;
        uint8_t form = CueFormAt(write_, at);
        const uint8_t* in = data + static_cast<size_t>(i) * unit;
        uint8_t* raw = frames.data() + static_cast<size_t>(i) * kRawBytes;
        if (FormUnitBytes(form) != unit) {
            reply.Fail(kIllegal, 0x64, 0x00);   // illegal mode for this track
            return;
        }
        bool ok = true;
        switch (form) {
            case 0x00: case 0x01: std::memcpy(raw, in, kRawBytes); break;
            case 0x10: EncodeMode1(at, in, raw); break;
            case 0x11: ok = CheckDataFrame(at, 1, in); std::memcpy(raw, in, kRawBytes); break;
            case 0x21: ok = CheckDataFrame(at, 2, in); std::memcpy(raw, in, kRawBytes); break;
            case 0x20: {   // Mode 2 from the subheader on: the drive adds sync and header
                uint8_t user[kUserBytes] = {};
                EncodeMode2Form1(at, user, raw);
                std::memcpy(raw + 16, in, 2336);
                break;
            }
            default: ok = false; break;
        }
        if (!ok) {
            reply.Fail(kIllegal, 0x26, 0x00);
            return;
        }
    }
    if (!write_.page.testWrite) {
        ssize_t put = ::pwrite(write_.fd, frames.data(), frames.size(), static_cast<off_t>((lba + kCdBias) * kRawBytes));
        if (put != static_cast<ssize_t>(frames.size())) {
            reply.Fail(3, 0x0C, 0x00);
            return;
        }
    }
    write_.next += count;
}

void SoftDrive::WriteBlocks(int64_t lba, uint32_t count, uint32_t unit, const uint8_t* data, Reply& reply) {
    if (unit != kUserBytes) {
        reply.Fail(kIllegal, 0x24, 0x00);
        return;
    }
    if (lba < 0 || lba % write_.eccBlock != 0 || count % write_.eccBlock != 0) {
        reply.Fail(kIllegal, 0x21, 0x02);   // not whole ECC blocks
        return;
    }
    if (write_.kind == MediumKind::Overwrite) {
        if (!write_.formatted) {
            reply.Fail(3, 0x31, 0x00);   // medium not formatted
            return;
        }
        if (lba + count > write_.capacity) {
            reply.Fail(kIllegal, 0x21, 0x00);
            return;
        }
    } else {
        if (manifest_.discStatus == 2 || lba != manifest_.nwa) {
            reply.Fail(kIllegal, 0x21, 0x02);
            return;
        }
        if (lba + count > write_.capacity) {
            reply.Fail(kIllegal, 0x21, 0x00);   // the disc is full
            return;
        }
    }
    if (!write_.page.testWrite) {
        size_t bytes = static_cast<size_t>(count) * kUserBytes;
        if (::pwrite(write_.fd, data, bytes, static_cast<off_t>(lba * kUserBytes)) != static_cast<ssize_t>(bytes)) {
            reply.Fail(3, 0x0C, 0x00);
            return;
        }
    }
    if (write_.kind == MediumKind::Sequential) {
        if (write_.trackStart < 0) write_.trackStart = lba;
        manifest_.nwa = lba + count;
        manifest_.freeBlocks = static_cast<uint32_t>(std::max<int64_t>(0, write_.capacity - manifest_.nwa));
    }
    write_.writtenEnd = std::max<int64_t>(write_.writtenEnd, lba + count);
}

void SoftDrive::SendCueSheet(const uint8_t* cdb, const TransportRequest& request, Reply& reply) {
    uint32_t size = Get24(cdb + 6);
    if (write_.kind != MediumKind::Cd || write_.page.writeType != 2 || manifest_.discStatus == 2 || manifest_.nwa < 0) {
        reply.Fail(kIllegal, 0x2C, 0x00);
        return;
    }
    if (request.direction != DataDirection::Out || !request.data || size != request.dataLength) {
        reply.Fail(kIllegal, 0x24, 0x00);
        return;
    }
    std::string why;
    WriteState parsed;
    int firstTrack = static_cast<int>(tracks_.size()) + 1;
    if (!ParseCueSheet(request.data, size, firstTrack, manifest_.nwa, manifest_.freeBlocks, parsed, why)) {
        lastRefusal = why;
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    bool cdText = (parsed.cue.front().form & 0x40) != 0;
    if (cdText && (CdLeadInStart() == 0 || manifest_.nwa != 0)) {
        lastRefusal = "no lead-in for CD-TEXT";
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    write_.cue = parsed.cue;
    write_.saoFirst = parsed.saoFirst;
    write_.saoEnd = parsed.saoEnd;
    write_.mcn = parsed.mcn;
    write_.isrc = parsed.isrc;
    write_.leadInPending = cdText;
    write_.leadInNext = CdLeadInStart();
    write_.leadInPacks.clear();
    write_.next = write_.saoFirst;
    write_.cueArmed = true;
}

int64_t SoftDrive::CdLeadInStart() const {
    // The ATIP's lead-in start, 97:26:66, as an LBA.
    return manifest_.atip ? (97 * 60 + 26) * 75 + 66 - 450150 : 0;
}

void SoftDrive::Synchronize() {
    Drain();
    if (write_.kind == MediumKind::Cd) {
        if (write_.cueArmed && !write_.leadInPending && write_.next == write_.saoEnd) CommitCdSession();
    } else if (write_.kind == MediumKind::Sequential) {
        // Disc-at-once on DVD-R and DVD-RW closes the disc when the data is in.
        if (IsDvdMinus(manifest_.profile) && write_.page.writeType == 2 && write_.trackStart >= 0) {
            CommitOpenTrack();
            CloseSession(write_.page.multiSession == 0);
        }
    } else {
        Export();
    }
}

void SoftDrive::Close(const uint8_t* cdb, Reply& reply) {
    uint8_t function = cdb[2] & 7;
    uint16_t profile = manifest_.profile;
    switch (write_.kind) {
        case MediumKind::Cd:
            if (function != 1 && function != 2) break;
            // A session-at-once recording cut short keeps what reached the disc.
            if (write_.cueArmed && write_.next > write_.saoFirst) CommitCdSession();
            write_.cueArmed = false;
            return;
        case MediumKind::Sequential:
            if (function == 1) {
                CommitOpenTrack();
                return;
            }
            if (function == 2) {
                CommitOpenTrack();
                CloseSession(IsDvdMinus(profile) && write_.page.multiSession == 0);
                return;
            }
            if ((function == 5 && (profile == 0x1B || profile == 0x2B)) || (function == 6 && profile == 0x41)) {
                CommitOpenTrack();
                CloseSession(true);
                return;
            }
            break;
        case MediumKind::Overwrite:
            if (function != 1 && function != 2) break;
            if (manifest_.write.backgroundFormat == 2) manifest_.write.backgroundFormat = 1;
            Export();
            return;
        default: break;
    }
    reply.Fail(kIllegal, 0x24, 0x00);
}

}  // namespace softdrive
