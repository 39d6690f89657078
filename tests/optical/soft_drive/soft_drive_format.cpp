// Erasing and formatting the recordable media of the software drive: BLANK of
// CD-RW and DVD-RW, FORMAT UNIT of DVD+RW, DVD-RW (restricted overwrite),
// DVD-RAM and BD-RE, and the one track a formatted medium shows.

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
}  // namespace

// An overwritable medium once formatted: one track over the whole capacity,
// unwritten sectors reading as zeros.
void SoftDrive::MakeOverwriteTrack() {
    for (Track& t : tracks_)
        if (t.fd >= 0) ::close(t.fd);
    tracks_.clear();
    write_.formatted = true;
    if (::ftruncate(write_.fd, static_cast<off_t>(write_.capacity) * kUserBytes) != 0) return;
    Track t;
    t.number = 1;
    t.start = 0;
    t.length = write_.capacity;
    t.fd = ::dup(write_.fd);
    manifest_.discStatus = 2;
    manifest_.lastSessionState = 3;
    tracks_.push_back(t);
}

void SoftDrive::Blank(const uint8_t* cdb, Reply& reply) {
    uint8_t type = cdb[1] & 7;
    if (!write_.erasable) {
        reply.Fail(kIllegal, 0x30, 0x05);
        return;
    }
    if (type > 1) {
        reply.Fail(kIllegal, 0x24, 0x00);
        return;
    }
    for (Track& t : tracks_)
        if (t.fd >= 0) ::close(t.fd);
    tracks_.clear();
    if (::ftruncate(write_.fd, 0) != 0) {
        reply.Fail(3, 0x0C, 0x00);
        return;
    }
    if (manifest_.profile == 0x13) {
        manifest_.profile = 0x14;
        write_.kind = MediumKind::Sequential;
        write_.formatted = false;
    }
    manifest_.discStatus = 0;
    manifest_.lastSessionState = 0;
    manifest_.nwa = 0;
    manifest_.freeBlocks = write_.capacity;
    manifest_.cdText.clear();
    write_.next = 0;
    write_.cueArmed = false;
    write_.trackStart = -1;
    write_.writtenEnd = 0;
    write_.sessions = 0;
    write_.openSession = 0;
    write_.recorded.clear();
    write_.writtenRanges.clear();
    write_.discPacks.clear();
}

void SoftDrive::Format(const TransportRequest& request, Reply& reply) {
    const uint8_t* d = request.data;
    if (request.direction != DataDirection::Out || !d || request.dataLength < 12 || Get16(d + 2) != 8) {
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    uint32_t blocks = Get32(d + 4);
    uint8_t type = d[8] >> 2;
    const FormatDescription* listed = nullptr;
    for (const FormatDescription& f : manifest_.formats)
        if (f.type == type) listed = &f;
    uint16_t p = manifest_.profile;
    bool fits = listed && ((p == 0x1A || p == 0x2A) ? type == 0x26
                           : (p == 0x13 || p == 0x14) ? (type == 0x13 || type == 0x15)
                           : p == 0x43 ? (type == 0x30 || type == 0x31)
                           : p == 0x12 ? type == 0 : false);
    if (!fits) {
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    uint32_t size = (blocks != 0 && blocks != 0xFFFFFFFF && blocks <= listed->blocks) ? blocks : listed->blocks;
    // Growing a restricted-overwrite disc, and (re)starting the format of a
    // DVD+RW, keep what the disc holds.
    bool keep = write_.formatted && (type == 0x13 || type == 0x26);
    if (type == 0x13) {
        size = std::min<uint32_t>(listed->blocks, (write_.formatted ? write_.capacity : 0) + size);
    } else if (!keep && ::ftruncate(write_.fd, 0) != 0) {
        reply.Fail(3, 0x0C, 0x00);
        return;
    }
    if (size == 0) {
        reply.Fail(kIllegal, 0x26, 0x00);
        return;
    }
    if (p == 0x14) manifest_.profile = 0x13;
    write_.kind = MediumKind::Overwrite;
    write_.capacity = size;
    write_.writtenEnd = keep ? write_.writtenEnd : 0;
    if (p == 0x1A || p == 0x2A) manifest_.write.backgroundFormat = 2;
    MakeOverwriteTrack();
}

}  // namespace softdrive
