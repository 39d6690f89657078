// The cue sheet of a session-at-once recording and the CD-TEXT of its lead-in,
// checked as strictly as a careful drive would: an ascending sheet of known
// data forms whose first track starts 150 sectors before the next writable
// address, and packs whose CRCs hold.

#include <cstring>

#include "soft_drive/soft_drive_bytes.h"
#include "soft_drive/soft_drive_write.h"

namespace softdrive {

uint32_t FormUnitBytes(uint8_t form) {
    switch (form & 0x3F) {
        case 0x00: case 0x01: case 0x11: case 0x21: return 2352;   // audio, raw data frames
        case 0x10: case 0x14: case 0x24: case 0x34: return 2048;   // user data, the drive makes the frame
        case 0x20: return 2336;                                     // Mode 2 without sync and header
        default: return 0;
    }
}

uint8_t CueFormAt(const WriteState& state, int64_t lba) {
    uint8_t form = 0xFF;
    for (const CueEntry& e : state.cue) {
        if (e.track == 0 || e.track == 0xAA) continue;
        if (e.lba > lba) break;
        form = e.form;
    }
    return form;
}

namespace {

bool IsDigits(const std::string& text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsIsrc(const std::string& text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return false;
    return true;
}

bool KnownTrackForm(uint8_t form) {
    switch (form) {
        case 0x00: case 0x01: case 0x10: case 0x11: case 0x20: case 0x21: return true;
        default: return false;
    }
}

bool KnownLeadForm(uint8_t form) {
    switch (form & 0x3F) {
        case 0x01: case 0x14: case 0x24: case 0x34: return true;
        default: return false;
    }
}

}  // namespace

bool ParseCueSheet(const uint8_t* data, uint32_t bytes, int firstTrack, int64_t nwa, int64_t freeBlocks,
                   WriteState& state, std::string& why) {
    if (bytes == 0 || bytes % 8 != 0 || bytes / 8 < 3) {
        why = "cue sheet size";
        return false;
    }
    std::vector<CueEntry> entries;
    std::string mcn;
    std::vector<std::pair<uint8_t, std::string>> isrc;
    uint32_t count = bytes / 8;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = data + 8 * i;
        uint8_t adr = e[0] & 0x0F;
        if (adr == 2 || adr == 3) {
            // Two entries in a row carry a catalogue number or an ISRC.
            if (i + 1 >= count || (data[8 * (i + 1)] & 0x0F) != adr) {
                why = "lone catalogue or ISRC entry";
                return false;
            }
            const uint8_t* f = e + 8;
            std::string text;
            if (adr == 2) {
                text.assign(reinterpret_cast<const char*>(e + 1), 7);
                text.append(reinterpret_cast<const char*>(f + 1), 6);
                if (f[7] != 0 || !IsDigits(text)) {
                    why = "catalogue number";
                    return false;
                }
                mcn = text;
            } else {
                text.assign(reinterpret_cast<const char*>(e + 2), 6);
                text.append(reinterpret_cast<const char*>(f + 2), 6);
                if (e[1] != f[1] || e[1] == 0 || e[1] > 99 || !IsIsrc(text)) {
                    why = "ISRC";
                    return false;
                }
                isrc.emplace_back(e[1], text);
            }
            ++i;
            continue;
        }
        if (adr != 1 || e[4] != 0 || e[6] >= 60 || e[7] >= 75) {
            why = "entry " + std::to_string(i);
            return false;
        }
        CueEntry c;
        c.ctlAdr = e[0];
        c.track = e[1];
        c.index = e[2];
        c.form = e[3];
        c.lba = (static_cast<int64_t>(e[5]) * 60 + e[6]) * 75 + e[7] - 150;
        entries.push_back(c);
    }
    if (entries.size() < 3) {
        why = "too few entries";
        return false;
    }
    const CueEntry& leadIn = entries.front();
    const CueEntry& leadOut = entries.back();
    if (leadIn.track != 0 || leadIn.index != 0 || leadIn.lba != -150 || !KnownLeadForm(leadIn.form)) {
        why = "lead-in entry";
        return false;
    }
    if (leadOut.track != 0xAA || leadOut.index != 1 || !KnownLeadForm(leadOut.form) || (leadOut.form & 0x40)) {
        why = "lead-out entry";
        return false;
    }
    int expectedTrack = firstTrack;
    int lastTrack = 0;
    int lastIndex = -1;
    int64_t lastLba = 0;
    for (size_t i = 1; i + 1 < entries.size(); ++i) {
        const CueEntry& c = entries[i];
        if (!KnownTrackForm(c.form)) {
            why = "data form of entry " + std::to_string(i);
            return false;
        }
        if (i == 1) {
            // The first track's pregap of 150 sectors ends at the next writable address.
            if (c.track != firstTrack || c.index != 0 || c.lba != nwa - 150) {
                why = "first track entry";
                return false;
            }
        } else if (c.lba <= lastLba) {
            why = "times not ascending at entry " + std::to_string(i);
            return false;
        }
        if (c.track == lastTrack) {
            if (c.index != lastIndex + 1) {
                why = "index order";
                return false;
            }
        } else {
            if (c.track != expectedTrack || c.track > 99 || c.index > 1 || (i > 1 && lastIndex < 1)) {
                why = "track order at entry " + std::to_string(i);
                return false;
            }
            ++expectedTrack;
        }
        lastTrack = c.track;
        lastIndex = c.index;
        lastLba = c.lba;
    }
    if (lastIndex < 1 || leadOut.lba <= lastLba) {
        why = "last track or lead-out time";
        return false;
    }
    if (leadOut.lba - nwa > freeBlocks) {
        why = "the session does not fit";
        return false;
    }
    for (const auto& [track, text] : isrc)
        if (track < firstTrack || track >= expectedTrack) {
            why = "ISRC of an unknown track";
            return false;
        }
    state.cue = entries;
    state.saoFirst = entries[1].lba;
    state.saoEnd = leadOut.lba;
    state.mcn = mcn;
    state.isrc = isrc;
    return true;
}

bool DecodeLeadInUnits(const uint8_t* units, uint32_t count, std::vector<uint8_t>& packs) {
    for (uint32_t u = 0; u < count; ++u) {
        const uint8_t* unit = units + static_cast<size_t>(u) * 96;
        for (int p = 0; p < 4; ++p) {
            const uint8_t* symbols = unit + 24 * p;
            uint8_t pack[18];
            for (int g = 0; g < 6; ++g) {
                uint8_t s0 = symbols[4 * g] & 0x3F, s1 = symbols[4 * g + 1] & 0x3F;
                uint8_t s2 = symbols[4 * g + 2] & 0x3F, s3 = symbols[4 * g + 3] & 0x3F;
                pack[3 * g] = static_cast<uint8_t>(s0 << 2 | s1 >> 4);
                pack[3 * g + 1] = static_cast<uint8_t>((s1 & 0x0F) << 4 | s2 >> 2);
                pack[3 * g + 2] = static_cast<uint8_t>((s2 & 0x03) << 6 | s3);
            }
            uint16_t crc = CdTextPackCrc(pack);
            if (pack[16] != static_cast<uint8_t>(crc >> 8) || pack[17] != static_cast<uint8_t>(crc)) return false;
            if ((pack[0] & 0xF0) != 0x80) return false;
            packs.insert(packs.end(), pack, pack + 18);
        }
    }
    return true;
}

}  // namespace softdrive
