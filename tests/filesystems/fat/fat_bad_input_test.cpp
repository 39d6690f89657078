// Damaged FAT volumes, made by patching volumes of mkfs.fat and mcopy: boot
// fields that name no volume are refused; broken chains, looping
// directories and broken long-name runs open with what can be read, in
// bounded work, and a volume found damaged refuses every edit.

#include "filesystems/fat/fat_volume.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "filesystems/fat/fat_volume_hooks.h"
#include "filesystems/fat/fat_write.h"
#include "foundation/byte_order.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/build/add_disk_files.h"
#include "image/document/fat_volume_services.h"
#include "tests/filesystems/fat/fat_fixtures.h"

namespace fattest {
namespace {

// A FAT16 volume in 512-byte clusters: folder D holding folder E and the
// 3000-byte file F.TXT, the long-named "A long name.txt" in the root.
class FatBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        UseMtoolsCodePage();
        image_ = dir / "v.img";
        RunOk("cd " + ShellQuote(dir.path()) + " && mkfs.fat -C -F 16 -s 1 -i 1 v.img 8192 >/dev/null && "
              "mkdir -p d/e && head -c 3000 /dev/urandom > d/f.txt && echo long > 'A long name.txt' && " +
              Mtools() + "mcopy -s -i v.img d 'A long name.txt' ::/");
        bytes_ = qvtest::ReadFileBytes(image_);
        const uint8_t* boot = bytes_.data();
        const uint32_t reserved = foundation::ReadLE16(boot + 14);
        const uint32_t fats = boot[16];
        const uint32_t fatSectors = foundation::ReadLE16(boot + 22);
        rootEntries_ = foundation::ReadLE16(boot + 17);
        fatOffset_ = size_t(reserved) * 512;
        rootOffset_ = size_t(reserved + fats * fatSectors) * 512;
        dataOffset_ = rootOffset_ + size_t(rootEntries_) * 32;
    }

    // The offset of the 8.3 entry named name11 in the directory at offset.
    size_t Entry(size_t directory, const char* name11, uint32_t entries = 16) const {
        for (uint32_t i = 0; i < entries; ++i) {
            if (::memcmp(bytes_.data() + directory + i * 32, name11, 11) == 0) return directory + i * 32;
        }
        ADD_FAILURE() << name11;
        return 0;
    }
    uint16_t ClusterOf(size_t entry) const { return foundation::ReadLE16(bytes_.data() + entry + 26); }
    size_t ClusterOffset(uint32_t cluster) const { return dataOffset_ + size_t(cluster - 2) * 512; }

