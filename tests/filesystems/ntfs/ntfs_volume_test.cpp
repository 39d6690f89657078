// NTFS volumes made by mkntfs and filled by ntfscp, wimlib or ntfs-3g, mounted and
// compared with sleuthkit: the listing with fls -r -p (system files, the
// orphan folder and named streams aside), every file's bytes with
// tsk_recover (icat's reader).

#include "filesystems/ntfs/ntfs_volume.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "tests/filesystems/ntfs/ntfs_fixtures.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

// A source tree for wimlib: nested folders, a folder of many names (its index
// spills out of the record), a sparse file, names beyond ASCII, an empty file.
const char* const kTreeRecipe =
    "mkdir -p src/a/b/c/d/e src/many src/s && echo hi > src/a/1.txt && "
    "head -c 300000 /dev/urandom > src/a/b/2.bin && "
    "seq 1 30000 > src/a/b/c/d/e/deep.txt && : > src/empty && echo x > 'src/s/naïve ünï 名前.txt' && "
    "truncate -s 5M src/s/sparse.bin && printf x | dd of=src/s/sparse.bin bs=1 seek=3000000 conv=notrunc 2>/dev/null && "
    "for i in $(seq 1 300); do echo $i > src/many/file-with-a-longer-name-$i.txt; done && "
    "wimlib-imagex capture src x.wim >/dev/null && ";

// Files for ntfscp: resident, plain, compressible, incompressible with a
// short last unit, long runs of zeros (sparse units when compressed).
const char* const kCopyRecipe =
    "echo tiny > tiny && head -c 300000 /dev/urandom > rnd && head -c 70000 /dev/urandom > rnd70k && "
    "seq 1 40000 > text && : > empty && "
    "{ seq 1 5000; head -c 200000 /dev/zero; head -c 9000 /dev/urandom; head -c 100000 /dev/zero; } > holes && "
    "for f in tiny rnd rnd70k text empty holes; do ntfscp -q p.img $f $f; done";

// Named streams beside the content: a zone mark, and twelve streams of 300
// bytes, which push the file's name and some streams into extension records
// behind an attribute list.
const char* const kStreamRecipe =
    "head -c 50000 /dev/urandom > base && head -c 300 /dev/urandom > s300 && echo '[ZoneTransfer]' > zone && "
    "ntfscp -q p.img base f && ntfscp -q p.img base g && ntfscp -q -N Zone.Identifier p.img zone g && "
    "for i in $(seq 1 12); do ntfscp -q -N st$i p.img s300 f; done";

// Files grown by ntfs-3g past what was written: the data size goes on, the
// initialized size stays at the written bytes (4, and 3000), and the rest
// reads as zeros. The attributes are sparse and carry a compression unit
// without being compressed.
const char* const kGrownRecipe =
    "mkdir m && { ntfs-3g -o no_detach p.img m & pid=$!; } && "
    "for i in $(seq 1 100); do mountpoint -q m && break; sleep 0.1; done && "
    "printf abcd > m/f.bin && truncate -s 100000 m/f.bin && "
    "head -c 3000 /dev/urandom > m/g.bin && truncate -s 50000 m/g.bin && "
    "fusermount -u m && wait $pid && istat p.img 64 | grep -q 'init_size: 4'";

struct VolumeCase {
    const char* name;
    std::string recipe;      // run in a scratch folder; leaves p.img
    int32_t startSector;
    int minFiles;            // non-empty files compared at least
    friend void PrintTo(const VolumeCase& c, std::ostream* os) { *os << c.name; }
};

class NtfsVolume : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(NtfsVolume, ListsAndExtractsLikeSleuthkit) {
    const VolumeCase& c = GetParam();
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) + " && " + c.recipe);
    const std::string image = dir / "p.img";
    auto doc = ntfstest::MountFile(image, c.startSector);
    ASSERT_TRUE(doc);
    const auto ours = ntfstest::ListTree(*doc);
    const auto theirs = ntfstest::ListFls(image, c.startSector);
    EXPECT_EQ(ours.size(), theirs.size());
    for (const auto& [path, e] : theirs) {
        auto it = ours.find(path);
        ASSERT_NE(it, ours.end()) << path;
        EXPECT_EQ(it->second.folder, e.folder) << path;
        EXPECT_EQ(it->second.record, e.record) << path;
    }
    EXPECT_GE(ntfstest::CompareAllWithSleuthkit(*doc, image, dir.path(), c.startSector), c.minFiles);
}

const std::string kMake = "truncate -s 32M p.img && mkntfs -q -F -Q -L Vol ";

