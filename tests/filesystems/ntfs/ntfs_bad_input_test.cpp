// Damaged and unusual NTFS volumes: one real volume (mkntfs + wimlib) patched
// one way per row, then mounted, listed and every file extracted. Each row
// says what must come of it; none may crash, hang or allocate beyond bounds.

#include "filesystems/ntfs/ntfs_volume.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "foundation/byte_order.h"
#include "filesystems/ntfs/ntfs_state.h"
#include "foundation/operation_status.h"
#include "tests/filesystems/ntfs/ntfs_fixtures.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;
using Bytes = std::vector<uint8_t>;

// The fixture's volume: where its records and their attributes lie in the
// file (the table's first extent holds every record of so small a volume).
struct Volume {
    Bytes bytes;
    std::map<std::string, uint64_t> records;   // path -> record number, from fls

    uint64_t ClusterBytes() const { return uint64_t{foundation::ReadLE16(&bytes[11])} * bytes[13]; }
    size_t Record(uint64_t n) const {
        return static_cast<size_t>(foundation::ReadLE64(&bytes[48]) * ClusterBytes() + n * 1024);
    }
    // The first attribute of the type in record n (its header's offset in the file).
    size_t Attribute(uint64_t n, uint32_t type) const {
        const size_t r = Record(n);
        for (size_t at = r + foundation::ReadLE16(&bytes[r + 20]); at < r + 1024;) {
            const uint32_t t = foundation::ReadLE32(&bytes[at]);
            if (t == type) return at;
            if (t == 0xFFFFFFFF) break;
            at += foundation::ReadLE32(&bytes[at + 4]);
        }
        ADD_FAILURE() << "no attribute " << type << " in record " << n;
        return r;
    }
    // Where a resident attribute's value starts.
    size_t Value(uint64_t n, uint32_t type) const {
        const size_t a = Attribute(n, type);
        return a + foundation::ReadLE16(&bytes[a + 20]);
    }
    // Puts the saved words of record n back at its sector ends (undoes the
    // update sequence), or saves them and writes the sequence number there.
    void Unfix(uint64_t n) {
        const size_t r = Record(n);
        const size_t usa = r + foundation::ReadLE16(&bytes[r + 4]);
        for (size_t k = 0; k < 2; ++k) {
            bytes[r + 512 * k + 510] = bytes[usa + 2 + 2 * k];
            bytes[r + 512 * k + 511] = bytes[usa + 3 + 2 * k];
        }
    }
    void Fix(uint64_t n) {
        const size_t r = Record(n);
        const size_t usa = r + foundation::ReadLE16(&bytes[r + 4]);
        for (size_t k = 0; k < 2; ++k) {
            bytes[usa + 2 + 2 * k] = bytes[r + 512 * k + 510];
            bytes[usa + 3 + 2 * k] = bytes[r + 512 * k + 511];
            bytes[r + 512 * k + 510] = bytes[usa];
            bytes[r + 512 * k + 511] = bytes[usa + 1];
        }
    }
    void SetParent(const std::string& path, const std::string& parent) {
        foundation::WriteLE64(&bytes[Value(records.at(path), 0x30)], records.at(parent));
    }
};

struct Expect {
    Expect(int mountResult, std::vector<std::string> presentPaths = {}, std::vector<std::string> absentPaths = {},
           std::string failing = {})
        : mount(mountResult), present(std::move(presentPaths)), absent(std::move(absentPaths)),
          failsToExtract(std::move(failing)) {}
    int mount;                           // MountNtfs's result
    std::vector<std::string> present;    // paths our tree must hold
    std::vector<std::string> absent;     // paths it must not hold
    std::string failsToExtract;          // a file whose extraction gives -1 with status 4
};

