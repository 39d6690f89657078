// The software drive as a recorder, driven through the MMC command set: what it
// refuses (writes off the next writable address, partial ECC blocks, a full
// disc, bad cue sheets, broken raw frames and CD-TEXT packs, lying page
// lengths), what it accepts, and that the exported disc is what was written.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "optical/mmc/mmc_commands.h"
#include "soft_drive/soft_drive_bytes.h"
#include "soft_drive/soft_drive_fixture.h"
#include "soft_drive/soft_drive_sectors.h"
#include "tests/support/test_support.h"

namespace {

using softdrive::Put16;
using softdrive::Put32;

std::string BlankCdR(const std::string& exportDir) {
    return "profile 0x0009\nprofiles 0x0008,0x0009,0x000A\ndisc status=0 last=0\natip\nwrite capacity=359849 export=" +
           exportDir + "\n";
}

int SelectWriteType(softdrive::ScopedSoftDrive& d, uint8_t writeType, uint8_t blockType, uint8_t pageLength = 0x32) {
    std::vector<uint8_t> page(10 + pageLength, 0);
    page[8] = 0x05;
    page[9] = pageLength;
    page[10] = writeType;
    page[11] = 0x04;
    page[12] = blockType;
    uint32_t len = static_cast<uint32_t>(page.size());
    return optical::ScsiModeSelect10(d.Handle(), page.data(), len);
}

struct Cue {
    std::vector<uint8_t> bytes;
    void Add(uint8_t ctl, uint8_t track, uint8_t index, uint8_t form, int64_t time) {
        uint8_t e[8] = {ctl, track, index, form, 0, static_cast<uint8_t>(time / 4500),
                        static_cast<uint8_t>(time / 75 % 60), static_cast<uint8_t>(time % 75)};
        bytes.insert(bytes.end(), e, e + 8);
    }
    int Send(softdrive::ScopedSoftDrive& d) {
        uint32_t len = static_cast<uint32_t>(bytes.size());
        return optical::ScsiSendCueSheet(d.Handle(), bytes.data(), len);
    }
};

// One Mode 1 track of `sectors` (from the drive's own cooked form 0x10).
Cue DataCue(int64_t sectors) {
    Cue c;
    c.Add(0x41, 0, 0, 0x14, 0);
    c.Add(0x41, 1, 0, 0x10, 0);
    c.Add(0x41, 1, 1, 0x10, 150);
    c.Add(0x41, 0xAA, 1, 0x14, sectors + 150);
    return c;
}

TEST(SoftDriveRecording, CueSheetsAreCheckedBeforeAnyWrite) {
    qvtest::TempDir dir;
    struct Row {
        const char* name;
        std::function<void(Cue&)> build;
    } rows[] = {
        {"good", [](Cue& c) { c = DataCue(300); }},
        {"descending", [](Cue& c) {
             c.Add(0x41, 0, 0, 0x14, 0); c.Add(0x41, 1, 0, 0x10, 0); c.Add(0x41, 1, 1, 0x10, 150);
             c.Add(0x41, 2, 1, 0x10, 100); c.Add(0x41, 0xAA, 1, 0x14, 600); }},
        {"two index 0", [](Cue& c) {
             c.Add(0x41, 0, 0, 0x14, 0); c.Add(0x41, 1, 0, 0x10, 0); c.Add(0x41, 1, 0, 0x10, 10);
             c.Add(0x41, 1, 1, 0x10, 150); c.Add(0x41, 0xAA, 1, 0x14, 600); }},
        {"track skipped", [](Cue& c) {
             c.Add(0x41, 0, 0, 0x14, 0); c.Add(0x41, 1, 0, 0x10, 0); c.Add(0x41, 1, 1, 0x10, 150);
             c.Add(0x41, 3, 1, 0x10, 400); c.Add(0x41, 0xAA, 1, 0x14, 600); }},
        {"no pregap", [](Cue& c) {
             c.Add(0x41, 0, 0, 0x14, 0); c.Add(0x41, 1, 1, 0x10, 150); c.Add(0x41, 0xAA, 1, 0x14, 600); }},
        {"unknown form", [](Cue& c) {
             c.Add(0x41, 0, 0, 0x14, 0); c.Add(0x41, 1, 0, 0x17, 0); c.Add(0x41, 1, 1, 0x17, 150);
             c.Add(0x41, 0xAA, 1, 0x14, 600); }},
        {"catalogue with a letter", [](Cue& c) {
             uint8_t mcn[16] = {0x02, '1', '2', '3', '4', '5', '6', 'X', 0x02, '8', '9', '0', '1', '2', '3', 0};
             c.bytes.insert(c.bytes.end(), mcn, mcn + 16);
             Cue d = DataCue(300);
             c.bytes.insert(c.bytes.end(), d.bytes.begin(), d.bytes.end()); }},
        {"does not fit", [](Cue& c) { c = DataCue(400000); }},
    };
    for (const Row& row : rows) {
        softdrive::ScopedSoftDrive d;
        ASSERT_TRUE(d.Load(BlankCdR(dir.path()))) << d.lastError;
        ASSERT_EQ(SelectWriteType(d, 2, 8), 1);
        Cue cue;
        row.build(cue);
        bool good = std::string(row.name) == "good";
        EXPECT_EQ(cue.Send(d), good ? 1 : 0) << row.name << " " << d.drive.lastRefusal;
        std::vector<uint8_t> zeros(16 * 2048);
        EXPECT_EQ(optical::ScsiWrite10(d.Handle(), static_cast<uint32_t>(-150), zeros.data(), 16 * 2048, 2048),
                  good ? 1 : 0)
            << row.name;
    }
}

TEST(SoftDriveRecording, WriteParametersPageLengthIsChecked) {
    qvtest::TempDir dir;
    softdrive::ScopedSoftDrive d;
    ASSERT_TRUE(d.Load(BlankCdR(dir.path()) + "write capacity=359849 page5=0x10\n"));
    std::vector<uint8_t> page;
    ASSERT_EQ(optical::ReadModePage(d.Handle(), 0x05, 0, page), 1);
    ASSERT_GE(page.size(), 10u);
    EXPECT_EQ(page[9], 0x10);
    EXPECT_EQ(SelectWriteType(d, 2, 8), 0);
}

TEST(SoftDriveRecording, SessionAtOnceChecksFramesAndPacksAndExports) {
    qvtest::TempDir dir;
    softdrive::ScopedSoftDrive d;
    ASSERT_TRUE(d.Load(BlankCdR(dir.path())));
    ASSERT_EQ(SelectWriteType(d, 2, 0), 1);
    // One raw Mode 1 track of 300 sectors, CD-TEXT in the lead-in.
    Cue cue;
    cue.Add(0x41, 0, 0, 0x54, 0);
    cue.Add(0x41, 1, 0, 0x11, 0);
    cue.Add(0x41, 1, 1, 0x11, 150);
    cue.Add(0x41, 0xAA, 1, 0x14, 450);
    ASSERT_EQ(cue.Send(d), 1) << d.drive.lastRefusal;
    // The lead-in: 4 packs per 96-byte unit, spread over six-bit symbols.
    uint8_t pack[18] = {0x80, 0, 0, 0, 'T', 'i', 't', 'l', 'e', 0};
    uint16_t crc = softdrive::CdTextPackCrc(pack);
    pack[16] = static_cast<uint8_t>(crc >> 8);
    pack[17] = static_cast<uint8_t>(crc);
    std::vector<uint8_t> unit(96);
    for (int p = 0; p < 4; ++p)
        for (int g = 0; g < 6; ++g) {
            const uint8_t* b = pack + 3 * g;
            uint8_t* s = &unit[24 * p + 4 * g];
            s[0] = b[0] >> 2;
            s[1] = static_cast<uint8_t>((b[0] & 3) << 4 | b[1] >> 4);
            s[2] = static_cast<uint8_t>((b[1] & 15) << 2 | b[2] >> 6);
            s[3] = b[2] & 0x3F;
        }
    int64_t leadIn = -11634;
    std::vector<uint8_t> bad = unit;
    bad[5] ^= 1;
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), static_cast<uint32_t>(leadIn), bad.data(), 96, 96), 0);
    std::vector<uint8_t> units;
    for (int i = 0; i < 16; ++i) units.insert(units.end(), unit.begin(), unit.end());
    for (int64_t at = leadIn; at < -150; at += 16) {
        uint32_t n = static_cast<uint32_t>(std::min<int64_t>(16, -150 - at));
        ASSERT_EQ(optical::ScsiWrite10(d.Handle(), static_cast<uint32_t>(at), units.data(), n * 96, 96), 1) << at;
    }
    // Raw frames: a flipped byte is refused, a frame for the wrong address too.
    std::vector<uint8_t> user(2048, 0x5A), frame(2352);
    softdrive::EncodeMode1(-150, user.data(), frame.data());
    std::vector<uint8_t> broken = frame;
    broken[700] ^= 0x10;
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), static_cast<uint32_t>(-150), broken.data(), 2352, 2352), 0);
    std::vector<uint8_t> elsewhere(2352);
    softdrive::EncodeMode1(-149, user.data(), elsewhere.data());
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), static_cast<uint32_t>(-150), elsewhere.data(), 2352, 2352), 0);
    for (int64_t at = -150; at < 300; ++at) {
        softdrive::EncodeMode1(at, user.data(), frame.data());
        ASSERT_EQ(optical::ScsiWrite10(d.Handle(), static_cast<uint32_t>(at), frame.data(), 2352, 2352), 1) << at;
    }
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), 300, frame.data(), 2352, 2352), 0);   // past the lead-out
    ASSERT_EQ(optical::ScsiSynchronizeCache(d.Handle(), false), 1);
    EXPECT_EQ(d.drive.RecordedSessions(), 1);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "disc.bin").size(), 300u * 2352);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "disc.cdt").size(), 18u);
    std::vector<uint8_t> iso = qvtest::ReadFileBytes(dir / "disc.iso");
    ASSERT_EQ(iso.size(), 300u * 2048);
    EXPECT_EQ(iso[2047], 0x5A);
    std::string out = qvtest::Run("cd-info --no-device-info --no-cddb --cue-file " + dir / "disc.cue" + " 2>&1").output;
    EXPECT_NE(out.find("000300 leadout"), std::string::npos) << out;
    EXPECT_EQ(std::memcmp(qvtest::ReadFileBytes(dir / "disc.cdt").data(), pack, 18), 0);
    // The disc is closed: reading works, further writing does not.
    EXPECT_FALSE(optical::IsDiscBlank(d.Handle()));
    EXPECT_EQ(DataCue(300).Send(d), 0);
}

