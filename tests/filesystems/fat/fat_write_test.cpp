// Edits of FAT volumes made by mkfs.fat: files and folders added from disk,
// copies inside the volume, deletions. After every edit the overlaid disk is
// dumped through the document's sector reader and checked by fsck.fat -n,
// listed by mdir and copied out by mcopy.

#include "filesystems/fat/fat_write.h"

#include <gtest/gtest.h>

#include "filesystems/fat/fat_layout.h"
#include "filesystems/fat/fat_overlay.h"
#include "filesystems/fat/fat_volume_hooks.h"
#include "foundation/byte_order.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/scripted_prompts.h"
#include "image/build/add_disk_files.h"
#include "image/document/fat_volume_services.h"
#include "tests/filesystems/fat/fat_fixtures.h"

namespace fattest {
namespace {

using filesystems::FatType;

// Scripted boxes and prompts, the FAT writer installed, a settings folder.
class FatWrite : public ::testing::Test {
protected:
    FatWrite()
        : scopedUi_(&ui_), scopedPrompts_(&prompts_), scopedVolume_(&filesystems::FatVolumeWriterServices()) {
        ::setenv("QV_CONFIG_DIR", configDir_.path().c_str(), 1);
        UseMtoolsCodePage();
        foundation::OperationStatus = 0;
        foundation::StandingOverwriteAnswer = -1;
    }
    ~FatWrite() override { foundation::OperationStatus = 0; }

    // mkfs.fat options and size; the volume file is dir/v.img.
    std::string MakeVolume(const std::string& mkfs, uint32_t kib) {
        const std::string image = dir / "v.img";
        RunOk("rm -f " + ShellQuote(image) + " && mkfs.fat -C " + mkfs + " -i 1 " + ShellQuote(image) + " " +
              std::to_string(kib) + " 2>&1");
        return image;
    }

    // The overlaid disk as a file, checked by fsck.fat; its path.
    std::string DumpAndCheck(image::ImageContext& ctx, const std::string& name = "dump.img") {
        const std::string dump = dir / name;
        DumpDisk(ctx, dump);
        const qvtest::CommandResult fsck = qvtest::Run("fsck.fat -n " + ShellQuote(dump) + " 2>&1");
        EXPECT_EQ(fsck.exitCode, 0) << fsck.output;
        return dump;
    }

    // fsck.fat's "files, used/total clusters" line.
    std::string FsckSummary(const std::string& image) {
        std::vector<std::string> lines = SplitLines(RunOk("fsck.fat -n " + ShellQuote(image) + " 2>&1"));
        return lines.empty() ? "" : lines.back().substr(lines.back().find(':'));
    }

    std::string Mtype(const std::string& image, const std::string& path) {
        return RunOk(Mtools() + "mtype -i " + ShellQuote(image) + " " + ShellQuote("::" + path));
    }

    qvtest::TempDir dir;
    qvtest::TempDir configDir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi_;
    foundation::ScriptedPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> scopedPrompts_;
    foundation::ScopedServices<image::SetFatVolumeServices> scopedVolume_;
};

struct VolumeCase {
    const char* name;
    const char* mkfs;
    uint32_t kib;
};

class FatWriteVolumes : public FatWrite, public ::testing::WithParamInterface<VolumeCase> {};

// A tree added from disk: nested folders, names of 13 and 14 units and
// non-ASCII ones, a file of many clusters, and a folder of 40 long names
// that outgrows its first cluster. fsck.fat passes; mdir lists what our tree
// holds; mcopy copies out the bytes added; our reader reads the dump alike.
TEST_P(FatWriteVolumes, AddedTreePassesFsckAndReadsBack) {
    const VolumeCase& c = GetParam();
    const std::string image = MakeVolume(c.mkfs, c.kib);
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p new/a/b/c new/many && head -c 30000 /dev/urandom > "
          "new/a/b/big.bin && printf abcdefghijklm > new/thirteen.txt1 && echo 14 > new/fourteen.txt12 && "
          "echo ä > new/a/Grüße.txt && echo e > new/a/b/c/EXACT.TXT && : > new/empty && "
          "for i in $(seq 1 40); do echo $i > \"new/many/a rather long file name $i.text\"; done");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    const std::string before = FsckSummary(image);
    ASSERT_NE(image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "new"), u"new"), nullptr);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
    EXPECT_NE(ctx->fatState->overlay, nullptr);
    // The image file itself is never written.
    RunOk("fsck.fat -n " + ShellQuote(image));
    EXPECT_EQ(FsckSummary(image), before);

    const std::string dump = DumpAndCheck(*ctx);
    EXPECT_EQ(OurListing(*ctx), MdirListing(dump));
    RunOk("mkdir " + ShellQuote(dir / "out") + " && " + Mtools() + "mcopy -s -n -i " + ShellQuote(dump) +
          " ::/new " + ShellQuote(dir / "out"));
    RunOk("diff -r " + ShellQuote(dir / "new") + " " + ShellQuote(dir / "out/new"));

    // Our own reader over the dump, and over the document itself.
    image::DocumentPtr again = OpenVolume(dump);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->fatState->volume.damaged);
    EXPECT_EQ(OurListing(*again), OurListing(*ctx));
    ASSERT_TRUE(ExtractTree(*ctx, dir / "ours"));
    RunOk("diff -r " + ShellQuote(dir / "new") + " " + ShellQuote(dir / "ours/new"));
}