    void Patch(size_t offset, std::initializer_list<uint8_t> values) {
        const int fd = ::open(image_.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        std::vector<uint8_t> v(values);
        ASSERT_EQ(::pwrite(fd, v.data(), v.size(), off_t(offset)), ssize_t(v.size()));
        ::close(fd);
        std::copy(v.begin(), v.end(), bytes_.begin() + offset);
    }
    void Patch16(size_t offset, uint16_t value) { Patch(offset, {uint8_t(value), uint8_t(value >> 8)}); }

    qvtest::TempDir dir;
    std::string image_;
    std::vector<uint8_t> bytes_;
    uint32_t rootEntries_ = 0;
    size_t fatOffset_ = 0, rootOffset_ = 0, dataOffset_ = 0;
};

TEST_F(FatBadInput, BootFieldsThatNameNoVolumeAreRefused) {
    const std::vector<uint8_t> original = bytes_;
    struct Row {
        const char* what;
        size_t offset;
        std::vector<uint8_t> value;
    } rows[] = {
        {"bytes per sector 0", 11, {0, 0}},
        {"bytes per sector 4096", 11, {0, 0x10}},
        {"sectors per cluster 0", 13, {0}},
        {"reserved sectors 0", 14, {0, 0}},
        {"no FAT", 16, {0}},
        {"FAT size 0", 22, {0, 0}},
        {"fewer sectors than the FATs and the root", 19, {40, 0}},
        {"no type text", 54, {'N', 'O', 'P', 'E', ' '}},
        {"no boot signature", 510, {0, 0}},
        {"data area beyond the image", 19, {0, 0}},
    };
    for (const Row& row : rows) {
        qvtest::WriteFileBytes(image_, original.data(), original.size());
        bytes_ = original;
        for (size_t i = 0; i < row.value.size(); ++i) Patch(row.offset + i, {row.value[i]});
        if (std::string(row.what) == "data area beyond the image") {
            Patch(32, {0xFF, 0xFF, 0xFF, 0xFF});
            Patch16(22, 0xF000);
        }
        EXPECT_EQ(OpenVolume(image_), nullptr) << row.what;
    }
}

// More clusters than the FAT holds: the count is cut to the FAT's entries
// less the two reserved ones, and every chain stays inside the FAT copy.
TEST_F(FatBadInput, ClusterCountIsCutToTheFat) {
    Patch(19, {0, 0});
    Patch(32, {0x00, 0x00, 0x40, 0x00});   // 4 Mi sectors, far more than one FAT sector per 256 clusters
    image::DocumentPtr ctx = OpenVolume(image_);
    ASSERT_NE(ctx, nullptr);
    const filesystems::FatVolume& volume = ctx->fatState->volume;
    EXPECT_LE(uint64_t(volume.clusterCount) + 2, volume.fat.size() / 2);
    ExtractTree(*ctx, dir / "out");
}

// Folders whose directory is cluster 0, their parent's, or outside the volume show
// empty, and the volume refuses edits from then on.
TEST_F(FatBadInput, FoldersThatLoopShowEmptyAndRefuseEdits) {
    const size_t d = Entry(rootOffset_, "D          ", rootEntries_);
    const uint16_t dCluster = ClusterOf(d);
    const size_t e = Entry(ClusterOffset(dCluster), "E          ");
    struct Row {
        const char* what;
        size_t entry;
        uint16_t cluster;
        const char* emptyFolder;
    } rows[] = {
        {"D at cluster 0", d, 0, "/d"},
        {"E at its parent's cluster", e, dCluster, "/d/e"},
        {"D beyond the volume", d, 0xFFF0, "/d"},
    };
    const std::vector<uint8_t> original = bytes_;
    RunOk("echo x > " + ShellQuote(dir / "new"));
    foundation::ScopedServices<image::SetFatVolumeServices> writer(&filesystems::FatVolumeWriterServices());
    for (const Row& row : rows) {
        qvtest::WriteFileBytes(image_, original.data(), original.size());
        bytes_ = original;
        Patch16(row.entry + 26, row.cluster);
        image::DocumentPtr ctx = OpenVolume(image_);
        ASSERT_NE(ctx, nullptr) << row.what;
        EXPECT_TRUE(ctx->fatState->volume.damaged) << row.what;
        image::ImageFolder* folder = image::FindFolderByPath(ctx.get(), nullptr,
                                                            platform::Utf8ToUtf16(row.emptyFolder));
        ASSERT_NE(folder, nullptr) << row.what;
        EXPECT_EQ(folder->firstItem, nullptr) << row.what;
        foundation::OperationStatus = 0;
        EXPECT_EQ(image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "new"), u"new"),
                  nullptr)
            << row.what;
        EXPECT_EQ(ctx->fatState->overlay, nullptr) << row.what;
        foundation::OperationStatus = 0;
    }
}

// A chain that leaves the volume reads short. One that loops, or runs into
// another file's chain, is damaged: it reads what it held before the cluster
// met twice and no more, the file it ran into stays whole, and the volume
// refuses edits.
TEST_F(FatBadInput, BrokenChainsReadBounded) {
    const size_t d = Entry(rootOffset_, "D          ", rootEntries_);
    const size_t f = Entry(ClusterOffset(ClusterOf(d)), "F       TXT");
    const uint16_t first = ClusterOf(f);
    const uint16_t other = ClusterOf(Entry(rootOffset_, "ALONGN~1TXT", rootEntries_));
    struct Row {
        const char* what;
        uint16_t at;
        uint16_t next;
        uint32_t expected;
        bool damaged;
    } rows[] = {
        {"beyond the volume", first, 0xFFF0, 512, false},
        {"free", first, 0x0000, 512, false},
        {"to itself", first, first, 512, true},
        {"back to its head from the third cluster", uint16_t(first + 2), first, 1536, true},
        {"into another file's chain", first, other, 512, true},
    };
    const std::vector<uint8_t> original = bytes_;
    for (const Row& row : rows) {
        qvtest::WriteFileBytes(image_, original.data(), original.size());
        bytes_ = original;
        Patch16(fatOffset_ + size_t(row.at) * 2, row.next);
        image::DocumentPtr ctx = OpenVolume(image_);
        ASSERT_NE(ctx, nullptr);
        const image::ImageItem* item = FindItem(*ctx, u"/d/f.txt");
        ASSERT_NE(item, nullptr);
        std::vector<uint8_t> buffer(4096);
        EXPECT_EQ(filesystems::ReadFatFileData(*ctx, item, buffer.data(), 0, 4096), row.expected) << row.what;
        // Read from inside the damaged part on: nothing.
        if (row.damaged) {
            EXPECT_EQ(filesystems::ReadFatFileData(*ctx, item, buffer.data(), 4, 512), 0u) << row.what;
        }
        EXPECT_EQ(ctx->fatState->volume.damaged, row.damaged) << row.what;
        const image::ImageItem* intact = FindItem(*ctx, u"/A long name.txt");
        ASSERT_NE(intact, nullptr);
        EXPECT_EQ(filesystems::ReadFatFileData(*ctx, intact, buffer.data(), 0, 4096), 5u) << row.what;
    }
}

