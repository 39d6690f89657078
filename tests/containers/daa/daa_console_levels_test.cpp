// The console's "-method" and "-OO L" choose the level of the DAA it writes:
// level 0 is format 0x100 in 64 KiB chunks, levels 1 and 2 format 0x110 in
// 512 KiB and 4 MiB chunks. Each image is joined by the independent reader of
// the fixtures and the ISO inside is read by 7z.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/byte_order.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(DaaConsoleLevels, MethodAndLevelLetterSetTheLevel) {
    qvtest::TempDir dir;
    qvtest::TempDir settings;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p tree && head -c 700000 /dev/urandom > tree/r.bin && seq 1 200000 > tree/s.txt"
          " && xorriso -as mkisofs -quiet -r -J -o t.iso tree 2>/dev/null");
    const std::string zarn = ShellQuote(std::string(QV_PROGRAM_DIR) + "/zarn");
    struct Row {
        const char* name;
        const char* switches;
        uint8_t level;
        uint32_t format;
    } rows[] = {
        {"plain", "", 0, 0x100},
        {"normal", "-method normal", 0, 0x100},
        {"better", "-method better", 1, 0x110},
        {"best", "-method BEST", 2, 0x110},
        {"letter", "-OO L 2", 1, 0x110},
    };
    for (const Row& row : rows) {
        const std::string out = std::string(row.name) + ".daa";
        RunOk("cd " + ShellQuote(dir.path()) + " && QV_CONFIG_DIR=" + ShellQuote(settings.path()) + " " + zarn +
              " convert t.iso -o " + out + " -ot daa " + row.switches + " > log 2>&1 || (cat log; false)");
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(dir / out);
        ASSERT_GE(bytes.size(), 72u) << row.name;
        EXPECT_EQ(bytes[56], row.level) << row.name;
        EXPECT_EQ(foundation::ReadLE32(bytes.data() + 20), row.format) << row.name;
        RunOk("cd " + ShellQuote(dir.path()) + " && rm -rf o c.iso && python3 " + chunktest::FixtureScript() +
              " daacheck " + out + " c.iso && 7z x -oo c.iso > /dev/null && cmp o/r.bin tree/r.bin && "
              "cmp o/s.txt tree/s.txt");
    }
}

}  // namespace
