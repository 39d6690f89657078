// Disc layouts read through the drive layer from the software drive: discs
// made by xorriso and sox, read back sector for sector, written out as BIN/CUE
// and checked by cd-info and bchunk; media codes and capacities by manifest;
// and TOC replies that lie.

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>

#include "image/sectors/raw_sectors.h"
#include "image/sheets/track_list.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/sector_read_state.h"
#include "optical/drive/sector_reader.h"
#include "optical/scsi/scsi_command.h"
#include "soft_drive/soft_drive_fixture.h"
#include "tests/support/test_support.h"

namespace {

using softdrive::Fault;

class DiscLayoutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir;
        std::string tree = *dir_ / "tree";
        qvtest::RunOk("mkdir -p " + tree + " && seq 1 30000 > " + tree + "/numbers.txt");
        qvtest::RunOk("SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -R -V DATA -o " + *dir_ / "d.iso" + " " +
                      tree + " 2>&1");
        qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + *dir_ / "a.raw" + " synth 2 sine 440");
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override { optical::ResetSectorReadState(); }
    static uint32_t Sectors(const std::string& file, uint32_t unit) {
        return static_cast<uint32_t>(qvtest::ReadFileBytes(file).size() / unit);
    }
    static qvtest::TempDir* dir_;
};
qvtest::TempDir* DiscLayoutTest::dir_ = nullptr;

std::string Msf(int32_t lba) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", lba / 4500, lba / 75 % 60, lba % 75);
    return text;
}

TEST_F(DiscLayoutTest, MixedDiscReadsBackAsTheSourcesHoldIt) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\ndisc status=2 last=3\n"
                             "track mode=1 file=" + *dir_ / "d.iso" + "\n"
                             "track control=0 mode=0 sector=2352 file=" + *dir_ / "a.raw" + "\n"))
        << fixture.lastError;
    image::TrackList list;
    ASSERT_TRUE(optical::ReadDiscLayout(fixture.Handle(), list, u'E'));
    uint32_t dataSectors = Sectors(*dir_ / "d.iso", 2048);
    EXPECT_EQ(list.mediaCode, optical::media::kCdRom);
    ASSERT_EQ(list.trackCount, 2);
    EXPECT_EQ(list.sessionCount, 1);
    EXPECT_EQ(list.imageSectorSize, 2352);
    EXPECT_EQ(list.tracks[0].mode, image::track_mode::kMode1);
    EXPECT_EQ(list.tracks[0].startSector, 0);
    EXPECT_EQ(list.tracks[0].length, static_cast<int32_t>(dataSectors));
    EXPECT_EQ(list.tracks[1].mode, image::track_mode::kAudio);
    EXPECT_EQ(list.tracks[1].startSector, static_cast<int32_t>(dataSectors));
    EXPECT_EQ(list.tracks[1].length, 150);
    EXPECT_FALSE(list.cookedReadsOnly);

    // The whole disc, raw, through the retry layer, as a BIN with its CUE.
    uint32_t total = dataSectors + 150;
    std::vector<uint8_t> bin(static_cast<size_t>(total) * 2352);
    for (uint32_t lba = 0; lba < total; lba += 64) {
        foundation::SectorReadRequest r;
        r.device = fixture.Handle();
        r.buffer = bin.data() + static_cast<size_t>(lba) * 2352;
        r.count = std::min<uint32_t>(64, total - lba);
        r.lba = lba;
        r.raw = true;
        r.policy = 5;
        int hadError = 1;
        ASSERT_EQ(optical::ReadSectorsWithRetry(r, &hadError), 1);
        ASSERT_EQ(hadError, 0);
    }
    for (uint32_t lba = 0; lba < dataSectors; ++lba) {
        image::RawSectorInfo info;
        ASSERT_EQ(image::CheckRawSector(bin.data() + static_cast<size_t>(lba) * 2352, &info), image::RawSectorCheck::Ok)
            << "sector " << lba;
    }
    qvtest::WriteFileBytes(*dir_ / "out.bin", bin.data(), bin.size());
    qvtest::WriteFileText(*dir_ / "out.cue", "FILE \"out.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                                             "  TRACK 02 AUDIO\n    INDEX 01 " + Msf(list.tracks[1].startSector) + "\n");
    std::string info = qvtest::RunOk("cd " + dir_->path() +
                                     " && cd-info --no-header --no-device-info --no-cddb --cue-file out.cue 2>&1");
    std::regex row(R"(^\s*(\d+): \S+\s+(\d+) (data|audio|leadout))");
    std::vector<std::string> listed;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, row)) listed.push_back(m[1].str() + " " + std::to_string(std::stoi(m[2])) + " " + m[3].str());
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"1 0 data", "2 " + std::to_string(dataSectors) + " audio",
                                                "170 " + std::to_string(total) + " leadout"}))
        << info;
    qvtest::RunOk("cd " + dir_->path() + " && bchunk -w out.bin out.cue t 2>&1");
    EXPECT_EQ(qvtest::ReadFileBytes(*dir_ / "t01.iso"), qvtest::ReadFileBytes(*dir_ / "d.iso"));
    std::vector<uint8_t> wav = qvtest::ReadFileBytes(*dir_ / "t02.wav");
    std::vector<uint8_t> pcm = qvtest::ReadFileBytes(*dir_ / "a.raw");
    ASSERT_GE(wav.size(), 44u);
    EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), pcm.begin(), pcm.end()));
}

