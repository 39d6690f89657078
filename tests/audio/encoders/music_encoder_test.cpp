// The encoder adapters against the real libraries and their own tools: a 3 s
// sox sine encoded in odd-sized slices, then FLAC checked by flac -t and
// decoded sample for sample, MP3 decoded by lame to the exact sample count
// (its info tag) with its tags seen by ffprobe, Ogg Vorbis checked by ogginfo
// and decoded by oggdec. APE: Debian has no library, so the program says it
// cannot load it; a stub library built here shows the adapter's calls.

#include "audio/encoders/music_encoder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/encoders/mp3_encoder.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

// The open file an encoder writes into, as a save's temporary hands it over.
struct OutputFile {
    int fd;
    explicit OutputFile(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {}
    ~OutputFile() {
        if (fd >= 0) ::close(fd);
    }
};

constexpr int64_t kSamples = 132300;   // 3 s at 44,100 Hz

class MusicEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunOk("cd " + ShellQuote(dir_.path()) +
              " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw src.raw synth 3 sine 440 sine 660 vol 0.5");
        source_ = qvtest::ReadFileBytes(dir_ / "src.raw");
        ASSERT_EQ(int64_t(source_.size()), kSamples * 4);
        audio::ResetEncoderLibraries();
    }
    void TearDown() override { audio::ResetEncoderLibraries(); }

    // Encodes the source in slices that split frames, with a few tags.
    void Encode(audio::MusicFormat format, const std::string& name) {
        audio::MusicTags tags;
        tags.title = u"Caf\u00e9 Song";
        tags.artist = u"The Testers";
        tags.album = u"Fixtures";
        tags.year = u"2026";
        audio::EncoderError error;
        OutputFile out(dir_ / name);
        ASSERT_GE(out.fd, 0);
        auto encoder = audio::OpenMusicEncoder(format, out.fd, source_.size(), tags, &error);
        ASSERT_TRUE(encoder) << platform::Utf16ToUtf8(error.text);
        for (size_t at = 0; at < source_.size();) {
            const size_t n = std::min<size_t>(37633, source_.size() - at);
            ASSERT_TRUE(encoder->Write(source_.data() + at, n));
            at += n;
        }
        ASSERT_TRUE(encoder->Finish());
    }

    treetest::TreeDocument settings_;   // a private settings store
    qvtest::TempDir dir_;
    std::vector<uint8_t> source_;
};

TEST_F(MusicEncoderTest, FlacDecodesToTheSourceSamples) {
    Encode(audio::MusicFormat::Flac, "t.flac");
    const std::string f = ShellQuote(dir_ / "t.flac");
    RunOk("flac -s -t " + f);
    RunOk("flac -s -d --force-raw-format --endian=little --sign=signed -o " + ShellQuote(dir_ / "d.raw") + " " + f);
    EXPECT_EQ(qvtest::ReadFileBytes(dir_ / "d.raw"), source_);
    EXPECT_EQ(RunOk("metaflac --show-total-samples " + f), std::to_string(kSamples) + "\n");
    const std::string tags = RunOk("metaflac --export-tags-to=- " + f);
    EXPECT_NE(tags.find("TITLE=Caf\xc3\xa9 Song"), std::string::npos) << tags;
    EXPECT_NE(tags.find("ALBUM=Fixtures"), std::string::npos) << tags;
}

