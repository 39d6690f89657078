// The NTFS reader beside sleuthkit and ntfs-3g on the same volumes, in one
// run (medians of the runs; ratio = ours / the faster peer, goal below 1):
// - mounting a volume of 20,000 files in 200 folders and walking its tree,
//   against "fls -r -p" (goal: at most 0.5);
// - extracting every file of a volume of large files (1 GiB in all;
//   QV_BENCH_NTFS_MB shrinks it) to /dev/null, against icat and ntfscat
//   run once per file.
// The volumes are made by mkntfs and filled by wimlib-imagex apply.

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

#include "filesystems/ntfs/ntfs_volume.h"
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

// A volume made from a source tree that make() fills; removed at exit.
struct BenchVolume {
    std::filesystem::path dir;
    std::string image;
    BenchVolume(const std::function<void(const std::filesystem::path&)>& make, uint64_t volumeMb) {
        dir = qvbench::MakeBenchFolder();
        make(dir / "src");
        image = (dir / "v.img").string();
        const std::string d = "'" + dir.string() + "'";
        const std::string cmd = "cd " + d + " && wimlib-imagex capture src x.wim >/dev/null && truncate -s " +
                                std::to_string(volumeMb) + "M v.img && mkntfs -q -F -Q -c 4096 v.img 2>/dev/null && "
                                "wimlib-imagex apply x.wim 1 v.img >/dev/null && rm -rf src x.wim";
        if (std::system(cmd.c_str()) != 0) image.clear();
        sync();
    }
    ~BenchVolume() { std::filesystem::remove_all(dir); }
};

image::DocumentPtr Mount(const std::string& path) {
    image::DocumentPtr doc(std::make_unique<image::ImageContext>().release());
    doc->imageHandle.reset(foundation::OpenFileForRead(platform::Utf8ToUtf16(path)));
    doc->partitionSectors = static_cast<int32_t>(foundation::GetFileSize64(doc->imageHandle.get()) / 512);
    if (image::CreateRootFolder(doc.get()) != 0) return nullptr;
    doc->ownsTree = 1;
    if (filesystems::MountNtfs(*doc) != 1) return nullptr;
    return doc;
}

std::vector<const image::ImageItem*> Files(const image::ImageContext& ctx, size_t* items) {
    std::vector<const image::ImageItem*> files;
    std::vector<const image::ImageFolder*> work{ctx.rootFolder};
    while (!work.empty()) {
        const image::ImageFolder* folder = work.back();
        work.pop_back();
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            ++*items;
            if (item->ownFolder) {
                work.push_back(item->ownFolder);
            } else {
                files.push_back(item);
            }
        }
    }
    return files;
}

void BM_MountNtfsOf20000Files(benchmark::State& state) {
    static BenchVolume volume(
        [](const std::filesystem::path& src) {
            for (int f = 0; f < 200; ++f) {
                const std::filesystem::path folder = src / ("folder " + std::to_string(f));
                std::filesystem::create_directories(folder);
                for (int i = 0; i < 100; ++i) std::ofstream(folder / ("file number " + std::to_string(i) + ".txt")) << i;
            }
        },
        256);
    if (volume.image.empty()) {
        state.SkipWithError("making the volume failed");
        return;
    }
    std::vector<double> ours, fls;
    size_t items = 0;
    for (auto _ : state) {
        image::DocumentPtr doc;
        const double t = Seconds([&] {
            doc = Mount(volume.image);
            items = 0;
            if (doc) Files(*doc, &items);
        });
        doc.reset();
        state.SetIterationTime(t);
        ours.push_back(t);
        fls.push_back(Seconds([&] { RunQuiet("fls -r -p '" + volume.image + "' >/dev/null"); }));
    }
    state.counters["items"] = static_cast<double>(items);
    state.counters["ours_s"] = Median(ours);
    state.counters["fls_s"] = Median(fls);
    state.counters["ratio"] = Median(ours) / Median(fls);
    qvbench::TableRow("NTFS mount 20,000 files", Median(ours), "fls -r -p", Median(fls), 0.5);
}
BENCHMARK(BM_MountNtfsOf20000Files)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ExtractNtfsLargeFiles(benchmark::State& state) {
    const char* mbText = std::getenv("QV_BENCH_NTFS_MB");
    static const uint64_t totalMb = mbText && std::atoi(mbText) > 0 ? uint64_t(std::atoi(mbText)) : 1024;
    static BenchVolume volume(
        [](const std::filesystem::path& src) {
            std::filesystem::create_directories(src);
            const uint64_t files = std::max<uint64_t>(1, totalMb / 64);
            for (uint64_t i = 0; i < files; ++i) {
                RunQuiet("head -c " + std::to_string(totalMb / files) + "M /dev/urandom > '" +
                         (src / ("file" + std::to_string(i) + ".bin")).string() + "'");
            }
        },
        totalMb + totalMb / 4 + 64);
    if (volume.image.empty()) {
        state.SkipWithError("making the volume failed");
        return;
    }
    image::DocumentPtr doc = Mount(volume.image);
    if (!doc) {
        state.SkipWithError("mount failed");
        return;
    }
    size_t items = 0;
    const std::vector<const image::ImageItem*> files = Files(*doc, &items);
    std::vector<double> ours, icat, ntfscat;
    int failed = 0;
    for (auto _ : state) {
        const double t = Seconds([&] {
            foundation::UniqueFile out(foundation::OpenFileReadWrite(u"/dev/null"));
            for (const image::ImageItem* item : files) {
                if (filesystems::ExtractNtfsFile(nullptr, *doc, *item, u"", out.get()) != 1) ++failed;
            }
        });
        state.SetIterationTime(t);
        ours.push_back(t);
        icat.push_back(Seconds([&] {
            for (const image::ImageItem* item : files) {
                RunQuiet("icat '" + volume.image + "' " + std::to_string(item->startSector) + " >/dev/null");
            }
        }));
        ntfscat.push_back(Seconds([&] {
            for (const image::ImageItem* item : files) {
                RunQuiet("ntfscat -f '" + volume.image + "' '/" + platform::Utf16ToUtf8(item->name) + "' >/dev/null");
            }
        }));
    }
    if (failed) state.SkipWithError("an extraction failed");
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["MiB"] = static_cast<double>(totalMb);
    state.counters["ours_s"] = Median(ours);
    state.counters["icat_s"] = Median(icat);
    state.counters["ntfscat_s"] = Median(ntfscat);
    state.counters["ratio"] = Median(ours) / std::min(Median(icat), Median(ntfscat));
    qvbench::TableRow("NTFS extract 1 GiB", Median(ours), "icat", Median(icat), 1.0);
    qvbench::TableRow("NTFS extract 1 GiB", Median(ours), "ntfscat", Median(ntfscat), 1.0);
}
BENCHMARK(BM_ExtractNtfsLargeFiles)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