TEST_F(DiscLayoutTest, TwoSessionsFromAnAppendedIso) {
    std::string first = *dir_ / "first.iso";
    std::string tree2 = *dir_ / "tree2";
    qvtest::RunOk("mkdir -p " + tree2 + " && echo two > " + tree2 + "/two.txt");
    qvtest::RunOk("SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -R -o " + first + " " + tree2 + " 2>&1");
    uint32_t firstSectors = Sectors(first, 2048);
    uint32_t secondStart = firstSectors + 11400;
    qvtest::RunOk("SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -R -C 0," + std::to_string(secondStart) +
                  " -M " + first + " -o " + *dir_ / "second.iso" + " " + *dir_ / "tree" + " 2>&1");
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0009\ndisc status=1 last=3\natip rewritable=0\n"
                             "track session=1 mode=1 file=" + first + "\n"
                             "track session=2 mode=1 start=" + std::to_string(secondStart) + " file=" + *dir_ / "second.iso" + "\n"))
        << fixture.lastError;
    image::TrackList list;
    ASSERT_TRUE(optical::ReadDiscLayout(fixture.Handle(), list, u'E'));
    EXPECT_EQ(list.mediaCode, optical::media::kCdR);
    ASSERT_EQ(list.trackCount, 2);
    EXPECT_EQ(list.sessionCount, 2);
    EXPECT_EQ(list.tracks[0].session, 0);
    EXPECT_EQ(list.tracks[1].session, 1);
    EXPECT_EQ(list.tracks[1].startSector, static_cast<int32_t>(secondStart));
    EXPECT_EQ(list.tracks[1].length, static_cast<int32_t>(Sectors(*dir_ / "second.iso", 2048)));
}

