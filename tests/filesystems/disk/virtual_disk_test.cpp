// The virtual-disk back ends against qemu-img: the raw disk converted into each
// format qemu-img writes (VHD fixed and dynamic, VDI dynamic and static, VMDK
// monolithic and split, sparse and flat) reads back sector for sector as
// qemu-img's own raw conversion of it, in reads that start and end anywhere.
// Then the patched files: differencing disks refused with a message, zero
// blocks, sector bitmaps, descriptor rules and the names an extent line may
// give.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "filesystems/disk/virtual_disk.h"
#include "foundation/messages_scripted.h"
#include "tests/filesystems/disk/disk_fixtures.h"

namespace filesystems {
namespace {

using disktest::BackEnd;
using disktest::Convert;
using disktest::MakeRawDisk;
using disktest::OpenBackEnd;
using disktest::QemuRaw;
using disktest::SameSectors;
using qvtest::RunOk;
using qvtest::ShellQuote;

const std::vector<uint32_t> kChunks = {2048, 37, 4096, 1, 511, 130, 8192};

struct Format {
    const char* name;
    const char* qemuArgs;   // after -O
    const char* file;
    const char* qemuFormat;
};
const Format kFormats[] = {
    {"vhd dynamic", "vpc -o subformat=dynamic,force_size=on", "d.vhd", "vpc"},
    {"vhd fixed", "vpc -o subformat=fixed,force_size=on", "f.vhd", "vpc"},
    {"vdi dynamic", "vdi", "d.vdi", "vdi"},
    {"vdi static", "vdi -o static=on", "s.vdi", "vdi"},
    {"vmdk monolithic sparse", "vmdk", "m.vmdk", "vmdk"},
    {"vmdk monolithic flat", "vmdk -o subformat=monolithicFlat", "f.vmdk", "vmdk"},
    {"vmdk split sparse", "vmdk -o subformat=twoGbMaxExtentSparse", "s.vmdk", "vmdk"},
    {"vmdk split flat", "vmdk -o subformat=twoGbMaxExtentFlat", "sf.vmdk", "vmdk"},
};

std::vector<uint8_t> Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
std::vector<uint8_t> Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

void Patch(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint64_t ReadBe64(const std::vector<uint8_t>& b, size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | b[at + i];
    return v;
}
uint32_t ReadBe32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
uint32_t ReadLe32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(VirtualDisk, EverySectorEqualsQemuImg) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 64);
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.name);
        const std::string disk = Convert(dir, raw, format.qemuArgs, format.file);
        const std::string oracle = QemuRaw(dir, disk, std::string(format.file) + ".raw", format.qemuFormat);
        // The conversion itself kept every byte.
        RunOk("cmp " + ShellQuote(oracle) + " " + ShellQuote(raw));
        BackEnd backEnd = OpenBackEnd(disk);
        ASSERT_EQ(backEnd.opened, 1);
        EXPECT_TRUE(SameSectors(*backEnd.ctx, oracle, kChunks));
        // Past the end nothing is delivered.
        std::vector<uint8_t> buffer(1024);
        const uint64_t sectors = DiskSizeBytes(*backEnd.ctx) / 512;
        EXPECT_EQ(ReadDiskSectors(*backEnd.ctx, sectors - 1, buffer.data(), 2), 0u);
        EXPECT_EQ(ReadDiskSectors(*backEnd.ctx, sectors, buffer.data(), 1), 0u);
        EXPECT_EQ(ReadDiskSectors(*backEnd.ctx, UINT64_MAX, buffer.data(), 1), 0u);
    }
    // The raw disk itself is no virtual disk: read as it is.
    BackEnd plain = OpenBackEnd(raw);
    EXPECT_EQ(plain.opened, 0);
    EXPECT_TRUE(SameSectors(*plain.ctx, raw, kChunks));
}

