// The UDF reader against the volumes real tools make: genisoimage's bridge
// images (listed and extracted by 7z's UDF reader), mkudffs's empty volumes of
// every partition kind (checked against udfinfo), and patched copies of them
// for the damage a crafted disc can carry.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "filesystems/udf/udf_descriptors.h"
#include "filesystems/udf/udf_state.h"
#include "foundation/byte_order.h"
#include "tests/filesystems/udf/udf_fixtures.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;
using udftest::OurListing;
using udftest::SevenZipListing;

constexpr size_t kBlock = 2048;

std::string MakeTree(const qvtest::TempDir& dir) {
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p t/sub/deeper t/empty_folder && echo hello > t/a.txt && head -c 3000 /dev/urandom > t/sub/b.bin"
          " && head -c 70000 /dev/urandom > t/sub/deeper/c.bin && : > t/zero && echo e > \"t/$(printf '\\303\\251').txt\""
          " && find t -exec touch -d @1600000000 {} +");
    return dir / "t";
}

// A bridge image from genisoimage, in a zone with an offset: its timestamps
// are local times with that offset, and must read as the same moment.
std::string MakeBridge(const qvtest::TempDir& dir) {
    MakeTree(dir);
    RunOk("cd " + ShellQuote(dir.path()) + " && TZ=America/New_York genisoimage -quiet -J -udf -V L -o g.iso t");
    return dir / "g.iso";
}

