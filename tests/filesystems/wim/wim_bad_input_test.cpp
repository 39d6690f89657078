// Damaged WIM files, each made from a wimlib-imagex capture with one field
// changed: the open or the extraction fails cleanly and at once, never reads
// outside what it was given, and never counts damaged data as extracted.
// Metadata is changed in a WIM stored without compression, its hash in the
// lookup table brought in step, so only the rule under test is broken.

#include "filesystems/wim/wim_archive.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codecs/sha1.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "platform/text.h"
#include "tests/filesystems/wim/wim_fixtures.h"
#include "tests/support/peak_memory.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using qvtest::RunOk;
using qvtest::ShellQuote;
using Bytes = std::vector<uint8_t>;

uint64_t Le(const Bytes& b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t{b.at(at + size_t(i))} << (8 * i);
    return v;
}
void PutLe(Bytes& b, size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.at(at + size_t(i)) = static_cast<uint8_t>(v >> (8 * i));
}

void PutLeRaw(uint8_t* p, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The lookup table of a fixture (wimlib stores it uncompressed).
struct Lookup {
    size_t offset = 0;
    size_t count = 0;
    size_t Entry(size_t i) const { return offset + i * 50; }
};
Lookup FindLookup(const Bytes& wim) {
    Lookup l;
    l.offset = size_t(Le(wim, 48 + 8, 8));
    l.count = size_t(Le(wim, 48 + 16, 8)) / 50;
    return l;
}
// The index of the first lookup entry whose flags match and whose
// uncompressed size is at least minBytes.
size_t FindEntry(const Bytes& wim, bool metadata, uint64_t minBytes) {
    const Lookup l = FindLookup(wim);
    for (size_t i = 0; i < l.count; ++i) {
        const bool isMetadata = (wim.at(l.Entry(i) + 7) & 2) != 0;
        if (isMetadata == metadata && Le(wim, l.Entry(i) + 16, 8) >= minBytes) return i;
    }
    ADD_FAILURE() << "no such lookup entry";
    return 0;
}

// Changes the metadata of an uncompressed WIM in place and stores its new hash.
void PatchMetadata(Bytes& wim, const std::function<void(uint8_t* metadata, size_t size)>& change) {
    const Lookup l = FindLookup(wim);
    const size_t e = l.Entry(FindEntry(wim, true, 0));
    const size_t offset = size_t(Le(wim, e + 8, 8)), size = size_t(Le(wim, e + 16, 8));
    change(wim.data() + offset, size);
    const codecs::Sha1Digest digest = codecs::Sha1Of(wim.data() + offset, size);
    std::memcpy(wim.data() + e + 30, digest.data(), digest.size());
}

// The offset of the UTF-16 name (in bytes from the metadata's start).
size_t FindName(const uint8_t* metadata, size_t size, const std::u16string& name) {
    for (size_t at = 0; at + name.size() * 2 <= size; ++at) {
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = metadata[at + 2 * i] == uint8_t(name[i]) && metadata[at + 2 * i + 1] == uint8_t(name[i] >> 8);
        if (same) return at;
    }
    ADD_FAILURE() << "name not found";
    return 0;
}
constexpr size_t kNameAt = 102;

class WimBadInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir;
        const std::string d = ShellQuote(dir_->path());
        RunOk("cd " + d + " && mkdir -p src/loop/inner src/dir && seq 1 60000 > src/numbers && echo abc > src/abc" +
              " && echo z > src/zzz && echo in > src/loop/inner/f" +
              " && wimlib-imagex capture src plain.wim x --compress=none >/dev/null" +
              " && wimlib-imagex capture src lzx.wim x --compress=LZX >/dev/null" +
              " && wimlib-imagex capture src xpress.wim x --compress=XPRESS >/dev/null");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static Bytes Fixture(const std::string& name) { return qvtest::ReadFileBytes(*dir_ / name); }

    // Opens bytes as a WIM document; null when refused.
    DocumentPtr OpenBytes(const Bytes& wim, int* code) {
        const std::string path = *dir_ / "case.wim";
        qvtest::WriteFileBytes(path, wim.data(), wim.size());
        foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(path)));
        DocumentPtr doc(filesystems::OpenWimArchive(platform::Utf8ToUtf16(path), file.get(), code));
        if (doc) (void)file.release();
        return doc;
    }
    // Extracts the file at path; ExtractWimFile's result.
    int Extract(image::ImageContext& doc, const std::u16string& path) {
        const image::ImageItem* item = image::FindItemByPath(&doc, doc.rootFolder, path);
        EXPECT_TRUE(item);
        if (!item) return -2;
        foundation::UniqueFile out(foundation::CreateNewFile(platform::Utf8ToUtf16(*dir_ / "out")));
        foundation::ResetOperationStatus();
        return filesystems::ExtractWimFile(nullptr, &doc, item, out.get());
    }

    static qvtest::TempDir* dir_;
};
qvtest::TempDir* WimBadInputTest::dir_ = nullptr;

