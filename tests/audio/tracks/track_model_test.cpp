// The audio CD project's tracks: music files made by sox and flac added,
// moved and removed, their start sectors, their CD-TEXT from the files' tags,
// and their sectors read back through the image core equal to sox's PCM.
// Files that cannot be tracks (a FIFO, a folder, text, a 100th track, a
// duplicate the user declines) leave the list as it was.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/tracks/audio_services_install.h"
#include "audio/tracks/track_model.h"
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

class AudioProject : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir();
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir_->path()) + R"( && set -e
            sox -D -n -r 44100 -c 2 -b 16 tone.wav synth 3 sine 440 vol 0.5
            sox -D -n -r 44100 -c 2 -b 16 noise.wav synth 2 whitenoise vol 0.5
            flac -s -T TITLE=Brightwater -T ARTIST='The Vines' -T COMPOSER=Ostrea -T COMMENT='first take' -o noise.flac noise.wav
            sox -D -n -r 48000 -c 2 -b 16 t48.flac synth 2 sine 1000 vol 0.5
            long=$(printf 'x%.0s' $(seq 1 126))
            flac -s -T "TITLE=${long}😀tail" -o long.flac noise.wav
            echo "not music at all, only some words of text to fill it up here" > text.mp3
            mkfifo fifo.wav
            mkdir folder.wav
        )");
        // One sector and one byte of samples, with a data size past the end
        // of the file: clipped, 2 sectors (no tool writes a WAV this broken).
        Bytes wav = qvtest::ReadFileBytes(*dir_ / "tone.wav");
        wav.resize(44 + kSector + 1);
        wav[40] = 0xFF, wav[41] = 0xFF, wav[42] = 0xFF, wav[43] = 0x0F;
        qvtest::WriteFileBytes(*dir_ / "short.wav", wav.data(), wav.size());
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        foundation::ResetProcessStateForTests();
        InstallAudioServices();
        doc_.reset(image::NewAudioCdDocument());
        ASSERT_TRUE(doc_);
    }
    void TearDown() override { image::SetAudioServices(nullptr); }

    static std::u16string Path16(const std::string& name) { return platform::Utf8ToUtf16(*dir_ / name); }
    static Bytes SoxPcm(const std::string& name) {
        const std::string raw = *dir_ / (name + ".raw");
        qvtest::RunOk("sox " + qvtest::ShellQuote(*dir_ / name) + " -t raw -e signed -b 16 -c 2 -r 44100 " +
                      qvtest::ShellQuote(raw));
        return qvtest::ReadFileBytes(raw);
    }
    int Add(const std::string& name, int32_t position = -1, bool ask = false) {
        return AddMusicFile(doc_.get(), Path16(name), position, ask);
    }
    image::TrackList& List() { return *doc_->trackList; }
    std::string NameAt(int32_t position) {
        const std::u16string& n = List().tracks[size_t(position)].fileName;
        return platform::Utf16ToUtf8(n.substr(n.find_last_of(u'/') + 1));
    }
    std::u16string TitleAt(int32_t position) {
        const image::TrackDetail* d = List().details[size_t(position + 1)].get();
        return d ? d->texts[image::cdtext_slot::kTitle] : u"";
    }

    image::DocumentPtr doc_;
    static qvtest::TempDir* dir_;
};
qvtest::TempDir* AudioProject::dir_ = nullptr;

class CountingPlayerStop final : public IPlayerStopServices {
public:
    void StopPlayer() override { ++stops; }
    int stops = 0;
};

