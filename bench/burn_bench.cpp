// Burning and verifying a 512 MiB xorriso ISO on the software drive (DVD+R,
// unthrottled) beside cdrskin writing the same ISO to a null drive and
// xorriso's -check_media reading it, in one run; then the read-ahead feeding
// a drive throttled to 16x DVD through a 2 MiB drive buffer; a 700 MB image
// burnt to a CD-R at the software drive's top speed (the ring's empty count
// after pre-fill and the CPU it took); and an image made from a 700 MB disc
// beside dd copying the drive's backing file. Ratios are the peer's time over
// ours (above 1: we are faster); the throttled run reports its underruns and
// its time against bytes / rate.

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include "bench/bench_support.h"

#include <string>
#include <vector>

#include "bench_support.h"
#include "foundation/drive_device_services.h"
#include "foundation/drive_handles.h"
#include "foundation/optical_services.h"
#include "optical/disc_image/make_image_job.h"
#include "optical/drive/drive_services.h"
#include "optical/drive/sector_read_state.h"
#include "image/document/image_context.h"
#include "image/sectors/format_table.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_verify.h"
#include "optical/burn/burn_writers.h"
#include "optical/drive/disc_queries.h"
#include "optical/scsi/drive_clock.h"
#include "optical/scsi/scsi_command.h"
#include "platform/file.h"
#include "platform/text.h"
#include "soft_drive/soft_drive.h"