TEST(SoftDriveRecording, DvdPlusRSequentialInWholeBlocksUntilFull) {
    qvtest::TempDir dir;
    softdrive::ScopedSoftDrive d;
    ASSERT_TRUE(d.Load("profile 0x001B\ndisc status=0 last=0\nwrite capacity=64 export=" + dir.path() + "\n"));
    std::vector<uint8_t> data(48 * 2048);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 / 2048 + 1);
    struct Row {
        uint32_t lba, count;
        int ok;
    } rows[] = {{16, 16, 0}, {0, 8, 0}, {0, 16, 1}, {0, 16, 0}, {16, 32, 1}, {48, 32, 0}, {48, 16, 1}};
    for (const Row& r : rows)
        EXPECT_EQ(optical::ScsiWrite10(d.Handle(), r.lba, data.data() + static_cast<size_t>(r.lba % 48) * 2048,
                                        r.count * 2048, 2048),
                  r.ok)
            << r.lba << "+" << r.count;
    uint32_t nwa = 0, free = 0;
    ASSERT_EQ(optical::ReadNextWritableAddress(d.Handle(), 1, false, nwa, free), 1);
    EXPECT_EQ(nwa, 64u);
    EXPECT_EQ(free, 0u);
    ASSERT_EQ(optical::ScsiCloseTrackSession(d.Handle(), false, 1, 1), 1);
    ASSERT_EQ(optical::ScsiCloseTrackSession(d.Handle(), false, 5, 0), 1);
    std::vector<uint8_t> iso = qvtest::ReadFileBytes(dir / "disc.iso");
    ASSERT_EQ(iso.size(), 64u * 2048);
    EXPECT_EQ(std::memcmp(iso.data(), data.data(), 48 * 2048), 0);
    std::vector<uint8_t> back(2048);
    uint32_t len = 2048, got = 0;
    ASSERT_EQ(optical::ScsiRead10(d.Handle(), 20, 1, back.data(), len, got), 1);
    EXPECT_EQ(back[0], data[20 * 2048]);
}

