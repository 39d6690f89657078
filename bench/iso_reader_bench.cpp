// Opening an image of 100,000 files in 1,000 folders (made by genisoimage
// here) and walking its tree, timed in the same run as "isoinfo -J -f" and
// "7z l" on the same image. The counters give each time and our ratio to the
// faster peer, each the median of the runs (goal: at most 1.0). The same tree
// made with genisoimage -udf is opened through its UDF side beside "7z l -tudf".

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
#include <string>
#include <vector>

#include "filesystems/filesystem_readers.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

extern "C" char** environ;

namespace {

using qvbench::RunQuiet;
using qvbench::Seconds;
using qvbench::Median;

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

struct BenchImage {
    std::filesystem::path dir;
    std::string iso;
    explicit BenchImage(bool udf = false) {
        dir = qvbench::MakeBenchFolder();
        const std::filesystem::path tree = dir / "tree";
        for (int f = 0; f < kFolders; ++f) {
            const std::filesystem::path folder = tree / ("folder " + std::to_string(f));
            std::filesystem::create_directories(folder);
            for (int i = 0; i < kFilesPerFolder; ++i) {
                std::ofstream(folder / ("file number " + std::to_string(i) + ".txt")) << i;
            }
        }
        iso = (dir / "big.iso").string();
        const std::string cmd = "genisoimage -quiet -input-charset utf-8 -J -joliet-long" + std::string(udf ? " -udf" : "") +
                                " -o '" + iso + "' '" +
                                tree.string() + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) iso.clear();
        // The tree and the image just written go to the disk now, not while
        // the runs are timed: the write-back would land on whichever side
        // happened to be running.
        std::filesystem::remove_all(tree);
        sync();
    }
    ~BenchImage() { std::filesystem::remove_all(dir); }
};

// Opens and walks; the document is handed back so that freeing it stays out
// of the time (the peers free nothing, they exit).
size_t OpenAndWalk(const std::string& iso, image::DocumentPtr& doc) {
    const std::u16string path = platform::Utf8ToUtf16(iso);
    int code = -1;
    doc.reset(image::OpenImageDocument(path, u"", foundation::OpenFileForRead(path), true, 2, &code));
    if (!doc) return 0;
    size_t items = 0;
    std::vector<const image::ImageFolder*> work{doc->rootFolder};
    while (!work.empty()) {
        const image::ImageFolder* folder = work.back();
        work.pop_back();
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (item->ownFolder && item->ownFolder != folder) work.push_back(item->ownFolder);
        }
    }
    return items;
}

void BM_OpenIsoOf100000Files(benchmark::State& state) {
    static BenchImage image;
    if (image.iso.empty()) {
        state.SkipWithError("genisoimage failed");
        return;
    }
    const std::string quoted = "'" + image.iso + "'";
    std::vector<double> ours, isoinfo, sevenZip;
    size_t items = 0;
    // One untimed open first: the program opens images in a running process,
    // whose heap has already grown.
    {
        image::DocumentPtr warm;
        items = OpenAndWalk(image.iso, warm);
    }
    for (auto _ : state) {
        image::DocumentPtr doc;
        const double t = Seconds([&] { items = OpenAndWalk(image.iso, doc); });
        doc.reset();
        state.SetIterationTime(t);
        ours.push_back(t);
        isoinfo.push_back(Seconds([&] { RunQuiet("isoinfo -J -f -i " + quoted + " >/dev/null"); }));
        sevenZip.push_back(Seconds([&] { RunQuiet("7z l " + quoted + " >/dev/null"); }));
    }
    // Medians: one run disturbed by the other work of a shared machine
    // moves neither side.
    state.counters["items"] = static_cast<double>(items);
    state.counters["ours_s"] = Median(ours);
    state.counters["isoinfo_s"] = Median(isoinfo);
    state.counters["7z_s"] = Median(sevenZip);
    state.counters["ratio"] = Median(ours) / std::min(Median(isoinfo), Median(sevenZip));
    qvbench::TableRow("ISO open 100,000 files", Median(ours), "isoinfo -J -f", Median(isoinfo), 1.0);
    qvbench::TableRow("ISO open 100,000 files", Median(ours), "7z l", Median(sevenZip), 1.0);
}
BENCHMARK(BM_OpenIsoOf100000Files)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

void BM_OpenUdfOf100000Files(benchmark::State& state) {
    filesystems::InstallFilesystemReaders();
    static BenchImage image(true);
    if (image.iso.empty()) {
        state.SkipWithError("genisoimage failed");
        return;
    }
    const std::string quoted = "'" + image.iso + "'";
    std::vector<double> ours, sevenZip;
    size_t items = 0;
    {
        image::DocumentPtr warm;
        items = OpenAndWalk(image.iso, warm);
        if (!warm || !warm->udfPresent) state.SkipWithError("the UDF side did not open");
    }
    for (auto _ : state) {
        image::DocumentPtr doc;
        const double t = Seconds([&] { items = OpenAndWalk(image.iso, doc); });
        doc.reset();
        state.SetIterationTime(t);
        ours.push_back(t);
        sevenZip.push_back(Seconds([&] { RunQuiet("7z l -tudf " + quoted + " >/dev/null"); }));
    }
    state.counters["items"] = static_cast<double>(items);
    state.counters["ours_s"] = Median(ours);
    state.counters["7z_s"] = Median(sevenZip);
    state.counters["ratio"] = Median(ours) / Median(sevenZip);
    qvbench::TableRow("UDF open 100,000 files", Median(ours), "7z l -tudf", Median(sevenZip), 1.0);
}
BENCHMARK(BM_OpenUdfOf100000Files)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
