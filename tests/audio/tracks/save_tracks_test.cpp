// Saving tracks of a sox-made BIN/CUE audio disc as music files: every format
// is checked by its own tools (WAV against dd slices of the BIN and soxi, FLAC
// by flac -t and a sample-exact decode, MP3 by lame --decode to the exact
// sample count and its tags by ffprobe, Ogg by ogginfo and oggdec, WMA by
// ffprobe); the one-file WAV is split back by cuebreakpoints and shnsplit. The
// failures (short BIN, full disk, cancel, a decoder that does not open, a
// planted link, a refused overwrite) leave no file behind and report once.

#include "audio/tracks/save_tracks.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_save_services.h"
#include "audio/encoders/music_encoder.h"
#include "audio/tracks/audio_services_install.h"
#include "audio/tracks/music_file_names.h"
#include "audio/tracks/track_encoding.h"
#include "foundation/messages.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "foundation/settings.h"
#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;
using Bytes = std::vector<uint8_t>;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

// Records the overwrite questions and the error reports.
class FakeSaveServices final : public audio::IAudioSaveServices {
public:
    int answer = 0;
    std::vector<std::u16string> asked;
    struct Report {
        std::u16string path, text;
        int32_t status;
    };
    std::vector<Report> reports;
    int ConfirmOverwrite(std::u16string_view path) override {
        asked.emplace_back(path);
        return answer;
    }
    void ReportExtractError(std::u16string_view path) override {
        const int32_t status = foundation::OperationStatus.load();
        if (status == 0 || status == 1) return;
        reports.push_back({std::u16string(path), foundation::GetLastErrorText(), status});
    }
};

class SaveTracksTest : public ::testing::Test {
public:
    void SetUp() override {
        foundation::ResetProcessStateForTests();
        foundation::WriteSettingString(u"AudioFileNameFormat", u"|#-|t");
        foundation::WriteSettingString(u"Install_Dir", U(dir_ / "no-libraries"));
        audio::ResetEncoderLibraries();
        const std::string d = ShellQuote(dir_.path());
        // Three tracks: a 3 s tone, 2 s of noise and a 1.1 s tone padded to whole sectors.
        RunOk("cd " + d + " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t1.raw synth 3 sine 440 vol 0.5"
                          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t2.raw synth 2 whitenoise vol 0.3"
                          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t3.raw synth 1.1 sine 1000 vol 0.4"
                          " && truncate -s %2352 t3.raw && cat t1.raw t2.raw t3.raw > disc.bin");
        bin_ = qvtest::ReadFileBytes(dir_ / "disc.bin");
        ASSERT_EQ(bin_.size() % 2352, 0u);
        outDir_ = dir_ / "out";
        ::mkdir(outDir_.c_str(), 0755);
    }
    void TearDown() override { audio::ResetEncoderLibraries(); }

    // The disc with an INDEX 00 gap before track 2; a data track first when mixed.
    void OpenDisc(bool mixed = false) {
        std::string sheet = "PERFORMER \"Disc Artist\"\nTITLE \"Album\"\n";
        int offset = 0;
        if (mixed) {
            RunOk("cd " + ShellQuote(dir_.path()) +
                  " && head -c $((100*2352)) /dev/urandom > data.bin && cat disc.bin >> data.bin && mv data.bin disc.bin");
            bin_ = qvtest::ReadFileBytes(dir_ / "disc.bin");
            sheet += "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
            offset = 100;
        } else {
            sheet += "FILE \"disc.bin\" BINARY\n";
        }
        auto msf = [](int s) {
            char b[16];
            std::snprintf(b, sizeof b, "%02d:%02d:%02d", s / 4500, s / 75 % 60, s % 75);
            return std::string(b);
        };
        const int n = mixed ? 1 : 0;
        auto track = [&](int k) { char b[8]; std::snprintf(b, sizeof b, "%02d", k + n); return std::string(b); };
        sheet += "  TRACK " + track(1) + " AUDIO\n    TITLE \"First\"\n    PERFORMER \"A\"\n    INDEX 01 " +
                 msf(offset) + "\n";
        sheet += "  TRACK " + track(2) + " AUDIO\n    TITLE \"Se/cond\"\n    INDEX 00 " + msf(offset + 200) +
                 "\n    INDEX 01 " + msf(offset + 225) + "\n";
        sheet += "  TRACK " + track(3) + " AUDIO\n    INDEX 01 " + msf(offset + 375) + "\n";
        qvtest::WriteFileText(dir_ / "disc.cue", sheet);
        image::SheetDiagnostics diag;
        image::TrackListPtr list = image::ParseCueSheet(U(dir_ / "disc.cue"), &diag);
        ASSERT_TRUE(list) << int(diag.error) << " line " << diag.line;
        ctx_ = std::make_unique<image::ImageContext>();
        ctx_->imagePath = U(dir_ / "disc.bin");
        ctx_->imageHandle.reset(platform::FileOpenUtf8(dir_ / "disc.bin", platform::FileAccess::Read,
                                                       platform::FileDisposition::OpenExisting));
        ctx_->trackList = list.release();
    }