// Renames and moves change the volume, not just the tree: a file renamed to
// a long name, a file moved into another folder, a folder moved (its ".."
// then names its new parent, 0 for the root) and a folder renamed. The data
// stays in its clusters: fsck.fat passes with the same cluster count, mdir
// lists what our tree shows, mtype reads the same bytes.
TEST_P(FatWriteVolumes, RenamesAndMovesAreWrittenToTheVolume) {
    const VolumeCase& c = GetParam();
    const std::string image = MakeVolume(c.mkfs, c.kib);
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p a/sub/deep b && head -c 5000 /dev/urandom > a/f.bin && "
          "echo g > a/sub/g.txt && echo d > a/sub/deep/d.txt && echo r > root.txt && " + Mtools() +
          "mcopy -s -i v.img a b root.txt ::/");
    const std::string before = FsckSummary(image);
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::ImageFolder* b = image::FindFolderByPath(ctx.get(), nullptr, u"/b");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(image::RenameDocumentItem(ctx.get(), FindItem(*ctx, u"/root.txt"), u"A renamed file, longer.txt"), 0);
    ASSERT_NE(image::CopyFileItem(ctx.get(), b, FindItem(*ctx, u"/a/f.bin"), true, false), nullptr);
    ASSERT_NE(image::CopyFolder(ctx.get(), image::FindFolderByPath(ctx.get(), nullptr, u"/a/sub"), b, true, false),
              nullptr);
    ASSERT_NE(image::CopyFolder(ctx.get(), image::FindFolderByPath(ctx.get(), nullptr, u"/b/sub/deep"),
                                ctx->rootFolder, true, false),
              nullptr);
    ASSERT_EQ(image::RenameDocumentItem(ctx.get(), b->ownItem, u"Bee folder"), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);

    const std::string dump = DumpAndCheck(*ctx);
    EXPECT_EQ(FsckSummary(dump), before);
    const std::vector<std::string> expected = {
        "::/a renamed file, longer.txt", "::/a/", "::/bee folder/", "::/bee folder/f.bin", "::/bee folder/sub/",
        "::/bee folder/sub/g.txt",      "::/deep/", "::/deep/d.txt"};
    EXPECT_EQ(OurListing(*ctx), expected);
    EXPECT_EQ(MdirListing(dump), expected);
    EXPECT_EQ(Mtype(dump, "/Bee folder/f.bin"), RunOk("cat " + ShellQuote(dir / "a/f.bin")));
    EXPECT_EQ(Mtype(dump, "/Bee folder/sub/g.txt"), "g\n");
    EXPECT_EQ(Mtype(dump, "/deep/d.txt"), "d\n");
    EXPECT_EQ(Mtype(dump, "/A renamed file, longer.txt"), "r\n");
    // ".." of the moved folders, as the next reader walks up.
    RunOk(Mtools() + "mdir -i " + ShellQuote(dump) + " ::/deep/.. ::/Bee\\ folder/sub/..");
    image::DocumentPtr again = OpenVolume(dump);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->fatState->volume.damaged);
    EXPECT_EQ(OurListing(*again), expected);
}