TEST_F(DiscLayoutTest, MediaCodesByManifest) {
    std::string iso = *dir_ / "d.iso";
    uint32_t isoSectors = Sectors(iso, 2048);
    struct Row {
        const char* name;
        std::string manifest;
        uint8_t code;
        const char16_t* mediaName;
        int tracks;
        int sectorSize;
    } rows[] = {
        {"CD-ROM", "profile 0x0008\ntrack mode=1 file=" + iso, 1, u"CD-ROM", 1, 2352},
        {"pressed CD with a rewritable ATIP", "profile 0x0008\natip rewritable=1\ntrack mode=1 file=" + iso, 3, u"CD-RW", 1, 2352},
        {"blank CD-R", "profile 0x0009\ndisc status=0 last=0 nwa=0 free=359849\natip rewritable=0", 2, u"CD-R", 0, 2048},
        {"DVD-ROM", "profile 0x0010\nprofiles 0x0010,0x001A\ndisc book=0\ntrack mode=1 file=" + iso +
                        "\nfeature code=0x2A current=0 data=01000000", 16, u"DVD-ROM", 1, 2048},
        {"DVD-R", "profile 0x0011\ntrack mode=1 file=" + iso, 17, u"DVD-R", 1, 2048},
        {"DVD+RW cut to its file system", "profile 0x001A\ndisc status=2\ntrack mode=1 length=" +
                        std::to_string(isoSectors + 5000) + " file=" + iso, 22, u"DVD+RW", 1, 2048},
        {"DVD-RW restricted overwrite", "profile 0x0013\ndisc status=1 last=1\ntrack mode=1 file=" + iso, 19, u"DVD-RW", 1, 2048},
        {"BD-ROM", "profile 0x0040\ndisc bd=BDO\ntrack mode=1 file=" + iso, 32, u"BD-ROM", 1, 2048},
        {"BD-R with pseudo-overwrite", "profile 0x0041\ndisc bd=BDR\nfeature code=0x38 current=1\ntrack mode=1 file=" + iso,
         34, u"BD-R", 1, 2048},
        {"BD-R DL with pseudo-overwrite", "profile 0x0041\ndisc bd=BDR layers=2\nfeature code=0x38 current=1\ntrack mode=1 file=" + iso,
         37, u"BD-R DL", 1, 2048},
        {"BD-R random recording stays random", "profile 0x0042\ndisc bd=BDR\ntrack mode=1 file=" + iso, 35, u"BD-R", 1, 2048},
        {"BD-RE", "profile 0x0043\ndisc bd=BDW\ntrack mode=1 file=" + iso, 39, u"BD-RE", 1, 2048},
        {"no disc", "profile 0", 0, u"No Disc", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(row.manifest)) << fixture.lastError;
        EXPECT_EQ(optical::GetDiscMediaType(fixture.Handle()), row.code);
        EXPECT_EQ(std::u16string(optical::GetMediaTypeName(row.code)), row.mediaName);
        image::TrackList list;
        bool built = optical::ReadDiscLayout(fixture.Handle(), list, u'E');
        if (row.code == 0) {
            EXPECT_EQ(list.trackCount, 0);
            continue;
        }
        ASSERT_TRUE(built);
        EXPECT_EQ(list.trackCount, row.tracks);
        EXPECT_EQ(list.imageSectorSize, row.sectorSize);
        if (row.tracks == 1) {
            uint32_t unit = row.code >= 32 ? 32 : 16;
            uint32_t expected = row.code == 22 ? (isoSectors + unit - 1) / unit * unit : isoSectors;
            EXPECT_EQ(list.tracks[0].length, static_cast<int32_t>(expected));
        }
    }
}

TEST_F(DiscLayoutTest, CapabilitiesFromPageAndFeatures) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\nprofiles 0x0008,0x0009,0x000A,0x0010,0x001B\n"
                             "drive vendor=QVSOFT product=WRITER revision=2.10\n"
                             "speeds read=7056 write=1764,3528 readcaps=0x3B writecaps=0x03\n"
                             "feature code=0x1E current=1 data=03000000\n"
                             "feature code=0x2B current=0 data=01000000\n"));
    optical::DriveCapabilities c;
    ASSERT_TRUE(optical::GetDriveCapabilities(fixture.Handle(), c, 3, false));
    EXPECT_STREQ(c.vendor, "QVSOFT  ");
    EXPECT_STREQ(c.revision, "2.10");
    EXPECT_TRUE(c.writer);
    EXPECT_TRUE(c.cdRead && c.cdRRead && c.cdRWrite && c.cdRwWrite && c.dvdRead);
    EXPECT_TRUE(c.cdTextRead && c.c2Pointers);
    EXPECT_TRUE(c.dvdPlusRWrite);
    EXPECT_FALSE(c.bdRead);
    EXPECT_TRUE(optical::IsDriveWriter(fixture.Handle()));
}