// Through the opener: the same partitions offered whatever the container, and
// the whole disk sized by the virtual disk, not by its file.
TEST(VirtualDisk, OpenerSeesTheSamePartitions) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 64);
    const std::vector<disktest::ToolRow> expected = disktest::SfdiskRows(raw);
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.name);
        const std::string disk = Convert(dir, raw, format.qemuArgs, format.file);
        struct Chooser final : IPartitionChooserServices {
            int ChooseDiskPartition(image::ImageContext&, const std::vector<DiskPartitionRow>& rows) override {
                offered = rows;
                return -1;
            }
            std::vector<DiskPartitionRow> offered;
        } chooser;
        foundation::ScopedServices<SetPartitionChooserServices> scoped(&chooser);
        foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(disk)));
        int reported = 0;
        image::DocumentPtr doc(OpenDiskImage(platform::Utf8ToUtf16(disk), file.get(), &reported));
        EXPECT_FALSE(doc);
        EXPECT_EQ(reported, 1);
        // The caller still owns its handle.
        EXPECT_GE(foundation::GetFileSize64(file.get()), 0);
        ASSERT_EQ(chooser.offered.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(chooser.offered[i].firstSector, expected[i].start);
    }
    // A whole-disk volume in a dynamic VHD: partitionSectors from the disk.
    RunOk("cd " + ShellQuote(dir.path()) + " && mkfs.fat -C -i 12345678 v.img 16384 >/dev/null");
    const std::string vhd = Convert(dir, dir / "v.img", "vpc -o subformat=dynamic,force_size=on", "v.vhd");
    foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(vhd)));
    int reported = 0;
    image::DocumentPtr doc(OpenDiskImage(platform::Utf8ToUtf16(vhd), file.release(), &reported));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->partitionSectors, 16384u * 2);
    EXPECT_EQ(doc->formatCode, image::format_code::kDisk);
}

// A split disk of more than one extent: reads across the extents' seam.
TEST(VirtualDisk, SplitExtentsAcrossTheirSeam) {
    qvtest::TempDir dir;
    const uint64_t seam = 4194304 - 4096;   // qemu-img's extents hold 2 GiB less a 2 MiB step
    const std::vector<std::pair<uint64_t, uint64_t>> runs = {{2048, 64}, {seam - 300, 600}, {4194304 - 5, 10},
                                                             {4300000, 4096}};
    const std::string raw = MakeRawDisk(dir, "d.img", 2200, "label: dos\nstart=2048,type=83\n", runs);
    std::vector<std::pair<uint64_t, uint64_t>> windows;
    for (const auto& [first, count] : runs) windows.push_back({first - 64, count + 2048});
    for (const char* args : {"vmdk -o subformat=twoGbMaxExtentSparse", "vmdk -o subformat=twoGbMaxExtentFlat"}) {
        SCOPED_TRACE(args);
        const std::string disk = Convert(dir, raw, args, "s.vmdk");
        const std::string oracle = QemuRaw(dir, disk, "s.raw", "vmdk");
        BackEnd backEnd = OpenBackEnd(disk);
        ASSERT_EQ(backEnd.opened, 1);
        ASSERT_GE(std::get<VmdkImage>(backEnd.ctx->vmdkState->disk).extents.size(), 2u);
        EXPECT_TRUE(SameSectors(*backEnd.ctx, oracle, kChunks, windows));
        RunOk("rm -f " + ShellQuote(dir.path()) + "/s*");
    }
}

