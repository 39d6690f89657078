// CUE sheets whose FILE lines name music files (FLAC and Ogg as WAVE, MP3 as
// MP3) open through the open entry with the audio services installed; the
// disc's frames read through the image core equal sox's decoding of the FLAC
// sample for sample, and mpg123's
// decoding of the MP3 within rounding.

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "audio/tracks/audio_services_install.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace audio {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSector = 2352;

TEST(CueMusicSheet, FlacOggAndMp3TracksReadTheirSectors) {
    foundation::ResetProcessStateForTests();
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
    app::InstallReaders();
    InstallAudioServices();
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + R"( && set -e
        sox -D -n -r 44100 -c 2 -b 16 noise.wav synth 40 whitenoise vol 0.5
        flac -s -o 'album side.flac' noise.wav
        sox -D -n -r 44100 -c 2 -b 16 tone.wav synth 3 sine 440 vol 0.5
        lame --quiet -b 192 tone.wav tone.mp3
        mpg123 -q -e s16 -r 44100 --stereo -s tone.mp3 > tone.mp3.raw
        oggenc -Q -o tone.ogg tone.wav
        sox tone.wav odd.aiff trim 0 54321s
        sox tone.wav -t raw odd.raw trim 0 54321s
    )");
    qvtest::WriteFileText(dir / "disc.cue",
                          "FILE \"album side.flac\" WAVE\n"
                          "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 00 00:20:00\n    INDEX 01 00:22:00\n"
                          "FILE \"tone.mp3\" MP3\n"
                          "  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"tone.ogg\" WAVE\n"
                          "  TRACK 04 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"odd.aiff\" AIFF\n"
                          "  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n");
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "disc.cue"), false, false, false));
    ASSERT_TRUE(doc) << foundation::OperationStatus.load();
    ASSERT_NE(doc->trackList, nullptr);
    image::TrackList& list = *doc->trackList;
    ASSERT_EQ(list.trackCount, 5);
    EXPECT_EQ(list.tracks[0].length, 20 * 75);
    EXPECT_EQ(list.tracks[1].pregap, 150);
    EXPECT_EQ(list.tracks[1].length, 40 * 75 - 22 * 75);
    // The MP3 decodes with its encoder's delay and padding: 3 s and a little.
    EXPECT_EQ(list.tracks[2].length, 228);
    EXPECT_EQ(list.tracks[3].length, 225);
    // 54,321 samples: the length rounds up, never down to whole tenths.
    EXPECT_EQ(list.tracks[4].length, 93);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(list.tracks[size_t(i)].audioSourceKind, 1) << i;

    const image::TrackEntry& last = list.tracks[4];
    const int32_t end = last.startSector + last.length;
    ASSERT_EQ(end, 3000 + 228 + 225 + 93);
    Bytes frames(size_t(end) * kSector);
    for (int32_t s = 0; s < end; s += 150) {
        const int32_t n = std::min(150, end - s);
        ASSERT_EQ(image::ReadRawSectors(*doc, s, frames.data() + size_t(s) * kSector, n), n) << s;
    }
    const Bytes noise = qvtest::ReadFileBytes(dir / "noise.wav");
    ASSERT_EQ(noise.size(), 44 + 3000 * kSector);
    // The INDEX 00 stretch is held in the file: every frame, the pregap's
    // too, is the FLAC's own.
    for (size_t sector = 0; sector < 3000; ++sector) {
        const uint8_t* frame = frames.data() + sector * kSector;
        ASSERT_EQ(std::memcmp(frame, noise.data() + 44 + sector * kSector, kSector), 0) << sector;
    }

    // Two MP3 decoders agree within a little rounding.
    const Bytes mpg = qvtest::ReadFileBytes(dir / "tone.mp3.raw");
    ASSERT_GE(mpg.size(), 225 * kSector - 4 * 1152);
    const int16_t* ours = reinterpret_cast<const int16_t*>(frames.data() + 3000 * kSector);
    const int16_t* theirs = reinterpret_cast<const int16_t*>(mpg.data());
    int worst = 0;
    for (size_t i = 0; i < std::min(mpg.size(), 225 * kSector) / 2; ++i)
        worst = std::max(worst, std::abs(int(ours[i]) - int(theirs[i])));
    EXPECT_LE(worst, 2);

    // Every sample of the odd-length track, then silence to the sector's end.
    const Bytes raw = qvtest::ReadFileBytes(dir / "odd.raw");
    ASSERT_EQ(raw.size(), 54321u * 4);
    const uint8_t* odd = frames.data() + size_t(last.startSector) * kSector;
    EXPECT_EQ(std::memcmp(odd, raw.data(), raw.size()), 0);
    EXPECT_TRUE(std::all_of(odd + raw.size(), odd + 93 * kSector, [](uint8_t b) { return b == 0; }));

    // Jumping back into the middle of the FLAC's second track reads the same again.
    Bytes again(20 * kSector);
    ASSERT_EQ(image::ReadRawSectors(*doc, 2000, again.data(), 20), 20);
    EXPECT_EQ(std::memcmp(again.data(), noise.data() + 44 + 2000 * kSector, again.size()), 0);
    image::SetAudioServices(nullptr);
}

}  // namespace
}  // namespace audio