// Whatever size an entry claims, a file reads only the clusters its chain holds.
TEST_F(FatBadInput, ChainsReadNoFurtherThanTheirClusters) {
    const size_t d = Entry(rootOffset_, "D          ", rootEntries_);
    const size_t f = Entry(ClusterOffset(ClusterOf(d)), "F       TXT");
    const uint16_t first = ClusterOf(f);
    const uint16_t second = first + 1;
    // A chain that comes back to a cluster it passed reads no further than
    // the clusters it holds (mcopy: "loop detected"), whatever size the
    // entry claims: a floppy image never extracts a 4 GiB file.
    struct Row {
        const char* what;
        uint16_t next;           // the first cluster's link
        uint16_t secondNext;     // the second's, 0: kept
        uint32_t size;           // the entry's size, 0: kept
        uint32_t sectorOffset;
        uint32_t expected;
    } rows[] = {
        {"beyond the volume", 0xFFF0, 0, 0, 0, 512},
        {"free", 0x0000, 0, 0, 0, 512},
        {"to itself", first, 0, 0, 0, 512},
        {"to itself in a file of 4 GiB", first, 0, 0xFFFFFFFF, 0, 512},
        {"to itself, read far into 4 GiB", first, 0, 0xFFFFFFFF, 2048, 0},
        {"second back to the first", second, first, 0, 0, 1024},
        {"second back to itself", second, second, 0xFFFFFFFF, 0, 1024},
    };
    const std::vector<uint8_t> original = bytes_;
    for (const Row& row : rows) {
        qvtest::WriteFileBytes(image_, original.data(), original.size());
        bytes_ = original;
        Patch16(fatOffset_ + size_t(first) * 2, row.next);
        if (row.secondNext) Patch16(fatOffset_ + size_t(second) * 2, row.secondNext);
        if (row.size) {
            Patch16(f + 28, uint16_t(row.size));
            Patch16(f + 30, uint16_t(row.size >> 16));
        }
        image::DocumentPtr ctx = OpenVolume(image_);
        ASSERT_NE(ctx, nullptr);
        const image::ImageItem* item = FindItem(*ctx, u"/d/f.txt");
        ASSERT_NE(item, nullptr);
        std::vector<uint8_t> buffer(4096);
        EXPECT_EQ(filesystems::ReadFatFileData(*ctx, item, buffer.data(), row.sectorOffset, 4096), row.expected)
            << row.what;
    }
}

// Long-name runs that cannot be whole: the 8.3 entry is read alone (upper
// case on FAT16); a run at the directory's end is skipped.
TEST_F(FatBadInput, BrokenLongNamesFallBackToTheShortName) {
    const size_t shortEntry = Entry(rootOffset_, "ALONGN~1TXT", rootEntries_);
    const size_t lfn = shortEntry - 32;   // "A long name.txt" takes two long-name entries
    ASSERT_EQ(bytes_[lfn + 11], 0x0F);
    const std::vector<uint8_t> original = bytes_;
    struct Row {
        const char* what;
        size_t offset;
        uint8_t value;
    } rows[] = {
        {"checksum", lfn + 13, uint8_t(bytes_[lfn + 13] + 1)},
        {"sequence 0x40|25", lfn - 32, 0x40 | 25},
        {"sequence 0x40|0", lfn - 32, 0x40},
        {"middle entry not a long name", lfn + 11, 0x20},
    };
    for (const Row& row : rows) {
        qvtest::WriteFileBytes(image_, original.data(), original.size());
        bytes_ = original;
        Patch(row.offset, {row.value});
        image::DocumentPtr ctx = OpenVolume(image_);
        ASSERT_NE(ctx, nullptr) << row.what;
        EXPECT_NE(FindItem(*ctx, u"/ALONGN~1.TXT"), nullptr) << row.what;
        EXPECT_EQ(FindItem(*ctx, u"/A long name.txt"), nullptr) << row.what;
    }
    // A run of three announced at the last entry of the root.
    qvtest::WriteFileBytes(image_, original.data(), original.size());
    bytes_ = original;
    const size_t last = rootOffset_ + size_t(rootEntries_ - 1) * 32;
    for (uint32_t i = 0; i < rootEntries_; ++i) {
        if (bytes_[rootOffset_ + i * 32] == 0) Patch(rootOffset_ + i * 32, {0xE5});
    }
    Patch(last, {0x43});
    Patch(last + 11, {0x0F});
    image::DocumentPtr ctx = OpenVolume(image_);
    ASSERT_NE(ctx, nullptr);
    EXPECT_NE(FindItem(*ctx, u"/A long name.txt"), nullptr);
}

// No label entry and the formatter's "NO NAME" in the boot sector.
TEST_F(FatBadInput, UnlabelledVolumeShowsNoLabel) {
    image::DocumentPtr ctx = OpenVolume(image_);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->volumeTexts[image::volume_text::kVolumeLabel], u"<No Label>");
}

}  // namespace
}  // namespace fattest
