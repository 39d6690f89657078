// Archives through the library beside the library's own tool, in one run:
// extracting a 7z and a zip of about 1 GB with the extraction job against
// "7z x" (goal: at most 1.05: the library does the work, ours is the
// overhead), and listing a zip of 100,000 entries into the item tree against
// "7z l" (goal: at most 1.0). QV_BENCH_ARCHIVE_MB and QV_BENCH_ENTRIES shrink
// the inputs; the archives are made here by 7z at level 1.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "bench/bench_support.h"
#include "containers/archive/arc_open.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

using qvbench::RunQuiet;
using qvbench::Seconds;

size_t EnvNumber(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? size_t(std::strtoull(v, nullptr, 10)) : fallback;
}

struct Inputs {
    fs::path dir;
    Inputs() {
        dir = qvbench::MakeBenchFolder();
        if (dir.empty()) return;
        // A few large files, half random and half text-like, and some small ones.
        const uint64_t total = uint64_t(EnvNumber("QV_BENCH_ARCHIVE_MB", 1000)) << 20;
        const fs::path tree = dir / "tree";
        fs::create_directories(tree / "small");
        std::mt19937_64 random(7);
        std::vector<char> block(1 << 20);
        for (int f = 0; f < 8; ++f) {
            std::ofstream out(tree / ("big" + std::to_string(f) + ".bin"), std::ios::binary);
            for (uint64_t done = 0; done < total / 8; done += block.size()) {
                for (size_t i = 0; i < block.size(); ++i) block[i] = f % 2 ? char(random()) : char('a' + (i * 7 + done) % 26);
                out.write(block.data(), std::streamsize(block.size()));
            }
        }
        for (int i = 0; i < 2000; ++i) std::ofstream(tree / "small" / ("s" + std::to_string(i) + ".txt")) << i << "\n";
        const std::string t = "'" + tree.string() + "'";
        RunQuiet("cd " + t + " && 7z a -bd -mx1 ../a.7z . >/dev/null && 7z a -bd -tzip -mx1 ../a.zip . >/dev/null");
        fs::remove_all(tree);
        // Many entries for the listing.
        const fs::path many = dir / "many";
        const size_t entries = EnvNumber("QV_BENCH_ENTRIES", 100000);
        for (size_t i = 0; i < entries; ++i) {
            const fs::path folder = many / ("d" + std::to_string(i % 100));
            if (i < 100) fs::create_directories(folder);
            std::ofstream(folder / ("entry_" + std::to_string(i))) << char('a' + i % 26);
        }
        RunQuiet("cd '" + many.string() + "' && 7z a -bd -tzip -mx0 ../many.zip . >/dev/null");
        fs::remove_all(many);
        sync();
    }
    ~Inputs() {
        if (!dir.empty()) fs::remove_all(dir);
    }
};

Inputs& TheInputs() {
    static Inputs inputs;
    return inputs;
}

bool ExtractOurs(const fs::path& archive, const fs::path& out) {
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(archive.string()), false, true, false));
    if (!doc) return false;
    app::ExtractRequest request;
    request.destination = platform::Utf8ToUtf16(out.string());
    request.allFiles = true;
    return app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr) == 1;
}

void Extract(benchmark::State& state, const char* name) {
    Inputs& in = TheInputs();
    app::InstallReaders();
    const fs::path archive = in.dir / name;
    bool ok = true;
    double ours = 0, peer = 0;
    for (auto _ : state) {
        const fs::path a = in.dir / "ours", b = in.dir / "peer";
        fs::remove_all(a);
        ours = Seconds([&] { ok = ExtractOurs(archive, a) && ok; });
        fs::remove_all(a);
        sync();
        peer = Seconds([&] { RunQuiet("7z x -bd -y -o'" + b.string() + "' '" + archive.string() + "' >/dev/null"); });
        fs::remove_all(b);
        sync();
        state.SetIterationTime(ours);
    }
    if (!ok) state.SkipWithError("extraction failed");
    state.counters["ours_s"] = ours;
    state.counters["7z_s"] = peer;
    state.counters["ratio_7z"] = ours / peer;
    qvbench::TableRow(std::string("archive extract ") + name, ours, "7z x", peer, 1.05);
}

void BM_Extract7z(benchmark::State& state) { Extract(state, "a.7z"); }
void BM_ExtractZip(benchmark::State& state) { Extract(state, "a.zip"); }

void BM_List100000Entries(benchmark::State& state) {
    Inputs& in = TheInputs();
    const fs::path archive = in.dir / "many.zip";
    bool ok = true;
    double ours = 0, peer = 0;
    for (auto _ : state) {
        ours = Seconds([&] {
            int code = -1;
            image::DocumentPtr doc(
                containers::archive::OpenArchiveAsImage(platform::Utf8ToUtf16(archive.string()), false, 0, &code));
            ok = ok && doc;
        });
        peer = Seconds([&] { RunQuiet("7z l -ba '" + archive.string() + "' >/dev/null"); });
        state.SetIterationTime(ours);
    }
    if (!ok) state.SkipWithError("open failed");
    state.counters["ours_s"] = ours;
    state.counters["7z_s"] = peer;
    state.counters["ratio_7z"] = ours / peer;
    qvbench::TableRow("zip list 100,000 entries", ours, "7z l", peer, 1.0);
}

BENCHMARK(BM_Extract7z)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExtractZip)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_List100000Entries)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
