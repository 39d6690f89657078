// Verify after burn against the software drive holding an xorriso ISO: a
// byte that reads wrong once (retry heals it), one that stays wrong (ignore,
// abort), a cancelled pass, music that always passes, and the tolerance of
// Mode 2 tracks after the first.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "burn_test_support.h"
#include "foundation/messages_scripted.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_source_reader.h"
#include "optical/burn/burn_verify.h"
#include "optical/drive/sector_read_state.h"
#include "soft_drive/soft_drive_fixture.h"

namespace optical {
namespace {

struct ScopedUi {
    foundation::ScriptedUiServices ui;
    foundation::UiServices* previous = foundation::SetUiServices(&ui);
    ~ScopedUi() { foundation::SetUiServices(previous); }
};

// Answers boxes from the queue; the first box also mends the disc file, so
// that a retry reads the byte right.
class HealingUi final : public foundation::ScriptedUiServices {
public:
    std::string discPath;
    size_t offset = 0;
    uint8_t good = 0;
    bool heal = false;
    int ShowMessageBox(const foundation::MessageBoxRequest& request) override {
        if (heal) {
            std::FILE* f = std::fopen(discPath.c_str(), "r+b");
            std::fseek(f, long(offset), SEEK_SET);
            std::fputc(good, f);
            std::fclose(f);
            heal = false;
        }
        return ScriptedUiServices::ShowMessageBox(request);
    }
};

TEST(BurnVerify, MismatchAnswersDecideTheOutcome) {
    qvtest::TempDir dir;
    const std::string path = burntest::MakeIso(dir, "disc", 400);
    const burntest::Bytes iso = qvtest::ReadFileBytes(path);
    struct Row {
        const char* name;
        bool healsOnRetry;
        int answer;
        int result;
        const char16_t* outcome;
    } rows[] = {
        {"clean", false, 0, 1, u"Verifying successful."},
        {"retry heals", true, foundation::kIdRetry, 1, u"Verifying successful."},
        {"ignore", false, foundation::kIdIgnore, 1, u"Verifying completed with errors."},
        {"abort", false, foundation::kIdAbort, 0, u"Verifying failed."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // The disc: the ISO with byte 100 of sector 37 changed.
        const std::string disc = dir / "disc.bin";
        burntest::Bytes bytes = iso;
        const size_t offset = 37 * 2048 + 100;
        if (r.answer != 0) bytes[offset] ^= 0x5A;
        qvtest::WriteFileBytes(disc, bytes.data(), bytes.size());
        softdrive::ScopedSoftDrive drive;
        ASSERT_TRUE(drive.Load("profile 0x0010\ntrack mode=1 file=" + disc + "\n")) << drive.lastError;
        ResetSectorReadState();
        HealingUi healing;
        healing.discPath = disc;
        healing.offset = offset;
        healing.good = iso[offset];
        healing.heal = r.healsOnRetry;
        foundation::UiServices* previousUi = foundation::SetUiServices(&healing);
        struct Restore {
            foundation::UiServices* previous;
            ~Restore() { foundation::SetUiServices(previous); }
        } restore{previousUi};
        if (r.answer != 0) healing.QueueBoxAnswer(r.answer);
        auto ctx = burntest::OpenIso(path);
        BurnJob job;
        job.source = ctx.get();
        job.endSector = ctx->endSector;
        job.driveLetter = u'E';
        burntest::ScopedFace log;
        const uint32_t warningsBefore = BurnWarningCount();
        EXPECT_EQ(VerifyDisc(drive.Handle(), job), r.result);
        const auto calls = log.face.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().text, r.outcome);
        EXPECT_EQ(healing.Boxes().size(), r.answer != 0 ? 1u : 0u);
        EXPECT_EQ(log.face.Has(u"Error verifying data on disc.(sector offset: 32-47)"), r.answer != 0);
        if (r.answer == 0) {
            EXPECT_EQ(BurnWarningCount(), warningsBefore);
        }
        // An abort leaves the bar where the last good chunk left it.
        EXPECT_EQ(log.face.progress.empty() ? -1 : log.face.progress.back(), r.result == 1 ? 100 : 32 * 100 / ctx->endSector);
    }
}

TEST(BurnVerify, CancelConfirmedCountsAsVerified) {
    qvtest::TempDir dir;
    const std::string path = burntest::MakeIso(dir, "disc", 400);
    softdrive::ScopedSoftDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x0010\ntrack mode=1 file=" + path + "\n")) << drive.lastError;
    ScopedUi ui;
    ui.ui.QueueBoxAnswer(foundation::kIdOk);
    auto ctx = burntest::OpenIso(path);
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    job.cancel = true;
    burntest::ScopedFace log;
    EXPECT_EQ(VerifyDisc(drive.Handle(), job), 1);
    EXPECT_EQ(log.face.Calls().back().text, u"Verifying cancelled.");
    ASSERT_EQ(ui.ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.ui.Boxes()[0].request.text, u"Would you really like to abort the data verification process?");
    EXPECT_EQ(drive.drive.Count(0x28), 0u);
}

TEST(BurnVerify, MusicPassesWhateverTheDiscHolds) {
    qvtest::TempDir dir;
    burntest::PcmDecoder decoder;
    foundation::ScopedServices<image::SetAudioServices> audio{&decoder};
    const std::string flac = burntest::MakeFlacTone(dir, "t1", "2.0", 440);
    const int32_t length = int32_t((qvtest::ReadFileBytes(flac + ".raw").size() + 2351) / 2352);
    // The disc holds other music of the same length.
    qvtest::RunOk("head -c " + std::to_string(length * 2352) + " /dev/urandom > " + qvtest::ShellQuote(dir / "disc.bin"));
    softdrive::ScopedSoftDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x0009\ntrack mode=0 control=0 sector=2352 file=" + dir / "disc.bin" + "\n"))
        << drive.lastError;
    ResetSectorReadState();
    image::ImageContext ctx;
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 1;
    list->tracks[0].mode = image::track_mode::kAudio;
    list->tracks[0].audioSourceKind = image::kAudioSourceDecoder;
    list->tracks[0].fileName = platform::Utf8ToUtf16(flac);
    list->tracks[0].length = length;
    ctx.trackList = list.release();
    ctx.formatCode = image::format_code::kAudioCd;
    BurnJob job;
    job.kind = BurnJobKind::DataDisc;
    job.source = &ctx;
    job.sectorSize = 2352;
    burntest::ScopedFace log;
    EXPECT_EQ(VerifyDisc(drive.Handle(), job), 1);
    EXPECT_EQ(log.face.Calls().back().text, u"Verifying successful.");
    EXPECT_EQ(decoder.opens, 1);
}

TEST(BurnVerify, CompareByTrackMode) {
    image::ImageContext ctx;
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 3;
    list->tracks[0].mode = image::track_mode::kMode2;
    list->tracks[1].mode = image::track_mode::kMode2;
    list->tracks[2].mode = image::track_mode::kMode1;
    ctx.trackList = list.release();
    BurnJob job;
    job.source = &ctx;
    BurnSourceReader raw;
    raw.job = &job;
    raw.sectorSize = 2352;
    BurnSourceReader cooked = raw;
    cooked.sectorSize = 2048;
    struct Row {
        const char* name;
        const BurnSourceReader* reader;
        int32_t track;
        uint32_t sectors;
        size_t differing;   // bytes changed inside the user data, spread out
        int result;
    } rows[] = {
        {"equal", &raw, 1, 16, 0, 0},
        {"video track 2, 100 bytes", &raw, 1, 16, 100, 0},
        {"video track 2, 2000 bytes", &raw, 1, 16, 2000, 1},
        {"first track gets no tolerance", &raw, 0, 16, 100, 1},
        {"short chunk, 5 % of its own length", &raw, 1, 5, 580, 0},
        {"short chunk, above 5 %", &raw, 1, 5, 600, 1},
        {"Mode 1: user data compared", &raw, 2, 16, 1, 1},
        {"whole-image range", &raw, -1, 16, 1, 1},
        {"2048-byte job", &cooked, 0, 16, 1, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const size_t unit = size_t(r.reader->sectorSize);
        burntest::Bytes a(r.sectors * unit, 0x11), b = a;
        for (size_t i = 0; i < r.differing; ++i) {
            const size_t sector = i % r.sectors;
            const size_t at = sector * unit + (unit == 2352 ? 24 : 0) + (i / r.sectors) % 2048;
            b[at] ^= 0xFF;
        }
        EXPECT_EQ(CompareVerifyData(*r.reader, r.track, a.data(), b.data(), a.size()), r.result);
    }
    // Outside the user data a data track is equal.
    burntest::Bytes a(16 * 2352, 0), b = a;
    b[2352 * 3 + 2100] = 1;
    EXPECT_EQ(CompareVerifyData(raw, 2, a.data(), b.data(), a.size()), 0);
    // Music is never a mismatch.
    ctx.trackList->tracks[2].mode = image::track_mode::kAudio;
    b[5] = 9;
    EXPECT_EQ(CompareVerifyData(raw, 2, a.data(), b.data(), a.size()), 0);
}

}  // namespace
}  // namespace optical
