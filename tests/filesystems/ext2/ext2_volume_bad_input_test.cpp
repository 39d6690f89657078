// Damaged ext2 volumes, one rule a row: a small mke2fs volume patched in its
// superblock, group descriptor, inodes (through debugfs -w) or directory
// entries. Each mounts to 0 with the reason, or to a tree without what is
// broken; extraction of a broken file fails with status 4; nothing allocates
// by a damaged size.

#include "filesystems/ext2/ext2_volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/byte_order.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "tests/filesystems/ext2/ext2_fixtures.h"
#include "tests/support/peak_memory.h"

namespace filesystems {
namespace {

using ext2test::Document;
using ext2test::ListTree;
using ext2test::OpenImage;
using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr size_t kSuperblock = 1024;
constexpr size_t kBlock = 1024;   // the volume's block size
constexpr size_t kDescriptors = 2 * kBlock;

struct Patch {
    enum Kind { kSuperblockField, kDescriptorField, kRootInodeField, kEntryField, kDebugfs } kind;
    size_t offset = 0;      // of the field within its record
    uint32_t value = 0;
    size_t width = 4;       // bytes
    std::string debugfs;    // kDebugfs: the request
};

Patch Field(Patch::Kind kind, size_t offset, uint32_t value, size_t width = 4) {
    return Patch{kind, offset, value, width, std::string()};
}
Patch Debugfs(const char* request) { return Patch{Patch::kDebugfs, 0, 0, 0, request}; }

struct Case {
    const char* name;
    Patch patch;
    int mounted;
    Ext2Refusal refusal;
    std::function<void(image::ImageContext&, const Ext2MountReport&, const std::string& dir)> check;
};

void Put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, size_t width) {
    ASSERT_LE(at + width, bytes.size());
    for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The entry named victim_entry, found by its name bytes.
size_t EntryOffset(const std::vector<uint8_t>& bytes) {
    const std::string name = "victim_entry";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    EXPECT_NE(at, bytes.end());
    return static_cast<size_t>(at - bytes.begin()) - 8;
}

void ApplyPatch(const std::string& image, const Patch& p) {
    if (p.kind == Patch::kDebugfs) {
        RunOk("debugfs -w -R " + ShellQuote(p.debugfs) + " " + ShellQuote(image) + " 2>&1");
        return;
    }
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(image);
    size_t base = 0;
    switch (p.kind) {
        case Patch::kSuperblockField: base = kSuperblock; break;
        case Patch::kDescriptorField: base = kDescriptors; break;
        case Patch::kRootInodeField: {
            const uint32_t table = foundation::ReadLE32(&bytes[kDescriptors + 8]);
            const uint32_t inodeBytes = foundation::ReadLE16(&bytes[kSuperblock + 88]);
            base = size_t{table} * kBlock + inodeBytes;   // inode 2
            break;
        }
        case Patch::kEntryField: base = EntryOffset(bytes); break;
        case Patch::kDebugfs: break;
    }
    Put(bytes, base + p.offset, p.value, p.width);
    qvtest::WriteFileBytes(image, bytes.data(), bytes.size());
}

void HasVictim(image::ImageContext& ctx, bool expected) {
    const auto tree = ListTree(ctx);
    EXPECT_EQ(tree.count("a/victim_entry") == 1, expected);
}

// Extraction of the named file fails with status 4.
void ExtractionFails(image::ImageContext& ctx, const std::string& name, const std::string& dir) {
    const auto tree = ListTree(ctx);
    ASSERT_TRUE(tree.count(name));
    foundation::ResetOperationStatus();
    EXPECT_EQ(ext2test::ExtractTo(ctx, *tree.at(name).item, dir + "/out"), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
}

const Case kCases[] = {
    {"log block size 7", Field(Patch::kSuperblockField, 24, 7), 0, Ext2Refusal::kDamaged, nullptr},
    {"blocks per group 0", Field(Patch::kSuperblockField, 32, 0), 0, Ext2Refusal::kDamaged, nullptr},
    {"inodes per group 0", Field(Patch::kSuperblockField, 40, 0), 0, Ext2Refusal::kDamaged, nullptr},
    {"blocks count at the first data block", Field(Patch::kSuperblockField, 4, 1), 0, Ext2Refusal::kDamaged, nullptr},
    {"inodes count past the groups", Field(Patch::kSuperblockField, 0, 0x7FFFFFFF), 0, Ext2Refusal::kDamaged, nullptr},
    {"inode size 64", Field(Patch::kSuperblockField, 88, 64, 2), 0, Ext2Refusal::kDamaged, nullptr},
    {"inode size past the block", Field(Patch::kSuperblockField, 88, 2048, 2), 0, Ext2Refusal::kDamaged, nullptr},
    {"inode size not a power of two", Field(Patch::kSuperblockField, 88, 200, 2), 0, Ext2Refusal::kDamaged, nullptr},
    {"first inode among the reserved", Field(Patch::kSuperblockField, 84, 5), 0, Ext2Refusal::kDamaged, nullptr},
    {"extents feature", Field(Patch::kSuperblockField, 96, 0x42), 0, Ext2Refusal::kUnknownFeatures, nullptr},
    {"no magic", Field(Patch::kSuperblockField, 56, 0, 2), 0, Ext2Refusal::kNotExt2, nullptr},
    {"inode table past the volume", Field(Patch::kDescriptorField, 8, 0xFFFFFFF0), 0, Ext2Refusal::kDamaged, nullptr},
    {"block bitmap outside its group", Field(Patch::kDescriptorField, 0, 0x100000), 0, Ext2Refusal::kDamaged, nullptr},
    {"root not a folder", Field(Patch::kRootInodeField, 0, 0x81A4, 2), 0, Ext2Refusal::kUnreadable, nullptr},
    {"root folder past the volume", Field(Patch::kRootInodeField, 4, 0xFFFFF000), 0, Ext2Refusal::kUnreadable, nullptr},
    {"entry inode past the table", Field(Patch::kEntryField, 0, 0xFFFFFFFF), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         HasVictim(ctx, false);
         EXPECT_EQ(r.droppedEntries, 1u);
         EXPECT_TRUE(ListTree(ctx).count("a/after_victim"));
     }},
    {"entry inode reserved", Field(Patch::kEntryField, 0, 7), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         HasVictim(ctx, false);
         EXPECT_EQ(r.droppedEntries, 1u);
     }},
    {"record length 0", Field(Patch::kEntryField, 4, 0, 2), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         HasVictim(ctx, false);
         EXPECT_EQ(r.badDirectoryBlocks, 1u);
     }},
    {"record length past the block", Field(Patch::kEntryField, 4, 0xFFFC, 2), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         HasVictim(ctx, false);
         EXPECT_EQ(r.badDirectoryBlocks, 1u);
     }},
    {"name past its record", Field(Patch::kEntryField, 4, 12, 2), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         HasVictim(ctx, false);
         EXPECT_EQ(r.badDirectoryBlocks, 1u);
     }},
    {"folder linked into itself", Debugfs("link /a /a/b/loop"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         HasVictim(ctx, true);
         EXPECT_EQ(r.repeatedDirectories, 1u);
         EXPECT_FALSE(ListTree(ctx).count("a/b/loop"));
     }},
    {"folder of 4 GiB", Debugfs("sif /a size 0xFFFFF000"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         EXPECT_FALSE(ListTree(ctx).count("a"));
         EXPECT_EQ(r.unreadableDirectories, 1u);
     }},
    {"folder of extents", Debugfs("sif /a flags 0x80000"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport& r, const std::string&) {
         EXPECT_FALSE(ListTree(ctx).count("a"));
         EXPECT_EQ(r.unreadableDirectories, 1u);
     }},
    {"file of extents", Debugfs("sif /one flags 0x80000"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport&, const std::string& dir) {
         ExtractionFails(ctx, "one", dir);
     }},
    {"block past the volume", Debugfs("sif /one block[0] 0x7FFFFFF"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport&, const std::string& dir) {
         ExtractionFails(ctx, "one", dir);
     }},
    {"indirect block past the volume", Debugfs("sif /indirect.txt block[IND] 0x7FFFFFF"), 1,
     Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport&, const std::string& dir) {
         ExtractionFails(ctx, "indirect.txt", dir);
     }},
    // 1 KiB blocks reach 16 GiB.
    {"file past what its pointers reach", Debugfs("sif /one size 0x10000000000"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport&, const std::string& dir) {
         EXPECT_EQ(ListTree(ctx).at("one").item->size, int64_t{1} << 40);
         ExtractionFails(ctx, "one", dir);
     }},
    {"file of 4 GiB", Debugfs("sif /one size 0x100000000"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport&, const std::string& dir) {
         const auto tree = ListTree(ctx);
         ASSERT_TRUE(tree.count("one"));
         EXPECT_EQ(tree.at("one").item->size, int64_t{1} << 32);
         // Read as holes after the first block; stopped after the first step.
         foundation::ProgressCallbacks progress;
         progress.AddDone = [&](int64_t) { progress.cancelEvent.Set(); };
         qvtest::PeakMemory peak;
         EXPECT_EQ(ext2test::ExtractTo(ctx, *tree.at("one").item, dir + "/out", &progress), 0);
         EXPECT_LT(peak.GrowthBytes(), uint64_t{64} << 20);
     }},
    // The holes stay holes in the output: the whole file, on no disk.
    {"file of 4 GiB extracted whole", Debugfs("sif /one size 0x100000000"), 1, Ext2Refusal::kNone,
     [](image::ImageContext& ctx, const Ext2MountReport&, const std::string& dir) {
         const auto tree = ListTree(ctx);
         ASSERT_TRUE(tree.count("one"));
         EXPECT_EQ(ext2test::ExtractTo(ctx, *tree.at("one").item, dir + "/whole"), 1);
         EXPECT_EQ(RunOk("stat -c %s " + ShellQuote(dir + "/whole")), "4294967296\n");
         EXPECT_LT(std::stoull(RunOk("du -k " + ShellQuote(dir + "/whole") + " | cut -f1")), 1024u);
         EXPECT_EQ(RunOk("head -c 4 " + ShellQuote(dir + "/whole")), "one\n");
         RunOk("rm " + ShellQuote(dir + "/whole"));
     }},
};

