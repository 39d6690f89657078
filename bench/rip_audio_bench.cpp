// Ripping every track of a 10-minute audio BIN/CUE disc (ten tracks) to FLAC
// and to MP3 through the rip's own extraction job, timed in the same run as
// the codecs' own tools over the same audio as one WAV file: "flac -5" (with
// verification, as ours) and "lame -b 128" (ours at its default, CBR 128).
// Goal: each ratio at most 1.1. QV_BENCH_MINUTES changes the disc's length.

#include "bench/bench_support.h"
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/audio_save_routes.h"
#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "audio/tracks/music_file_names.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

using qvbench::RunQuiet;

struct Disc {
    std::string folder;
    int tracks = 10;
};

const Disc& Fixture() {
    static const Disc disc = [] {
        Disc d;
        d.folder = qvbench::MakeBenchFolder();
        qvbench::WriteAudioDisc(d.folder, d.tracks, "sine 440 sine 554 pinknoise vol 0.3");
        // The encoders' peers read the same sound as a WAV file.
        RunQuiet("cd " + d.folder + " && sox -r 44100 -c 2 -b 16 -e signed -L -t raw disc.bin disc.wav");
        return d;
    }();
    return disc;
}

double Ours(const Disc& d, int32_t format) {
    const std::string out = d.folder + "/ours";
    fs::remove_all(out);
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(d.folder + "/disc.cue"), false, false, false));
    if (!doc) return 0;
    return qvbench::Seconds([&] {
        app::CExtractJob job(doc.get(), platform::Utf8ToUtf16(out), nullptr);
        for (int32_t t = 0; t < doc->trackList->trackCount; ++t) job.AddTrack(t, uint8_t(format));
        job.Run(nullptr);
    });
}

double Tool(const Disc& d, const std::string& command) {
    return qvbench::Seconds([&] { RunQuiet("cd " + d.folder + " && " + command + " >/dev/null 2>&1"); });
}

void RipBesideTool(benchmark::State& state, int32_t format, const std::string& command) {
    const Disc& d = Fixture();
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> face{&ui};
    app::InstallReaders();
    cmdline::InstallAudioSaveRoutes();
    foundation::WriteSettingString(u"AudioFileNameFormat", u"|#-|t");
    std::vector<double> ours, peer;
    for (auto _ : state) {
        foundation::ResetOperationStatus();
        ours.push_back(Ours(d, format));
        peer.push_back(Tool(d, command));
    }
    cmdline::RemoveAudioSaveRoutes();
    app::UninstallReaders();
    const double o = qvbench::Median(ours), p = qvbench::Median(peer);
    state.counters["ours_s"] = o;
    state.counters["tool_s"] = p;
    state.counters["ratio"] = p > 0 ? o / p : 0;
    qvbench::TableRow(std::string("rip 10 min to ") + (format == audio::kAudioFlac ? "FLAC" : "MP3"), o,
                      command.substr(0, command.find(' ')), p, 1.1);
}

void RipToFlacBesideFlac(benchmark::State& state) {
    RipBesideTool(state, audio::kAudioFlac, "flac -f -s -V -5 -o tool.flac disc.wav");
}
void RipToMp3BesideLame(benchmark::State& state) {
    RipBesideTool(state, audio::kAudioMp3, "lame --quiet -b 128 disc.wav tool.mp3");
}

BENCHMARK(RipToFlacBesideFlac)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(RipToMp3BesideLame)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
