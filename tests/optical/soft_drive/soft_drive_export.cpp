// The recorded disc as files real tools read, rewritten whenever a session
// closes: on CD disc.bin (raw frames from LBA 0), disc.cue, disc.cdt (the
// lead-in's CD-TEXT packs, bare) and disc.iso (the user data); on DVD and BD
// disc.iso. Each file is written under a temporary name and renamed.

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "soft_drive/soft_drive.h"
#include "soft_drive/soft_drive_reply.h"
#include "soft_drive/soft_drive_sectors.h"

namespace softdrive {

namespace {

class OutFile {
public:
    explicit OutFile(std::string path) : path_(std::move(path)), part_(path_ + ".part") {
        file_ = std::fopen(part_.c_str(), "wb");
    }
    ~OutFile() {
        if (!file_) return;
        bool ok = std::fclose(file_) == 0 && good_;
        if (ok) std::rename(part_.c_str(), path_.c_str());
        else std::remove(part_.c_str());
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    void Put(const void* data, size_t size) {
        if (file_ && size && std::fwrite(data, 1, size, file_) != size) good_ = false;
    }
    void Put(const std::string& text) { Put(text.data(), text.size()); }

private:
    std::string path_, part_;
    FILE* file_ = nullptr;
    bool good_ = true;
};

std::string CueTime(int64_t lba) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(lba / 4500), static_cast<int>(lba / 75 % 60),
                  static_cast<int>(lba % 75));
    return text;
}

}  // namespace

bool SoftDrive::ReadExportFrame(int64_t lba, uint8_t* raw) {
    for (const auto& [first, end] : write_.writtenRanges)
        if (lba >= first && lba < end) {
            ssize_t got = ::pread(write_.fd, raw, kRawBytes, static_cast<off_t>((lba + 150) * kRawBytes));
            if (got == static_cast<ssize_t>(kRawBytes)) return true;
        }
    Reply reply;
    if (TrackAt(lba) && ReadRaw(lba, raw, reply)) return true;
    std::memset(raw, 0, kRawBytes);
    return false;
}

void SoftDrive::Export() {
    const std::string& dir = manifest_.write.exportDir;
    if (dir.empty()) return;
    if (manifest_.profile >= 0x10) {
        int64_t end = write_.kind == MediumKind::Overwrite ? write_.writtenEnd : DiscEnd();
        OutFile iso(dir + "/disc.iso");
        std::vector<uint8_t> sector(kUserBytes);
        for (int64_t lba = 0; lba < end; ++lba) {
            Reply reply;
            if (!TrackAt(lba) || !ReadUser(lba, sector.data(), reply)) std::memset(sector.data(), 0, kUserBytes);
            iso.Put(sector.data(), sector.size());
        }
        return;
    }
    int64_t end = DiscEnd();
    int64_t dataEnd = 0;
    for (const Track& t : tracks_)
        if (t.desc.dataMode != 0) dataEnd = t.start + t.length;
    {
        OutFile bin(dir + "/disc.bin");
        OutFile iso(dir + "/disc.iso");
        uint8_t raw[kRawBytes];
        for (int64_t lba = 0; lba < end; ++lba) {
            ReadExportFrame(lba, raw);
            bin.Put(raw, kRawBytes);
            if (lba >= dataEnd) continue;
            const Track* t = TrackAt(lba);
            static const uint8_t kZeros[kUserBytes] = {};
            const uint8_t* user = kZeros;
            if (t && t->desc.dataMode != 0 && raw[15] == 1) user = raw + 16;
            if (t && t->desc.dataMode != 0 && raw[15] == 2) user = raw + 24;
            iso.Put(user, kUserBytes);
        }
    }
    if (!write_.discPacks.empty()) {
        OutFile cdt(dir + "/disc.cdt");
        cdt.Put(write_.discPacks.data(), write_.discPacks.size());
    }
    OutFile cue(dir + "/disc.cue");
    if (!write_.mcn.empty()) cue.Put("CATALOG " + write_.mcn + "\n");
    if (!write_.discPacks.empty()) cue.Put(std::string("CDTEXTFILE \"disc.cdt\"\n"));
    cue.Put(std::string("FILE \"disc.bin\" BINARY\n"));
    for (const Track& t : tracks_) {
        const RecordedTrack* r = nullptr;
        for (const RecordedTrack& k : write_.recorded)
            if (k.number == t.number) r = &k;
        char head[64];
        std::snprintf(head, sizeof head, "  TRACK %02d %s\n", t.number,
                      t.desc.dataMode == 0 ? "AUDIO" : t.desc.dataMode == 1 ? "MODE1/2352" : "MODE2/2352");
        cue.Put(std::string(head));
        if (r && !r->isrc.empty()) cue.Put("    ISRC " + r->isrc + "\n");
        if (r && r->index0 >= 0) cue.Put("    INDEX 00 " + CueTime(r->index0) + "\n");
        cue.Put("    INDEX 01 " + CueTime(t.start) + "\n");
    }
}

}  // namespace softdrive