    // The dd oracle: the track's sectors from start - pregap.
    Bytes Expected(int32_t position) {
        const image::TrackEntry& t = ctx_->trackList->tracks[size_t(position)];
        const int64_t first = t.startSector - t.pregap;
        const int64_t n = t.pregap + t.length + t.postgap;
        RunOk("dd status=none if=" + ShellQuote(dir_ / "disc.bin") + " bs=2352 skip=" + std::to_string(first) +
              " count=" + std::to_string(n) + " of=" + ShellQuote(dir_ / "exp.raw"));
        Bytes b = qvtest::ReadFileBytes(dir_ / "exp.raw");
        EXPECT_EQ(int64_t(b.size()), n * 2352);
        return b;
    }

    std::vector<std::string> OutFiles() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(outDir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    qvtest::TempDir dir_;
    std::string outDir_;
    Bytes bin_;
    std::unique_ptr<image::ImageContext> ctx_;
    FakeSaveServices services_;
    foundation::ScopedServices<audio::SetAudioSaveServices> installed_{&services_};
};

TEST_F(SaveTracksTest, WavTracksEqualDdSlicesOfTheBin) {
    OpenDisc();
    // The INDEX 00 stretch of track 2 lies in the BIN and is read from it.
    ASSERT_EQ(ctx_->trackList->tracks[1].pregap, 25);
    ASSERT_EQ(ctx_->trackList->tracks[1].pregapInFile, 25);
    foundation::ProgressCallbacks progress;
    int64_t done = 0;
    std::vector<std::u16string> shown;
    progress.AddDone = [&](int64_t n) { done += n; };
    progress.SetCurrentItem = [&](std::u16string_view s) { shown.emplace_back(s); };
    const char* names[] = {"01-First.wav", "02-Se cond.wav", "03-Track03.wav"};
    int64_t total = 0;
    for (int32_t j = 0; j < 3; ++j) {
        ASSERT_EQ(audio::SaveTrackAsMusicFile(&progress, *ctx_, j, U(outDir_), audio::kAudioWav), 1) << j;
        const std::string out = outDir_ + "/" + names[j];
        const Bytes exp = Expected(j);
        total += int64_t(exp.size());
        RunOk("tail -c +45 " + ShellQuote(out) + " | cmp - " + ShellQuote(dir_ / "exp.raw"));
        EXPECT_EQ(RunOk("soxi -s " + ShellQuote(out)), std::to_string(exp.size() / 4) + "\n");
        EXPECT_EQ(shown.back(), U(names[j]));
    }
    EXPECT_EQ(done, total);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{names[0], names[1], names[2]}));
    EXPECT_TRUE(services_.reports.empty());
}