TEST(Ext2VolumeBadInput, EachDamageRefusedOrSkipped) {
    qvtest::TempDir dir;
    RunOk("mkdir -p " + ShellQuote(dir / "src/a/b") + " && cd " + ShellQuote(dir / "src") +
          " && echo one > one && echo v > a/victim_entry && echo w > a/after_victim && seq 1 60000 > indirect.txt");
    const std::string base = dir / "base.img";
    RunOk("mke2fs -q -F -t ext2 -b 1024 -d " + ShellQuote(dir / "src") + " " + ShellQuote(base) + " 2M 2>&1");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string image = dir / "d.img";
        RunOk("cp " + ShellQuote(base) + " " + ShellQuote(image));
        ApplyPatch(image, c.patch);
        Document doc = OpenImage(image, 0);
        Ext2MountReport report;
        qvtest::PeakMemory peak;
        EXPECT_EQ(MountExt2(*doc, &report), c.mounted);
        EXPECT_LT(peak.GrowthBytes(), uint64_t{64} << 20);
        EXPECT_EQ(report.refusal, c.refusal);
        EXPECT_EQ(doc->ext2State.get() != nullptr, c.mounted == 1);
        if (c.check) c.check(*doc, report, dir.path());
    }
}

// A file never holds one volume block twice: pointers that all lead to one
// block (an indirect block filled with its own number, direct pointers
// repeated) would make a 2 MiB volume extract a file as large as the inode
// claims. Extraction fails at the second use, in bounded memory.
TEST(Ext2VolumeBadInput, BlocksMappedTwiceEndTheFile) {
    qvtest::TempDir dir;
    RunOk("mkdir -p " + ShellQuote(dir / "src") + " && seq 1 60000 > " + ShellQuote(dir / "src/indirect.txt"));
    const std::string base = dir / "base.img";
    RunOk("mke2fs -q -F -t ext2 -b 1024 -d " + ShellQuote(dir / "src") + " " + ShellQuote(base) + " 2M 2>&1");
    auto number = [&](const std::string& request) {
        return uint32_t(std::stoul(RunOk("debugfs -R " + ShellQuote(request) + " " + ShellQuote(base) + " 2>/dev/null")));
    };
    const uint32_t first = number("bmap /indirect.txt 0");
    const std::string stat = RunOk("debugfs -R 'stat /indirect.txt' " + ShellQuote(base) + " 2>/dev/null");
    const size_t at = stat.find("(IND):");
    ASSERT_NE(at, std::string::npos);
    const uint32_t indirect = uint32_t(std::stoul(stat.substr(at + 6)));
    struct Row {
        const char* name;
        std::string debugfs;        // a change through debugfs, or empty
        bool fillIndirect;          // every pointer of the indirect block is its own number
    } rows[] = {
        {"direct pointers to one block", "sif /indirect.txt block[1] " + std::to_string(first), false},
        {"indirect block pointing at itself", "", true},
        {"indirect block pointing at itself in a file of 1 TiB", "sif /indirect.txt size 0x10000000000", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string image = dir / "d.img";
        RunOk("cp " + ShellQuote(base) + " " + ShellQuote(image));
        if (!row.debugfs.empty()) ApplyPatch(image, Debugfs(row.debugfs.c_str()));
        if (row.fillIndirect) {
            std::vector<uint8_t> bytes = qvtest::ReadFileBytes(image);
            for (size_t i = 0; i < kBlock / 4; ++i) Put(bytes, size_t{indirect} * kBlock + 4 * i, indirect, 4);
            qvtest::WriteFileBytes(image, bytes.data(), bytes.size());
        }
        Document doc = OpenImage(image, 0);
        ASSERT_EQ(MountExt2(*doc, nullptr), 1);
        qvtest::PeakMemory peak;
        ExtractionFails(*doc, "indirect.txt", dir.path());
        EXPECT_LT(peak.GrowthBytes(), uint64_t{64} << 20);
        EXPECT_LE(qvtest::ReadFileBytes(dir / "out").size(), size_t{2} << 20);
    }
}

}  // namespace
}  // namespace filesystems
