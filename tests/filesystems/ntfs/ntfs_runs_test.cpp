// Run lists decoded from hand-made mapping pairs, one row per rule (a real
// volume's lists are read in the volume tests; these are the shapes mkntfs
// never writes).

#include "filesystems/ntfs/ntfs_runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace filesystems {
namespace {

constexpr uint64_t kVolumeClusters = 1000;

struct Row {
    const char* name;
    std::vector<uint8_t> pairs;
    uint64_t lowestVcn;
    uint64_t lastVcn;
    bool ok;
    std::vector<NtfsRun> runs;
};

bool SameRuns(const std::vector<NtfsRun>& a, const std::vector<NtfsRun>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const NtfsRun& x, const NtfsRun& y) {
        return x.vcn == y.vcn && x.lcn == y.lcn && x.clusters == y.clusters;
    });
}

TEST(NtfsRuns, DecodeTable) {
    const std::vector<Row> rows = {
        {"OneRun", {0x11, 0x05, 0x20, 0x00}, 0, 4, true, {{0, 0x20, 5}}},
        {"NegativeOffsetFromPrevious", {0x11, 0x02, 0x40, 0x11, 0x03, 0xF0, 0x00}, 0, 4, true,
         {{0, 0x40, 2}, {2, 0x30, 3}}},
        {"HoleKeepsLcn", {0x11, 0x02, 0x40, 0x01, 0x04, 0x11, 0x01, 0x02, 0x00}, 0, 6, true,
         {{0, 0x40, 2}, {2, kNtfsHole, 4}, {6, 0x42, 1}}},
        {"FromLowestVcn", {0x11, 0x03, 0x10, 0x00}, 7, 9, true, {{7, 0x10, 3}}},
        {"EndOfBytesEndsList", {0x11, 0x01, 0x10}, 0, 0, true, {{0, 0x10, 1}}},
        {"RunsShortOfLastVcn", {0x11, 0x01, 0x10, 0x00}, 0, 9, true, {{0, 0x10, 1}}},
        {"HeaderFF", {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 9, false, {}},
        {"LengthSizeZero", {0x10, 0x05, 0x00}, 0, 9, false, {}},
        {"OffsetSizeNine", {0x91, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 9, false, {}},
        {"LengthZero", {0x11, 0x00, 0x10, 0x00}, 0, 9, false, {}},
        {"LengthNegative", {0x11, 0xFF, 0x10, 0x00}, 0, 9, false, {}},
        {"RunCutShort", {0x21, 0x01, 0x10}, 0, 9, false, {}},
        {"LcnBelowZero", {0x11, 0x01, 0xF0, 0x00}, 0, 9, false, {}},
        {"LcnPastVolume", {0x21, 0x01, 0xE8, 0x03, 0x00}, 0, 9, false, {}},
        {"RunEndsPastVolume", {0x21, 0x10, 0xE0, 0x03, 0x00}, 0, 99, false, {}},
        {"PastLastVcn", {0x11, 0x05, 0x10, 0x00}, 0, 3, false, {}},
        // A sparse run of 2^63 - 1 clusters from VCN 2^63 + 2.
        {"VcnOverflows", {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}, (uint64_t{1} << 63) + 2,
         UINT64_MAX, false, {}},
    };
    for (const Row& row : rows) {
        // Exactly sized: the sanitizer sees a read one byte past the pairs.
        auto bytes = std::make_unique<uint8_t[]>(row.pairs.size());
        std::copy(row.pairs.begin(), row.pairs.end(), bytes.get());
        NtfsDataPiece piece;
        piece.mappingPairs = std::span<const uint8_t>(bytes.get(), row.pairs.size());
        piece.lowestVcn = row.lowestVcn;
        piece.lastVcn = row.lastVcn;
        std::vector<NtfsRun> runs;
        EXPECT_EQ(DecodeDataRuns(piece, kVolumeClusters, runs), row.ok) << row.name;
        if (row.ok) {
            EXPECT_TRUE(SameRuns(runs, row.runs)) << row.name;
        }
    }
}

TEST(NtfsRuns, PiecesJoinAndCursorFindsEveryCluster) {
    const std::vector<uint8_t> first = {0x11, 0x04, 0x10, 0x00};   // VCN 0-3 at 16
    const std::vector<uint8_t> second = {0x11, 0x02, 0x40, 0x00};  // VCN 6-7 at 64 (4-5 unmapped)
    NtfsDataPiece a, b;
    a.mappingPairs = first;
    a.lastVcn = 3;
    b.mappingPairs = second;
    b.lowestVcn = 6;
    b.lastVcn = 7;
    std::vector<NtfsRun> runs;
    ASSERT_TRUE(BuildNtfsRunList({b, a}, kVolumeClusters, runs));
    NtfsRunCursor cursor(runs);
    EXPECT_EQ(cursor.Find(7)->lcn, 0x40);
    EXPECT_EQ(cursor.Find(0)->lcn, 0x10);
    EXPECT_EQ(cursor.Find(3)->lcn, 0x10);
    EXPECT_EQ(cursor.Find(4), nullptr);
    EXPECT_EQ(cursor.Find(8), nullptr);
    EXPECT_EQ(cursor.Find(6)->vcn, 6u);
    // Two pieces over the same clusters.
    b.lowestVcn = 2;
    EXPECT_FALSE(BuildNtfsRunList({a, b}, kVolumeClusters, runs));
}

// Runs of one attribute never share a cluster, in one piece or across pieces.
TEST(NtfsRuns, RunsOverTheSameClustersAreRefused) {
    struct PieceRow {
        const char* name;
        std::vector<uint8_t> first, second;   // second empty: one piece
        bool ok;
    } rows[] = {
        {"side by side", {0x11, 0x02, 0x10, 0x11, 0x02, 0x02, 0x00}, {}, true},
        {"the same clusters again", {0x11, 0x02, 0x10, 0x01, 0x02, 0x11, 0x02, 0x00, 0x00}, {}, false},
        {"one cluster shared", {0x11, 0x02, 0x10, 0x11, 0x02, 0x01, 0x00}, {}, false},
        {"back before the first", {0x11, 0x02, 0x10, 0x11, 0x04, 0xFF, 0x00}, {}, false},
        {"holes between are no clusters", {0x11, 0x02, 0x10, 0x01, 0x05, 0x11, 0x02, 0x02, 0x00}, {}, true},
        {"second piece over the first's clusters", {0x11, 0x04, 0x10, 0x00}, {0x11, 0x04, 0x12, 0x00}, false},
        {"second piece elsewhere", {0x11, 0x04, 0x10, 0x00}, {0x11, 0x04, 0x14, 0x00}, true},
    };
    for (const PieceRow& row : rows) {
        NtfsDataPiece a, b;
        a.mappingPairs = row.first;
        a.lastVcn = 99;
        std::vector<NtfsDataPiece> pieces{a};
        if (!row.second.empty()) {
            pieces[0].lastVcn = 3;
            b.mappingPairs = row.second;
            b.lowestVcn = 4;
            b.lastVcn = 99;
            pieces.push_back(b);
        }
        std::vector<NtfsRun> runs;
        EXPECT_EQ(BuildNtfsRunList(pieces, kVolumeClusters, runs), row.ok) << row.name;
    }
}

}  // namespace
}  // namespace filesystems
