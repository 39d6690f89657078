// ext2 and ext3 volumes made by mke2fs -d, alone and inside partitioned
// disks: the tree equals fls -r -p and debugfs ls -p (paths, inodes, kinds,
// sizes), and every file extracted equals debugfs rdump through diff -r (a
// symbolic link's extracted target is turned back into a link for the
// comparison) and icat. Volumes with layouts the reader does not know are
// refused.

#include "filesystems/ext2/ext2_volume.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "filesystems/ext2/ext2_directory.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "tests/filesystems/ext2/ext2_fixtures.h"

namespace filesystems {
namespace {

using ext2test::Document;
using ext2test::ExtractTo;
using ext2test::FlsListing;
using ext2test::ListTree;
using ext2test::OpenImage;
using qvtest::RunOk;
using qvtest::ShellQuote;

struct Variant {
    const char* name;
    const char* mkfs;                // file system type, block size and features
    const char* size;                // of the file system
    uint32_t partitionType;          // MBR type byte of a partition at 2048; 0: the volume alone
    uint32_t volumeOffsetSectors;    // where mke2fs puts the volume
    int32_t partitionClass;          // as the partition chooser gives it
    bool icat = true;                // sleuthkit reads blocks up to 32 KiB only
};

std::ostream& operator<<(std::ostream& os, const Variant& v) { return os << v.name; }

// The partition of a disk starts at sector 2048; an LVM partition holds its
// own header first, here 100 sectors of it.
const Variant kVariants[] = {
    {"ext2_1k_in_partition", "-t ext2 -b 1024", "16M", 0x83, 2048, 0},
    {"ext2_4k", "-t ext2 -b 4096", "24M", 0, 0, 0},
    {"ext3_1k", "-t ext3 -b 1024", "16M", 0, 0, 0},
    {"ext3_4k_in_partition", "-t ext3 -b 4096", "24M", 0x83, 2048, 0},
    {"revision_0", "-t ext2 -r 0", "16M", 0, 0, 0},
    {"no_file_type", "-t ext2 -O ^filetype", "16M", 0, 0, 0},
    // 37 groups: the second descriptor block lies in group 32, the first
    // after group 0's superblock.
    {"meta_groups", "-t ext2 -b 1024 -O meta_bg,^resize_inode", "300M", 0, 0, 0},
    {"blocks_64k", "-t ext2 -b 65536", "32M", 0, 0, 0, false},
    {"lvm_100_sectors_in", "-t ext2 -b 1024", "16M", 0x8E, 2148, 8},
};

class Ext2Volumes : public testing::TestWithParam<Variant> {};

// inode -> (mode, size) from debugfs ls -p of every folder of the tree.
std::map<uint32_t, std::pair<std::string, uint64_t>> DebugfsInodes(const std::string& device,
                                                                   const std::map<std::string, ext2test::Entry>& tree,
                                                                   const std::string& commandFile) {
    std::string commands = "ls -p /\n";
    for (const auto& [path, entry] : tree) {
        if (entry.folder) commands += "ls -p \"/" + path + "\"\n";
    }
    qvtest::WriteFileText(commandFile, commands);
    std::istringstream lines(RunOk("debugfs -f " + ShellQuote(commandFile) + " " + ShellQuote(device) + " 2>/dev/null"));
    std::map<uint32_t, std::pair<std::string, uint64_t>> out;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != '/') continue;
        // /inode/mode/uid/gid/name/size/
        std::vector<std::string> fields;
        std::istringstream parts(line.substr(1));
        std::string field;
        while (std::getline(parts, field, '/')) fields.push_back(field);
        if (fields.size() < 5) continue;
        out[std::stoul(fields[0])] = {fields[1], fields.size() > 5 && !fields[5].empty() ? std::stoull(fields[5]) : 0};
    }
    return out;
}