// Disks whose contents lie partly in a parent, and compressed grains, are
// refused with a message rather than read as if complete.
TEST(VirtualDisk, RefusedKinds) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    struct Row {
        const char* name;
        const char* qemuArgs;
        const char* file;
        std::function<void(const std::string&)> patch;
        DiskRefusal refusal;
        const char* said;
    };
    const Row rows[] = {
        {"vhd differencing", "vpc -o subformat=dynamic,force_size=on", "d.vhd",
         [](const std::string& p) {
             struct stat info {};
             ::stat(p.c_str(), &info);
             Patch(p, uint64_t(info.st_size) - 512 + 60, Be32(4));
         },
         DiskRefusal::kDifferencing, "differencing"},
        {"vdi differencing", "vdi", "d.vdi", [](const std::string& p) { Patch(p, 76, Le32(4)); },
         DiskRefusal::kDifferencing, "differencing"},
        {"vmdk with a parent", "vmdk -o subformat=monolithicFlat", "f.vmdk",
         [](const std::string& p) { RunOk("sed -i 's/parentCID=ffffffff/parentCID=12345678/' " + ShellQuote(p)); },
         DiskRefusal::kDifferencing, "differencing"},
        {"vmdk monolithic with a parent", "vmdk", "m.vmdk",
         [](const std::string& p) { RunOk("sed -i 's/parentCID=ffffffff/parentCID=0badf00d/' " + ShellQuote(p)); },
         DiskRefusal::kDifferencing, "differencing"},
        {"vmdk stream-optimised", "vmdk -o subformat=streamOptimized", "o.vmdk", nullptr, DiskRefusal::kCompressed,
         "compressed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string disk = Convert(dir, raw, row.qemuArgs, row.file);
        if (row.patch) row.patch(disk);
        BackEnd backEnd = OpenBackEnd(disk);
        EXPECT_EQ(backEnd.opened, 0);
        EXPECT_EQ(backEnd.refusal, row.refusal);

        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
        foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(disk)));
        int reported = 0;
        image::DocumentPtr doc(OpenDiskImage(platform::Utf8ToUtf16(disk), file.get(), &reported));
        EXPECT_FALSE(doc);
        EXPECT_EQ(reported, 1);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        const std::string text = platform::Utf16ToUtf8(ui.Boxes()[0].request.text);
        EXPECT_EQ(text.rfind(disk + "\r\n\r\n", 0), 0u) << text;
        EXPECT_NE(text.find(row.said), std::string::npos) << text;
    }
}

// Blocks and sectors with no data read as zeros, wherever they lie.
TEST(VirtualDisk, ZeroBlocksAndClearBitmapBits) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    const std::vector<uint8_t> rawBytes = qvtest::ReadFileBytes(raw);
    std::vector<uint8_t> buffer(4096 * 512);

    // VDI: block 1 (sectors 2048..4095, all data) marked as a zero block.
    const std::string vdi = Convert(dir, raw, "vdi", "d.vdi");
    const std::vector<uint8_t> head = qvtest::ReadFileBytes(vdi);
    Patch(vdi, ReadLe32(head, 340) + 4, Le32(0xFFFFFFFEu));
    BackEnd vdiDisk = OpenBackEnd(vdi);
    ASSERT_EQ(vdiDisk.opened, 1);
    // One read across the block boundaries on both sides.
    ASSERT_EQ(ReadDiskSectors(*vdiDisk.ctx, 2000, buffer.data(), 2200), 2200u);
    EXPECT_EQ(std::memcmp(buffer.data(), rawBytes.data() + 2000 * 512, 48 * 512), 0);
    EXPECT_EQ(std::count(buffer.begin() + 48 * 512, buffer.begin() + 2096 * 512, 0), 2048 * 512);
    EXPECT_EQ(std::memcmp(buffer.data() + 2096 * 512, rawBytes.data() + 4096 * 512, 104 * 512), 0);

    // VHD: in block 1 (sectors 4096..8191) the bit of sector 4196 cleared, so
    // the run 4195..4197 is set, clear, set.
    const std::string vhd = Convert(dir, raw, "vpc -o subformat=dynamic,force_size=on", "d.vhd");
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(vhd);
    const uint64_t header = ReadBe64(bytes, bytes.size() - 512 + 16);
    const uint64_t table = ReadBe64(bytes, header + 16);
    const uint32_t block1 = ReadBe32(bytes, table + 4);
    ASSERT_NE(block1, 0xFFFFFFFFu);
    const uint64_t bitmapByte = uint64_t(block1) * 512 + 100 / 8;
    Patch(vhd, bitmapByte, {uint8_t(bytes[bitmapByte] & ~(0x80u >> (100 % 8)))});
    BackEnd vhdDisk = OpenBackEnd(vhd);
    ASSERT_EQ(vhdDisk.opened, 1);
    std::fill(buffer.begin(), buffer.end(), 0xCC);
    ASSERT_EQ(ReadDiskSectors(*vhdDisk.ctx, 4195, buffer.data(), 3), 3u);
    EXPECT_EQ(std::memcmp(buffer.data(), rawBytes.data() + 4195 * 512, 512), 0);
    EXPECT_EQ(std::count(buffer.begin() + 512, buffer.begin() + 1024, 0), 512);
    EXPECT_EQ(std::memcmp(buffer.data() + 1024, rawBytes.data() + 4197 * 512, 512), 0);
    // A read that starts inside an unallocated block (block 7, 28672..32767)
    // gets zeros up to its end, the end of the disk.
    std::fill(buffer.begin(), buffer.end(), 0xCC);
    ASSERT_EQ(ReadDiskSectors(*vhdDisk.ctx, 29000, buffer.data(), 3768), 3768u);
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + 3768 * 512, 0), 3768 * 512);
}

