// The burn job's main sequence on the writable software drive: refusals that
// send no WRITE, the blank check's outcomes as job results (declined is not a
// failure, a refused disc is), an appended session never asked about or
// erased, an erase-only job, and everything released afterwards.

#include <gtest/gtest.h>

#include <string>

#include "burn_drive_support.h"
#include "foundation/operation_status.h"
#include "optical/burn/burn_engine.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/system_awake.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"

namespace optical {
namespace {

constexpr uint8_t kBlank = 0xA1, kWrite = 0x2A;

class FaceCalls final : public IBurnJobFace {
public:
    void EraseFinished(bool erased) override { erase.push_back(erased); }
    void RestoreControls() override { ++restored; }
    void BurnCompleted() override { ++completed; }
    std::vector<bool> erase;
    int restored = 0;
    int completed = 0;
};

TEST(BurnEngine, SectorSizeBySourceAndMedium) {
    image::ImageContext iso, audio, mixed, raw;
    audio.formatCode = image::format_code::kAudioCd;
    mixed.mixedTracks = 1;
    raw.rawSectors = 1;
    struct Row {
        image::ImageContext* source;
        BurnJobKind kind;
        uint8_t type;
        int32_t size;
    } rows[] = {
        {&iso, BurnJobKind::ImageFile, media::kCdR, 2048},     {&audio, BurnJobKind::DataDisc, media::kCdR, 2352},
        {&mixed, BurnJobKind::DataDisc, media::kCdRw, 2352},   {&raw, BurnJobKind::ImageFile, media::kCdR, 2352},
        {&iso, BurnJobKind::DiscCopy, media::kCdR, 2352},      {&iso, BurnJobKind::DiscCopy, media::kDvdPlusR, 2048},
        {&audio, BurnJobKind::ImageFile, media::kDvdPlusR, 2352},
    };
    for (const Row& r : rows) {
        BurnJob job;
        job.source = r.source;
        job.kind = r.kind;
        EXPECT_EQ(ChooseBurnSectorSize(job, r.type), r.size) << int(r.type);
    }
}

TEST(BurnEngine, OutcomesBeforeAnyWrite) {
    const std::string blankCdR = "profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849\n";
    const std::string usedCdR = "profile 0x0009\ndisc status=2 last=3\natip\nwrite capacity=359849\n";
    const std::string usedCdRw = "profile 0x000A\ndisc status=2 last=3\natip rewritable=1\nwrite capacity=359849\n";
    const std::string blankDvdR = "profile 0x001B\ndisc status=0 last=0\nwrite capacity=4096\n";
    struct Row {
        const char* name;
        std::string manifest;
        char16_t letter;
        uint8_t type;
        bool audio;
        bool append;
        int answer;
        int result;
        const char16_t* text;   // a row or a box holding it
        size_t boxes;
    } rows[] = {
        {"no device", blankCdR, u'Q', media::kCdR, false, false, 0, 0, u"Error opening device[Q:].", 0},
        {"no medium", blankCdR, u'E', 0, false, false, 0, 0, u"Media detect failed, or no media in the drive.", 0},
        {"BD-R in RRM", blankCdR, u'E', media::kBdRRandom, false, false, 0, 0, u"random recording mode (RRM)", 0},
        {"DVD-R DL appending", blankDvdR, u'E', media::kDvdRDl, false, true, foundation::kIdOk, 0,
         u"DVD-R DL multisession burning is not supported. Please check the 'Finalize Disc' option.", 1},
        {"music to a DVD", blankDvdR, u'E', media::kDvdPlusR, true, false, 0, 0,
         u"The current data can only be burned to a CD.", 0},
        {"used CD-R refused", usedCdR, u'E', media::kCdR, false, false, foundation::kIdOk, 0,
         u"Please insert a blank or rewritable disc and retry.", 1},
        {"used CD-RW declined", usedCdRw, u'E', media::kCdRw, false, false, foundation::kIdCancel, 1,
         u"Do you want to erase it now?", 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        burntest::BurnDrive drive;
        ASSERT_TRUE(drive.Load(r.manifest)) << drive.soft.lastError;
        if (r.answer != 0) drive.ui.QueueBoxAnswer(r.answer);
        auto iso = std::make_unique<image::ImageContext>();
        if (r.audio) iso->formatCode = image::format_code::kAudioCd;
        BurnJob job;
        FaceCalls face;
        job.face = &face;
        job.driveLetter = r.letter;
        job.mediaType = r.type;
        job.appendSession = r.append;
        job.source = iso.get();
        EXPECT_EQ(BurnMain(job), r.result);
        const auto boxes = drive.ui.Boxes();
        ASSERT_EQ(boxes.size(), r.boxes);
        const bool logged = drive.log.face.Has(r.text);
        const bool boxed = !boxes.empty() && boxes[0].request.text.find(r.text) != std::u16string::npos;
        EXPECT_TRUE(logged || boxed);
        EXPECT_EQ(drive.Count(kWrite), 0u);
        EXPECT_EQ(drive.Count(kBlank), 0u);
        EXPECT_EQ(job.phase.load(), BurnPhase::Idle);
        EXPECT_FALSE(SystemKeptAwake());
        EXPECT_EQ(face.restored, r.letter == u'E' ? 1 : 0);
        EXPECT_EQ(face.completed, 0);
    }
}

TEST(BurnEngine, AppendedSessionIsNeverAskedAboutOrErased) {
    burntest::BurnDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x000A\ndisc status=1 last=1\natip rewritable=1\nwrite capacity=359849\n"));
    drive.ui.QueueBoxAnswer(foundation::kIdOk);
    image::ImageContext iso;
    BurnJob job;
    job.driveLetter = u'E';
    job.mediaType = media::kCdRw;
    job.appendSession = true;
    job.source = &iso;
    BurnMain(job);
    EXPECT_TRUE(drive.ui.Boxes().empty());
    EXPECT_EQ(drive.Count(kBlank), 0u);
}

TEST(BurnEngine, EraseOnlyJob) {
    burntest::BurnDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x000A\ndisc status=2 last=3\natip rewritable=1\nwrite capacity=359849\n"));
    BurnJob job;
    FaceCalls face;
    job.face = &face;
    job.driveLetter = u'E';
    job.mediaType = media::kCdRw;
    job.eraseOnly = true;
    job.eraseKind = 1;
    EXPECT_EQ(BurnMain(job), 1);
    EXPECT_EQ(face.erase, std::vector<bool>{true});
    EXPECT_EQ(drive.Count(kBlank), 1u);
    EXPECT_TRUE(drive.log.face.Has(u"Media detected: CD-RW"));
    EXPECT_TRUE(drive.log.face.Has(u"Media erased successfully."));
    EXPECT_TRUE(IsDiscBlank(drive.soft.Handle()));
}

}  // namespace
}  // namespace optical
