// Volumes made by mkfs.fat and filled by mcopy, opened by our reader: the
// tree equals mdir's listing, every file extracted through ReadFatFileData
// equals what mcopy copies out, on FAT12, FAT16 and FAT32 with other
// reserved-sector counts and cluster sizes, alone and inside a partitioned
// disk (where sleuthkit's fls lists it too).

#include "filesystems/fat/fat_volume.h"

#include <gtest/gtest.h>

#include "filesystems/fat/fat_layout.h"
#include "tests/filesystems/fat/fat_fixtures.h"

namespace fattest {
namespace {

// Long names (13 and 14 units, blanks, several dots), non-ASCII names that
// fit an 8.3 entry and ones that do not, an empty file, files of many
// clusters, a deep tree, and a file split in two runs: a gap left by a
// deleted file is taken by the start of a larger one.
void MakeSource(const std::string& root) {
    RunOk("cd " + ShellQuote(root) +
          " && mkdir -p src/sub/deep/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12 'src/Folder With Spaces' src/ÜBER"
          " && echo hello > src/readme.txt && : > src/empty"
          " && printf abcdefghijklm > src/sub/thirteenchars && printf x > src/sub/fourteenchars"
          " && head -c 70000 /dev/urandom > 'src/sub/A long file name.tar.gz'"
          " && echo deep > src/sub/deep/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/bottom.txt"
          " && echo ä > src/ÜBER/ÄÖ.txt && echo ü > 'src/ÜBER/Grüße aus Köln.txt'"
          " && head -c 3000 /dev/urandom > 'src/Folder With Spaces/x.y.z'"
          " && head -c 9000 /dev/urandom > gap && head -c 200000 /dev/urandom > src/fragmented.bin"
          " && find src gap -exec touch -d @1600000000 {} +");
}

void FillVolume(const std::string& root, const std::string& image) {
    const std::string in = ShellQuote(image);
    RunOk("cd " + ShellQuote(root) + " && " + Mtools() + "mcopy -m -i " + in + " gap ::/gap && " + Mtools() +
          "mcopy -m -s -i " + in + " src/* ::/ && " + Mtools() + "mdel -i " + in + " ::/gap && " + Mtools() +
          "mdel -i " + in + " ::/fragmented.bin && " + Mtools() + "mcopy -m -i " + in +
          " src/fragmented.bin ::/fragmented.bin");
}

struct VolumeCase {
    const char* name;
    const char* mkfs;   // options of mkfs.fat
    uint32_t kib;
    filesystems::FatType type;
};

const VolumeCase kVolumes[] = {
    {"Fat12Floppy", "-F 12", 1440, filesystems::FatType::kFat12},
    {"Fat12FourSectorClusters", "-F 12 -s 4", 4096, filesystems::FatType::kFat12},
    {"Fat16", "-F 16 -s 1", 8192, filesystems::FatType::kFat16},
    {"Fat16EightReserved", "-F 16 -R 8 -s 2", 8192, filesystems::FatType::kFat16},
    {"Fat32", "-F 32 -s 1", 40000, filesystems::FatType::kFat32},
    {"Fat32TwoReserved", "-F 32 -R 2 -s 1", 40000, filesystems::FatType::kFat32},
    {"Fat32TwoSectorClusters", "-F 32 -s 2", 70000, filesystems::FatType::kFat32},
};

class FatRead : public ::testing::TestWithParam<VolumeCase> {
protected:
    void SetUp() override { UseMtoolsCodePage(); }
    qvtest::TempDir dir;
};

TEST_P(FatRead, TreeAndFilesEqualMtools) {
    const VolumeCase& c = GetParam();
    MakeSource(dir.path());
    const std::string image = dir / "v.img";
    RunOk(std::string("mkfs.fat -C ") + c.mkfs + " -i 1 -n TESTVOL " + ShellQuote(image) + " " +
          std::to_string(c.kib) + " 2>&1");
    FillVolume(dir.path(), image);
    RunOk("fsck.fat -n " + ShellQuote(image));

    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    ASSERT_NE(ctx->fatState.get(), nullptr);
    EXPECT_EQ(ctx->fatState->volume.type, c.type);
    EXPECT_FALSE(ctx->fatState->volume.damaged);
    EXPECT_EQ(ctx->formatCode, image::format_code::kDisk);
    EXPECT_EQ(ctx->volumeTexts[image::volume_text::kVolumeLabel], u"TESTVOL");
    EXPECT_EQ(OurListing(*ctx), MdirListing(image));

    ASSERT_TRUE(ExtractTree(*ctx, dir / "ours"));
    RunOk("mkdir " + ShellQuote(dir / "theirs") + " && " + Mtools() + "mcopy -s -n -i " + ShellQuote(image) +
          " '::/*' " + ShellQuote(dir / "theirs"));
    // FAT32 shows 8.3 names without case flags in lower case, mtools as stored.
    const std::vector<std::string> theirs = TreeDigest(dir / "theirs");
    EXPECT_EQ(TreeDigest(dir / "ours"), theirs);
    EXPECT_EQ(theirs.size(), 10u);
    // A piece size that is no multiple of a cluster reads the same bytes.
    ASSERT_TRUE(ExtractTree(*ctx, dir / "odd", 1536));
    EXPECT_EQ(TreeDigest(dir / "odd"), theirs);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatRead, ::testing::ValuesIn(kVolumes),
                         [](const ::testing::TestParamInfo<VolumeCase>& info) { return info.param.name; });

// A FAT32 partition inside an MBR disk, at sector 2048: our tree equals
// mdir's (through the partition offset) and fls's, and the data read
// through the disk's sector reader equals icat's.
TEST(FatReadPartitioned, VolumeInsidePartitionedDisk) {
    UseMtoolsCodePage();
    qvtest::TempDir dir;
    const std::string disk = dir / "disk.img";
    RunOk("truncate -s 48M " + ShellQuote(disk) + " && printf 'label: dos\\nstart=2048, type=c\\n' | sfdisk -q " +
          ShellQuote(disk) + " && mkfs.fat -F 32 -s 1 -i 1 --offset 2048 " + ShellQuote(disk) + " 2>&1");
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p t/a/b && echo one > t/a/one.txt && "
          "head -c 50000 /dev/urandom > 't/a/b/Two Words.bin' && " +
          Mtools() + "mcopy -s -i " + ShellQuote(disk + "@@1M") + " t/* ::/");
    image::DocumentPtr ctx = OpenVolume(disk, 2048, 1);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(OurListing(*ctx), MdirListing(disk + "@@1M"));