INSTANTIATE_TEST_SUITE_P(
    Volumes, NtfsVolume,
    ::testing::Values(
        VolumeCase{"Plain4k", kMake + "-c 4096 p.img && " + kCopyRecipe, 0, 5},
        VolumeCase{"Plain512", kMake + "-c 512 p.img && " + kCopyRecipe, 0, 5},
        VolumeCase{"Compressed4k", kMake + "-C -c 4096 p.img && " + kCopyRecipe, 0, 5},
        VolumeCase{"Compressed512", kMake + "-C -c 512 p.img && " + kCopyRecipe, 0, 5},
        VolumeCase{"GrownPastTheWrittenBytes", kMake + "-c 4096 p.img && " + kGrownRecipe, 0, 2},
        VolumeCase{"NamedStreams", kMake + "-c 4096 p.img && " + kStreamRecipe, 0, 2},
        VolumeCase{"Clusters64k", "truncate -s 64M p.img && mkntfs -q -F -Q -c 65536 p.img && " +
                                      std::string(kCopyRecipe), 0, 5},
        VolumeCase{"WimTree", std::string(kTreeRecipe) + kMake + "-c 4096 p.img && wimlib-imagex apply x.wim 1 p.img >/dev/null",
                   0, 304},
        VolumeCase{"WimTreeCompressed",
                   std::string(kTreeRecipe) + kMake + "-C -c 4096 p.img && wimlib-imagex apply x.wim 1 p.img >/dev/null",
                   0, 304},
        // The volume inside a disk, 1 MiB in.
        VolumeCase{"AtOffset", std::string(kTreeRecipe) + "truncate -s 32M v.img && mkntfs -q -F -Q -c 4096 v.img && "
                                   "wimlib-imagex apply x.wim 1 v.img >/dev/null && truncate -s 1M p.img && "
                                   "cat v.img >> p.img",
                   2048, 304}),
    [](const ::testing::TestParamInfo<VolumeCase>& info) { return std::string(info.param.name); });

// The label, item times from $STANDARD_INFORMATION, the compressed mark, and
// what an extraction tells its caller: progress in bytes, a cancel, a write
// that fails.
TEST(NtfsVolumeFacts, LabelTimesMarksAndExtractionOutcomes) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p src/f && seq 1 100000 > src/f/text && touch -d @1600000000 src/f/text && "
          "wimlib-imagex capture src x.wim >/dev/null && truncate -s 16M p.img && "
          "mkntfs -q -F -Q -C -c 4096 -L 'Données' p.img && ntfscp -q p.img src/f/text c && "
          "wimlib-imagex apply x.wim 1 p.img >/dev/null");
    auto doc = ntfstest::MountFile(dir / "p.img");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->volumeTexts[image::volume_text::kVolumeLabel], u"Données");
    const auto tree = ntfstest::ListTree(*doc);
    ASSERT_TRUE(tree.count("f/text"));
    const image::ImageItem& text = *tree.at("f/text").item;
    EXPECT_EQ(text.time, 1600000000u);
    // ntfscp compresses on a -C volume; wimlib then gives the root the
    // source's plain attributes, so its files are not compressed.
    ASSERT_TRUE(tree.count("c"));
    EXPECT_EQ(tree.at("c").item->Side().highlight, 1);
    EXPECT_EQ(text.Side().highlight, 0);
    EXPECT_TRUE(image::IsFolderItem(tree.at("f").item));

    foundation::ProgressCallbacks progress;
    int64_t done = 0;
    progress.AddDone = [&](int64_t bytes) { done += bytes; };
    {
        foundation::UniqueFile out(foundation::CreateNewFile(platform::Utf8ToUtf16(dir / "out")));
        EXPECT_EQ(filesystems::ExtractNtfsFile(&progress, *doc, text, u"", out.get()), 1);
        EXPECT_EQ(done, text.size);
    }
    {
        foundation::OperationStatus = 0;
        progress.cancelEvent.Set();
        foundation::UniqueFile out(foundation::CreateNewFile(platform::Utf8ToUtf16(dir / "out")));
        EXPECT_EQ(filesystems::ExtractNtfsFile(&progress, *doc, text, u"", out.get()), 0);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
        progress.cancelEvent.Reset();
    }
    {
        // A full disk.
        foundation::OperationStatus = 0;
        foundation::UniqueFile out(foundation::OpenFileReadWrite(u"/dev/full"));
        ASSERT_TRUE(out);
        EXPECT_EQ(filesystems::ExtractNtfsFile(nullptr, *doc, text, u"", out.get()), -1);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);
    }
}

}  // namespace
