// Saving every track of a 10-minute audio BIN/CUE disc (ten tracks of sox
// noise) as WAV files, timed in the same run as "bchunk -w" on the same disc
// into an empty folder on the same disk. The counters give each median time
// and our ratio to bchunk (goal: at most 1.0). QV_BENCH_MINUTES changes the
// disc's length.

#include "bench/bench_support.h"
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_save_services.h"
#include "audio/tracks/music_file_names.h"
#include "audio/tracks/save_tracks.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

using qvbench::RunQuiet;

class WriteAlways final : public audio::IAudioSaveServices {
public:
    int ConfirmOverwrite(std::u16string_view) override { return 0; }
    void ReportExtractError(std::u16string_view) override {}
};

struct Disc {
    std::string folder;
    int tracks = 10;
};

const Disc& Fixture() {
    static const Disc disc = [] {
        Disc d;
        d.folder = qvbench::MakeBenchFolder();
        qvbench::WriteAudioDisc(d.folder, d.tracks, "whitenoise vol 0.3");
        return d;
    }();
    return disc;
}

double Ours(const Disc& d) {
    const std::string out = d.folder + "/ours";
    fs::remove_all(out);
    fs::create_directories(out);
    image::TrackListPtr list = image::ParseCueSheet(platform::Utf8ToUtf16(d.folder + "/disc.cue"));
    auto ctx = std::make_unique<image::ImageContext>();
    ctx->imagePath = platform::Utf8ToUtf16(d.folder + "/disc.bin");
    ctx->imageHandle.reset(platform::FileOpenUtf8(d.folder + "/disc.bin", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->trackList = list.release();
    return qvbench::Seconds([&] {
        for (int32_t j = 0; j < ctx->trackList->trackCount; ++j)
            audio::SaveTrackAsMusicFile(nullptr, *ctx, j, platform::Utf8ToUtf16(out), audio::kAudioWav);
    });
}

double Bchunk(const Disc& d) {
    const std::string out = d.folder + "/bchunk";
    fs::remove_all(out);
    fs::create_directories(out);
    return qvbench::Seconds(
        [&] { RunQuiet("cd " + out + " && bchunk -w ../disc.bin ../disc.cue t >/dev/null 2>&1"); });
}

void SaveTracksBesideBchunk(benchmark::State& state) {
    const Disc& d = Fixture();
    WriteAlways services;
    audio::SetAudioSaveServices(&services);
    foundation::WriteSettingString(u"AudioFileNameFormat", u"|#-|t");
    std::vector<double> ours, peer;
    for (auto _ : state) {
        ours.push_back(Ours(d));
        peer.push_back(Bchunk(d));
    }
    audio::SetAudioSaveServices(nullptr);
    const double o = qvbench::Median(ours), b = qvbench::Median(peer);
    state.counters["ours_s"] = o;
    state.counters["bchunk_s"] = b;
    state.counters["ratio"] = b > 0 ? o / b : 0;
    qvbench::TableRow("save 10 min of tracks as WAV", o, "bchunk -w", b, 1.0);
    fs::remove_all(d.folder);
}

BENCHMARK(SaveTracksBesideBchunk)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