TEST(UdfRead, BridgeImageReadsAsSevenZipListsAndExtractsIt) {
    udftest::ReadersInstalled readers;
    qvtest::TempDir dir;
    const std::string iso = MakeBridge(dir);
    // Eight-bit names are Latin-1 whatever the ANSI code page says.
    ::setenv("QV_ANSI_CODEPAGE", "1251", 1);
    int code = -1;
    auto doc = isotest::OpenDoc(iso, &code);
    ::unsetenv("QV_ANSI_CODEPAGE");
    ASSERT_TRUE(doc) << code;
    EXPECT_EQ(doc->udfPresent, 1);
    ASSERT_TRUE(doc->udfState);
    EXPECT_EQ(OurListing(*doc), SevenZipListing(iso));
    const auto tree = isotest::ListTree(*doc);
    ASSERT_TRUE(tree.count("/\xC3\xA9.txt"));
    for (const auto& [path, e] : tree) EXPECT_EQ(e.time, 1600000000u) << path;
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z x -tudf -oout g.iso >/dev/null");
    udftest::ExpectSameBytesAs(*doc, dir / "out");

    // Block reads: the last block of a 3000-byte file is padded with zeros and
    // nothing is written past the caller's two blocks.
    const image::ImageItem& b = *tree.at("/sub/b.bin").item;
    std::vector<uint8_t> blocks(3 * kBlock, 0xAA);
    EXPECT_EQ(filesystems::UdfReadFileSectors(*doc, b, blocks.data(), 0, 2), 2);
    EXPECT_TRUE(std::equal(blocks.begin(), blocks.begin() + 3000, qvtest::ReadFileBytes(dir / "t/sub/b.bin").begin()));
    EXPECT_TRUE(std::all_of(blocks.begin() + 3000, blocks.begin() + 2 * kBlock, [](uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(blocks.begin() + 2 * kBlock, blocks.end(), [](uint8_t v) { return v == 0xAA; }));
    EXPECT_EQ(filesystems::UdfReadFileSectors(*doc, b, blocks.data(), 2, 1), 0);
    EXPECT_GT(filesystems::UdfBlockToSector(*doc, b, 1), filesystems::UdfBlockToSector(*doc, b, 0));
    EXPECT_EQ(filesystems::UdfBlockToSector(*doc, b, 2), -1);
}

// Empty volumes of each partition kind mkudffs makes, with udfinfo's facts.
TEST(UdfRead, MkudffsVolumesOfEveryPartitionKind) {
    udftest::ReadersInstalled readers;
    struct Row {
        const char* name;
        const char* options;
        bool mounts;
    };
    const Row rows[] = {
        {"virtual 1.50", "--media-type=cdr --udfrev=0x0150", true},
        {"virtual 2.01", "--media-type=cdr --udfrev=0x0201", true},
        {"sparable 1.50", "--media-type=cdrw --udfrev=0x0150", true},
        {"sparable 2.01", "--media-type=cdrw --udfrev=0x0201", true},
        {"physical 2048", "--media-type=hd --blocksize=2048", true},
        // 512-byte blocks: the anchor is not where 2048-byte sectors put it.
        {"hd 512-byte blocks", "--media-type=hd", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        const std::string img = dir / "v.img";
        RunOk(std::string("mkudffs ") + row.options + " --label=L " + ShellQuote(img) + " 8192 >/dev/null 2>&1");
        const auto facts = udftest::UdfInfo(img);
        int code = -1;
        auto doc = isotest::OpenDoc(img, &code);
        if (!row.mounts) {
            EXPECT_FALSE(doc);
            continue;
        }
        ASSERT_TRUE(doc) << code;
        EXPECT_EQ(doc->udfOnly, 1);
        EXPECT_EQ(doc->udfPresent, 1);
        EXPECT_EQ(platform::Utf16ToUtf8(doc->volumeTexts[image::volume_text::kVolumeLabel]), facts.at("label"));
        // Counted as udfinfo counts them: the root is a directory too.
        int files = 0, folders = 1;
        for (const auto& [path, size] : OurListing(*doc)) ++(size < 0 ? folders : files);
        EXPECT_EQ(std::to_string(files), facts.at("numfiles"));
        EXPECT_EQ(std::to_string(folders), facts.at("numdirs"));
        if (facts.count("vatblock")) EXPECT_EQ(doc->udfState->vatSector, std::stoi(facts.at("vatblock")));
        else EXPECT_EQ(doc->udfState->vatSector, 0);
    }
}

// --- Damage -----------------------------------------------------------------

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return foundation::ReadLE32(b.data() + at); }

void Retag(std::vector<uint8_t>& b, size_t at) { b[at + 4] = filesystems::UdfTagChecksum(b.data() + at); }

bool TagAt(const std::vector<uint8_t>& b, size_t at, uint16_t id) {
    return at + 16 <= b.size() && foundation::ReadLE16(b.data() + at) == id &&
           filesystems::UdfTagChecksum(b.data() + at) == b[at + 4];
}

// Sectors holding a valid tag of this identifier.
std::vector<size_t> Tagged(const std::vector<uint8_t>& b, uint16_t id) {
    std::vector<size_t> out;
    for (size_t at = 0; at + kBlock <= b.size(); at += kBlock)
        if (TagAt(b, at, id)) out.push_back(at);
    return out;
}

// The byte offset of the identifier descriptor named `name` (8-bit CS0).
size_t FindFid(const std::vector<uint8_t>& b, const std::string& name) {
    for (size_t at = 0; at + 40 <= b.size(); at += 4) {
        if (!TagAt(b, at, 257)) continue;
        const size_t len = b[at + 19], iu = foundation::ReadLE16(b.data() + at + 36);
        if (len == name.size() + 1 && at + 38 + iu + len <= b.size() && b[at + 38 + iu] == 8 &&
            std::memcmp(b.data() + at + 38 + iu + 1, name.data(), name.size()) == 0)
            return at;
    }
    ADD_FAILURE() << "no identifier " << name;
    return 0;
}

// The byte offset of the file entry an identifier descriptor names (partition
// start taken from the partition descriptor).
size_t EntryOf(const std::vector<uint8_t>& b, size_t fid) {
    const size_t pd = Tagged(b, 5).at(0);
    return (size_t(Le32(b, pd + 188)) + Le32(b, fid + 24)) * kBlock;
}

TEST(UdfRead, DamagedVolumesFailOrSkipCleanly) {
    udftest::ReadersInstalled readers;
    qvtest::TempDir dir;
    const std::string iso = MakeBridge(dir);
    const std::vector<uint8_t> base = qvtest::ReadFileBytes(iso);
    struct Row {
        const char* name;
        void (*patch)(std::vector<uint8_t>&);
        bool udfMounts;
        std::vector<std::string> absent;   // entries skipped; every other one is read
    };
    const Row rows[] = {
        {"deleted entry is skipped, not the end of the folder",
         [](std::vector<uint8_t>& b) {
             const size_t fid = FindFid(b, "a.txt");
             b[fid + 18] |= 4;
             Retag(b, fid);
         },
         true, {"a.txt"}},
        {"identifier naming an ancestor folder",
         [](std::vector<uint8_t>& b) {
             const size_t fid = FindFid(b, "deeper");
             const size_t root = FindFid(b, "sub");
             foundation::WriteLE32(b.data() + fid + 24, Le32(b, root + 24));
             Retag(b, fid);
         },
         true, {"sub/deeper", "sub/deeper/c.bin"}},
        {"file entry with a broken tag",
         [](std::vector<uint8_t>& b) { b[EntryOf(b, FindFid(b, "a.txt")) + 4] ^= 1; },
         true, {"a.txt"}},
        {"allocation extent descriptor naming itself",
         [](std::vector<uint8_t>& b) {
             const size_t fe = EntryOf(b, FindFid(b, "b.bin"));
             const size_t lea = Le32(b, fe + 168);
             const size_t ad = fe + 176 + lea;
             const uint32_t block = Le32(b, ad + 4);   // the data block becomes the descriptor extent
             const size_t pd = Tagged(b, 5).at(0);
             const size_t aed = (size_t(Le32(b, pd + 188)) + block) * kBlock;
             std::memset(b.data() + aed, 0, kBlock);
             foundation::WriteLE16(b.data() + aed, 258);
             foundation::WriteLE16(b.data() + aed + 2, 2);
             foundation::WriteLE32(b.data() + aed + 12, block);
             foundation::WriteLE32(b.data() + aed + 20, 8);
             foundation::WriteLE32(b.data() + aed + 24, 0xC0000000u | 2048);
             foundation::WriteLE32(b.data() + aed + 28, block);
             Retag(b, aed);
             foundation::WriteLE32(b.data() + ad, 0xC0000000u | 2048);
             Retag(b, fe);
         },
         true, {"sub/b.bin"}},
        {"volume descriptor pointer naming its own sequence",
         [](std::vector<uint8_t>& b) {
             for (size_t at : Tagged(b, 7)) {
                 const uint32_t self = Le32(b, at + 12);
                 std::memset(b.data() + at + 16, 0, kBlock - 16);
                 foundation::WriteLE16(b.data() + at, 3);
                 foundation::WriteLE32(b.data() + at + 16, 99);
                 foundation::WriteLE32(b.data() + at + 20, 16 * kBlock);
                 foundation::WriteLE32(b.data() + at + 24, self - 4);
                 Retag(b, at);
             }
         },
         true, {}},
        {"seventeen partition maps",
         [](std::vector<uint8_t>& b) {
             for (size_t at : Tagged(b, 6)) foundation::WriteLE32(b.data() + at + 268, 17), Retag(b, at);
         },
         false, {}},
        {"partition map of length 0",
         [](std::vector<uint8_t>& b) {
             for (size_t at : Tagged(b, 6)) b[at + 441] = 0, Retag(b, at);
         },
         false, {}},
        {"data in the entry longer than its descriptor area",
         [](std::vector<uint8_t>& b) {
             const size_t fe = EntryOf(b, FindFid(b, "a.txt"));
             foundation::WriteLE16(b.data() + fe + 34, uint16_t((foundation::ReadLE16(b.data() + fe + 34) & ~7) | 3));
             foundation::WriteLE64(b.data() + fe + 56, 100000);
             foundation::WriteLE32(b.data() + fe + 172, 4);
             Retag(b, fe);
         },
         true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bytes = base;
        row.patch(bytes);
        const std::string path = dir / "bad.iso";
        qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
        auto doc = isotest::OpenDoc(path);
        ASSERT_TRUE(doc);   // the ISO 9660 side always opens
        EXPECT_EQ(doc->udfPresent, row.udfMounts ? 1 : 0);
        if (!row.udfMounts) continue;
        std::map<std::string, int64_t> expected = SevenZipListing(iso);
        for (const std::string& gone : row.absent) expected.erase(gone);
        auto ours = OurListing(*doc);
        if (std::string(row.name).find("longer") != std::string::npos) {
            // The entry keeps its claimed size, but only its four bytes read.
            EXPECT_EQ(ours.at("a.txt"), 100000);
            ours.at("a.txt") = expected.at("a.txt");
            std::vector<uint8_t> buffer(100000);
            EXPECT_EQ(filesystems::ReadUdfItemBytes(*doc, *isotest::ListTree(*doc).at("/a.txt").item, 0,
                                                    buffer.data(), buffer.size()),
                      4);
        }
        EXPECT_EQ(ours, expected);
    }
}

TEST(UdfRead, VirtualTableHeaderBeyondTheTableMountsNothing) {
    udftest::ReadersInstalled readers;
    qvtest::TempDir dir;
    const std::string img = dir / "v.img";
    RunOk("mkudffs --media-type=cdr --udfrev=0x0201 --label=L " + ShellQuote(img) + " 8192 >/dev/null 2>&1");
    std::vector<uint8_t> b = qvtest::ReadFileBytes(img);
    const size_t vat = size_t(std::stoi(udftest::UdfInfo(img).at("vatblock"))) * kBlock;
    const uint16_t tag = foundation::ReadLE16(b.data() + vat);
    ASSERT_TRUE(tag == 261 || tag == 266);
    ASSERT_EQ(b[vat + 34] & 7, 3) << "mkudffs keeps the table in its entry";
    const size_t header = tag == 266 ? 216 : 176;
    const size_t lea = Le32(b, vat + (tag == 266 ? 208 : 168));
    foundation::WriteLE16(b.data() + vat + header + lea, 0xFFFF);
    Retag(b, vat);
    qvtest::WriteFileBytes(img, b.data(), b.size());
    int code = -1;
    EXPECT_FALSE(isotest::OpenDoc(img, &code));
}

// No tool here writes a metadata partition (UDF 2.50): a genisoimage volume
// is turned into one whose metadata file maps the partition onto itself, and
// every entry is reached through the metadata map.
TEST(UdfRead, MetadataPartitionReadsThroughItsMetadataFile) {
    udftest::ReadersInstalled readers;
    qvtest::TempDir dir;
    const std::string iso = MakeBridge(dir);
    std::vector<uint8_t> b = qvtest::ReadFileBytes(iso);
    const size_t pd = Tagged(b, 5).at(0);
    const uint32_t partitionStart = Le32(b, pd + 188);
    const uint32_t partitionBlocks = Le32(b, pd + 192);
    const size_t fsd = Tagged(b, 256).at(0);
    const uint32_t fsdBlock = Le32(b, fsd + 12);
    const size_t metadataFile = (size_t(partitionStart) + fsdBlock + 1) * kBlock;
    ASSERT_TRUE(TagAt(b, metadataFile, 8)) << "the file set's terminating descriptor is the block taken";
    for (size_t lvd : Tagged(b, 6)) {
        foundation::WriteLE16(b.data() + lvd + 256, 1);
        foundation::WriteLE32(b.data() + lvd + 264, 70);
        foundation::WriteLE32(b.data() + lvd + 268, 2);
        uint8_t* map = b.data() + lvd + 446;
        std::memset(map, 0, 64);
        map[0] = 2;
        map[1] = 64;
        std::memcpy(map + 5, "*UDF Metadata Partition", 23);
        foundation::WriteLE16(map + 28, 0x0250);
        foundation::WriteLE16(map + 36, 1);
        foundation::WriteLE16(map + 38, 0);
        foundation::WriteLE32(map + 40, fsdBlock + 1);
        foundation::WriteLE32(map + 44, 0xFFFFFFFFu);
        foundation::WriteLE32(map + 48, 0xFFFFFFFFu);
        foundation::WriteLE32(map + 52, 32);
        foundation::WriteLE16(map + 56, 1);
        Retag(b, lvd);
    }
    foundation::WriteLE16(b.data() + fsd + 408, 1);
    Retag(b, fsd);
    for (size_t at = 0; at + 40 <= b.size(); at += 4) {
        if (!TagAt(b, at, 257)) continue;
        foundation::WriteLE16(b.data() + at + 28, 1);
        Retag(b, at);
    }
    std::memset(b.data() + metadataFile, 0, kBlock);
    foundation::WriteLE16(b.data() + metadataFile, 261);
    foundation::WriteLE16(b.data() + metadataFile + 2, 3);
    foundation::WriteLE32(b.data() + metadataFile + 12, fsdBlock + 1);
    b[metadataFile + 27] = 250;
    const uint32_t bytes = uint32_t(std::min<uint64_t>(uint64_t(partitionBlocks) * kBlock, 0x3FFFF800));
    foundation::WriteLE64(b.data() + metadataFile + 56, bytes);
    foundation::WriteLE32(b.data() + metadataFile + 172, 8);
    foundation::WriteLE32(b.data() + metadataFile + 176, bytes);
    foundation::WriteLE32(b.data() + metadataFile + 180, 0);
    Retag(b, metadataFile);
    const std::string patched = dir / "metadata.iso";
    qvtest::WriteFileBytes(patched, b.data(), b.size());

    auto doc = isotest::OpenDoc(patched);
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->udfPresent, 1);
    EXPECT_EQ(doc->udfState->metadataMap, 1);
    EXPECT_TRUE(doc->udfState->metadata.fileRead);
    EXPECT_EQ(OurListing(*doc), SevenZipListing(iso));
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z x -tudf -oout g.iso >/dev/null");
    udftest::ExpectSameBytesAs(*doc, dir / "out");
}

// mkudffs makes virtual-partition discs without files: a genisoimage volume
// becomes one (UDF 1.50), its partition reached through a virtual allocation
// table in a file entry appended at the end of the image, mapping block n to
// block n + 1 of a partition that now starts one block earlier.
TEST(UdfRead, VirtualPartitionWithFilesReadsThroughItsTable) {
    udftest::ReadersInstalled readers;
    qvtest::TempDir dir;
    const std::string iso = MakeBridge(dir);
    std::vector<uint8_t> b = qvtest::ReadFileBytes(iso);
    const uint32_t sectors = uint32_t(b.size() / kBlock);
    const size_t pdAny = Tagged(b, 5).at(0);
    const uint32_t oldStart = Le32(b, pdAny + 188);
    const uint32_t oldBlocks = Le32(b, pdAny + 192);
    const uint32_t newStart = oldStart - 1;   // the anchor's block: physical block n + 1 is old block n
    for (size_t pd : Tagged(b, 5)) {
        foundation::WriteLE32(b.data() + pd + 188, newStart);
        foundation::WriteLE32(b.data() + pd + 192, sectors + 1 - newStart);
        Retag(b, pd);
    }
    for (size_t lvd : Tagged(b, 6)) {
        foundation::WriteLE16(b.data() + lvd + 256, 1);
        foundation::WriteLE32(b.data() + lvd + 264, 70);
        foundation::WriteLE32(b.data() + lvd + 268, 2);
        uint8_t* map = b.data() + lvd + 446;
        std::memset(map, 0, 64);
        map[0] = 2;
        map[1] = 64;
        std::memcpy(map + 5, "*UDF Virtual Partition", 22);
        foundation::WriteLE16(map + 28, 0x0150);
        foundation::WriteLE16(map + 36, 1);
        foundation::WriteLE16(map + 38, 0);
        Retag(b, lvd);
    }
    const size_t fsd = Tagged(b, 256).at(0);
    foundation::WriteLE16(b.data() + fsd + 408, 1);
    Retag(b, fsd);
    for (size_t at = 0; at + 40 <= b.size(); at += 4) {
        if (!TagAt(b, at, 257)) continue;
        foundation::WriteLE16(b.data() + at + 28, 1);
        Retag(b, at);
    }
    // The table: entries, then the 1.50 identifier and the previous table's place.
    std::vector<uint8_t> table(size_t(oldBlocks) * 4 + 36, 0);
    for (uint32_t n = 0; n < oldBlocks; ++n) foundation::WriteLE32(table.data() + 4 * n, n + 1);
    std::memcpy(table.data() + 4 * oldBlocks + 1, "*UDF Virtual Alloc Tbl", 22);
    foundation::WriteLE32(table.data() + 4 * oldBlocks + 32, 0xFFFFFFFFu);
    ASSERT_LE(176 + table.size(), kBlock);
    std::vector<uint8_t> vat(kBlock, 0);
    foundation::WriteLE16(vat.data(), 261);
    foundation::WriteLE16(vat.data() + 2, 2);
    foundation::WriteLE32(vat.data() + 12, sectors - newStart);
    foundation::WriteLE16(vat.data() + 34, 3);
    foundation::WriteLE64(vat.data() + 56, table.size());
    foundation::WriteLE32(vat.data() + 172, uint32_t(table.size()));
    std::memcpy(vat.data() + 176, table.data(), table.size());
    Retag(vat, 0);
    b.insert(b.end(), vat.begin(), vat.end());
    const std::string patched = dir / "virtual.iso";
    qvtest::WriteFileBytes(patched, b.data(), b.size());

    auto doc = isotest::OpenDoc(patched);
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->udfPresent, 1);
    EXPECT_EQ(doc->udfState->vatSector, int32_t(sectors));
    EXPECT_EQ(OurListing(*doc), SevenZipListing(iso));
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z x -tudf -oout g.iso >/dev/null");
    udftest::ExpectSameBytesAs(*doc, dir / "out");
}

}  // namespace

