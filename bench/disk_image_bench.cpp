// Reading a whole virtual disk (1 GiB by default; QV_BENCH_DISK_MB changes it)
// in 1 MiB reads through the disk back ends, timed in the same run as
// "qemu-img dd bs=1M" of the same disk, for a dynamic VHD, a dynamic VDI and a
// monolithic sparse VMDK made by qemu-img from one raw disk (every eighth MiB
// left empty, so both sides meet unallocated blocks). The counters give each
// time and our ratio, the median of the runs (goal: at most 1.0).

#include "bench/bench_support.h"
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/virtual_disk.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"

extern "C" char** environ;

namespace {

using qvbench::RunQuiet;
using qvbench::Seconds;
using qvbench::Median;

uint64_t DiskMiB() {
    const char* text = std::getenv("QV_BENCH_DISK_MB");
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? static_cast<uint64_t>(value) : 1024;
}

struct BenchDisks {
    std::filesystem::path dir;
    std::string raw;
    bool ok = false;
    BenchDisks() {
        dir = qvbench::MakeBenchFolder();
        raw = (dir / "d.img").string();
        const int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) return;
        std::vector<uint8_t> block(1 << 20);
        const uint64_t mib = DiskMiB();
        for (uint64_t m = 0; m < mib; ++m) {
            if (m % 8 == 7) continue;
            for (size_t i = 0; i < block.size(); i += 8) {
                const uint64_t word = (m << 20 | i) * 0x9E3779B97F4A7C15ull;
                std::memcpy(block.data() + i, &word, 8);
            }
            if (::pwrite(fd, block.data(), block.size(), static_cast<off_t>(m << 20)) != ssize_t(block.size())) return;
        }
        if (::ftruncate(fd, static_cast<off_t>(mib << 20)) != 0) return;
        ::close(fd);
        const std::string q = "'" + raw + "'";
        const std::string d = "'" + dir.string() + "/";
        ok = std::system(("qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on " + q + " " + d + "d.vhd'")
                             .c_str()) == 0 &&
             std::system(("qemu-img convert -f raw -O vdi " + q + " " + d + "d.vdi'").c_str()) == 0 &&
             std::system(("qemu-img convert -f raw -O vmdk " + q + " " + d + "d.vmdk'").c_str()) == 0;
        std::filesystem::remove(raw);
        sync();
    }
    ~BenchDisks() { std::filesystem::remove_all(dir); }
};

BenchDisks& Disks() {
    static BenchDisks disks;
    return disks;
}

// Opens the disk and reads it all in 1 MiB reads; the sectors read.
uint64_t ReadWholeDisk(const std::string& path, std::vector<uint8_t>& buffer) {
    image::DocumentPtr ctx(new image::ImageContext());
    ctx->imagePath = platform::Utf8ToUtf16(path);
    ctx->imageHandle.reset(foundation::OpenFileForRead(ctx->imagePath));
    if (!ctx->imageHandle || !filesystems::OpenVirtualDisk(*ctx, nullptr)) return 0;
    const uint64_t sectors = filesystems::DiskSizeBytes(*ctx) / 512;
    uint64_t done = 0;
    while (done < sectors) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(2048, sectors - done));
        if (filesystems::ReadDiskSectors(*ctx, done, buffer.data(), n) != n) break;
        benchmark::DoNotOptimize(buffer.data());
        done += n;
    }
    return done;
}

void BM_ReadWholeDisk(benchmark::State& state, const char* file, const char* format) {
    BenchDisks& disks = Disks();
    if (!disks.ok) {
        state.SkipWithError("qemu-img failed");
        return;
    }
    const std::string path = (disks.dir / file).string();
    const std::string out = (disks.dir / "out.raw").string();
    std::vector<uint8_t> buffer(1 << 20);
    std::vector<double> ours, qemu;
    uint64_t sectors = ReadWholeDisk(path, buffer);   // warms the page cache for both sides
    for (auto _ : state) {
        const double t = Seconds([&] { sectors = ReadWholeDisk(path, buffer); });
        state.SetIterationTime(t);
        ours.push_back(t);
        qemu.push_back(Seconds([&] {
            RunQuiet(std::string("qemu-img dd -f ") + format + " -O raw bs=1M if='" + path + "' of='" + out + "'");
        }));
        std::filesystem::remove(out);
    }
    state.counters["MiB"] = static_cast<double>(sectors) / 2048;
    state.counters["ours_s"] = Median(ours);
    state.counters["qemu_img_dd_s"] = Median(qemu);
    state.counters["ratio"] = Median(ours) / Median(qemu);
    qvbench::TableRow(std::string("disk read ") + file, Median(ours), "qemu-img dd", Median(qemu), 1.0);
}
BENCHMARK_CAPTURE(BM_ReadWholeDisk, vhd_dynamic, "d.vhd", "vpc")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_ReadWholeDisk, vdi_dynamic, "d.vdi", "vdi")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_ReadWholeDisk, vmdk_sparse, "d.vmdk", "vmdk")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