// A rename the volume cannot hold (a full fixed root, a long name needing
// more entries than the old one gave back) is refused: the item keeps its
// name and the volume its entry.
TEST_F(FatWrite, RenameThatFindsNoRoomKeepsTheOldName) {
    const std::string image = MakeVolume("-F 12 -r 16", 1440);
    RunOk("cd " + ShellQuote(dir.path()) + " && for i in $(seq 1 16); do echo $i > F$i; done && " + Mtools() +
          "mcopy -i v.img F* ::/");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::ImageItem* item = FindItem(*ctx, u"/F1");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(image::RenameDocumentItem(ctx.get(), item, u"a name longer than one entry holds"), -1);
    EXPECT_EQ(std::u16string(item->name), u"F1");
    EXPECT_EQ(FindItem(*ctx, u"/F1"), item);
    const std::string dump = DumpAndCheck(*ctx);
    EXPECT_EQ(MdirListing(dump), OurListing(*ctx));
    EXPECT_EQ(Mtype(dump, "/F1"), "1\n");
    // With the entry of a deleted file beside its own (mcopy wrote F1, F10,
    // ...), the name fits.
    foundation::OperationStatus = 0;
    image::DeleteItem(ctx.get(), FindItem(*ctx, u"/F10"));
    EXPECT_EQ(image::RenameDocumentItem(ctx.get(), item, u"G1"), 0);
    EXPECT_EQ(Mtype(DumpAndCheck(*ctx, "dump2.img"), "/G1"), "1\n");
}

const VolumeCase kVolumes[] = {
    {"Fat12Floppy", "-F 12", 1440},
    {"Fat16", "-F 16 -s 1", 8192},
    {"Fat32", "-F 32 -s 1", 40000},
    {"Fat32TwoReserved", "-F 32 -R 2 -s 1", 40000},
};
INSTANTIATE_TEST_SUITE_P(Volumes, FatWriteVolumes, ::testing::ValuesIn(kVolumes),
                         [](const ::testing::TestParamInfo<VolumeCase>& info) { return info.param.name; });

// Copies inside the volume take clusters of their own: the source keeps its
// bytes, and a copy that fails for lack of room (and is deleted again) takes
// nothing of the source with it.
TEST_F(FatWrite, CopiesNeverShareTheSourceRecord) {
    const std::string image = MakeVolume("-F 12", 1440);
    RunOk("head -c 800000 /dev/urandom > " + ShellQuote(dir / "half") + " && head -c 900 /dev/urandom > " +
          ShellQuote(dir / "small") + " && " + Mtools() + "mmd -i " + ShellQuote(image) + " ::/d && " + Mtools() +
          "mcopy -i " + ShellQuote(image) + " " + ShellQuote(dir / "half") + " " + ShellQuote(dir / "small") +
          " ::/");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::ImageFolder* d = image::FindFolderByPath(ctx.get(), nullptr, u"/d");
    ASSERT_NE(d, nullptr);
    ASSERT_NE(image::CopyFileItem(ctx.get(), d, FindItem(*ctx, u"/small"), false, false), nullptr);
    std::string dump = DumpAndCheck(*ctx);
    EXPECT_EQ(Mtype(dump, "/d/small"), Mtype(dump, "/small"));
    RunOk(Mtools() + "mtype -i " + ShellQuote(dump) + " ::/small | cmp - " + ShellQuote(dir / "small"));

    // 800,000 bytes twice do not fit a floppy.
    EXPECT_EQ(image::CopyFileItem(ctx.get(), d, FindItem(*ctx, u"/half"), false, false), nullptr);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    ASSERT_FALSE(ui_.Boxes().empty());
    EXPECT_NE(ui_.Boxes().back().request.text.find(u"There is no enough space to hold the file."),
              std::u16string::npos);
    EXPECT_EQ(FindItem(*ctx, u"/d/half"), nullptr);
    dump = DumpAndCheck(*ctx, "dump2.img");
    RunOk(Mtools() + "mtype -i " + ShellQuote(dump) + " ::/half | cmp - " + ShellQuote(dir / "half"));
}

