// The CD writers on the recording software drive, read back by tools we did
// not write: bchunk, cd-info, cueprint, isoinfo and 7z on the exported disc.
// Bad sheets, lying pages and CD-TEXT that cannot be written are refused or
// turned off before the first WRITE.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "image/sheets/cdtext.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_writers.h"
#include "optical/burn/cd_cue_sheet.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"
#include "writer_rig.h"

namespace {

using burntest::Bytes;
using optical::BurnJob;
using optical::BurnJobKind;
using optical::ReadAheadBufferPtr;
namespace tm = image::track_mode;

// A blank CD-R; its drive reads CD-TEXT unless told otherwise.
std::string BlankCd(const std::string& exportDir, const std::string& extra = "", bool cdTextDrive = true,
                    bool atip = true) {
    return "profile 0x0009\nprofiles 0x0008,0x0009,0x000A\ndisc status=0 last=0\n" + std::string(atip ? "atip\n" : "") +
           "feature code=0x1E current=1 data=" +
           std::string(cdTextDrive ? "01" : "00") + "000000\nwrite capacity=359849 export=" + exportDir + "\n" + extra;
}

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }

TEST(CdWriters, DataCdReadsBackWithBchunkIsoinfoCdInfoAnd7z) {
    qvtest::TempDir dir;
    const std::string iso = burntest::MakeIso(dir, "small", 150);
    auto ctx = burntest::OpenIso(iso);
    ASSERT_LT(ctx->endSector, 298);
    burntest::WriterRig rig;
    ASSERT_TRUE(rig.Load(BlankCd(dir.path())));
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    job.mediaType = 2;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(optical::WriteCdImage(rig.h(), buffer.get(), job), 1) << rig.Rows();
    // The lead-out entry of a short track lies at 00:06:00: 300 sectors.
    qvtest::RunOk("cd " + Q(dir.path()) + " && bchunk disc.bin disc.cue t >/dev/null");
    qvtest::RunOk("cmp -n " + std::to_string(ctx->endSector * 2048) + " " + Q(iso) + " " + Q(dir / "t01.iso"));
    EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(dir / "disc.iso")).find("Volume id: BURNTEST"), std::string::npos);
    std::string info = qvtest::Run("cd-info --no-device-info --no-cddb --cue-file " + Q(dir / "disc.cue") + " 2>&1").output;
    EXPECT_NE(info.find("000300 leadout"), std::string::npos) << info;
    qvtest::RunOk("cd " + Q(dir.path()) + " && 7z x -y -oout disc.iso >/dev/null && diff -r out small.src");
}

struct AudioDisc : burntest::TwoToneDisc {
    AudioDisc() : TwoToneDisc("2.2", "1.1") {}
    void Text(int track, int slot, const char* text) {
        image::TrackDetail* d = image::GetTrackCdText(track, ctx.trackList);
        d->texts[size_t(slot)] = platform::Utf8ToUtf16(text);
    }
    void BuildPacks() {
        image::UpdateTrackListCdTextAnsi(ctx.trackList);
        image::BuildCdTextSubchannel(ctx.trackList);
    }
};

