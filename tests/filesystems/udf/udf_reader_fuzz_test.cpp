// UDF volumes of real tools mutated a few thousand times (bit flips and random
// bytes in the descriptor, entry and directory sectors, truncation), each
// opened as a document, walked and partly read. A clean return is asked (the
// sanitizers see every out-of-bounds access), a tree of no more items than the
// input has room for identifier descriptors, and a peak memory within a few
// times the input plus a fixed amount.

#include <gtest/gtest.h>

#include <random>

#include "tests/filesystems/udf/udf_fixtures.h"
#include "tests/support/peak_memory.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRoundsPerFixture = 700;
constexpr uint64_t kMemoryPerInputByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;
constexpr size_t kSmallestDescriptor = 40;   // an identifier descriptor with a one-byte name

size_t WalkAndRead(image::ImageContext& ctx) {
    size_t items = 0;
    std::vector<uint8_t> buffer(8192);
    for (const auto& [path, e] : isotest::ListTree(ctx)) {
        ++items;
        if (!e.folder && e.size > 0 && ctx.udfState) {
            filesystems::ReadUdfItemBytes(ctx, *e.item, 0, buffer.data(),
                                          std::min<uint64_t>(buffer.size(), uint64_t(e.size)));
            filesystems::UdfReadFileSectors(ctx, *e.item, buffer.data(), 1, 3);
        }
    }
    return items;
}

TEST(UdfReaderFuzz, MutatedVolumesReturnCleanly) {
    udftest::ReadersInstalled readers;
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p t/a/b/c t/d && echo one > t/a/1.txt && head -c 3000 /dev/zero > t/a/b/2.bin"
          " && echo three > t/a/b/c/3 && echo four > 't/d/long name 4.txt' && find t -exec touch -d @1600000000 {} +"
          " && TZ=UTC genisoimage -quiet -J -udf -o bridge.iso t"
          " && mkudffs --media-type=cdr --udfrev=0x0201 --label=V vat.img 8192 >/dev/null 2>&1"
          " && mkudffs --media-type=cdr --udfrev=0x0150 --label=W vat150.img 8192 >/dev/null 2>&1");
    std::mt19937 random(20261211);
    auto pick = [&](size_t from, size_t to) { return std::uniform_int_distribution<size_t>(from, to - 1)(random); };
    for (const char* fixture : {"bridge.iso", "vat.img", "vat150.img"}) {
        SCOPED_TRACE(fixture);
        const std::vector<uint8_t> base = qvtest::ReadFileBytes(dir / fixture);
        const size_t first = 16 * 2048;
        const size_t end = base.size();
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
                    if (pick(0, 2)) bytes[pick(first, size)] ^= 0x10;
                    break;
            }
            qvtest::WriteFileBytes(path, bytes.data(), size);
            qvtest::PeakMemory peak;
            auto doc = isotest::OpenDoc(path);
            if (doc) {
                ++opened;
                ASSERT_LE(WalkAndRead(*doc), size / kSmallestDescriptor) << "round " << round;
            }
            doc.reset();
            ASSERT_LT(peak.GrowthBytes(), size * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
        }
        EXPECT_GT(opened, kRoundsPerFixture / 4);
    }
}

}  // namespace