// Header and table damage: the open is refused.
TEST_F(WimBadInputTest, DamagedHeadersAndTablesAreRefused) {
    const Bytes plain = Fixture("plain.wim");
    const struct Row {
        const char* name;
        std::function<void(Bytes&)> change;
    } rows[] = {
        {"header size below 116", [](Bytes& b) { PutLe(b, 8, 100, 4); }},
        {"total parts 0", [](Bytes& b) { PutLe(b, 42, 0, 2); }},
        {"not the first part", [](Bytes& b) { PutLe(b, 40, 2, 2); }},
        {"chunk size 65536", [](Bytes& b) { PutLe(b, 20, 0x10000, 4); }},
        {"compressed without a kind", [](Bytes& b) { PutLe(b, 16, 0x2, 4); }},
        {"lookup table outside the file", [](Bytes& b) { PutLe(b, 48 + 8, b.size() - 10, 8); }},
        {"huge lookup table", [](Bytes& b) {
             PutLe(b, 48, 0x00FFFFFFFFFFFFull, 7);
             PutLe(b, 48 + 16, uint64_t{1} << 62, 8);
         }},
        {"lookup entry naming part 2 of 1",
         [](Bytes& b) { PutLe(b, FindLookup(b).Entry(0) + 24, 2, 2); }},
        {"metadata that does not match its hash", [](Bytes& b) {
             const size_t e = FindLookup(b).Entry(FindEntry(b, true, 0));
             b.at(size_t(Le(b, e + 8, 8)) + 200) ^= 0x55;
         }},
        {"metadata resource outside the file", [](Bytes& b) {
             PutLe(b, FindLookup(b).Entry(FindEntry(b, true, 0)) + 8, uint64_t{1} << 40, 8);
         }},
        {"truncated", [](Bytes& b) { b.resize(100); }},
    };
    for (const Row& row : rows) {
        Bytes wim = plain;
        row.change(wim);
        int code = 0;
        EXPECT_FALSE(OpenBytes(wim, &code)) << row.name;
        EXPECT_NE(code, image::open_result::kOk) << row.name;
    }
}

// Compressed metadata that claims far more than its stored bytes can hold is
// refused before anything is decoded or reserved for it.
TEST_F(WimBadInputTest, MetadataLargerThanItsResourceIsRefused) {
    for (const std::string fixture : {"lzx.wim", "xpress.wim"}) {
        SCOPED_TRACE(fixture);
        Bytes wim = Fixture(fixture);
        const size_t e = FindLookup(wim).Entry(FindEntry(wim, true, 0));
        ASSERT_NE(wim.at(e + 7) & 0x04, 0);   // compressed
        PutLe(wim, e + 16, (uint64_t{1} << 30) - 4096, 8);
        qvtest::PeakMemory peak;
        const auto started = std::chrono::steady_clock::now();
        int code = 0;
        EXPECT_FALSE(OpenBytes(wim, &code));
        EXPECT_LT(peak.GrowthBytes(), uint64_t{64} << 20);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    }
}

// Directory damage: a loop, entries that run past the resource, a stream
// count that walks off the end, a name that does not end inside its entry.
// The image opens with what was read before the damage in each directory;
// only metadata whose root cannot be found fails the open.
TEST_F(WimBadInputTest, DamagedDirectoriesKeepWhatWasRead) {
    const Bytes plain = Fixture("plain.wim");
    const struct Row {
        const char* name;
        std::function<void(uint8_t*, size_t)> change;
        // An item read before the damage; null: nothing could be read ("abc"
        // is the root's first entry), and the open fails.
        const char16_t* kept;
    } rows[] = {
        {"subdirectory offset pointing at its own list",
         [](uint8_t* m, size_t size) {
             const size_t loop = FindName(m, size, u"loop") - kNameAt;
             const size_t inner = FindName(m, size, u"inner") - kNameAt;
             // "inner"'s children are "inner"'s own list: the walk comes back to it.
             uint64_t innerList = 0;
             std::memcpy(&innerList, m + loop + 16, 8);
             std::memcpy(m + inner + 16, &innerList, 8);
         },
         u"/loop/inner"},
        {"65535 stream entries",
         [](uint8_t* m, size_t size) { PutLeRaw(m + FindName(m, size, u"abc") - kNameAt + 96, 0xFFFF, 2); },
         nullptr},
        {"name longer than its entry",
         [](uint8_t* m, size_t size) { PutLeRaw(m + FindName(m, size, u"abc") - kNameAt + 100, 0x7FFE, 2); },
         nullptr},
        {"entry length past the resource",
         [](uint8_t* m, size_t size) { PutLeRaw(m + FindName(m, size, u"zzz") - kNameAt, uint64_t{1} << 40, 8); },
         u"/loop"},
        {"entry length below the fixed part",
         [](uint8_t* m, size_t size) { PutLeRaw(m + FindName(m, size, u"zzz") - kNameAt, 40, 8); },
         u"/loop"},
        {"subdirectory outside the resource",
         [](uint8_t* m, size_t size) { PutLeRaw(m + FindName(m, size, u"loop") - kNameAt + 16, uint64_t{1} << 40, 8); },
         u"/loop"},
        {"security data past the end", [](uint8_t* m, size_t size) { PutLeRaw(m, uint32_t(size + 8), 4); }, nullptr},
    };
    for (const Row& row : rows) {
        Bytes wim = plain;
        PatchMetadata(wim, row.change);
        int code = 0;
        DocumentPtr doc = OpenBytes(wim, &code);
        if (!row.kept) {
            EXPECT_FALSE(doc) << row.name;
            EXPECT_EQ(code, image::open_result::kDirectoryUnreadable) << row.name;
            continue;
        }
        EXPECT_EQ(code, image::open_result::kOk) << row.name;
        if (doc) {
            EXPECT_NE(image::FindItemByPath(doc.get(), doc->rootFolder, row.kept), nullptr) << row.name;
        }
    }
}

