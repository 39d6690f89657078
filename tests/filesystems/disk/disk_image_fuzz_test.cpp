// Each header kind of the disk opener mutated a few hundred times: the master
// and extended boot records of a raw disk, the VHD footer, dynamic header and
// block table, the VDI header and block map, the VMDK sparse header with its
// embedded descriptor and grain directories, and the text of a VMDK
// descriptor. Every mutant is opened by the back ends and by the whole disk
// opener, and read at its start and at random places. A clean return is asked
// (the sanitizers see every out-of-bounds access), in bounded time, and a peak
// memory within a few times the input plus a fixed amount
// (tests/support/peak_memory.h).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "filesystems/disk/partition_table.h"
#include "filesystems/disk/virtual_disk.h"
#include "foundation/messages_scripted.h"
#include "tests/filesystems/disk/disk_fixtures.h"
#include "tests/support/peak_memory.h"

namespace filesystems {
namespace {

using disktest::Convert;
using disktest::MakeRawDisk;
using disktest::OpenBackEnd;

constexpr int kRounds = 800;
constexpr uint64_t kMemoryPerInputByte = 8;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;

// Chooses the last row, so the extended chain is walked to its end.
class LastRow final : public IPartitionChooserServices {
public:
    int ChooseDiskPartition(image::ImageContext&, const std::vector<DiskPartitionRow>& rows) override {
        return static_cast<int>(rows.size()) - 1;
    }
};

struct Kind {
    const char* name;
    std::string path;
    // Byte ranges {offset, length} where the mutations fall.
    std::vector<std::pair<uint64_t, uint64_t>> regions;
    bool text = false;   // a descriptor: mutations keep to text-like bytes
};

// Returns 1 when a back end took the file.
int Exercise(const std::string& path, std::mt19937& random) {
    disktest::BackEnd backEnd = OpenBackEnd(path);
    image::ImageContext& ctx = *backEnd.ctx;
    const uint64_t sectors = DiskSizeBytes(ctx) / 512;
    std::vector<uint8_t> buffer(256 * 512);
    for (uint64_t at = 0; at < std::min<uint64_t>(sectors, 2048); at += 256) {
        ReadDiskSectors(ctx, at, buffer.data(), 256);
    }
    if (sectors > 0) {
        for (int i = 0; i < 16; ++i) {
            const uint64_t at = std::uniform_int_distribution<uint64_t>(0, sectors - 1)(random);
            ReadDiskSectors(ctx, at, buffer.data(), static_cast<uint32_t>(std::min<uint64_t>(64, sectors - at)));
        }
    }
    if (ReadDiskSectors(ctx, 0, buffer.data(), 1) == 1) ListDiskPartitions(ctx, buffer.data(), sectors);

    foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(path)));
    int reported = 0;
    image::DocumentPtr doc(OpenDiskImage(platform::Utf8ToUtf16(path), file.get(), &reported));
    if (doc) (void)file.release();
    return backEnd.opened;
}

