// HFS and HFS+ volumes mutated a few hundred times each (bit flips and
// random bytes over the volume's metadata, truncation), each opened as a
// document, walked and partly read. A clean return is asked (the sanitizers
// see every out-of-bounds access), no more items than the catalog has room
// for, and a peak memory within a few times the input plus a fixed amount.

#include <gtest/gtest.h>

#include <random>

#include "tests/filesystems/hfs/hfs_fixtures.h"
#include "tests/filesystems/hfs/hfs_plus_builder.h"
#include "tests/support/peak_memory.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRoundsPerFixture = 400;
constexpr uint64_t kMemoryPerInputByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;
constexpr size_t kSmallestRecord = 16;   // a catalog key and the smallest record, with its offset

size_t WalkAndRead(image::ImageContext& ctx) {
    size_t items = 0;
    std::vector<uint8_t> buffer(8192);
    for (const auto& [path, e] : isotest::ListTree(ctx)) {
        ++items;
        if (!e.folder && e.size > 0) {
            filesystems::ReadHfsItemBytes(ctx, *e.item, 0, buffer.data(),
                                          std::min<uint64_t>(buffer.size(), uint64_t(e.size)));
        }
    }
    return items;
}

TEST(HfsMutation, MutatedVolumesReturnCleanly) {
    hfstest::ReadersInstalled readers;
    hfstest::MacFilesShown shown;
    qvtest::TempDir dir;
    hfstest::Hfs(dir,
                 "mkdir -p t/a/b && echo one > t/a/1.txt && head -c 3000 /dev/urandom > t/a/b/2.bin && echo 3 > t/3"
                 " && dd if=/dev/zero of=hfs.img bs=1k count=800 2>/dev/null && hformat -l V hfs.img >/dev/null"
                 " && hmount hfs.img >/dev/null && hmkdir :a && hmkdir :a:b && hcopy -r t/a/1.txt :a:"
                 " && hcopy -r t/a/b/2.bin :a:b: && head -c 8192 /dev/urandom > s"
                 " && for i in 1 2 3 4 5 6 7 8; do hcopy -r s :f$i; done && for i in 1 3 5 7; do hdel :f$i; done"
                 " && head -c 60000 /dev/urandom > big && hcopy -r big : && humount >/dev/null"
                 " && genisoimage -quiet -hfs -part -o part.iso t"
                 " && xorriso -as mkisofs -quiet -hfsplus -o plus.iso t >/dev/null 2>&1");
    const std::vector<uint8_t> wrapped = hfstest::HfsPlusBuilder().BuildWrapped();
    qvtest::WriteFileBytes(dir / "wrapped.img", wrapped.data(), wrapped.size());
    std::mt19937 random(20261211);
    auto pick = [&](size_t from, size_t to) { return std::uniform_int_distribution<size_t>(from, to - 1)(random); };
    for (const char* fixture : {"hfs.img", "part.iso", "plus.iso", "wrapped.img"}) {
        SCOPED_TRACE(fixture);
        const std::vector<uint8_t> base = qvtest::ReadFileBytes(dir / fixture);
        const size_t first = 512;
        const size_t end = std::min<size_t>(base.size(), 256 * 1024);
        const std::string path = dir / "m.img";
        int opened = 0;
        for (int round = 0; round < kRoundsPerFixture; ++round) {
            std::vector<uint8_t> bytes = base;
            size_t size = bytes.size();
            switch (round % 3) {
                case 0:
                    for (int i = 0, n = 1 + int(pick(0, 8)); i < n; ++i) bytes[pick(first, end)] ^= uint8_t(1u << pick(0, 8));
                    break;
                case 1:
                    for (int i = 0, n = 1 + int(pick(0, 4)); i < n; ++i) bytes[pick(first, end)] = uint8_t(pick(0, 256));
                    break;
                default:
                    size = pick(first, bytes.size());
                    if (pick(0, 2)) bytes[pick(first, std::min(size, end))] ^= 0x10;
                    break;
            }
            qvtest::WriteFileBytes(path, bytes.data(), size);
            qvtest::PeakMemory peak;
            auto doc = isotest::OpenDoc(path);
            if (doc && (doc->hfsVolume || doc->hfsPlusVolume)) {
                ++opened;
                ASSERT_LE(WalkAndRead(*doc), size / kSmallestRecord) << "round " << round;
            }
            doc.reset();
            ASSERT_LT(peak.GrowthBytes(), size * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
        }
        EXPECT_GT(opened, kRoundsPerFixture / 4);
    }
}

}  // namespace
