// An extracted Video CD track file: a disc vcdimager made from an ffmpeg VCD
// stream gives AVSEQ01.DAT as its RIFF CDXA header followed by dd's slice of
// the BIN from the track's start, which ffprobe reads as MPEG-1 video and MP2.

#include "audio/tracks/video_cd_track.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/tracks/riff_headers.h"
#include "foundation/file_io.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/vcd/video_cd.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

TEST(VideoCdTrackFile, HeaderThenTheTracksRawSectors) {
    foundation::ResetProcessStateForTests();
    qvtest::TempDir dir;
    const std::string d = ShellQuote(dir.path());
    RunOk("cd " + d + " && ffmpeg -v error -f lavfi -i testsrc=size=352x288:rate=25:duration=2 -f lavfi -i "
                      "sine=duration=2 -target pal-vcd -fflags +bitexact -y v.mpg"
                      " && vcdimager -t vcd2 -c v.cue -b v.bin v.mpg >/dev/null 2>&1");
    int code = -1;
    image::DocumentPtr doc(image::OpenImageDocument(W(dir / "v.bin"), W(dir / "v.cue"),
                                                    foundation::OpenFileForRead(W(dir / "v.bin")), true, 1, &code));
    ASSERT_TRUE(doc) << code;
    image::AttachVideoCdTracks(*doc);
    ASSERT_EQ(doc->videoCdKind, 1);
    image::ImageItem* track = image::FindItemByPath(doc.get(), doc->rootFolder, u"/MPEGAV/AVSEQ01.DAT");
    ASSERT_NE(track, nullptr);
    const int64_t sectors = track->size / 2048;
    ASSERT_GT(sectors, 0);

    const std::string out = dir / "AVSEQ01.DAT";
    platform::FileHandle file = platform::FileOpenUtf8(out, platform::FileAccess::Write, platform::FileDisposition::CreateNew);
    ASSERT_NE(file, nullptr);
    int64_t done = 0;
    foundation::ProgressCallbacks progress;
    progress.AddDone = [&](int64_t n) { done += n; };
    EXPECT_EQ(audio::WriteVideoCdTrackFile(*doc, *track, file, &progress), 1);
    ASSERT_TRUE(platform::FileClose(file));
    EXPECT_EQ(done, image::GetItemDataSize(doc.get(), track));

    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(out);
    ASSERT_EQ(int64_t(bytes.size()), 44 + sectors * 2352);
    audio::RiffHeader header;
    ASSERT_TRUE(audio::BuildCdxaHeader(uint64_t(sectors), 1, header));
    EXPECT_EQ(std::memcmp(bytes.data(), header.data(), 44), 0);
    RunOk("cd " + d + " && dd status=none if=v.bin bs=2352 skip=" + std::to_string(track->startSector) +
          " count=" + std::to_string(sectors) + " of=exp.raw && tail -c +45 AVSEQ01.DAT | cmp - exp.raw");
    EXPECT_EQ(RunOk("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + ShellQuote(out)),
              "mpeg1video\nmp2\n");

    // Not a Video CD track: nothing written.
    image::ImageItem plain;
    EXPECT_EQ(audio::WriteCdxaHeader(*doc, plain, nullptr), 0);
}

}  // namespace