TEST(CdWriters, AudioCdWithCdTextReadsBackWithBchunkCdInfoAndCueprint) {
    AudioDisc disc;
    disc.Text(0, image::cdtext_slot::kTitle, "Quiet Album");
    disc.Text(0, image::cdtext_slot::kPerformer, "The Band");
    disc.Text(0, image::cdtext_slot::kUpcIsrc, "0123456789012");
    disc.Text(1, image::cdtext_slot::kTitle, "First Song");
    disc.Text(1, image::cdtext_slot::kUpcIsrc, "GBABC0500001");
    disc.Text(2, image::cdtext_slot::kTitle, "Second");
    disc.Text(2, image::cdtext_slot::kUpcIsrc, "bad-isrc");
    disc.BuildPacks();
    burntest::WriterRig rig;
    ASSERT_TRUE(rig.Load(BlankCd(disc.dir.path())));
    BurnJob job;
    job.kind = BurnJobKind::DataDisc;
    job.source = &disc.ctx;
    job.writeCdText = true;
    job.mediaType = 2;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2352));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(optical::WriteCdImage(rig.h(), buffer.get(), job), 1) << rig.Rows();
    // The disc information (lead-in start) is read before the cue sheet goes out.
    EXPECT_LT(rig.First(0x51), rig.First(0x5D));
    EXPECT_NE(rig.Rows().find("bad-isrc"), std::string::npos);
    const std::string d = disc.dir.path();
    qvtest::RunOk("cd " + Q(d) + " && bchunk -w disc.bin disc.cue t >/dev/null");
    for (int t = 1; t <= 2; ++t) {
        Bytes wav = qvtest::ReadFileBytes(disc.dir / ("t0" + std::to_string(t) + ".wav"));
        Bytes expected = t == 1 ? disc.pcm1 : disc.pcm2;
        expected.resize(size_t(t == 1 ? disc.length1 : disc.length2) * 2352, 0);
        ASSERT_EQ(wav.size(), expected.size() + 44) << t;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.begin() + 44)) << t;
    }
    std::string info = qvtest::Run("cd-info --no-device-info --no-cddb --cue-file " + Q(d + "/disc.cue") + " 2>&1").output;
    EXPECT_NE(info.find("0123456789012"), std::string::npos) << info;
    EXPECT_NE(info.find("CD-TEXT for Track  1:\n\tTITLE: First Song"), std::string::npos) << info;
    std::string isrc = qvtest::Run("cueprint -t '%n %i\\n' " + Q(d + "/disc.cue") + " 2>&1").output;
    EXPECT_NE(isrc.find("1 GBABC0500001"), std::string::npos) << isrc;
    std::vector<uint8_t> packs;
    ASSERT_EQ(optical::ReadCdTextPacks(rig.h(), packs), 1);
    const Bytes cdt = qvtest::ReadFileBytes(disc.dir / "disc.cdt");
    ASSERT_EQ(packs.size(), cdt.size() + 4);
    EXPECT_TRUE(std::equal(cdt.begin(), cdt.end(), packs.begin() + 4));
    std::string texts = qvtest::Run("cdrskin textfile_to_v07t=" + Q(d + "/disc.cdt") + " 2>&1").output;
    EXPECT_NE(texts.find("Quiet Album"), std::string::npos) << texts;
}

TEST(CdWriters, CdTextIsTurnedOffWhenItCannotBeWritten) {
    struct Row {
        const char* name;
        bool cdTextDrive;
        int block;             // 0 packs as built, 1 empty, 2 not whole units
        bool atip;             // without it the disc gives no lead-in start
        const char* reason;    // only a drive that lacks CD-Text is blamed
    } rows[] = {
        {"drive without CD-Text", false, 0, true, "The current drive does not support CD-Text."},
        {"empty pack block", true, 1, true, "The job holds no whole CD-Text packs to write."},
        {"block of 100 bytes", true, 2, true, "The job holds no whole CD-Text packs to write."},
        {"no lead-in start", true, 0, false, "The disc gives no lead-in start for CD-Text."},
    };
    for (const Row& row : rows) {
        AudioDisc disc;
        disc.Text(0, image::cdtext_slot::kTitle, "Album");
        disc.BuildPacks();
        if (row.block == 1) disc.ctx.trackList->rwSubchannel.clear();
        if (row.block == 2) disc.ctx.trackList->rwSubchannel.resize(100);
        burntest::WriterRig rig;
        ASSERT_TRUE(rig.Load(BlankCd(disc.dir.path(), "", row.cdTextDrive, row.atip)));
        BurnJob job;
        job.source = &disc.ctx;
        job.writeCdText = true;
        ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2352));
        ASSERT_TRUE(buffer);
        EXPECT_EQ(optical::WriteAudioCd(rig.h(), buffer.get(), job), 1) << row.name << rig.Rows();
        EXPECT_NE(rig.Rows().find("The writing CD-Text shall be ignored."), std::string::npos) << row.name;
        EXPECT_NE(rig.Rows().find(row.reason), std::string::npos) << row.name << rig.Rows();
        if (row.cdTextDrive) {
            EXPECT_EQ(rig.Rows().find("does not support CD-Text"), std::string::npos) << row.name;
        }
        EXPECT_FALSE(qvtest::Run("test -e " + Q(disc.dir / "disc.cdt")).exitCode == 0) << row.name;   // no lead-in
    }
}