TEST_F(DiscLayoutTest, CapacityByMedium) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x001A\ntrack mode=1 length=5000\nformat type=0x26 blocks=2295104\n"));
    uint32_t total = 0, nwa = 0, freeBlocks = 0;
    ASSERT_TRUE(optical::GetMediaCapacity(fixture.Handle(), 22, 0, total, nwa, freeBlocks));
    EXPECT_EQ(total, 2295104u);
    ASSERT_TRUE(optical::GetMediaCapacity(fixture.Handle(), 22, 1, total, nwa, freeBlocks));
    EXPECT_EQ(total, 5000u);
    softdrive::ScopedSoftDrive blank;
    ASSERT_TRUE(blank.Load("profile 0x0009\ndisc status=0 last=0 nwa=0 free=359849\natip rewritable=0\n"));
    ASSERT_TRUE(optical::GetMediaCapacity(blank.Handle(), 2, 0, total, nwa, freeBlocks));
    EXPECT_EQ(nwa, 0u);
    EXPECT_EQ(freeBlocks, 359849u);
    EXPECT_FALSE(optical::GetMediaCapacity(blank.Handle(), 200, 0, total, nwa, freeBlocks));
}

TEST_F(DiscLayoutTest, LyingTocsEndInALayoutOrARefusal) {
    std::string base = "profile 0x0008\ntrack mode=1 length=1000\ntrack mode=1 length=1000\ntrack mode=1 length=1000\n";
    // Full TOC: header 4 bytes, then per session A0, A1, A2 and the tracks, 11 bytes each.
    auto point = [](int descriptor, int byte) { return static_cast<uint32_t>(4 + 11 * descriptor + byte); };
    struct Row {
        const char* name;
        std::vector<Fault> faults;
    };
    auto patch = [](uint8_t opcode, std::vector<std::pair<uint32_t, uint8_t>> bytes) {
        Fault f;
        f.kind = Fault::Kind::Patch;
        f.opcode = opcode;
        f.patch = std::move(bytes);
        return f;
    };
    auto length = [](uint8_t opcode, uint32_t value) {
        Fault f;
        f.kind = Fault::Kind::BadLength;
        f.opcode = opcode;
        f.value = value;
        return f;
    };
    const Row rows[] = {
        {"session 0", {patch(0x43, {{point(0, 0), 0}, {point(1, 0), 0}, {point(2, 0), 0}, {point(3, 0), 0}, {point(4, 0), 0}, {point(5, 0), 0}})}},
        {"start below 150 (MSF 00:01:00)", {patch(0x43, {{point(3, 8), 0}, {point(3, 9), 1}})}},
        {"starts going backwards", {patch(0x43, {{point(5, 8), 0}, {point(5, 9), 2}, {point(5, 10), 0}})}},
        {"lead-out before the last start", {patch(0x43, {{point(2, 8), 0}, {point(2, 9), 3}})}},
        {"TOC length 0", {length(0x43, 0)}},
        {"TOC length 0xFFFF", {length(0x43, 0xFFFF)}},
        {"track info length 0xFFFF", {length(0x52, 0xFFFF)}},
        {"disc info says 200 tracks", {patch(0x51, {{6, 200}, {11, 0}})}},
        {"disc info says 0xFFFF tracks", {patch(0x51, {{6, 0xFF}, {11, 0xFF}})}},
        {"configuration length 0xFFFFFFFF", {length(0x46, 0xFFFFFFFF)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(base));
        for (const Fault& f : row.faults) fixture.drive.AddFault(f);
        image::TrackList list;
        bool built = optical::ReadDiscLayout(fixture.Handle(), list, u'E');
        EXPECT_LE(fixture.drive.Log().size(), 2u * 99 + 10);
        EXPECT_LE(list.trackCount, 99);
        if (built) {
            for (int j = 0; j < list.trackCount; ++j) {
                EXPECT_GE(list.tracks[j].startSector, 0);
                EXPECT_GT(list.tracks[j].length, 0);
                if (j > 0) {
                    EXPECT_GE(list.tracks[j].startSector, list.tracks[j - 1].startSector + list.tracks[j - 1].length);
                }
            }
        }
    }
}

TEST_F(DiscLayoutTest, DvdWithMoreThanNinetyNineTracksHasNoLayout) {
    std::string manifest = "profile 0x0011\ndisc status=2 last=3\n";
    for (int i = 0; i < 120; ++i) manifest += "track mode=1 length=16\n";
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load(manifest));
    Fault plain;   // no full TOC on this DVD: the plain one fails too, so track information builds it
    plain.opcode = 0x43;
    plain.key = 5;
    plain.asc = 0x24;
    fixture.drive.AddFault(plain);
    image::TrackList list;
    EXPECT_FALSE(optical::ReadDiscLayout(fixture.Handle(), list, u'E'));
    EXPECT_EQ(list.trackCount, 0);
    EXPECT_LE(fixture.drive.Log().size(), 2u * 99 + 10);
}

