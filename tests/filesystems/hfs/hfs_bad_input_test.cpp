// Damaged HFS+ volumes (the hand-built one, each with one fault) and what
// the reader makes of them: a refused mount, or a tree of what could be read
// and files that fail to read rather than read another file's blocks; never
// a hang. The B-tree engine is the one classic HFS uses too.

#include <gtest/gtest.h>

#include <functional>

#include "filesystems/hfs/hfs_state.h"
#include "tests/filesystems/hfs/hfs_fixtures.h"
#include "tests/filesystems/hfs/hfs_plus_builder.h"

namespace {

using hfstest::HfsPlusBuilder;
using Bytes = std::vector<uint8_t>;

constexpr size_t kHeader = 1024;
constexpr size_t kExtentsHeaderNode = HfsPlusBuilder::kExtentsBlock * HfsPlusBuilder::kBlock;
constexpr size_t kExtentsLeaf = kExtentsHeaderNode + HfsPlusBuilder::kNode;
constexpr size_t kCatalogHeaderNode = HfsPlusBuilder::kCatalogBlock * HfsPlusBuilder::kBlock;
constexpr size_t kCatalogLeaf = kCatalogHeaderNode + HfsPlusBuilder::kNode;
constexpr size_t kFirstRecord = 14;

size_t CatalogRecord(const Bytes& v, int i) {
    const size_t n = kCatalogLeaf + HfsPlusBuilder::kNode - 2 * size_t(i + 1);
    return kCatalogLeaf + (size_t(v[n]) << 8 | v[n + 1]);
}

const std::map<std::string, int64_t> kWhole = {{"a.txt", 6}, {"big", 10 * 4096 - 100}, {"sub", -1}, {"sub/c", 7}};

struct DamageRow {
    const char* name;
    std::function<void(Bytes&)> damage;
    bool mounts;
    std::map<std::string, int64_t> listing;   // when it mounts
    bool bigReads;
};

TEST(HfsBadInput, DamagedVolumesAreRefusedOrReadInPart) {
    hfstest::ReadersInstalled readers;
    using B = HfsPlusBuilder;
    const DamageRow rows[] = {
        {"undamaged", [](Bytes&) {}, true, kWhole, true},
        {"record count beyond the node", [](Bytes& v) { B::Be16(&v[kCatalogLeaf + 10], 0xFFFF); }, true, {}, false},
        {"key longer than its record",
         [](Bytes& v) { B::Be16(&v[kCatalogLeaf + kFirstRecord], 0x0FFE); }, true, {}, false},
        {"record offsets that fall back",
         [](Bytes& v) { B::Be16(&v[kCatalogLeaf + B::kNode - 6], 12); }, true, {}, false},
        {"leaf linked to itself, counted as holding more",
         [](Bytes& v) {
             B::Be32(&v[kCatalogLeaf], 1);
             B::Be32(&v[kCatalogHeaderNode + 14 + 6], 1000);
         },
         true, kWhole, true},
        {"folder that is the root again",
         [](Bytes& v) { B::Be32(&v[CatalogRecord(v, 4) + 14 + 8], 2); }, true, {{"a.txt", 6}, {"big", 10 * 4096 - 100}},
         true},
        {"keys out of order", [](Bytes& v) { B::Be32(&v[CatalogRecord(v, 8) + 2], 3); }, true,
         {{"a.txt", 6}, {"big", 10 * 4096 - 100}, {"sub", -1}}, true},
        {"name longer than its key", [](Bytes& v) { B::Be16(&v[CatalogRecord(v, 2) + 6], 200); }, true,
         {{"big", 10 * 4096 - 100}, {"sub", -1}, {"sub/c", 7}}, true},
        {"overflow extents of another file", [](Bytes& v) { B::Be32(&v[kExtentsLeaf + kFirstRecord + 4], 99); }, true,
         kWhole, false},
        {"overflow extents starting elsewhere", [](Bytes& v) { B::Be32(&v[kExtentsLeaf + kFirstRecord + 8], 7); },
         true, kWhole, false},
        {"extents tree with its leaf at the root's level",
         [](Bytes& v) { B::Be16(&v[kExtentsHeaderNode + 14], 2); }, true, kWhole, false},
        {"extent beyond the volume", [](Bytes& v) { B::Be32(&v[kExtentsLeaf + kFirstRecord + 12], 0xFFFFFFF0u); },
         true, kWhole, false},
        {"catalog larger than its extents", [](Bytes& v) { B::Be64(&v[kHeader + 272], 3 * B::kNode); }, false, {},
         false},
        {"node size not a power of two", [](Bytes& v) { B::Be16(&v[kCatalogHeaderNode + 14 + 18], 3000); }, false, {},
         false},
        {"block size not a power of two", [](Bytes& v) { B::Be32(&v[kHeader + 40], 3000); }, false, {}, false},
    };
    for (const DamageRow& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        HfsPlusBuilder b;
        Bytes v = b.Build();
        row.damage(v);
        qvtest::WriteFileBytes(dir / "v.img", v.data(), v.size());
        auto doc = isotest::OpenDoc(dir / "v.img");
        if (!row.mounts) {
            EXPECT_FALSE(doc && doc->hfsPlusVolume);
            continue;
        }
        ASSERT_TRUE(doc);
        ASSERT_TRUE(doc->hfsPlusVolume);
        EXPECT_EQ(hfstest::OurListing(*doc), row.listing);
        const auto tree = isotest::ListTree(*doc);
        if (!tree.count("/big")) continue;
        std::vector<uint8_t> out(b.big.size());
        const int64_t got = filesystems::ReadHfsItemBytes(*doc, *tree.at("/big").item, 0, out.data(), out.size());
        EXPECT_EQ(got == int64_t(out.size()) && out == b.big, row.bigReads);
    }
}

// Map and wrapper hops that lead nowhere new are refused, not followed again.
TEST(HfsBadInput, HopsThatGoNowhereAreRefused) {
    hfstest::ReadersInstalled readers;
    struct Row {
        const char* name;
        std::function<Bytes()> make;
    };
    const Row rows[] = {
        {"wrapper whose volume starts at the wrapper",
         [] {
             Bytes v = HfsPlusBuilder().BuildWrapped();
             HfsPlusBuilder::Be16(&v[1024 + 28], 0);
             HfsPlusBuilder::Be16(&v[1024 + 126], 0);
             return v;
         }},
        {"partition map entry starting at the map",
         [] {
             Bytes v(64 * 1024, 0);
             v[512] = 'P';
             v[513] = 'M';
             HfsPlusBuilder::Be32(&v[512 + 4], 1);
             HfsPlusBuilder::Be32(&v[512 + 12], 100);
             std::memcpy(&v[512 + 48], "Apple_HFS", 9);
             return v;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        const Bytes v = row.make();
        qvtest::WriteFileBytes(dir / "v.img", v.data(), v.size());
        auto doc = isotest::OpenDoc(dir / "v.img");
        EXPECT_FALSE(doc && (doc->hfsPlusVolume || doc->hfsVolume));
    }
}

}  // namespace
