// Reading disc sectors with retries, on the software drive over an ISO made
// by xorriso: chunking, the fall-back to single sectors, the policies, skip
// mode, and replies that lie. The bytes are checked against the ISO itself,
// so a lost sector can never pass as good data.

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/messages_scripted.h"
#include "foundation/messages_ui.h"
#include "optical/drive/sector_read_state.h"
#include "optical/drive/sector_reader.h"
#include "optical/scsi/scsi_command.h"
#include "soft_drive/soft_drive_fixture.h"
#include "tests/support/test_support.h"

namespace {

using softdrive::Fault;

class SectorReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir;
        std::string tree = *dir_ / "tree";
        qvtest::RunOk("mkdir -p " + tree + " && head -c 300000 /dev/urandom > " + tree + "/a.bin && seq 1 20000 > " +
                      tree + "/b.txt");
        qvtest::RunOk("SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -R -V SOFT -o " + *dir_ / "d.iso" +
                      " " + tree + " 2>&1");
        iso_ = new std::vector<uint8_t>(qvtest::ReadFileBytes(*dir_ / "d.iso"));
    }
    static void TearDownTestSuite() {
        delete iso_;
        delete dir_;
    }
    void SetUp() override {
        optical::ResetSectorReadState();
        ASSERT_TRUE(fixture_.Load("profile 0x0008\ntrack mode=1 file=" + *dir_ / "d.iso" + "\n")) << fixture_.lastError;
    }
    foundation::SectorReadRequest Request(std::vector<uint8_t>& buffer, uint32_t lba, uint32_t count, int policy) {
        buffer.assign(static_cast<size_t>(count) * 2048, 0xCC);
        foundation::SectorReadRequest r;
        r.device = fixture_.Handle();
        r.buffer = buffer.data();
        r.bufferBytes = buffer.size();
        r.lba = lba;
        r.count = count;
        r.policy = policy;
        return r;
    }
    // Every sector equals the ISO's, except the listed ones, which are zero.
    void ExpectSectors(const std::vector<uint8_t>& buffer, uint32_t lba, std::vector<uint32_t> lost) {
        for (uint32_t i = 0; i < buffer.size() / 2048; ++i) {
            const uint8_t* got = buffer.data() + static_cast<size_t>(i) * 2048;
            bool isLost = std::find(lost.begin(), lost.end(), lba + i) != lost.end();
            if (isLost) {
                EXPECT_TRUE(std::all_of(got, got + 2048, [](uint8_t b) { return b == 0; })) << "sector " << lba + i;
            } else {
                EXPECT_EQ(std::memcmp(got, iso_->data() + static_cast<size_t>(lba + i) * 2048, 2048), 0)
                    << "sector " << lba + i;
            }
        }
    }
    static qvtest::TempDir* dir_;
    static std::vector<uint8_t>* iso_;
    softdrive::ScopedSoftDrive fixture_;
};
qvtest::TempDir* SectorReaderTest::dir_ = nullptr;
std::vector<uint8_t>* SectorReaderTest::iso_ = nullptr;

TEST_F(SectorReaderTest, CleanReadsGoInChunks) {
    std::vector<uint8_t> buffer;
    int hadError = -1;
    ASSERT_EQ(optical::ReadSectorsWithRetry(Request(buffer, 16, 40, 5), &hadError), 1);
    EXPECT_EQ(hadError, 0);
    ASSERT_EQ(fixture_.drive.Count(0x28), 2u);
    EXPECT_EQ(fixture_.drive.Log()[0].cdb[8], 32);
    EXPECT_EQ(fixture_.drive.Log()[1].cdb[8], 8);
    ExpectSectors(buffer, 16, {});
}

