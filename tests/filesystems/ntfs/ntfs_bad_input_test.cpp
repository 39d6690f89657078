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

}  // namespace
