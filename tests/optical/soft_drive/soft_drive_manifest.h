#pragma once
// A disc in the software drive, described in a few lines of text:
//   profile 0x0008                      current profile (0 = no disc)
//   profiles 0x0008,0x0009,0x000A       what the drive can handle (default: the current one)
//   drive vendor=QVSOFT product=SOFTMMC revision=1.00
//   disc status=2 last=3 erasable=0 type=0x00 nwa=N free=N book=N layers=N bd=BDO
//   atip rewritable=1
//   track session=1 control=4 mode=1 start=0 length=N file=PATH sector=2048 offset=0
//   feature code=0x1E current=1 data=02
//   speeds read=7056 write=7056,3528 current=3528 readcaps=0x3B writecaps=0x37
//   format type=0x26 blocks=2295104
//   cdtext track=0 title=Album performer=Band   ('_' stands for a space)
// Tracks follow each other unless a start is given; a length of 0 comes from
// the file's size. mode: 0 audio, 1 Mode 1, 2 Mode 2 Form 1.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace softdrive {

struct TrackDescription {
    int session = 1;
    uint8_t control = 4;
    uint8_t dataMode = 1;
    int64_t start = -1;
    uint32_t length = 0;
    std::string file;
    uint32_t fileSectorSize = 2048;
    uint64_t fileOffset = 0;
};

struct FeatureDescription {
    uint16_t code = 0;
    bool current = true;
    uint8_t version = 0;
    std::vector<uint8_t> data;
};

// One CD-TEXT string: pack type 0x80 title, 0x81 performer, 0x82 songwriter,
// 0x83 composer, 0x84 arranger, 0x85 message; track 0 is the disc.
struct CdTextDescription {
    uint8_t packType = 0x80;
    uint8_t track = 0;
    std::string text;
};

struct FormatDescription {
    uint8_t type = 0;
    uint32_t blocks = 0;
    uint32_t parameter = 0;
};

constexpr uint8_t kBookByProfile = 0xFF;

struct Manifest {
    std::string vendor = "QVSOFT";
    std::string product = "SOFTWARE MMC";
    std::string revision = "1.00";
    uint16_t profile = 0x0008;
    std::vector<uint16_t> profiles;
    uint8_t discStatus = 2;        // 0 empty, 1 incomplete, 2 complete
    uint8_t lastSessionState = 3;  // 0 empty, 1 incomplete, 3 complete
    bool erasable = false;
    uint8_t discType = 0x00;
    int64_t nwa = -1;              // next writable address of the open track; -1 none
    uint32_t freeBlocks = 0;
    uint8_t bookType = 0xFF;       // 0xFF: the book of the profile
    uint8_t layers = 1;
    std::string bdType;            // "BDO", "BDW", "BDR"
    bool atip = false;
    bool atipRewritable = false;
    std::vector<TrackDescription> tracks;
    std::vector<FeatureDescription> features;
    uint16_t readSpeed = 7056;
    std::vector<uint16_t> writeSpeeds;
    uint16_t currentWriteSpeed = 0;
    uint8_t readCaps = 0x3B;
    uint8_t writeCaps = 0x00;
    std::vector<FormatDescription> formats;
    std::vector<CdTextDescription> cdText;
};

bool ParseManifest(std::string_view text, Manifest& manifest, std::string& error);

}  // namespace softdrive
