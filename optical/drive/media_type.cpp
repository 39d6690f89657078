// The medium in the drive and what the drive can do with media.

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/byte_cursor.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"

namespace optical {
namespace {

struct ProfileRow {
    uint16_t profile;
    uint8_t code;
};
constexpr ProfileRow kProfiles[] = {
    {0x0000, media::kNoDisc},   {0x0008, media::kCdRom},         {0x0009, media::kCdR},
    {0x000A, media::kCdRw},     {0x0010, media::kDvdRom},        {0x0011, media::kDvdR},
    {0x0012, media::kDvdRam},   {0x0013, media::kDvdRwRestricted}, {0x0014, media::kDvdRwSequential},
    {0x0015, media::kDvdRDl},   {0x0016, media::kDvdRDl},        {0x001A, media::kDvdPlusRw},
    {0x001B, media::kDvdPlusR}, {0x002A, media::kDvdPlusRwDl},   {0x002B, media::kDvdPlusRDl},
    {0x0040, media::kBdRom},    {0x0041, media::kBdR},           {0x0042, media::kBdRRandom},
    {0x0043, media::kBdRe},     {0x0050, media::kHdDvdRom},      {0x0051, media::kHdDvdR},
    {0x0052, media::kHdDvdRam},
};

uint8_t CodeOfProfile(uint16_t profile) {
    for (const ProfileRow& row : kProfiles)
        if (row.profile == profile) return row.code;
    return media::kUnknown;
}

bool IsBdCode(uint8_t code) { return code >= 32 && code <= 47; }

}  // namespace

uint8_t GetDiscMediaType(platform::FileHandle h) {
    uint8_t config[1024];
    uint32_t len = sizeof config;
    bool answered = ScsiGetConfiguration(h, 0, 0, config, len) && len >= 8;
    uint16_t profile = answered ? static_cast<uint16_t>(config[6] << 8 | config[7]) : 0;
    uint8_t code = answered ? CodeOfProfile(profile) : media::kNoDisc;

    if (!answered || code == media::kCdRom) {
        uint8_t atip[32];
        uint32_t atipLen = sizeof atip;
        if (ScsiReadToc(h, true, 4, atip, atipLen) && atipLen >= 4 + 5) {
            uint32_t field = static_cast<uint32_t>(atip[0]) << 8 | atip[1];
            if (field + 2 >= 4 + 5) code = (atip[6] & 0x40) ? media::kCdRw : media::kCdR;
        }
    }
    if (code == media::kNoDisc || code == media::kDvdRom || code == media::kUnknown) {
        // Every probe asks for the feature to be current: a pressed DVD in a
        // DVD+RW drive must not read as DVD+RW.
        uint8_t probed = 0;
        if (IsFeatureCurrent(h, 0x3B, 16)) probed = media::kDvdPlusRDl;
        else if (IsFeatureCurrent(h, 0x2A, 16)) probed = media::kDvdPlusRw;
        else if (IsFeatureCurrent(h, 0x2B, 16)) probed = media::kDvdPlusR;
        else if (IsFeatureCurrent(h, 0x2F, 16)) {
            uint8_t info[42];
            uint32_t infoLen = sizeof info;
            if (ScsiReadDiscInfo(h, 0, info, infoLen) && infoLen >= 3 && (info[2] & 0x10))
                probed = IsFeatureCurrent(h, 0x2C, 16) ? media::kDvdRwRestricted : media::kDvdRwSequential;
        }
        if (probed) {
            code = probed;
        } else {
            std::vector<uint8_t> structure(2052);
            uint32_t sLen = static_cast<uint32_t>(structure.size());
            if (ScsiReadDiscStructure(h, 0, 0, 0, 0, structure.data(), sLen) && sLen >= 7) {
                uint8_t book = structure[4] >> 4;
                bool dualLayer = ((structure[6] >> 5) & 3) == 1;
                switch (book) {
                    case 0: code = media::kDvdRom; break;
                    case 1: code = media::kDvdRam; break;
                    case 2: code = dualLayer && (structure[6] & 0x0F) == 2 ? media::kDvdRDl : media::kDvdR; break;
                    case 3: code = media::kDvdRwSequential; break;
                    case 4: code = media::kHdDvdRom; break;
                    case 5: code = media::kHdDvdRam; break;
                    case 6: code = media::kHdDvdR; break;
                    case 9: code = media::kDvdPlusRw; break;
                    case 10: code = media::kDvdPlusR; break;
                    case 13: code = media::kDvdPlusRwDl; break;
                    case 14: code = media::kDvdPlusRDl; break;
                    default: break;
                }
            }
        }
    }
    if (IsBdCode(code) || code == media::kUnknown) {
        std::vector<uint8_t> di(4100);
        uint32_t dLen = static_cast<uint32_t>(di.size());
        // Only a reply that holds the unit's identifier and its layer byte counts.
        if (ScsiReadDiscStructure(h, 1, 0, 0, 0, di.data(), dLen) && dLen > 16 && di[4] == 'D' && di[5] == 'I') {
            if (di[12] == 'B' && di[13] == 'D') {
                if (di[14] == 'O') code = media::kBdRom;
                else if (di[14] == 'W') code = media::kBdRe;
                // A random-recording BD-R keeps its own code.
                else if (di[14] == 'R' && code != media::kBdRRandom) code = media::kBdR;
            }
            if ((di[16] >> 4) == 2) {
                if (code == media::kBdRe) code = media::kBdReDl;
                else if (code == media::kBdR) code = media::kBdRDl;
                else if (code == media::kBdRRandom) code = media::kBdRDlRandom;
            }
        }
        if ((code == media::kBdR || code == media::kBdRDl) && IsFeatureCurrent(h, 0x38, 16))
            code = code == media::kBdR ? media::kBdRPow : media::kBdRDlPow;
    }
    return code;
}

const char16_t* GetMediaTypeName(uint8_t code) {
    switch (code) {
        case media::kNoDisc: return u"No Disc";
        case media::kCdRom: return u"CD-ROM";
        case media::kCdR: return u"CD-R";
        case media::kCdRw: return u"CD-RW";
        case media::kDvdRom: return u"DVD-ROM";
        case media::kDvdR: return u"DVD-R";
        case media::kDvdRwSequential: case media::kDvdRwRestricted: return u"DVD-RW";
        case media::kDvdRam: return u"DVD-RAM";
        case media::kDvdPlusR: return u"DVD+R";
        case media::kDvdPlusRw: return u"DVD+RW";
        case media::kDvdRDl: return u"DVD-R DL";
        case media::kDvdPlusRDl: return u"DVD+R DL";
        case media::kDvdRwDl: return u"DVD-RW DL";
        case media::kDvdPlusRwDl: return u"DVD+RW DL";
        case media::kBdRom: return u"BD-ROM";
        case media::kBdR: case media::kBdRPow: case media::kBdRRandom: return u"BD-R";
        case media::kBdRDl: case media::kBdRDlPow: case media::kBdRDlRandom: return u"BD-R DL";
        case media::kBdRe: return u"BD-RE";
        case media::kBdReDl: return u"BD-RE DL";
        case media::kHdDvdRom: return u"HD DVD-ROM";
        case media::kHdDvdR: return u"HD DVD-R";
        case media::kHdDvdRam: return u"HD DVD-RAM";
        default: return u"";
    }
}

namespace {

void SetProfileFlags(uint16_t profile, DriveCapabilities& c) {
    switch (profile) {
        case 0x08: c.cdRead = true; break;
        case 0x09: c.cdRRead = c.cdRWrite = c.writer = true; break;
        case 0x0A: c.cdRwRead = c.cdRwWrite = c.writer = true; break;
        case 0x10: c.dvdRead = true; break;
        case 0x11: c.dvdRRead = c.dvdRWrite = c.writer = true; break;
        case 0x12: c.dvdRamRead = c.dvdRamWrite = c.writer = true; break;
        case 0x13: case 0x14: c.dvdRwRead = c.dvdRwWrite = c.writer = true; break;
        case 0x15: case 0x16: c.dvdRDlRead = c.dvdRDlWrite = c.writer = true; break;
        case 0x1A: c.dvdPlusRwRead = c.dvdPlusRwWrite = c.writer = true; break;
        case 0x1B: c.dvdPlusRRead = c.dvdPlusRWrite = c.writer = true; break;
        case 0x2A: c.dvdPlusRwDlRead = c.dvdPlusRwDlWrite = c.writer = true; break;
        case 0x2B: c.dvdPlusRDlRead = c.dvdPlusRDlWrite = c.writer = true; break;
        case 0x40: c.bdRead = true; break;
        case 0x41: case 0x42: c.bdRRead = c.bdRWrite = c.writer = true; break;
        case 0x43: c.bdReRead = c.bdReWrite = c.writer = true; break;
        case 0x50: c.hdDvdRead = true; break;
        case 0x51: c.hdDvdRRead = c.hdDvdRWrite = c.writer = true; break;
        case 0x52: c.hdDvdRamRead = c.hdDvdRamWrite = c.writer = true; break;
        default: break;
    }
}

// One feature descriptor: byte n of its data exists only when n < 4 + its
// additional length (and the bytes received).
struct Feature {
    uint16_t code;
    const uint8_t* bytes;
    uint32_t size;   // 4 + additional length, within what arrived
    bool Bit(uint32_t n, int bit) const { return n < size && (bytes[n] >> bit) & 1; }
};

void SetFeatureFlags(const Feature& f, DriveCapabilities& c) {
    switch (f.code) {
        case 0x1E:
            c.cdRead = true;
            c.c2Pointers = f.Bit(4, 1);
            c.cdTextRead = f.Bit(4, 0);
            break;
        case 0x1F:
            c.dvdRead = true;
            if (f.Bit(6, 0)) c.dvdRDlRead = true;
            break;
        case 0x27: case 0x37: c.cdRwWrite = c.writer = true; break;
        case 0x28:
            if (f.Bit(4, 0)) c.cdRwWrite = true;
            if (f.Bit(4, 1)) c.dvdPlusRwRead = true;
            if (f.Bit(4, 2)) c.dvdPlusRwWrite = c.writer = true;
            break;
        case 0x2A:
            c.dvdPlusRwRead = true;
            if (f.Bit(4, 0)) c.dvdPlusRwWrite = c.writer = true;
            break;
        case 0x2B:
            c.dvdPlusRRead = true;
            if (f.Bit(4, 0)) c.dvdPlusRWrite = c.writer = true;
            break;
        case 0x2D: case 0x2E:
            c.cdRWrite = c.writer = true;
            if (f.Bit(4, 1)) c.cdRwWrite = true;
            break;
        case 0x2F:
            c.dvdRWrite = c.writer = true;
            if (f.Bit(4, 1)) c.dvdRwWrite = true;
            break;
        case 0x38: c.bdRWrite = c.writer = true; break;
        case 0x3A:
            c.dvdPlusRwDlRead = true;
            if (f.Bit(4, 0)) c.dvdPlusRwDlWrite = c.writer = true;
            break;
        case 0x3B:
            c.dvdPlusRDlRead = true;
            if (f.Bit(4, 0)) c.dvdPlusRDlWrite = c.writer = true;
            break;
        case 0x40:
            c.bdRead = true;
            if (f.Bit(9, 1) || f.Bit(9, 2)) c.bdReRead = true;
            if (f.Bit(17, 1)) c.bdRRead = true;
            break;
        case 0x41:
            if (f.Bit(9, 2)) c.bdReWrite = c.writer = true;
            if (f.Bit(17, 1)) c.bdRWrite = c.writer = true;
            break;
        case 0x50: c.hdDvdRead = true; break;
        case 0x51: c.hdDvdRWrite = c.writer = true; break;
        case 0x106: c.css = true; break;
        case 0x10B: c.cprm = true; break;
        case 0x108:
            if (f.size > 4) c.serialNumber.assign(reinterpret_cast<const char*>(f.bytes + 4), f.size - 4);
            break;
        case 0x10C:
            if (f.size >= 4 + 12) c.firmwareDate.assign(reinterpret_cast<const char*>(f.bytes + 4), 12);
            break;
        case 0x10D: c.aacs = true; break;
        case 0x110: c.vcps = true; break;
        default: break;
    }
    switch (f.code) {
        case 0x04: case 0x20: case 0x21: case 0x22: case 0x23: case 0x25: case 0x26: case 0x2C: case 0x33: case 0x42:
            c.writer = true;
            break;
        default: break;
    }
}

}  // namespace

bool GetDriveCapabilities(platform::FileHandle h, DriveCapabilities& c, int what, bool tolerate) {
    if (what & 1) {
        uint8_t inquiry[36] = {};
        uint32_t len = sizeof inquiry;
        if (ScsiInquiry(h, inquiry, len) && len >= 36) {
            std::memcpy(c.vendor, inquiry + 8, 8);
            std::memcpy(c.product, inquiry + 16, 16);
            std::memcpy(c.revision, inquiry + 32, 4);
        } else if (!tolerate) {
            return false;
        }
    }
    if (what & 2) {
        std::vector<uint8_t> page;
        if (ReadModePage(h, 0x2A, 0, page) && page.size() >= 8 + 4 && page[8 + 1] > 27 &&
            (page[8] & 0x3F) == 0x2A) {
            const uint8_t* p = page.data() + 8;
            c.cdRRead |= p[2] & 0x01;
            c.cdRwRead |= (p[2] >> 1) & 1;
            c.dvdRead |= (p[2] >> 3) & 1;
            c.dvdRRead |= (p[2] >> 4) & 1;
            c.dvdRamRead |= (p[2] >> 5) & 1;
            c.cdRWrite |= p[3] & 1;
            c.cdRwWrite |= (p[3] >> 1) & 1;
            c.dvdRWrite |= (p[3] >> 4) & 1;
            c.dvdRamWrite |= (p[3] >> 5) & 1;
            if (p[3] & 0x33) c.writer = true;
            c.dvdRwRead |= c.dvdRRead;
        }
        uint8_t head[8];
        uint32_t len = sizeof head;
        if (ScsiGetConfiguration(h, 0, 0, head, len) && len >= 8) {
            uint64_t total = std::min<uint64_t>((static_cast<uint64_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3]) + 4,
                                                65535);
            std::vector<uint8_t> all(static_cast<size_t>(std::max<uint64_t>(total, 8)));
            uint32_t allLen = static_cast<uint32_t>(all.size());
            if (ScsiGetConfiguration(h, 0, 0, all.data(), allLen) && allLen >= 8) {
                // Walk only what arrived, and never past the announced length.
                uint64_t announced = (static_cast<uint64_t>(all[0]) << 24 | all[1] << 16 | all[2] << 8 | all[3]) + 4;
                uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(allLen, announced));
                uint32_t at = 8;
                while (end >= 4 && at <= end - 4) {
                    uint16_t code = static_cast<uint16_t>(all[at] << 8 | all[at + 1]);
                    uint32_t size = std::min<uint32_t>(4u + all[at + 3], end - at);
                    Feature f{code, all.data() + at, size};
                    if (code == 0) {
                        for (uint32_t p = 4; p + 4 <= size; p += 4)
                            SetProfileFlags(static_cast<uint16_t>(f.bytes[p] << 8 | f.bytes[p + 1]), c);
                    } else {
                        SetFeatureFlags(f, c);
                    }
                    at += 4u + all[at + 3];
                }
            }
        }
        if (c.cdRRead || c.cdRwRead) c.cdRead = true;
    }
    return true;
}

bool IsDriveWriter(platform::FileHandle h) {
    DriveCapabilities c;
    GetDriveCapabilities(h, c, 2, true);
    return c.writer;
}

}  // namespace optical
