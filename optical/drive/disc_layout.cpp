// The disc's layout as a track list: the full TOC, else the plain TOC, then
// the track information of each track; and the capacities by medium.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "foundation/byte_cursor.h"
#include "foundation/operation_status.h"
#include "image/sheets/track_list.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/sector_read_state.h"
#include "optical/drive/sector_source.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/drive_clock.h"
#include "optical/scsi/scsi_command.h"

namespace optical {
namespace {

constexpr int32_t kMaxTracks = 99;
constexpr uint32_t kTrackInfoBytes = 48;

bool IsCdCode(uint8_t code) { return code >= 1 && code <= 15; }
bool IsDvdOrBd(uint8_t code) { return code >= 16 && code <= 254; }
bool IsKnownCode(uint8_t code) { return code != media::kNoDisc && code != media::kUnknown; }

struct DiscInfo {
    bool read = false;
    uint8_t status = 2;
    uint8_t lastSessionState = 3;
    bool erasable = false;
    uint32_t sessions = 1;
    uint32_t lastTrackInLastSession = 0;
    uint8_t discType = 0;
};

DiscInfo ReadInfo(platform::FileHandle h) {
    DiscInfo info;
    uint8_t reply[42] = {};
    uint32_t len = sizeof reply;
    if (!ScsiReadDiscInfo(h, 0, reply, len) || len < 12) return info;
    info.read = true;
    info.status = reply[2] & 3;
    info.lastSessionState = (reply[2] >> 2) & 3;
    info.erasable = (reply[2] & 0x10) != 0;
    info.sessions = static_cast<uint32_t>(reply[9]) << 8 | reply[4];
    info.lastTrackInLastSession = static_cast<uint32_t>(reply[11]) << 8 | reply[6];
    info.discType = reply[8];
    return info;
}

int64_t MsfToLba(uint8_t m, uint8_t s, uint8_t f) { return (static_cast<int64_t>(m) * 60 + s) * 75 + f - 150; }

void ClearLayout(image::TrackList& list) {
    list.trackCount = 0;
    list.firstTrackNumber = 0;
    list.sessionCount = 0;
    list.imageSectorSize = 0;
    for (image::TrackEntry& t : list.tracks) {
        t.mode = 0;
        t.startSector = 0;
        t.length = 0;
        t.pregap = 0;
        t.postgap = 0;
        t.session = 0;
        t.sectorSize = 0;
    }
    list.discStatus = 0;
    list.lastSessionState = 0;
    list.mediaCode = 0;
    list.discKind = 0;
    list.cookedReadsOnly = false;
}

// The full TOC (format 2, MSF). False when the TOC is abandoned; the list
// is then left without tracks.
bool ReadFullToc(platform::FileHandle h, image::TrackList& list, std::array<bool, kMaxTracks>& modeFromToc) {
    std::vector<uint8_t> toc(1104);
    uint32_t len = static_cast<uint32_t>(toc.size());
    if (!ScsiReadToc(h, true, 2, toc.data(), len) || len < 4) return false;
    uint32_t full = (static_cast<uint32_t>(toc[0]) << 8 | toc[1]) + 2;
    if (full > toc.size()) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (attempt) DriveSleep(100);
            toc.assign(full, 0);
            len = full;
            if (ScsiReadToc(h, true, 2, toc.data(), len) && len >= 4) break;
            len = 0;
        }
    }
    if (len < 4 || (static_cast<uint32_t>(toc[0]) << 8 | toc[1]) + 2 != std::min<uint32_t>(full, len)) return false;
    uint32_t end = std::min<uint32_t>(full, len);
    int32_t sessions = toc[3];

