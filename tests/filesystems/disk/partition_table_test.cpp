// The partition layer against sfdisk: the rows the chooser is offered for a
// table sfdisk wrote, the whole-disk rule for volumes made by mkfs.fat and
// mkntfs, the class names, the chooser's rule and the message for a partition
// that holds no readable file system; and hand-patched tables (loops in the
// extended chain, entries past the disk, starts of 2^31 sectors and more).

#include "filesystems/disk/partition_table.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "foundation/messages_scripted.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "platform/text.h"
#include "tests/filesystems/disk/disk_fixtures.h"

namespace filesystems {
namespace {

using disktest::MakeRawDisk;
using qvtest::RunOk;
using qvtest::ShellQuote;

// Records the rows it is offered and answers with a fixed row (-1 cancels).
class RecordingChooser final : public IPartitionChooserServices {
public:
    explicit RecordingChooser(int answer) : answer_(answer) {}
    int ChooseDiskPartition(image::ImageContext&, const std::vector<DiskPartitionRow>& rows) override {
        offered = rows;
        ++calls;
        return answer_ == kLast ? static_cast<int>(rows.size()) - 1 : answer_;
    }
    static constexpr int kLast = 1000;
    std::vector<DiskPartitionRow> offered;
    int calls = 0;

private:
    int answer_;
};

struct Opened {
    image::DocumentPtr doc;
    int reported = 0;
    std::vector<std::string> boxes;
};

Opened Open(const std::string& path) {
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
    Opened result;
    foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(path)));
    EXPECT_TRUE(file);
    result.doc.reset(OpenDiskImage(platform::Utf8ToUtf16(path), file.get(), &result.reported));
    if (result.doc) (void)file.release();
    for (const auto& box : ui.Boxes()) result.boxes.push_back(platform::Utf16ToUtf8(box.request.text));
    return result;
}

void PatchBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

std::vector<uint8_t> Le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// An entry's field in the record at sector `record`.
void PatchEntry(const std::string& path, uint64_t record, int entry, size_t field, const std::vector<uint8_t>& bytes) {
    PatchBytes(path, record * 512 + kPartitionTableOffset + size_t(entry) * kPartitionEntryBytes + field, bytes);
}

