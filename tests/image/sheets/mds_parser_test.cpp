// MDS descriptors. No Debian tool writes MDS, so the descriptors are built here
// from the published layout (header, one session block at 0x58, 80-byte track
// blocks with the lead-in entries A0..A2 first, 8-byte extra blocks, the
// file-name record); the MDF beside them holds raw Mode 1 sectors of a
// genisoimage ISO, and mdf2iso must extract the ISO our track list points at.

#include <gtest/gtest.h>

#include "image/sheets/mds_parser.h"
#include "image/sectors/raw_sectors.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

void PutLe16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct MdsTrack {
    uint8_t modeCode;        // 0xA9 audio, 0xAA Mode 1, ...
    uint8_t subchannel;      // 0 or 8
    uint16_t sectorSize;
    int32_t start;           // disc sector
    uint32_t pregap;
    uint32_t length;
};

constexpr size_t kSessionOffset = 0x58;
constexpr size_t kFirstBlock = 0x70;

Bytes MakeMds(const std::vector<MdsTrack>& tracks, const std::string& name = "*.mdf") {
    size_t blocks = 3 + tracks.size();
    size_t extraAt = kFirstBlock + blocks * 80;
    size_t nameRecordAt = extraAt + tracks.size() * 8;
    size_t nameAt = nameRecordAt + 16;
    Bytes b(nameAt + name.size() + 1, 0);
    std::copy_n("MEDIA DESCRIPTOR", 16, b.begin());
    b[0x10] = 1;
    b[0x11] = 3;
    PutLe16(b, 0x14, 1);   // sessions
    PutLe32(b, 0x50, kSessionOffset);
    PutLe32(b, kSessionOffset + 0x00, static_cast<uint32_t>(-150));
    PutLe16(b, kSessionOffset + 0x08, 1);
    b[kSessionOffset + 0x0A] = static_cast<uint8_t>(blocks);
    b[kSessionOffset + 0x0B] = 3;
    PutLe16(b, kSessionOffset + 0x0C, 1);
    PutLe16(b, kSessionOffset + 0x0E, static_cast<uint16_t>(tracks.size()));
    PutLe32(b, kSessionOffset + 0x14, kFirstBlock);
    for (size_t i = 0; i < 3; ++i) b[kFirstBlock + i * 80 + 4] = static_cast<uint8_t>(0xA0 + i);
    for (size_t i = 0; i < tracks.size(); ++i) {
        const MdsTrack& t = tracks[i];
        size_t at = kFirstBlock + (3 + i) * 80;
        b[at + 0] = t.modeCode;
        b[at + 1] = t.subchannel;
        b[at + 2] = t.modeCode == 0xA9 ? 0x10 : 0x14;
        b[at + 4] = static_cast<uint8_t>(i + 1);
        int32_t msf = t.start + 150;
        b[at + 9] = static_cast<uint8_t>(msf / 4500);
        b[at + 10] = static_cast<uint8_t>(msf / 75 % 60);
        b[at + 11] = static_cast<uint8_t>(msf % 75);
        PutLe32(b, at + 12, static_cast<uint32_t>(extraAt + i * 8));
        PutLe16(b, at + 16, t.sectorSize);
        PutLe32(b, at + 0x24, static_cast<uint32_t>(t.start));
        PutLe32(b, at + 0x30, 1);
        PutLe32(b, at + 0x34, static_cast<uint32_t>(nameRecordAt));
        PutLe32(b, extraAt + i * 8, t.pregap);
        PutLe32(b, extraAt + i * 8 + 4, t.length);
    }
    PutLe32(b, nameRecordAt, static_cast<uint32_t>(nameAt));
    std::copy(name.begin(), name.end(), b.begin() + static_cast<std::ptrdiff_t>(nameAt));
    return b;
}

class MdsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "src") + " && echo mds > " +
                      qvtest::ShellQuote(dir / "src/a.txt") + " && touch -d @1000000000 " +
                      qvtest::ShellQuote(dir / "src/a.txt"));
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                      " && SOURCE_DATE_EPOCH=1000000000 TZ=UTC genisoimage -quiet -V MDSTEST -o d.iso src");
        iso = qvtest::ReadFileBytes(dir / "d.iso");
        sectors = static_cast<int32_t>(iso.size() / 2048);
    }

    Bytes RawMode1(size_t stride) const {
        Bytes raw(static_cast<size_t>(sectors) * stride, 0);
        for (int32_t s = 0; s < sectors; ++s) {
            image::MakeMode1Sector(s, iso.data() + static_cast<size_t>(s) * 2048, raw.data() + static_cast<size_t>(s) * stride);
        }
        return raw;
    }

    qvtest::TempDir dir;
    Bytes iso;
    int32_t sectors = 0;
};