// The mutant file, changed in place and put back after each round, so a
// round costs what it changes rather than the size of the disk.
class Mutant {
public:
    Mutant(const std::string& path, const std::vector<uint8_t>& original) : original_(original) {
        qvtest::WriteFileBytes(path, original.data(), original.size());
        fd_ = ::open(path.c_str(), O_RDWR);
    }
    ~Mutant() { ::close(fd_); }
    // window replaces the bytes from `from` on; then the file is cut to size.
    void Apply(const std::vector<uint8_t>& window, uint64_t from, uint64_t size) {
        from_ = std::min<uint64_t>(from, size);
        to_ = std::min<uint64_t>(from + window.size(), size);
        size_ = size;
        if (to_ > from_) Write(window.data(), from_, to_ - from_);
        if (size < original_.size()) {
            EXPECT_EQ(::ftruncate(fd_, static_cast<off_t>(size)), 0);
        }
    }
    void Restore() {
        if (size_ < original_.size()) {
            Write(original_.data() + size_, size_, original_.size() - size_);
        }
        if (to_ > from_) Write(original_.data() + from_, from_, to_ - from_);
    }

private:
    void Write(const uint8_t* data, uint64_t at, uint64_t length) {
        EXPECT_EQ(::pwrite(fd_, data, length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
    }
    const std::vector<uint8_t>& original_;
    int fd_ = -1;
    uint64_t from_ = 0, to_ = 0, size_ = 0;
};

TEST(DiskImageFuzz, MutatedHeadersReturnCleanly) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    const std::string vhd = Convert(dir, raw, "vpc -o subformat=dynamic,force_size=on", "d.vhd");
    const std::string fixedVhd = Convert(dir, raw, "vpc -o subformat=fixed,force_size=on", "f.vhd");
    const std::string vdi = Convert(dir, raw, "vdi", "d.vdi");
    const std::string sparse = Convert(dir, raw, "vmdk", "m.vmdk");
    const std::string flat = Convert(dir, raw, "vmdk -o subformat=monolithicFlat", "f.vmdk");
    auto sizeOf = [](const std::string& p) {
        struct stat info {};
        ::stat(p.c_str(), &info);
        return static_cast<uint64_t>(info.st_size);
    };
    const uint64_t vhdSize = sizeOf(vhd), fixedSize = sizeOf(fixedVhd);
    const std::vector<Kind> kinds = {
        {"boot records", raw, {{446, 66}, {8192 * 512 + 446, 66}, {14336 * 512 + 446, 66}, {20480 * 512 + 446, 66}}},
        {"vhd dynamic", vhd, {{vhdSize - 512, 512}, {512, 1024}, {1536, 64}, {0, 512}}},
        {"vhd fixed", fixedVhd, {{fixedSize - 512, 512}}},
        {"vdi", vdi, {{0, 512}, {512, 64}}},
        {"vmdk sparse", sparse, {{0, 80}, {512, 512}, {10 * 512, 512}, {21 * 512, 512}, {128 * 512, 2048}}},
        {"vmdk descriptor", flat, {{0, 480}}, true},
    };

    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi(&ui);
    LastRow chooser;
    foundation::ScopedServices<SetPartitionChooserServices> scopedChooser(&chooser);
    std::mt19937 random(20261211);
    auto pick = [&](uint64_t from, uint64_t to) { return std::uniform_int_distribution<uint64_t>(from, to - 1)(random); };

    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::vector<uint8_t> original = qvtest::ReadFileBytes(kind.path);
        // A descriptor is changed in place: its extent stays beside it.
        Mutant mutant(kind.text ? kind.path : dir / (std::string("x-") + kind.name), original);
        const std::string target = kind.text ? kind.path : dir / (std::string("x-") + kind.name);
        int opened = 0;
        for (int round = 0; round < kRounds; ++round) {
            const auto& region = kind.regions[pick(0, kind.regions.size())];
            const uint64_t from = std::min<uint64_t>(region.first, original.size());
            const uint64_t end = std::min<uint64_t>(region.first + region.second, original.size());
            // Only the region is copied: the disks are megabytes, a round's change a few bytes.
            std::vector<uint8_t> window(original.begin() + from, original.begin() + end);
            uint64_t size = original.size();
            if (window.empty()) continue;
            switch (round % 4) {
                case 0:   // bit flips
                    for (int i = 0, n = 1 + int(pick(0, 4)); i < n; ++i) {
                        window[pick(0, window.size())] ^= uint8_t(1u << pick(0, 8));
                    }
                    break;
                case 1:   // random bytes (text-like ones in a descriptor)
                    for (int i = 0, n = 1 + int(pick(0, 4)); i < n; ++i) {
                        const char* alphabet = "0123456789 \"\n\\/.RWFLATSPARSEZERO#=ddb";
                        window[pick(0, window.size())] =
                            kind.text ? uint8_t(alphabet[pick(0, std::strlen(alphabet))]) : uint8_t(pick(0, 256));
                    }
                    break;
                case 2: {  // a 32-bit field set to a boundary value
                    const uint64_t at = pick(0, (window.size() + 3) / 4) * 4;
                    const uint32_t values[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0x10000, 512};
                    const uint32_t v = values[pick(0, 8)];
                    for (uint64_t i = 0; i < 4 && at + i < window.size(); ++i) window[at + i] = uint8_t(v >> (8 * i));
                    break;
                }
                default:   // truncation: anywhere in a small file, in the last MiB of a large one
                    size = pick(original.size() > (2u << 20) ? original.size() - (1u << 20) : 0, original.size());
                    window.clear();
                    break;
            }
            mutant.Apply(window, from, size);
            qvtest::PeakMemory peak;
            opened += Exercise(target, random);
            ASSERT_LT(peak.GrowthBytes(), size * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
            mutant.Restore();
        }
        // Most mutants of a virtual disk still open.
        if (std::string(kind.name) != "boot records") {
            EXPECT_GT(opened, 0);
        }
    }
}

}  // namespace
}  // namespace filesystems