    // fls -p lists "type inode:<tab>path"; the virtual entries start with '$'.
    std::vector<std::string> fls;
    for (const std::string& line : SplitLines(RunOk("fls -r -p -o 2048 " + ShellQuote(disk)))) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || line[tab + 1] == '$') continue;
        fls.push_back("::/" + Lower(platform::Utf8ToUtf16(line.substr(tab + 1))) + (line[0] == 'd' ? "/" : ""));
    }
    std::sort(fls.begin(), fls.end());
    EXPECT_EQ(OurListing(*ctx), fls);

    ASSERT_TRUE(ExtractTree(*ctx, dir / "ours"));
    RunOk("diff " + ShellQuote(dir / "ours/a/b/Two Words.bin") + " " + ShellQuote(dir / "t/a/b/Two Words.bin"));
    const std::string inode = RunOk("ifind -o 2048 -n 'a/b/Two Words.bin' " + ShellQuote(disk));
    RunOk("icat -o 2048 " + ShellQuote(disk) + " " + inode.substr(0, inode.find('\n')) + " | cmp - " +
          ShellQuote(dir / "t/a/b/Two Words.bin"));
    // A disk of several partitions opens read-only.
    image::DocumentPtr shared = OpenVolume(disk, 2048, 2);
    ASSERT_NE(shared, nullptr);
    EXPECT_FALSE(shared->fatState->volume.writable);
}

// Reads in the middle of a file: the rest of a cluster, then the next one;
// past the end nothing; a count beyond the end is cut at the size.
TEST(FatReadRanges, OffsetsInsideAndPastTheFile) {
    qvtest::TempDir dir;
    const std::string image = dir / "v.img";
    RunOk("mkfs.fat -C -F 16 -s 2 -i 1 " + ShellQuote(image) + " 8192 2>&1 && head -c 10000 /dev/urandom > " +
          ShellQuote(dir / "f") + " && " + Mtools() + "mcopy -i " + ShellQuote(image) + " " + ShellQuote(dir / "f") +
          " ::/f");
    const std::vector<uint8_t> want = qvtest::ReadFileBytes(dir / "f");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    const image::ImageItem* item = FindItem(*ctx, u"/f");
    ASSERT_NE(item, nullptr);
    struct Row {
        uint32_t sectorOffset;
        uint32_t count;
        uint32_t expected;
    } rows[] = {
        {1, 1024, 1024},          // from inside the first 1024-byte cluster into the next
        {3, 2000, 2000},
        {19, 5000, 10000 - 19 * 512},
        {20, 100, 0},             // 10240: past the end
        {0x1000000 | 2, 512, 512}, // only the low 24 bits count
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> buffer(row.count, 0xAB);
        const uint32_t got = filesystems::ReadFatFileData(*ctx, item, buffer.data(), row.sectorOffset, row.count);
        ASSERT_EQ(got, row.expected) << row.sectorOffset;
        const size_t from = size_t(row.sectorOffset & 0xFFFFFF) * 512;
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + got, want.begin() + from)) << row.sectorOffset;
    }
}

}  // namespace
}  // namespace fattest
