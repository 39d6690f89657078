// Real Mode 2 sectors: a Video CD image written by vcdimager holds Form 1
// sectors (EDC, P and Q) and Form 2 sectors (EDC). Our checker must accept every
// one, and our builders must reproduce each from its user data and sub-header.

#include <gtest/gtest.h>

#include <cstring>

#include "image/sectors/raw_sectors.h"
#include "tests/support/test_support.h"

namespace image {
namespace {

TEST(RawSectorsVcd, EveryVcdimagerSectorChecksAndRebuilds) {
    qvtest::TempDir dir;
    qvtest::WriteFileBytes(dir / "empty.mpg", "", 0);
    qvtest::WriteFileBytes(dir / "readme.txt", "Video CD test payload\n", 22);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && TZ=UTC vcdimager -q -t vcd2 -T '2020-01-02 03:04:05' --add-file=readme.txt,README.TXT"
                  " -c vcd.cue -b vcd.bin empty.mpg");
    const auto bin = qvtest::ReadFileBytes(dir / "vcd.bin");
    ASSERT_GT(bin.size(), 100u * kRawSectorSize);
    ASSERT_EQ(bin.size() % kRawSectorSize, 0u);

    size_t form1 = 0, form2 = 0, built0 = 0;
    for (size_t i = 0; i < bin.size() / kRawSectorSize; ++i) {
        const uint8_t* s = bin.data() + i * kRawSectorSize;
        RawSectorInfo info;
        ASSERT_EQ(CheckRawSector(s, &info), RawSectorCheck::Ok) << "sector " << i;
        EXPECT_EQ(info.address, int32_t(i)) << "sector " << i;
        uint8_t rebuilt[kRawSectorSize];
        std::memset(rebuilt, 0xCC, sizeof rebuilt);
        bool built = true;
        if (info.kind == RawSectorKind::Mode2Form1) {
            ++form1;
            // Our builder writes file 0, channel 0 and coding 0; sectors of
            // other files are checked through the rebuild below only.
            built = s[16] == 0 && s[17] == 0 && s[19] == 0;
            if (built) {
                ClearSubmodeFlags();
                AddSubmodeFlag(int32_t(i), uint8_t(s[18] & ~kSubmodeData));
                MakeMode2Form1Sector(int32_t(i), s + kMode2Form1DataOffset, rebuilt);
                ClearSubmodeFlags();
            }
        } else {
            ASSERT_EQ(info.kind, RawSectorKind::Mode2Form2) << "sector " << i;
            ++form2;
            MakeMode2Form2Sector(int32_t(i), s[16], s[17], s[18], s[19], s + kMode2Form1DataOffset, rebuilt);
        }
        if (built) {
            ASSERT_EQ(std::memcmp(rebuilt, s, kRawSectorSize), 0) << "sector " << i;
        }
        built0 += built ? 1 : 0;

        uint8_t repaired[kRawSectorSize];
        std::memcpy(repaired, s, kRawSectorSize);
        std::memset(repaired + 2072, 0, kRawSectorSize - 2072 - 4);
        RebuildRawSector(int32_t(i), repaired);
        ASSERT_EQ(std::memcmp(repaired, s, kRawSectorSize), 0) << "sector " << i;
    }
    EXPECT_GT(form1, 100u);
    EXPECT_GT(form2, 100u);
    EXPECT_GT(built0, 400u);
}

}  // namespace
}  // namespace image
