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
//   write capacity=N medium=PATH export=DIR buffer=KB rate=KBps formatted=1 bg=N page5=LEN
// A write line makes the medium of the profile recordable: blank, appendable
// or closed by the disc line's status, holding capacity blocks, its written
// sectors kept in the medium file (a temporary file when none is named),
// each closed session exported to DIR. rate throttles the writes through a
// drive buffer of buffer KB; page5 makes the drive lie about the length of
// its write parameters page.
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

struct WriteDescription {
    bool enabled = false;
    uint32_t capacity = 0;
    std::string mediumFile;
    std::string exportDir;
    uint32_t bufferKb = 2048;
    uint32_t rateKbps = 0;        // 0: not throttled
    bool formatted = false;       // overwritable media: already formatted
    uint8_t backgroundFormat = 0; // DVD+RW: disc information byte 7 bits 0..1
    uint8_t page5Length = 0x32;   // the length byte the write parameters page reports
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
    WriteDescription write;
};

bool ParseManifest(std::string_view text, Manifest& manifest, std::string& error);

}  // namespace softdrive
