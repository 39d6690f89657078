// Compressing an image into DAA chunks (1 GiB by default; QV_BENCH_DAA_MB
// changes it) through the sector writer and the DAA writer, on every core and
// on one thread, timed in the same run as the peers on
// the same file: level 0 (deflate variant) against "gzip -6", levels 1 and 2
// (the smaller of deflate and LZMA86 per chunk) against "xz -T4 -5". The
// counters give both times and sizes and their ratios. The data mixes text,
// runs of few byte values and random bytes, as a disc of files does.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "containers/container_readers.h"
#include "containers/daa/daa_container.h"
#include "foundation/file_io.h"
#include "image/document/image_context.h"
#include "image/sectors/container_services.h"
#include "image/sectors/sector_writers.h"
#include "platform/text.h"

namespace {

using qvbench::Median;
using qvbench::RunQuiet;
using qvbench::Seconds;

uint64_t ImageMiB() {
    const char* text = std::getenv("QV_BENCH_DAA_MB");
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? uint64_t(value) : 1024;
}

struct BenchImage {
    std::filesystem::path dir;
    std::string raw;
    bool ok = false;
    BenchImage() {
        dir = qvbench::MakeBenchFolder();
        raw = (dir / "d.iso").string();
        const int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) return;
        std::vector<uint8_t> block(1 << 20);
        std::mt19937 random(3);
        for (uint64_t m = 0; m < ImageMiB(); ++m) {
            const int kind = int(m % 4);
            for (size_t i = 0; i < block.size(); ++i) {
                if (kind == 0) block[i] = uint8_t(random());
                else if (kind == 1) block[i] = uint8_t("the quick brown fox jumps over a lazy dog\n"[(i * 7 + m) % 42]);
                else block[i] = uint8_t(random() % (kind == 2 ? 6 : 40));
            }
            if (::pwrite(fd, block.data(), block.size(), off_t(m << 20)) != ssize_t(block.size())) return;
        }
        ::close(fd);
        sync();
        ok = true;
    }
    ~BenchImage() { std::filesystem::remove_all(dir); }
};

BenchImage& Fixture() {
    static BenchImage image;
    return image;
}

// The whole file through the sector writer (chunks compressed on `threads`
// threads, 0 for every core) into out.daa; its size.
uint64_t WriteDaa(const std::string& raw, const std::string& out, int32_t level, uint32_t threads) {
    containers::InstallContainerReaders();
    image::SetChunkCompressionThreads(threads);
    image::ImageContext ctx;
    ctx.compressionLevel = level;
    ctx.outputFormat = image::format_code::kDaa;
    ctx.sectorCount = int32_t(std::filesystem::file_size(raw) / 2048);
    ctx.outputHandle.reset(foundation::CreateNewFile(platform::Utf8ToUtf16(out)));
    foundation::UniqueFile in(foundation::OpenFileForRead(platform::Utf8ToUtf16(raw)));
    if (!ctx.outputHandle || !in) return 0;
    constexpr int32_t kPiece = 512;
    std::vector<uint8_t> piece(size_t(kPiece) * 2048);
    for (int32_t first = 0; first < ctx.sectorCount; first += kPiece) {
        const int32_t n = std::min(kPiece, ctx.sectorCount - first);
        if (!foundation::ReadFileAt(in.get(), piece.data(), uint64_t(first) * 2048, size_t(n) * 2048)) return 0;
        if (image::WriteDaaSectors(ctx, first, piece.data(), n, {}) != n) return 0;
    }
    containers::DaaWriterFamily().Free(ctx);
    ctx.outputHandle.reset();
    image::SetChunkCompressionThreads(0);
    return std::filesystem::file_size(out);
}

void BM_WriteDaa(benchmark::State& state, int32_t level, const char* peer, const char* peerName) {
    BenchImage& f = Fixture();
    if (!f.ok) {
        state.SkipWithError("the image could not be made");
        return;
    }
    const std::string out = (f.dir / "out.daa").string();
    const std::string peerOut = (f.dir / "peer.out").string();
    std::vector<double> ours, oneThread, theirs;
    uint64_t size = 0;
    for (auto _ : state) {
        const double t = Seconds([&] { size = WriteDaa(f.raw, out, level, 0); });
        state.SetIterationTime(t);
        ours.push_back(t);
        oneThread.push_back(Seconds([&] { WriteDaa(f.raw, out, level, 1); }));
        theirs.push_back(Seconds([&] { RunQuiet(std::string(peer) + " -c '" + f.raw + "' > '" + peerOut + "'"); }));
    }
    const double peerSize = double(std::filesystem::file_size(peerOut));
    state.counters["ours_s"] = Median(ours);
    state.counters["one_thread_s"] = Median(oneThread);
    state.counters[std::string(peerName) + "_s"] = Median(theirs);
    state.counters["time_ratio"] = Median(ours) / Median(theirs);
    state.counters["size_ratio"] = double(size) / peerSize;
    qvbench::TableRow(std::string("DAA write level ") + std::to_string(level), Median(ours), peer, Median(theirs), 1.0);
}
BENCHMARK_CAPTURE(BM_WriteDaa, level0_vs_gzip6, 0, "gzip -6", "gzip")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteDaa, level1_vs_xz5, 1, "xz -T4 -5", "xz")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteDaa, level2_vs_xz5, 2, "xz -T4 -5", "xz")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
