#include "soft_drive/soft_drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "soft_drive/soft_drive_bytes.h"
#include "soft_drive/soft_drive_reply.h"
#include "soft_drive/soft_drive_sectors.h"

namespace softdrive {

using optical::DataDirection;
using optical::TransportRequest;
using optical::TransportResult;


namespace {

constexpr uint8_t kIllegalRequest = 5;

// How many bytes a command's CDB has, by its group (SPC).
size_t CdbLengthOf(uint8_t opcode) {
    switch (opcode >> 5) {
        case 0: return 6;
        case 1: case 2: return 10;
        case 4: return 16;
        case 5: return 12;
        default: return 0;
    }
}

// Bytes (bit masks) that must be zero in each command the drive knows.
struct ReservedRule {
    uint8_t opcode;
    uint8_t masks[12];
};
constexpr ReservedRule kReserved[] = {
    {0x00, {0, 0xFF, 0xFF, 0xFF, 0xFF}},
    {0x12, {0, 0xFE}},
    {0x1B, {0, 0xFE, 0xFF, 0xF0, 0x0C}},
    {0x23, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {0x25, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {0x28, {0, 0x01, 0, 0, 0, 0, 0xE0}},
    {0x43, {0, 0xFD, 0xF0, 0xFF, 0xFF, 0xFF}},
    {0x46, {0, 0xFC, 0, 0, 0xFF, 0xFF, 0xFF}},
    {0x51, {0, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {0x52, {0, 0xF8, 0, 0, 0, 0, 0xFF}},
    {0x5A, {0, 0xE7, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
    {0xAC, {0, 0xE0, 0, 0, 0, 0, 0xFF, 0xFF}},
    {0xBE, {0, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0x01, 0xFF}},
};

bool ReservedBitsClear(const uint8_t* cdb, size_t length) {
    for (const ReservedRule& rule : kReserved) {
        if (rule.opcode != cdb[0]) continue;
        for (size_t i = 1; i < length && i < 12; ++i)
            if (cdb[i] & rule.masks[i]) return false;
    }
    return true;
}

void PutText(uint8_t* p, const std::string& text, size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, text.data(), std::min(width, text.size()));
}

uint32_t AllocationOf(const uint8_t* cdb) {
    switch (cdb[0]) {
        case 0x12: return Get16(cdb + 3);
        case 0x43: case 0x46: case 0x51: case 0x52: case 0x5A: case 0x23: return Get16(cdb + 7);
        case 0xAD: return Get16(cdb + 8);
        case 0x25: return 8;
        case 0xAC: return 0xFFFFFFFF;   // bounded by the descriptor count instead
        default: return 0;
    }
}

}  // namespace

SoftDrive::~SoftDrive() {
    for (Track& t : tracks_)
        if (t.fd >= 0) ::close(t.fd);
    if (write_.fd >= 0) ::close(write_.fd);
}

bool SoftDrive::LoadText(std::string_view manifestText, std::string& error) {
    Manifest manifest;
    if (!ParseManifest(manifestText, manifest, error)) return false;
    return Load(manifest, error);
}

bool SoftDrive::Load(const Manifest& manifest, std::string& error) {
    for (Track& t : tracks_)
        if (t.fd >= 0) ::close(t.fd);
    tracks_.clear();
    manifest_ = manifest;
    int64_t next = 0;
    int number = 1;
    for (const TrackDescription& desc : manifest.tracks) {
        Track t;
        t.desc = desc;
        t.number = number++;
        t.start = desc.start >= 0 ? desc.start : next;
        if (!desc.file.empty()) {
            t.fd = ::open(desc.file.c_str(), O_RDONLY | O_CLOEXEC);
            if (t.fd < 0) {
                error = "cannot open " + desc.file;
                return false;
            }
            struct stat st {};
            ::fstat(t.fd, &st);
            uint64_t bytes = static_cast<uint64_t>(st.st_size) > desc.fileOffset ? st.st_size - desc.fileOffset : 0;
            t.length = desc.length ? desc.length : static_cast<uint32_t>(bytes / desc.fileSectorSize);
        } else {
            t.length = desc.length;
        }
        if (t.length == 0 || t.start < next) {
            error = "track " + std::to_string(t.number) + " is empty or overlaps";
            return false;
        }
        next = t.start + t.length;
        tracks_.push_back(std::move(t));
    }
    if (manifest_.bookType == kBookByProfile) {
        switch (manifest_.profile) {
            case 0x11: case 0x15: case 0x16: manifest_.bookType = 2; break;
            case 0x12: manifest_.bookType = 1; break;
            case 0x13: case 0x14: manifest_.bookType = 3; break;
            case 0x1A: manifest_.bookType = 9; break;
            case 0x1B: manifest_.bookType = 10; break;
            case 0x2A: manifest_.bookType = 13; break;
            case 0x2B: manifest_.bookType = 14; break;
            default: manifest_.bookType = 0; break;
        }
    }
    if (manifest_.currentWriteSpeed == 0 && !manifest_.writeSpeeds.empty())
        manifest_.currentWriteSpeed = manifest_.writeSpeeds.front();
    return SetUpRecording(error);
}

size_t SoftDrive::Count(uint8_t opcode) const {
    return static_cast<size_t>(
        std::count_if(log_.begin(), log_.end(), [&](const LoggedCommand& c) { return c.cdb[0] == opcode; }));
}

const SoftDrive::Track* SoftDrive::TrackAt(int64_t lba) const {
    for (const Track& t : tracks_)
        if (lba >= t.start && lba < t.start + t.length) return &t;
    return nullptr;
}

int SoftDrive::SessionCount() const {
    int sessions = 0;
    for (const Track& t : tracks_) sessions = std::max(sessions, t.desc.session);
    return sessions;
}

int64_t SoftDrive::SessionLeadOut(int session) const {
    int64_t end = 0;
    for (const Track& t : tracks_)
        if (t.desc.session == session) end = t.start + t.length;
    return end;
}

int64_t SoftDrive::DiscEnd() const { return tracks_.empty() ? 0 : tracks_.back().start + tracks_.back().length; }

bool SoftDrive::ReadUser(int64_t lba, uint8_t* out, Reply& reply) {
    const Track* t = TrackAt(lba);
    if (!t) {
        reply.Fail(kIllegalRequest, 0x21, 0x00);
        return false;
    }
    if (t->desc.dataMode == 0) {
        reply.Fail(kIllegalRequest, 0x64, 0x00);   // illegal mode for this track
        return false;
    }
    uint64_t index = static_cast<uint64_t>(lba - t->start);
    uint32_t skip = t->desc.fileSectorSize == 2048 ? 0 : (t->desc.dataMode == 2 ? 24 : 16);
    if (t->fd < 0) {
        std::memset(out, 0, kUserBytes);
        return true;
    }
    ssize_t got = ::pread(t->fd, out, kUserBytes,
                          static_cast<off_t>(t->desc.fileOffset + index * t->desc.fileSectorSize + skip));
    if (got != static_cast<ssize_t>(kUserBytes)) {
        reply.Fail(3, 0x11, 0x00);
        return false;
    }
    return true;
}

bool SoftDrive::ReadRaw(int64_t lba, uint8_t* out, Reply& reply) {
    const Track* t = TrackAt(lba);
    if (!t) {
        reply.Fail(kIllegalRequest, 0x21, 0x00);
        return false;
    }
    uint64_t index = static_cast<uint64_t>(lba - t->start);
    if (t->desc.fileSectorSize == kRawBytes) {
        if (t->fd < 0) {
            std::memset(out, 0, kRawBytes);
            return true;
        }
        ssize_t got = ::pread(t->fd, out, kRawBytes, static_cast<off_t>(t->desc.fileOffset + index * kRawBytes));
        if (got != static_cast<ssize_t>(kRawBytes)) {
            reply.Fail(3, 0x11, 0x00);
            return false;
        }
        return true;
    }
    uint8_t user[kUserBytes];
    if (!ReadUser(lba, user, reply)) return false;
    if (t->desc.dataMode == 2) EncodeMode2Form1(lba, user, out);
    else EncodeMode1(lba, user, out);
    return true;
}

TransportResult SoftDrive::Execute(const TransportRequest& request) {
    TransportResult result;
    const uint8_t* cdb = request.cdb.data();
    size_t cdbLength = request.cdb.size();
    if (cdbLength == 0) {
        result.sysErrno = EINVAL;
        return result;
    }
    log_.push_back(LoggedCommand{std::vector<uint8_t>(cdb, cdb + cdbLength), request.direction, request.dataLength,
                                 request.timeoutMs});
    uint32_t dataLength = request.direction == DataDirection::None ? 0 : request.dataLength;
    result.resid = static_cast<int32_t>(dataLength);

    // The run of sectors a read or write touches, for LBA faults.
    int64_t runStart = -1;
    int64_t runCount = 0;
    if ((cdb[0] == 0x28 || cdb[0] == 0x2A) && cdbLength >= 10) {
        runStart = Get32(cdb + 2);
        runCount = Get16(cdb + 7);
    } else if (cdb[0] == 0xBE && cdbLength >= 12) {
        runStart = Get32(cdb + 2);
        runCount = Get24(cdb + 6);
    }

    Fault* fault = nullptr;
    for (Fault& f : faults_) {
        if (f.opcode >= 0 && f.opcode != cdb[0]) continue;
        if (f.lba >= 0 && !(runStart >= 0 && f.lba >= runStart && f.lba < runStart + runCount)) continue;
        ++f.seen;
        if (f.nth != 0 && f.seen != f.nth) continue;
        if (f.fired >= f.times) continue;
        ++f.fired;
        fault = &f;
        break;
    }

    auto senseOut = [&](uint8_t key, uint8_t asc, uint8_t ascq, bool descriptor) {
        result.status = optical::kStatusCheckCondition;
        result.driverStatus = optical::kDriverSense;
        uint8_t sense[18] = {};
        uint8_t n = 0;
        if (descriptor) {
            sense[0] = 0x72;
            sense[1] = key;
            sense[2] = asc;
            sense[3] = ascq;
            n = 8;
        } else {
            sense[0] = 0x70;
            sense[2] = key;
            sense[7] = 10;
            sense[12] = asc;
            sense[13] = ascq;
            n = 18;
        }
        n = std::min<uint8_t>(n, request.senseCapacity);
        if (request.sense && n) std::memcpy(request.sense, sense, n);
        result.senseLength = request.sense ? n : 0;
    };

    if (fault) {
        switch (fault->kind) {
            case Fault::Kind::Sense: senseOut(fault->key, fault->asc, fault->ascq, false); return result;
            case Fault::Kind::DescriptorSense: senseOut(fault->key, fault->asc, fault->ascq, true); return result;
            case Fault::Kind::Errno: result.sysErrno = fault->err; return result;
            case Fault::Kind::Host: result.hostStatus = fault->status; return result;
            case Fault::Kind::Driver: result.driverStatus = fault->status; return result;
            case Fault::Kind::FullResid: return result;
            case Fault::Kind::SenseOverflow:
                senseOut(fault->key, fault->asc, fault->ascq, false);
                result.senseLength = 0xFF;
                return result;
            case Fault::Kind::Latency:
                if (latencyHook) latencyHook(static_cast<uint32_t>(fault->bytes));
                break;
            default: break;
        }
    }

    Reply reply;
    if (CdbLengthOf(cdb[0]) != cdbLength) {
        reply.Fail(kIllegalRequest, 0x20, 0x00);
    } else if (!ReservedBitsClear(cdb, cdbLength)) {
        reply.Fail(kIllegalRequest, 0x24, 0x00);
    } else {
        Run(cdb, cdbLength, request, reply);
    }
    if (reply.check) {
        senseOut(reply.key, reply.asc, reply.ascq, false);
        return result;
    }

    uint32_t moved = 0;
    if (request.direction == DataDirection::In) {
        if (reply.direct) {
            moved = std::min(reply.moved, dataLength);
        } else {
            // Length fields keep the full size; only the bytes move are cut.
            if (fault && fault->kind == Fault::Kind::BadLength && !reply.built.empty()) {
                bool wide = cdb[0] == 0x46 || cdb[0] == 0xAC;
                if (wide && reply.built.size() >= 4) Put32(reply.built.data(), fault->value);
                else if (reply.built.size() >= 2) Put16(reply.built.data(), fault->value);
            }
            if (fault && fault->kind == Fault::Kind::Patch)
                for (auto [offset, value] : fault->patch)
                    if (offset < reply.built.size()) reply.built[offset] = value;
            if (fault && fault->kind == Fault::Kind::Flip && !reply.built.empty()) {
                uint32_t state = fault->value * 2654435761u + fault->fired;
                for (int32_t i = 0; i < fault->bytes; ++i) {
                    state = state * 1103515245u + 12345u;
                    uint32_t offset = (state >> 8) % static_cast<uint32_t>(reply.built.size());
                    state = state * 1103515245u + 12345u;
                    reply.built[offset] ^= static_cast<uint8_t>((state >> 16) | 1);
                }
            }
            moved = std::min<uint64_t>({reply.built.size(), reply.allocation, dataLength});
            if (moved && request.data) std::memcpy(request.data, reply.built.data(), moved);
        }
    } else if (request.direction == DataDirection::Out) {
        moved = dataLength;
    }
    result.resid = static_cast<int32_t>(dataLength - moved);
    if (fault && fault->kind == Fault::Kind::ShortTransfer)
        result.resid = std::min<int32_t>(static_cast<int32_t>(dataLength), result.resid + fault->bytes);
    if (fault && fault->kind == Fault::Kind::LongTransfer) result.resid = -fault->bytes;
    return result;
}

void SoftDrive::Run(const uint8_t* cdb, size_t, const TransportRequest& request, Reply& reply) {
    bool present = manifest_.profile != 0;
    auto& out = reply.built;
    reply.allocation = AllocationOf(cdb);
    auto needMedium = [&]() {
        if (!present) reply.Fail(2, 0x3A, 0x00);
        return present;
    };
    auto needIn = [&]() {
        if (request.direction != DataDirection::In && reply.allocation != 0) {
            reply.Fail(kIllegalRequest, 0x24, 0x00);
            return false;
        }
        return true;
    };
    switch (cdb[0]) {
        case 0x00:   // TEST UNIT READY
            needMedium();
            return;
        case 0x12: {   // INQUIRY
            if (!needIn()) return;
            if (cdb[1] & 1) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            out.assign(96, 0);
            out[0] = 0x05;   // CD/DVD device
            out[1] = 0x80;   // removable
            out[2] = 0x05;   // SPC-3
            out[3] = 0x02;
            out[4] = 91;
            PutText(&out[8], manifest_.vendor, 8);
            PutText(&out[16], manifest_.product, 16);
            PutText(&out[32], manifest_.revision, 4);
            return;
        }
        case 0x1B:   // START STOP UNIT
            return;
        case 0x23:   // READ FORMAT CAPACITIES
            if (!needIn()) return;
            FormatCapacities(out);
            return;
        case 0x25: {   // READ CAPACITY
            if (!needMedium() || !needIn()) return;
            out.assign(8, 0);
            int64_t end = DiscEnd();
            Put32(&out[0], static_cast<uint32_t>(end > 0 ? end - 1 : 0));
            Put32(&out[4], 2048);
            return;
        }
        case 0x28: {   // READ(10)
            if (!needMedium()) return;
            uint32_t lba = Get32(cdb + 2);
            uint32_t count = Get16(cdb + 7);
            if (static_cast<uint64_t>(count) * kUserBytes > request.dataLength || request.direction != DataDirection::In) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            reply.direct = true;
            // A run inside one track of 2048-byte sectors is one read of its file.
            const Track* t = TrackAt(lba);
            if (count > 1 && t && t->fd >= 0 && t->desc.fileSectorSize == kUserBytes && t->desc.dataMode != 0 &&
                static_cast<int64_t>(lba) + count <= t->start + t->length) {
                size_t bytes = static_cast<size_t>(count) * kUserBytes;
                ssize_t got = ::pread(t->fd, request.data, bytes,
                                      static_cast<off_t>(t->desc.fileOffset + static_cast<uint64_t>(lba - t->start) * kUserBytes));
                if (got == static_cast<ssize_t>(bytes)) {
                    reply.moved = static_cast<uint32_t>(bytes);
                    return;
                }
            }
            for (uint32_t i = 0; i < count; ++i) {
                if (!ReadUser(static_cast<int64_t>(lba) + i, request.data + static_cast<size_t>(i) * kUserBytes, reply))
                    return;
                reply.moved += kUserBytes;
            }
            return;
        }
        case 0x2A: case 0xAA: case 0x35: case 0x53: case 0x54: case 0x5B: case 0xA1: case 0x04: case 0x5D:
        case 0x55: case 0xBF:
            if (!needMedium()) return;
            if (write_.kind == MediumKind::ReadOnly) {
                // This drive holds pressed discs and images only.
                if (cdb[0] == 0x2A || cdb[0] == 0xAA) reply.Fail(7, 0x27, 0x00);   // write protected
                else reply.Fail(kIllegalRequest, 0x30, 0x05);                     // cannot write the medium
                return;
            }
            RunRecording(cdb, request, reply);
            return;
        case 0x43:
            if (!needMedium() || !needIn()) return;
            Toc(cdb, out, reply);
            return;
        case 0x46:
            if (!needIn()) return;
            Configuration(cdb, out);
            return;
        case 0x51:
            if (!needMedium() || !needIn()) return;
            DiscInformation(out);
            return;
        case 0x52:
            if (!needMedium() || !needIn()) return;
            TrackInformation(cdb, out, reply);
            return;
        case 0x5A:
            if (!needIn()) return;
            ModePage(cdb, out, reply);
            return;
        case 0xAC:
            if (!needIn()) return;
            Performance(cdb, out, reply);
            return;
        case 0xAD:
            if (!needMedium() || !needIn()) return;
            Structure(cdb, out, reply);
            return;
        case 0xB6: {   // SET STREAMING
            if (cdb[8] != 0 || request.direction != DataDirection::Out || request.dataLength < 28) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            const uint8_t* d = request.data;
            uint32_t size = Get32(d + 20);
            uint32_t time = Get32(d + 24);
            if (time == 0) {
                reply.Fail(kIllegalRequest, 0x26, 0x00);
                return;
            }
            SelectWriteSpeed(static_cast<uint32_t>(static_cast<uint64_t>(size) * 1000 / time));
            return;
        }
        case 0xBB: {   // SET CD SPEED
            uint32_t read = Get16(cdb + 2);
            if (read != 0) manifest_.readSpeed = static_cast<uint16_t>(std::min<uint32_t>(read, 0xFFFF));
            SelectWriteSpeed(Get16(cdb + 4));
            return;
        }
        case 0xBE: {   // READ CD
            if (!needMedium()) return;
            uint32_t lba = Get32(cdb + 2);
            uint32_t count = Get24(cdb + 6);
            uint8_t fields = cdb[9];
            if (fields != 0xF8 && fields != 0x10) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            uint32_t unit = fields == 0xF8 ? kRawBytes : kUserBytes;
            // User data of an audio sector is the whole frame.
            const Track* first = TrackAt(lba);
            if (fields == 0x10 && first && first->desc.dataMode == 0) unit = kRawBytes;
            if (static_cast<uint64_t>(count) * unit > request.dataLength || request.direction != DataDirection::In) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            reply.direct = true;
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* at = request.data + static_cast<size_t>(i) * unit;
                bool ok = unit == kRawBytes ? ReadRaw(static_cast<int64_t>(lba) + i, at, reply)
                                            : ReadUser(static_cast<int64_t>(lba) + i, at, reply);
                if (!ok) return;
                reply.moved += unit;
            }
            return;
        }
        default:
            reply.Fail(kIllegalRequest, 0x20, 0x00);   // invalid command operation code
            return;
    }
}

void SoftDrive::Toc(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply) {
    bool msf = (cdb[1] & 0x02) != 0;
    uint8_t format = cdb[2] & 0x0F;
    uint8_t first = cdb[6];
    if (tracks_.empty() && format != 4) {
        reply.Fail(kIllegalRequest, 0x24, 0x00);
        return;
    }
    out.assign(4, 0);
    auto finish = [&]() { Put16(&out[0], static_cast<uint32_t>(out.size() - 2)); };
    switch (format) {
        case 0: {
            out[2] = 1;
            out[3] = static_cast<uint8_t>(tracks_.size());
            if (first != 0xAA && first > tracks_.size()) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            auto entry = [&](uint8_t control, int number, int64_t lba) {
                size_t at = out.size();
                out.resize(at + 8, 0);
                out[at + 1] = static_cast<uint8_t>(0x10 | control);
                out[at + 2] = static_cast<uint8_t>(number);
                PutAddress(&out[at + 4], lba, msf);
            };
            for (const Track& t : tracks_)
                if (first != 0xAA && t.number >= first) entry(t.desc.control, t.number, t.start);
            entry(tracks_.back().desc.control, 0xAA, SessionLeadOut(SessionCount()));
            finish();
            return;
        }
        case 1: {
            out[2] = 1;
            out[3] = static_cast<uint8_t>(SessionCount());
            const Track* firstOfLast = nullptr;
            for (const Track& t : tracks_)
                if (t.desc.session == SessionCount()) {
                    firstOfLast = &t;
                    break;
                }
            out.resize(12, 0);
            out[5] = static_cast<uint8_t>(0x10 | firstOfLast->desc.control);
            out[6] = static_cast<uint8_t>(firstOfLast->number);
            PutAddress(&out[8], firstOfLast->start, msf);
            finish();
            return;
        }
        case 2: {
            // The full TOC (raw Q sub-channel of the lead-in) exists on CD only.
            if (manifest_.profile >= 0x10) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            int sessions = SessionCount();
            out[2] = 1;
            out[3] = static_cast<uint8_t>(sessions);
            auto descriptor = [&](int session, uint8_t control, uint8_t point, uint8_t pm, uint8_t ps, uint8_t pf) {
                size_t at = out.size();
                out.resize(at + 11, 0);
                out[at] = static_cast<uint8_t>(session);
                out[at + 1] = static_cast<uint8_t>(0x10 | control);
                out[at + 3] = point;
                out[at + 8] = pm;
                out[at + 9] = ps;
                out[at + 10] = pf;
            };
            for (int s = 1; s <= sessions; ++s) {
                const Track* a = nullptr;
                const Track* b = nullptr;
                for (const Track& t : tracks_)
                    if (t.desc.session == s) {
                        if (!a) a = &t;
                        b = &t;
                    }
                if (!a) continue;
                descriptor(s, a->desc.control, 0xA0, static_cast<uint8_t>(a->number), manifest_.discType, 0);
                descriptor(s, b->desc.control, 0xA1, static_cast<uint8_t>(b->number), 0, 0);
                Msf lo = ToMsf(SessionLeadOut(s));
                descriptor(s, b->desc.control, 0xA2, lo.m, lo.s, lo.f);
                for (const Track& t : tracks_) {
                    if (t.desc.session != s) continue;
                    Msf m = ToMsf(t.start);
                    descriptor(s, t.desc.control, static_cast<uint8_t>(t.number), m.m, m.s, m.f);
                }
            }
            finish();
            return;
        }
        case 5: {
            // A recorded disc answers with the packs its lead-in carries.
            if (!write_.discPacks.empty()) {
                out.insert(out.end(), write_.discPacks.begin(), write_.discPacks.end());
                finish();
                return;
            }
            if (manifest_.cdText.empty()) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            std::vector<uint8_t> packs = CdTextPacks();
            out.insert(out.end(), packs.begin(), packs.end());
            finish();
            return;
        }
        case 4: {
            if (!manifest_.atip) {
                reply.Fail(kIllegalRequest, 0x24, 0x00);
                return;
            }
            out.resize(28, 0);
            out[4] = 0x80 | 0x04;   // write power, reference speed
            out[6] = static_cast<uint8_t>(0x80 | (manifest_.atipRewritable ? 0x40 : 0));
            // Lead-in start 97:26:66 and last possible lead-out 79:59:74, typical of an 80-minute disc.
            out[8] = 97;
            out[9] = 26;
            out[10] = 66;
            out[12] = 79;
            out[13] = 59;
            out[14] = 74;
            finish();
            return;
        }
        default:
            reply.Fail(kIllegalRequest, 0x24, 0x00);
            return;
    }
}

// The lead-in's CD-TEXT packs of block 0 (ISO 8859-1, English): for each pack
// type the strings of the disc and the tracks, NUL-terminated and cut into
// 12-byte pieces, then the three size-information packs.
std::vector<uint8_t> SoftDrive::CdTextPacks() const {
    std::vector<uint8_t> packs;
    uint8_t sequence = 0;
    uint8_t countPerType[16] = {};
    int lastTrack = static_cast<int>(tracks_.size());
    auto addPack = [&](uint8_t type, uint8_t track, uint8_t position, const uint8_t* text) {
        uint8_t pack[18] = {type, track, sequence++, static_cast<uint8_t>(std::min<uint8_t>(position, 15))};
        std::memcpy(pack + 4, text, 12);
        uint16_t crc = CdTextPackCrc(pack);
        pack[16] = static_cast<uint8_t>(crc >> 8);
        pack[17] = static_cast<uint8_t>(crc);
        packs.insert(packs.end(), pack, pack + 18);
        ++countPerType[type & 0x0F];
    };
    for (uint8_t type = 0x80; type <= 0x85; ++type) {
        bool any = false;
        for (const CdTextDescription& t : manifest_.cdText) any |= t.packType == type;
        if (!any) continue;
        // The stream of this type: one string per track from the disc on.
        std::vector<std::pair<uint8_t, size_t>> starts;   // track, offset of its string
        std::string stream;
        for (int track = 0; track <= lastTrack; ++track) {
            std::string text;
            for (const CdTextDescription& t : manifest_.cdText)
                if (t.packType == type && t.track == track) text = t.text;
            starts.emplace_back(static_cast<uint8_t>(track), stream.size());
            stream += text;
            stream.push_back('\0');
        }
        while (stream.size() % 12) stream.push_back('\0');
        for (size_t at = 0; at < stream.size(); at += 12) {
            // The pack belongs to the string in progress at its first byte.
            size_t index = 0;
            while (index + 1 < starts.size() && starts[index + 1].second <= at) ++index;
            addPack(type, starts[index].first, static_cast<uint8_t>(std::min<size_t>(at - starts[index].second, 15)),
                    reinterpret_cast<const uint8_t*>(stream.data() + at));
        }
    }
    uint8_t info[36] = {};
    info[0] = 0x00;   // ISO 8859-1
    info[1] = 1;
    info[2] = static_cast<uint8_t>(lastTrack);
    countPerType[0x0F] = 3;
    std::memcpy(info + 4, countPerType, 16);
    info[20] = static_cast<uint8_t>(sequence + 2);   // last sequence number of block 0
    info[28] = 0x09;                                 // English
    for (int i = 0; i < 3; ++i) addPack(0x8F, static_cast<uint8_t>(i), 0, info + 12 * i);
    return packs;
}

void SoftDrive::Configuration(const uint8_t* cdb, std::vector<uint8_t>& out) {
    uint8_t rt = cdb[1] & 3;
    uint16_t start = static_cast<uint16_t>(Get16(cdb + 2));
    out.assign(8, 0);
    Put16(&out[6], manifest_.profile);
    auto feature = [&](uint16_t code, bool current, uint8_t version, const std::vector<uint8_t>& data) {
        bool wanted = rt == 2 ? code == start : code >= start && (rt == 0 || current);
        if (!wanted) return;
        size_t at = out.size();
        out.resize(at + 4 + data.size(), 0);
        Put16(&out[at], code);
        bool persistent = code == 0x0000 || code == 0x0001 || code == 0x0003;
        out[at + 2] = static_cast<uint8_t>(version << 2 | (persistent ? 2 : 0) | (current ? 1 : 0));
        out[at + 3] = static_cast<uint8_t>(data.size());
        std::copy(data.begin(), data.end(), out.begin() + static_cast<long>(at + 4));
    };
    std::vector<uint8_t> profileList;
    std::vector<uint16_t> profiles = manifest_.profiles;
    std::sort(profiles.rbegin(), profiles.rend());
    for (uint16_t p : profiles) {
        uint8_t d[4] = {static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), static_cast<uint8_t>(p == manifest_.profile), 0};
        profileList.insert(profileList.end(), d, d + 4);
    }
    feature(0x0000, true, 0, profileList);
    feature(0x0001, true, 2, {0, 0, 0, 2, 0, 0, 0, 0});                  // core: ATAPI
    feature(0x0003, true, 0, {0x29, 0, 0, 0});                            // removable, tray
    std::vector<FeatureDescription> sorted = manifest_.features;
    std::stable_sort(sorted.begin(), sorted.end(), [](const FeatureDescription& a, const FeatureDescription& b) { return a.code < b.code; });
    for (const FeatureDescription& f : sorted) feature(f.code, f.current && manifest_.profile != 0, f.version, f.data);
    Put32(&out[0], static_cast<uint32_t>(out.size() - 4));
}

void SoftDrive::DiscInformation(std::vector<uint8_t>& out) {
    out.assign(34, 0);
    Put16(&out[0], 32);
    out[2] = static_cast<uint8_t>((manifest_.erasable ? 0x10 : 0) | (manifest_.lastSessionState & 3) << 2 |
                                  (manifest_.discStatus & 3));
    out[3] = 1;
    bool open = manifest_.discStatus != 2;
    int recordedSessions = SessionCount();
    int sessions = std::max(1, recordedSessions + ((open && manifest_.lastSessionState == 0 && recordedSessions) ? 1 : 0));
    int lastTrack = static_cast<int>(tracks_.size()) + (open ? 1 : 0);
    int firstInLast = lastTrack;
    if (!open || manifest_.lastSessionState != 0) {
        for (const Track& t : tracks_)
            if (t.desc.session == recordedSessions) {
                firstInLast = t.number;
                break;
            }
    }
    out[4] = static_cast<uint8_t>(sessions);
    out[5] = static_cast<uint8_t>(firstInLast);
    out[6] = static_cast<uint8_t>(lastTrack);
    out[7] = static_cast<uint8_t>(0x20 | (manifest_.write.backgroundFormat & 3));   // unrestricted use
    out[8] = manifest_.discType;
    out[9] = static_cast<uint8_t>(sessions >> 8);
    out[10] = static_cast<uint8_t>(firstInLast >> 8);
    out[11] = static_cast<uint8_t>(lastTrack >> 8);
    if (manifest_.atip && open) {
        // Lead-in start and last possible lead-out start, as the ATIP gives them.
        out[17] = 97;
        out[18] = 26;
        out[19] = 66;
        out[21] = 79;
        out[22] = 59;
        out[23] = 74;
    } else {
        Put32(&out[16], 0xFFFFFFFF);
        Put32(&out[20], 0xFFFFFFFF);
    }
}

void SoftDrive::TrackInformation(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply) {
    uint8_t type = cdb[1] & 3;
    uint32_t value = Get32(cdb + 2);
    const Track* track = nullptr;
    bool invisible = false;
    if (type == 0) {
        track = TrackAt(value);
        if (!track) invisible = manifest_.nwa >= 0 && value >= static_cast<uint64_t>(manifest_.nwa);
    } else if (type == 1) {
        if (value >= 1 && value <= tracks_.size()) track = &tracks_[value - 1];
        else invisible = (value == tracks_.size() + 1 || value == 0xFF) && manifest_.discStatus != 2 && manifest_.nwa >= 0;
    }
    if (!track && !invisible) {
        reply.Fail(kIllegalRequest, 0x24, 0x00);
        return;
    }
    out.assign(48, 0);
    Put16(&out[0], 46);
    if (track) {
        out[2] = static_cast<uint8_t>(track->number);
        out[3] = static_cast<uint8_t>(track->desc.session);
        out[5] = track->desc.control & 0x0F;
        out[6] = track->desc.dataMode == 0 ? 0x0F : track->desc.dataMode;
        Put32(&out[8], static_cast<uint32_t>(track->start));
        Put32(&out[24], track->length);
        Put32(&out[28], static_cast<uint32_t>(track->start + track->length - 1));
        out[7] = 0x02;   // last recorded address valid
    } else {
        int number = static_cast<int>(tracks_.size()) + 1;
        out[2] = static_cast<uint8_t>(number);
        out[3] = static_cast<uint8_t>(std::max(1, SessionCount() + (manifest_.lastSessionState == 0 && SessionCount() ? 1 : 0)));
        out[5] = 0x04;
        out[6] = 0x40 | 0x01;   // blank, data mode 1
        out[7] = 0x01;          // next writable address valid
        Put32(&out[8], static_cast<uint32_t>(manifest_.nwa));
        Put32(&out[12], static_cast<uint32_t>(manifest_.nwa));
        Put32(&out[16], manifest_.freeBlocks);
        Put32(&out[24], manifest_.freeBlocks);
    }
}

void SoftDrive::ModePage(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply) {
    uint8_t page = cdb[2] & 0x3F;
    uint8_t control = cdb[2] >> 6;
    if (page == 0x05 && write_.kind != MediumKind::ReadOnly && control != 3) {
        WritePage(cdb, out);
        return;
    }
    if ((page != 0x2A && page != 0x3F) || control == 3) {
        reply.Fail(kIllegalRequest, 0x24, 0x00);
        return;
    }
    size_t speeds = manifest_.writeSpeeds.size();
    out.assign(8 + 32 + 4 * speeds, 0);
    Put16(&out[0], static_cast<uint32_t>(out.size() - 2));
    uint8_t* p = &out[8];
    p[0] = 0x2A;
    p[1] = static_cast<uint8_t>(30 + 4 * speeds);
    p[2] = manifest_.readCaps;
    p[3] = manifest_.writeCaps;
    p[4] = 0x71;   // multi-session, mode 2 form 1 and 2, audio play
    p[5] = 0x3F;   // CD-DA commands, accurate stream, sub-channel, C2
    p[6] = 0x29;   // tray, eject, lock
    Put16(p + 8, manifest_.readSpeed);
    Put16(p + 10, 256);
    Put16(p + 12, 2048);
    Put16(p + 14, manifest_.readSpeed);
    uint16_t maxWrite = speeds ? *std::max_element(manifest_.writeSpeeds.begin(), manifest_.writeSpeeds.end()) : 0;
    Put16(p + 18, maxWrite);
    Put16(p + 20, manifest_.currentWriteSpeed);
    Put16(p + 28, manifest_.currentWriteSpeed);
    Put16(p + 30, static_cast<uint32_t>(speeds));
    for (size_t i = 0; i < speeds; ++i) Put16(p + 32 + 4 * i + 2, manifest_.writeSpeeds[i]);
    // Nothing on this page can be changed by MODE SELECT.
    if (control == 1) std::memset(p + 2, 0, out.size() - 10);
}

void SoftDrive::Performance(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply) {
    uint8_t type = cdb[10];
    uint32_t maxDescriptors = Get16(cdb + 8);
    bool write = (cdb[1] & 0x04) != 0;
    uint32_t end = static_cast<uint32_t>(std::max<int64_t>(DiscEnd(), manifest_.freeBlocks) - 1);
    std::vector<std::vector<uint8_t>> descriptors;
    if (type == 0) {
        std::vector<uint8_t> d(16, 0);
        uint32_t speed = write ? manifest_.currentWriteSpeed : manifest_.readSpeed;
        Put32(&d[4], speed);
        Put32(&d[8], end);
        Put32(&d[12], speed);
        if (!write || speed) descriptors.push_back(d);
    } else if (type == 3) {
        for (uint16_t ws : manifest_.writeSpeeds) {
            std::vector<uint8_t> d(16, 0);
            Put32(&d[4], end);
            Put32(&d[8], manifest_.readSpeed);
            Put32(&d[12], ws);
            descriptors.push_back(d);
        }
    } else {
        reply.Fail(kIllegalRequest, 0x24, 0x00);
        return;
    }
    out.assign(8, 0);
    Put32(&out[0], static_cast<uint32_t>(4 + 16 * descriptors.size()));
    if (type == 0 && write) out[4] = 0x02;
    for (size_t i = 0; i < descriptors.size() && i < maxDescriptors; ++i)
        out.insert(out.end(), descriptors[i].begin(), descriptors[i].end());
    reply.allocation = static_cast<uint32_t>(out.size());
}

void SoftDrive::Structure(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply) {
    uint8_t mediaType = cdb[1] & 0x0F;
    uint8_t format = cdb[7];
    bool bd = manifest_.profile >= 0x40 && manifest_.profile < 0x50;
    bool dvd = manifest_.profile >= 0x10 && manifest_.profile < 0x40;
    if (format != 0 || (mediaType == 0 && !dvd) || (mediaType == 1 && !bd) || mediaType > 1) {
        reply.Fail(kIllegalRequest, 0x30, 0x02);   // cannot read this medium's structure
        return;
    }
    if (mediaType == 0) {
        out.assign(4 + 2048, 0);
        Put16(&out[0], 2050);
        out[4] = static_cast<uint8_t>(manifest_.bookType << 4 | 1);
        out[5] = 0x02;
        out[6] = static_cast<uint8_t>((manifest_.layers > 1 ? 0x20 : 0) | 0x01);
        Put32(&out[8], 0x30000);
        Put32(&out[12], static_cast<uint32_t>(0x30000 + std::max<int64_t>(DiscEnd(), 1) - 1));
        return;
    }
    out.assign(4 + 4096, 0);
    Put16(&out[0], 4098);
    out[4] = 'D';
    out[5] = 'I';
    out[6] = 1;
    std::string type = manifest_.bdType.empty() ? "BDO" : manifest_.bdType;
    std::memcpy(&out[12], type.data(), std::min<size_t>(3, type.size()));
    out[16] = static_cast<uint8_t>((manifest_.layers > 1 ? 2 : 1) << 4);
}

void SoftDrive::FormatCapacities(std::vector<uint8_t>& out) {
    out.assign(12, 0);
    out[3] = static_cast<uint8_t>(8 * (1 + manifest_.formats.size()));
    int64_t end = std::max<int64_t>({DiscEnd(), manifest_.freeBlocks, write_.capacity});
    Put32(&out[4], static_cast<uint32_t>(end));
    out[8] = manifest_.profile == 0 ? 3 : (DiscEnd() > 0 || write_.formatted ? 2 : 1);
    Put24(&out[9], 2048);
    for (const FormatDescription& f : manifest_.formats) {
        uint8_t d[8] = {};
        Put32(d, f.blocks);
        d[4] = static_cast<uint8_t>(f.type << 2);
        Put24(d + 5, f.parameter);
        out.insert(out.end(), d, d + 8);
    }
}

void SoftDrive::SelectWriteSpeed(uint32_t kbps) {
    if (manifest_.writeSpeeds.empty()) return;
    // The fastest listed speed not above the one asked (the slowest when all are).
    uint16_t chosen = *std::min_element(manifest_.writeSpeeds.begin(), manifest_.writeSpeeds.end());
    for (uint16_t s : manifest_.writeSpeeds)
        if (s <= kbps && s > chosen) chosen = s;
    manifest_.currentWriteSpeed = chosen;
}

}  // namespace softdrive