// The rules of the descriptor and of the names its extent lines give, on the
// descriptor of a monolithic flat disk.
TEST(VirtualDisk, DescriptorRulesAndExtentNames) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    const std::string disk = Convert(dir, raw, "vmdk -o subformat=monolithicFlat", "f.vmdk");
    std::string original;
    {
        std::vector<uint8_t> bytes = qvtest::ReadFileBytes(disk);
        original.assign(bytes.begin(), bytes.end());
        original.resize(std::strlen(original.c_str()));
    }
    RunOk("mkdir " + ShellQuote(dir / "sub") + " && mkfifo " + ShellQuote(dir / "fifo.vmdk") + " && cp " +
          ShellQuote(dir / "f-flat.vmdk") + " " + ShellQuote(dir / "sub/Inner-Flat.VMDK"));
    auto replace = [&](std::string from, std::string to) {
        std::string text = original;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    std::string comments99 = original, comments100;
    size_t lines = std::count(original.begin(), original.end(), '\n');
    while (lines < 99) {
        comments99 += "# padding\n";
        ++lines;
    }
    comments100 = comments99 + "\n";
    const std::string folderName = dir.path().substr(dir.path().rfind('/') + 1);
    struct Row {
        const char* name;
        std::string text;
        bool opens;
    };
    const Row rows[] = {
        {"as written", original, true},
        {"CRLF lines", [&] {
             std::string t;
             for (char c : original) t += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return t;
         }(), true},
        {"99 lines", comments99, true},
        {"100 lines", comments100, false},
        {"ddb line first", replace("version=1\n", "ddb.adapterType = \"ide\"\nversion=1\n"), false},
        {"header line after the extents", replace("# The Disk Data Base", "CID=12345678"), false},
        {"wrong first line", replace("# Disk DescriptorFile", "# Disk File"), false},
        {"upper-cased name", replace("\"f-flat.vmdk\"", "\"F-FLAT.VMDK\""), true},
        {"windows path", replace("\"f-flat.vmdk\"", "\"C:\\\\Users\\\\x\\\\f-flat.vmdk\""), true},
        {"absolute path", replace("\"f-flat.vmdk\"", "\"/somewhere/else/f-flat.vmdk\""), true},
        {"subfolder, any case", replace("\"f-flat.vmdk\"", "\"SUB\\\\inner-flat.vmdk\""), true},
        {"parent folder", replace("\"f-flat.vmdk\"", "\"../f-flat.vmdk\""), false},
        {"out through the parent and back", replace("\"f-flat.vmdk\"", "\"../" + folderName + "/f-flat.vmdk\""),
         false},
        {"a file outside", replace("\"f-flat.vmdk\"", "\"../../../../../../../../etc/passwd\""), false},
        {"a fifo", replace("\"f-flat.vmdk\"", "\"fifo.vmdk\""), false},
        {"missing file", replace("\"f-flat.vmdk\"", "\"none.vmdk\""), false},
        {"a folder", replace("\"f-flat.vmdk\"", "\"sub\""), false},
        {"zero extent", replace("FLAT \"f-flat.vmdk\" 0", "ZERO"), true},
        {"bad kind", replace("FLAT", "FLOT"), false},
        {"unquoted name", replace("\"f-flat.vmdk\"", "f-flat.vmdk"), false},
        {"huge count", replace("RW 32768", "RW 99999999999999999999"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir / "e.vmdk";
        qvtest::WriteFileText(path, row.text);
        BackEnd backEnd = OpenBackEnd(path);
        EXPECT_EQ(backEnd.opened, row.opens ? 1 : 0);
        EXPECT_EQ(backEnd.refusal, DiskRefusal::kNone);
        if (backEnd.opened && std::string(row.name) != "zero extent") {
            EXPECT_TRUE(SameSectors(*backEnd.ctx, raw, kChunks));
        }
    }
}

// The two copies of the grain tables of a monolithic sparse disk must agree.
TEST(VirtualDisk, RedundantGrainTablesMustAgree) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    const std::string disk = Convert(dir, raw, "vmdk", "m.vmdk");
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(disk);
    ASSERT_EQ(ReadLe32(bytes, 8) & 2u, 2u);
    const uint64_t redundant = ReadLe32(bytes, 48);   // sectors; qemu-img's fit 32 bits
    const uint64_t directory = ReadLe32(bytes, 56);
    const uint32_t firstTable = ReadLe32(bytes, redundant * 512);
    ASSERT_NE(firstTable, ReadLe32(bytes, directory * 512));   // two different tables, same contents
    ASSERT_EQ(OpenBackEnd(disk).opened, 1);
    // One entry of the redundant copy changed.
    Patch(disk, uint64_t(firstTable) * 512 + 16 * 4, Le32(ReadLe32(bytes, uint64_t(firstTable) * 512 + 64) + 1));
    EXPECT_EQ(OpenBackEnd(disk).opened, 0);
}

// Header fields no tool writes: a quiet refusal, or a disk that reads within
// its own file, never an allocation sized by the field.
TEST(VirtualDisk, HostileHeaderFields) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    auto le64 = [](uint64_t v) {
        std::vector<uint8_t> b;
        for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return b;
    };
    auto be64 = [](uint64_t v) {
        std::vector<uint8_t> b;
        for (int i = 7; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
        return b;
    };
    struct Row {
        const char* name;
        const char* qemuArgs;
        uint64_t offset;   // of the field; the VHD's dynamic header is at 512
        std::vector<uint8_t> bytes;
        bool opens;
    };
    const Row rows[] = {
        {"vhd block size 0", "vpc -o subformat=dynamic,force_size=on", 512 + 32, Be32(0), false},
        {"vhd block size 3", "vpc -o subformat=dynamic,force_size=on", 512 + 32, Be32(3), false},
        {"vhd block size 512 MiB", "vpc -o subformat=dynamic,force_size=on", 512 + 32, Be32(512u << 20), false},
        {"vhd block size 16 MiB", "vpc -o subformat=dynamic,force_size=on", 512 + 32, Be32(16u << 20), true},
        {"vhd no table entries", "vpc -o subformat=dynamic,force_size=on", 512 + 28, Be32(0), false},
        {"vhd table past the file", "vpc -o subformat=dynamic,force_size=on", 512 + 16, be64(1ull << 40), false},
        {"vdi block count 2^32 - 1", "vdi", 384, Le32(0xFFFFFFFFu), false},
        {"vdi block size 3", "vdi", 376, Le32(3), false},
        {"vdi disk size 2^63", "vdi", 368, le64(1ull << 63), false},
        {"vdi map offset past the file", "vdi", 340, Le32(0x7FFFFFFF), false},
        {"vmdk grain 2^40", "vmdk", 20, le64(1ull << 40), false},
        {"vmdk capacity 2^63", "vmdk", 12, le64(1ull << 63), false},
        {"vmdk 2^31 entries a table", "vmdk", 44, Le32(0x80000000u), false},
        {"vmdk directory past the file", "vmdk", 56, le64(1ull << 40), false},
        {"vmdk version 2", "vmdk", 4, Le32(2), false},
    };
    std::vector<uint8_t> buffer(2048 * 512);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string disk = Convert(dir, raw, row.qemuArgs, "h.img");
        Patch(disk, row.offset, row.bytes);
        BackEnd backEnd = OpenBackEnd(disk);
        EXPECT_EQ(backEnd.opened, row.opens ? 1 : 0);
        if (!backEnd.opened) continue;
        const uint64_t sectors = DiskSizeBytes(*backEnd.ctx) / 512;
        for (uint64_t at = 0; at < sectors; at += 2048) {
            ReadDiskSectors(*backEnd.ctx, at, buffer.data(), uint32_t(std::min<uint64_t>(2048, sectors - at)));
        }
        RunOk("rm -f " + ShellQuote(disk));
    }
}

