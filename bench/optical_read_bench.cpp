// Reading a 700 MB disc image through the software drive, the command layer
// and the retry layer, beside `dd bs=64k` reading the backing file, in one
// run (the file in the page cache for both). The ratio is dd's time over ours.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <string>
#include <vector>

#include "bench_support.h"
#include "foundation/optical_services.h"
#include "optical/drive/sector_reader.h"
#include "optical/scsi/scsi_command.h"
#include "soft_drive/soft_drive.h"

namespace {

class OneDrive final : public optical::ITransportResolver {
public:
    explicit OneDrive(optical::ScsiTransport* t) : t_(t) {}
    optical::ScsiTransport* TransportFor(platform::FileHandle) override { return t_; }

private:
    optical::ScsiTransport* t_;
};

void BM_DiscReadBesideDd(benchmark::State& state) {
    const std::string dir = qvbench::MakeBenchFolder();
    const std::string image = dir + "/disc.iso";
    qvbench::RunQuiet("head -c 734003200 /dev/urandom > " + image);
    softdrive::SoftDrive drive;
    std::string error;
    if (dir.empty() || !drive.LoadText("profile 0x0010\ntrack mode=1 file=" + image + "\n", error)) {
        state.SkipWithError("no fixture");
        return;
    }
    OneDrive resolver(&drive);
    optical::ITransportResolver* previous = optical::SetTransportResolver(&resolver);
    const uint32_t sectors = 734003200 / 2048;
    std::vector<uint8_t> buffer(32 * 2048);
    auto ours = [&] {
        for (uint32_t lba = 0; lba < sectors; lba += 32) {
            foundation::SectorReadRequest r;
            r.device = reinterpret_cast<platform::FileHandle>(&drive);
            r.buffer = buffer.data();
            r.bufferBytes = buffer.size();
            r.lba = lba;
            r.count = std::min<uint32_t>(32, sectors - lba);
            r.policy = 5;
            optical::ReadSectorsWithRetry(r, nullptr);
            drive.Log().clear();
        }
    };
    auto dd = [&] { qvbench::RunQuiet("dd if=" + image + " of=/dev/null bs=64k 2>/dev/null"); };
    dd();   // into the page cache
    std::vector<double> oursTimes, ddTimes;
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            ddTimes.push_back(qvbench::Seconds(dd));
            oursTimes.push_back(qvbench::Seconds(ours));
        }
    }
    optical::SetTransportResolver(previous);
    qvbench::RunQuiet("rm -rf " + dir);
    state.counters["ours_s"] = qvbench::Median(oursTimes);
    state.counters["dd_s"] = qvbench::Median(ddTimes);
    state.counters["ratio"] = qvbench::Median(ddTimes) / qvbench::Median(oursTimes);
    qvbench::TableRow("drive read 700 MB", qvbench::Median(oursTimes), "dd bs=64k", qvbench::Median(ddTimes), 1.0);
}
BENCHMARK(BM_DiscReadBesideDd)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
