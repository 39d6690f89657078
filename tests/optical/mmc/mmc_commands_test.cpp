// The MMC command set on the software drive: each builder's CDB, direction,
// length and time-out as the drive logged them, the retry and poll loops on a
// virtual clock, and the composites against replies that lie about lengths.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"
#include "soft_drive/soft_drive_fixture.h"

namespace {

using optical::DataDirection;
using softdrive::Fault;

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

const char* kCdRom = "profile 0x0008\ntrack mode=1 length=300\n";

TEST(MmcCommands, EachBuilderSendsItsCdb) {
    struct Row {
        const char* name;
        std::function<void(platform::FileHandle)> call;
        const char* cdb;
        DataDirection direction;
        uint32_t length;
        uint32_t timeoutSeconds;
    };
    static uint8_t buf[4096];
    const Row rows[] = {
        {"INQUIRY", [](auto h) { uint32_t l = 36; optical::ScsiInquiry(h, buf, l); }, "120000002400", DataDirection::In, 36, 100},
        {"TEST UNIT READY", [](auto h) { optical::ScsiTestUnitReady(h); }, "000000000000", DataDirection::None, 0, 10},
        {"READ TOC full MSF", [](auto h) { uint32_t l = 1104; optical::ScsiReadToc(h, true, 2, buf, l); },
         "43020200000000045000", DataDirection::In, 1104, 100},
        {"MODE SENSE 2A", [](auto h) { uint32_t l = 8; optical::ScsiModeSense10(h, 0x2A, 0, buf, l); },
         "5a082a00000000000800", DataDirection::In, 8, 100},
        {"READ DISC INFORMATION", [](auto h) { uint32_t l = 42; optical::ScsiReadDiscInfo(h, 0, buf, l); },
         "5100000000000000 2a00", DataDirection::In, 42, 100},
        {"READ TRACK INFORMATION", [](auto h) { uint32_t l = 48; optical::ScsiReadTrackInfo(h, false, 1, 1, buf, l); },
         "52010000000100003000", DataDirection::In, 48, 100},
        {"READ DISC STRUCTURE", [](auto h) { uint32_t l = 2052; optical::ScsiReadDiscStructure(h, 0, 0, 0, 0, buf, l); },
         "ad0000000000000008040000", DataDirection::In, 2052, 100},
        {"SYNCHRONIZE CACHE immed", [](auto h) { optical::ScsiSynchronizeCache(h, true); }, "35020000000000000000",
         DataDirection::None, 0, 600},
        {"SYNCHRONIZE CACHE", [](auto h) { optical::ScsiSynchronizeCache(h, false); }, "35000000000000000000",
         DataDirection::None, 0, 9999},
        {"SET CD SPEED", [](auto h) { optical::ScsiSetCdSpeed(h, 0, 0xFFFF, 1764); }, "bb00ffff06e4000000000000",
         DataDirection::None, 0, 100},
        {"SEND OPC", [](auto h) { optical::ScsiSendOpcInfo(h); }, "54010000000000000000", DataDirection::None, 0, 255},
        {"START STOP eject", [](auto h) { optical::ScsiStartStopUnit(h, false, true); }, "1b0000000200",
         DataDirection::None, 0, 100},
        {"CLOSE SESSION", [](auto h) { optical::ScsiCloseTrackSession(h, true, 2, 0); }, "5b010200000000000000",
         DataDirection::None, 0, 100},
        {"READ(10)", [](auto h) { uint32_t l = 4096, g; optical::ScsiRead10(h, 16, 2, buf, l, g); },
         "28000000001000000200", DataDirection::In, 4096, 100},
        {"READ CD", [](auto h) { uint32_t l = 2352, g; optical::ScsiReadCd(h, 16, 1, buf, l, g); },
         "be0000000010000001f80000", DataDirection::In, 2352, 100},
        {"GET CONFIGURATION one", [](auto h) { uint32_t l = 16; optical::ScsiGetConfiguration(h, 2, 0x1E, buf, l); },
         "4602001e000000001000", DataDirection::In, 16, 100},
        {"GET PERFORMANCE write speeds", [](auto h) { uint32_t l = 24; optical::ScsiGetPerformance(h, 0, 0, 1, 3, buf, l); },
         "ac0000000000000000010300", DataDirection::In, 24, 100},
        {"READ FORMAT CAPACITIES", [](auto h) { uint32_t l = 252; optical::ScsiReadFormatCapacities(h, buf, l); },
         "2300000000000000fc00", DataDirection::In, 252, 100},
        {"RESERVE TRACK 17", [](auto h) { optical::ScsiReserveTrack(h, 17); }, "53000000000000002000",
         DataDirection::None, 0, 900},
        {"RESERVE TRACK 32", [](auto h) { optical::ScsiReserveTrack(h, 32); }, "53000000000000002000",
         DataDirection::None, 0, 900},
        {"BLANK minimal immed", [](auto h) { optical::ScsiBlank(h, true, 1, 0); }, "a11100000000000000000000",
         DataDirection::None, 0, 100},
        {"SEND TIME STAMP", [](auto h) { optical::ScsiSendTimeStamp(h, "20261211030405"); }, "bf000000000000 0f00160000",
         DataDirection::Out, 22, 100},
        {"WRITE(10)", [](auto h) { optical::ScsiWrite10(h, 100, buf, 4096, 2048); }, "2a000000006400000200",
         DataDirection::Out, 4096, 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(kCdRom));
        row.call(fixture.Handle());
        ASSERT_FALSE(fixture.drive.Log().empty());
        const softdrive::LoggedCommand& c = fixture.drive.Log().front();
        std::string expected = row.cdb;
        expected.erase(std::remove(expected.begin(), expected.end(), ' '), expected.end());
        EXPECT_EQ(Hex(c.cdb), expected);
        EXPECT_EQ(c.direction, row.direction);
        EXPECT_EQ(c.length, row.length);
        EXPECT_EQ(c.timeoutMs, row.timeoutSeconds * 1000);
    }
}

TEST(MmcCommands, RefusedArgumentsSendNothing) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load(kCdRom));
    uint8_t buf[4096] = {};
    uint32_t failed = 0;
    EXPECT_EQ(optical::ScsiWrite10(fixture.Handle(), 0, buf, 2048, 0), 0);
    EXPECT_EQ(optical::ScsiWrite10(fixture.Handle(), 0, buf, 65536u * 2048u, 2048), 0);
    EXPECT_EQ(optical::WriteSectorsChunked(fixture.Handle(), 0, 2048, 10, failed, 0), 0);
    EXPECT_EQ(optical::ScsiSendTimeStamp(fixture.Handle(), "2026121103040"), 0);
    EXPECT_TRUE(fixture.drive.Log().empty());
}