struct Row {
    const char* name;
    std::function<void(Volume&)> patch;
    Expect expect;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"Untouched", [](Volume&) {}, {1, {"a/1.txt", "a/b/c/deep.txt", "s/sparse.bin"}, {}, ""}},
        // Boot sector.
        {"NotNtfs", [](Volume& v) { v.bytes[3] = 'X'; }, {0}},
        {"SectorBytesZero", [](Volume& v) { foundation::WriteLE16(&v.bytes[11], 0); }, {0}},
        {"SectorsPerClusterNotPowerOfTwo", [](Volume& v) { v.bytes[13] = 3; }, {0}},
        {"ClustersPerRecordMinus128", [](Volume& v) { v.bytes[64] = 0x80; }, {0}},
        {"ClustersPerRecordZero", [](Volume& v) { v.bytes[64] = 0; }, {0}},
        // 0xF6 is -10: records of 2^10 bytes, as mkntfs writes it.
        {"ClustersPerRecordF6", [](Volume& v) { v.bytes[64] = 0xF6; }, {1, {"a/1.txt"}}},
        {"MftClusterPastVolume", [](Volume& v) { foundation::WriteLE64(&v.bytes[48], uint64_t{1} << 40); }, {0}},
        {"TotalSectorsZero", [](Volume& v) { foundation::WriteLE64(&v.bytes[40], 0); }, {0}},
        // The $MFT's own record.
        {"MftRecordTorn", [](Volume& v) { v.bytes[v.Record(0) + 510] ^= 1; }, {0}},
        {"MftRunHeaderFF",
         [](Volume& v) {
             const size_t a = v.Attribute(0, 0x80);
             v.bytes[a + foundation::ReadLE16(&v.bytes[a + 32])] = 0xFF;
         },
         {0}},
        {"MftDataSize2To48",
         [](Volume& v) { foundation::WriteLE64(&v.bytes[v.Attribute(0, 0x80) + 48], uint64_t{1} << 48); }, {0}},
        // A file's record torn: it is refused (its sector-end word is not its
        // own), the rest is listed.
        {"FileRecordTorn", [](Volume& v) { v.bytes[v.Record(v.records.at("a/1.txt")) + 510] ^= 1; },
         {1, {"a/b/2.bin"}, {"a/1.txt"}}},
        // Run list and sizes of a file.
        {"FileRunHeaderFF",
         [](Volume& v) {
             const size_t a = v.Attribute(v.records.at("a/b/2.bin"), 0x80);
             v.bytes[a + foundation::ReadLE16(&v.bytes[a + 32])] = 0xFF;
         },
         {1, {"a/b/2.bin"}, {}, "a/b/2.bin"}},
        {"FileDataSize2To48",
         [](Volume& v) {
             const size_t a = v.Attribute(v.records.at("a/b/2.bin"), 0x80);
             foundation::WriteLE64(&v.bytes[a + 48], uint64_t{1} << 48);
             foundation::WriteLE64(&v.bytes[a + 40], uint64_t{1} << 48);
         },
         {1, {"a/1.txt"}, {"a/b/2.bin"}}},
        {"FileRunsShortOfData",
         [](Volume& v) {
             const size_t a = v.Attribute(v.records.at("a/b/2.bin"), 0x80);
             foundation::WriteLE64(&v.bytes[a + 40], uint64_t{1} << 30);
             foundation::WriteLE64(&v.bytes[a + 48], uint64_t{1} << 30);
             foundation::WriteLE64(&v.bytes[a + 56], uint64_t{1} << 30);
         },
         {1, {"a/b/2.bin"}, {}, "a/b/2.bin"}},
        {"AttributeLengthZero",
         [](Volume& v) { foundation::WriteLE32(&v.bytes[v.Attribute(v.records.at("a/1.txt"), 0x30) + 4], 0); },
         {1, {"a/b/2.bin"}, {"a/1.txt"}}},
        {"AttributeLengthNotMultipleOf8",
         [](Volume& v) { v.bytes[v.Attribute(v.records.at("a/1.txt"), 0x10) + 4] += 4; },
         {1, {"a/b/2.bin"}, {"a/1.txt"}}},
        // Parents.
        // wimlib makes the folders first, in order: "s" comes after "a/b".
        {"ParentIsLaterRecord",
         [](Volume& v) {
             ASSERT_GT(v.records.at("s"), v.records.at("a/b"));
             v.SetParent("a/b", "s");
         },
         {1, {"s/b", "s/b/c/deep.txt", "a/1.txt"}, {"a/b"}}},
        {"ParentCycle",
         [](Volume& v) {
             v.SetParent("a/b", "a/b/c");
             v.SetParent("a/b/c", "a/b");
         },
         {1, {"a", "a/1.txt"}, {"a/b", "a/b/c", "a/b/c/deep.txt"}}},
        {"ParentIsItself", [](Volume& v) { v.SetParent("s", "s"); }, {1, {"a/1.txt"}, {"s", "s/sparse.bin"}}},
        {"ParentIsAFile", [](Volume& v) { v.SetParent("s", "a/1.txt"); }, {1, {"a/1.txt"}, {"s"}}},
    };
    return rows;
}