TEST_F(SectorReaderTest, LostSectorsAreZeroAndMarkedAndTheRestIsRead) {
    struct Row {
        const char* name;
        Fault fault;
        int policy;
        int expectResult;
        std::vector<uint32_t> lost;
    };
    auto sense = [](int64_t lba) {
        Fault f;
        f.opcode = 0x28;
        f.lba = lba;
        return f;
    };
    auto kind = [](Fault::Kind k, int64_t lba, int32_t bytes = 0) {
        Fault f;
        f.kind = k;
        f.opcode = 0x28;
        f.lba = lba;
        f.bytes = bytes;
        return f;
    };
    Fault recovered = sense(21);
    recovered.key = 1;
    const Row rows[] = {
        {"medium error at one sector, policy 5", sense(20), 5, 1, {20}},
        {"medium error, policy 0 without prompt", sense(20), 0, 0, {}},
        {"descriptor-format sense", kind(Fault::Kind::DescriptorSense, 30), 5, 1, {30}},
        {"recovered-error sense counts as a failure", recovered, 200, 1, {21}},
        {"transfer longer than asked", kind(Fault::Kind::LongTransfer, 25, 4096), 5, 1, {25}},
        {"good status with nothing moved", kind(Fault::Kind::FullResid, 26), 5, 1, {26}},
        {"timeout with status 0", kind(Fault::Kind::Host, 27), 5, 1, {27}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        optical::ResetSectorReadState();
        fixture_.drive.ClearFaults();
        fixture_.drive.Log().clear();
        Fault f = row.fault;
        if (f.kind == Fault::Kind::Host) f.status = 3;
        fixture_.drive.AddFault(f);
        std::vector<uint8_t> buffer;
        int hadError = -1;
        EXPECT_EQ(optical::ReadSectorsWithRetry(Request(buffer, 16, 40, row.policy), &hadError), row.expectResult);
        if (row.expectResult == 1) {
            EXPECT_EQ(hadError, row.lost.empty() ? 0 : 1);
            EXPECT_EQ(optical::g_ReadHadErrors.load(), !row.lost.empty());
            ExpectSectors(buffer, 16, row.lost);
        }
    }
}

TEST_F(SectorReaderTest, ABadZoneGivesUpTheRestOfTheCallAfterSixteenFailures) {
    Fault zone;
    zone.opcode = 0x28;
    fixture_.drive.AddFault(zone);   // every read fails
    std::vector<uint8_t> buffer;
    int hadError = 0;
    ASSERT_EQ(optical::ReadSectorsWithRetry(Request(buffer, 100, 32, 5), &hadError), 1);
    EXPECT_EQ(hadError, 1);
    // One chunk, then 8 sectors of 2 attempts each.
    EXPECT_EQ(fixture_.drive.Count(0x28), 1u + 16u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(SectorReaderTest, IgnoreAllSkipsSixteenCallsAfterSixteenFailures) {
    optical::g_IgnoreAllReadErrors = true;
    optical::g_ReadErrorRun = 16;
    std::vector<uint8_t> buffer;
    for (int call = 0; call < 16; ++call) {
        int hadError = 0;
        ASSERT_EQ(optical::ReadSectorsWithRetry(Request(buffer, 50, 4, 5), &hadError), 1);
        EXPECT_EQ(hadError, 1);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
    }
    EXPECT_EQ(fixture_.drive.Count(0x28), 0u);
    ASSERT_EQ(optical::ReadSectorsWithRetry(Request(buffer, 50, 4, 5), nullptr), 1);
    EXPECT_EQ(fixture_.drive.Count(0x28), 1u);
    ExpectSectors(buffer, 50, {});
}

TEST_F(SectorReaderTest, StartingAtSectorZeroClearsTheCounters) {
    optical::g_IgnoreAllReadErrors = true;
    optical::g_ReadErrorRun = 16;
    optical::g_SkipCountdown = 5;
    std::vector<uint8_t> buffer;
    ASSERT_EQ(optical::ReadSectorsWithRetry(Request(buffer, 0, 20, 5), nullptr), 1);
    EXPECT_EQ(fixture_.drive.Count(0x28), 1u);
    EXPECT_EQ(optical::g_SkipCountdown.load(), 0);
    ExpectSectors(buffer, 0, {});
}

TEST_F(SectorReaderTest, PromptIgnoreThenIgnoreAll) {
    foundation::ScriptedUiServices ui;
    foundation::UiServices* previous = foundation::SetUiServices(&ui);
    ui.QueueBoxAnswer(foundation::kIdIgnore);
    ui.QueueBoxAnswer(foundation::kIdYes);
    Fault f;
    f.opcode = 0x28;
    f.lba = 40;
    fixture_.drive.AddFault(f);
    std::vector<uint8_t> buffer;
    auto request = Request(buffer, 32, 16, 0);
    request.mayPrompt = true;
    int hadError = 0;
    ASSERT_EQ(optical::ReadSectorsWithRetry(request, &hadError), 1);
    EXPECT_EQ(hadError, 1);
    EXPECT_TRUE(optical::g_IgnoreAllReadErrors.load());
    EXPECT_EQ(ui.Boxes().size(), 2u);
    foundation::SetUiServices(previous);
    ExpectSectors(buffer, 32, {40});
}

TEST_F(SectorReaderTest, RefusesARunThatDoesNotFitTheBuffer) {
    std::vector<uint8_t> buffer;
    auto request = Request(buffer, 0, 10, 5);
    request.bufferBytes = 9 * 2048;
    EXPECT_EQ(optical::ReadSectorsWithRetry(request, nullptr), 0);
    EXPECT_TRUE(fixture_.drive.Log().empty());
}

TEST_F(SectorReaderTest, RawReadsOnTheOneSectorPathGiveMarkedZeros) {
    optical::g_DeviceAccessMode = 1;
    std::vector<uint8_t> buffer(4 * 2352, 0xCC);
    foundation::SectorReadRequest r;
    r.device = fixture_.Handle();
    r.buffer = buffer.data();
    r.lba = 16;
    r.count = 4;
    r.raw = true;
    r.policy = 5;
    int hadError = 0;
    EXPECT_EQ(optical::ReadSectorsWithRetry(r, &hadError), 1);
    optical::g_DeviceAccessMode = 6;
    EXPECT_EQ(hadError, 1);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(fixture_.drive.Log().empty());
}

}  // namespace