// No tool here moves a packet of a rewritable disc: a genisoimage volume
// becomes a sparable one (packets of 32 blocks, two copies of the sparing
// table after the image), and the packet holding the start of a file's data is
// moved behind the image with its old place overwritten. Every file must
// still read as 7z extracts it from the untouched image.
TEST(UdfRead, SparablePartitionReadsMovedPacketsFromTheirNewPlace) {
    udftest::ReadersInstalled readers;
    constexpr uint32_t kPacket = 32;
    struct Row {
        const char* name;
        bool firstCopySound, secondCopySound;
        bool oldPlaceOverwritten;   // else the new place holds rubbish
    };
    const Row rows[] = {
        {"moved packet read from its new place", true, true, true},
        {"damaged first copy: the second is read", false, true, true},
        {"no sound copy: the packet is read in place", false, false, false},
    };
    qvtest::TempDir dir;
    const std::string iso = MakeBridge(dir);
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z x -tudf -oout g.iso >/dev/null");
    const std::vector<uint8_t> base = qvtest::ReadFileBytes(iso);
    const std::vector<uint8_t> data = qvtest::ReadFileBytes(dir / "t/sub/deeper/c.bin");
    const uint32_t partitionStart = Le32(base, Tagged(base, 5).at(0) + 188);
    size_t dataSector = 0;
    for (size_t s = partitionStart; (s + 1) * kBlock <= base.size() && !dataSector; ++s)
        if (std::equal(data.begin(), data.begin() + kBlock, base.begin() + ptrdiff_t(s * kBlock))) dataSector = s;
    ASSERT_NE(dataSector, 0u);
    const uint32_t packetBlock = uint32_t(dataSector - partitionStart) / kPacket * kPacket;
    const size_t oldPlace = (partitionStart + packetBlock) * kBlock;

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> b = base;
        const uint32_t spare = uint32_t(b.size() / kBlock);
        const uint32_t tables[2] = {spare + kPacket, spare + kPacket + 1};
        b.resize((spare + kPacket + 2) * kBlock, 0);
        if (row.oldPlaceOverwritten) {
            std::memcpy(b.data() + spare * kBlock, b.data() + oldPlace, kPacket * kBlock);
            std::memset(b.data() + oldPlace, 0xEE, kPacket * kBlock);
        } else {
            std::memset(b.data() + spare * kBlock, 0xEE, kPacket * kBlock);
        }
        for (size_t lvd : Tagged(b, 6)) {
            const uint16_t partitionNumber = foundation::ReadLE16(b.data() + lvd + 444);
            foundation::WriteLE32(b.data() + lvd + 264, 64);
            uint8_t* map = b.data() + lvd + 440;
            std::memset(map, 0, 64);
            map[0] = 2;
            map[1] = 64;
            std::memcpy(map + 5, "*UDF Sparable Partition", 23);
            foundation::WriteLE16(map + 28, 0x0150);
            foundation::WriteLE16(map + 36, 1);
            foundation::WriteLE16(map + 38, partitionNumber);
            foundation::WriteLE16(map + 40, kPacket);
            map[42] = 2;
            foundation::WriteLE32(map + 44, 56 + 4 * 8);
            foundation::WriteLE32(map + 48, tables[0]);
            foundation::WriteLE32(map + 52, tables[1]);
            Retag(b, lvd);
        }
        for (int copy = 0; copy < 2; ++copy) {
            uint8_t* t = b.data() + size_t(tables[copy]) * kBlock;
            std::memcpy(t + 17, "*UDF Sparing Table", 18);
            foundation::WriteLE16(t + 48, 4);
            foundation::WriteLE32(t + 52, 1);
            // One move, one free spare packet, one defective, and an entry
            // that does not start a packet (passed over).
            const uint32_t entries[4][2] = {{0xFFFFFFFFu, spare + 64},
                                            {packetBlock, spare},
                                            {0xFFFFFFF0u, spare + 96},
                                            {packetBlock + kPacket + 1, spare + 128}};
            for (int i = 0; i < 4; ++i) {
                foundation::WriteLE32(t + 56 + 8 * i, entries[i][0]);
                foundation::WriteLE32(t + 60 + 8 * i, entries[i][1]);
            }
            filesystems::StampUdfTag(t, 56 + 4 * 8, 0, tables[copy]);
            if (!(copy == 0 ? row.firstCopySound : row.secondCopySound)) t[60] ^= 1;   // the CRC no longer holds
        }
        const std::string patched = dir / "sparable.iso";
        qvtest::WriteFileBytes(patched, b.data(), b.size());

        auto doc = isotest::OpenDoc(patched);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->udfPresent, 1);
        ASSERT_EQ(doc->udfState->maps.size(), 1u);
        EXPECT_EQ(doc->udfState->maps[0].kind, filesystems::udf_map::kSparable);
        EXPECT_EQ(doc->udfState->maps[0].spared.size(), row.firstCopySound || row.secondCopySound ? 1u : 0u);
        EXPECT_EQ(OurListing(*doc), SevenZipListing(iso));
        udftest::ExpectSameBytesAs(*doc, dir / "out");
    }
}