// Deleting a file and a folder with a subtree gives back every cluster they
// held: fsck.fat counts as many used clusters as before they were added.
TEST_F(FatWrite, DeletesGiveBackEveryCluster) {
    const std::string image = MakeVolume("-F 16 -s 1", 8192);
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p tree/x/y && head -c 20000 /dev/urandom > tree/x/y/f && "
          "echo a > tree/x/a && head -c 3000 /dev/urandom > lone.bin && " + Mtools() + "mcopy -s -i " +
          ShellQuote(image) + " tree lone.bin ::/");
    // The volume as it was before the two were added.
    const std::string empty = dir / "empty.img";
    RunOk("mkfs.fat -C -F 16 -s 1 -i 1 " + ShellQuote(empty) + " 8192 >/dev/null");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::DeleteItem(ctx.get(), FindItem(*ctx, u"/lone.bin"));
    image::DeleteFolder(ctx.get(), image::FindFolderByPath(ctx.get(), nullptr, u"/tree"));
    const std::string dump = DumpAndCheck(*ctx);
    EXPECT_TRUE(MdirListing(dump).empty());
    EXPECT_EQ(FsckSummary(dump), FsckSummary(empty));
}

// A stray ".." entry inside a deleted folder (by name, not at index 1) is
// not followed: the parent's clusters stay in use.
TEST_F(FatWrite, DeletedFolderNeverFreesItsParent) {
    const std::string image = MakeVolume("-F 16 -s 1", 8192);
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p p/q && echo keep > p/keep && echo q > p/q/file && " +
          Mtools() + "mcopy -s -i " + ShellQuote(image) + " p ::/");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::DeleteFolder(ctx.get(), image::FindFolderByPath(ctx.get(), nullptr, u"/p/q"));
    const std::string dump = DumpAndCheck(*ctx);
    EXPECT_EQ(Mtype(dump, "/p/keep"), "keep\n");
    EXPECT_EQ(MdirListing(dump), (std::vector<std::string>{"::/p/", "::/p/keep"}));
}

// Room: a full FAT12 root refuses another entry; a file needing exactly the
// free clusters is refused, one cluster less is taken.
TEST_F(FatWrite, RoomRunsOutCleanly) {
    const std::string image = MakeVolume("-F 12 -r 16", 1440);
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    RunOk("cd " + ShellQuote(dir.path()) + " && for i in $(seq 1 8); do echo $i > f$i; done");
    // Each name takes a long-name entry and its 8.3 entry: 8 fill 16.
    for (int i = 1; i <= 8; ++i) {
        const std::string name = "f" + std::to_string(i);
        ASSERT_NE(image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / name),
                                     platform::Utf8ToUtf16(name)),
                  nullptr)
            << name;
    }
    EXPECT_EQ(image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "f1"), u"g"), nullptr);
    foundation::OperationStatus = 0;
    DumpAndCheck(*ctx);

    image::DocumentPtr roomy = OpenVolume(MakeVolume("-F 12", 1440));
    ASSERT_NE(roomy, nullptr);
    const int64_t freeClusters = roomy->fatState->volume.freeCount;
    RunOk("head -c " + std::to_string(freeClusters * 512) + " /dev/zero > " + ShellQuote(dir / "exact") +
          " && head -c " + std::to_string((freeClusters - 1) * 512) + " /dev/zero > " + ShellQuote(dir / "less"));
    EXPECT_EQ(image::AddDiskItem(roomy.get(), roomy->rootFolder, platform::Utf8ToUtf16(dir / "exact"), u"exact"),
              nullptr);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    foundation::OperationStatus = 0;
    EXPECT_NE(image::AddDiskItem(roomy.get(), roomy->rootFolder, platform::Utf8ToUtf16(dir / "less"), u"less"),
              nullptr);
    EXPECT_EQ(roomy->fatState->volume.freeCount, 1);
    const std::string dump = DumpAndCheck(*roomy, "roomy.img");
    RunOk(Mtools() + "mtype -i " + ShellQuote(dump) + " ::/less | cmp - " + ShellQuote(dir / "less"));
}

