// What the software drive keeps of a recording: closed tracks become tracks the
// reading side serves, a closed session moves the next writable address on
// (or closes the disc), and each closed session is exported.

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
// CD frames are kept in the medium file from LBA -150 on.
constexpr int64_t kCdBias = 150;
}  // namespace

void SoftDrive::AddRecordedTrack(const RecordedTrack& track, uint32_t unit, uint64_t fileOffset) {
    Track t;
    t.number = static_cast<int>(tracks_.size()) + 1;
    t.desc.session = track.session;
    t.desc.control = track.control;
    t.desc.dataMode = track.dataMode;
    t.desc.fileSectorSize = unit;
    t.desc.fileOffset = fileOffset;
    t.start = track.start;
    t.length = static_cast<uint32_t>(track.end - track.start);
    t.fd = ::dup(write_.fd);
    tracks_.push_back(t);
    write_.recorded.push_back(track);
    write_.recorded.back().number = t.number;
}

void SoftDrive::CommitOpenTrack() {
    if (write_.trackStart < 0) return;
    if (write_.openSession == 0) write_.openSession = SessionCount() + 1;
    RecordedTrack r;
    r.session = write_.openSession;
    r.start = write_.trackStart;
    r.end = manifest_.nwa;
    AddRecordedTrack(r, kUserBytes, static_cast<uint64_t>(r.start) * kUserBytes);
    write_.trackStart = -1;
    write_.reserved = 0;
}

void SoftDrive::CommitCdSession() {
    int session = SessionCount() + 1;
    int64_t writtenTo = write_.next;
    std::vector<CueEntry>& cue = write_.cue;
    for (size_t i = 1; i + 1 < cue.size(); ++i) {
        const CueEntry& e = cue[i];
        if (e.index != 1) continue;
        RecordedTrack r;
        r.session = session;
        r.control = e.ctlAdr >> 4;
        r.dataMode = (e.form == 0x00 || e.form == 0x01) ? 0 : (e.form == 0x10 || e.form == 0x11) ? 1 : 2;
        r.start = e.lba;
        r.end = write_.saoEnd;
        for (size_t k = i + 1; k < cue.size(); ++k)
            if (cue[k].track != e.track && cue[k].index == 1) {
                r.end = cue[k].lba;
                break;
            }
        if (i >= 1 && cue[i - 1].track == e.track && cue[i - 1].index == 0 && cue[i - 1].lba >= 0)
            r.index0 = cue[i - 1].lba;
        for (const auto& [track, text] : write_.isrc)
            if (track == e.track) r.isrc = text;
        r.end = std::min(r.end, writtenTo);
        if (r.start >= r.end) break;
        AddRecordedTrack(r, kRawBytes, static_cast<uint64_t>(r.start + kCdBias) * kRawBytes);
    }
    write_.writtenRanges.emplace_back(write_.saoFirst, writtenTo);
    if (write_.discPacks.empty() && !write_.leadInPacks.empty()) {
        // The lead-in repeats the block: keep it once.
        const std::vector<uint8_t>& all = write_.leadInPacks;
        size_t end = all.size();
        for (size_t at = 18; at + 18 <= all.size(); at += 18)
            if (std::memcmp(all.data(), all.data() + at, 18) == 0) {
                end = at;
                break;
            }
        write_.discPacks.assign(all.begin(), all.begin() + static_cast<long>(end));
    }
    write_.cueArmed = false;
    write_.openSession = session;
    CloseSession(write_.page.multiSession == 0);
}

void SoftDrive::CloseSession(bool finalize) {
    ++write_.sessions;
    write_.openSession = 0;
    int64_t end = DiscEnd();
    if (write_.kind == MediumKind::Cd && !write_.writtenRanges.empty())
        end = std::max(end, write_.writtenRanges.back().second);
    manifest_.discStatus = finalize ? 2 : 1;
    manifest_.lastSessionState = finalize ? 3 : 0;
    if (finalize) {
        manifest_.nwa = -1;
        manifest_.freeBlocks = 0;
    } else {
        // The next session starts behind this one's lead-out (and, on CD,
        // the next lead-in and pregap).
        int64_t next = write_.kind == MediumKind::Cd ? end + (write_.sessions == 1 ? 11400 : 6900)
                                                    : (end + write_.eccBlock - 1) / write_.eccBlock * write_.eccBlock;
        manifest_.nwa = next;
        manifest_.freeBlocks = static_cast<uint32_t>(std::max<int64_t>(0, write_.capacity - next));
    }
    write_.next = manifest_.nwa;
    write_.trackStart = -1;
    write_.reserved = 0;
    Export();
}

}  // namespace softdrive
