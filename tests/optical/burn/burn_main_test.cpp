// Whole burn jobs on the writable software drive, from the blank check to the
// eject: an xorriso ISO burnt and verified on CD-R, DVD+R and an unformatted
// BD-RE, a used CD-RW erased first, a job cancelled while writing; the
// exported disc read back by isoinfo and compared with the source.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "burn_drive_support.h"
#include "optical/burn/burn_engine.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/system_awake.h"
#include "optical/drive/disc_queries.h"
#include "optical/scsi/scsi_command.h"

namespace optical {
namespace {

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }

class FaceCalls final : public IBurnJobFace {
public:
    void BurnCompleted() override { ++completed; }
    void RestoreControls() override { ++restored; }
    int completed = 0;
    int restored = 0;
};

TEST(BurnMain, IsoBurntVerifiedAndEjected) {
    qvtest::TempDir src;
    const std::string iso = burntest::MakeIso(src, "disc", 900);
    struct Row {
        const char* name;
        std::string manifest;   // followed by the write line
        uint8_t type;
        int answer;             // to the erase question; 0 none asked
    } rows[] = {
        {"CD-R", "profile 0x0009\ndisc status=0 last=0\natip\n", media::kCdR, 0},
        {"used CD-RW", "profile 0x000A\ndisc status=2 last=3\natip rewritable=1\n", media::kCdRw, foundation::kIdOk},
        {"DVD+R", "profile 0x001B\ndisc status=0 last=0\n", media::kDvdPlusR, 0},
        {"BD-RE unformatted", "profile 0x0043\ndisc status=0 last=0 bd=BDW\nformat type=0x30 blocks=11826176\n",
         media::kBdRe, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        burntest::BurnDrive drive;
        const std::string out = drive.dir / "export";
        qvtest::RunOk("mkdir -p " + Q(out));
        const uint32_t capacity = r.type <= 15 ? 359849 : 2295104;
        ASSERT_TRUE(drive.Load(r.manifest + "write capacity=" + std::to_string(capacity) + " export=" + out + "\n"))
            << drive.soft.lastError;
        if (r.answer) drive.ui.QueueBoxAnswer(r.answer);
        auto ctx = burntest::OpenIso(iso);
        BurnJob job;
        FaceCalls face;
        job.face = &face;
        job.driveLetter = u'E';
        job.mediaType = r.type;
        job.source = ctx.get();
        job.verify = true;
        job.eject = true;
        job.overwritableMedia = IsOverwritableMedia(r.type);
        EXPECT_EQ(BurnMain(job), 1) << platform::Utf16ToUtf8(drive.log.face.Calls().back().text);
        EXPECT_TRUE(drive.log.face.Has(u"Burning successful."));
        EXPECT_TRUE(drive.log.face.Has(u"Verifying successful."));
        EXPECT_EQ(drive.ui.Boxes().size(), r.answer ? 1u : 0u);
        EXPECT_EQ(drive.Count(0xA1), r.answer ? 1u : 0u);
        EXPECT_EQ(face.completed, 1);
        EXPECT_EQ(face.restored, 1);
        bool ejected = false;
        for (const auto& c : drive.soft.drive.Log()) ejected |= c.cdb[0] == 0x1B && (c.cdb[4] & 3) == 2;
        EXPECT_TRUE(ejected);
        EXPECT_EQ(job.phase.load(), BurnPhase::Idle);
        EXPECT_FALSE(SystemKeptAwake());
        const std::string disc = out + "/disc.iso";
        qvtest::RunOk("cmp -n " + std::to_string(ctx->endSector * 2048) + " " + Q(iso) + " " + Q(disc));
        EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(disc)).find("Volume id: BURNTEST"), std::string::npos);
    }
}

// Music decoded on the fly (sox's PCM through the decoder seam): the frames
// verified raw, and the exported disc's first track equal to the PCM.
TEST(BurnMain, AudioCdBurntAndVerified) {
    burntest::BurnDrive drive;
    burntest::PcmDecoder decoder;
    foundation::ScopedServices<image::SetAudioServices> audio{&decoder};
    const std::string t1 = burntest::MakeFlacTone(drive.dir, "t1", "2.2", 440);
    const std::string t2 = burntest::MakeFlacTone(drive.dir, "t2", "1.1", 660);
    const burntest::Bytes pcm1 = qvtest::ReadFileBytes(t1 + ".raw");
    const int32_t length1 = int32_t((pcm1.size() + 2351) / 2352);
    const int32_t length2 = int32_t((qvtest::ReadFileBytes(t2 + ".raw").size() + 2351) / 2352);
    image::ImageContext ctx;
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 2;
    list->firstTrackNumber = 1;
    list->tracks[0].mode = image::track_mode::kAudio;
    list->tracks[0].audioSourceKind = image::kAudioSourceDecoder;
    list->tracks[0].fileName = platform::Utf8ToUtf16(t1);
    list->tracks[0].length = length1;
    list->tracks[1].mode = image::track_mode::kAudio;
    list->tracks[1].audioSourceKind = image::kAudioSourceDecoder;
    list->tracks[1].fileName = platform::Utf8ToUtf16(t2);
    list->tracks[1].pregap = 150;
    list->tracks[1].startSector = length1 + 150;
    list->tracks[1].length = length2;
    ctx.trackList = list.release();
    ctx.formatCode = image::format_code::kAudioCd;
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849 export=" + out + "\n"));
    BurnJob job;
    job.driveLetter = u'E';
    job.mediaType = media::kCdR;
    job.kind = BurnJobKind::DataDisc;
    job.source = &ctx;
    job.verify = true;
    EXPECT_EQ(BurnMain(job), 1) << platform::Utf16ToUtf8(drive.log.face.Calls().back().text);
    EXPECT_TRUE(drive.log.face.Has(u"Verifying successful."));
    EXPECT_EQ(decoder.opens, 4);   // each track once for the burn, once for verify
    EXPECT_GT(drive.Count(0xBE), 0u);
    qvtest::RunOk("cd " + Q(out) + " && bchunk -w disc.bin disc.cue t >/dev/null");
    const burntest::Bytes wav = qvtest::ReadFileBytes(out + "/t01.wav");
    ASSERT_GE(wav.size(), 44 + pcm1.size());
    EXPECT_TRUE(std::equal(pcm1.begin(), pcm1.end(), wav.begin() + 44));
}