namespace {

class OneDrive final : public optical::ITransportResolver {
public:
    explicit OneDrive(optical::ScsiTransport* t) : t_(t) {}
    optical::ScsiTransport* TransportFor(platform::FileHandle) override { return t_; }

private:
    optical::ScsiTransport* t_;
};

std::unique_ptr<image::ImageContext> OpenIso(const std::string& path) {
    auto ctx = std::make_unique<image::ImageContext>();
    ctx->imagePath = platform::Utf8ToUtf16(path);
    ctx->imageHandle.reset(
        platform::FileOpenUtf8(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    ctx->formatCode = image::format_code::kIso;
    if (const image::ImageFormatRow* row = image::GetImageFormatRow(ctx->formatCode)) {
        ctx->sectorSize = row->sectorSize;
        ctx->userDataOffset = row->userDataOffset;
        ctx->dataOffset = row->dataOffset;
    }
    uint64_t size = 0;
    platform::FileGetSize(ctx->imageHandle.get(), size);
    ctx->endSector = int32_t(size / 2048);
    return ctx;
}

int64_t SizeOf(const std::string& path) {
    platform::FileHandle f = platform::FileOpenUtf8(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting);
    uint64_t size = 0;
    const bool ok = f && platform::FileGetSize(f, size);
    if (f) platform::FileClose(f);
    return ok ? int64_t(size) : -1;
}

// Seconds of CPU this process has used (every thread: the burn, the
// read-ahead and the software drive answering them).
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Drive letter E names a scratch file; its commands go to the software drive.
class LetterE final : public foundation::IDriveDeviceServices {
public:
    explicit LetterE(std::string path) : path_(platform::Utf8ToUtf16(path)) {}
    std::u16string DevicePath(char16_t letter) override { return letter == u'E' ? path_ : std::u16string(); }

private:
    std::u16string path_;
};

struct BurnRun {
    double seconds = 0;
    bool ok = false;
    uint32_t bufferEmpty = 0;
    uint64_t underruns = 0;
    double verifySeconds = 0;
};

BurnRun BurnOnce(const std::string& iso, const std::string& writeLine, bool verify) {
    BurnRun run;
    softdrive::SoftDrive drive;
    std::string error;
    if (!drive.LoadText("profile 0x001B\ndisc status=0 last=0\n" + writeLine + "\n", error)) return run;
    OneDrive resolver(&drive);
    optical::ITransportResolver* previous = optical::SetTransportResolver(&resolver);
    // The drive's own waits (closing, unit ready) cost nothing: the timing is
    // the writing and the reading. The throttle keeps real time by itself.
    optical::VirtualDriveClock clock;
    optical::IDriveClock* previousClock = optical::SetDriveClock(&clock);
    auto ctx = OpenIso(iso);
    optical::BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    job.mediaType = optical::media::kDvdPlusR;
    const platform::FileHandle h = reinterpret_cast<platform::FileHandle>(&drive);
    run.seconds = qvbench::Seconds([&] {
        optical::ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
        run.ok = buffer && optical::WriteDvdImage(h, buffer.get(), optical::media::kDvdPlusR, job);
        run.bufferEmpty = optical::GetBurnBufferEmptyCount(buffer.get());
        drive.Log().clear();
    });
    run.underruns = drive.Underruns();
    if (verify && run.ok) {
        drive.Log().clear();
        run.verifySeconds = qvbench::Seconds([&] { run.ok = optical::VerifyDisc(h, job) == 1; });
    }
    optical::SetTransportResolver(previous);
    optical::SetDriveClock(previousClock);
    return run;
}

void BM_BurnAndVerifyBesidePeers(benchmark::State& state) {
    const std::string dir = qvbench::MakeBenchFolder();
    const std::string iso = dir + "/x.iso";
    qvbench::RunQuiet("mkdir -p " + dir + "/src && head -c 536870912 /dev/urandom > " + dir +
                      "/src/big.bin && xorriso -as mkisofs -quiet -o " + iso + " " + dir + "/src 2>/dev/null");
    if (dir.empty() || SizeOf(iso) <= 0) {
        state.SkipWithError("no fixture");
        return;
    }
    auto cdrskin = [&] {
        qvbench::RunQuiet("cdrskin --allow_emulated_drives dev=stdio:/dev/null fs=8m -data " + iso + " >/dev/null 2>&1");
    };
    auto checkMedia = [&] { qvbench::RunQuiet("xorriso -indev " + iso + " -check_media -- >/dev/null 2>&1"); };
    checkMedia();   // the ISO into the page cache
    double peerBurn = 0, peerVerify = 0;
    BurnRun ours;
    for (auto _ : state) {
        peerBurn = qvbench::Seconds(cdrskin);
        peerVerify = qvbench::Seconds(checkMedia);
        ours = BurnOnce(iso, "write capacity=2295104 medium=" + dir + "/medium.bin", true);
    }
    qvbench::RunQuiet("rm -rf " + dir);
    if (!ours.ok) state.SkipWithError("the burn failed");
    state.counters["burn_s"] = ours.seconds;
    state.counters["cdrskin_s"] = peerBurn;
    state.counters["burn_ratio"] = peerBurn / ours.seconds;
    state.counters["buffer_empty"] = ours.bufferEmpty;
    state.counters["verify_s"] = ours.verifySeconds;
    state.counters["check_media_s"] = peerVerify;
    state.counters["verify_ratio"] = ours.verifySeconds > 0 ? peerVerify / ours.verifySeconds : 0;
    qvbench::TableRow("burn 512 MiB DVD+R", ours.seconds, "cdrskin", peerBurn, 1.0);
    qvbench::TableRow("verify 512 MiB", ours.verifySeconds, "xorriso -check_media", peerVerify, 1.0);
}
BENCHMARK(BM_BurnAndVerifyBesidePeers)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ThrottledDvd16x(benchmark::State& state) {
    const std::string dir = qvbench::MakeBenchFolder();
    const std::string iso = dir + "/x.iso";
    qvbench::RunQuiet("mkdir -p " + dir + "/src && head -c 134217728 /dev/urandom > " + dir +
                      "/src/big.bin && xorriso -as mkisofs -quiet -o " + iso + " " + dir + "/src 2>/dev/null");
    const int64_t bytes = SizeOf(iso);
    if (dir.empty() || bytes <= 0) {
        state.SkipWithError("no fixture");
        return;
    }
    constexpr double kRateKBps = 16 * 1385;
    BurnRun ours;
    for (auto _ : state)
        ours = BurnOnce(iso, "write capacity=2295104 rate=" + std::to_string(int(kRateKBps)) + " buffer=2048 medium=" +
                                 dir + "/medium.bin",
                        false);
    qvbench::RunQuiet("rm -rf " + dir);
    if (!ours.ok) state.SkipWithError("the burn failed");
    state.counters["underruns"] = double(ours.underruns);
    state.counters["buffer_empty"] = ours.bufferEmpty;
    state.counters["elapsed_over_ideal"] = ours.seconds / (double(bytes) / (kRateKBps * 1000));
    qvbench::TableRow("burn throttled 16x DVD", ours.seconds, "bytes / rate", double(bytes) / (kRateKBps * 1000), 1.05);
}
BENCHMARK(BM_ThrottledDvd16x)->Iterations(1)->Unit(benchmark::kSecond);

void BM_Cd700AtTopSpeed(benchmark::State& state) {
    const std::string dir = qvbench::MakeBenchFolder();
    const std::string iso = dir + "/x.iso";
    qvbench::RunQuiet("mkdir -p " + dir + "/src && head -c 734003200 /dev/urandom > " + dir +
                      "/src/big.bin && xorriso -as mkisofs -quiet -o " + iso + " " + dir + "/src 2>/dev/null");
    if (dir.empty() || SizeOf(iso) <= 0) {
        state.SkipWithError("no fixture");
        return;
    }
    softdrive::SoftDrive drive;
    std::string error;
    // An 80-minute CD-R with no write throttle: the drive's top speed.
    if (!drive.LoadText("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849 medium=" + dir +
                            "/medium.bin\n",
                        error)) {
        state.SkipWithError("no drive");
        return;
    }
    OneDrive resolver(&drive);
    optical::ITransportResolver* previous = optical::SetTransportResolver(&resolver);
    optical::VirtualDriveClock clock;
    optical::IDriveClock* previousClock = optical::SetDriveClock(&clock);
    qvbench::RunQuiet("cat " + iso + " > /dev/null");   // into the page cache
    auto ctx = OpenIso(iso);
    bool ok = false;
    uint32_t empty = 0;
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        optical::BurnJob job;
        job.source = ctx.get();
        job.endSector = ctx->endSector;
        job.mediaType = optical::media::kCdR;
        const double cpuBefore = CpuSeconds();
        wall = qvbench::Seconds([&] {
            optical::ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
            ok = buffer && optical::WriteCdImage(reinterpret_cast<platform::FileHandle>(&drive), buffer.get(), job) == 1;
            empty = optical::GetBurnBufferEmptyCount(buffer.get());
            drive.Log().clear();
        });
        cpu = CpuSeconds() - cpuBefore;
    }
    optical::SetTransportResolver(previous);
    optical::SetDriveClock(previousClock);
    qvbench::RunQuiet("rm -rf " + dir);
    if (!ok) state.SkipWithError("the burn failed");
    state.counters["burn_s"] = wall;
    state.counters["buffer_empty"] = empty;
    state.counters["cpu_cores"] = wall > 0 ? cpu / wall : 0;
    // The goal is absolute: the whole burn, the drive included, on less than one core.
    qvbench::TableRow("burn 700 MB CD-R at top speed (CPU)", ok && empty == 0 && wall > 0 ? cpu / wall : 99, "one core",
                      1.0, 1.0, "cores");
}
BENCHMARK(BM_Cd700AtTopSpeed)->Iterations(1)->Unit(benchmark::kSecond);

void BM_MakeImageBesideDd(benchmark::State& state) {
    const std::string dir = qvbench::MakeBenchFolder();
    const std::string disc = dir + "/disc.iso";
    qvbench::RunQuiet("head -c 734003200 /dev/urandom > " + disc + " && : > " + dir + "/device");
    softdrive::SoftDrive drive;
    std::string error;
    if (dir.empty() || !drive.LoadText("profile 0x0010\ntrack mode=1 file=" + disc + "\n", error)) {
        state.SkipWithError("no fixture");
        return;
    }
    OneDrive resolver(&drive);
    optical::ITransportResolver* previous = optical::SetTransportResolver(&resolver);
    LetterE letters(dir + "/device");
    foundation::IDriveDeviceServices* previousLetters = foundation::SetDriveDeviceServices(&letters);
    optical::DriveServices services;
    foundation::IOpticalServices* previousServices = foundation::SetOpticalServices(&services);
    foundation::ResetDriveTable();
    optical::ResetSectorReadState();
    const std::string copy = dir + "/copy.iso";
    bool ok = false;
    auto ours = [&] {
        optical::MakeImageRequest request;
        request.letter = u'E';
        request.destination = platform::Utf8ToUtf16(copy);
        ok = optical::MakeImageFromDisc(request).outcome == optical::MakeImageOutcome::Done;
        drive.Log().clear();
        qvbench::RunQuiet("rm -f " + copy);
    };
    auto dd = [&] { qvbench::RunQuiet("dd if=" + disc + " of=" + copy + " bs=32k 2>/dev/null && rm -f " + copy); };
    dd();   // the disc into the page cache
    std::vector<double> oursTimes, ddTimes;
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            ddTimes.push_back(qvbench::Seconds(dd));
            oursTimes.push_back(qvbench::Seconds(ours));
        }
    }
    foundation::SetOpticalServices(previousServices);
    foundation::SetDriveDeviceServices(previousLetters);
    foundation::ResetDriveTable();
    optical::SetTransportResolver(previous);
    qvbench::RunQuiet("rm -rf " + dir);
    if (!ok) state.SkipWithError("the image was not made");
    state.counters["make_image_s"] = qvbench::Median(oursTimes);
    state.counters["dd_s"] = qvbench::Median(ddTimes);
    state.counters["ratio"] = qvbench::Median(ddTimes) / qvbench::Median(oursTimes);
    qvbench::TableRow("make image 700 MB from disc", ok ? qvbench::Median(oursTimes) : 0, "dd bs=32k",
                      qvbench::Median(ddTimes), 1.1);
}
BENCHMARK(BM_MakeImageBesideDd)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