    struct SessionState {
        int first = 0, last = 0;
        int64_t leadOut = -1;
        int number = -1;
    } s;
    int previousTrack = 0;
    int firstTrack = 0;
    int count = 0;
    uint8_t discType = 0;
    // The track of each position whose length waits for the next start.
    int openPosition = -1;
    for (uint32_t at = 4; at + 11 <= end; at += 11) {
        const uint8_t* d = toc.data() + at;
        int session = d[0];
        if (session != s.number) {
            if (openPosition >= 0) return false;   // a session without its last track
            s = SessionState{};
            s.number = session;
        }
        if ((d[1] >> 4) != 1) continue;
        uint8_t point = d[3];
        if (point == 0xA0) {
            if (d[8] == 0 || (count > 0 && d[8] != previousTrack + 1)) return false;
            s.first = d[8];
            discType = d[9];
        } else if (point == 0xA1) {
            if (d[8] == 0 || d[8] < s.first) return false;
            s.last = d[8];
        } else if (point == 0xA2) {
            s.leadOut = MsfToLba(d[8], d[9], d[10]);
        } else if (point >= 1 && point <= 99) {
            // A session numbered 0, a start before the first sector, starts
            // that go backwards or a lead-out before the start would all
            // give negative starts or lengths: the TOC is not used then.
            if (s.first == 0 || s.last == 0 || s.leadOut < 0 || session == 0) return false;
            int expected = count == 0 ? s.first : previousTrack + 1;
            if (point != expected || point < s.first || point > s.last) return false;
            if (count == 0) firstTrack = point;
            int position = point - firstTrack;
            if (position < 0 || position >= kMaxTracks) return false;
            int64_t start = MsfToLba(d[8], d[9], d[10]);
            if (start < 0 || start >= s.leadOut) return false;
            if (openPosition >= 0) {
                int64_t previousStart = list.tracks[openPosition].startSector;
                if (start <= previousStart) return false;
                list.tracks[openPosition].length = static_cast<int32_t>(start - previousStart);
                openPosition = -1;
            } else if (count > 0 && start <= list.tracks[count - 1].startSector + list.tracks[count - 1].length - 1) {
                return false;
            }
            image::TrackEntry& t = list.tracks[position];
            t.startSector = static_cast<int32_t>(start);
            t.session = session - 1;
            bool data = (d[1] & 0x04) != 0;
            t.mode = !data ? image::track_mode::kAudio
                           : (discType == 1 || discType == 2 || discType == 0x10 || discType == 0x20)
                                 ? image::track_mode::kMode2
                                 : image::track_mode::kMode1;
            modeFromToc[position] = true;
            if (point == s.last) t.length = static_cast<int32_t>(s.leadOut - start);
            else openPosition = position;
            previousTrack = point;
            count = position + 1;
        }
    }
    if (openPosition >= 0 || count == 0 || count < sessions) {
        list.trackCount = 0;
        return false;
    }
    list.trackCount = count;
    list.firstTrackNumber = firstTrack;
    list.sessionCount = sessions;
    list.discKind = discType;
    return true;
}

// The plain TOC (format 0, LBA).
bool ReadPlainToc(platform::FileHandle h, image::TrackList& list, uint8_t& code, const DiscInfo& info) {
    uint8_t toc[804] = {};
    uint32_t len = sizeof toc;
    if (!ScsiReadToc(h, false, 0, toc, len) || len < 4) return false;
    int first = toc[2];
    int last = toc[3];
    int count = last - first + 1;
    if (first == 0 || count < 1 || count > kMaxTracks) return false;
    uint32_t end = std::min<uint32_t>((static_cast<uint32_t>(toc[0]) << 8 | toc[1]) + 2, len);
    if (end < 4 + 8u * (static_cast<uint32_t>(count) + 1)) return false;
    int sessions = info.read && info.sessions > 0 ? static_cast<int>(std::min<uint32_t>(info.sessions, 99)) : 1;
    sessions = std::min(sessions, count);
    foundation::ByteCursor cursor(toc, end);
    bool cd = !IsDvdOrBd(code);
    if (cd && sessions != count && sessions != 1) return false;
    int built = 0;
    for (int j = 0; j < count; ++j) {
        int64_t start = static_cast<int32_t>(cursor.Be32(4 + 8 * j + 4));
        int64_t next = static_cast<int32_t>(cursor.Be32(4 + 8 * (j + 1) + 4));
        if (start < 0 || next - start <= 0) break;
        image::TrackEntry& t = list.tracks[j];
        t.startSector = static_cast<int32_t>(start);
        t.length = static_cast<int32_t>(next - start);
        t.session = sessions == 1 ? 0 : j;
        bool data = (toc[4 + 8 * j + 1] & 0x04) != 0;
        if (data && (!cd || code == media::kNoDisc)) {
            t.mode = image::track_mode::kMode1;
            list.imageSectorSize = 2048;
        } else if (data) {
            t.mode = info.read && (info.discType == 0x10 || info.discType == 0x20) ? image::track_mode::kMode2
                                                                                      : image::track_mode::kMode1;
            list.imageSectorSize = 2352;
        } else {
            t.mode = image::track_mode::kAudio;
            list.imageSectorSize = 2352;
            if (code == media::kUnknown) code = media::kCdRom;
        }
        built = j + 1;
    }
    if (built == 0) return false;
    list.trackCount = built;
    list.firstTrackNumber = first;
    list.sessionCount = sessions;
    return true;
}

