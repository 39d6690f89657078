// The player's cost: paced playback of 20 s of CD audio through the null sink
// (CPU time of the process over the wall time, goal under 1 % of a core), and
// unpaced playback of a 10-minute WAV to the file sink beside
// `ffmpeg -i x.wav -f s16le -ar 44100 -ac 2 -y /dev/null` on the same file
// (ratio goal at most 1.2).

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "audio/player/audio_player.h"
#include "bench_support.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

std::string Folder() {
    static const std::string folder = [] {
        std::string f = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/qvbench.player";
        qvbench::RunQuiet("mkdir -p " + f);
        return f;
    }();
    return folder;
}

// One WAV track of `seconds` of noise behind a CUE sheet.
std::unique_ptr<image::ImageContext> Project(const std::string& name, int seconds) {
    const std::string wav = Folder() + "/" + name + ".wav";
    qvbench::RunQuiet("test -s " + wav + " || sox -D -r 44100 -c 2 -n -b 16 " + wav + " synth " +
                      std::to_string(seconds * 44100) + "s pinknoise vol 0.5");
    const std::string cue = Folder() + "/" + name + ".cue";
    qvbench::RunQuiet("printf 'FILE \"" + name + ".wav\" WAVE\\n  TRACK 01 AUDIO\\n    INDEX 01 00:00:00\\n' > " + cue);
    auto doc = std::make_unique<image::ImageContext>();
    doc->imageHandle.reset(
        platform::FileOpenUtf8(wav, platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    doc->trackList = image::ParseCueSheet(platform::Utf8ToUtf16(cue)).release();
    return doc;
}

bool PlayToEnd(image::ImageContext* doc, const char* sink) {
    ::setenv("QV_AUDIO_SINK", sink, 1);
    audio::PlaybackRequest request;
    request.document = doc;
    request.readStatus = [] { return 0u; };
    auto player = audio::StartPlayback(std::move(request));
    if (!player) return false;
    while (!player->Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return true;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void PacedNullSink(benchmark::State& state) {
    auto doc = Project("paced", 20);
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        const double wall = qvbench::Seconds([&] {
            if (!PlayToEnd(doc.get(), "null")) state.SkipWithError("playback did not start");
        });
        state.counters["cpu_percent_of_a_core"] = (CpuSeconds() - cpu0) / wall * 100.0;
        qvbench::TableRow("player paced CPU (share of a core)", (CpuSeconds() - cpu0) / wall, "one core", 1.0, 0.01, "core");
    }
}

void UnpacedFileSinkBesideFfmpeg(benchmark::State& state) {
    auto doc = Project("long", 600);
    const std::string wav = Folder() + "/long.wav";
    for (auto _ : state) {
        const double ours = qvbench::Seconds([&] {
            if (!PlayToEnd(doc.get(), "file:/dev/null")) state.SkipWithError("playback did not start");
        });
        const double peer = qvbench::Seconds([&] {
            qvbench::RunQuiet("ffmpeg -v quiet -i " + wav + " -f s16le -ar 44100 -ac 2 -y /dev/null");
        });
        state.counters["ours_s"] = ours;
        state.counters["ffmpeg_s"] = peer;
        state.counters["ratio"] = ours / peer;
        qvbench::TableRow("player unpaced 10 min WAV", ours, "ffmpeg -f s16le", peer, 1.2);
    }
}

BENCHMARK(PacedNullSink)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(UnpacedFileSinkBesideFfmpeg)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