// Characters no FAT name may carry become '_' on the volume and in the tree;
// a name longer than 255 units is refused.
TEST_F(FatWrite, NamesTheVolumeCannotHold) {
    const std::string image = MakeVolume("-F 16 -s 1", 8192);
    RunOk("echo odd > " + ShellQuote(dir / "a:b?c*.txt") + " && echo long > " + ShellQuote(dir / "long"));
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::ImageItem* odd =
        image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "a:b?c*.txt"), u"a:b?c*.txt");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->name.view(), u"a_b_c_.txt");
    EXPECT_EQ(image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "long"),
                                 std::u16string(256, u'n')),
              nullptr);
    foundation::OperationStatus = 0;
    ASSERT_NE(image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "long"),
                                 std::u16string(255, u'n')),
              nullptr);
    const std::string dump = DumpAndCheck(*ctx);
    EXPECT_EQ(MdirListing(dump), OurListing(*ctx));
    EXPECT_EQ(Mtype(dump, "/a_b_c_.txt"), "odd\n");
}

// A folder made in the FAT32 root names the root as cluster 0 in its "..".
TEST_F(FatWrite, FolderInFat32RootPointsDotDotAtZero) {
    const std::string image = MakeVolume("-F 32 -s 1", 40000);
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::ImageItem* made = image::AddNewFolder(ctx.get(), ctx->rootFolder, u"Made");
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(filesystems::FatCreateFolder(*ctx, made), 0);
    filesystems::FatEntryRecord record;
    ASSERT_TRUE(filesystems::GetFatEntryRecord(made, record));
    std::vector<uint8_t> cluster(512);
    ASSERT_EQ(filesystems::ReadFatCluster(*ctx, cluster.data(), record.firstCluster), 0);
    EXPECT_EQ(std::string(cluster.begin() + 32, cluster.begin() + 43), "..         ");
    EXPECT_EQ(foundation::ReadLE16(cluster.data() + 32 + 26), 0);
    EXPECT_EQ(foundation::ReadLE16(cluster.data() + 32 + 20), 0);
    EXPECT_EQ(foundation::ReadLE16(cluster.data() + 26), record.firstCluster);
    DumpAndCheck(*ctx);
    // A volume of more than 65,536 sectors keeps its clusters in a file,
    // deleted when the document goes.
    ASSERT_TRUE(ctx->fatState->overlay->fileMode);
    const std::string file = platform::Utf16ToUtf8(ctx->fatState->overlay->fileName);
    EXPECT_EQ(qvtest::Run("test -f " + ShellQuote(file)).exitCode, 0);
    ctx.reset();
    EXPECT_NE(qvtest::Run("test -e " + ShellQuote(file)).exitCode, 0);
}

// FSInfo values that cannot be right are counted anew and written where the
// BPB names the sector and its backup; a -R 2 volume has its FAT where
// sector 7 would be, and it stays untouched.
TEST_F(FatWrite, UnknownFsInfoIsCountedAnew) {
    struct Row {
        const char* mkfs;
        uint32_t backupSector;   // 0: none
    } rows[] = {{"-F 32 -s 1", 7}, {"-F 32 -R 2 -s 1", 0}};
    for (const Row& row : rows) {
        const std::string image = MakeVolume(row.mkfs, 40000);
        RunOk("printf '\\377\\377\\377\\377\\377\\377\\377\\377' | dd of=" + ShellQuote(image) +
              " bs=1 seek=1000 conv=notrunc status=none");
        std::vector<uint8_t> original = qvtest::ReadFileBytes(image);
        image::DocumentPtr ctx = OpenVolume(image);
        ASSERT_NE(ctx, nullptr);
        const filesystems::FatVolume& volume = ctx->fatState->volume;
        std::vector<uint8_t> sector(512);
        ASSERT_EQ(filesystems::ReadDiskSectors(*ctx, 1, sector.data(), 1), 1u);
        EXPECT_EQ(foundation::ReadLE32(sector.data() + 488), uint32_t(volume.freeCount)) << row.mkfs;
        EXPECT_EQ(foundation::ReadLE32(sector.data() + 492), volume.nextFree) << row.mkfs;
        ASSERT_EQ(filesystems::ReadDiskSectors(*ctx, 7, sector.data(), 1), 1u);
        if (row.backupSector) {
            EXPECT_EQ(foundation::ReadLE32(sector.data() + 488), uint32_t(volume.freeCount));
        } else {
            EXPECT_TRUE(std::equal(sector.begin(), sector.end(), original.begin() + 7 * 512)) << row.mkfs;
        }
        DumpAndCheck(*ctx);
    }
}