// Step of the track information; false when the layout must fail.
bool ReadTrackInformation(platform::FileHandle h, image::TrackList& list, uint8_t code, const DiscInfo& info,
                          bool fromToc, const std::array<bool, kMaxTracks>& modeFromToc, bool firstTrackOnly) {
    int tocCount = list.trackCount;
    int limit = tocCount;
    if (info.read && info.lastTrackInLastSession > 0)
        limit = std::max<int>(limit, static_cast<int>(info.lastTrackInLastSession) - std::max(1, list.firstTrackNumber) + 1);
    if (firstTrackOnly && info.read && tocCount > 0) limit = 1;
    if (limit > kMaxTracks) {
        // More tracks than a track list can hold: a layout of the first 99
        // would silently lose the rest, so there is none.
        foundation::SetLastErrorText(std::u16string_view(u"The drive reports more than 99 tracks."));
        list.trackCount = 0;
        return false;
    }
    int firstNumber = std::max(1, list.firstTrackNumber);
    bool raw = list.imageSectorSize == 2352;
    int count = tocCount;
    for (int j = 0; j < limit; ++j) {
        uint8_t ti[kTrackInfoBytes] = {};
        uint32_t len = sizeof ti;
        bool ok = ScsiReadTrackInfo(h, false, 1, static_cast<uint32_t>(firstNumber + j), ti, len) && len >= 28;
        if (!ok && j == 0) {
            DriveSleep(100);
            len = sizeof ti;
            ok = ScsiReadTrackInfo(h, false, 1, static_cast<uint32_t>(firstNumber), ti, len) && len >= 28;
        }
        if (!ok) break;
        foundation::ByteCursor cursor(ti, len);
        int64_t start = cursor.Be32(8);
        int64_t size = cursor.Be32(24);
        if ((j == 0 && start != 0) || (j > 0 && start == 0) || size == 0) break;
        bool known = j < tocCount;
        if (!known) {
            if (IsCdCode(code) || !IsDvdOrBd(code)) break;
            if (info.read && j + firstNumber >= static_cast<int>(info.lastTrackInLastSession)) {
                if (info.lastSessionState == 0) break;
                bool nwaValid = (ti[7] & 1) != 0;
                int64_t nwa = cursor.Be32(12);
                if (nwaValid && nwa == start) break;
                if (nwaValid && nwa > start) size = std::min<int64_t>(size, nwa - start);
            }
        }
        image::TrackEntry& t = list.tracks[j];
        if (raw && known && t.startSector == start && t.length >= size) {
            t.postgap = static_cast<int32_t>(t.length - size);
        }
        if (raw && j > 0 && list.tracks[j - 1].session == (static_cast<int>(ti[33]) << 8 | ti[3]) - 1) {
            image::TrackEntry& previous = list.tracks[j - 1];
            if (previous.postgap == 152) {
                previous.postgap = 2;
                t.pregap = 150;
            } else if (previous.postgap == 150) {
                previous.postgap = 0;
                t.pregap = 150;
                if (ImageJobRunning() && previous.length > 2) {
                    previous.length -= 2;
                    previous.postgap = 2;
                }
            }
        }
        if (known && fromToc && t.startSector != start) break;
        t.startSector = static_cast<int32_t>(start);
        t.length = static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
        int session = (static_cast<int>(ti[33]) << 8 | ti[3]) - 1;
        t.session = std::max(0, session);
        uint8_t dataMode = ti[6] & 0x0F;
        if (IsDvdOrBd(code)) t.mode = image::track_mode::kMode1;
        else if (dataMode == 1) t.mode = image::track_mode::kMode1;
        else if (dataMode == 2) t.mode = image::track_mode::kMode2;
        else if (dataMode == 15 && !modeFromToc[j]) t.mode = image::track_mode::kAudio;
        if (t.mode == 0) t.mode = image::track_mode::kMode1;
        count = std::max(count, j + 1);
    }
    list.trackCount = count;
    if (list.firstTrackNumber == 0) list.firstTrackNumber = firstNumber;
    return true;
}

