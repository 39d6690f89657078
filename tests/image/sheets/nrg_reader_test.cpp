// NRG images. No Debian tool writes NRG, so a small generator here wraps a
// genisoimage ISO (and synthetic audio) into the published layouts: footers
// "NERO" (32-bit offset) and "NER5" (64-bit), DAOI/DAOX with CUES/CUEX for
// disc-at-once, ETNF/ETN2 for track-at-once. Every generated file is first
// read by libcdio (`cd-info --nrg-file`), and nrg2iso must extract the ISO our
// reader sees.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "image/sectors/container_services.h"
#include "image/detect/format_detect.h"
#include "image/document/image_context.h"
#include "image/sheets/nrg_reader.h"
#include "image/sectors/sector_io.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

void Be32(Bytes& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Be64(Bytes& out, uint64_t v) {
    for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint8_t Bcd(int n) { return static_cast<uint8_t>((n / 10) * 16 + n % 10); }
void Chunk(Bytes& out, const char* id, const Bytes& data) {
    out.insert(out.end(), id, id + 4);
    Be32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

struct FixtureTrack {
    uint8_t mode;      // 0 Mode 1, 3 Mode 2 (2336), 7 audio
    uint16_t size;     // stored sector size
    Bytes data;
};

enum class Layout { Dao, Etn };

// The published layout: disc-at-once images keep the first track's 150-sector
// pregap in the file; track-at-once images start with the first track's data.
Bytes MakeNrg(int version, Layout layout, const std::vector<FixtureTrack>& tracks) {
    bool v2 = version == 2;
    Bytes body;
    struct Placed {
        uint64_t index0, index1, end;
        int32_t lba;
    };
    std::vector<Placed> placed;
    int32_t lba = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        Placed p{};
        p.index0 = body.size();
        if (layout == Layout::Dao && i == 0) body.resize(body.size() + 150u * tracks[i].size, 0);
        p.index1 = body.size();
        body.insert(body.end(), tracks[i].data.begin(), tracks[i].data.end());
        p.end = body.size();
        p.lba = lba;
        lba += static_cast<int32_t>((p.end - p.index1) / tracks[i].size);
        placed.push_back(p);
    }
    auto address = [&](Bytes& out, int32_t sector) {
        if (v2) {
            Be32(out, static_cast<uint32_t>(sector));
        } else {
            int32_t m = sector + 150;
            out.push_back(0);
            out.push_back(Bcd(m / 4500));
            out.push_back(Bcd(m / 75 % 60));
            out.push_back(Bcd(m % 75));
        }
    };
    Bytes chunks;
    if (layout == Layout::Dao) {
        Bytes cue;
        uint8_t firstControl = tracks[0].mode == 7 ? 0x01 : 0x41;
        cue.insert(cue.end(), {firstControl, 0, 0, 0});
        address(cue, -150);
        for (size_t i = 0; i < tracks.size(); ++i) {
            uint8_t control = tracks[i].mode == 7 ? 0x01 : 0x41;
            cue.insert(cue.end(), {control, Bcd(static_cast<int>(i) + 1), 0, 0});
            address(cue, i == 0 ? -150 : placed[i].lba);
            cue.insert(cue.end(), {control, Bcd(static_cast<int>(i) + 1), 1, 0});
            address(cue, placed[i].lba);
        }
        cue.insert(cue.end(), {0x01, 0xAA, 1, 0});
        address(cue, lba);
        Chunk(chunks, v2 ? "CUEX" : "CUES", cue);

        Bytes dao;
        Bytes header(18, 0);   // catalog number and 3 bytes; byte 4 of them (disc mode) stays 0
        header[15] = tracks[0].mode == 7 ? 0 : 1;
        header[16] = 1;
        header[17] = static_cast<uint8_t>(tracks.size());
        for (size_t i = 0; i < tracks.size(); ++i) {
            Bytes entry(12, 0);   // ISRC
            entry.push_back(static_cast<uint8_t>(tracks[i].size >> 8));
            entry.push_back(static_cast<uint8_t>(tracks[i].size));
            // The mode byte, repeated two bytes on where libcdio looks for it.
            entry.insert(entry.end(), {tracks[i].mode, 0, tracks[i].mode, 1});
            if (v2) {
                Be64(entry, placed[i].index0);
                Be64(entry, placed[i].index1);
                Be64(entry, placed[i].end);
            } else {
                Be32(entry, static_cast<uint32_t>(placed[i].index0));
                Be32(entry, static_cast<uint32_t>(placed[i].index1));
                Be32(entry, static_cast<uint32_t>(placed[i].end));
            }
            header.insert(header.end(), entry.begin(), entry.end());
        }
        Be32(dao, static_cast<uint32_t>(header.size() + 4));
        dao.insert(dao.end(), header.begin(), header.end());
        Chunk(chunks, v2 ? "DAOX" : "DAOI", dao);
    } else {
        Bytes etn;
        for (size_t i = 0; i < tracks.size(); ++i) {
            uint64_t length = placed[i].end - placed[i].index1;
            int32_t start = static_cast<int32_t>(placed[i].index1 / tracks[i].size);
            if (v2) {
                Be64(etn, placed[i].index1);
                Be64(etn, length);
                Be32(etn, tracks[i].mode);
                Be32(etn, static_cast<uint32_t>(start));
                Be64(etn, 0);
            } else {
                Be32(etn, static_cast<uint32_t>(placed[i].index1));
                Be32(etn, static_cast<uint32_t>(length));
                Be32(etn, tracks[i].mode);
                Be32(etn, static_cast<uint32_t>(start));
                Be32(etn, 0);
            }
        }
        Chunk(chunks, v2 ? "ETN2" : "ETNF", etn);
    }
    Bytes four;
    Be32(four, static_cast<uint32_t>(tracks.size()));
    Chunk(chunks, "SINF", four);
    Bytes mtyp;
    Be32(mtyp, 1);
    Chunk(chunks, "MTYP", mtyp);
    chunks.insert(chunks.end(), {'E', 'N', 'D', '!', 0, 0, 0, 0});

    Bytes file = body;
    uint64_t blockOffset = file.size();
    file.insert(file.end(), chunks.begin(), chunks.end());
    if (v2) {
        file.insert(file.end(), {'N', 'E', 'R', '5'});
        Be64(file, blockOffset);
    } else {
        file.insert(file.end(), {0, 0, 0, 0, 'N', 'E', 'R', 'O'});
        Be32(file, static_cast<uint32_t>(blockOffset));
    }
    return file;
}

// Mode 2 Form 1 sectors without sync and header: sub-header twice, data, EDC/ECC room.
Bytes To2336(const Bytes& iso) {
    Bytes out;
    for (size_t at = 0; at < iso.size(); at += 2048) {
        out.insert(out.end(), {0, 0, 8, 0, 0, 0, 8, 0});
        out.insert(out.end(), iso.begin() + static_cast<std::ptrdiff_t>(at),
                   iso.begin() + static_cast<std::ptrdiff_t>(at + 2048));
        out.resize(out.size() + 280, 0);
    }
    return out;
}

Bytes Audio(int sectors, uint8_t seed) {
    Bytes out(static_cast<size_t>(sectors) * 2352);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 13 + seed);
    return out;
}

class NrgFixture : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "src") + " && echo hello > " +
                      qvtest::ShellQuote(dir / "src/hello.txt") + " && touch -d @1000000000 " +
                      qvtest::ShellQuote(dir / "src/hello.txt"));
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                      " && SOURCE_DATE_EPOCH=1000000000 TZ=UTC genisoimage -quiet -V NRGTEST -o d.iso src");
        iso = qvtest::ReadFileBytes(dir / "d.iso");
        ASSERT_EQ(iso.size() % 2048, 0u);
    }

    std::string Write(const std::string& name, const Bytes& bytes) {
        std::string path = dir / name;
        qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
        return path;
    }

    struct CdInfo {
        std::vector<int32_t> lsns;
        std::string output;
    };
    static CdInfo RunCdInfo(const std::string& path) {
        CdInfo info;
        info.output = qvtest::RunOk("cd-info --no-header --no-device-info --no-cddb --nrg-file " +
                                    qvtest::ShellQuote(path) + " --iso9660");
        std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) )");
        std::istringstream in(info.output);
        for (std::string l; std::getline(in, l);) {
            std::smatch m;
            if (std::regex_search(l, m, line) && std::stoi(m[1]) < 100) info.lsns.push_back(std::stoi(m[2]));
        }
        return info;
    }

    qvtest::TempDir dir;
    Bytes iso;
};