TEST_F(MdsFixture, DataTrackMatchesMdf2iso) {
    Bytes mdf = RawMode1(2352);
    qvtest::WriteFileBytes(dir / "Disc.MDF", mdf.data(), mdf.size());
    Bytes mds = MakeMds({{0xAA, 0, 2352, 0, 150, static_cast<uint32_t>(sectors)}});
    qvtest::WriteFileBytes(dir / "disc.mds", mds.data(), mds.size());

    image::TrackListPtr list = image::ParseMdsFile(U16(dir / "disc.mds"));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->trackCount, 1);
    EXPECT_EQ(list->firstTrackNumber, 0);
    EXPECT_EQ(list->firstFilePath, U16(dir / "Disc.MDF")) << "*.mdf names the image beside the sheet, any case";
    EXPECT_EQ(list->sheetPath, U16(dir / "disc.mds"));
    const image::TrackEntry& t = list->tracks[0];
    EXPECT_EQ(t.mode, image::track_mode::kMode1Raw);
    EXPECT_EQ(t.startSector, 0);
    EXPECT_EQ(t.length, sectors);
    EXPECT_EQ(t.pregap, 0);
    EXPECT_EQ(t.sectorSize, 2352);
    EXPECT_EQ(t.dataOffset, 0);
    EXPECT_EQ(t.endOffset, int64_t{sectors} * 2352);
    EXPECT_EQ(list->tracks[1].startSector, sectors);

    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && mdf2iso Disc.MDF out.iso");
    Bytes extracted = qvtest::ReadFileBytes(dir / "out.iso");
    ASSERT_EQ(extracted.size(), iso.size());
    for (int32_t s = 0; s < sectors; ++s) {
        size_t ours = static_cast<size_t>(t.dataOffset + int64_t{s} * t.sectorSize + 16);
        ASSERT_TRUE(std::equal(mdf.begin() + static_cast<std::ptrdiff_t>(ours),
                               mdf.begin() + static_cast<std::ptrdiff_t>(ours + 2048),
                               extracted.begin() + static_cast<std::ptrdiff_t>(s) * 2048))
            << "sector " << s;
    }

    // The sheet opens the image, and the image finds its sheet.
    EXPECT_TRUE(image::OpenSheet(U16(dir / "disc.mds")));
    EXPECT_EQ(image::FindCompanionSheet(U16(dir / "Disc.MDF")), U16(dir / "disc.mds"));
}