TEST(MmcCommands, WriteRetriesTransientSenseThreeHundredTimes) {
    // The software drive holds a pressed disc: a write that gets past the
    // resets is refused as write-protected, which tells the two rows apart.
    struct Row {
        const char* name;
        uint32_t failures;
        uint32_t lastSense;
    } rows[] = {{"300 resets, then the drive answers", 300, 0x072700}, {"301 resets", 301, 0x062900}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        optical::ResetMmcState();
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(kCdRom));
        Fault fault;
        fault.opcode = 0x2A;
        fault.key = 6;
        fault.asc = 0x29;
        fault.times = row.failures;
        fixture.drive.AddFault(fault);
        uint8_t buf[2048] = {};
        EXPECT_EQ(optical::ScsiWrite10(fixture.Handle(), 0, buf, 2048, 2048), 0);
        EXPECT_EQ(fixture.drive.Count(0x2A), 301u);
        EXPECT_EQ(optical::g_ScsiLastSenseCode, row.lastSense);
        EXPECT_GE(fixture.clock.NowMs(), 300u * 1000);
    }
}

TEST(MmcCommands, BusyWriteGivesUpAfterTenMinutes) {
    optical::ResetMmcState();
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load(kCdRom));
    Fault fault;
    fault.opcode = 0x2A;
    fault.key = 2;
    fault.asc = 0x04;
    fault.ascq = 0x08;
    fixture.drive.AddFault(fault);
    uint8_t buf[2048] = {};
    EXPECT_EQ(optical::ScsiWrite10(fixture.Handle(), 0, buf, 2048, 2048), 0);
    EXPECT_GE(fixture.clock.NowMs(), 10u * 60 * 1000);
    EXPECT_LT(fixture.clock.NowMs(), 11u * 60 * 1000);
}