// A dynamic VHD of small blocks, which qemu-img does not write: made here from
// the raw disk (footer, dynamic header, table, each block's one-sector bitmap
// and data), checked by qemu-img's reading of it, then read by ours. With 4 KiB
// blocks the bitmap is one byte, still padded to a whole sector before the data.
std::vector<uint8_t> MakeSmallBlockVhd(const std::vector<uint8_t>& raw, uint32_t blockBytes) {
    auto putBe = [](std::vector<uint8_t>& b, size_t at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * (bytes - 1 - i)));
    };
    auto checksum = [](const std::vector<uint8_t>& b, size_t from, size_t length, size_t field) {
        uint32_t sum = 0;
        for (size_t i = from; i < from + length; ++i) {
            if (i < field || i >= field + 4) sum += b[i];
        }
        return ~sum;
    };
    const uint64_t blocks = raw.size() / blockBytes;
    const uint64_t tableBytes = (blocks * 4 + 511) / 512 * 512;
    std::vector<uint8_t> out(512 + 1024 + tableBytes, 0);
    std::vector<uint8_t> footer(512, 0);
    std::memcpy(footer.data(), "conectix", 8);
    putBe(footer, 8, 2, 4);
    putBe(footer, 12, 0x00010000, 4);
    putBe(footer, 16, 512, 8);
    std::memcpy(footer.data() + 28, "qem2", 4);
    std::memcpy(footer.data() + 36, "Wi2k", 4);
    putBe(footer, 40, raw.size(), 8);
    putBe(footer, 48, raw.size(), 8);
    putBe(footer, 56, (uint64_t(1024) << 16) | (16 << 8) | 63, 4);
    putBe(footer, 60, 3, 4);
    putBe(footer, 64, checksum(footer, 0, 512, 64), 4);
    std::memcpy(out.data(), footer.data(), 512);
    std::memcpy(out.data() + 512, "cxsparse", 8);
    putBe(out, 512 + 8, ~uint64_t(0), 8);
    putBe(out, 512 + 16, 1536, 8);
    putBe(out, 512 + 24, 0x00010000, 4);
    putBe(out, 512 + 28, blocks, 4);
    putBe(out, 512 + 32, blockBytes, 4);
    putBe(out, 512 + 36, checksum(out, 512, 1024, 512 + 36), 4);
    for (uint64_t b = 0; b < blocks; ++b) {
        const uint8_t* data = raw.data() + b * blockBytes;
        const bool empty = std::all_of(data, data + blockBytes, [](uint8_t x) { return x == 0; });
        putBe(out, 1536 + b * 4, empty ? 0xFFFFFFFFu : out.size() / 512, 4);
        if (empty) continue;
        const size_t at = out.size();
        out.resize(at + 512 + blockBytes, 0);
        std::memset(out.data() + at, 0xFF, std::max<size_t>(1, blockBytes / 512 / 8));
        std::memcpy(out.data() + at + 512, data, blockBytes);
    }
    out.insert(out.end(), footer.begin(), footer.end());
    return out;
}

TEST(VirtualDisk, SmallBlockVhdMadeByHand) {
    qvtest::TempDir dir;
    const std::string raw = MakeRawDisk(dir, "d.img", 16);
    const std::vector<uint8_t> rawBytes = qvtest::ReadFileBytes(raw);
    for (const uint32_t blockBytes : {4096u, 512u * 1024}) {
        SCOPED_TRACE(blockBytes);
        const std::vector<uint8_t> vhd = MakeSmallBlockVhd(rawBytes, blockBytes);
        const std::string path = dir / "small.vhd";
        qvtest::WriteFileBytes(path, vhd.data(), vhd.size());
        const std::string oracle = QemuRaw(dir, path, "small.raw", "vpc");
        RunOk("cmp " + ShellQuote(oracle) + " " + ShellQuote(raw));
        BackEnd backEnd = OpenBackEnd(path);
        ASSERT_EQ(backEnd.opened, 1);
        EXPECT_TRUE(SameSectors(*backEnd.ctx, raw, kChunks));
    }
}

}  // namespace
}  // namespace filesystems