// One fixture for every row: each row patches its own copy.
TEST(NtfsBadInput, MountsListsAndExtractsAsExpected) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p src/a/b/c src/s && echo hi > src/a/1.txt && head -c 100000 /dev/urandom > src/a/b/2.bin && "
          "seq 1 3000 > src/a/b/c/deep.txt && truncate -s 1M src/s/sparse.bin && "
          "wimlib-imagex capture src x.wim >/dev/null && truncate -s 8M p.img && "
          "mkntfs -q -F -Q -c 4096 p.img && wimlib-imagex apply x.wim 1 p.img >/dev/null");
    Volume base;
    base.bytes = qvtest::ReadFileBytes(dir / "p.img");
    for (const auto& [path, e] : ntfstest::ListFls(dir / "p.img")) base.records[path] = e.record;

    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        Volume v = base;
        row.patch(v);
        const std::string image = dir / "m.img";
        qvtest::WriteFileBytes(image, v.bytes.data(), v.bytes.size());
        int mounted = -1;
        auto doc = ntfstest::MountFile(image, 0, &mounted);
        EXPECT_EQ(mounted, row.expect.mount);
        if (!doc) continue;
        const auto tree = ntfstest::ListTree(*doc);
        for (const std::string& p : row.expect.present) EXPECT_TRUE(tree.count(p)) << p;
        for (const std::string& p : row.expect.absent) EXPECT_FALSE(tree.count(p)) << p;
        for (const auto& [path, e] : tree) {
            if (e.folder) continue;
            foundation::OperationStatus = 0;
            int result = 0;
            ntfstest::Extract(*doc, *e.item, dir / "out", &result);
            if (path == row.expect.failsToExtract) {
                EXPECT_EQ(result, -1) << path;
                EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed) << path;
            } else {
                EXPECT_EQ(result, 1) << path;
            }
        }
    }
}

