// The player over sox-made WAV tracks behind a CUE sheet: a gated sink hands
// back one finished buffer at a time, so each row sees exactly which tracks
// were chosen and how many bytes went out. The file sink's capture is compared
// with `cmp` against the tracks' own samples, and ALSA's null and file devices
// stand in for a sound card.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/player/audio_player.h"
#include "audio/player/audio_sink.h"
#include "audio/tracks/audio_services_install.h"
#include "foundation/operation_status.h"
#include "foundation/services.h"
#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace audio {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr int32_t kSectorsA = 40;   // five buffers: longer than the four primed ones
constexpr int32_t kSectorsB = 3;    // one short buffer of 7,056 bytes
constexpr int32_t kSectorsC = 11;   // a full buffer and a short one
constexpr size_t kSector = 2352;

// What every sink of these tests saw, shared with the test body.
struct SinkLog {
    std::mutex mutex;
    std::vector<size_t> writes;   // bytes of each buffer
    Bytes data;
    int drops = 0;
    size_t WriteCount() {
        std::lock_guard lock(mutex);
        return writes.size();
    }
};

// A sink whose buffers finish only when the test releases them.
class GatedSink final : public AudioSink {
public:
    GatedSink(std::shared_ptr<SinkLog> log, int gateFd) : log_(std::move(log)), gate_(gateFd) {}
    bool Open() override { return true; }
    bool Write(const uint8_t* data, size_t bytes) override {
        std::lock_guard lock(log_->mutex);
        log_->writes.push_back(bytes);
        log_->data.insert(log_->data.end(), data, data + bytes);
        ++queued_;
        return true;
    }
    int Wait(int wakeFd) override {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {gate_, POLLIN, 0}};
        ::poll(fds, queued_ > 0 ? 2 : 1, 1000);
        // A posted command goes first, so a stop is never overtaken by a release.
        if (fds[0].revents & POLLIN) return 0;
        uint64_t one = 0;
        if (queued_ > 0 && (fds[1].revents & POLLIN) && ::read(gate_, &one, sizeof one) == sizeof one) {
            --queued_;
            return 1;
        }
        return 0;
    }
    size_t Queued() const override { return queued_; }
    void StartDrain() override {}
    void Drop() override {
        std::lock_guard lock(log_->mutex);
        ++log_->drops;
        queued_ = 0;
    }

private:
    std::shared_ptr<SinkLog> log_;
    int gate_;
    size_t queued_ = 0;
};

// Music-file tracks answered by a fake decoder: every decoded frame is 0x5A,
// and each open is recorded with the file sector it starts at. WAV files of CD
// format are probed by the core's own reader, as without audio services.
class FakeDecoder : public qvtest::NullAudioServices {
public:
    int64_t ProbeAudioFile(platform::FileHandle file, std::u16string_view path, int32_t* kind, int64_t* dataOffset,
                           int64_t* dataSize) override {
        return image::ProbeWaveFile(file, std::u16string(path), *kind, *dataOffset, *dataSize);
    }
    int OpenMusicDecoder(std::u16string_view, int32_t kind, int64_t startSector) override {
        opens.push_back(kind == image::kAudioSourceDecoder ? startSector : -1);
        return 1;
    }
    int64_t GetTrackSourceStart(const image::TrackList* list, int32_t t) override {
        const image::TrackEntry& e = list->tracks[size_t(t)];
        return e.index01Position - e.pregapInFile;
    }
    int ReadTrackData(image::TrackList*, int32_t, void* buffer, uint32_t sectors) override {
        std::memset(buffer, 0x5A, sectors * kSector);
        return failReads ? 0 : 1;
    }
    // The same frames where the core reads decoded tracks by their file sector.
    int ReadTrackSectors(const image::TrackList*, int32_t, int64_t, void* buffer, uint32_t sectors) {
        std::memset(buffer, 0x5A, sectors * kSector);
        return failReads ? 0 : 1;
    }
    std::vector<int64_t> opens;
    bool failReads = false;
};

