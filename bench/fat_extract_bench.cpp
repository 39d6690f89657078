// Extracting every file of a FAT32 volume (one large file and many small
// ones in 100 folders, written by mcopy here) through our reader, timed in
// the same run as "mcopy -s" copying the same volume out. The counters give
// each time and our ratio to mcopy, each the median of the runs (goal: at
// most 1.0). QV_BENCH_FAT_MB sets the large file's size (default 1024) and
// QV_BENCH_FAT_FILES the count of small files (default 20000).

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

#include "filesystems/fat/fat_volume.h"
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

int EnvInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

const char* kMtools = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";

struct BenchVolume {
    std::filesystem::path dir;
    std::string image;
    BenchVolume() {
        dir = qvbench::MakeBenchFolder();
        const int mb = EnvInt("QV_BENCH_FAT_MB", 1024);
        const int files = EnvInt("QV_BENCH_FAT_FILES", 20000);
        const std::filesystem::path tree = dir / "tree";
        for (int i = 0; i < files; ++i) {
            const std::filesystem::path folder = tree / ("folder " + std::to_string(i % 100));
            std::filesystem::create_directories(folder);
            std::ofstream(folder / ("small file " + std::to_string(i) + ".txt")) << std::string(1000 + i % 3000, 'x');
        }
        image = (dir / "v.img").string();
        const uint64_t kib = uint64_t(mb) * 1024 + uint64_t(files) * 8 + 200 * 1024;
        const std::string cmd = "cd '" + dir.string() + "' && head -c " + std::to_string(mb) + "M /dev/urandom > big.bin && " +
                                "mkfs.fat -C -F 32 -s 8 v.img " + std::to_string(kib) + " >/dev/null && " + kMtools +
                                "mcopy -s -i v.img big.bin tree ::/ && rm -rf big.bin tree";
        if (std::system(cmd.c_str()) != 0) image.clear();
        sync();
    }
    ~BenchVolume() { std::filesystem::remove_all(dir); }
};

// Mounts the volume and writes every file below dest, in the pieces the
// extraction reads.
void Extract(const std::string& image, const std::filesystem::path& dest) {
    image::DocumentPtr ctx(new image::ImageContext);
    ctx->imagePath = platform::Utf8ToUtf16(image);
    ctx->imageHandle.reset(foundation::OpenFileForRead(ctx->imagePath));
    if (filesystems::MountFat(*ctx) != 1) return;
    constexpr uint32_t kPiece = 1 << 20;
    std::vector<uint8_t> buffer(kPiece);
    struct Pending {
        const image::ImageFolder* folder;
        std::filesystem::path path;
    };
    std::vector<Pending> work{{ctx->rootFolder, dest}};
    while (!work.empty()) {
        Pending current = work.back();
        work.pop_back();
        std::filesystem::create_directories(current.path);
        for (const image::ImageItem* item = current.folder->firstItem; item; item = item->next) {
            const std::filesystem::path path = current.path / platform::Utf16ToUtf8(item->name);
            if (image::IsFolderItem(item)) {
                if (item->ownFolder) work.push_back({item->ownFolder, path});
                continue;
            }
            const foundation::UniqueFile out(foundation::CreateNewFile(platform::Utf8ToUtf16(path.string())));
            for (uint64_t at = 0; at < uint64_t(item->size); at += kPiece) {
                const uint32_t want = uint32_t(std::min<uint64_t>(kPiece, uint64_t(item->size) - at));
                const uint32_t got = filesystems::ReadFatFileData(*ctx, item, buffer.data(), uint32_t(at / 512), want);
                foundation::WriteFileAt(out.get(), buffer.data(), at, got);
                if (got != want) break;
            }
        }
    }
}

void BM_ExtractFat32Volume(benchmark::State& state) {
    static BenchVolume volume;
    if (volume.image.empty()) {
        state.SkipWithError("mkfs.fat or mcopy failed");
        return;
    }
    std::vector<double> ours, mcopy;
    int round = 0;
    for (auto _ : state) {
        // Nothing is deleted between the runs, and the two sides take turns
        // to go first: ext4 makes a file slower to create right after many
        // were deleted, which would bill one side for the other's clean-up.
        const std::string n = std::to_string(round);
        const std::filesystem::path mine = volume.dir / ("ours" + n);
        const std::filesystem::path theirs = volume.dir / ("theirs" + n);
        std::filesystem::create_directories(theirs);
        const auto runOurs = [&] { ours.push_back(Seconds([&] { Extract(volume.image, mine); })); };
        const auto runMcopy = [&] {
            mcopy.push_back(Seconds([&] {
                RunQuiet(std::string(kMtools) + "mcopy -s -n -i '" + volume.image + "' '::/*' '" + theirs.string() + "'");
            }));
        };
        if (round % 2 == 0) {
            runOurs();
            runMcopy();
        } else {
            runMcopy();
            runOurs();
        }
        state.SetIterationTime(ours.back());
        sync();
        ++round;
    }
    for (int i = 0; i < round; ++i) {
        std::filesystem::remove_all(volume.dir / ("ours" + std::to_string(i)));
        std::filesystem::remove_all(volume.dir / ("theirs" + std::to_string(i)));
    }
    state.counters["ours_s"] = Median(ours);
    state.counters["mcopy_s"] = Median(mcopy);
    state.counters["ratio"] = Median(ours) / Median(mcopy);
    qvbench::TableRow("FAT32 extract", Median(ours), "mcopy -s", Median(mcopy), 1.0);
}
BENCHMARK(BM_ExtractFat32Volume)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