TEST(CdWriters, BadSheetsAndLyingPagesFailBeforeAnyWrite) {
    struct Row {
        const char* name;
        std::function<void(image::TrackList&)> spoil;
        std::string extra;
        const char* row;
    } rows[] = {
        {"unknown mode", [](image::TrackList& l) { l.tracks[1].mode = 77; }, "", "unknown mode"},
        {"no tracks", [](image::TrackList& l) { l.trackCount = 0; }, "", "track count"},
        {"100 tracks", [](image::TrackList& l) { l.trackCount = 100; }, "", "track count"},
        {"descending", [](image::TrackList& l) { l.tracks[1].startSector = 10; }, "", "does not follow"},
        {"page length 0x10", [](image::TrackList&) {}, "write capacity=359849 page5=0x10\n", "(255, "},
    };
    for (const Row& row : rows) {
        AudioDisc disc;
        burntest::WriterRig rig;
        ASSERT_TRUE(rig.Load(BlankCd(disc.dir.path(), row.extra)));
        BurnJob job;
        job.source = &disc.ctx;
        row.spoil(*disc.ctx.trackList);
        // Nothing may be taken from the ring: there is none.
        EXPECT_EQ(optical::WriteAudioCd(rig.h(), nullptr, job), 0) << row.name;
        EXPECT_EQ(rig.Writes(), 0u) << row.name;
        EXPECT_EQ(rig.drive.drive.Count(0x5D), 0u) << row.name;
        EXPECT_NE(rig.Rows().find(row.row), std::string::npos) << row.name << ": " << rig.Rows();
        disc.ctx.trackList->trackCount = 2;
    }
}

TEST(CdWriters, WriteErrorAndCancelStopWithTheirMessageAndCloseTheTrack) {
    for (bool cancel : {false, true}) {
        AudioDisc disc;
        burntest::WriterRig rig;
        ASSERT_TRUE(rig.Load(BlankCd(disc.dir.path())));
        BurnJob job;
        job.source = &disc.ctx;
        softdrive::Fault fault;
        fault.opcode = 0x2A;
        fault.lba = 100;
        if (cancel) {
            fault.kind = softdrive::Fault::Kind::Latency;
            rig.drive.drive.latencyHook = [&](uint32_t) { job.cancel = true; };
        }
        rig.drive.drive.AddFault(fault);
        ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2352));
        ASSERT_TRUE(buffer);
        EXPECT_EQ(optical::WriteAudioCd(rig.h(), buffer.get(), job), 0);
        EXPECT_NE(rig.Rows().find(cancel ? "Burning cancelled." : "Error writing data. (359-0000005a"),
                  std::string::npos)
            << rig.Rows();
        EXPECT_EQ(rig.Field(0x5B, 2), std::vector<int>{1});
        // What reached the disc is a closed session the tools read.
        EXPECT_EQ(rig.drive.drive.RecordedSessions(), 1);
    }
}

TEST(CdWriters, CueSheetHasOneIndexZeroBeforeTheFirstTrack) {
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 2;
    list->tracks[0] = {};
    list->tracks[0].mode = tm::kMode1Raw;
    list->tracks[0].pregap = 2;
    list->tracks[0].length = 298;
    list->tracks[1].mode = tm::kAudio;
    list->tracks[1].pregap = 150;
    list->tracks[1].startSector = 298 + 150;
    list->tracks[1].length = 400;
    optical::CdSessionPlan plan;
    std::string why;
    ASSERT_TRUE(optical::PlanCdSession(*list, 0, 1, 0, 1, plan, why)) << why;
    Bytes sheet = optical::BuildCdCueSheet(plan, {});
    ASSERT_EQ(sheet.size() % 8, 0u);
    int index0 = 0;
    for (size_t at = 0; at < sheet.size(); at += 8)
        if (sheet[at + 1] == 1 && sheet[at + 2] == 0) ++index0;
    EXPECT_EQ(index0, 1);
    // Lead-out at 298 + 150 + 400 sectors, written as absolute time.
    const uint8_t* out = sheet.data() + sheet.size() - 8;
    EXPECT_EQ(out[1], 0xAA);
    EXPECT_EQ((out[5] * 60 + out[6]) * 75 + out[7], 298 + 150 + 400 + 150);
    Bytes data = optical::BuildDataCueSheet(0, 300, 1);
    EXPECT_EQ(data[30], 6);   // 00:06:00
}

}  // namespace