TEST_F(SaveTracksTest, EveryFormatIsAcceptedByItsOwnTools) {
    OpenDisc();
    const Bytes exp = Expected(1);
    const std::string samples = std::to_string(exp.size() / 4) + "\n";
    const std::string raw = ShellQuote(dir_ / "exp.raw");
    struct Row {
        int32_t format;
        std::string name;
        std::string check;   // run with $F the output and $D a scratch file
    };
    const Row rows[] = {
        {audio::kAudioFlac, "02-Se cond.flac",
         "flac -s -t \"$F\" && flac -s -d --force-raw-format --endian=little --sign=signed -o \"$D\" \"$F\" && cmp \"$D\" " +
             raw + " && metaflac --show-total-samples \"$F\""},
        {audio::kAudioMp3, "02-Se cond.mp3", "lame --quiet --decode \"$F\" \"$D.wav\" && soxi -s \"$D.wav\""},
        {audio::kAudioOgg, "02-Se cond.ogg", "ogginfo \"$F\" >/dev/null && oggdec -Q -o \"$D.wav\" \"$F\" && soxi -s \"$D.wav\""},
        {audio::kAudioWma, "02-Se cond.wma",
         "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 \"$F\""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        foundation::ResetOperationStatus();
        ASSERT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 1, U(outDir_), r.format), 1);
        const std::string out =
            RunOk("F=" + ShellQuote(outDir_ + "/" + r.name) + " D=" + ShellQuote(dir_ / "d") + "; " + r.check);
        if (r.format == audio::kAudioWma) EXPECT_EQ(out, "wmav2,44100,2\n");
        else EXPECT_EQ(out, samples);
    }
    const std::string tags = RunOk("ffprobe -v error -show_entries format_tags=title,album -of default=nw=1 " +
                                   ShellQuote(outDir_ + "/02-Se cond.mp3"));
    EXPECT_NE(tags.find("TAG:title=Se/cond"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:album=Album"), std::string::npos) << tags;
    EXPECT_TRUE(services_.reports.empty());

    // APE: Debian has no encoder library; refused before any question, nothing left.
    services_.asked.clear();
    foundation::ResetOperationStatus();
    EXPECT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 1, U(outDir_), audio::kAudioApe), -1);
    ASSERT_EQ(services_.reports.size(), 1u);
    EXPECT_EQ(services_.reports[0].status, foundation::kStatusFailed);
    EXPECT_EQ(services_.reports[0].text, u"Error loading libMAC.so.");
    EXPECT_TRUE(services_.asked.empty());
    EXPECT_EQ(OutFiles().size(), 4u);
}

TEST_F(SaveTracksTest, OneFileWavOfAMixedDiscSplitsBackIntoItsAudioTracks) {
    OpenDisc(true);
    ASSERT_EQ(ctx_->trackList->trackCount, 4);
    const std::string path = outDir_ + "/all.wav";
    const int32_t all[] = {0, 1, 2, 3};
    foundation::ProgressCallbacks progress;
    int64_t total = 0, done = 0;
    progress.SetTotal = [&](int64_t n) { total = n; };
    progress.AddDone = [&](int64_t n) { done += n; };
    ASSERT_EQ(audio::SaveTracksToMusicFile(&progress, *ctx_, all, audio::kAudioWav, U(path)), 1);
    EXPECT_EQ(total, done);
    EXPECT_EQ(total, int64_t(bin_.size()) - 100 * 2352);   // the data track is not encoded
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"all.cue", "all.wav"}));
    RunOk("cd " + ShellQuote(outDir_) + " && mkdir split && cuebreakpoints --prepend-gaps all.cue | "
          "shnsplit -q -o wav -d split -O always all.wav");
    for (int32_t j = 1; j <= 3; ++j) {
        Expected(j);
        const std::string piece = outDir_ + "/split/split-track0" + std::to_string(j) + ".wav";
        RunOk("tail -c +45 " + ShellQuote(piece) + " | cmp - " + ShellQuote(dir_ / "exp.raw"));
    }
    // One file per track: the data track is skipped, not encoded.
    EXPECT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioWav), 1);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"all.cue", "all.wav", "split"}));
    const std::string cue = RunOk("cat " + ShellQuote(outDir_ + "/all.cue"));
    EXPECT_NE(cue.find("FILE \"all.wav\" WAVE"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("MODE1"), std::string::npos) << cue;

    // Positions with no audio sector: nothing done, nothing asked.
    services_.asked.clear();
    const int32_t dataOnly[] = {0};
    EXPECT_EQ(audio::SaveTracksToMusicFile(nullptr, *ctx_, dataOnly, audio::kAudioWav, U(outDir_ + "/none.wav")), -1);
    EXPECT_TRUE(services_.asked.empty());
}

