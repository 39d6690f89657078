// Extracting a WIM (LZX and XPRESS) beside "wimlib-imagex apply" of the same
// file, both to tmpfs (/dev/shm) in one run: a 75 MB file of mixed program
// and text bytes, and a tree of 5,000 small files. Our extraction runs on one
// thread and with its chunks decoded on every core. Counters give each time
// (median of three runs) and our ratio to wimlib's (goals: one thread at most
// 0.8, every core at most 0.5). QV_BENCH_MB changes the big file's size.

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
#include <string>
#include <vector>

#include "filesystems/wim/wim_archive.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

extern "C" char** environ;

namespace {

using qvbench::RunQuiet;
using qvbench::Seconds;

namespace fs = std::filesystem;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Fixture {
    fs::path dir;
    fs::path out;
    Fixture() {
        dir = qvbench::MakeBenchFolder();
        // Written to memory (bench/run names a folder of /dev/shm of its own).
        const char* shm = std::getenv("QV_BENCH_SHM");
        const std::string made = qvbench::MakeBenchFolder(shm && *shm ? shm : "/dev/shm");
        out = made.empty() ? dir / "out" : fs::path(made);
        const char* mb = std::getenv("QV_BENCH_MB");
        const long megabytes = mb && *mb ? std::atol(mb) : 75;
        const std::string d = "'" + dir.string() + "'";
        // Program bytes and text, as an installation image holds them.
        RunQuiet("mkdir -p " + d + "/big " + d + "/small && cd " + d +
                 " && { for f in /usr/bin/* /usr/lib/x86_64-linux-gnu/*.so*; do cat \"$f\"; seq 1 3000; done; }"
                 " 2>/dev/null | head -c " + std::to_string(megabytes) + "M > big/file" +
                 " && for i in $(seq 1 50); do mkdir -p small/d$i; for j in $(seq 1 100); do" +
                 " seq $i $j 4000 > small/d$i/f$j; done; done");
        for (const char* kind : {"LZX", "XPRESS"})
            for (const char* tree : {"big", "small"})
                RunQuiet("cd " + d + " && wimlib-imagex capture " + tree + " " + tree + "_" + kind +
                         ".wim x --compress=" + kind + " >/dev/null");
        sync();
    }
    ~Fixture() {
        fs::remove_all(dir);
        fs::remove_all(out);
    }
};

Fixture& TheFixture() {
    static Fixture f;
    return f;
}

// Every file of the document extracted below dest.
void ExtractAll(image::ImageContext& doc, const fs::path& dest) {
    struct Pending {
        const image::ImageFolder* folder;
        fs::path path;
    };
    std::vector<Pending> work{{doc.rootFolder, dest}};
    fs::create_directories(dest);
    while (!work.empty()) {
        Pending p = work.back();
        work.pop_back();
        for (const image::ImageItem* item = p.folder->firstItem; item; item = item->next) {
            const fs::path path = p.path / platform::Utf16ToUtf8(item->name.view());
            if (image::IsFolderItem(item)) {
                fs::create_directories(path);
                if (item->ownFolder) work.push_back({item->ownFolder, path});
                continue;
            }
            foundation::UniqueFile file(foundation::CreateNewFile(platform::Utf8ToUtf16(path.string())));
            if (!file || filesystems::ExtractWimFile(nullptr, &doc, item, file.get()) != 1) std::abort();
        }
    }
}

double Ours(const std::string& wim, const fs::path& dest, uint32_t threads) {
    return Seconds([&] {
        foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(wim)));
        int code = 0;
        image::DocumentPtr doc(filesystems::OpenWimArchive(platform::Utf8ToUtf16(wim), file.get(), &code));
        if (!doc) std::abort();
        (void)file.release();
        doc->wimState->decodeThreads = threads;
        ExtractAll(*doc, dest);
    });
}

void Compare(benchmark::State& state, const char* tree, const char* kind) {
    Fixture& f = TheFixture();
    const std::string wim = (f.dir / (std::string(tree) + "_" + kind + ".wim")).string();
    std::vector<double> wimlib, single, every;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            fs::remove_all(f.out / "w");
            wimlib.push_back(Seconds([&] {
                RunQuiet("wimlib-imagex apply '" + wim + "' 1 '" + (f.out / "w").string() + "' >/dev/null");
            }));
            fs::remove_all(f.out / "w");
            fs::remove_all(f.out / "o1");
            single.push_back(Ours(wim, f.out / "o1", 1));
            fs::remove_all(f.out / "o1");
            fs::remove_all(f.out / "on");
            every.push_back(Ours(wim, f.out / "on", 0));
            fs::remove_all(f.out / "on");
        }
    }
    state.counters["wimlib_s"] = Median(wimlib);
    state.counters["ours_1thread_s"] = Median(single);
    state.counters["ours_cores_s"] = Median(every);
    state.counters["ratio_1thread"] = Median(single) / Median(wimlib);
    state.counters["ratio_cores"] = Median(every) / Median(wimlib);
    const std::string row = std::string("WIM apply ") + tree + " " + kind;
    qvbench::TableRow(row + " one thread", Median(single), "wimlib-imagex apply", Median(wimlib), 0.8);
    qvbench::TableRow(row + " every core", Median(every), "wimlib-imagex apply", Median(wimlib), 0.8);
}

BENCHMARK_CAPTURE(Compare, big_lzx, "big", "LZX")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, big_xpress, "big", "XPRESS")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, small_lzx, "small", "LZX")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, small_xpress, "small", "XPRESS")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