namespace {

TEST(CdWriters, MixedModeDiscSplitsBackWithBchunk) {
    AudioDisc disc;
    const std::string iso = burntest::MakeIso(disc.dir, "data", 150);
    const int32_t sectors = int32_t(qvtest::ReadFileBytes(iso).size() / 2048);
    image::TrackList& list = *disc.ctx.trackList;
    // Track 1 becomes the data track read from the ISO; track 2 stays audio.
    image::TrackEntry& data = list.tracks[0];
    data = image::TrackEntry{};
    data.mode = tm::kMode1;
    data.sectorSize = 2048;
    data.length = sectors;
    data.endOffset = int64_t(sectors) * 2048;
    data.fileName = platform::Utf8ToUtf16(iso);
    data.fileHandle.reset(platform::FileOpenUtf8(iso, platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    image::TrackEntry& audio = list.tracks[1];
    audio.pregap = 150;
    audio.startSector = sectors + 150;
    burntest::WriterRig rig;
    ASSERT_TRUE(rig.Load(BlankCd(disc.dir.path())));
    BurnJob job;
    job.source = &disc.ctx;
    job.mediaType = 2;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2352));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(optical::WriteCdImage(rig.h(), buffer.get(), job), 1) << rig.Rows();
    const std::string d = disc.dir.path();
    qvtest::RunOk("cd " + Q(d) + " && bchunk -w disc.bin disc.cue t >/dev/null");
    qvtest::RunOk("cmp " + Q(iso) + " " + Q(d + "/t01.iso"));
    Bytes wav = qvtest::ReadFileBytes(disc.dir / "t02.wav");
    Bytes expected = disc.pcm2;
    expected.resize(size_t(disc.length2) * 2352, 0);
    ASSERT_EQ(wav.size(), expected.size() + 44);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.begin() + 44));
    EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(d + "/disc.iso")).find("Volume id: BURNTEST"), std::string::npos);
}

}  // namespace

namespace {

// Two drives behind the command layer: the source of a disc copy and the target.
class TwoDrives final : public optical::ITransportResolver {
public:
    TwoDrives(softdrive::SoftDrive* source, optical::ScsiTransport* target) : source_(source), target_(target) {}
    optical::ScsiTransport* TransportFor(platform::FileHandle h) override {
        return h == reinterpret_cast<platform::FileHandle>(source_) ? source_ : target_;
    }

private:
    softdrive::SoftDrive* source_;
    optical::ScsiTransport* target_;
};

TEST(CdWriters, DiscCopyRepeatsEachSourceSession) {
    qvtest::TempDir dir;
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + Q(dir / "a.raw") + " synth 3 sine 440");
    const std::string iso = burntest::MakeIso(dir, "second", 200);
    const Bytes pcm = qvtest::ReadFileBytes(dir / "a.raw");
    const int64_t audioFrames = int64_t(pcm.size() / 2352);
    const int64_t second = audioFrames + 11400;
    softdrive::SoftDrive source;
    std::string error;
    ASSERT_TRUE(source.LoadText("profile 0x0008\ntrack session=1 control=0 mode=0 sector=2352 file=" + dir / "a.raw" +
                                    "\ntrack session=2 mode=1 start=" + std::to_string(second) + " file=" + iso + "\n",
                                error))
        << error;
    burntest::WriterRig rig;
    ASSERT_TRUE(rig.Load(BlankCd(dir.path())));
    TwoDrives drives(&source, &rig.drive.drive);
    foundation::ScopedServices<optical::SetTransportResolver> routed(&drives);
    const platform::FileHandle sourceHandle = reinterpret_cast<platform::FileHandle>(&source);
    image::ImageContext ctx;
    ctx.discSource = 1;
    ctx.sourceDriveHandle = sourceHandle;
    struct Release {
        image::ImageContext& ctx;
        ~Release() { ctx.sourceDriveHandle = nullptr; }
    } release{ctx};
    image::TrackListPtr list = image::NewTrackList();
    ASSERT_TRUE(optical::ReadDiscLayout(sourceHandle, *list, u'E'));
    ASSERT_EQ(list->trackCount, 2);
    ctx.trackList = list.release();
    BurnJob job;
    job.kind = BurnJobKind::DiscCopy;
    job.source = &ctx;
    job.mediaType = 2;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2352));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(optical::CopyCdSessions(rig.h(), buffer.get(), job), 1) << rig.Rows();
    EXPECT_EQ(rig.drive.drive.RecordedSessions(), 2);
    const Bytes bin = qvtest::ReadFileBytes(dir / "disc.bin");
    ASSERT_GE(bin.size(), size_t(pcm.size()));
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), bin.begin()));
    const Bytes data = qvtest::ReadFileBytes(iso);
    const Bytes user = qvtest::ReadFileBytes(dir / "disc.iso");
    ASSERT_GE(user.size(), size_t(second) * 2048 + data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), user.begin() + second * 2048));
    // The last session of a closed source disc closes the copy too.
    EXPECT_FALSE(optical::IsDiscBlank(rig.h()));
    std::string info = qvtest::Run("cd-info --no-device-info --no-cddb --cue-file " + Q(dir / "disc.cue") + " 2>&1").output;
    EXPECT_NE(info.find("audio"), std::string::npos) << info;
}

}  // namespace

