// A small real NTFS volume (mkntfs -C, a wimlib tree, ntfscp streams)
// mutated a few thousand times in its boot sector and its master file table
// (bit flips, random bytes, and fields that steer the reader: attribute
// lengths, run headers, sizes, parent references), each mounted, walked, and
// the start of every file read. A clean return is asked (the sanitizers see
// every out-of-bounds access or overflow), no more items than the table has
// records, and a peak memory within a fixed bound.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "filesystems/ntfs/ntfs_data.h"
#include "filesystems/ntfs/ntfs_file.h"
#include "filesystems/ntfs/ntfs_state.h"
#include "foundation/byte_order.h"
#include "tests/filesystems/ntfs/ntfs_fixtures.h"
#include "tests/support/peak_memory.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRounds = 2500;
constexpr uint64_t kMemoryLimitBytes = 96u << 20;
// Enough of each file to pass through its first units and runs.
constexpr size_t kBytesReadPerFile = 256 * 1024;

// Reads the start of every file of the tree; the number of items.
size_t Walk(image::ImageContext& ctx) {
    size_t items = 0;
    filesystems::NtfsFileFacts facts;
    std::vector<uint8_t> listBuffer;
    for (const auto& [path, e] : ntfstest::ListTree(ctx)) {
        ++items;
        if (e.folder || !filesystems::ReadNtfsFile(ctx, e.record, facts, listBuffer)) continue;
        filesystems::NtfsDataLayout layout;
        if (!filesystems::MakeNtfsDataLayout(facts.data, ctx.ntfsState->volumeClusters, layout)) continue;
        size_t seen = 0;
        filesystems::ReadNtfsAttribute(ctx, layout, [&](std::span<const uint8_t> bytes) {
            seen += bytes.size();
            return seen < kBytesReadPerFile ? 1 : 0;
        });
    }
    return items;
}

void Put(int fd, size_t at, const uint8_t* bytes, size_t n) { ASSERT_EQ(::pwrite(fd, bytes, n, at), ssize_t(n)); }

TEST(NtfsMutation, MutatedVolumesReturnCleanly) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p src/a/b src/c && seq 1 20000 > src/a/text && head -c 90000 /dev/urandom > src/a/b/rnd && "
          "truncate -s 2M src/c/sparse && echo x > src/c/small && "
          "for i in $(seq 1 40); do echo $i > src/c/n$i; done && wimlib-imagex capture src x.wim >/dev/null && "
          "truncate -s 8M p.img && mkntfs -q -F -Q -C -c 4096 p.img && wimlib-imagex apply x.wim 1 p.img >/dev/null && "
          "head -c 300 /dev/urandom > s && for i in $(seq 1 12); do ntfscp -q -N st$i p.img s a/text; done");
    const std::string path = dir / "p.img";
    const std::vector<uint8_t> base = qvtest::ReadFileBytes(path);
    const size_t mft = foundation::ReadLE64(&base[48]) * foundation::ReadLE16(&base[11]) * base[13];
    // The records in use: system files, the tree and the extension records.
    const size_t mftEnd = mft + 160 * 1024;
    ASSERT_LT(mftEnd, base.size());
    size_t records = 0;
    {
        auto doc = ntfstest::MountFile(path);
        ASSERT_TRUE(doc);
        records = doc->ntfsState->recordCount;
        ASSERT_GT(Walk(*doc), 45u);
    }

    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    std::mt19937 random(20261211);
    auto pick = [&](size_t from, size_t to) { return std::uniform_int_distribution<size_t>(from, to - 1)(random); };
    int mounted = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Offsets changed this round, put back afterwards.
        std::vector<size_t> touched;
        auto set = [&](size_t at, uint8_t value) {
            touched.push_back(at);
            Put(fd, at, &value, 1);
        };
        auto inRecord = [&] { return mft + pick(0, 160) * 1024; };
        switch (round % 5) {
            case 0:   // bit flips in the table
                for (int i = 0, n = 1 + int(pick(0, 6)); i < n; ++i) {
                    const size_t at = pick(mft, mftEnd);
                    set(at, base[at] ^ uint8_t(1u << pick(0, 8)));
                }
                break;
            case 1:   // random bytes in a record's first attributes
                for (int i = 0, n = 1 + int(pick(0, 4)); i < n; ++i) {
                    const size_t at = inRecord() + pick(0, 0x200);
                    set(at, uint8_t(pick(0, 256)));
                }
                break;
            case 2: {  // a high byte of a 64-bit field: sizes, VCNs, references
                const size_t at = inRecord() + 0x38 + pick(0, 0x180);
                set(at, uint8_t(pick(0, 2) ? 0xFF : 0x80));
                break;
            }
            case 3:   // the boot sector
                for (int i = 0, n = 1 + int(pick(0, 3)); i < n; ++i) {
                    const size_t at = pick(3, 80);
                    set(at, uint8_t(pick(0, 256)));
                }
                break;
            default:  // run headers: 0xFF, or length and offset sizes swapped
                for (int i = 0, n = 1 + int(pick(0, 3)); i < n; ++i) {
                    const size_t at = inRecord() + pick(0x100, 0x300);
                    set(at, pick(0, 2) ? uint8_t(0xFF) : uint8_t((base[at] << 4) | (base[at] >> 4)));
                }
                break;
        }
        qvtest::PeakMemory peak;
        {
            auto doc = ntfstest::MountFile(path);
            if (doc) {
                ++mounted;
                ASSERT_LE(Walk(*doc), records) << "round " << round;
            }
        }
        ASSERT_LT(peak.GrowthBytes(), kMemoryLimitBytes) << "round " << round;
        for (size_t at : touched) Put(fd, at, &base[at], 1);
    }
    ::close(fd);
    // Most mutations leave a volume that still mounts.
    EXPECT_GT(mounted, kRounds / 2);
}

}  // namespace
