// The MZP records with fixed answers: volume names, the volume-count check,
// the bit-packed chunk table, the entry table of self-extracting files, and
// the writer options that could only make an unreadable archive.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "containers/mzp/chunk_table.h"
#include "containers/mzp/mzp_format.h"
#include "containers/mzp/mzp_writer.h"
#include "containers/sfx/sfx_settings.h"
#include "foundation/byte_order.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"

namespace {

using namespace containers;
using namespace containers::mzp;

TEST(MzpNames, VolumeNamesByStyle) {
    struct Row {
        std::u16string path;
        int32_t style;
        uint32_t n;
        std::optional<std::u16string> first;   // GetMzpVolumeName
        std::optional<std::u16string> nth;     // MzpVolumeNameAt(first, style, n)
    };
    const Row rows[] = {
        {u"Disc.mzp", 0, 1, u"Disc.part01.mzp", u"Disc.part02.mzp"},
        {u"Disc.exe", 0, 1, u"Disc.part01.exe", u"Disc.part02.mzp"},
        {u"Disc.EXE", 0, 0, u"Disc.part01.EXE", u"Disc.part01.EXE"},
        {u"Disc", 0, 2, u"Disc.part01.mzp", u"Disc.part03.mzp"},
        {u"Disc.mzp", 1, 9, u"Disc.part001.mzp", u"Disc.part010.mzp"},
        {u"Disc.mzp", 0, 99, u"Disc.part01.mzp", std::nullopt},   // a 100th volume has no name
        {u"Disc.mzp", 2, 1, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        const auto first = GetMzpVolumeName(row.path, row.style);
        EXPECT_EQ(first, row.first);
        if (first) {
            EXPECT_EQ(MzpVolumeNameAt(*first, row.style, row.n), row.nth);
        }
    }
    EXPECT_EQ(FindFirstMzpVolume(u"a.part07.mzp"), u"a.part01.mzp");
    EXPECT_EQ(FindFirstMzpVolume(u"a.PART123.MZP"), u"a.PART001.MZP");
    EXPECT_EQ(FindFirstMzpVolume(u"a.part0007.mzp"), u"a.part0007.mzp");
    EXPECT_EQ(FindFirstMzpVolume(u"a.mzp"), u"a.mzp");
    EXPECT_TRUE(CheckMzpVolumeCount(1000, 20000));
    EXPECT_FALSE(CheckMzpVolumeCount(100, 1 << 20));
    EXPECT_TRUE(CheckMzpVolumeCount(1, 0));   // no division by a zero size
}

TEST(MzpTable, SeventeenBitEntries) {
    std::vector<uint8_t> table(size_t(PackedTableBytes(5, 17)), 0);
    EXPECT_EQ(table.size(), 11u);
    for (uint64_t i = 0; i < 5; ++i) {
        SetPackedBits(table, i * 17, 16, 0xFFFF - i);
        SetPackedBits(table, i * 17 + 16, 1, i & 1);
    }
    for (uint64_t i = 0; i < 5; ++i) {
        EXPECT_EQ(GetPackedBits(table, i * 17, 16), 0xFFFF - i);
        EXPECT_EQ(GetPackedBits(table, i * 17 + 16, 1), i & 1);
    }
    EXPECT_EQ(BitWidth(65535), 16u);
    EXPECT_EQ(BitWidth(512 * 1024 - 1), 19u);
}

TEST(SfxEntryTable, BuildAndParse) {
    SfxSettings s;
    EXPECT_EQ(BuildEntryTable(s).size(), 20u);
    s.slots[3] = std::vector<uint8_t>{1, 2, 3, 4, 5};
    s.slots[700] = std::vector<uint8_t>{};
    const std::vector<uint8_t> rec = BuildEntryTable(s);
    ASSERT_EQ(rec.size(), 41u);
    EXPECT_EQ(foundation::ReadLE32(&rec[8]), 2u);
    EXPECT_EQ(foundation::ReadLE32(&rec[20]), 3u);   // slot 3 first
    auto back = ParseEntryTable(rec.data(), rec.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->slots[3], s.slots[3]);
    EXPECT_TRUE(back->slots[700].has_value());

    struct Bad {
        const char* name;
        void (*edit)(std::vector<uint8_t>&);
        bool parses;
    };
    const Bad bad[] = {
        {"entry leaves the record", [](std::vector<uint8_t>& r) { foundation::WriteLE32(&r[24], 1000); }, false},
        {"count beyond the entries", [](std::vector<uint8_t>& r) { foundation::WriteLE32(&r[8], 3); }, false},
        {"length field not the size", [](std::vector<uint8_t>& r) { foundation::WriteLE32(&r[4], 40); }, false},
        {"index 1024 skipped", [](std::vector<uint8_t>& r) { foundation::WriteLE32(&r[20], 1024); }, true},
    };
    for (const Bad& b : bad) {
        std::vector<uint8_t> r = rec;
        b.edit(r);
        EXPECT_EQ(ParseEntryTable(r.data(), r.size()) != nullptr, b.parses) << b.name;
    }
}

// Options that would write an archive no reader can read are refused before
// anything is written.
TEST(MzpWriterOptions, UnreadableLayoutsAreRefused) {
    struct Row {
        const char* name;
        uint32_t chunk;
        uint32_t lengthBits;
        int32_t typeBits;
        int32_t level;
        bool ok;
    };
    const Row rows[] = {
        {"defaults", 0, 0, -1, 1, true},
        {"no type bits", 0, 0, 0, 1, false},
        {"length bits too small for the chunk", 0, 12, -1, 1, false},
        {"length bits over 32", 0, 33, -1, 1, false},
        {"chunk size off 16 KB steps", 100000, 0, -1, 1, false},
        {"chunk size of 64 MB", 64u << 20, 0, -1, 1, false},
        {"chunk override ignored at level 0", 100000, 0, -1, 0, true},
    };
    for (const Row& row : rows) {
        image::ImageContext ctx;
        ctx.endSector = 100;
        ctx.compressionLevel = row.level;
        MzpOptions() = {row.chunk, row.lengthBits, row.typeBits, 0};
        int opened = 0;
        const bool created = CreateMzpWriter(ctx, u"/nonexistent/x.mzp", [&](std::u16string_view) {
            ++opened;
            return platform::FileHandle(nullptr);
        });
        // The defaults get as far as opening the output (which fails here).
        EXPECT_FALSE(created) << row.name;
        EXPECT_EQ(opened == 1, row.ok) << row.name;
    }
    MzpOptions() = {};
}

}  // namespace