// Three WAV tracks made by sox, each length a whole number of sectors.
class WavProject {
public:
    WavProject() {
        const char* names[] = {"a", "b", "c"};
        const int32_t sectors[] = {kSectorsA, kSectorsB, kSectorsC};
        const char* sounds[] = {"sine 440", "sine 880", "whitenoise"};
        std::string cue;
        for (int i = 0; i < 3; ++i) {
            const std::string wav = std::string(names[i]) + ".wav";
            qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && sox -D -r 44100 -c 2 -n -r 44100 -c 2 -b 16 " + wav +
                          " synth " + std::to_string(sectors[i] * 588) + "s " + sounds[i] + " vol 0.5");
            Bytes all = qvtest::ReadFileBytes(dir / wav);
            pcm[i].assign(all.begin() + 44, all.end());
            EXPECT_EQ(pcm[i].size(), size_t(sectors[i]) * kSector);
            cue += "FILE \"" + wav + "\" WAVE\n  TRACK 0" + std::to_string(i + 1) + " AUDIO\n    INDEX 01 00:00:00\n";
        }
        qvtest::WriteFileText(dir / "p.cue", cue);
        image::SheetDiagnostics diag;
        image::TrackListPtr list = image::ParseCueSheet(platform::Utf8ToUtf16(dir / "p.cue"), &diag);
        EXPECT_TRUE(list) << int(diag.error) << " line " << diag.line;
        doc = std::make_unique<image::ImageContext>();
        doc->imagePath = platform::Utf8ToUtf16(dir / "a.wav");
        doc->imageHandle.reset(platform::FileOpenUtf8(dir / "a.wav", platform::FileAccess::Read,
                                                      platform::FileDisposition::OpenExisting));
        doc->trackList = list.release();
    }
    Bytes All() const {
        Bytes all;
        for (const Bytes& p : pcm) all.insert(all.end(), p.begin(), p.end());
        return all;
    }
    qvtest::TempDir dir;
    Bytes pcm[3];
    std::unique_ptr<image::ImageContext> doc;
};

// One music-file track: 150 made-up pregap sectors, then 30 decoded ones
// starting at sector 10 of its file.
std::unique_ptr<image::ImageContext> DecodedProject() {
    auto doc = std::make_unique<image::ImageContext>();
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 1;
    image::TrackEntry& t = list->tracks[0];
    t.mode = image::track_mode::kAudio;
    t.startSector = 150;
    t.pregap = 150;
    t.length = 30;
    t.index01Position = 10;
    t.sectorSize = 2352;
    t.audioSourceKind = image::kAudioSourceDecoder;
    t.fileName = u"/nowhere/song.mp3";
    list->tracks[1].startSector = 180;
    doc->trackList = list.release();
    return doc;
}

struct Events {
    std::mutex mutex;
    std::vector<int32_t> tracks;   // the first track, then each change
    int normalEnds = 0;
    int errorEnds = 0;
};

struct Row {
    const char* name;
    bool decoded;                   // the music-file project instead of the WAV one
    std::vector<int32_t> positions;
    uint32_t status;
    uint32_t seed;
    std::function<void(const std::shared_ptr<AudioPlayer>&)> afterStart;
    int releases;                   // -1: until playback ends, else release that many then stop
    std::vector<int32_t> tracks;    // tracks played, in order
    int64_t sectorsOut;             // sectors handed to the sink
    size_t firstWrite;              // bytes of the first buffer (0: not checked)
    std::vector<int64_t> decoderOpens;
    int drops;                      // discards of queued buffers
    bool failReads = false;         // the decoder fails every read
};

std::vector<int32_t> RandomTracks(uint32_t seed, int n) {
    std::mt19937 random(seed);
    std::vector<int32_t> out;
    for (int i = 0; i < n; ++i) out.push_back(std::uniform_int_distribution<int32_t>(0, 2)(random));
    return out;
}

// With seed 7, twelve buffers after priming: the draws, cut where the fed
// buffers run out (A takes 5, B 1, C 2).
std::vector<int32_t> RandomRowTracks() {
    const int32_t buffers[] = {5, 1, 2};
    std::vector<int32_t> out;
    int fed = 0;
    for (int32_t t : RandomTracks(7, 50)) {
        if (fed >= 16) break;
        out.push_back(t);
        fed += buffers[t];
    }
    return out;
}

