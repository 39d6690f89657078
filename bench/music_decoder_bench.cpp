// Decoding music files into CD sectors beside `ffmpeg -f s16le` to /dev/null
// on the same files, in one run: a FLAC and an MP3 of QV_BENCH_MUSIC_MINUTES
// (default 70) minutes of noise and tones, made by sox, flac and lame. Each
// row reports our seconds, ffmpeg's and the ratio ours / ffmpeg.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/decoder/music_decoder.h"
#include "platform/text.h"

namespace {

std::string WorkDir() {
    static std::string dir = [] {
        const std::string name = qvbench::MakeBenchFolder();
        if (name.empty()) std::abort();
        const char* m = std::getenv("QV_BENCH_MUSIC_MINUTES");
        const int minutes = m && std::atoi(m) > 0 ? std::atoi(m) : 70;
        const std::string d = name;
        const std::string make = "cd '" + d + "' && sox -n -r 44100 -c 2 -b 16 src.wav synth " +
                                 std::to_string(minutes * 60) +
                                 " whitenoise sine 440 vol 0.3 2>/dev/null && flac -s -o music.flac src.wav && "
                                 "lame --quiet -b 192 src.wav music.mp3 && rm src.wav";
        if (std::system(make.c_str()) != 0) std::abort();
        return d;
    }();
    return dir;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void DecodeBesideFfmpeg(benchmark::State& state, const char* name) {
    const std::string path = WorkDir() + "/" + name;
    double ours = 0;
    int64_t sectors = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        audio::MusicDecoder decoder;
        if (!decoder.Open(platform::Utf8ToUtf16(path))) {
            state.SkipWithError("open failed");
            return;
        }
        const int64_t samples = decoder.CountSamples();
        std::vector<uint8_t> piece(size_t(128) * 2352);
        sectors = (samples + 587) / 588;
        for (int64_t done = 0; done < sectors; done += 128)
            if (!decoder.Read(piece.data(), piece.size())) state.SkipWithError("read failed");
        ours = Seconds(start);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string peer = "ffmpeg -v error -i '" + path + "' -f s16le -ar 44100 -ac 2 -y /dev/null";
    if (std::system(peer.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    const double theirs = Seconds(start);
    state.counters["sectors"] = double(sectors);
    state.counters["ours_s"] = ours;
    state.counters["ffmpeg_s"] = theirs;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
    qvbench::TableRow(std::string("music decode ") + name, ours, "ffmpeg -f s16le", theirs, 1.0);
}

BENCHMARK_CAPTURE(DecodeBesideFfmpeg, flac, "music.flac")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeBesideFfmpeg, mp3, "music.mp3")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
