// Extracting a whole image of 20,000 files and about 1 GB (made by
// genisoimage here) with the extraction job, timed in the same run as "7z x"
// and "bsdtar -xf" on the same image into an empty folder on the same disk.
// The counters give each median time and our ratio to each peer (goals: at
// most 0.8 of 7z, at most 1.0 of bsdtar). QV_BENCH_FILES and QV_BENCH_MB
// shrink the tree; QV_BENCH_OUT names the folder the three write into (by
// default the image's own folder; a tmpfs folder measures the work of each
// side without the disk).

#include "bench/bench_support.h"
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/extract_job.h"
#include "foundation/file_io.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

extern "C" char** environ;

namespace fs = std::filesystem;

namespace {

using qvbench::RunQuiet;
using qvbench::Seconds;
using qvbench::Median;

size_t EnvNumber(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? size_t(std::strtoull(v, nullptr, 10)) : fallback;
}

struct BenchImage {
    fs::path dir;
    std::string iso;
    BenchImage() {
        const size_t files = EnvNumber("QV_BENCH_FILES", 20000);
        const uint64_t totalBytes = uint64_t(EnvNumber("QV_BENCH_MB", 1000)) << 20;
        dir = qvbench::MakeBenchFolder();
        const fs::path tree = dir / "tree";
        std::mt19937_64 random(42);
        std::vector<char> block(1 << 20);
        for (auto& c : block) c = char(random());
        const uint64_t average = totalBytes / std::max<size_t>(files, 1);
        for (size_t i = 0; i < files; ++i) {
            const fs::path folder = tree / ("d" + std::to_string(i % 200)) / ("e" + std::to_string(i % 7));
            fs::create_directories(folder);
            std::ofstream out(folder / ("file_with_a_longer_name_" + std::to_string(i) + ".dat"), std::ios::binary);
            const uint64_t size = random() % (2 * average + 1);
            uint64_t offset = random() % block.size();
            for (uint64_t done = 0; done < size;) {
                const size_t n = size_t(std::min<uint64_t>(size - done, block.size() - offset));
                out.write(block.data() + offset, std::streamsize(n));
                done += n;
                offset = 0;
            }
        }
        iso = (dir / "big.iso").string();
        const std::string cmd = "genisoimage -quiet -input-charset utf-8 -J -joliet-long -o '" + iso + "' '" +
                                tree.string() + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) iso.clear();
        fs::remove_all(tree);
        sync();
    }
    ~BenchImage() { fs::remove_all(dir); }
};

bool ExtractOurs(const std::string& iso, const fs::path& out) {
    const std::u16string path = platform::Utf8ToUtf16(iso);
    int code = -1;
    image::DocumentPtr doc(image::OpenImageDocument(path, u"", foundation::OpenFileForRead(path), true, 2, &code));
    if (!doc) return false;
    app::CExtractJob job(doc.get(), platform::Utf8ToUtf16(out.string()), doc->rootFolder);
    for (image::ImageItem* item = doc->rootFolder->firstItem; item; item = item->next) {
        if (image::IsDotOrDotDot(item)) continue;
        if (image::IsFolderItem(item)) job.AddFolder(item);
        else job.AddFile(item);
    }
    return job.Run(nullptr) == 1;
}

void BM_ExtractIsoOf20000Files(benchmark::State& state) {
    static BenchImage image;
    if (image.iso.empty()) {
        state.SkipWithError("genisoimage failed");
        return;
    }
    const std::string quoted = "'" + image.iso + "'";
    std::vector<double> ours, sevenZip, bsdtar;
    int run = 0;
    // Each side writes into a fresh folder, removed (and synced) outside the time.
    auto fresh = [&](const char* side) {
        const char* base = std::getenv("QV_BENCH_OUT");
        const fs::path out = (base && *base ? fs::path(base) : image.dir) / (std::string(side) + std::to_string(run));
        fs::remove_all(out);
        return out;
    };
    auto settle = [&](const fs::path& out) {
        fs::remove_all(out);
        sync();
    };
    bool ok = true;
    for (auto _ : state) {
        ++run;
        fs::path out = fresh("ours");
        const double t = Seconds([&] { ok = ExtractOurs(image.iso, out) && ok; });
        state.SetIterationTime(t);
        ours.push_back(t);
        settle(out);
        out = fresh("7z");
        sevenZip.push_back(Seconds([&] { RunQuiet("7z x -bd -y -o'" + out.string() + "' " + quoted + " >/dev/null"); }));
        settle(out);
        out = fresh("bsdtar");
        fs::create_directories(out);
        bsdtar.push_back(Seconds([&] { RunQuiet("bsdtar -xf " + quoted + " -C '" + out.string() + "'"); }));
        settle(out);
    }
    if (!ok) state.SkipWithError("extraction failed");
    state.counters["ours_s"] = Median(ours);
    state.counters["7z_s"] = Median(sevenZip);
    state.counters["bsdtar_s"] = Median(bsdtar);
    state.counters["ratio_7z"] = Median(ours) / Median(sevenZip);
    state.counters["ratio_bsdtar"] = Median(ours) / Median(bsdtar);
    qvbench::TableRow("ISO extract 20,000 files", Median(ours), "7z x", Median(sevenZip), 0.8);
    qvbench::TableRow("ISO extract 20,000 files", Median(ours), "bsdtar -xf", Median(bsdtar), 1.0);
}
BENCHMARK(BM_ExtractIsoOf20000Files)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