// Commands of the source handle go to the source drive, all others to the
// target.
class TwoDrives final : public ITransportResolver {
public:
    TwoDrives(platform::FileHandle source, ScsiTransport* sourceDrive, ScsiTransport* target)
        : source_(source), sourceDrive_(sourceDrive), target_(target) {}
    ScsiTransport* TransportFor(platform::FileHandle handle) override {
        return handle == source_ ? sourceDrive_ : target_;
    }

private:
    platform::FileHandle source_;
    ScsiTransport* sourceDrive_;
    ScsiTransport* target_;
};

// A two-session CD (music, then an xorriso ISO) copied from a second drive
// and verified against it.
TEST(BurnMain, DiscCopyVerifiedAgainstTheSourceDrive) {
    burntest::BurnDrive drive;
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + Q(drive.dir / "a.raw") + " synth 3 sine 440");
    const std::string iso = burntest::MakeIso(drive.dir, "second", 200);
    const int64_t second = int64_t(qvtest::ReadFileBytes(drive.dir / "a.raw").size() / 2352) + 11400;
    softdrive::SoftDrive source;
    std::string error;
    ASSERT_TRUE(source.LoadText("profile 0x0008\ntrack session=1 control=0 mode=0 sector=2352 file=" + drive.dir / "a.raw" +
                                    "\ntrack session=2 mode=1 start=" + std::to_string(second) + " file=" + iso + "\n",
                                error))
        << error;
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849 export=" + out + "\n"));
    const platform::FileHandle sourceHandle = reinterpret_cast<platform::FileHandle>(&source);
    TwoDrives drives(sourceHandle, &source, &drive.soft.drive);
    foundation::ScopedServices<SetTransportResolver> routed(&drives);
    image::ImageContext ctx;
    ctx.discSource = 1;
    ctx.sourceDriveHandle = sourceHandle;
    struct Release {
        image::ImageContext& ctx;
        ~Release() { ctx.sourceDriveHandle = nullptr; }
    } release{ctx};
    image::TrackListPtr list = image::NewTrackList();
    ASSERT_TRUE(ReadDiscLayout(sourceHandle, *list, u'F'));
    ctx.trackList = list.release();
    BurnJob job;
    job.driveLetter = u'E';
    job.mediaType = media::kCdR;
    job.kind = BurnJobKind::DiscCopy;
    job.source = &ctx;
    job.verify = true;
    EXPECT_EQ(BurnMain(job), 1) << platform::Utf16ToUtf8(drive.log.face.Calls().back().text);
    EXPECT_EQ(job.sectorSize, 2352);
    EXPECT_TRUE(drive.log.face.Has(u"Verifying successful."));
    const burntest::Bytes data = qvtest::ReadFileBytes(iso);
    const burntest::Bytes user = qvtest::ReadFileBytes(out + "/disc.iso");
    ASSERT_GE(user.size(), size_t(second) * 2048 + data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), user.begin() + second * 2048));
}

TEST(BurnMain, CancelWhileWritingFailsAndSkipsVerify) {
    qvtest::TempDir src;
    const std::string iso = burntest::MakeIso(src, "disc", 900);
    burntest::BurnDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x001B\ndisc status=0 last=0\nwrite capacity=2295104\n"));
    auto ctx = burntest::OpenIso(iso);
    BurnJob job;
    FaceCalls face;
    job.face = &face;
    job.driveLetter = u'E';
    job.mediaType = media::kDvdPlusR;
    job.source = ctx.get();
    job.verify = true;
    job.eject = true;
    // Cancel arrives with the fifth write.
    softdrive::Fault latency;
    latency.kind = softdrive::Fault::Kind::Latency;
    latency.opcode = 0x2A;
    latency.nth = 5;
    latency.bytes = 1;
    drive.soft.drive.AddFault(latency);
    drive.soft.drive.latencyHook = [&](uint32_t) { job.cancel = true; };
    EXPECT_EQ(BurnMain(job), 0);
    EXPECT_FALSE(drive.log.face.Has(u"Burning successful."));
    EXPECT_FALSE(drive.log.face.Has(u"Verifying"));
    EXPECT_LE(drive.Count(0x2A), 6u);
    EXPECT_EQ(face.completed, 0);
    EXPECT_EQ(face.restored, 1);
    bool ejected = false;
    for (const auto& c : drive.soft.drive.Log()) ejected |= c.cdb[0] == 0x1B && (c.cdb[4] & 2) != 0;
    EXPECT_FALSE(ejected);
}

}  // namespace
}  // namespace optical
