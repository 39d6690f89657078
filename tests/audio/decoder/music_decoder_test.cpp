// Music files made at test time by sox, flac, lame, oggenc and espeak-ng go
// through the probe and the decoder: lengths in sectors, kinds, sample-exact
// PCM beside sox's own decoding for lossless sources, exact seeks, and bad
// input (a text file or a playlist renamed .mp3, cut files, a FIFO, "pipe:"
// names, zero-length audio) refused in bounded time.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/decoder/music_decoder.h"
#include "audio/decoder/shared_decoder.h"
#include "audio/tracks/track_source.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/file_io.h"
#include "foundation/services.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace audio {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSector = 2352;

// One folder of fixtures for the whole file: making them takes the time.
class MusicFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir();
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir_->path()) + R"sh( && set -e
            sox -D -n -r 44100 -c 2 -b 16 tone.wav synth 3 sine 440 vol 0.5
            sox -D -n -r 44100 -c 2 -b 16 noise.wav synth 60 whitenoise vol 0.5
            ffmpeg -v error -f lavfi -i sine=d=3 -ac 2 -ar 44100 list.wav
            flac -s -o tone.flac tone.wav
            flac -s -o noise.flac noise.wav
            sox tone.wav odd.flac trim 0 54321s
            cp tone.flac 'pipe:0.flac'
            sox -D -n -r 48000 -c 2 -b 16 t48.flac synth 2 sine 1000 vol 0.5
            sox -D -n -r 44100 -c 1 -b 16 mono.wav synth 2 whitenoise vol 0.5
            sox -D -n -r 44100 -c 1 -b 8 m8.wav synth 2 sine 300 vol 0.5
            lame --quiet -b 192 tone.wav cbr.mp3
            sox -D -n -r 44100 -c 2 -b 16 q.wav synth 10 sine 440 vol 0.01
            sox -D -n -r 44100 -c 2 -b 16 n.wav synth 10 whitenoise vol 0.5
            sox q.wav n.wav qn.wav
            lame --quiet -V 0 -t qn.wav vbr.mp3
            oggenc -Q -o tone.ogg tone.wav
            espeak-ng -w sp.wav "Quendravine reads music files"
            sox -D -n -r 48000 -c 2 -b 16 zero.flac trim 0 0
            echo "this is no music at all, only some words of text to fill it up" > text.mp3
            printf '#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/a.ts\n#EXT-X-ENDLIST\n' > list.mp3
            head -c 100 tone.flac > cut.flac
            head -c 20000 tone.flac > half.flac
            head -c 43 tone.wav > cut43.wav
            mkfifo fifo.mp3
            head -c 1000000 /dev/zero | tr '\0' a > big.txt
            printf 'bad \377\376 text' > bad.txt
            cp tone.flac tagged.flac
            metaflac --set-tag-from-file=TITLE=big.txt tagged.flac
            ffmpeg -v error -i tone.wav -metadata artist="$(cat bad.txt)" -c:a flac badtag.flac
            ffmpeg -v error -i tone.wav -c:a wmav2 -metadata title=Lantern -metadata artist=Fenwick tone.wma
            oggenc -Q -t Harbour -a Maren -o tagged.ogg tone.wav
        )sh");
        MakeHostileWaves();
    }
    // WAV headers no tool writes: each field at its worst.
    static void MakeHostileWaves() {
        const Bytes tone = qvtest::ReadFileBytes(Path("tone.wav"));
        const Bytes pcm(tone.begin() + 44, tone.begin() + 44 + 75 * kSector);
        auto le32 = [](Bytes& b, size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        auto save = [](const std::string& name, const Bytes& b) { qvtest::WriteFileBytes(Path(name), b.data(), b.size()); };
        Bytes head(tone.begin(), tone.begin() + 44);
        Bytes w = head;
        le32(w, 16, 0xFFFFFFF0u);   // fmt size
        w.insert(w.end(), pcm.begin(), pcm.end());
        save("fmtsize.wav", w);
        w = head;
        le32(w, 40, 0xFFFFFFFFu);   // data size -1, or far past the end
        w.insert(w.end(), pcm.begin(), pcm.end());
        save("datasize.wav", w);
        save("cut8.wav", Bytes(tone.begin(), tone.begin() + 8));
        // 10^6 empty chunks between the header and "fmt ".
        w.assign(tone.begin(), tone.begin() + 12);
        const uint8_t junk[8] = {'j', 'u', 'n', 'k', 0, 0, 0, 0};
        for (int i = 0; i < 1000000; ++i) w.insert(w.end(), junk, junk + 8);
        w.insert(w.end(), tone.begin() + 12, tone.begin() + 44);
        w.insert(w.end(), pcm.begin(), pcm.end());
        save("chunks.wav", w);
        // A FLAC whose stream header claims 2^36 - 1 samples: 432 hours.
        Bytes f = qvtest::ReadFileBytes(Path("tone.flac"));
        f[21] |= 0x0F;
        f[22] = f[23] = f[24] = f[25] = 0xFF;
        save("endless.flac", f);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string Path(const std::string& name) { return *dir_ / name; }
    static std::u16string Path16(const std::string& name) { return platform::Utf8ToUtf16(Path(name)); }
    // What sox makes of a file as 44.1 kHz 16-bit stereo raw samples.
    static Bytes SoxPcm(const std::string& name, const std::string& effects = "") {
        qvtest::RunOk("sox " + qvtest::ShellQuote(Path(name)) + " -t raw -e signed -b 16 -c 2 -r 44100 " +
                      qvtest::ShellQuote(Path(name + ".raw")) + " " + effects);
        return qvtest::ReadFileBytes(Path(name + ".raw"));
    }

    struct Probe {
        int64_t sectors = 0;
        int32_t kind = -1;
        int64_t offset = -1, size = -1;
    };
    static Probe ProbeFile(const std::string& name) {
        Probe p;
        // O_NONBLOCK: the FIFO row must not wait for a writer here either.
        const int fd = open(Path(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return p;
        foundation::UniqueFile file(platform::FileFromDescriptor(fd));
        p.sectors = ProbeAudioFile(file.get(), Path16(name), &p.kind, &p.offset, &p.size);
        return p;
    }
    static Bytes Decode(const std::string& name, int64_t firstSector, size_t sectors) {
        MusicDecoder d;
        EXPECT_TRUE(d.Open(Path16(name))) << name;
        EXPECT_TRUE(d.SeekToSample(firstSector * kSamplesPerSector));
        Bytes out(sectors * kSector);
        EXPECT_TRUE(d.Read(out.data(), out.size()));
        return out;
    }

    static qvtest::TempDir* dir_;
};
qvtest::TempDir* MusicFiles::dir_ = nullptr;

struct ProbeRow {
    const char* file;
    int32_t kind;
    int64_t sectors;
};

TEST_F(MusicFiles, ProbeGivesKindAndLength) {
    const ProbeRow rows[] = {
        {"tone.wav", kSourceFile, 225},     // CD-format WAV: read from the file
        {"list.wav", kSourceFile, 225},     // a LIST chunk before "data" is still WAV
        {"tone.flac", kSourceDecoder, 225},
        // 54,321 samples: 217,284 bytes, the last of 93 sectors part silence.
        {"odd.flac", kSourceDecoder, 93},
        {"pipe:0.flac", kSourceDecoder, 225},   // the name is never taken as a protocol
        {"t48.flac", kSourceDecoder, 150},  // 48 kHz resampled: still 2 s
        {"mono.wav", kSourceDecoder, 150},
        {"m8.wav", kSourceDecoder, 150},
        // MP3 and WMA decode with their encoder's delay and padding: every
        // decoded sample is kept.
        {"cbr.mp3", kSourceDecoder, 228},
        // 10 s of quiet tone and 10 s of noise with no frame count: the bit
        // rate suggests far more; decoding gives 20.0x s = 1503 sectors.
        {"vbr.mp3", kSourceDecoder, 1503},
        {"tone.ogg", kSourceDecoder, 225},
        {"tone.wma", kSourceDecoder, 227},
        {"datasize.wav", kSourceFile, 75},     // clipped to the file
        {"chunks.wav", kSourceDecoder, 75},    // too many chunks for our walk; FFmpeg finds the data
    };
    for (const ProbeRow& row : rows) {
        const Probe p = ProbeFile(row.file);
        EXPECT_EQ(p.sectors, row.sectors) << row.file;
        EXPECT_EQ(p.kind, row.kind) << row.file;
        if (row.kind == kSourceFile) {
            EXPECT_GE(p.offset, 44) << row.file;
            EXPECT_EQ(p.size, row.sectors * int64_t(kSector)) << row.file;
        } else {
            EXPECT_EQ(p.offset, 0) << row.file;
            EXPECT_EQ(p.size % 4, 0) << row.file << ": whole stereo samples";
            EXPECT_EQ((p.size + int64_t(kSector) - 1) / int64_t(kSector), row.sectors) << row.file;
        }
    }
    // Every sample is kept: no length cut to whole tenths of a second.
    EXPECT_EQ(ProbeFile("odd.flac").size, 54321 * 4);
}

TEST_F(MusicFiles, BadInputIsRefused) {
    const char* rows[] = {"text.mp3", "list.mp3",  "cut.flac",    "cut43.wav",   "cut8.wav",
                          "zero.flac", "fifo.mp3", "fmtsize.wav", "endless.flac"};
    for (const char* name : rows) {
        const Probe p = ProbeFile(name);
        EXPECT_EQ(p.sectors, 0) << name;
        MusicDecoder d;
        EXPECT_FALSE(d.Open(Path16(name)) && d.CountSamples() > 0) << name;
    }
    MusicDecoder d;
    EXPECT_FALSE(d.Open(u"pipe:0"));
    EXPECT_FALSE(d.Open(u"http://127.0.0.1:9/a.mp3"));
    // A file cut short plays what it holds and then silence, without failing.
    ASSERT_TRUE(d.Open(Path16("half.flac")));
    Bytes out(400 * kSector);
    EXPECT_TRUE(d.Read(out.data(), out.size()));
    EXPECT_TRUE(d.AtEnd());
}

TEST_F(MusicFiles, TagsFromContainerOrStream) {
    struct Row {
        const char* file;
        std::u16string title, artist;
    };
    const Row rows[] = {
        {"tone.wma", u"Lantern", u"Fenwick"},
        {"tagged.ogg", u"Harbour", u"Maren"},   // Vorbis comments of the stream
        {"tagged.flac", std::u16string(127, u'a'), u""},                 // a 1 MB title, cut
        {"badtag.flac", u"", u"bad \uFFFD\uFFFD text"},                 // invalid UTF-8 replaced
        {"tone.wav", u"", u""},
    };
    for (const Row& row : rows) {
        MusicDecoder d;
        ASSERT_TRUE(d.Open(Path16(row.file))) << row.file;
        const DecodedTags tags = d.ReadTags();
        EXPECT_EQ(tags.title, row.title) << row.file;
        EXPECT_EQ(tags.artist, row.artist) << row.file;
    }
}

// About 1 % of the bytes of each file flipped, many times over: every probe
// and every decode to the end comes back, without a sanitizer finding.
TEST_F(MusicFiles, MutatedFilesNeverHang) {
    std::mt19937 random(20261211);
    for (const char* name : {"tone.flac", "cbr.mp3", "tone.ogg", "tone.wma", "t48.flac"}) {
        const Bytes original = qvtest::ReadFileBytes(Path(name));
        const std::string ext = std::string(name).substr(std::string(name).find('.'));
        for (int round = 0; round < 40; ++round) {
            Bytes b = original;
            for (size_t n = b.size() / 100; n > 0; --n) b[random() % b.size()] ^= uint8_t(1u << (random() % 8));
            qvtest::WriteFileBytes(Path("mutant" + ext), b.data(), b.size());
            const Probe p = ProbeFile("mutant" + ext);
            ASSERT_GE(p.sectors, 0);
            ASSERT_LE(p.sectors, int64_t(kMaxMusicSeconds) * 75);
            MusicDecoder d;
            if (!d.Open(Path16("mutant" + ext))) continue;
            Bytes out(20 * kSector);
            for (int piece = 0; piece < 20 && !d.AtEnd(); ++piece) d.Read(out.data(), out.size());
            d.SeekToSample(100 * kSamplesPerSector);
            d.Read(out.data(), out.size());
        }
    }
}

TEST_F(MusicFiles, LosslessSourcesDecodeSampleExact) {
    struct Row {
        const char* file;
        const char* reference;
        size_t sectors;
    };
    const Row rows[] = {
        {"tone.flac", "tone.wav", 225},
        {"mono.wav", "mono.wav", 150},   // mono copied to both sides at full level
        {"m8.wav", "m8.wav", 150},       // 8-bit widened as sox widens it
    };
    for (const Row& row : rows) {
        const Bytes want = SoxPcm(row.reference);
        ASSERT_EQ(want.size(), row.sectors * kSector) << row.file;
        EXPECT_EQ(Decode(row.file, 0, row.sectors), want) << row.file;
    }
}

TEST_F(MusicFiles, SeeksAreSampleExact) {
    const Bytes want = SoxPcm("noise.wav");
    ASSERT_EQ(want.size(), 4500u * kSector);
    MusicDecoder d;
    ASSERT_TRUE(d.Open(Path16("noise.flac")));
    Bytes out(10 * kSector);
    // Far forward (through the demuxer's seek), back, a short hop forward, the start.
    for (int64_t sector : {3000, 120, 700, 705, 0, 4490}) {
        ASSERT_TRUE(d.SeekToSample(sector * kSamplesPerSector)) << sector;
        EXPECT_EQ(d.Position(), sector * kSamplesPerSector);
        ASSERT_TRUE(d.Read(out.data(), out.size()));
        EXPECT_EQ(std::memcmp(out.data(), want.data() + size_t(sector) * kSector, out.size()), 0) << sector;
    }
    // Past the end: silence, and the decoder knows it has ended.
    ASSERT_TRUE(d.Read(out.data(), out.size()));
    EXPECT_EQ(out, Bytes(out.size(), 0));
    EXPECT_TRUE(d.AtEnd());
}

TEST_F(MusicFiles, ResampledAndSpeechLookRight) {
    // 48 kHz: 2 s stay 2 s, and the tone stays near 1000 Hz.
    const Bytes t48 = Decode("t48.flac", 0, 150);
    qvtest::WriteFileBytes(Path("t48.raw"), t48.data(), t48.size());
    const std::string stat = qvtest::Run("sox -t raw -e signed -b 16 -c 2 -r 44100 " +
                                         qvtest::ShellQuote(Path("t48.raw")) + " -n remix 1 stat").output;
    const size_t at = stat.find("Rough   frequency:");
    ASSERT_NE(at, std::string::npos) << stat;
    const int hz = std::stoi(stat.substr(at + 18));
    EXPECT_NEAR(hz, 1000, 30);
    // Speech (22,050 Hz mono): both sides equal.
    MusicDecoder d;
    ASSERT_TRUE(d.Open(Path16("sp.wav")));
    const int64_t samples = d.CountSamples();
    ASSERT_GT(samples, 44100 / 2);
    Bytes speech(size_t(samples) * kCdFrameBytes);
    ASSERT_TRUE(d.Read(speech.data(), speech.size()));
    bool sound = false;
    for (size_t i = 0; i + 4 <= speech.size(); i += 4) {
        ASSERT_EQ(std::memcmp(&speech[i], &speech[i + 2], 2), 0) << i;
        sound = sound || speech[i] != 0 || speech[i + 1] != 0;
    }
    EXPECT_TRUE(sound);
}

TEST_F(MusicFiles, SharedDecoderOpensSeeksAndReportsFailure) {
    foundation::ResetProcessStateForTests();
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
    const Bytes want = SoxPcm("tone.wav");
    ASSERT_EQ(OpenMusicDecoder(Path16("tone.flac"), kSourceDecoder, 100), 1);
    Bytes out(5 * kSector);
    ASSERT_EQ(ReadDecodedBytes(out.data(), out.size()), 1);
    EXPECT_EQ(std::memcmp(out.data(), want.data() + 100 * kSector, out.size()), 0);
    ASSERT_EQ(SeekMusicDecoder(10, kSourceDecoder), 1);
    ASSERT_EQ(ReadDecodedBytes(out.data(), out.size()), 1);
    EXPECT_EQ(std::memcmp(out.data(), want.data() + 10 * kSector, out.size()), 0);
    CloseMusicDecoder();
    EXPECT_EQ(ReadDecodedBytes(out.data(), out.size()), 0);
    EXPECT_TRUE(ui.Boxes().empty());
    EXPECT_EQ(OpenMusicDecoder(Path16("text.mp3"), kSourceDecoder, 0), 0);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_NE(ui.Boxes()[0].request.text.find(u"Error decoding music files."), std::u16string::npos);
    EXPECT_EQ(OpenMusicDecoder(Path16("tone.wav"), kSourceFile, 0), 1);
}

}  // namespace
}  // namespace audio
