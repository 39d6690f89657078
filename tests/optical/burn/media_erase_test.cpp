// Erase and blank check on the writable software drive: the commands each
// medium gets, the stored durations and estimates, a cancelled erase, and the
// blank-check matrix with scripted answers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "burn_drive_support.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/media_erase.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"

namespace optical {
namespace {

constexpr uint8_t kBlank = 0xA1, kFormat = 0x04, kWrite = 0x2A, kSync = 0x35, kClose = 0x5B;

struct ScopedSettings {
    qvtest::TempDir dir;
    ScopedSettings() {
        setenv("QV_CONFIG_DIR", dir.path().c_str(), 1);
        foundation::ResetProcessStateForTests();
    }
    ~ScopedSettings() {
        unsetenv("QV_CONFIG_DIR");
        foundation::ResetProcessStateForTests();
    }
};

class RecordingJobFace final : public IBurnJobFace {
public:
    void StartEraseProgress(uint32_t seconds) override { estimates.push_back(seconds); }
    void EraseFinished(bool erased) override { finished.push_back(erased); }
    std::vector<uint32_t> estimates;
    std::vector<bool> finished;
};

TEST(MediaErase, DurationsAndEstimates) {
    EraseTimes times{};
    StoreEraseDuration(times, EraseTimeOffset(media::kCdRw, 2), 70000);
    StoreEraseDuration(times, EraseTimeOffset(media::kDvdPlusRw, 2), 300000);
    StoreEraseDuration(times, EraseTimeOffset(media::kCdRw, 1), 5000);
    EXPECT_EQ(times[2], 0);
    EXPECT_EQ(times[3], 70);
    EXPECT_EQ(times[6], 1);
    EXPECT_EQ(times[7], 44);
    struct Row {
        uint8_t type;
        int32_t kind;
        uint32_t seconds;
    } rows[] = {
        {media::kCdRw, 1, 10},        // 5 s stored, raised to the minimum
        {media::kCdRw, 2, 120},      // 70 s stored, below the minimum
        {media::kDvdPlusRw, 2, 600},
        {media::kDvdPlusRw, 1, 120},  // none stored: the default
        {media::kDvdRam, 2, 2400},
        {media::kBdRe, 1, 30},
        {media::kDvdRwRestricted, 2, 900},
        {media::kDvdPlusR, 1, 0},     // no slot
    };
    for (const Row& r : rows) EXPECT_EQ(EraseEstimateSeconds(times, r.type, r.kind), r.seconds) << int(r.type);
}

TEST(MediaErase, StoredValuesOfAnyLengthKeepTheirSlots) {
    ScopedSettings settings;
    struct Row {
        const char* name;
        std::vector<uint8_t> value;
        bool dword;
        uint32_t cdRwQuick;
    } rows[] = {
        {"short", {0, 70}, false, 70},
        {"long", std::vector<uint8_t>(80, 0), false, 25},
        {"mistyped", {}, true, 25},
        {"whole", std::vector<uint8_t>(64, 0), false, 25},
    };
    rows[1].value[1] = 90;
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.dword) {
            foundation::WriteSettingDword(u"EraseTime", 12345);
        } else {
            foundation::WriteSettingBinary(u"EraseTime", r.value);
        }
        const EraseTimes times = LoadEraseTimes();
        EXPECT_EQ(EraseEstimateSeconds(times, media::kCdRw, 1), std::string(r.name) == "long" ? 90u : r.cdRwQuick);
    }
}

