// Raw sector building (EDC + P/Q parity) in bytes of user data per second, and
// ReadImageSectors on a plain ISO held in the page cache beside `cat file >
// /dev/null` on the same file in the same run.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/sectors/edc_ecc.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "platform/file.h"

namespace {

std::vector<uint8_t> RandomData(size_t n) {
    std::mt19937 rng(7);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

void BM_MakeMode1Sector(benchmark::State& state) {
    const auto data = RandomData(64 * 2048);
    std::vector<uint8_t> out(2352);
    int32_t sector = 0;
    for (auto _ : state) {
        image::MakeMode1Sector(sector, data.data() + size_t(sector % 64) * 2048, out.data());
        benchmark::DoNotOptimize(out.data());
        ++sector;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048);
}
BENCHMARK(BM_MakeMode1Sector);

void BM_MakeMode2Form1Sector(benchmark::State& state) {
    const auto data = RandomData(64 * 2048);
    std::vector<uint8_t> out(2352);
    int32_t sector = 0;
    for (auto _ : state) {
        image::MakeMode2Form1Sector(sector, data.data() + size_t(sector % 64) * 2048, out.data());
        benchmark::DoNotOptimize(out.data());
        ++sector;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048);
}
BENCHMARK(BM_MakeMode2Form1Sector);

void BM_ComputeEdc(benchmark::State& state) {
    const auto data = RandomData(2064);
    for (auto _ : state) benchmark::DoNotOptimize(image::ComputeEdc(data.data(), data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * 2064);
}
BENCHMARK(BM_ComputeEdc);

// A 256 MiB plain image in the temporary folder, made once and read warm.
class PlainImage {
public:
    static PlainImage& Get() {
        static PlainImage image;
        return image;
    }
    const std::string& path() const { return path_; }
    int32_t sectors() const { return sectors_; }
    ~PlainImage() {
        if (!path_.empty()) unlink(path_.c_str());
    }

private:
    PlainImage() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv-bench-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemp(name.data());
        if (fd < 0) return;
        path_ = name.data();
        const auto chunk = RandomData(1 << 20);
        for (int i = 0; i < 256; ++i)
            if (write(fd, chunk.data(), chunk.size()) != ssize_t(chunk.size())) break;
        close(fd);
        sectors_ = 256 * 512;
    }
    std::string path_;
    int32_t sectors_ = 0;
};

void BM_ReadImageSectorsPlainIso(benchmark::State& state) {
    PlainImage& image = PlainImage::Get();
    auto ctx = std::make_unique<image::ImageContext>();
    ctx->imageHandle.reset(platform::FileOpenUtf8(image.path(), platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->formatCode = 0;
    ctx->sectorSize = 2048;
    ctx->endSector = image.sectors();
    const int32_t step = int32_t(state.range(0));
    std::vector<uint8_t> buffer(size_t(step) * 2048);
    qvbench::Recorded()["read" + std::to_string(step)] = qvbench::SecondsPerIteration(state, [&] {
        for (auto _ : state) {
            for (int32_t s = 0; s < image.sectors(); s += step)
                if (image::ReadImageSectors(*ctx, s, buffer.data(), step) != step) state.SkipWithError("short read");
        }
    });
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.sectors()) * 2048);
}
BENCHMARK(BM_ReadImageSectorsPlainIso)->Arg(16)->Arg(64)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_CatPlainIso(benchmark::State& state) {
    PlainImage& image = PlainImage::Get();
    const std::string command = "cat '" + image.path() + "' > /dev/null";
    qvbench::Recorded()["cat"] = qvbench::SecondsPerIteration(state, [&] {
        for (auto _ : state)
            if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
    });
    qvbench::RowOfRecorded("plain ISO sectors 256 MiB (64 a read)", "read64", "cat", "cat", 1.0);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.sectors()) * 2048);
}
BENCHMARK(BM_CatPlainIso)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
