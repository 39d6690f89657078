// The programs' route from the extraction job to saving audio tracks:
// tracks of a sox-made BIN/CUE disc opened as the program opens it are written
// by the job as music files named from the template, and a track that cannot
// be renamed into place is reported once, naming its file; a Video CD track
// file is extracted as RIFF CDXA.

#include "app/audio_save_routes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "audio/tracks/music_file_names.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

TEST(AudioSaveRoutes, TheExtractionJobSavesTracksAndReportsAFailureOnce) {
    foundation::ResetProcessStateForTests();
    foundation::WriteSettingString(u"AudioFileNameFormat", u"|#-|t");
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> face{&ui};
    app::InstallReaders();
    cmdline::InstallAudioSaveRoutes();
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw disc.bin synth 4 sine 440 vol 0.5");
    qvtest::WriteFileText(dir / "disc.cue",
                          "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n");
    image::DocumentPtr doc(app::OpenImageByPath(U(dir / "disc.cue"), false, true, false));
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->trackList);
    const std::string out = dir / "out";
    {
        app::CExtractJob job(doc.get(), U(out), nullptr);
        job.AddTrack(0, audio::kAudioWav);
        job.AddTrack(1, audio::kAudioFlac);
        EXPECT_EQ(job.ComputeTotal(), 300 * 2352);
        EXPECT_EQ(job.Run(nullptr), 1);
    }
    RunOk("cd " + ShellQuote(dir.path()) + " && dd status=none if=disc.bin bs=2352 count=150 of=exp.raw"
          " && tail -c +45 out/01-One.wav | cmp - exp.raw && flac -s -t out/02-Track02.flac");
    EXPECT_TRUE(ui.Boxes().empty());

    // A folder standing at the name: the finished temporary cannot take its place.
    ASSERT_EQ(::mkdir((out + "/01-One.mp3").c_str(), 0755), 0);
    foundation::ResetProcessStateForTests();
    {
        app::CExtractJob job(doc.get(), U(out), nullptr);
        job.AddTrack(0, audio::kAudioMp3);
        EXPECT_EQ(job.Run(nullptr), -1);
    }
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].request.text.find(U(out + "/01-One.mp3")), std::u16string::npos);
    EXPECT_NE(boxes[0].request.text.find(u"Extract failed!"), std::u16string::npos);

    // A Video CD track file is extracted as RIFF CDXA with the track's raw sectors.
    RunOk("cd " + ShellQuote(dir.path()) + " && ffmpeg -v error -f lavfi -i testsrc=size=352x288:rate=25:duration=1"
          " -f lavfi -i sine=duration=1 -target pal-vcd -y v.mpg && vcdimager -t vcd2 -c v.cue -b v.bin v.mpg >/dev/null 2>&1");
    image::DocumentPtr vcd(app::OpenImageByPath(U(dir / "v.cue"), false, true, false));
    ASSERT_TRUE(vcd);
    image::ImageItem* track = image::FindItemByPath(vcd.get(), vcd->rootFolder, u"/MPEGAV/AVSEQ01.DAT");
    ASSERT_NE(track, nullptr);
    app::ExtractRequest request;
    request.destination = U(dir / "vcd");
    EXPECT_EQ(app::ExtractItems(vcd.get(), track->parent, {track}, request, nullptr), 1);
    EXPECT_EQ(RunOk("head -c 12 " + ShellQuote(dir / "vcd/AVSEQ01.DAT") + " | tail -c 4"), "CDXA");
    EXPECT_EQ(int64_t(qvtest::ReadFileBytes(dir / "vcd/AVSEQ01.DAT").size()), track->size / 2048 * 2352 + 44);
    cmdline::RemoveAudioSaveRoutes();
    app::UninstallReaders();
}

}  // namespace
