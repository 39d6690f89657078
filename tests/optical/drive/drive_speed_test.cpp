// Speeds set on the software drive: the nearest listed speed chosen, the
// command that sets it, and what the drive reports afterwards.

#include <gtest/gtest.h>

#include "optical/drive/drive_speed.h"
#include "optical/mmc/mmc_commands.h"
#include "soft_drive/soft_drive_fixture.h"

namespace {

TEST(DriveSpeed, NearestListedSpeedIsSetAndReported) {
    struct Row {
        const char* name;
        std::string manifest;
        uint8_t code;
        int32_t wanted;
        uint16_t expectedSpeed;
        uint8_t expectedOpcode;
    } rows[] = {
        {"DVD+RW by SET STREAMING", "profile 0x001A\ntrack mode=1 length=1000\nspeeds read=11080 write=2770,5540,11080 current=11080\n"
                                    "format type=0x26 blocks=2295104\n", 22, 6000, 5540, 0xB6},
        {"CD-R by SET CD SPEED", "profile 0x0009\ndisc status=0 last=0 nwa=0 free=359849\natip rewritable=0\n"
                                 "speeds read=7056 write=1764,3528,7056 current=7056\n", 2, 3600, 3528, 0xBB},
        {"DVD without a write-speed list falls back", "profile 0x0011\ntrack mode=1 length=100\nspeeds read=11080\n", 17, 5540, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        optical::ResetMmcState();
        optical::ResetSpeedLog();
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(row.manifest)) << fixture.lastError;
        bool ok = optical::SetDriveSpeed(fixture.Handle(), 2, row.code, 0xFFFF, row.wanted);
        if (row.expectedOpcode == 0) {
            EXPECT_FALSE(ok);
            continue;
        }
        EXPECT_TRUE(ok);
        EXPECT_EQ(fixture.drive.CurrentWriteSpeed(), row.expectedSpeed);
        EXPECT_EQ(fixture.drive.Count(row.expectedOpcode), 1u);
        EXPECT_EQ(optical::g_SpeedIndex.load(), 2);
        for (const softdrive::LoggedCommand& c : fixture.drive.Log()) EXPECT_TRUE(c.cdb[0] != 0xB6 || c.length == 28);
    }
}

TEST(DriveSpeed, ADriveThatIgnoresTheSpeedIsAskedThreeTimes) {
    optical::ResetMmcState();
    softdrive::ScopedSoftDrive fixture;
    // Only one listed speed the drive can take; the page says 7056 whatever is asked.
    ASSERT_TRUE(fixture.Load("profile 0x0009\ntrack mode=1 length=10\nspeeds read=7056 write=7056 current=7056\n"));
    softdrive::Fault ignore;
    ignore.kind = softdrive::Fault::Kind::Patch;
    ignore.opcode = 0x5A;
    ignore.patch = {{8 + 28, 0x06}, {8 + 29, 0xE4}};   // current write speed always 1764
    fixture.drive.AddFault(ignore);
    EXPECT_TRUE(optical::SetDriveSpeed(fixture.Handle(), 0, 2, 0xFFFF, 7056));
    EXPECT_EQ(fixture.drive.Count(0xBB), 3u);
    EXPECT_FLOAT_EQ(optical::g_WriteSpeedFactor.load(), 1764.0f / 176.0f);
}

TEST(DriveSpeed, ReadingTheSpeedOnlySetsTheFactor) {
    optical::ResetMmcState();
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x001B\ntrack mode=1 length=100\nspeeds read=11080 write=2770,11080 current=2770\n"));
    EXPECT_EQ(optical::SetSpeedByStreaming(fixture.Handle(), 21, 0xFFFF, 0), 1);
    EXPECT_FLOAT_EQ(optical::g_WriteSpeedFactor.load(), 2.0f);
    EXPECT_EQ(fixture.drive.Count(0xB6), 0u);
}

}  // namespace