TEST_P(Ext2Volumes, ListAndExtractLikeTheDebianTools) {
    const Variant& v = GetParam();
    qvtest::TempDir dir;
    ext2test::MakeSourceTree(dir / "src");
    const std::string image = dir / "disk.img";
    const std::string offset = std::to_string(uint64_t{v.volumeOffsetSectors} * 512);
    if (v.partitionType) {
        std::ostringstream type;
        type << std::hex << v.partitionType;
        RunOk("truncate -s 400M " + ShellQuote(image) + " && echo 'start=2048, type=" + type.str() +
              "' | sfdisk -q " + ShellQuote(image));
    }
    RunOk("mke2fs -q -F " + std::string(v.mkfs) + " -E offset=" + offset + " -d " + ShellQuote(dir / "src") + " " +
          ShellQuote(image) + " " + v.size + " 2>&1");
    const std::string device = image + "?offset=" + offset;

    const uint64_t partitionStart = v.partitionType ? 2048 : 0;
    Document doc = OpenImage(image, partitionStart, v.partitionClass);
    Ext2MountReport report;
    ASSERT_EQ(MountExt2(*doc, &report), 1) << static_cast<int>(report.refusal);
    EXPECT_EQ(doc->partitionStart, uint64_t{v.volumeOffsetSectors});
    EXPECT_EQ(doc->volumeTexts[image::volume_text::kVolumeLabel], u"/");
    EXPECT_EQ(report.droppedEntries + report.badDirectoryBlocks + report.unreadableDirectories, 0u);

    // Paths, inodes and kinds as sleuthkit sees them.
    const auto tree = ListTree(*doc);
    const auto fls = FlsListing(image, v.volumeOffsetSectors);
    std::set<std::string> ours, theirs;
    for (const auto& [path, entry] : tree) ours.insert(path);
    for (const auto& [path, entry] : fls) theirs.insert(path);
    ASSERT_EQ(ours, theirs);
    for (const auto& [path, entry] : tree) {
        SCOPED_TRACE(path);
        EXPECT_EQ(entry.item->startSector, fls.at(path).inode);
        EXPECT_EQ(entry.folder, fls.at(path).type == 'd');
    }
    EXPECT_TRUE(tree.count("naïve €.txt"));
    EXPECT_EQ(tree.at("deep/1/2/3/4/5/6/7/8/9/leaf.txt").item->time, 1600000000u);

    // Sizes and kinds as debugfs sees them.
    const auto inodes = DebugfsInodes(device, tree, dir / "cmds");
    for (const auto& [path, entry] : tree) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(inodes.count(entry.item->startSector));
        const auto& [mode, size] = inodes.at(entry.item->startSector);
        EXPECT_EQ(entry.folder, mode.rfind("04", 0) == 0);
        if (!entry.folder) {
            EXPECT_EQ(static_cast<uint64_t>(entry.item->size), size);
        }
    }

    // Contents as debugfs rdump writes them.
    RunOk("mkdir " + ShellQuote(dir / "ref") + " " + ShellQuote(dir / "ours") + " && debugfs -R 'rdump / " +
          (dir / "ref") + "' " + ShellQuote(device) + " 2>&1");
    for (const auto& [path, entry] : tree) {
        SCOPED_TRACE(path);
        const std::string out = dir / ("ours/" + path);
        if (entry.folder) {
            ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
            continue;
        }
        ASSERT_EQ(ExtractTo(*doc, *entry.item, out), 1);
        if (inodes.at(entry.item->startSector).first.rfind("12", 0) == 0) {
            const std::vector<uint8_t> target = qvtest::ReadFileBytes(out);
            ASSERT_EQ(::unlink(out.c_str()), 0);
            ASSERT_EQ(::symlink(std::string(target.begin(), target.end()).c_str(), out.c_str()), 0);
        }
    }
    RunOk("diff -r --no-dereference " + ShellQuote(dir / "ref") + " " + ShellQuote(dir / "ours"));

    // A hole and double-indirect blocks as icat reads them (icat takes many
    // seconds over the triple-indirect blocks of "far": debugfs checked it).
    if (!v.icat) return;
    for (const char* name : {"hole", "double.txt"}) {
        RunOk("icat -o " + std::to_string(v.volumeOffsetSectors) + " " + ShellQuote(image) + " " +
              std::to_string(tree.at(name).item->startSector) + " | cmp - " + ShellQuote(dir / ("ours/" + std::string(name))));
    }
}

INSTANTIATE_TEST_SUITE_P(Mke2fs, Ext2Volumes, testing::ValuesIn(kVariants),
                         [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// 6000 names with e2fsck -fyD: an indexed directory of two levels, whose
// index blocks sit among the entry blocks and read as unused entries.
TEST(Ext2Volume, IndexedFolderOf6000Names) {
    qvtest::TempDir dir;
    const std::string image = dir / "d.img";
    RunOk("mkdir -p " + ShellQuote(dir / "src/many") + " && cd " + ShellQuote(dir / "src/many") +
          " && seq -f 'a_rather_long_file_name_to_fill_blocks_%06g' 1 6000 | xargs touch && echo last > zz_last");
    RunOk("mke2fs -q -F -t ext2 -b 1024 -N 8000 -d " + ShellQuote(dir / "src") + " " + ShellQuote(image) + " 20M 2>&1");
    qvtest::Run("e2fsck -fyD " + ShellQuote(image));
    const std::string htree = RunOk("debugfs -R 'htree /many' " + ShellQuote(image) + " 2>/dev/null");
    ASSERT_NE(htree.find("Indirect levels: 1"), std::string::npos) << htree.substr(0, 400);

    Document doc = OpenImage(image, 0);
    Ext2MountReport report;
    ASSERT_EQ(MountExt2(*doc, &report), 1);
    EXPECT_EQ(report.badDirectoryBlocks, 0u);
    const auto tree = ListTree(*doc);
    EXPECT_EQ(tree.at("many").item->ownFolder->itemCount, 6001);

    // debugfs walks the index; sleuthkit reads the index blocks as entries
    // and now and then lists a "name" from their hash words, so it is
    // debugfs whose listing is matched here.
    std::istringstream lines(RunOk("debugfs -R 'ls -p /many' " + ShellQuote(image) + " 2>/dev/null"));
    std::map<std::string, uint32_t> theirs;
    std::string line;
    while (std::getline(lines, line)) {
        // /inode/mode/uid/gid/name/size/
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '/')) fields.push_back(field);
        if (fields.size() < 6 || fields[1] == "0" || fields[5] == "." || fields[5] == "..") continue;
        theirs["many/" + fields[5]] = static_cast<uint32_t>(std::stoul(fields[1]));
    }
    ASSERT_EQ(theirs.size(), 6001u);
    for (const auto& [path, inode] : theirs) {
        ASSERT_TRUE(tree.count(path)) << path;
        EXPECT_EQ(tree.at(path).item->startSector, inode);
    }
}