// Names that must not reach a path come out safe.
TEST_F(WimBadInputTest, UnsafeNamesAreMadeSafe) {
    const Bytes plain = Fixture("plain.wim");
    const struct Row {
        const char* name;
        std::u16string stored;   // three units over "abc"
        std::u16string shown;
    } rows[] = {
        {"dot dot", std::u16string(u"..") + u'\0', u""},
        {"slash", u"a/b", u"a_b"},
        {"backslash", u"a\\b", u"a_b"},
        {"NUL", std::u16string(u"a") + u'\0' + u"b", u"a_b"},
    };
    for (const Row& row : rows) {
        Bytes wim = plain;
        PatchMetadata(wim, [&](uint8_t* m, size_t size) {
            const size_t at = FindName(m, size, u"abc");
            for (size_t i = 0; i < 3; ++i) PutLeRaw(m + at + 2 * i, row.stored[i], 2);
            // ".." is two units: the name length says so.
            if (row.shown.empty()) PutLeRaw(m + at - 2, 4, 2);
        });
        int code = 0;
        DocumentPtr doc = OpenBytes(wim, &code);
        ASSERT_TRUE(doc) << row.name;
        const std::u16string shown = row.shown.empty() ? u"__" : row.shown;
        const image::ImageItem* item = image::FindItemByPath(doc.get(), doc->rootFolder, shown);
        ASSERT_TRUE(item) << row.name;
        EXPECT_EQ(Extract(*doc, shown), 1) << row.name;
    }
}

// Resource damage found at extraction: the file fails (-1, status 11), the
// others still extract.
TEST_F(WimBadInputTest, DamagedResourcesFailTheirFileOnly) {
    for (const std::string fixture : {"lzx.wim", "xpress.wim", "plain.wim"}) {
        const Bytes original = Fixture(fixture);
        const size_t e = FindLookup(original).Entry(FindEntry(original, false, 300000));
        const size_t offset = size_t(Le(original, e + 8, 8));
        const uint64_t stored = Le(original, e, 7);
        const bool compressed = (original.at(e + 7) & 4) != 0;
        struct Row {
            const char* name;
            std::function<void(Bytes&)> change;
            bool compressedOnly;
        } rows[] = {
            {"a byte of the data changed", [&](Bytes& b) { b.at(offset + size_t(stored) - 5) ^= 0x20; }, false},
            {"chunk table not in order", [&](Bytes& b) { PutLe(b, offset + 4, 3, 4); }, true},
            {"chunk table past the resource", [&](Bytes& b) { PutLe(b, offset + 4, 0xFFFFFF00u, 4); }, true},
            {"chunk span of 0", [&](Bytes& b) { PutLe(b, offset + 4, Le(b, offset, 4), 4); }, true},
            {"huge uncompressed size", [&](Bytes& b) { PutLe(b, e + 16, uint64_t{1} << 62, 8); }, false},
            {"resource outside the file", [&](Bytes& b) { PutLe(b, e + 8, b.size() - 100, 8); }, false},
        };
        for (const Row& row : rows) {
            if (row.compressedOnly && !compressed) continue;
            Bytes wim = original;
            row.change(wim);
            int code = 0;
            DocumentPtr doc = OpenBytes(wim, &code);
            ASSERT_TRUE(doc) << fixture << ": " << row.name;
            EXPECT_EQ(Extract(*doc, u"numbers"), -1) << fixture << ": " << row.name;
            EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusImageReadError) << row.name;
            EXPECT_EQ(Extract(*doc, u"abc"), 1) << fixture << ": " << row.name;
        }
    }
}

}  // namespace