int64_t RandomRowSectors() {
    const int32_t sectors[] = {kSectorsA, kSectorsB, kSectorsC};
    const int32_t buffers[] = {5, 1, 2};
    int64_t total = 0;
    int fed = 0;
    for (int32_t t : RandomRowTracks()) {
        int take = std::min(buffers[t], 16 - fed);
        fed += take;
        total += std::min<int64_t>(sectors[t], take * 8);
    }
    return total;
}

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"InOrder", false, {}, 0, 1, nullptr, -1, {0, 1, 2}, kSectorsA + kSectorsB + kSectorsC, 0, {}, 0},
        {"RepeatGoesRoundUntilStopped", false, {}, kStatusRepeat, 1, nullptr, 12, {0, 1, 2, 0, 1, 2},
         2 * (kSectorsA + kSectorsB + kSectorsC), 0, {}, 1},
        {"RepeatOffEndsAfterTheLast", false, {2, 0}, 0, 1, nullptr, -1, {2, 0}, kSectorsC + kSectorsA, 0, {}, 0},
        {"PreviousAtFirstWithoutRepeatEnds", false, {}, 0, 1,
         [](const std::shared_ptr<AudioPlayer>& p) { SetTrackRequest(*p, kTrackRequestPrevious); }, -1, {0}, 32, 0,
         {}, 0},
        {"PreviousAtFirstWithRepeatGoesToLast", false, {}, kStatusRepeat, 1,
         [](const std::shared_ptr<AudioPlayer>& p) { SetTrackRequest(*p, kTrackRequestPrevious); }, 2, {0, 2},
         32 + kSectorsC, 0, {}, 1},
        {"NextSkipsTheRestOfTheTrack", false, {}, 0, 1,
         [](const std::shared_ptr<AudioPlayer>& p) { SetTrackRequest(*p, kTrackRequestNext); }, -1, {0, 1, 2},
         32 + kSectorsB + kSectorsC, 0, {}, 0},
        {"RandomWithASeed", false, {}, kStatusRandomOrder, 7, nullptr, 12, RandomRowTracks(), RandomRowSectors(), 0,
         {}, 1},
        {"ThreeSectorTrackIsOneShortBuffer", false, {1, 2}, 0, 1, nullptr, -1, {1, 2}, kSectorsB + kSectorsC,
         3 * kSector, {}, 0},
        {"EmptyListEndsAtOnce", false, {99, -1}, kStatusRepeat, 1, nullptr, -1, {}, 0, 0, {}, 0},
        {"StopTwiceStopsOnce", false, {}, 0, 1,
         [](const std::shared_ptr<AudioPlayer>& p) {
             StopPlayback(p);
             StopPlayback(p);
         },
         -1, {0}, 32, 0, {}, 1},
        {"SeekBeforeTheFileStartsAtItsStart", true, {}, 0, 1,
         [](const std::shared_ptr<AudioPlayer>& p) { SeekPlayback(*p, 5); }, -1, {0}, 32 + 175, 0, {10, 10}, 0},
        {"SeekIntoTheFile", true, {}, 0, 1, [](const std::shared_ptr<AudioPlayer>& p) { SeekPlayback(*p, 160); },
         -1, {0}, 32 + 20, 0, {10, 20}, 0},
        // The made-up pregap plays; the first decoded sectors cannot be read.
        {"ReadFailureEndsWithTheErrorCallback", true, {}, 0, 1, nullptr, -1, {0}, 144, 0, {10}, 1, true},
    };
    return rows;
}

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class PlayerTable : public ::testing::TestWithParam<Row> {};

