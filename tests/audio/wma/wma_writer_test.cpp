// The WMA writer against FFmpeg's own tools: a 3 s sox sine written in
// slices that split frames reads back through ffprobe as wmav2 in ASF at
// 44,100 Hz stereo, decodes without an error, lasts the source's length to
// within one codec frame, and keeps its loudness; the sample clock follows
// the documented arithmetic; a finish that cannot complete is a failure.

#include "audio/wma/wma_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

// The open file the writer writes into, as a save's temporary hands it over.
struct OutputFile {
    int fd;
    explicit OutputFile(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {}
    ~OutputFile() {
        if (fd >= 0) ::close(fd);
    }
};

using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(WmaWriter, FfmpegReadsWhatItWrites) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw src.raw synth 3 sine 440 vol 0.5");
    const std::vector<uint8_t> pcm = qvtest::ReadFileBytes(dir / "src.raw");
    OutputFile out(dir / "t.wma");
    auto writer = audio::CreateWmaWriter(out.fd);
    ASSERT_TRUE(writer);
    for (size_t at = 0; at < pcm.size();) {
        const size_t n = std::min<size_t>(37634, pcm.size() - at);
        ASSERT_EQ(writer->Write(pcm.data() + at, n), 1);
        at += n;
    }
    EXPECT_TRUE(writer->Close());
    const std::string f = ShellQuote(dir / "t.wma");
    EXPECT_EQ(RunOk("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels "
                    "-of default=nw=1 " + f),
              "codec_name=wmav2\nsample_rate=44100\nchannels=2\n");
    EXPECT_EQ(RunOk("ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 " + f), "asf\n");
    EXPECT_EQ(RunOk("ffmpeg -v error -i " + f + " -f null - 2>&1"), "");
    RunOk("ffmpeg -v error -y -i " + f + " " + ShellQuote(dir / "d.wav"));
    const long samples = std::stol(RunOk("soxi -s " + ShellQuote(dir / "d.wav")));
    EXPECT_LE(std::labs(samples - 132300), 4096) << samples;
    const std::string stat = RunOk("sox " + ShellQuote(dir / "d.wav") + " -n stat 2>&1 | grep 'RMS     amplitude'");
    const double rms = std::stod(stat.substr(stat.find(':') + 1));
    EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.02) << stat;   // within 0.5 dB of a half-scale sine
}

TEST(WmaWriter, SampleClockAndFailures) {
    qvtest::TempDir dir;
    OutputFile out(dir / "c.wma");
    auto writer = audio::CreateWmaWriter(out.fd);
    ASSERT_TRUE(writer);
    std::vector<uint8_t> sixteenSectors(37632, 0);
    ASSERT_EQ(writer->Write(sixteenSectors.data(), sixteenSectors.size()), 1);
    EXPECT_EQ(writer->SampleTime(), 2133333);
    EXPECT_TRUE(writer->Close());
    EXPECT_FALSE(writer->Close());   // once only
    EXPECT_EQ(writer->Write(sixteenSectors.data(), 4), 0);
    // A file that could not be opened: no writer.
    EXPECT_FALSE(audio::CreateWmaWriter(OutputFile(dir / "missing/x.wma").fd));
}

// A full disk: the file-size limit makes the last writes and the trailer fail,
// and the writer says so instead of reporting success.
TEST(WmaWriter, FullDiskFailsTheFinish) {
    qvtest::TempDir dir;
    const std::string out = dir / "f.wma";
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {16384, 16384};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        OutputFile file(out);
        auto writer = audio::CreateWmaWriter(file.fd);
        if (!writer) ::_exit(3);
        std::vector<uint8_t> pcm(176400, 1);
        bool wrote = true;
        for (int i = 0; i < 4 && wrote; ++i) wrote = writer->Write(pcm.data(), pcm.size()) == 1;
        const bool closed = writer->Close();
        ::_exit(wrote && closed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