// A $MFT whose run list goes on in an extension record, as a fragmented
// table's does: record 0 keeps clusters 0-7 of the table and an attribute
// list; record 20 (one of the records mkntfs reserves unused) holds the rest.
// No tool fragments a table on demand, so the real volume is rearranged by
// hand. The extension lies in the part that record 0 maps, as it must be
// read before the table exists.
TEST(NtfsBadInput, MftRunListContinuedInExtensionRecord) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p src/a && seq 1 3000 > src/a/t && wimlib-imagex capture src x.wim >/dev/null && "
          "truncate -s 8M p.img && mkntfs -q -F -Q -c 4096 p.img && wimlib-imagex apply x.wim 1 p.img >/dev/null");
    Volume base;
    base.bytes = qvtest::ReadFileBytes(dir / "p.img");
    constexpr uint64_t kExtension = 20;
    constexpr uint8_t kSplitVcn = 8;

    auto build = [&](uint64_t extensionOwner) {
        Volume v = base;
        v.Unfix(0);
        const size_t r0 = v.Record(0);
        const size_t data = v.Attribute(0, 0x80);
        const uint64_t lastVcn = foundation::ReadLE64(&v.bytes[data + 24]);
        size_t runs = data + foundation::ReadLE16(&v.bytes[data + 32]);
        // mkntfs writes the table as one run.
        EXPECT_EQ(v.bytes[runs + 1 + (v.bytes[runs] & 0x0F) + (v.bytes[runs] >> 4)], 0);
        const unsigned lengthBytes = v.bytes[runs] & 0x0F;
        uint32_t lcn = 0;
        for (unsigned i = 0; i < (v.bytes[runs] >> 4u); ++i) lcn |= uint32_t{v.bytes[runs + 1 + lengthBytes + i]} << (8 * i);
        EXPECT_GT(lastVcn, kSplitVcn);
        // Record 0: clusters 0-7.
        foundation::WriteLE64(&v.bytes[data + 24], kSplitVcn - 1);
        const uint8_t head[] = {0x41, kSplitVcn, uint8_t(lcn), uint8_t(lcn >> 8), uint8_t(lcn >> 16), uint8_t(lcn >> 24), 0};
        std::copy(std::begin(head), std::end(head), v.bytes.begin() + runs);
        // Its attribute list, put before the end marker: $DATA from VCN 0
        // here, from VCN 8 in the extension.
        const uint32_t inUse = foundation::ReadLE32(&v.bytes[r0 + 24]);
        const size_t list = r0 + inUse - 8;
        std::vector<uint8_t> attribute(24 + 64, 0);
        foundation::WriteLE32(&attribute[0], 0x20);
        foundation::WriteLE32(&attribute[4], static_cast<uint32_t>(attribute.size()));
        foundation::WriteLE32(&attribute[16], 64);
        foundation::WriteLE16(&attribute[20], 24);
        const uint64_t sequence = uint64_t{foundation::ReadLE16(&v.bytes[r0 + 16])} << 48;
        for (int e = 0; e < 2; ++e) {
            uint8_t* entry = &attribute[24 + 32 * e];
            foundation::WriteLE32(entry, 0x80);
            foundation::WriteLE16(entry + 4, 32);
            entry[7] = 26;
            foundation::WriteLE64(entry + 8, e == 0 ? 0 : kSplitVcn);
            foundation::WriteLE64(entry + 16, e == 0 ? sequence : (kExtension | (uint64_t{1} << 48)));
        }
        std::copy(attribute.begin(), attribute.end(), v.bytes.begin() + list);
        foundation::WriteLE32(&v.bytes[list + attribute.size()], 0xFFFFFFFF);
        foundation::WriteLE32(&v.bytes[r0 + 24], inUse + static_cast<uint32_t>(attribute.size()));
        v.Fix(0);

        // The extension record: the header of record 0, in use, owned by
        // extensionOwner, with one $DATA for VCN 8 on.
        const size_t rx = v.Record(kExtension);
        std::fill(v.bytes.begin() + rx, v.bytes.begin() + rx + 1024, 0);
        std::copy(v.bytes.begin() + r0, v.bytes.begin() + r0 + 56, v.bytes.begin() + rx);
        foundation::WriteLE16(&v.bytes[rx + 16], 1);
        foundation::WriteLE16(&v.bytes[rx + 20], 56);
        foundation::WriteLE16(&v.bytes[rx + 22], 1);
        foundation::WriteLE64(&v.bytes[rx + 32], extensionOwner | sequence);
        uint8_t* x = &v.bytes[rx + 56];
        foundation::WriteLE32(x, 0x80);
        foundation::WriteLE32(x + 4, 72);
        x[8] = 1;
        foundation::WriteLE16(x + 10, 64);
        foundation::WriteLE64(x + 16, kSplitVcn);
        foundation::WriteLE64(x + 24, lastVcn);
        foundation::WriteLE16(x + 32, 64);
        const uint32_t tailLcn = lcn + kSplitVcn;
        const uint8_t tail[] = {0x41, uint8_t(lastVcn + 1 - kSplitVcn), uint8_t(tailLcn), uint8_t(tailLcn >> 8),
                                uint8_t(tailLcn >> 16), uint8_t(tailLcn >> 24), 0};
        std::copy(std::begin(tail), std::end(tail), x + 64);
        foundation::WriteLE32(x + 72, 0xFFFFFFFF);
        foundation::WriteLE32(&v.bytes[rx + 24], 56 + 72 + 8);
        v.Fix(kExtension);
        qvtest::WriteFileBytes(dir / "m.img", v.bytes.data(), v.bytes.size());
    };

    build(0);
    // The rearranged volume still reads with sleuthkit, and with us the same.
    EXPECT_NE(RunOk("fls -r -p " + ShellQuote(dir / "m.img")).find("a/t"), std::string::npos);
    {
        auto doc = ntfstest::MountFile(dir / "m.img");
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->ntfsState->recordCount, ntfstest::MountFile(dir / "p.img")->ntfsState->recordCount);
        const auto tree = ntfstest::ListTree(*doc);
        ASSERT_TRUE(tree.count("a/t"));
        EXPECT_TRUE(ntfstest::Extract(*doc, *tree.at("a/t").item, dir / "out") ==
                    qvtest::ReadFileBytes(dir.path() + "/src/a/t"));
    }
    // An extension that names another base is not the table's.
    build(7);
    int mounted = -1;
    EXPECT_FALSE(ntfstest::MountFile(dir / "m.img", 0, &mounted));
    EXPECT_EQ(mounted, 0);
}

}  // namespace
