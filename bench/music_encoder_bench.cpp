// Each music encoder on one minute of CD audio (a sox chord written to the
// fixture folder by bench/music_encoders.sh, or a generated sine), the same
// input and settings the script gives flac -5, lame -b 128, oggenc -q 5 and
// ffmpeg -c:a wmav2 -b:a 128k; the script prints the ratios.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/encoders/music_encoder.h"
#include "audio/wma/wma_writer.h"
#include "platform/text.h"

namespace {

const std::vector<uint8_t>& Input() {
    static const std::vector<uint8_t> pcm = [] {
        if (const char* path = std::getenv("QV_BENCH_PCM")) {
            std::ifstream in(path, std::ios::binary);
            return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        std::vector<uint8_t> out(size_t(44100) * 60 * 4);
        for (size_t i = 0; i < out.size() / 4; ++i) {
            const int16_t s = int16_t(12000 * std::sin(double(i) * 2 * M_PI * 440 / 44100));
            out[4 * i] = out[4 * i + 2] = uint8_t(s);
            out[4 * i + 1] = out[4 * i + 3] = uint8_t(uint16_t(s) >> 8);
        }
        return out;
    }();
    return pcm;
}

// The open file an encoder writes into, emptied for each run.
struct Output {
    int fd;
    explicit Output(const char* name)
        : fd(::open((std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/qvbench." + name).c_str(),
                    O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {}
    ~Output() {
        if (fd >= 0) ::close(fd);
    }
};

void Encode(benchmark::State& state, audio::MusicFormat format, const char* name) {
    const auto& pcm = Input();
    for (auto _ : state) {
        audio::EncoderError error;
        Output out(name);
        auto encoder = audio::OpenMusicEncoder(format, out.fd, pcm.size(), {}, &error);
        if (!encoder || !encoder->Write(pcm.data(), pcm.size()) || !encoder->Finish()) {
            state.SkipWithError("encoder failed");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size()));
}

void Flac(benchmark::State& state) { Encode(state, audio::MusicFormat::Flac, "flac"); }
void Mp3(benchmark::State& state) { Encode(state, audio::MusicFormat::Mp3, "mp3"); }
void Ogg(benchmark::State& state) { Encode(state, audio::MusicFormat::Ogg, "ogg"); }
void Wma(benchmark::State& state) {
    const auto& pcm = Input();
    for (auto _ : state) {
        Output out("wma");
        auto writer = audio::CreateWmaWriter(out.fd);
        if (!writer || writer->Write(pcm.data(), pcm.size()) != 1 || !writer->Close()) {
            state.SkipWithError("writer failed");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size()));
}

BENCHMARK(Flac)->Unit(benchmark::kMillisecond);
BENCHMARK(Mp3)->Unit(benchmark::kMillisecond);
BENCHMARK(Ogg)->Unit(benchmark::kMillisecond);
BENCHMARK(Wma)->Unit(benchmark::kMillisecond);

}  // namespace