TEST_F(MdsFixture, SubchannelImagesKeepTheirModeAndStride) {
    Bytes mdf = RawMode1(2448);
    qvtest::WriteFileBytes(dir / "sub.mdf", mdf.data(), mdf.size());
    // Mode 1 with 96 bytes of interleaved sub-channel per sector: byte 1 is 8.
    Bytes mds = MakeMds({{0xAA, 8, 2448, 0, 150, static_cast<uint32_t>(sectors)},
                         {0xA9, 8, 2448, sectors, 0, 300}});
    qvtest::WriteFileBytes(dir / "sub.mds", mds.data(), mds.size());
    image::TrackListPtr list = image::ParseMdsFile(U16(dir / "sub.mds"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->trackCount, 2);
    EXPECT_EQ(list->tracks[0].mode, image::track_mode::kMode1Raw);
    EXPECT_EQ(list->tracks[1].mode, image::track_mode::kAudio);
    EXPECT_EQ(list->tracks[1].startSector, sectors);
    EXPECT_EQ(list->tracks[1].dataOffset, int64_t{sectors} * 2448);
    EXPECT_EQ(list->tracks[1].length, 300);
    EXPECT_EQ(list->imageSectorSize, 2352);
    // Sector 16 of the image through the list: its user data is the volume descriptor.
    int64_t at = list->tracks[0].dataOffset + 16 * 2448 + 16;
    EXPECT_TRUE(std::equal(iso.begin() + 16 * 2048, iso.begin() + 17 * 2048, mdf.begin() + at));
}

TEST_F(MdsFixture, BadDescriptorsAreRefused) {
    Bytes good = MakeMds({{0xAA, 0, 2352, 0, 150, 100}});
    struct Row {
        const char* name;
        std::function<void(Bytes&)> damage;
        bool parses;
    };
    const std::vector<Row> rows = {
        {"wrong signature", [](Bytes& b) { b[3] = 'X'; }, false},
        {"signature in lower case", [](Bytes& b) { std::copy_n("media descriptor", 16, b.begin()); }, true},
        {"too short", [](Bytes& b) { b.resize(112); }, false},
        {"first block outside the file", [](Bytes& b) { PutLe32(b, 108, 0x7FFFFFF0); }, false},
        {"block count past the end", [](Bytes& b) { b[98] = 255; }, true},
        {"extra block outside the file", [](Bytes& b) { PutLe32(b, kFirstBlock + 3 * 80 + 12, 0xFFFFFFF0); }, true},
        {"name record outside the file", [](Bytes& b) { PutLe32(b, kFirstBlock + 3 * 80 + 52, 0xFFFFFFFE); }, false},
        {"name record in the last 3 bytes", [](Bytes& b) { PutLe32(b, kFirstBlock + 3 * 80 + 52, static_cast<uint32_t>(b.size() - 3)); }, false},
        {"name outside the file", [](Bytes& b) { PutLe32(b, b.size() - 6 - 16, 0x7FFFFFFF); }, false},
        {"name not terminated", [](Bytes& b) { b.back() = 'x'; }, true},
        {"no name record", [](Bytes& b) { PutLe32(b, kFirstBlock + 3 * 80 + 52, 0); }, false},
        // Resolved as named: the open then finds no image file.
        {"absolute name of no file", [](Bytes& b) { b[b.size() - 6] = '/'; }, true},
        {"name of a folder", [](Bytes& b) { std::copy_n("/tmp\0", 6, b.end() - 6); }, false},
        // A length of 2^32 - 1 sectors from sector 10: the end passes what a
        // disc address can hold.
        {"track end past 32 bits",
         [](Bytes& b) {
             b[kFirstBlock + 3 * 80 + 11] = 10;
             PutLe32(b, kFirstBlock + 4 * 80 + 4, 0xFFFFFFFF);   // the one extra block's length
         },
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes bad = good;
        row.damage(bad);
        image::TrackListPtr list = image::ParseMdsBytes(U16(dir / "x.mds"), bad);
        EXPECT_EQ(static_cast<bool>(list), row.parses);
    }
}

TEST_F(MdsFixture, AbsoluteAndParentNamesAreFollowed) {
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "sub") + " && cp " + qvtest::ShellQuote(dir / "d.iso") + " " +
                  qvtest::ShellQuote(dir / "Image.MDF"));
    const std::vector<std::pair<std::string, std::string>> rows = {
        {dir / "Image.MDF", dir / "Image.MDF"},
        {dir / "image.mdf", dir / "Image.MDF"},
        {"..\\image.mdf", dir / "sub/../Image.MDF"},
    };
    for (const auto& [name, expected] : rows) {
        SCOPED_TRACE(name);
        image::TrackListPtr list =
            image::ParseMdsBytes(U16(dir / "sub/x.mds"), MakeMds({{0xAA, 0, 2048, 0, 150, 10}}, name));
        ASSERT_TRUE(list);
        EXPECT_EQ(list->firstFilePath, U16(expected));
    }
}

TEST_F(MdsFixture, MoreThan99TrackBlocksFail) {
    std::vector<MdsTrack> tracks;
    for (int i = 0; i < 99; ++i) tracks.push_back({0xA9, 0, 2352, i * 10, 0, 10});
    Bytes ok = MakeMds(tracks);
    image::TrackListPtr list = image::ParseMdsBytes(U16(dir / "x.mds"), ok);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->trackCount, 99);
    // A 100th block whose point byte still says a track number.
    tracks.push_back({0xA9, 0, 2352, 990, 0, 10});
    Bytes over = MakeMds(tracks);
    over[kFirstBlock + (3 + 99) * 80 + 4] = 99;
    EXPECT_FALSE(image::ParseMdsBytes(U16(dir / "x.mds"), over));
}

}  // namespace