TEST(MmcCommands, WaitUnitReadyPollsBySpeedFactor) {
    struct Row {
        float factor;
        size_t polls;
    } rows[] = {{1.0f, 20}, {2.0f, 15}, {256.0f, 10}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.factor);
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(kCdRom));
        Fault fault;
        fault.opcode = 0x00;
        fault.key = 2;
        fault.asc = 0x04;
        fault.ascq = 0x01;
        fixture.drive.AddFault(fault);
        optical::g_WriteSpeedFactor = row.factor;
        EXPECT_EQ(optical::WaitUnitReady(fixture.Handle(), 10), 0);
        EXPECT_EQ(fixture.drive.Count(0x00), row.polls);
        optical::ResetMmcState();
    }
    softdrive::ScopedSoftDrive noDisc;
    ASSERT_TRUE(noDisc.Load("profile 0\n"));
    EXPECT_EQ(optical::WaitUnitReady(noDisc.Handle(), 10), 0);
    EXPECT_EQ(noDisc.drive.Count(0x00), 1u);
}

const char* kDvdRw =
    "profile 0x001A\nprofiles 0x001A,0x001B,0x0010\n"
    "disc status=2 last=3\n"
    "track mode=1 length=1000\n"
    "speeds read=11080 write=2770,5540,11080 current=11080\n"
    "format type=0x26 blocks=2295104\nformat type=0x00 blocks=2000000\nformat type=0x26 blocks=1000\n"
    "feature code=0x2A current=1 data=01000000\n";

TEST(MmcCommands, CompositesReadWhatTheDriveSays) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load(kDvdRw));
    auto h = fixture.Handle();
    std::vector<uint8_t> list;
    ASSERT_EQ(optical::GetPerformanceList(h, 0, 0, 3, list), 1);
    EXPECT_EQ(list.size(), 8u + 3 * 16);
    EXPECT_EQ(optical::FindNearestWriteSpeed(list, 6000), 1);   // 5540
    std::vector<uint8_t> page;
    ASSERT_EQ(optical::ReadModePage(h, 0x2A, 0, page), 1);
    EXPECT_EQ(optical::FindNearestPageWriteSpeed(std::vector<uint8_t>(page.begin() + 8, page.end()), 3000), 0);
    uint32_t blocks = 0, parameter = 0;
    EXPECT_EQ(optical::FindFormatCapacity(h, 0x26, 0, blocks, parameter), 1);
    EXPECT_EQ(blocks, 2295104u);
    EXPECT_EQ(optical::FindFormatCapacity(h, 0x26, 2, blocks, parameter), 1);
    EXPECT_EQ(blocks, 1000u);
    EXPECT_EQ(optical::FindFormatCapacity(h, 0x31, 0, blocks, parameter), 0);
    EXPECT_TRUE(optical::IsFeatureCurrent(h, 0x2A, 16));
    EXPECT_FALSE(optical::IsFeatureCurrent(h, 0x2B, 16));
    uint32_t sectors = 0;
    EXPECT_EQ(optical::ReadCapacity2048(h, sectors), 1);
    EXPECT_EQ(sectors, 1000u);
    EXPECT_EQ(optical::IsAreaBlankByRead(h, 0, 0, 2048), 1);
    EXPECT_EQ(optical::IsAreaBlankByRead(h, 0, 40, 2048), 1);   // a manifest track without a file reads zeros
    EXPECT_EQ(optical::IsAreaBlankByRead(h, 990, 20, 2048), -1);
    uint32_t kbps = 0;
    EXPECT_EQ(optical::GetMaxWriteSpeed(h, kbps), 1);
    EXPECT_EQ(kbps, 11080u);
}

TEST(MmcCommands, SpeedCommandsChangeWhatThePageReports) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load(kDvdRw));
    ASSERT_EQ(optical::ScsiSetCdSpeed(fixture.Handle(), 0, 0xFFFF, 5540), 1);
    std::vector<uint8_t> page;
    ASSERT_EQ(optical::ReadModePage(fixture.Handle(), 0x2A, 0, page), 1);
    EXPECT_EQ(page[8 + 28] << 8 | page[8 + 29], 5540);
}