TEST_F(SaveTracksTest, OneFileFlacAndAWavOverItsHeaderLimit) {
    OpenDisc();
    const int32_t two[] = {0, 2};
    ASSERT_EQ(audio::SaveTracksToMusicFile(nullptr, *ctx_, two, audio::kAudioFlac, U(outDir_ + "/two.flac")), 1);
    Bytes exp = Expected(0);
    const Bytes third = Expected(2);
    exp.insert(exp.end(), third.begin(), third.end());
    qvtest::WriteFileBytes(dir_ / "exp2.raw", exp.data(), exp.size());
    RunOk("flac -s -d --force-raw-format --endian=little --sign=signed -o " + ShellQuote(dir_ / "d.raw") + " " +
          ShellQuote(outDir_ + "/two.flac") + " && cmp " + ShellQuote(dir_ / "d.raw") + " " +
          ShellQuote(dir_ / "exp2.raw"));

    // Over 4 GiB of WAV data: refused before anything is asked or written.
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> face{&ui};
    ctx_->trackList->tracks[1].length = 1900000;
    services_.asked.clear();
    const int32_t one[] = {1};
    EXPECT_EQ(audio::SaveTracksToMusicFile(nullptr, *ctx_, one, audio::kAudioWav, U(outDir_ + "/big.wav")), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), 7);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_NE(ui.Boxes()[0].request.text.find(u"The new image file size is too large."), std::u16string::npos);
    EXPECT_TRUE(services_.asked.empty());
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"two.cue", "two.flac"}));
}

TEST_F(SaveTracksTest, AOneFileSaveThatStopsLeavesNoFileAndNoSheet) {
    struct Row {
        const char* name;
        int expectResult;
        int32_t expectStatus;
        size_t boxes;
    };
    const Row rows[] = {
        {"cancelled", 0, foundation::kStatusCancelled, 0},
        {"BIN shorter than its sheet", -1, foundation::kStatusSourceReadFailed, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        OpenDisc();
        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> face{&ui};
        foundation::ProgressCallbacks progress;
        if (r.expectResult == 0) progress.cancelEvent.Set();
        else ASSERT_EQ(::truncate((dir_ / "disc.bin").c_str(), 2352 * 300), 0);
        const int32_t all[] = {0, 1, 2};
        EXPECT_EQ(audio::SaveTracksToMusicFile(&progress, *ctx_, all, audio::kAudioOgg, U(outDir_ + "/all.ogg")),
                  r.expectResult);
        EXPECT_EQ(foundation::OperationStatus.load(), r.expectStatus);
        EXPECT_EQ(ui.Boxes().size(), r.boxes);
        EXPECT_TRUE(OutFiles().empty());
        RunOk("cd " + ShellQuote(dir_.path()) + " && cat t1.raw t2.raw t3.raw > disc.bin");
    }
}

TEST_F(SaveTracksTest, FailuresLeaveNoFileAndReportOnce) {
    struct Row {
        const char* name;
        int32_t format;
        int expectResult;
        int32_t expectStatus;   // -1: no report expected
        std::function<void(SaveTracksTest&, foundation::ProgressCallbacks&)> arrange;
    };
    const Row rows[] = {
        {"cancelled before the first chunk", audio::kAudioWav, 0, -1,
         [](SaveTracksTest&, foundation::ProgressCallbacks& p) { p.cancelEvent.Set(); }},
        {"BIN shorter than its sheet", audio::kAudioWav, -1, foundation::kStatusSourceReadFailed,
         [](SaveTracksTest& t, foundation::ProgressCallbacks&) {
             ASSERT_EQ(::truncate((t.dir_ / "disc.bin").c_str(), 2352 * 300), 0);
         }},
        {"decoder that does not open", audio::kAudioFlac, -1, -1,
         [](SaveTracksTest& t, foundation::ProgressCallbacks&) {
             image::TrackEntry& e = t.ctx_->trackList->tracks[1];
             e.fileName = U(t.dir_ / "song.flac");
             e.audioSourceKind = image::kAudioSourceDecoder;
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        OpenDisc();
        foundation::ResetProcessStateForTests();
        services_.reports.clear();
        foundation::ProgressCallbacks progress;
        r.arrange(*this, progress);
        EXPECT_EQ(audio::SaveTrackAsMusicFile(&progress, *ctx_, 1, U(outDir_), r.format), r.expectResult);
        if (r.expectStatus < 0) {
            EXPECT_TRUE(services_.reports.empty());
        } else {
            ASSERT_EQ(services_.reports.size(), 1u);
            EXPECT_EQ(services_.reports[0].status, r.expectStatus);
            EXPECT_EQ(services_.reports[0].path, U(outDir_ + "/02-Se cond.wav"));
        }
        EXPECT_TRUE(OutFiles().empty());
        RunOk("cd " + ShellQuote(dir_.path()) + " && cat t1.raw t2.raw t3.raw > disc.bin");
    }
}

TEST_F(SaveTracksTest, FullDiskInAChildLeavesNothing) {
    OpenDisc();
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        foundation::ResetOperationStatus();
        const int r = audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioWav);
        const bool oneReport = services_.reports.size() == 1 && services_.reports[0].status == 3 &&
                               services_.reports[0].text == u"Writing file failed.";
        ::_exit(r == -1 && oneReport ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(OutFiles().empty());
}

TEST_F(SaveTracksTest, APlantedLinkIsReplacedAndARefusalKeepsTheOldFile) {
    OpenDisc();
    qvtest::WriteFileText(dir_ / "victim", "keep me");
    ASSERT_EQ(::symlink((dir_ / "victim").c_str(), (outDir_ + "/01-First.wav").c_str()), 0);
    ASSERT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioWav), 1);
    EXPECT_EQ(RunOk("cat " + ShellQuote(dir_ / "victim")), "keep me");
    struct stat st {};
    ASSERT_EQ(::lstat((outDir_ + "/01-First.wav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    Expected(0);
    RunOk("tail -c +45 " + ShellQuote(outDir_ + "/01-First.wav") + " | cmp - " + ShellQuote(dir_ / "exp.raw"));

    qvtest::WriteFileText(outDir_ + "/01-First.wav", "old");
    services_.answer = -1;
    EXPECT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioMp3), 1);
    EXPECT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioWav), 1);
    EXPECT_EQ(RunOk("cat " + ShellQuote(outDir_ + "/01-First.wav")), "old");
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"01-First.wav"}));
}