// Writing a file the volume already holds reuses its chain and frees what
// the new size no longer needs.
TEST_F(FatWrite, OverwriteReusesTheChain) {
    const std::string image = MakeVolume("-F 16 -s 1", 8192);
    RunOk("head -c 20000 /dev/urandom > " + ShellQuote(dir / "long") + " && head -c 3000 /dev/urandom > " +
          ShellQuote(dir / "short") + " && " + Mtools() + "mcopy -i " + ShellQuote(image) + " " +
          ShellQuote(dir / "long") + " ::/f");
    image::DocumentPtr ctx = OpenVolume(image);
    ASSERT_NE(ctx, nullptr);
    image::ImageItem* item = FindItem(*ctx, u"/f");
    ASSERT_NE(item, nullptr);
    filesystems::FatEntryRecord before;
    ASSERT_TRUE(filesystems::GetFatEntryRecord(item, before));
    const int64_t freeBefore = ctx->fatState->volume.freeCount;
    item->diskPath = platform::Utf8ToUtf16(dir / "short");
    ASSERT_EQ(filesystems::FatWriteFile(*ctx, nullptr, item), 0);
    filesystems::FatEntryRecord after;
    ASSERT_TRUE(filesystems::GetFatEntryRecord(item, after));
    EXPECT_EQ(after.firstCluster, before.firstCluster);
    EXPECT_EQ(ctx->fatState->volume.freeCount, freeBefore + (20000 + 511) / 512 - (3000 + 511) / 512);
    const std::string dump = DumpAndCheck(*ctx);
    RunOk(Mtools() + "mtype -i " + ShellQuote(dump) + " ::/f | cmp - " + ShellQuote(dir / "short"));
}

// FAT entries: a FAT12 entry at an odd index keeps the low 4 bits of its
// word, at an even index the high 4 bits; FAT32 entries keep their top 4 bits.
TEST(FatEntries, NeighboursAndReservedBitsStay) {
    filesystems::FatVolume volume;
    volume.clusterCount = 100;
    volume.fat.assign(512, 0);
    volume.dirtyFatSectors.assign(1, 0);
    struct Row {
        FatType type;
        uint32_t n;
        uint32_t value;
        std::vector<uint8_t> fill;   // the bytes around the entry before
        size_t at;
        std::vector<uint8_t> expected;
    } rows[] = {
        {FatType::kFat12, 3, 0xABC, {0xFF, 0xFF}, 4, {0xCF, 0xAB}},   // odd: word at 4, low nibble stays
        {FatType::kFat12, 2, 0xABC, {0xFF, 0xFF}, 3, {0xBC, 0xFA}},   // even: word at 3, high nibble stays
        {FatType::kFat16, 5, 0x1234, {0xFF, 0xFF}, 10, {0x34, 0x12}},
        {FatType::kFat32, 5, 0x0FFFFFFF, {0, 0, 0, 0xA0}, 20, {0xFF, 0xFF, 0xFF, 0xAF}},
    };
    for (const Row& row : rows) {
        volume.type = row.type;
        std::fill(volume.fat.begin(), volume.fat.end(), 0);
        std::copy(row.fill.begin(), row.fill.end(), volume.fat.begin() + row.at);
        filesystems::SetFatEntry(volume, row.n, row.value);
        EXPECT_TRUE(std::equal(row.expected.begin(), row.expected.end(), volume.fat.begin() + row.at))
            << int(row.type) << " " << row.n;
        EXPECT_EQ(filesystems::GetFatEntry(volume, row.n), row.value & 0x0FFFFFFF);
        EXPECT_TRUE(volume.fatChanged);
    }
}

}  // namespace
}  // namespace fattest