struct Loaded {
    image::NrgImage image;
    foundation::UniqueFile file;
};

Loaded Load(const std::string& path) {
    Loaded loaded;
    loaded.file.reset(platform::FileOpen(U16(path), platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    EXPECT_TRUE(loaded.file);
    image::LoadNrgImage(loaded.file.get(), U16(path), loaded.image);
    return loaded;
}

void ExpectReadsIso(const Loaded& loaded, const Bytes& iso) {
    ASSERT_TRUE(loaded.image.state);
    Bytes sector(2048);
    int32_t sectors = static_cast<int32_t>(iso.size() / 2048);
    for (int32_t s = 0; s < sectors; ++s) {
        ASSERT_EQ(image::ReadNrgSector(*loaded.image.state, loaded.file.get(), s, sector.data()), 2048) << s;
        ASSERT_TRUE(std::equal(sector.begin(), sector.end(), iso.begin() + s * 2048)) << "sector " << s;
    }
    EXPECT_EQ(image::ReadNrgSector(*loaded.image.state, loaded.file.get(), sectors, sector.data()), -1);
    EXPECT_EQ(image::ReadNrgSector(*loaded.image.state, loaded.file.get(), -1, sector.data()), -1);
}

TEST_F(NrgFixture, SingleDataTrackInEveryLayout) {
    struct Row {
        const char* name;
        int version;
        Layout layout;
        bool mode2;
        bool libcdioReadsFileSystem;   // libcdio reads 2048-byte NRG sectors 16 bytes off
        bool nrg2iso;                  // nrg2iso knows only the disc-at-once 2048-byte layout
    };
    const Row rows[] = {
        {"NER5 DAOX CUEX mode 2", 2, Layout::Dao, true, true, false},
        {"NERO ETNF mode 2", 1, Layout::Etn, true, true, false},
        {"NER5 DAOX CUEX mode 1", 2, Layout::Dao, false, false, true},
        {"NERO DAOI CUES mode 1", 1, Layout::Dao, false, false, true},
        {"NER5 ETN2 mode 1", 2, Layout::Etn, false, false, false},
        {"NERO ETNF mode 1", 1, Layout::Etn, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FixtureTrack track = row.mode2 ? FixtureTrack{3, 2336, To2336(iso)} : FixtureTrack{0, 2048, iso};
        std::string path = Write("d.nrg", MakeNrg(row.version, row.layout, {track}));

        CdInfo theirs = RunCdInfo(path);
        ASSERT_EQ(theirs.lsns.size(), 1u) << theirs.output;
        EXPECT_EQ(theirs.lsns[0], 0);
        if (row.libcdioReadsFileSystem) {
            EXPECT_NE(theirs.output.find("ISO 9660: " + std::to_string(iso.size() / 2048) + " blocks"),
                      std::string::npos)
                << theirs.output;
        }
        if (row.nrg2iso) {
            qvtest::RunOk("nrg2iso " + qvtest::ShellQuote(path) + " " + qvtest::ShellQuote(dir / "out.iso"));
            Bytes extracted = qvtest::ReadFileBytes(dir / "out.iso");
            ASSERT_GE(extracted.size(), iso.size());
            EXPECT_TRUE(std::equal(iso.begin(), iso.end(), extracted.begin()));
        }

        Loaded loaded = Load(path);
        EXPECT_EQ(loaded.image.formatCode, image::format_code::kNrg);
        EXPECT_FALSE(loaded.image.list) << "one data track needs no track list";
        ExpectReadsIso(loaded, iso);
    }
}

TEST_F(NrgFixture, AudioTracksMakeAnAudioCd) {
    Bytes t1 = Audio(200, 1), t2 = Audio(120, 2);
    std::string path = Write("a.nrg", MakeNrg(2, Layout::Dao, {{7, 2352, t1}, {7, 2352, t2}}));
    CdInfo theirs = RunCdInfo(path);
    ASSERT_EQ(theirs.lsns.size(), 2u) << theirs.output;
    EXPECT_EQ(theirs.lsns[0], 0);

    Loaded loaded = Load(path);
    EXPECT_EQ(loaded.image.formatCode, image::format_code::kAudioCd);
    ASSERT_TRUE(loaded.image.list);
    const image::TrackList& list = *loaded.image.list;
    ASSERT_EQ(list.trackCount, 2);
    EXPECT_EQ(list.firstFilePath, U16(path));
    EXPECT_EQ(list.tracks[0].mode, image::track_mode::kAudio);
    EXPECT_EQ(list.tracks[0].startSector, 0);
    EXPECT_EQ(list.tracks[0].length, 200);
    EXPECT_EQ(list.tracks[0].dataOffset, 150 * 2352);
    EXPECT_EQ(list.tracks[1].startSector, 200);
    EXPECT_EQ(list.tracks[1].length, 120);
    EXPECT_EQ(list.tracks[1].dataOffset, 350 * 2352);
    EXPECT_EQ(list.tracks[1].endOffset, 470 * 2352);
    EXPECT_EQ(image::GetTrackListEndSector(&list), 320);
    // The track's bytes are where the list says.
    Bytes file = qvtest::ReadFileBytes(path);
    EXPECT_TRUE(std::equal(t2.begin(), t2.end(), file.begin() + list.tracks[1].dataOffset));
}

TEST_F(NrgFixture, DataAndAudioIsMixed) {
    Bytes audio = Audio(100, 7);
    std::string path = Write("m.nrg", MakeNrg(2, Layout::Dao, {{3, 2336, To2336(iso)}, {7, 2352, audio}}));
    CdInfo theirs = RunCdInfo(path);
    ASSERT_EQ(theirs.lsns.size(), 2u) << theirs.output;
    int32_t isoSectors = static_cast<int32_t>(iso.size() / 2048);
    EXPECT_EQ(theirs.lsns[1], isoSectors);
    EXPECT_NE(theirs.output.find("ISO 9660"), std::string::npos);

    Loaded loaded = Load(path);
    EXPECT_EQ(loaded.image.formatCode, image::format_code::kNrg);
    EXPECT_TRUE(loaded.image.mixed);
    ASSERT_TRUE(loaded.image.list);
    EXPECT_EQ(loaded.image.list->trackCount, 2);
    EXPECT_EQ(loaded.image.list->tracks[0].mode, image::track_mode::kMode2);
    EXPECT_EQ(loaded.image.list->tracks[1].startSector, theirs.lsns[1]);
    EXPECT_EQ(image::HasMixedTracks(loaded.image.list.get(), 0), 1);
    ExpectReadsIso(loaded, iso);
}

TEST_F(NrgFixture, OpensAsDocumentAndProbesTheFileSystem) {
    std::string path = Write("d.nrg", MakeNrg(2, Layout::Dao, {{0, 2048, iso}}));
    auto ctx = std::make_unique<image::ImageContext>();
    ctx->imagePath = U16(path);
    ctx->imageHandle.reset(platform::FileOpen(ctx->imagePath, platform::FileAccess::Read,
                                              platform::FileDisposition::OpenExisting));
    ctx->imageSize = static_cast<int64_t>(qvtest::ReadFileBytes(path).size());
    EXPECT_EQ(image::OpenNrgImageReader(*ctx), 0);
    EXPECT_EQ(ctx->formatCode, image::format_code::kNrg);
    EXPECT_EQ(ctx->endSector, static_cast<int32_t>(iso.size() / 2048));
    EXPECT_TRUE(ctx->nrgState);
    EXPECT_EQ(ctx->nrgSource, 1);
}

// Format detection reaches the reader by the image's name and by its footer,
// and the document's sector reads go through the NRG row.
TEST_F(NrgFixture, FormatDetectionOpensItAndSectorsReadThroughIt) {
    struct Row {
        const char* name;
        std::string file;
        std::vector<FixtureTrack> tracks;
        int32_t format;
        bool readsIso;
    };
    const std::vector<Row> rows = {
        {"Mode 2 data", "m2.nrg", {{3, 2336, To2336(iso)}}, image::format_code::kNrg, true},
        {"data and audio", "mixed.nrg", {{0, 2048, iso}, {7, 2352, Audio(100, 3)}}, image::format_code::kNrg, true},
        {"audio only", "audio.nrg", {{7, 2352, Audio(100, 3)}, {7, 2352, Audio(50, 4)}}, image::format_code::kAudioCd,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = Write(row.file, MakeNrg(2, Layout::Dao, row.tracks));
        CdInfo theirs = RunCdInfo(path);
        ASSERT_EQ(theirs.lsns.size(), row.tracks.size()) << theirs.output;
        auto ctx = std::make_unique<image::ImageContext>();
        ctx->imagePath = U16(path);
        ctx->imageHandle.reset(platform::FileOpen(ctx->imagePath, platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
        ctx->imageSize = static_cast<int64_t>(qvtest::ReadFileBytes(path).size());
        ctx->primaryDescriptorSector = ctx->jolietDescriptorSector = ctx->bootRecordSector = -1;
        image::DetectImageFormat(*ctx, -1);
        EXPECT_EQ(ctx->formatCode, row.format);
        EXPECT_TRUE(ctx->nrgState);
        if (!row.readsIso) {
            ASSERT_TRUE(ctx->trackList);
            EXPECT_EQ(ctx->trackList->trackCount, 2);
            continue;
        }
        EXPECT_EQ(ctx->mixedTracks, row.tracks.size() > 1 ? 1 : 0);
        Bytes sectors(2048 * 2);
        ASSERT_EQ(image::ReadImageSectors(*ctx, 16, sectors.data(), 2), 2);
        EXPECT_TRUE(std::equal(sectors.begin(), sectors.end(), iso.begin() + 16 * 2048));
    }
}

TEST_F(NrgFixture, DamagedImagesAreRefused) {
    Bytes good = MakeNrg(2, Layout::Dao, {{0, 2048, iso}});
    auto footerOffset = [](const Bytes& b) {
        uint64_t v = 0;
        for (size_t i = b.size() - 8; i < b.size(); ++i) v = (v << 8) | b[i];
        return v;
    };
    uint64_t block = footerOffset(good);
    struct Row {
        const char* name;
        std::function<void(Bytes&)> damage;
    };
    const std::vector<Row> rows = {
        {"chunk block of 4097 bytes", [&](Bytes& b) {
             uint64_t at = b.size() - 4097;
             for (int i = 0; i < 8; ++i) b[b.size() - 8 + i] = static_cast<uint8_t>(at >> (8 * (7 - i)));
         }},
        {"footer offset past the file", [&](Bytes& b) { b[b.size() - 8] = 0x7F; }},
        {"no footer", [&](Bytes& b) { b[b.size() - 12] = 'X'; }},
        {"DAOX length runs past the block", [&](Bytes& b) {
             // CUEX (8 + 8 * 4 bytes) comes first, then DAOX.
             size_t dao = static_cast<size_t>(block) + 8 + 32;
             b[dao + 4] = 0x7F;
         }},
        {"track end past the chunk block", [&](Bytes& b) {
             size_t end = static_cast<size_t>(block) + 8 + 32 + 8 + 22 + 18 + 16;
             b[end + 2] = 0x7F;
         }},
        {"unknown track mode", [&](Bytes& b) {
             size_t mode = static_cast<size_t>(block) + 8 + 32 + 8 + 22 + 14;
             b[mode] = 0x42;
         }},
        {"CUEX lead-in not at -150", [&](Bytes& b) {
             b[static_cast<size_t>(block) + 8 + 7] = 0;
             // Without its CUE points the layout still reads from the DAO
             // entries; damage those too to leave nothing.
             b[static_cast<size_t>(block) + 8 + 32 + 8 + 22 + 12] = 0x09;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes bad = good;
        row.damage(bad);
        std::string path = Write("bad.nrg", bad);
        Loaded loaded = Load(path);
        EXPECT_EQ(loaded.image.formatCode, -1);
        EXPECT_FALSE(loaded.image.state);
    }
}

TEST_F(NrgFixture, TwoDataTracksWithoutAudioAreNotRead) {
    std::string path = Write("dd.nrg", MakeNrg(1, Layout::Etn, {{0, 2048, iso}, {0, 2048, iso}}));
    Loaded loaded = Load(path);
    EXPECT_EQ(loaded.image.formatCode, -1);
}

}  // namespace