TEST(MediaErase, CommandsPerMedium) {
    struct Row {
        const char* name;
        std::string manifest;
        int32_t kind;
        int result;
        size_t blanks, formats, writes, syncs, closes;
        uint8_t blankType;
    } rows[] = {
        {"CD-RW quick", "profile 0x000A\ndisc status=2 last=3\natip rewritable=1\nwrite capacity=359849\n", 1, 1, 1, 0, 0,
         0, 0, 1},
        {"CD-RW full", "profile 0x000A\ndisc status=2 last=3\natip rewritable=1\nwrite capacity=359849\n", 2, 1, 1, 0, 0,
         0, 0, 0},
        {"DVD-RW", "profile 0x0014\ndisc status=2 last=3\nwrite capacity=4096\n", 1, 1, 1, 0, 0, 0, 0, 1},
        {"DVD-RAM full", "profile 0x0012\nformat type=0x00 blocks=4096\nwrite capacity=4096 formatted=1\n", 2, 1, 0, 1, 0,
         0, 0, 0},
        {"DVD-RAM quick", "profile 0x0012\nformat type=0x00 blocks=4096\nwrite capacity=4096 formatted=1\n", 1, 1, 0, 0,
         128, 1, 0, 0},
        {"DVD+RW quick", "profile 0x001A\nformat type=0x26 blocks=4096\nwrite capacity=4096\n", 1, 1, 0, 1, 128, 1, 1, 0},
        {"BD-RE quick", "profile 0x0043\ndisc status=0 last=0 bd=BDW\nformat type=0x30 blocks=8192\nwrite capacity=8192\n", 1, 1, 0, 1, 64, 1, 0, 0},
        {"CD-R", "profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849\n", 1, 0, 0, 0, 0, 0, 0, 0},
        {"no disc", "profile 0x0000\n", 1, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScopedSettings settings;
        burntest::BurnDrive drive;
        ASSERT_TRUE(drive.Load(r.manifest)) << drive.soft.lastError;
        BurnJob job;
        RecordingJobFace face;
        job.face = &face;
        EXPECT_EQ(EraseMedia(drive.soft.Handle(), job, r.kind, -1), r.result);
        EXPECT_EQ(drive.Count(kBlank), r.blanks);
        EXPECT_EQ(drive.Count(kFormat), r.formats);
        EXPECT_EQ(drive.Count(kWrite), r.writes);
        EXPECT_EQ(drive.Count(kSync), r.syncs);
        EXPECT_EQ(drive.Count(kClose), r.closes);
        for (auto& command : drive.soft.drive.Log())
            if (command.cdb[0] == kBlank) {
                EXPECT_EQ(command.cdb[1] & 7, r.blankType);
                EXPECT_NE(command.cdb[1] & 0x10, 0);   // IMMED
            }
        EXPECT_EQ(drive.log.face.Has(u"Media erased successfully."), r.result == 1);
        if (r.result == 1) {
            // Something was stored for the next estimate (the virtual clock
            // moved only with the drive's waits).
            EXPECT_EQ(face.estimates.size(), 1u);
        }
    }
}

TEST(MediaErase, CancelledZeroWriteFailsAndStoresNothing) {
    ScopedSettings settings;
    burntest::BurnDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x001A\nformat type=0x26 blocks=4096\nwrite capacity=4096\n"));
    BurnJob job;
    job.cancel = true;
    EXPECT_EQ(EraseMedia(drive.soft.Handle(), job, 2, -1), 0);
    EXPECT_EQ(drive.Count(kWrite), 0u);
    EXPECT_FALSE(drive.log.face.Has(u"Media erased successfully."));
    std::vector<uint8_t> stored(64);
    size_t got = 0;
    EXPECT_FALSE(foundation::ReadSettingBinary(u"EraseTime", stored, &got));
}

TEST(MediaErase, BlankCheckMatrix) {
    const std::string used = "disc status=2 last=3\n";
    struct Row {
        const char* name;
        std::string manifest;
        uint8_t type;
        BurnJobKind kind;
        bool finalize;
        int answer;        // 0: no box expected
        int result;
        const char16_t* box;
        size_t blanks;
    } rows[] = {
        {"blank CD-R", "profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849\n", media::kCdR,
         BurnJobKind::ImageFile, true, 0, 0, nullptr, 0},
        {"used CD-R", "profile 0x0009\n" + used + "atip\nwrite capacity=359849\n", media::kCdR, BurnJobKind::ImageFile,
         true, foundation::kIdOk, -1,
         u"The disc you inserted is not empty.\r\nPlease insert a blank or rewritable disc and retry.", 0},
        {"used DVD+R, disc copy", "profile 0x001B\ndisc status=1 last=1\nwrite capacity=4096\n", media::kDvdPlusR,
         BurnJobKind::DiscCopy, true, foundation::kIdOk, -1,
         u"The destination disc is not empty.\r\nPlease insert a blank or rewritable disc and retry.", 0},
        {"used CD-RW, declined", "profile 0x000A\n" + used + "atip rewritable=1\nwrite capacity=359849\n", media::kCdRw,
         BurnJobKind::DataDisc, true, foundation::kIdCancel, 1,
         u"The disc you inserted is not empty. Do you want to erase it now?", 0},
        {"used CD-RW, erased", "profile 0x000A\n" + used + "atip rewritable=1\nwrite capacity=359849\n", media::kCdRw,
         BurnJobKind::DataDisc, true, foundation::kIdOk, 0,
         u"The disc you inserted is not empty. Do you want to erase it now?", 1},
        {"used DVD-RW image unfinalized", "profile 0x0014\n" + used + "write capacity=4096\n", media::kDvdRwSequential,
         BurnJobKind::ImageFile, false, foundation::kIdOk, 0,
         u"The disc you inserted is not empty. Do you want to erase it now?", 0},
        {"used DVD-RW, erased", "profile 0x0014\n" + used + "write capacity=4096\n", media::kDvdRwSequential,
         BurnJobKind::ImageFile, true, foundation::kIdOk, 0,
         u"The disc you inserted is not empty. Do you want to erase it now?", 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScopedSettings settings;
        burntest::BurnDrive drive;
        ASSERT_TRUE(drive.Load(r.manifest)) << drive.soft.lastError;
        if (r.answer != 0) drive.ui.QueueBoxAnswer(r.answer);
        BurnJob job;
        job.kind = r.kind;
        job.finalize = r.finalize;
        EXPECT_EQ(CheckDestinationBlank(drive.soft.Handle(), r.type, job), r.result);
        const auto boxes = drive.ui.Boxes();
        ASSERT_EQ(boxes.size(), r.box ? 1u : 0u);
        if (r.box) {
            EXPECT_EQ(boxes[0].request.text, r.box);
        }
        EXPECT_EQ(drive.Count(kBlank), r.blanks);
        EXPECT_EQ(drive.Count(kWrite), 0u);
    }
}

TEST(MediaErase, UsedOverwritableMediaAreOverwrittenAndFailedQueriesStop) {
    ScopedSettings settings;
    {
        burntest::BurnDrive drive;
        ASSERT_TRUE(drive.Load("profile 0x001A\nformat type=0x26 blocks=4096\n"
                               "write capacity=4096 formatted=1\n"));
        std::vector<uint8_t> data(16 * 2048, 0xFF);   // one whole ECC block
        ASSERT_EQ(ScsiWrite10(drive.soft.Handle(), 0, data.data(), uint32_t(data.size()), 2048), 1);
        EXPECT_EQ(IsMediaNotEmpty(drive.soft.Handle(), media::kDvdPlusRw), 1);
        drive.ui.QueueBoxAnswer(foundation::kIdOk);
        BurnJob job;
        EXPECT_EQ(CheckDestinationBlank(drive.soft.Handle(), media::kDvdPlusRw, job), 0);
        EXPECT_EQ(drive.Count(kFormat), 0u);
    }
    {
        burntest::BurnDrive drive;
        ASSERT_TRUE(drive.Load("profile 0x001B\ndisc status=0 last=0\nwrite capacity=4096\n"));
        softdrive::Fault fault;
        fault.opcode = 0x51;
        drive.soft.drive.AddFault(fault);
        BurnJob job;
        EXPECT_EQ(CheckDestinationBlank(drive.soft.Handle(), media::kDvdPlusR, job), -1);
        EXPECT_TRUE(drive.log.face.Has(u"Error verifying blank media."));
        EXPECT_TRUE(drive.ui.Boxes().empty());
    }
}

}  // namespace
}  // namespace optical