namespace {

TEST(CdWriters, VideoCdFromVcdimagerReadsBackWithVcdInfo) {
    qvtest::TempDir dir;
    const std::string d = dir.path();
    qvtest::RunOk("cd " + Q(d) + " && ffmpeg -loglevel error -f lavfi -i testsrc=duration=2:size=352x288:rate=25 "
                  "-f lavfi -i sine=duration=2 -target pal-vcd v.mpg && vcdimager -t vcd2 -c v.cue -b v.bin v.mpg "
                  ">/dev/null 2>&1");
    image::TrackListPtr list = image::OpenSheet(platform::Utf8ToUtf16(dir / "v.cue"));
    ASSERT_TRUE(list);
    image::ImageContext ctx;
    ctx.imageHandle.reset(
        platform::FileOpenUtf8(dir / "v.bin", platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    ctx.sectorSize = 2352;
    ctx.formatCode = image::format_code::kBin;
    ctx.videoCdKind = 1;
    ctx.trackList = list.release();
    burntest::WriterRig rig;
    ASSERT_TRUE(rig.Load(BlankCd(d + "/out")));
    qvtest::RunOk("mkdir -p " + Q(d + "/out"));
    BurnJob job;
    job.source = &ctx;
    job.mediaType = 2;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2352));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(optical::WriteCdImage(rig.h(), buffer.get(), job), 1) << rig.Rows();
    // Every frame of the source came through the drive's checks unchanged.
    qvtest::RunOk("cmp " + Q(d + "/v.bin") + " " + Q(d + "/out/disc.bin"));
    std::string info = qvtest::Run("vcd-info --no-banner --cue-file " + Q(d + "/out/disc.cue") + " 2>&1").output;
    EXPECT_NE(info.find("VIDEO_CD"), std::string::npos) << info;
}

}  // namespace

namespace {

TEST(CdWriters, AppendedDataSessionReadsBackWithXorriso) {
    qvtest::TempDir dir;
    const std::string first = burntest::MakeIso(dir, "one", 200);
    burntest::WriterRig rig;
    ASSERT_TRUE(rig.Load(BlankCd(dir.path())));
    auto one = burntest::OpenIso(first);
    BurnJob job;
    job.source = one.get();
    job.endSector = one->endSector;
    job.finalize = false;
    job.mediaType = 2;
    {
        ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
        ASSERT_TRUE(buffer);
        ASSERT_EQ(optical::WriteCdImage(rig.h(), buffer.get(), job), 1) << rig.Rows();
    }
    uint32_t nwa = 0, free = 0;
    ASSERT_EQ(optical::ReadNextWritableAddress(rig.h(), 255, true, nwa, free), 1);
    const std::string start = std::to_string(nwa);
    qvtest::RunOk("mkdir -p " + Q(dir / "two.src") + " && echo second > " + Q(dir / "two.src/second.txt"));
    qvtest::RunOk("xorriso -as mkisofs -quiet -C 0," + start + " -M " + Q(dir / "disc.iso") + " -o " +
                  Q(dir / "two.part") + " " + Q(dir / "two.src") + " 2>&1");
    qvtest::RunOk("dd if=" + Q(dir / "two.part") + " of=" + Q(dir / "two.iso") + " bs=2048 seek=" + start +
                  " status=none");
    auto two = burntest::OpenIso(dir / "two.iso");
    BurnJob append;
    append.source = two.get();
    append.endSector = two->endSector;
    append.sessionStart = int32_t(nwa);
    append.appendSession = true;
    append.mediaType = 2;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(append, 2048));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(optical::WriteCdImage(rig.h(), buffer.get(), append), 1) << rig.Rows();
    EXPECT_EQ(rig.drive.drive.RecordedSessions(), 2);
    std::string found = qvtest::RunOk("xorriso -load sbsector " + start + " -indev " + Q(dir / "disc.iso") +
                                      " -find / 2>/dev/null");
    EXPECT_NE(found.find("second.txt"), std::string::npos) << found;
    EXPECT_NE(found.find("data.bin"), std::string::npos) << found;
    std::string info = qvtest::Run("cd-info --no-device-info --no-cddb --cue-file " + Q(dir / "disc.cue") + " 2>&1").output;
    EXPECT_NE(info.find("CD-ROM Track List (1 - 2)"), std::string::npos) << info;
}

}  // namespace
