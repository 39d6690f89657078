// UIF images built from the documented layout by the fixture writer (no Debian
// tool writes UIF): a zlib block table with stored (types 1, 2), zero (3) and
// zlib (5, 7) entries around an xorriso ISO, and around Mode 2 Form 1 frames
// of the same ISO, which open only with the third layout tried (2352-byte
// sectors, user data at 24). Damaged trailers and tables are refused.

#include "containers/uif/uif_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "containers/chunk/chunk_engine.h"
#include "image/sectors/raw_sectors.h"
#include "tests/containers/chunk_image_fixture.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(UifReader, ImagesReadAsTheIso) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    // The ISO as Mode 2 Form 1 frames.
    const std::vector<uint8_t> iso = qvtest::ReadFileBytes(dir / "t.iso");
    std::vector<uint8_t> frames(iso.size() / 2048 * 2352);
    for (size_t s = 0; s < iso.size() / 2048; ++s)
        image::MakeMode2Form1Sector(int32_t(s), iso.data() + s * 2048, frames.data() + s * 2352);
    qvtest::WriteFileBytes(dir / "frames.bin", frames.data(), frames.size());

    struct Row {
        const char* name;
        const char* source;
        const char* args;   // entry types, chunk bytes, unit
        int32_t sectorSize;
        int32_t dataOffset;
    };
    const Row rows[] = {
        {"2048-byte sectors, every entry type", "t.iso", "1,5,2,7 65536 2048", 2048, 0},
        {"frames: opens after two failed layouts", "frames.bin", "5,1 37632 2352", 2352, 24},
    };
    chunktest::Readers readers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() + " uif " + row.source +
              " t.uif " + row.args);
        image::DocumentPtr doc = chunktest::Open(dir / "t.uif");
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->formatCode, image::format_code::kUif);
        ASSERT_TRUE(doc->chunkTable);
        EXPECT_EQ(doc->chunkTable->sectorSize, row.sectorSize);
        EXPECT_EQ(doc->chunkTable->sectorDataOffset, row.dataOffset);
        chunktest::ExpectSectorsOf(*doc, dir / "t.iso");
        chunktest::ExpectExtractsTree(*doc, dir);
    }
}

TEST(UifReader, DamagedTrailersAndTablesAreRefused) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() +
          " uif t.iso good.uif 5,1 65536 2048");
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(dir / "good.uif");
    const size_t trailer = good.size() - 64;
    size_t table = 0;
    for (int i = 7; i >= 0; --i) table = table << 8 | good[trailer + 28 + size_t(i)];
    struct Row {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
        size_t keep;   // bytes of the file kept, 0 all
    };
    const Row rows[] = {
        {"no trailer magic", trailer, {'b', 'b', 'i', 'x'}, 0},
        {"unit size 0", trailer + 20, {0, 0, 0, 0}, 0},
        {"a table past the end of the file", trailer + 28, {0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"no table magic", table, {'x'}, 0},
        {"a stored length below 8", table + 4, {7, 0, 0, 0}, 0},
        {"a stored length past the end of the file", table + 4, {0xFF, 0xFF, 0xFF, 0x7F}, 0},
        {"more entries than the table holds", table + 12, {0xFF, 0x00, 0, 0}, 0},
        {"an absurd entry count", table + 12, {0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"a corrupt table", table + 18, {0xFF, 0xFF}, 0},
        {"64 bytes", 0, {}, 64},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bad = good;
        std::copy(row.bytes.begin(), row.bytes.end(), bad.begin() + long(row.offset));
        if (row.keep) bad.resize(row.keep);
        qvtest::WriteFileBytes(dir / "bad.uif", bad.data(), bad.size());
        image::ImageContext ctx;
        ctx.imageHandle.reset(foundation::OpenFileForRead(U(dir / "bad.uif")));
        ASSERT_TRUE(ctx.imageHandle);
        EXPECT_FALSE(containers::BuildUifChunkTable(ctx, 2048, 0));
        EXPECT_EQ(containers::OpenUifImage(ctx), -1);
        EXPECT_EQ(ctx.formatCode, image::format_code::kUnknown);
    }
}

}  // namespace
