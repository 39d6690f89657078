// Extracting every file of an ext2 volume holding 1 GiB of files (made by
// mke2fs -d, 4 KiB blocks) into a folder, timed in the same run as
// "debugfs -R 'rdump / DIR'" on the same volume. The counters give each time
// and our ratio to debugfs, each the median of the runs (goal: at most 1.0).
// QV_BENCH_EXT2_MB shrinks the volume's data.

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

#include "filesystems/ext2/ext2_volume.h"
#include "foundation/file_io.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

extern "C" char** environ;

namespace {

using qvbench::RunQuiet;
using qvbench::Seconds;
using qvbench::Median;


uint64_t DataBytes() {
    const char* mb = std::getenv("QV_BENCH_EXT2_MB");
    return (mb && *mb ? std::strtoull(mb, nullptr, 10) : 1024) << 20;
}

struct BenchVolume {
    std::filesystem::path dir;
    std::string image;
    BenchVolume() {
        dir = qvbench::MakeBenchFolder();
        const std::filesystem::path tree = dir / "tree";
        qvbench::MakeMixedTree(tree, DataBytes());
        image = (dir / "volume.img").string();
        const std::string size = std::to_string(DataBytes() / (1 << 20) * 11 / 10 + 64) + "M";
        if (std::system(("mke2fs -q -F -t ext2 -b 4096 -d '" + tree.string() + "' '" + image + "' " + size).c_str()) != 0) {
            image.clear();
        }
        std::filesystem::remove_all(tree);
        sync();
    }
    ~BenchVolume() { std::filesystem::remove_all(dir); }
};

// Mounts and writes every file below out; the bytes written.
uint64_t MountAndExtract(const std::string& imagePath, const std::filesystem::path& out) {
    image::ImageContext ctx;
    ctx.ownsTree = 1;
    ctx.imageHandle.reset(foundation::OpenFileForRead(platform::Utf8ToUtf16(imagePath)));
    if (!ctx.imageHandle || filesystems::MountExt2(ctx) != 1) return 0;
    uint64_t bytes = 0;
    std::vector<std::pair<const image::ImageFolder*, std::filesystem::path>> work{{ctx.rootFolder, out}};
    while (!work.empty()) {
        const auto [folder, path] = work.back();
        work.pop_back();
        std::filesystem::create_directories(path);
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            const std::filesystem::path target = path / platform::Utf16ToUtf8(item->name.view());
            if (image::IsFolderItem(item)) {
                work.push_back({item->ownFolder, target});
                continue;
            }
            foundation::UniqueFile file(foundation::CreateNewFile(platform::Utf8ToUtf16(target.string())));
            if (file && filesystems::ExtractExt2File(nullptr, ctx, *item, u"", file.get()) == 1) bytes += item->size;
        }
    }
    return bytes;
}

void BM_ExtractExt2Volume(benchmark::State& state) {
    static BenchVolume volume;
    if (volume.image.empty()) {
        state.SkipWithError("mke2fs failed");
        return;
    }
    std::vector<double> ours, debugfs;
    uint64_t bytes = 0;
    const std::filesystem::path out = volume.dir / "out";
    for (auto _ : state) {
        std::filesystem::remove_all(out);
        sync();
        const double t = Seconds([&] { bytes = MountAndExtract(volume.image, out); });
        state.SetIterationTime(t);
        ours.push_back(t);
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        sync();
        debugfs.push_back(Seconds([&] {
            RunQuiet("debugfs -R 'rdump / " + out.string() + "' '" + volume.image + "' >/dev/null 2>&1");
        }));
    }
    std::filesystem::remove_all(out);
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ours_s"] = Median(ours);
    state.counters["debugfs_s"] = Median(debugfs);
    state.counters["ratio"] = Median(ours) / Median(debugfs);
    qvbench::TableRow("ext2 extract 1 GiB", Median(ours), "debugfs rdump", Median(debugfs), 1.0);
}
BENCHMARK(BM_ExtractExt2Volume)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