TEST_F(SaveTracksTest, APregapBeforeTheDiscStartIsSilence) {
    OpenDisc();
    image::TrackEntry& t = ctx_->trackList->tracks[0];
    t.pregap = 150;   // a hand-made sheet: 150 sectors before sector 0
    ASSERT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioWav), 1);
    const Bytes out = qvtest::ReadFileBytes(outDir_ + "/01-First.wav");
    ASSERT_EQ(out.size(), 44 + size_t(150 + t.length) * 2352);
    EXPECT_TRUE(std::all_of(out.begin() + 44, out.begin() + 44 + 150 * 2352, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(out.begin() + 44 + 150 * 2352, out.end(), bin_.begin()));
}

TEST_F(SaveTracksTest, AFlacTrackOfASheetSavesBitExact) {
    audio::InstallAudioServices();
    struct Restore {
        ~Restore() { image::SetAudioServices(nullptr); }
    } restore;
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && sox -n -r 44100 -c 2 -b 16 song.flac synth 2 pinknoise vol 0.4"
          " && sox song.flac -t raw -e signed -b 16 -L exp.raw");
    qvtest::WriteFileText(dir_ / "song.cue", "TITLE \"Decoded\"\nFILE \"song.flac\" WAVE\n  TRACK 01 AUDIO\n"
                                             "    TITLE \"Pink\"\n    INDEX 01 00:00:00\n");
    image::SheetDiagnostics diag;
    image::TrackListPtr list = image::ParseCueSheet(U(dir_ / "song.cue"), &diag);
    ASSERT_TRUE(list) << int(diag.error) << " line " << diag.line;
    ASSERT_EQ(list->tracks[0].audioSourceKind, image::kAudioSourceDecoder);
    ctx_ = std::make_unique<image::ImageContext>();
    ctx_->imagePath = U(dir_ / "song.flac");
    ctx_->trackList = list.release();
    ASSERT_EQ(audio::SaveTrackAsMusicFile(nullptr, *ctx_, 0, U(outDir_), audio::kAudioWav), 1);
    RunOk("tail -c +45 " + ShellQuote(outDir_ + "/01-Pink.wav") + " | cmp - " + ShellQuote(dir_ / "exp.raw"));
    EXPECT_TRUE(services_.reports.empty());
}

}  // namespace