TEST_P(PlayerTable, PlaysAsTheOptionsSay) {
    const Row& row = GetParam();
    foundation::ResetProcessStateForTests();
    FakeDecoder decoder;
    decoder.failReads = row.failReads;
    foundation::ScopedServices<image::SetAudioServices> audio{&decoder};
    std::unique_ptr<WavProject> wav;
    std::unique_ptr<image::ImageContext> decoded;
    image::ImageContext* doc = nullptr;
    if (row.decoded) {
        decoded = DecodedProject();
        doc = decoded.get();
    } else {
        wav = std::make_unique<WavProject>();
        doc = wav->doc.get();
    }

    auto log = std::make_shared<SinkLog>();
    const int gate = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    ASSERT_GE(gate, 0);
    auto events = std::make_shared<Events>();
    PlaybackRequest request;
    request.document = doc;
    request.positions = row.positions;
    request.status = row.status;
    request.readStatus = [status = row.status] { return status; };
    request.randomSeed = row.seed;
    request.sink = std::make_unique<GatedSink>(log, gate);
    request.onTrackChange = [events](AudioPlayer& p) {
        std::lock_guard lock(events->mutex);
        events->tracks.push_back(p.PlayingTrack());
    };
    request.onNormalEnd = [events](AudioPlayer&) {
        std::lock_guard lock(events->mutex);
        ++events->normalEnds;
    };
    request.onErrorEnd = [events](AudioPlayer&) {
        std::lock_guard lock(events->mutex);
        ++events->errorEnds;
    };
    std::shared_ptr<AudioPlayer> player = StartPlayback(std::move(request));
    ASSERT_TRUE(player);
    if (row.afterStart) row.afterStart(player);

    const uint64_t one = 1;
    const size_t primed = log->WriteCount();
    if (row.releases < 0) {
        for (int i = 0; i < 1000 && !player->Finished(); ++i) {
            ASSERT_EQ(::write(gate, &one, sizeof one), ssize_t(sizeof one));
            std::this_thread::sleep_for(1ms);
        }
    } else {
        for (int i = 0; i < row.releases; ++i) ASSERT_EQ(::write(gate, &one, sizeof one), ssize_t(sizeof one));
        for (int i = 0; i < 5000 && log->WriteCount() < primed + size_t(row.releases); ++i)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(log->WriteCount(), primed + size_t(row.releases));
    }
    StopPlaybackAndWait(player);
    ::close(gate);

    EXPECT_TRUE(player->Finished());
    EXPECT_EQ(player->CurrentIndex(), -1);
    std::lock_guard lock(events->mutex);
    std::lock_guard logLock(log->mutex);
    // No change notice comes for the first track: it is the one whose
    // samples open the output.
    if (!log->data.empty()) {
        int32_t first = 0;
        for (int32_t t = 0; wav && t < 3; ++t)
            if (std::equal(wav->pcm[t].begin(), wav->pcm[t].begin() + 2352, log->data.begin())) first = t;
        events->tracks.insert(events->tracks.begin(), first);
    }
    EXPECT_EQ(events->tracks, row.tracks);
    EXPECT_EQ(events->normalEnds, row.failReads ? 0 : 1);
    EXPECT_EQ(events->errorEnds, row.failReads ? 1 : 0);
    EXPECT_EQ(player->EndedByError(), row.failReads);
    EXPECT_EQ(int64_t(log->data.size()), row.sectorsOut * int64_t(kSector));
    if (row.firstWrite != 0) {
        ASSERT_FALSE(log->writes.empty());
        EXPECT_EQ(log->writes[0], row.firstWrite);
    }
    EXPECT_EQ(log->drops, row.drops);
    if (row.decoded) {
        EXPECT_EQ(decoder.opens, row.decoderOpens);
    } else if (row.name == std::string("InOrder")) {
        EXPECT_TRUE(log->data == wav->All());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PlayerTable, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

// Plays the project to its end through whatever QV_AUDIO_SINK names.
struct Ended {
    bool started = false;
    int normalEnds = 0;
    int errorEnds = 0;
};
Ended PlayThrough(image::ImageContext* doc, const std::string& sink) {
    ::setenv("QV_AUDIO_SINK", sink.c_str(), 1);
    auto counts = std::make_shared<Ended>();
    std::mutex mutex;
    PlaybackRequest request;
    request.document = doc;
    request.readStatus = [] { return 0u; };
    request.onNormalEnd = [&](AudioPlayer&) { std::lock_guard lock(mutex); ++counts->normalEnds; };
    request.onErrorEnd = [&](AudioPlayer&) { std::lock_guard lock(mutex); ++counts->errorEnds; };
    std::shared_ptr<AudioPlayer> player = StartPlayback(std::move(request));
    ::unsetenv("QV_AUDIO_SINK");
    if (!player) return {};
    for (int i = 0; i < 10000 && !player->Finished(); ++i) std::this_thread::sleep_for(1ms);
    const bool ended = player->Finished();
    StopPlaybackAndWait(player);
    Ended result = *counts;
    result.started = true;
    if (!ended) result.normalEnds = -1;
    return result;
}

TEST(PlayerSinks, FileCaptureEqualsTheTracksInOrder) {
    foundation::ResetProcessStateForTests();
    WavProject project;
    const Ended ended = PlayThrough(project.doc.get(), "file:" + (project.dir / "out.raw"));
    ASSERT_TRUE(ended.started);
    EXPECT_EQ(ended.normalEnds, 1);
    EXPECT_EQ(ended.errorEnds, 0);
    const Bytes all = project.All();
    qvtest::WriteFileBytes(project.dir / "all.raw", all.data(), all.size());
    qvtest::RunOk("cmp " + qvtest::ShellQuote(project.dir / "all.raw") + " " + qvtest::ShellQuote(project.dir / "out.raw"));
}

TEST(PlayerSinks, NullSinkKeepsRealTimePace) {
    foundation::ResetProcessStateForTests();
    WavProject project;
    const auto start = std::chrono::steady_clock::now();
    const Ended ended = PlayThrough(project.doc.get(), "null");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(ended.started);
    EXPECT_EQ(ended.normalEnds, 1);
    // 54 sectors are 0.72 s of sound; most of it must have been waited out.
    EXPECT_GE(took, 500ms);
}

TEST(PlayerSinks, UnknownSinkIsRefused) {
    WavProject project;
    EXPECT_FALSE(PlayThrough(project.doc.get(), "speaker").started);
}

bool HasSoundCard() { return qvtest::Run("test -s /proc/asound/cards && grep -q '^ *[0-9]' /proc/asound/cards").exitCode == 0; }

TEST(PlayerAlsa, NullDeviceEndsNormally) {
    foundation::ResetProcessStateForTests();
    WavProject project;
    const Ended ended = PlayThrough(project.doc.get(), "alsa:null");
    ASSERT_TRUE(ended.started) << "ALSA's null device did not open";
    EXPECT_EQ(ended.normalEnds, 1);
    EXPECT_EQ(ended.errorEnds, 0);
}

TEST(PlayerAlsa, FileDeviceHoldsTheTracksThenSilence) {
    foundation::ResetProcessStateForTests();
    WavProject project;
    const std::string out = project.dir / "o.raw";
    // aplay shows the device string works here at all.
    qvtest::RunOk("cd " + qvtest::ShellQuote(project.dir.path()) + " && aplay -q -D \"file:'ref.raw',raw\" a.wav");
    const Ended ended = PlayThrough(project.doc.get(), "alsa:file:'" + out + "',raw");
    ASSERT_TRUE(ended.started);
    EXPECT_EQ(ended.normalEnds, 1);
    const Bytes all = project.All();
    const Bytes got = qvtest::ReadFileBytes(out);
    ASSERT_GE(got.size(), all.size());
    EXPECT_TRUE(std::equal(all.begin(), all.end(), got.begin()));
    for (size_t i = all.size(); i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
}

TEST(PlayerAlsa, NoCardGivesNullAndPrintsNothing) {
    if (HasSoundCard()) GTEST_SKIP() << "this machine has a sound card";
    WavProject project;
    ::unsetenv("QV_AUDIO_SINK");
    testing::internal::CaptureStderr();
    PlaybackRequest request;
    request.document = project.doc.get();
    const bool started = StartPlayback(std::move(request)) != nullptr;
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(started);
    EXPECT_EQ(printed, "");
}

TEST(PlayerSinks, ChoiceFromTheEnvironmentValue) {
    struct Case {
        const char* value;
        SinkKind kind;
        const char* name;
    };
    const Case cases[] = {{nullptr, SinkKind::Alsa, "default"}, {"", SinkKind::Alsa, "default"},
                          {"alsa:hw:0,0", SinkKind::Alsa, "hw:0,0"}, {"null", SinkKind::Null, ""},
                          {"file:/tmp/x.raw", SinkKind::File, "/tmp/x.raw"}, {"file:", SinkKind::Unknown, "file:"},
                          {"pulse", SinkKind::Unknown, "pulse"}};
    for (const Case& c : cases) {
        const SinkChoice choice = ParseSinkChoice(c.value);
        EXPECT_EQ(choice.kind, c.kind) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(choice.name, c.name) << (c.value ? c.value : "(unset)");
    }
}

// A reader outside the audio layer (the burner) stops a player it never saw
// through the image core's seam and gets the decoder only once it has ended.
TEST(PlayerStop, TheAudioSeamStopsThePlayingPlayerAndWaits) {
    foundation::ResetProcessStateForTests();
    WavProject wav;
    auto log = std::make_shared<SinkLog>();
    const int gate = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    ASSERT_GE(gate, 0);
    PlaybackRequest request;
    request.document = wav.doc.get();
    request.readStatus = [] { return 0u; };
    request.sink = std::make_unique<GatedSink>(log, gate);   // never released: plays until stopped
    std::shared_ptr<AudioPlayer> player = StartPlayback(std::move(request));
    ASSERT_TRUE(player);
    EXPECT_EQ(CurrentPlayback(), player);
    InstallAudioServices();
    image::StopPlayerForReading();
    image::SetAudioServices(nullptr);
    EXPECT_TRUE(player->Finished());
    EXPECT_EQ(CurrentPlayback(), nullptr);
    image::StopPlayerForReading();   // nothing playing: returns at once
    ::close(gate);
}

}  // namespace
}  // namespace audio