bool LayoutPass(platform::FileHandle h, image::TrackList& list, char16_t letter, bool firstTrackOnly, bool secondPass) {
    ClearLayout(list);
    uint8_t code = GetDiscMediaType(h);
    list.firstTrackNumber = 1;
    DiscInfo info = ReadInfo(h);
    list.discStatus = info.status;
    list.lastSessionState = info.lastSessionState;

    std::array<bool, kMaxTracks> modeFromToc{};
    bool fromToc = false;
    if (ReadFullToc(h, list, modeFromToc)) {
        fromToc = true;
        if (!IsKnownCode(code)) code = media::kCdRom;
        // Drives that make up a full TOC for a DVD or BD still hold 2048-byte sectors.
        list.imageSectorSize = IsDvdOrBd(code) ? 2048 : 2352;
    } else {
        ClearLayout(list);
        list.firstTrackNumber = 1;
        list.discStatus = info.status;
        list.lastSessionState = info.lastSessionState;
        modeFromToc = {};
        fromToc = ReadPlainToc(h, list, code, info);
        if (!fromToc) {
            for (int j = 0; j < kMaxTracks; ++j) list.tracks[j] = image::TrackEntry{};
            list.trackCount = 0;
        }
    }
    if (list.trackCount == 0 && g_DeviceAccessMode.load() < 2) {
        // The one-sector path has no TOC: the ISO 9660 volume size, when there is one.
        std::vector<uint8_t> pvd(2048);
        if (AspiReadSectors(h, nullptr, pvd.data(), 16, 1) && pvd[0] == 1 && std::memcmp(pvd.data() + 1, "CD001", 5) == 0) {
            uint32_t blocks = foundation::ByteCursor(pvd.data(), pvd.size()).Le32(80);
            if (blocks != 0 && blocks < 0x10000000) {
                list.trackCount = 1;
                list.sessionCount = 1;
                list.tracks[0].startSector = 0;
                list.tracks[0].length = static_cast<int32_t>(blocks);
                list.tracks[0].mode = image::track_mode::kMode1;
                list.imageSectorSize = 2048;
            }
        }
    }
    if (list.trackCount == 0) {
        if (info.read &&
            (info.status == 0 || (info.sessions == 1 && info.lastTrackInLastSession == 1 && info.lastSessionState == 0))) {
            list.imageSectorSize = 2048;
        } else if (!info.read && IsKnownCode(code)) {
            list.imageSectorSize = 0;
        } else if (!IsKnownCode(code)) {
            return false;
        }
    }
    if (IsKnownCode(code) || list.trackCount == 0 || secondPass) {
        if (list.imageSectorSize == 0 && IsDvdOrBd(code)) list.imageSectorSize = 2048;
        if (!ReadTrackInformation(h, list, code, info, fromToc, modeFromToc, firstTrackOnly)) return false;
    }
    if (list.trackCount > 0) {
        list.sessionCount = list.tracks[list.trackCount - 1].session + 1;
        if (list.imageSectorSize == 0) list.imageSectorSize = IsDvdOrBd(code) ? 2048 : 2352;
    }
    list.mediaCode = code;
    list.sourceIsVirtualDrive = SectorSource().IsVirtualDriveLetter(letter);
    if (list.trackCount == 1 && (code == media::kDvdRam || code == media::kDvdPlusRw || code == media::kDvdPlusRwDl ||
                                 code == media::kBdRe || code == media::kBdReDl))
        GetDataLengthFromVolume(h, code, list);
    if (code == media::kDvdRwRestricted || ((code == media::kBdRe || code == media::kBdReDl) && list.discStatus == 1)) {
        list.discStatus = 2;
        list.lastSessionState = 3;
    }
    list.cookedReadsOnly = !CanReadRaw(h, &list);
    for (int j = 0; j < list.trackCount; ++j) list.tracks[j].sectorSize = list.imageSectorSize;
    return true;
}

}  // namespace

bool CanReadRaw(platform::FileHandle h, const image::TrackList* layout) {
    uint8_t code = layout ? static_cast<uint8_t>(layout->mediaCode) : media::kUnknown;
    if (IsDvdOrBd(code) && code != media::kUnknown) return false;
    if (IsCdCode(code)) return true;
    std::vector<uint8_t> sector(2352);
    uint32_t len = 2352;
    uint32_t got = 0;
    return ScsiReadCd(h, 0, 1, sector.data(), len, got) && got == 2352;
}

bool ReadDiscLayout(platform::FileHandle h, image::TrackList& trackList, char16_t letter, bool firstTrackOnly) {
    if (!LayoutPass(h, trackList, letter, firstTrackOnly, false)) return false;
    if (trackList.trackCount > 0 && trackList.mediaCode == media::kNoDisc)
        return LayoutPass(h, trackList, letter, firstTrackOnly, true);
    return true;
}

bool ReadDiscLayoutByLetter(char16_t letter, image::TrackList& trackList) {
    platform::FileHandle h = OpenOpticalDevice(letter);
    if (!h) return false;
    bool ok = ReadDiscLayout(h, trackList, letter, false);
    CloseOpticalDevice(h);
    return ok;
}