TEST_F(DiscLayoutTest, OneSectorPathTakesTheVolumeSize) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0010\ntrack mode=1 length=5000 file=" + *dir_ / "d.iso"));
    Fault noToc;
    noToc.opcode = 0x43;
    noToc.key = 5;
    noToc.asc = 0x24;
    fixture.drive.AddFault(noToc);
    Fault noTrackInfo = noToc;
    noTrackInfo.opcode = 0x52;
    fixture.drive.AddFault(noTrackInfo);
    optical::g_DeviceAccessMode = 1;
    image::TrackList list;
    bool built = optical::ReadDiscLayout(fixture.Handle(), list, u'E');
    optical::g_DeviceAccessMode = 6;
    ASSERT_TRUE(built);
    ASSERT_EQ(list.trackCount, 1);
    EXPECT_EQ(list.tracks[0].length, static_cast<int32_t>(Sectors(*dir_ / "d.iso", 2048)));
}

TEST_F(DiscLayoutTest, VolumeSizeRoundsInSixtyFourBits) {
    std::vector<uint8_t> pvd(32 * 2048, 0);
    uint8_t* d = pvd.data() + 16 * 2048;
    d[0] = 1;
    std::memcpy(d + 1, "CD001", 5);
    const uint32_t blocks = 0xFFFFFFF9;
    for (int i = 0; i < 4; ++i) d[80 + i] = static_cast<uint8_t>(blocks >> (8 * i));
    qvtest::WriteFileBytes(*dir_ / "pvd.iso", pvd.data(), pvd.size());
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x001A\ntrack mode=1 file=" + *dir_ / "pvd.iso"));
    image::TrackList list;
    list.trackCount = 1;
    list.tracks[0].length = 32;
    ASSERT_TRUE(optical::GetDataLengthFromVolume(fixture.Handle(), 22, list));
    EXPECT_EQ(list.tracks[0].length, 32) << "a huge volume never shrinks the track";
    // isoinfo's volume size, rounded up to 16, is what a DVD+RW layout keeps.
    std::string iso = *dir_ / "d.iso";
    std::string info = qvtest::RunOk("isoinfo -d -i " + iso);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, std::regex(R"(Volume size is: (\d+))")));
    uint32_t volume = static_cast<uint32_t>(std::stoul(m[1]));
    softdrive::ScopedSoftDrive plus;
    ASSERT_TRUE(plus.Load("profile 0x001A\ntrack mode=1 length=100000 file=" + iso));
    image::TrackList layout;
    ASSERT_TRUE(optical::ReadDiscLayout(plus.Handle(), layout, u'E'));
    EXPECT_EQ(layout.tracks[0].length, static_cast<int32_t>((volume + 15) / 16 * 16));
}

}  // namespace
