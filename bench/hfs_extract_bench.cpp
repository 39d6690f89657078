// Extracting every file of an HFS+ volume holding 1 GiB of files (xorriso's
// HFS+ side of a hybrid disc, cut out at its partition) into a folder, timed
// in the same run as "7z x -thfs" on the same volume. The counters give each
// time and our ratio to 7z, each the median of the runs (goal: at most 1.0).
// QV_BENCH_HFS_MB shrinks the volume's data.

#include "bench/bench_support.h"
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filesystems/filesystem_readers.h"
#include "filesystems/hfs/hfs_volume.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

namespace {

using qvbench::Median;
using qvbench::RunQuiet;
using qvbench::Seconds;


uint64_t DataBytes() {
    const char* mb = std::getenv("QV_BENCH_HFS_MB");
    return (mb && *mb ? std::strtoull(mb, nullptr, 10) : 1024) << 20;
}

struct BenchVolume {
    std::filesystem::path dir;
    std::string image;
    BenchVolume() {
        dir = qvbench::MakeBenchFolder();
        const std::filesystem::path tree = dir / "tree";
        qvbench::MakeMixedTree(tree, DataBytes());
        // The HFS+ partition of the hybrid, from its start to the image's end.
        const std::string hybrid = (dir / "hybrid.iso").string();
        image = (dir / "volume.hfs").string();
        const std::string make = "xorriso -as mkisofs -quiet -hfsplus -o '" + hybrid + "' '" + tree.string() +
                                 "' >/dev/null 2>&1 && start=$(mmls '" + hybrid +
                                 "' | awk '/Apple_HFS/ {print $3+0}') && dd if='" + hybrid + "' of='" + image +
                                 "' bs=512 skip=$start status=none && rm '" + hybrid + "'";
        if (std::system(make.c_str()) != 0) image.clear();
        std::filesystem::remove_all(tree);
        sync();
    }
    ~BenchVolume() { std::filesystem::remove_all(dir); }
};

// Opens the volume and writes every file below out; the bytes written.
uint64_t OpenAndExtract(const std::string& imagePath, const std::filesystem::path& out) {
    const std::u16string wide = platform::Utf8ToUtf16(imagePath);
    int code = 0;
    image::DocumentPtr doc(image::OpenImageDocument(wide, u"", foundation::OpenFileForRead(wide), true, 2, &code));
    if (!doc || !doc->hfsPlusVolume) return 0;
    uint64_t bytes = 0;
    std::vector<uint8_t> buffer(1 << 20);
    std::vector<std::pair<const image::ImageFolder*, std::filesystem::path>> work{{doc->rootFolder, out}};
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
            if (!file) continue;
            for (uint64_t at = 0; at < uint64_t(item->size);) {
                const uint64_t n = std::min<uint64_t>(buffer.size(), uint64_t(item->size) - at);
                if (filesystems::ReadHfsItemBytes(*doc, *item, at, buffer.data(), n) != int64_t(n)) break;
                foundation::WriteFileAt(file.get(), buffer.data(), foundation::kCurrentPosition, size_t(n));
                at += n;
                bytes += n;
            }
        }
    }
    return bytes;
}

void BM_ExtractHfsPlusVolume(benchmark::State& state) {
    static BenchVolume volume;
    if (volume.image.empty()) {
        state.SkipWithError("xorriso failed");
        return;
    }
    filesystems::InstallFilesystemReaders();
    std::vector<double> ours, sevenZip;
    uint64_t bytes = 0;
    const std::filesystem::path out = volume.dir / "out";
    for (auto _ : state) {
        std::filesystem::remove_all(out);
        sync();
        const double t = Seconds([&] { bytes = OpenAndExtract(volume.image, out); });
        state.SetIterationTime(t);
        ours.push_back(t);
        std::filesystem::remove_all(out);
        sync();
        sevenZip.push_back(Seconds([&] {
            RunQuiet("7z x -thfs -y -o'" + out.string() + "' '" + volume.image + "' >/dev/null 2>&1");
        }));
    }
    std::filesystem::remove_all(out);
    filesystems::UninstallFilesystemReaders();
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ours_s"] = Median(ours);
    state.counters["7z_s"] = Median(sevenZip);
    state.counters["ratio"] = Median(ours) / Median(sevenZip);
    qvbench::TableRow("HFS+ extract 1 GiB", Median(ours), "7z x", Median(sevenZip), 1.0);
}
BENCHMARK(BM_ExtractHfsPlusVolume)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