bool GetDataLengthFromVolume(platform::FileHandle h, uint8_t code, image::TrackList& trackList) {
    std::vector<uint8_t> sector(2048);
    uint32_t len = 2048;
    uint32_t got = 0;
    if (!ScsiRead10(h, 16, 1, sector.data(), len, got) || got != 2048) return false;
    if (sector[0] != 1 || std::memcmp(sector.data() + 1, "CD001", 5) != 0) return false;
    uint64_t blocks = foundation::ByteCursor(sector.data(), sector.size()).Le32(80);
    uint64_t unit = (code >= 32 && code <= 47) ? 32 : 16;
    // In 64 bits: 0xFFFFFFF9 rounded up must not wrap to 0.
    uint64_t size = (blocks + unit - 1) / unit * unit;
    if (size < 18) return false;
    if (trackList.trackCount == 0 || size < static_cast<uint64_t>(trackList.tracks[0].length) ||
        trackList.trackCount == 1) {
        if (trackList.trackCount == 1 && size >= static_cast<uint64_t>(trackList.tracks[0].length)) return true;
        trackList.trackCount = 1;
        trackList.sessionCount = 1;
        trackList.tracks[0].startSector = 0;
        trackList.tracks[0].session = 0;
        trackList.tracks[0].mode = image::track_mode::kMode1;
        trackList.tracks[0].length = static_cast<int32_t>(std::min<uint64_t>(size, INT32_MAX));
    }
    return true;
}

bool GetMediaCapacity(platform::FileHandle h, uint8_t code, int written, uint32_t& total, uint32_t& nextWritable,
                      uint32_t& freeBlocks) {
    if (written != 0 && written != 1) return false;
    DiscInfo info = ReadInfo(h);
    uint32_t blocks = 0;
    uint32_t parameter = 0;
    switch (code) {
        case 1: case 2: case 3: case 16: case 17: case 21: case 23: case 24:
        case 32: case 33: case 34: case 35: case 36: case 37: case 38: {
            if (!info.read) return false;
            uint8_t ti[kTrackInfoBytes];
            uint32_t len = sizeof ti;
            if (!ScsiReadTrackInfo(h, false, 1, std::max<uint32_t>(info.lastTrackInLastSession, 1), ti, len) || len < 28)
                return false;
            foundation::ByteCursor c(ti, len);
            uint64_t end = static_cast<uint64_t>(c.Be32(8)) + c.Be32(24);
            total = static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX));
            if (ti[7] & 1) {
                uint32_t nwa = 0;
                uint32_t fb = 0;
                if ((code == 2 || code == 3) &&
                    ReadNextWritableAddress(h, std::max<uint32_t>(info.lastTrackInLastSession, 1), false, nwa, fb)) {
                    nextWritable = nwa;
                } else {
                    nextWritable = c.Be32(12);
                }
                freeBlocks = c.Be32(16);
            }
            return true;
        }
        case 18: case 19: case 25: {
            if (written == 1 && info.status != 0) {
                uint8_t ti[kTrackInfoBytes];
                uint32_t len = sizeof ti;
                if (!ScsiReadTrackInfo(h, false, 1, std::max<uint32_t>(info.lastTrackInLastSession, 1), ti, len) ||
                    len < 28)
                    return false;
                foundation::ByteCursor c(ti, len);
                uint64_t used = static_cast<uint64_t>(c.Be32(8)) + c.Be32(24);
                if (FindFormatCapacity(h, 0x13, 0, blocks, parameter)) used += blocks;
                total = static_cast<uint32_t>(std::min<uint64_t>(used, UINT32_MAX));
            } else {
                if (!FindFormatCapacity(h, 0x15, 0, blocks, parameter)) return false;
                total = blocks;
            }
            freeBlocks = total;
            return true;
        }
        case 20:
            if (written) return ReadCapacity2048(h, total);
            if (!FindFormatCapacity(h, 0x00, 0, blocks, parameter)) return false;
            total = blocks;
            return true;
        case 22: case 26:
            if (written) return ReadCapacity2048(h, total);
            if (!FindFormatCapacity(h, 0x26, 0, blocks, parameter)) return false;
            total = blocks;
            return true;
        case 39: case 40:
            if (written) return ReadCapacity2048(h, total);
            if (!FindFormatCapacity(h, 0x31, 0, blocks, parameter) && !FindFormatCapacity(h, 0x30, 1, blocks, parameter))
                return false;
            total = blocks;
            return true;
        default:
            return false;
    }
}

}  // namespace optical