TEST(MmcCommands, LyingRepliesFailCleanly) {
    struct Row {
        const char* name;
        uint8_t opcode;
        uint32_t value;
        std::function<int(platform::FileHandle)> call;
    } rows[] = {
        {"performance length 0", 0xAC, 0, [](auto h) { std::vector<uint8_t> l; return optical::GetPerformanceList(h, 0, 0, 3, l); }},
        {"performance length 0xFFFFFFFF", 0xAC, 0xFFFFFFFF,
         [](auto h) { std::vector<uint8_t> l; return optical::GetPerformanceList(h, 0, 0, 3, l); }},
        {"performance length not whole", 0xAC, 0x25,
         [](auto h) { std::vector<uint8_t> l; return optical::GetPerformanceList(h, 0, 0, 3, l); }},
        {"mode page length 0xFFFF", 0x5A, 0xFFFF,
         [](auto h) { std::vector<uint8_t> p; return optical::ReadModePage(h, 0x2A, 0, p); }},
        {"mode page length 0", 0x5A, 0, [](auto h) { std::vector<uint8_t> p; return optical::ReadModePage(h, 0x2A, 0, p); }},
        {"track info NWA from a short reply", 0x52, 0,
         [](auto h) { uint32_t n, f; return optical::ReadNextWritableAddress(h, 1, false, n, f); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        softdrive::ScopedSoftDrive fixture;
        ASSERT_TRUE(fixture.Load(kDvdRw));
        Fault fault;
        fault.kind = Fault::Kind::BadLength;
        fault.opcode = row.opcode;
        fault.value = row.value;
        fixture.drive.AddFault(fault);
        EXPECT_EQ(row.call(fixture.Handle()), 0);
    }
    // A second reply unlike the first: the list keeps to what arrived.
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load(kDvdRw));
    Fault grow;
    grow.kind = Fault::Kind::BadLength;
    grow.opcode = 0xAC;
    grow.nth = 2;
    grow.value = 0x7FFFFFF0;
    fixture.drive.AddFault(grow);
    std::vector<uint8_t> list;
    ASSERT_EQ(optical::GetPerformanceList(fixture.Handle(), 0, 0, 3, list), 1);
    EXPECT_EQ(list.size(), 8u + 3 * 16);
}

TEST(MmcCommands, NextWritableAddressOfAnEmptyTrack) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0009\ndisc status=0 last=0\natip rewritable=0\ndisc nwa=0 free=359849\n"));
    uint32_t nwa = 1, freeBlocks = 0;
    ASSERT_EQ(optical::ReadNextWritableAddress(fixture.Handle(), 1, true, nwa, freeBlocks), 1);
    EXPECT_EQ(nwa, 0u);
    EXPECT_EQ(freeBlocks, 359849u);
    EXPECT_TRUE(optical::IsDiscBlank(fixture.Handle()));
    EXPECT_EQ(optical::CheckNextWritableAddress(fixture.Handle(), 1, true, 0, 1000), 1);
    EXPECT_EQ(optical::CheckNextWritableAddress(fixture.Handle(), 1, true, 0, 400000), 0);
}

}  // namespace

namespace {

TEST(MmcCommands, CdTextPacksAsTheDriveSendsThem) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\ntrack control=0 mode=0 length=300\ntrack control=0 mode=0 length=300\n"
                             "cdtext track=0 title=Album\ncdtext track=1 title=One\ncdtext track=2 title=Two\n"
                             "feature code=0x1E current=1 data=01000000\n"));
    std::vector<uint8_t> packs;
    ASSERT_EQ(optical::ReadCdTextPacks(fixture.Handle(), packs), 1);
    ASSERT_GE(packs.size(), 4u + 18 * 4);
    EXPECT_EQ((packs.size() - 4) % 18, 0u);
    EXPECT_EQ(static_cast<size_t>(packs[0] << 8 | packs[1]) + 2, packs.size());
    EXPECT_EQ(packs[4], 0x80);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&packs[8]), 5), "Album");
    EXPECT_EQ(optical::CanReadCdText(fixture.Handle()), 1);
    // A drive whose reply claims more packs than it sent: the field is cut to what arrived.
    softdrive::ScopedSoftDrive lying;
    ASSERT_TRUE(lying.Load("profile 0x0008\ntrack control=0 mode=0 length=300\ncdtext track=0 title=Album\n"));
    Fault grow;
    grow.kind = Fault::Kind::BadLength;
    grow.opcode = 0x43;
    grow.nth = 2;
    grow.value = 0xFFF0;
    lying.drive.AddFault(grow);
    ASSERT_EQ(optical::ReadCdTextPacks(lying.Handle(), packs), 1);
    EXPECT_EQ(static_cast<size_t>(packs[0] << 8 | packs[1]) + 2, packs.size());
    softdrive::ScopedSoftDrive none;
    ASSERT_TRUE(none.Load("profile 0x0008\ntrack control=0 mode=0 length=300\n"));
    EXPECT_EQ(optical::ReadCdTextPacks(none.Handle(), packs), 0);
    EXPECT_EQ(optical::CanReadCdText(none.Handle()), 0);
}

}  // namespace