TEST(SoftDriveRecording, OverwritableMediaNeedFormattingAndBlankingResets) {
    qvtest::TempDir dir;
    softdrive::ScopedSoftDrive d;
    ASSERT_TRUE(d.Load("profile 0x001A\ndisc status=0 last=0\nformat type=0x26 blocks=4096\nwrite capacity=4096 export=" +
                       dir.path() + "\n"));
    std::vector<uint8_t> data(16 * 2048, 0x33);
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), 32, data.data(), 16 * 2048, 2048), 0);
    ASSERT_EQ(optical::ScsiFormatUnit(d.Handle(), 0xFFFFFFFF, 0x26, 0, 0, 0x02, 600), 1);
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), 32, data.data(), 16 * 2048, 2048), 1);
    EXPECT_EQ(optical::ScsiWrite10(d.Handle(), 4090, data.data(), 16 * 2048, 2048), 0);
    ASSERT_EQ(optical::ScsiSynchronizeCache(d.Handle(), true), 1);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "disc.iso").size(), 48u * 2048);

    softdrive::ScopedSoftDrive rw;
    ASSERT_TRUE(rw.Load("profile 0x000A\ndisc status=0 last=0\natip rewritable=1\nwrite capacity=359849\n"));
    ASSERT_EQ(SelectWriteType(rw, 2, 8), 1);
    ASSERT_EQ(DataCue(300).Send(rw), 1);
    std::vector<uint8_t> zeros(16 * 2048);
    for (int64_t at = -150; at < 300; at += 16) {
        uint32_t n = static_cast<uint32_t>(std::min<int64_t>(16, 300 - at));
        ASSERT_EQ(optical::ScsiWrite10(rw.Handle(), static_cast<uint32_t>(at), zeros.data(), n * 2048, 2048), 1);
    }
    ASSERT_EQ(optical::ScsiSynchronizeCache(rw.Handle(), true), 1);
    EXPECT_FALSE(optical::IsDiscBlank(rw.Handle()));
    ASSERT_EQ(optical::ScsiBlank(rw.Handle(), true, 1, 1200), 1);
    EXPECT_TRUE(optical::IsDiscBlank(rw.Handle()));
    softdrive::ScopedSoftDrive cdr;
    ASSERT_TRUE(cdr.Load(BlankCdR(dir.path())));
    EXPECT_EQ(optical::ScsiBlank(cdr.Handle(), true, 1, 1200), 0);
}

TEST(SoftDriveRecording, ThrottleCountsAnEmptiedBuffer) {
    softdrive::ScopedSoftDrive d;
    // 2000 KB/s through a 64 KiB buffer: the buffer lasts about 33 ms.
    ASSERT_TRUE(d.Load("profile 0x001B\ndisc status=0 last=0\nwrite capacity=4096 rate=2000 buffer=64\n"));
    std::vector<uint8_t> data(16 * 2048);
    for (uint32_t lba = 0; lba < 128; lba += 16)
        ASSERT_EQ(optical::ScsiWrite10(d.Handle(), lba, data.data(), data.size(), 2048), 1);
    EXPECT_EQ(d.drive.Underruns(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    ASSERT_EQ(optical::ScsiWrite10(d.Handle(), 128, data.data(), data.size(), 2048), 1);
    EXPECT_EQ(d.drive.Underruns(), 1u);
}

}  // namespace
