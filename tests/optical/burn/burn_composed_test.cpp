// Whole burn jobs from documents built for burning: a mixed disc (an xorriso
// ISO's tree as the data track, then sox-made music) and a Video CD that
// vcdimager made over an ffmpeg stream. The image core composes the data
// track, the burn reads it as frames, and the software drive's export is
// read back by bchunk, vcd-info and cmp.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "burn_drive_support.h"
#include "image/build/image_save.h"
#include "image/document/document.h"
#include "image/document/item_tree.h"
#include "image/vcd/video_cd.h"
#include "optical/burn/burn_engine.h"
#include "optical/burn/burn_job.h"
#include "optical/drive/disc_queries.h"

namespace optical {
namespace {

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }
std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

// The disc's sheet and a raw BIN beside it, opened as the window program does.
image::DocumentPtr OpenSheet(const std::string& bin, const std::string& cue) {
    int code = -1;
    image::DocumentPtr doc(
        image::OpenImageDocument(W(bin), W(cue), foundation::OpenFileForRead(W(bin)), true, 1, &code));
    EXPECT_TRUE(doc) << code;
    return doc;
}

// Burns the composed document to a blank CD-R with verify; the export folder.
std::string BurnComposed(burntest::BurnDrive& drive, image::ImageContext& doc) {
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    EXPECT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849 export=" + out + "\n"))
        << drive.soft.lastError;
    BurnJob job;
    job.driveLetter = u'E';
    job.mediaType = media::kCdR;
    job.kind = BurnJobKind::DataDisc;
    job.source = &doc;
    job.verify = true;
    EXPECT_EQ(BurnMain(job), 1) << platform::Utf16ToUtf8(drive.log.face.Calls().back().text);
    EXPECT_TRUE(drive.log.face.Has(u"Burning successful."));
    EXPECT_TRUE(drive.log.face.Has(u"Verifying successful."));
    return out;
}

TEST(BurnComposed, MixedDiscDataTrackBuiltFromTheTreeThenMusic) {
    burntest::BurnDrive drive;
    ::setenv("TZ", "UTC", 1);
    const std::string iso = burntest::MakeIso(drive.dir, "data", 900);
    const std::string pcm = drive.dir / "t2.raw";
    qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw " + Q(pcm) + " synth 2.5 sine 550 2>&1");
    const burntest::Bytes music = qvtest::ReadFileBytes(pcm);
    qvtest::WriteFileText(drive.dir / "mixed.cue", "FILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n"
                                                   "    INDEX 01 00:00:00\nFILE \"t2.raw\" BINARY\n"
                                                   "  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n");
    image::DocumentPtr doc = OpenSheet(iso, drive.dir / "mixed.cue");
    ASSERT_TRUE(doc);
    ASSERT_NE(doc->mixedTracks, 0);
    ASSERT_EQ(doc->trackList->trackCount, 2);
    ASSERT_NE(image::FindItemByPath(doc.get(), doc->rootFolder, u"/data.bin"), nullptr);

    // What the burn preparation does with a mixed source: the data track is
    // the tree built anew, the music follows it after its gap.
    ASSERT_EQ(image::ComposeImage(*doc, nullptr), 1);
    const int32_t built = doc->sectorCount;
    ASSERT_GE(built, 300);
    image::TrackList& list = *doc->trackList;
    list.tracks[0].startSector = 0;
    list.tracks[0].length = built;
    list.tracks[0].pregap = 0;
    list.tracks[0].postgap = 2;
    list.tracks[1].pregap = 150;
    list.tracks[1].startSector = built + 2 + 150;
    doc->endSector = list.tracks[1].startSector + list.tracks[1].length;
    doc->composedImageMode = 1;
    const std::string out = BurnComposed(drive, *doc);

    qvtest::RunOk("cd " + Q(out) + " && bchunk -w disc.bin disc.cue t >/dev/null");
    // The data track read back holds the tree: isoinfo extracts the file
    // equal to the source.
    const std::string track1 = out + "/t01.iso";
    qvtest::RunOk("isoinfo -i " + Q(track1) + " -x /DATA.BIN > " + Q(out + "/data.bin"));
    qvtest::RunOk("cmp " + Q(drive.dir / "data.src/data.bin") + " " + Q(out + "/data.bin"));
    EXPECT_EQ(qvtest::ReadFileBytes(track1).size(), size_t(built + 2) * 2048);
    const burntest::Bytes wav = qvtest::ReadFileBytes(out + "/t02.wav");
    ASSERT_GE(wav.size(), 44 + music.size());
    EXPECT_TRUE(std::equal(music.begin(), music.end(), wav.begin() + 44));
}

TEST(BurnComposed, VideoCdKeepsItsVideoTrackAndReadsBackWithVcdInfo) {
    burntest::BurnDrive drive;
    ::setenv("TZ", "UTC", 1);
    ::setenv("QV_ANSI_CODEPAGE", "1252", 1);
    const std::string dir = drive.dir.path();
    qvtest::RunOk("ffmpeg -v error -f lavfi -i testsrc=size=352x288:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                  "-target pal-vcd -fflags +bitexact -y " + Q(dir + "/vcd.mpg"));
    qvtest::RunOk("cd " + Q(dir) + " && vcdimager -t vcd2 -c vcd.cue -b vcd.bin vcd.mpg 2>&1");
    image::DocumentPtr doc = OpenSheet(dir + "/vcd.bin", dir + "/vcd.cue");
    ASSERT_TRUE(doc);
    image::DetectVideoCdLayout(*doc);
    image::AttachVideoCdTracks(*doc);
    ASSERT_EQ(doc->videoCdKind, 1);
    ASSERT_EQ(doc->trackList->trackCount, 2);
    const image::TrackEntry& video = doc->trackList->tracks[1];
    const int64_t gapStart = int64_t(video.startSector) - video.pregap;
    const int64_t end = int64_t(video.startSector) + video.length;

    ASSERT_EQ(image::ComposeImage(*doc, nullptr), 1);
    ASSERT_LE(doc->sectorCount, gapStart);
    doc->composedImageMode = 1;
    const std::string out = BurnComposed(drive, *doc);

    // From the video track's gap on the disc holds vcdimager's frames.
    const burntest::Bytes theirs = qvtest::ReadFileBytes(dir + "/vcd.bin");
    const burntest::Bytes ours = qvtest::ReadFileBytes(out + "/disc.bin");
    ASSERT_EQ(theirs.size(), size_t(end) * 2352);
    ASSERT_GE(ours.size(), theirs.size());
    qvtest::RunOk("cmp -i " + std::to_string(gapStart * 2352) + " -n " + std::to_string((end - gapStart) * 2352) +
                  " " + Q(dir + "/vcd.bin") + " " + Q(out + "/disc.bin"));
    // The built data track: Mode 2 frames the tools take for a Video CD that
    // finds the stream where vcdimager put it.
    auto avseq = [](const std::string& text) {
        const size_t at = text.find("AVSEQ01.DAT");
        const size_t lsn = at == std::string::npos ? at : text.rfind("[LSN", at);
        return lsn == std::string::npos ? std::string() : text.substr(lsn, at - lsn);
    };
    const std::string report = qvtest::RunOk("vcd-info --no-header --cue-file " + Q(out + "/disc.cue") + " 2>&1");
    const std::string source = qvtest::RunOk("vcd-info --no-header --cue-file " + Q(dir + "/vcd.cue") + " 2>&1");
    EXPECT_NE(report.find("VCD 2.0 detected"), std::string::npos) << report;
    EXPECT_FALSE(avseq(source).empty()) << source;
    EXPECT_EQ(avseq(report), avseq(source)) << report;
    EXPECT_NE(report.find("entries: 1"), std::string::npos) << report;
}

}  // namespace
}  // namespace optical