// Layouts this reader does not know are refused, not read as garbage.
TEST(Ext2Volume, RefusesUnknownLayouts) {
    struct Case {
        const char* name;
        const char* mkfs;
        Ext2Refusal refusal;
        uint32_t unknownFeatures;   // bits expected among the reported ones
    };
    const Case cases[] = {
        {"flexible block groups", "-t ext2 -O flex_bg", Ext2Refusal::kUnknownFeatures, 0x200},
        {"ext4 extents", "-t ext4 -O ^flex_bg,^64bit", Ext2Refusal::kUnknownFeatures, 0x40},
        {"ext4", "-t ext4", Ext2Refusal::kUnknownFeatures, 0x40},
    };
    qvtest::TempDir dir;
    RunOk("mkdir -p " + ShellQuote(dir / "src") + " && echo x > " + ShellQuote(dir / "src/x"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = dir / "d.img";
        RunOk("rm -f " + ShellQuote(image) + " && mke2fs -q -F " + c.mkfs + " -d " + ShellQuote(dir / "src") + " " +
              ShellQuote(image) + " 16M 2>&1");
        Document doc = OpenImage(image, 0);
        Ext2MountReport report;
        EXPECT_EQ(MountExt2(*doc, &report), 0);
        EXPECT_EQ(report.refusal, c.refusal);
        EXPECT_EQ(report.unknownFeatures & c.unknownFeatures, c.unknownFeatures);
        EXPECT_FALSE(doc->ext2State);
    }
    // No file system at all.
    RunOk("truncate -s 4M " + ShellQuote(dir / "zero.img"));
    Document doc = OpenImage(dir / "zero.img", 0, 8);
    Ext2MountReport report;
    EXPECT_EQ(MountExt2(*doc, &report), 0);
    EXPECT_EQ(report.refusal, Ext2Refusal::kNotExt2);
    EXPECT_EQ(doc->partitionStart, 0u);
}

// Cancel between runs gives 0 and status 1; an output that cannot be written
// gives -1 and status 3.
TEST(Ext2Volume, ExtractionCancelledOrUnwritable) {
    qvtest::TempDir dir;
    RunOk("mkdir " + ShellQuote(dir / "src") + " && seq 1 400000 > " + ShellQuote(dir / "src/big"));
    const std::string image = dir / "d.img";
    RunOk("mke2fs -q -F -t ext2 -d " + ShellQuote(dir / "src") + " " + ShellQuote(image) + " 16M 2>&1");
    Document doc = OpenImage(image, 0);
    ASSERT_EQ(MountExt2(*doc), 1);
    const image::ImageItem* big = ListTree(*doc).at("big").item;

    foundation::ProgressCallbacks progress;
    int64_t done = 0;
    progress.AddDone = [&](int64_t bytes) {
        done += bytes;
        progress.cancelEvent.Set();
    };
    foundation::ResetOperationStatus();
    EXPECT_EQ(ExtractTo(*doc, *big, dir / "out", &progress), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    EXPECT_GT(done, 0);
    EXPECT_LT(done, big->size);

    foundation::ResetOperationStatus();
    foundation::UniqueFile readOnly(foundation::OpenFileForRead(foundation::Utf8ToWideStatic(image)));
    EXPECT_EQ(ExtractExt2File(nullptr, *doc, *big, u"", readOnly.get()), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);
}

TEST(Ext2Names, Utf8ElseAnsi) {
    ::setenv("QV_ANSI_CODEPAGE", "1252", 1);
    struct Case {
        std::string bytes;
        std::u16string name;
    };
    const Case cases[] = {
        {"plain.txt", u"plain.txt"},
        {"na\xC3\xAFve \xE2\x82\xAC", u"na\u00EFve \u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"caf\xE9", u"caf\u00E9"},            // Latin-1 bytes, written under a legacy locale
        {"\xC0\xAF", u"\u00C0\u00AF"},        // an overlong '/' is not UTF-8
        {"\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},   // nor is an encoded surrogate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(ext2::DecodeExt2Name({reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()}), c.name);
    }
    ::unsetenv("QV_ANSI_CODEPAGE");
}

}  // namespace
}  // namespace filesystems