TEST_F(MusicEncoderTest, Mp3SettingsDecodeToTheSampleCount) {
    struct Row {
        uint32_t code;
        const char* name;
    };
    const Row rows[] = {
        {0, "default CBR 128"},
        {0x30000100, "ABR 256"},
        {0x100000C0, "preset standard"},
        {0x10000070, "voice, as CBR 112"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        foundation::WriteSettingDword(u"LameEncodeFormat", row.code);
        Encode(audio::MusicFormat::Mp3, "t.mp3");
        const std::string f = ShellQuote(dir_ / "t.mp3");
        RunOk("lame --quiet --decode " + f + " " + ShellQuote(dir_ / "d.wav"));
        // Only a correct info tag trims the encoder delay and padding.
        EXPECT_EQ(RunOk("soxi -s " + ShellQuote(dir_ / "d.wav")), std::to_string(kSamples) + "\n");
        const std::string probe =
            RunOk("ffprobe -v error -show_entries format_tags=title,artist,album -of default=nw=1 " + f);
        EXPECT_NE(probe.find("TAG:title=Caf\xc3\xa9 Song"), std::string::npos) << probe;
        EXPECT_NE(probe.find("TAG:album=Fixtures"), std::string::npos) << probe;
    }
}

TEST_F(MusicEncoderTest, OggVorbisChecksAndDecodes) {
    for (uint32_t quality : {0x101770u, 0x200010u, 0x3003E8u}) {
        SCOPED_TRACE(quality);
        foundation::WriteSettingDword(u"OggEncodeQuality", quality);
        Encode(audio::MusicFormat::Ogg, "t.ogg");
        const std::string f = ShellQuote(dir_ / "t.ogg");
        const std::string info = RunOk("ogginfo " + f);
        EXPECT_EQ(info.find("WARNING"), std::string::npos) << info;
        RunOk("oggdec -Q -o " + ShellQuote(dir_ / "d.wav") + " " + f);
        EXPECT_EQ(RunOk("soxi -s " + ShellQuote(dir_ / "d.wav")), std::to_string(kSamples) + "\n");
        const std::string comments = RunOk("vorbiscomment -l " + f);
        EXPECT_NE(comments.find("TITLE=Caf\xc3\xa9 Song"), std::string::npos) << comments;
    }
}

// A full disk (a file-size limit in a child, SIGXFSZ ignored): every encoder
// reports the failure from a write or its finish, never success.
TEST_F(MusicEncoderTest, FullDiskIsAFailure) {
    for (audio::MusicFormat format : {audio::MusicFormat::Mp3, audio::MusicFormat::Flac, audio::MusicFormat::Ogg}) {
        SCOPED_TRACE(platform::Utf16ToUtf8(audio::MusicFormatName(format)));
        ASSERT_TRUE(audio::LoadEncoderLibrary(format, nullptr));
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit {8192, 8192};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            OutputFile out(dir_ / "full");
            auto encoder = audio::OpenMusicEncoder(format, out.fd, source_.size(), {}, nullptr);
            if (!encoder) ::_exit(1);
            const bool wrote = encoder->Write(source_.data(), source_.size());
            const bool finished = encoder->Finish();
            ::_exit(wrote && finished ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
    }
}

TEST(LameFormat, CodesMapToPresetsAndRates) {
    struct Row {
        uint32_t code;
        int preset, bitrate;
    };
    const Row rows[] = {
        {0x10000140, 10, 320}, {0x100200A0, 4, 160}, {0x10000070, 3, 112}, {0x20000080, 12, 128},
        {0x30000100, 11, 256}, {0x20000081, 12, 128}, {0x12345678, 12, 128}, {0, 12, 128},
    };
    for (const Row& r : rows) {
        const audio::LameFormat f = audio::MapLameFormat(r.code);
        EXPECT_EQ(f.preset, r.preset) << std::hex << r.code;
        EXPECT_EQ(f.bitrate, r.bitrate) << std::hex << r.code;
    }
}

// The stub records every call into the file named by QV_APE_LOG.
const char* kApeStub = R"(
#include <cstdio>
#include <cstdlib>
#include <cwchar>
static void Log(const char* text, long value) {
    if (FILE* f = std::fopen(std::getenv("QV_APE_LOG"), "a")) { std::fprintf(f, "%s %ld\n", text, value); std::fclose(f); }
}
static int handle;
extern "C" {
int GetInterfaceCompatibility(int version, int, void*) { Log("compatibility", version); return COMPAT; }
void* c_APECompress_Create(int*) { Log("create", 0); return &handle; }
void c_APECompress_Destroy(void*) { Log("destroy", 0); }
int c_APECompress_StartW(void*, const wchar_t* path, const void*, int total, int level, const void*, int) {
    Log("total", total); Log("level", level);
    char name[4096]; std::wcstombs(name, path, sizeof name);
    if (FILE* f = std::fopen(name, "w")) std::fclose(f);
    return 0;
}
int c_APECompress_AddData(void*, unsigned char*, int bytes) { Log("add", bytes); return 0; }
int c_APECompress_Finish(void*, unsigned char*, int, int) { Log("finish", 0); return 0; }
void* c_APEDecompress_CreateW(const wchar_t*, int*) { return &handle; }
void c_APEDecompress_Destroy(void*) {}
#ifndef NO_TAGS
int SetFieldTagW(void*, const wchar_t* field, const wchar_t*, int save) { Log(field ? "tag" : "save", save); return 0; }
#endif
}
)";

TEST_F(MusicEncoderTest, ApeThroughItsLibraryWhenPresent) {
    // No library: the program's text names the file it tried.
    audio::EncoderError error;
    foundation::WriteSettingString(u"Install_Dir", U(dir_ / "none"));
    EXPECT_FALSE(audio::LoadEncoderLibrary(audio::MusicFormat::Ape, &error));
    EXPECT_EQ(error.text, u"Error loading libMAC.so.");

    qvtest::WriteFileText(dir_ / "stub.cpp", kApeStub);
    struct Build {
        const char* flags;
        bool loads;
    };
    const Build builds[] = {{"-DCOMPAT=1", false}, {"-DCOMPAT=0 -DNO_TAGS", false}, {"-DCOMPAT=0", true}};
    foundation::WriteSettingString(u"Install_Dir", U(dir_.path()));
    for (const Build& b : builds) {
        SCOPED_TRACE(b.flags);
        RunOk("cd " + ShellQuote(dir_.path()) + " && g++ -shared -fPIC " + b.flags + " -o libMAC.so stub.cpp");
        audio::ResetEncoderLibraries();
        EXPECT_EQ(audio::LoadEncoderLibrary(audio::MusicFormat::Ape, &error), b.loads);
    }
    ::setenv("QV_APE_LOG", (dir_ / "calls.log").c_str(), 1);
    foundation::WriteSettingDword(u"ApeCompressionLevel", 9);   // outside 1..5: the default 3
    Encode(audio::MusicFormat::Ape, "t.ape");
    const std::string calls = RunOk("cat " + ShellQuote(dir_ / "calls.log"));
    EXPECT_NE(calls.find("level 3000\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("total " + std::to_string(kSamples * 4) + "\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("finish 0\ndestroy 0\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("save 1\n"), std::string::npos) << calls;
    // A total the library's 32-bit count cannot hold is refused.
    OutputFile big(dir_ / "big.ape");
    EXPECT_FALSE(audio::OpenMusicEncoder(audio::MusicFormat::Ape, big.fd, uint64_t(1) << 32, {}, &error));
    EXPECT_EQ(error.text, u"Error opening APE encoder.");
}

}  // namespace