TEST(PartitionClass, TypeBytesAndNames) {
    struct Row {
        uint8_t type;
        int32_t partitionClass;
        const char16_t* name;
    };
    const Row rows[] = {
        {0x00, 0, u""},       {0x01, 1, u"FAT12"},  {0x11, 1, u"FAT12"}, {0x04, 2, u"FAT16"},
        {0x06, 2, u"FAT16"},  {0x0E, 2, u"FAT16"},  {0x14, 2, u"FAT16"}, {0x16, 2, u"FAT16"},
        {0x0B, 3, u"FAT32"},  {0x0C, 3, u"FAT32"},  {0x1B, 3, u"FAT32"}, {0x1C, 3, u"FAT32"},
        {0x07, 4, u"NTFS"},   {0x17, 4, u"NTFS"},   {0x42, 4, u"NTFS"},  {0x86, 4, u"NTFS"},
        {0x87, 4, u"NTFS"},   {0x05, 5, u""},       {0x0F, 5, u""},      {0x83, 6, u"Linux"},
        {0x82, 7, u"Linux Swap"}, {0x8E, 8, u"Linux"}, {0xEE, -1, u"Unknown"}, {0xA5, -1, u"Unknown"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(GetPartitionClass(row.type), row.partitionClass) << int(row.type);
        std::u16string name = u"stale";
        GetPartitionClassName(row.partitionClass, name);
        EXPECT_EQ(name, row.name) << int(row.type);
    }
}

// The rows offered are the partitions sfdisk lists, logical ones included,
// with the starts it computed.
TEST(PartitionRows, EqualSfdiskOnItsOwnLayouts) {
    struct Layout {
        const char* name;
        const char* script;
    };
    const Layout layouts[] = {
        {"three logical", disktest::kFiveEntryLayout},
        // Primaries after the extended entry are listed too.
        {"extended first", "label: dos\nstart=2048,size=8192,type=f\nstart=12288,size=4096,type=c\n"
                           "start=4096,size=2048,type=83\nstart=8192,size=1024,type=82\n"},
        {"four primaries", "label: dos\nstart=64,size=100,type=1\nstart=200,size=100,type=e\n"
                           "start=400,size=100,type=8e\nstart=600,size=100,type=a5\n"},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        qvtest::TempDir dir;
        const std::string disk = MakeRawDisk(dir, "d.img", 16, layout.script, {});
        const std::vector<disktest::ToolRow> expected = disktest::SfdiskRows(disk);
        RecordingChooser chooser(-1);
        foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
        Opened opened = Open(disk);
        EXPECT_FALSE(opened.doc);
        EXPECT_EQ(opened.reported, 1);   // cancelled: the caller says nothing more
        EXPECT_TRUE(opened.boxes.empty());
        ASSERT_EQ(chooser.offered.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(chooser.offered[i].firstSector, expected[i].start) << i;
            EXPECT_EQ(chooser.offered[i].sectorCount, expected[i].size) << i;
            EXPECT_EQ(chooser.offered[i].typeByte, expected[i].type) << i;
            EXPECT_EQ(chooser.offered[i].partitionClass, GetPartitionClass(uint8_t(expected[i].type))) << i;
        }
    }
}

// Tables no tool writes: the chain and the entries are bounded by the disk and
// by the sectors already visited.
TEST(PartitionRows, HostileTables) {
    struct Row {
        const char* name;
        // Patches to the five-entry layout: {record sector, entry, field, bytes}.
        std::vector<std::tuple<uint64_t, int, size_t, std::vector<uint8_t>>> patches;
        std::vector<std::pair<uint64_t, uint64_t>> rows;   // {first, count} expected
    };
    const std::vector<std::pair<uint64_t, uint64_t>> all = {{2048, 4096}, {10240, 4096}, {16384, 4096}, {22528, 4096}};
    const Row rows[] = {
        {"untouched", {}, all},
        // The first extended boot record links to itself.
        {"self link", {{8192, 1, 8, Le32(0)}}, {{2048, 4096}, {10240, 4096}}},
        // The second links back to the first.
        {"two-link loop", {{14336, 1, 8, Le32(0)}}, {{2048, 4096}, {10240, 4096}, {16384, 4096}}},
        // A link beyond the disk ends the chain.
        {"link past the disk", {{8192, 1, 8, Le32(0x7FFFFFF0)}}, {{2048, 4096}, {10240, 4096}}},
        // A start beyond the disk drops the row; a count past its end is cut.
        {"start past the disk", {{0, 0, 8, Le32(0xFFFFFF00)}}, {{10240, 4096}, {16384, 4096}, {22528, 4096}}},
        {"count past the end", {{0, 0, 12, Le32(0xFFFFFFFF)}},
         {{2048, 32768 - 2048}, {10240, 4096}, {16384, 4096}, {22528, 4096}}},
        {"empty count", {{0, 0, 12, Le32(0)}}, {{10240, 4096}, {16384, 4096}, {22528, 4096}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        const std::string disk = MakeRawDisk(dir, "d.img", 16, disktest::kFiveEntryLayout, {});
        for (const auto& [record, entry, field, bytes] : row.patches) PatchEntry(disk, record, entry, field, bytes);
        RecordingChooser chooser(-1);
        foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
        Opened opened = Open(disk);
        ASSERT_EQ(chooser.offered.size(), row.rows.size());
        for (size_t i = 0; i < row.rows.size(); ++i) {
            EXPECT_EQ(chooser.offered[i].firstSector, row.rows[i].first) << i;
            EXPECT_EQ(chooser.offered[i].sectorCount, row.rows[i].second) << i;
        }
    }
}

// Starts of 2^31 sectors and more stay positive, and a logical partition's
// start (its record's sector plus its own offset) may pass 2^32.
TEST(PartitionRows, StartsBeyondTwoToTheThirtyOne) {
    qvtest::TempDir dir;
    const std::string disk = dir / "big.img";
    RunOk("truncate -s 3T " + ShellQuote(disk));
    // Entry 0: a FAT32 partition at 2^31; entry 1: an extended partition at
    // 0xF0000000 whose first record puts a logical partition 0x20000000 further.
    const std::vector<uint8_t> signature = {0x55, 0xAA};
    PatchBytes(disk, 510, signature);
    PatchEntry(disk, 0, 0, 4, {0x0C});
    PatchEntry(disk, 0, 0, 8, Le32(0x80000000u));
    PatchEntry(disk, 0, 0, 12, Le32(2048));
    PatchEntry(disk, 0, 1, 4, {0x05});
    PatchEntry(disk, 0, 1, 8, Le32(0xF0000000u));
    PatchEntry(disk, 0, 1, 12, Le32(0x40000000u));
    PatchBytes(disk, 0xF0000000ull * 512 + 510, signature);
    PatchEntry(disk, 0xF0000000ull, 0, 4, {0x83});
    PatchEntry(disk, 0xF0000000ull, 0, 8, Le32(0x20000000u));
    PatchEntry(disk, 0xF0000000ull, 0, 12, Le32(4096));
    RecordingChooser chooser(-1);
    foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
    Opened opened = Open(disk);
    ASSERT_EQ(chooser.offered.size(), 2u);
    EXPECT_EQ(chooser.offered[0].firstSector, 0x80000000ull);
    EXPECT_EQ(chooser.offered[1].firstSector, 0x110000000ull);
    EXPECT_EQ(chooser.offered[1].sectorCount, 4096u);
}

// Sector 0 decides: no signature or no sector is no disk (quietly, so the
// next opener may try); a volume's own boot sector or an empty table is the
// whole disk, which opens even when no file system is found in it.
TEST(DiskOpen, WholeDiskRuleAndNoDisk) {
    struct Row {
        const char* name;
        std::string recipe;   // makes d.img in the folder
        bool opens;
    };
    const Row rows[] = {
        {"empty file", "truncate -s 0 d.img", false},
        {"511 bytes", "head -c 511 /dev/zero > d.img", false},
        {"no signature", "truncate -s 1M d.img", false},
        {"mkfs.fat volume", "mkfs.fat -C -i 12345678 d.img 8192 >/dev/null", true},
        {"mkntfs volume", "truncate -s 16M d.img && mkntfs -F -Q -q -T d.img", true},
        {"all-zero table", "truncate -s 1M d.img && printf '\\125\\252' | dd of=d.img bs=1 seek=510 conv=notrunc 2>/dev/null",
         true},
        {"boot flag 0x01",
         "truncate -s 16M d.img && printf 'label: dos\\nstart=2048,size=4096,type=83\\n' | sfdisk -q d.img && "
         "printf '\\001' | dd of=d.img bs=1 seek=446 conv=notrunc 2>/dev/null",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        RunOk("cd " + ShellQuote(dir.path()) + " && " + row.recipe);
        RecordingChooser chooser(0);
        foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
        Opened opened = Open(dir / "d.img");
        EXPECT_EQ(chooser.calls, 0);
        EXPECT_TRUE(opened.boxes.empty());
        ASSERT_EQ(static_cast<bool>(opened.doc), row.opens);
        if (!opened.doc) {
            EXPECT_EQ(opened.reported, 0);
            continue;
        }
        EXPECT_EQ(opened.doc->formatCode, image::format_code::kDisk);
        EXPECT_EQ(opened.doc->partitionStart, 0u);
        EXPECT_EQ(opened.doc->partitionSectors, static_cast<uint64_t>(opened.doc->imageSize) / 512);
        EXPECT_EQ(opened.doc->partitionCount, 0);
        EXPECT_EQ(opened.doc->readOnly, 0);
        EXPECT_NE(opened.doc->rootFolder, nullptr);
        EXPECT_TRUE(opened.doc->imageHandle);
    }
}

// The partition chosen holds no file system a reader here mounts: the user is
// told which, and the caller shows nothing more.
TEST(DiskOpen, UnreadablePartitionIsNamed) {
    qvtest::TempDir dir;
    const std::string disk = MakeRawDisk(dir, "d.img", 16,
                                         "label: dos\nstart=2048,size=4096,type=c\nstart=8192,size=4096,type=7\n", {});
    RecordingChooser chooser(1);
    foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
    Opened opened = Open(disk);
    EXPECT_FALSE(opened.doc);
    EXPECT_EQ(opened.reported, 1);
    ASSERT_EQ(opened.boxes.size(), 1u);
    EXPECT_EQ(opened.boxes[0], "Quendravine can't open the following partition: \r\n\r\nPartition2:    NTFS");
}

// Without a chooser installed (the console, tests) the rule chooses: the first
// partition a reader here can mount, else the first.
TEST(PartitionChooser, RuleOfTheStandIn) {
    auto rowsOf = [](std::initializer_list<int32_t> classes) {
        std::vector<DiskPartitionRow> rows;
        for (int32_t c : classes) rows.push_back({c, 0, 2048, 2048});
        return rows;
    };
    EXPECT_EQ(ChoosePartitionByRule(rowsOf({7, 6})), 1);
    EXPECT_EQ(ChoosePartitionByRule(rowsOf({-1, 8, 4, 1})), 2);
    EXPECT_EQ(ChoosePartitionByRule(rowsOf({-1, 7})), 0);
    EXPECT_EQ(ChoosePartitionByRule({}), -1);

    // End to end: swap, then FAT16; the stand-in picks the FAT16 partition.
    qvtest::TempDir dir;
    const std::string disk = MakeRawDisk(dir, "d.img", 16,
                                         "label: dos\nstart=2048,size=4096,type=82\nstart=8192,size=4096,type=6\n", {});
    Opened opened = Open(disk);
    ASSERT_EQ(opened.boxes.size(), 1u);
    EXPECT_EQ(opened.boxes[0], "Quendravine can't open the following partition: \r\n\r\nPartition2:    FAT16");
}

// One partition opens writable, two read-only. This needs the FAT reader to
// mount the volume mkfs.fat put at the partition's offset.
TEST(DiskOpen, ReadOnlyWithMoreThanOnePartition) {
    for (const bool two : {false, true}) {
        SCOPED_TRACE(two ? "two partitions" : "one partition");
        qvtest::TempDir dir;
        const std::string layout = two ? "label: dos\nstart=2048,size=32768,type=6\nstart=36864,size=4096,type=83\n"
                                       : "label: dos\nstart=2048,size=32768,type=6\n";
        const std::string disk = MakeRawDisk(dir, "d.img", 32, layout.c_str(), {});
        RunOk("mkfs.fat -F 16 -i 12345678 --offset 2048 " + ShellQuote(disk) + " 16384 >/dev/null");
        RecordingChooser chooser(0);
        foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
        Opened opened = Open(disk);
        if (!opened.doc && opened.boxes.size() == 1 &&
            opened.boxes[0].find("can't open the following partition") != std::string::npos) {
            GTEST_SKIP() << "no FAT reader mounts the volume yet";
        }
        ASSERT_TRUE(opened.doc);
        EXPECT_EQ(opened.doc->partitionStart, 2048u);
        EXPECT_EQ(opened.doc->partitionSectors, 32768u);
        EXPECT_EQ(opened.doc->partitionCount, two ? 2 : 1);
        EXPECT_EQ(opened.doc->readOnly, two ? 1 : 0);
    }
}

}  // namespace
}  // namespace filesystems