TEST_F(AudioProject, AddedTracksGetTheirPlaceKindAndTags) {
    CountingPlayerStop player;
    {
        foundation::ScopedServices<SetPlayerStopServices> scoped{&player};
        ASSERT_EQ(Add("tone.wav"), 0);
    }
    EXPECT_EQ(player.stops, 1);
    const image::TrackEntry& wav = List().tracks[0];
    EXPECT_EQ(wav.startSector, 0);
    EXPECT_EQ(wav.pregap, 0);
    EXPECT_EQ(wav.length, 225);
    EXPECT_EQ(wav.audioSourceKind, 0);
    EXPECT_EQ(wav.dataOffset, 44);
    EXPECT_EQ(wav.endOffset, 44 + 225 * int64_t(kSector));
    EXPECT_EQ(wav.sectorSize, 2352);
    EXPECT_EQ(wav.flags & 1u, 1u);
    EXPECT_TRUE(wav.fileHandle);
    EXPECT_EQ(TitleAt(0), u"tone");

    ASSERT_EQ(Add("noise.flac"), 0);
    const image::TrackEntry& flac = List().tracks[1];
    EXPECT_EQ(flac.audioSourceKind, 1);
    EXPECT_EQ(flac.length, 150);
    EXPECT_EQ(flac.startSector, 225);
    EXPECT_EQ(List().tracks[2].startSector, 375);   // the end
    const image::TrackDetail* d = List().details[2].get();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->texts[image::cdtext_slot::kTitle], u"Brightwater");
    EXPECT_EQ(d->texts[image::cdtext_slot::kPerformer], u"The Vines");
    EXPECT_EQ(d->texts[image::cdtext_slot::kComposer], u"Ostrea");
    EXPECT_EQ(d->texts[image::cdtext_slot::kComment], u"first take");
    EXPECT_EQ(d->ansiTexts[image::cdtext_slot::kTitle], "Brightwater");

    // 126 units and an emoji: cut before the pair, never inside it.
    ASSERT_EQ(Add("long.flac"), 0);
    EXPECT_EQ(TitleAt(2), std::u16string(126, u'x'));
    // Clipped data: 2353 bytes, 2 sectors, and the reader stops at the file's end.
    ASSERT_EQ(Add("short.wav"), 0);
    EXPECT_EQ(List().tracks[3].length, 2);
    EXPECT_EQ(List().tracks[3].endOffset, 44 + int64_t(kSector) + 1);
}

TEST_F(AudioProject, SectorsReadThroughTheImageCore) {
    ASSERT_EQ(Add("tone.wav"), 0);
    ASSERT_EQ(Add("noise.flac"), 0);
    ASSERT_EQ(Add("t48.flac"), 0);
    ASSERT_EQ(Add("short.wav"), 0);
    const int32_t end = List().tracks[4].startSector;
    ASSERT_EQ(end, 225 + 150 + 150 + 2);
    Bytes frames(size_t(end) * kSector);
    // In pieces that straddle the tracks, as a burner reads.
    for (int32_t s = 0; s < end; s += 37) {
        const int32_t n = std::min(37, end - s);
        ASSERT_EQ(image::ReadRawSectors(*doc_, s, frames.data() + size_t(s) * kSector, n), n) << s;
    }
    const Bytes tone = SoxPcm("tone.wav");
    const Bytes noise = SoxPcm("noise.wav");
    EXPECT_EQ(std::memcmp(frames.data(), tone.data(), tone.size()), 0);
    EXPECT_EQ(std::memcmp(frames.data() + 225 * kSector, noise.data(), noise.size()), 0);
    // The clipped WAV: one sector and one byte of sound, then silence.
    const uint8_t* last = frames.data() + size_t(end - 2) * kSector;
    EXPECT_EQ(std::memcmp(last, tone.data(), kSector + 1), 0);
    EXPECT_EQ(Bytes(last + kSector + 1, last + 2 * kSector), Bytes(kSector - 1, 0));
    // The burner's way: open the decoder at the track's source start, then
    // read on from there; a WAV track is no decoded track.
    EXPECT_EQ(image::GetTrackSourceStart(&List(), 1), 0);
    ASSERT_EQ(image::OpenMusicDecoder(List().tracks[1].fileName, 1, image::GetTrackSourceStart(&List(), 1)), 1);
    Bytes run(150 * kSector);
    for (size_t at = 0; at < run.size(); at += 50 * kSector)
        ASSERT_EQ(image::ReadTrackData(&List(), 1, run.data() + at, 50), 1);
    EXPECT_EQ(run, noise);
    EXPECT_EQ(image::ReadTrackData(&List(), 0, run.data(), 1), 0);
    image::CloseMusicDecoder();
    // A jump back into the decoded track reads the same bytes again.
    Bytes again(10 * kSector);
    ASSERT_EQ(image::ReadRawSectors(*doc_, 225 + 40, again.data(), 10), 10);
    EXPECT_EQ(std::memcmp(again.data(), noise.data() + 40 * kSector, again.size()), 0);
}

