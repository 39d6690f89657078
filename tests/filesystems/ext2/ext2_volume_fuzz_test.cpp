// A small mke2fs volume (folders, an indexed folder, files reaching the
// indirect blocks, a hole, fast and slow symbolic links) mutated a few
// thousand times: bit flips and random bytes in the superblock, group
// descriptors, inode table and directory blocks, record lengths, and
// truncation. Each is mounted, walked and its small files extracted. A clean
// return is asked (the sanitizers see every out-of-bounds read or overflow),
// a tree of no more items than the volume has room for 12-byte entries, and a
// peak memory within a few times the input plus a fixed amount.

#include "filesystems/ext2/ext2_volume.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/filesystems/ext2/ext2_fixtures.h"
#include "tests/support/peak_memory.h"

namespace filesystems {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRounds = 1000;
constexpr uint64_t kMemoryPerInputByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;
constexpr int64_t kExtractLimitBytes = 256 << 10;
constexpr size_t kSmallestEntryBytes = 12;

// Walks the tree and extracts every small file, as a view and an extraction would.
size_t WalkAndExtract(image::ImageContext& ctx, foundation::FileHandle out) {
    size_t items = 0;
    std::vector<const image::ImageFolder*> work{ctx.rootFolder};
    while (!work.empty()) {
        const image::ImageFolder* folder = work.back();
        work.pop_back();
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (image::IsFolderItem(item)) {
                if (item->ownFolder) work.push_back(item->ownFolder);
            } else if (item->size <= kExtractLimitBytes) {
                ExtractExt2File(nullptr, ctx, *item, u"", out);
            }
        }
    }
    return items;
}

TEST(Ext2VolumeFuzz, MutatedVolumesReturnCleanly) {
    qvtest::TempDir dir;
    const std::string q = ShellQuote(dir / "src");
    RunOk("mkdir -p " + q + "/a/b/c " + q + "/many && cd " + q +
          " && echo one > a/1.txt && seq 1 20000 > a/b/indirect.txt && echo three > a/b/c/3"
          " && truncate -s 300K hole && printf end >> hole"
          " && ln -s short_target link && ln -s $(head -c 90 /dev/zero | tr '\\0' x) longlink"
          " && for i in $(seq 1 120); do echo $i > many/file_with_a_longer_name_$i; done");
    const std::string baseImage = dir / "base.img";
    RunOk("mke2fs -q -F -t ext2 -b 1024 -N 256 -d " + q + " " + ShellQuote(baseImage) + " 1M 2>&1");
    qvtest::Run("e2fsck -fyD " + ShellQuote(baseImage));
    const std::vector<uint8_t> base = qvtest::ReadFileBytes(baseImage);
    ASSERT_EQ(base.size(), 1u << 20);
    {
        ext2test::Document doc = ext2test::OpenImage(baseImage, 0);
        ASSERT_EQ(MountExt2(*doc), 1);
    }
    // The superblock, descriptors, bitmaps, inode table and the folders made
    // first lie in the first blocks of so small a volume.
    const size_t firstMetadata = 1024;
    const size_t metadataEnd = 160 * 1024;

    std::mt19937 random(20261211);
    auto pick = [&](size_t from, size_t to) { return std::uniform_int_distribution<size_t>(from, to - 1)(random); };
    const std::string path = dir / "m.img";
    // Contents go nowhere: only the reading is looked at.
    foundation::UniqueFile out(foundation::OpenFileReadWrite(u"/dev/null"));
    ASSERT_TRUE(out);
    int mounted = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<uint8_t> bytes = base;
        size_t size = bytes.size();
        switch (round % 5) {
            case 0:   // a few bit flips
                for (int i = 0, n = 1 + static_cast<int>(pick(0, 8)); i < n; ++i) {
                    bytes[pick(firstMetadata, metadataEnd)] ^= static_cast<uint8_t>(1u << pick(0, 8));
                }
                break;
            case 1:   // random bytes
                for (int i = 0, n = 1 + static_cast<int>(pick(0, 4)); i < n; ++i) {
                    bytes[pick(firstMetadata, metadataEnd)] = static_cast<uint8_t>(pick(0, 256));
                }
                break;
            case 2:   // a superblock field
                bytes[1024 + pick(0, 128)] = static_cast<uint8_t>(pick(0, 256));
                break;
            case 3: {  // a record length or name length of some directory entry
                const size_t at = pick(firstMetadata, metadataEnd) & ~size_t{3};
                bytes[at + 4 + pick(0, 4)] = static_cast<uint8_t>(pick(0, 256));
                break;
            }
            default:  // truncation, sometimes with a flip
                size = pick(2048, bytes.size());
                if (pick(0, 2)) bytes[pick(firstMetadata, std::min(size, metadataEnd))] ^= 0x10;
                break;
        }
        qvtest::WriteFileBytes(path, bytes.data(), size);
        qvtest::PeakMemory peak;
        ext2test::Document doc = ext2test::OpenImage(path, 0);
        if (MountExt2(*doc) == 1) {
            ++mounted;
            ASSERT_LE(WalkAndExtract(*doc, out.get()), size / kSmallestEntryBytes) << "round " << round;
        } else {
            EXPECT_FALSE(doc->ext2State) << "round " << round;
        }
        doc.reset();
        ASSERT_LT(peak.GrowthBytes(), size * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
    }
    // Most mutations leave a volume that still mounts.
    EXPECT_GT(mounted, kRounds / 4);
}

}  // namespace
}  // namespace filesystems
