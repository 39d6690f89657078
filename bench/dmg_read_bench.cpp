// Reading a whole zlib DMG (1 GiB of image by default; QV_BENCH_DMG_MB
// changes it) through the chunk engine in 1 MiB reads, timed in the same run
// as "dmg2img" converting the same file; and 64 KiB reads at random places of
// a few chunks, through the decoded-chunk cache and with the cache emptied
// after every read (each read decodes its chunk again). The image is made by
// the tests' fixture writer (hdiutil's 256 KiB chunks) from data that
// compresses about 3:1. Goals: ours / dmg2img at most 1.0; uncached / cached
// at least 5.

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
#include "containers/chunk/chunk_engine.h"
#include "containers/dmg/dmg_reader.h"
#include "image/document/image_context.h"
#include "platform/text.h"

namespace {

using qvbench::Median;
using qvbench::RunQuiet;
using qvbench::Seconds;

uint64_t ImageMiB() {
    const char* text = std::getenv("QV_BENCH_DMG_MB");
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? uint64_t(value) : 1024;
}

// The fixture writer of the tests, found upwards from the program (or under
// QV_SOURCE_DIR).
std::string FixtureScript() {
    const std::string rel = "tests/containers/chunk_fixtures.py";
    if (const char* root = std::getenv("QV_SOURCE_DIR"); root && *root) return std::string(root) + "/" + rel;
    std::error_code ec;
    for (std::filesystem::path dir = std::filesystem::canonical("/proc/self/exe", ec).parent_path();
         !ec && !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (std::filesystem::exists(dir / rel)) return (dir / rel).string();
    }
    return rel;
}

struct BenchDmg {
    std::filesystem::path dir;
    std::string dmg;
    bool ok = false;
    BenchDmg() {
        dir = qvbench::MakeBenchFolder();
        const std::string raw = (dir / "d.img").string();
        dmg = (dir / "d.dmg").string();
        const int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) return;
        std::vector<uint8_t> block(1 << 20);
        std::mt19937 random(7);
        for (uint64_t m = 0; m < ImageMiB(); ++m) {
            // Runs of few distinct bytes: zlib makes about a third of them.
            for (size_t i = 0; i < block.size(); i += 16) std::memset(block.data() + i, int(random() % 24), 16);
            if (::pwrite(fd, block.data(), block.size(), off_t(m << 20)) != ssize_t(block.size())) return;
        }
        ::close(fd);
        const std::string script = FixtureScript();
        ok = std::system(("python3 '" + script + "' dmg '" + raw + "' '" + dmg + "' zlib 512 1").c_str()) == 0;
        std::filesystem::remove(raw);
        sync();
    }
    ~BenchDmg() { std::filesystem::remove_all(dir); }
};

BenchDmg& Fixture() {
    static BenchDmg fixture;
    return fixture;
}

bool OpenDmg(image::ImageContext& ctx, const std::string& path) {
    ctx.imagePath = platform::Utf8ToUtf16(path);
    ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
    return ctx.imageHandle && containers::ReadDmgBlockTables(ctx) == 0;
}

uint64_t ReadWhole(const std::string& path, std::vector<uint8_t>& buffer) {
    image::ImageContext ctx;
    if (!OpenDmg(ctx, path)) return 0;
    int32_t done = 0;
    while (done < ctx.endSector) {
        const int32_t n = std::min<int32_t>(512, ctx.endSector - done);
        if (containers::ReadChunkedSectors(ctx, done, buffer.data(), n) != n) break;
        benchmark::DoNotOptimize(buffer.data());
        done += n;
    }
    return uint64_t(done);
}

void BM_ReadWholeDmg(benchmark::State& state) {
    BenchDmg& f = Fixture();
    if (!f.ok) {
        state.SkipWithError("the DMG could not be made");
        return;
    }
    std::vector<uint8_t> buffer(1 << 20);
    std::vector<double> ours, peer;
    const std::string out = (f.dir / "out.img").string();
    uint64_t sectors = ReadWhole(f.dmg, buffer);   // warms the page cache for both sides
    for (auto _ : state) {
        const double t = Seconds([&] { sectors = ReadWhole(f.dmg, buffer); });
        state.SetIterationTime(t);
        ours.push_back(t);
        peer.push_back(Seconds([&] { RunQuiet("dmg2img -i '" + f.dmg + "' -o '" + out + "'"); }));
        std::filesystem::remove(out);
    }
    state.counters["MiB"] = double(sectors) / 512;
    state.counters["ours_s"] = Median(ours);
    state.counters["dmg2img_s"] = Median(peer);
    state.counters["ratio"] = Median(ours) / Median(peer);
    qvbench::TableRow("DMG read whole", Median(ours), "dmg2img", Median(peer), 1.0);
}
BENCHMARK(BM_ReadWholeDmg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// 64 KiB reads at random places of the first 4 chunks (1 MiB): what a view
// or an extraction reading around one place does.
double RandomReads(image::ImageContext& ctx, bool emptyCache) {
    std::mt19937 random(11);
    std::vector<uint8_t> buffer(65536);
    const int32_t span = std::min<int32_t>(ctx.endSector, 512) - 32;
    return Seconds([&] {
        for (int i = 0; i < 4000; ++i) {
            const int32_t sector = int32_t(random() % uint32_t(span));
            containers::ReadChunkedSectors(ctx, sector, buffer.data(), 32);
            benchmark::DoNotOptimize(buffer.data());
            if (emptyCache) {
                for (auto& slot : ctx.chunkTable->cache->slots) {
                    slot.buffer.reset();
                    slot.keyed = false;
                    slot.dataSize = 0;
                }
            }
        }
    });
}

void BM_RandomReadsThroughTheCache(benchmark::State& state) {
    BenchDmg& f = Fixture();
    image::ImageContext ctx;
    if (!f.ok || !OpenDmg(ctx, f.dmg) || ctx.endSector < 4096) {
        state.SkipWithError("the DMG could not be made");
        return;
    }
    std::vector<double> cached, uncached;
    for (auto _ : state) {
        const double t = RandomReads(ctx, false);
        state.SetIterationTime(t);
        cached.push_back(t);
        uncached.push_back(RandomReads(ctx, true));
    }
    state.counters["cached_s"] = Median(cached);
    state.counters["uncached_s"] = Median(uncached);
    state.counters["speedup"] = Median(uncached) / Median(cached);
    qvbench::TableRow("DMG random reads cached", Median(cached), "uncached", Median(uncached), 0.2);
}
BENCHMARK(BM_RandomReadsThroughTheCache)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