TEST_F(AudioProject, MovesAndRemovalsCarryTheirCdText) {
    ASSERT_EQ(Add("tone.wav"), 0);
    ASSERT_EQ(Add("noise.flac"), 0);
    ASSERT_EQ(Add("short.wav", 0), 0);   // at the front
    struct Step {
        const char* what;
        int32_t position;
        std::vector<std::string> order;
    };
    const Step steps[] = {
        {"start", 0, {"short.wav", "tone.wav", "noise.flac"}},
        {"up", 0, {"short.wav", "tone.wav", "noise.flac"}},     // the first cannot go up
        {"down", 2, {"short.wav", "tone.wav", "noise.flac"}},   // the last cannot go down
        {"down", 0, {"tone.wav", "short.wav", "noise.flac"}},
        {"up", 2, {"tone.wav", "noise.flac", "short.wav"}},
        {"remove", 5, {"tone.wav", "noise.flac", "short.wav"}},   // outside: ignored
        {"remove", 0, {"noise.flac", "short.wav"}},
    };
    for (const Step& step : steps) {
        const std::string w = step.what;
        if (w == "up") MoveTrackUp(doc_.get(), step.position);
        if (w == "down") MoveTrackDown(doc_.get(), step.position);
        if (w == "remove") RemoveAudioTrack(doc_.get(), step.position);
        ASSERT_EQ(List().trackCount, int32_t(step.order.size())) << w;
        int32_t start = 0;
        for (size_t i = 0; i < step.order.size(); ++i) {
            EXPECT_EQ(NameAt(int32_t(i)), step.order[i]) << w << " " << i;
            EXPECT_EQ(List().tracks[i].startSector, start) << w << " " << i;
            start += List().tracks[i].length;
        }
    }
    EXPECT_EQ(TitleAt(0), u"Brightwater");
    EXPECT_EQ(TitleAt(1), u"short");
    EXPECT_EQ(List().details[3], nullptr);
    EXPECT_TRUE(List().tracks[2].fileName.empty());
    // Removing the playing last track moves the mark to the new last one.
    List().playingTrack = 1;
    RemoveAudioTrack(doc_.get(), 1);
    EXPECT_EQ(List().playingTrack, 0);
}

TEST_F(AudioProject, UnusableFilesLeaveTheListAsItWas) {
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
    ASSERT_EQ(Add("tone.wav"), 0);
    for (const char* name : {"fifo.wav", "folder.wav", "text.mp3", "missing.flac"}) {
        EXPECT_EQ(Add(name, -1, true), -1) << name;
        EXPECT_EQ(Add(name, -1, false), -1) << name;   // no empty track without asking either
        EXPECT_EQ(List().trackCount, 1) << name;
    }
    // The same file again: No adds nothing, Cancel also cancels, Yes adds.
    ui.QueueBoxAnswer(foundation::kIdNo);
    EXPECT_EQ(Add("tone.wav", -1, true), -1);
    ui.QueueBoxAnswer(foundation::kIdCancel);
    EXPECT_EQ(Add("tone.wav", -1, true), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), 1);
    EXPECT_EQ(List().trackCount, 1);
    ui.QueueBoxAnswer(foundation::kIdYes);
    EXPECT_EQ(Add("tone.wav", -1, true), 0);
    // Without asking, duplicates go in silently, up to 99 tracks.
    while (List().trackCount < image::kMaxTracks) ASSERT_EQ(Add("short.wav"), 0);
    EXPECT_EQ(Add("short.wav"), -1);
    EXPECT_EQ(List().trackCount, image::kMaxTracks);
    EXPECT_EQ(List().tracks[98].startSector, 2 * 225 + 96 * 2);
}

TEST_F(AudioProject, OffsetsAfterADataTrackKeepOtherModes) {
    // A mixed-mode disc: the data track first, then music with a 150-sector pregap.
    image::TrackEntry& data = List().tracks[0];
    data.mode = image::track_mode::kMode1;
    data.length = 1000;
    data.postgap = 20;
    List().trackCount = 1;
    ASSERT_EQ(Add("tone.wav"), 0);
    EXPECT_EQ(List().tracks[1].pregap, 150);
    EXPECT_EQ(List().tracks[1].startSector, 1000 + 20 + 150);
    // A Video CD project's Mode 2 Form 2 track stays what it is.
    List().tracks[1].mode = image::track_mode::kMode2Form2;
    RecalcTrackOffsets(doc_.get());
    EXPECT_EQ(List().tracks[1].mode, image::track_mode::kMode2Form2);
    EXPECT_EQ(List().tracks[0].mode, image::track_mode::kMode1);
}

}  // namespace
}  // namespace audio
