// Damaged and hostile ISO 9660 hierarchies, written by hand because no tool
// makes them: each must skip the bad record or fail the open with "Can not
// read directory structure." (code 9), never read out of bounds or hang. Every
// open here is also held to what the image can hold: no more items than it
// has room for 34-byte records, and a peak memory within a few times its size
// plus a fixed amount (see tests/support/peak_memory.h for how it is measured).

#include "image/iso/iso_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/messages.h"
#include "image/document/document.h"
#include "image/document/open_reader_services.h"
#include "tests/image/iso_fixtures.h"
#include "tests/support/peak_memory.h"

namespace image {
namespace {

using foundation::image_warning::kDirectoryError;
using isotest::Directory;
using isotest::Id;
using isotest::JolietId;
using isotest::ListTree;
using isotest::MiniIso;
using isotest::OpenDoc;
using isotest::Paths;
using isotest::Record;

std::vector<std::vector<uint8_t>> WithDots(uint32_t self, uint32_t parent, std::vector<std::vector<uint8_t>> rest) {
    rest.insert(rest.begin(), Record({1}, parent, 2048, 2));
    rest.insert(rest.begin(), Record({0}, self, 2048, 2));
    return rest;
}

// An image with the root directory at sector 20 holding `root`.
MiniIso Image(const std::vector<uint8_t>& root, uint32_t sectors = 60, uint32_t rootBytes = 2048) {
    MiniIso m(sectors);
    m.Descriptor(16, 1, 20, rootBytes);
    m.Terminator(17);
    m.Put(20, root);
    return m;
}

struct Opened {
    qvtest::TempDir dir;
    DocumentPtr doc;
    int code = -1;
    IsoTreeReport report;
    uint64_t items = 0;
    uint64_t peakGrowthBytes = 0;
};

// Peak memory an open may add: the items (a few hundred bytes each, more under
// the sanitizers) of at most one per 34 image bytes, and a fixed amount.
constexpr uint64_t kMemoryPerImageByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;

IsoTreeReport* g_report = nullptr;

// The tree read of the open, with its report kept for the test.
// The image core's readers, with the ISO tree read into g_report.
class ReportingReaders final : public OpenReaderStandIn {
public:
    int ReadIsoTree(ImageContext& ctx) override { return image::ReadIsoTree(ctx, g_report); }
};

uint64_t CountItems(const ImageContext& ctx) {
    uint64_t items = 0;
    std::vector<const ImageFolder*> work{ctx.rootFolder};
    while (!work.empty()) {
        const ImageFolder* folder = work.back();
        work.pop_back();
        for (const ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (IsFolderItem(item) && item->ownFolder && !IsDotOrDotDot(item)) work.push_back(item->ownFolder);
        }
    }
    return items;
}

std::unique_ptr<Opened> Open(const MiniIso& m) {
    auto o = std::make_unique<Opened>();
    m.Write(o->dir / "m.iso");
    {
        ReportingReaders readers;
        foundation::ScopedServices<SetOpenReaderServices> scoped(&readers);
        g_report = &o->report;
        qvtest::PeakMemory peak;
        o->doc = OpenDoc(o->dir / "m.iso", &o->code);
        o->peakGrowthBytes = peak.GrowthBytes();
        g_report = nullptr;
    }
    const uint64_t imageBytes = m.bytes.size();
    EXPECT_LE(o->report.directoryBytesRead, imageBytes);
    EXPECT_LT(o->peakGrowthBytes, imageBytes * kMemoryPerImageByte + kFixedMemoryBytes);
    if (o->doc) {
        o->items = CountItems(*o->doc);
        EXPECT_LE(o->items, imageBytes / dr::kMinRecordBytes);
    }
    return o;
}

TEST(IsoReaderBadInput, BrokenRecordsAreSkipped) {
    // Sector 1 of the root: a good file, then a record claiming 20 bytes; the
    // rest of that sector is skipped. Sector 2: a record whose name runs past
    // it, a good file, and a record crossing the end of the directory.
    std::vector<uint8_t> root = Directory(WithDots(20, 20, {Record(Id("GOOD1;1"), 40, 1, 0)}), 2);
    size_t pos = 34 + 34 + Record(Id("GOOD1;1"), 40, 1, 0).size();
    root[pos] = 20;
    auto badName = Record(Id("BAD;1"), 40, 1, 0);
    badName[32] = 200;
    std::memcpy(&root[2048], badName.data(), badName.size());
    auto good2 = Record(Id("GOOD2;1"), 41, 1, 0);
    std::memcpy(&root[2048 + badName.size()], good2.data(), good2.size());
    auto crossing = Record(Id("CROSS;1"), 42, 1, 0);
    std::memcpy(&root[4096 - 10], crossing.data(), 10);
    auto o = Open(Image(root, 60, 4096));
    ASSERT_TRUE(o->doc) << o->code;
    EXPECT_EQ(Paths(ListTree(*o->doc)), (std::vector<std::string>{"/GOOD1", "/GOOD2"}));
    // "Error found while reading the directory structure."
    EXPECT_EQ(o->doc->warningBits & kDirectoryError, kDirectoryError);
}

TEST(IsoReaderBadInput, LoopsFailTheOpen) {
    struct Row {
        const char* what;
        uint32_t subExtent;
    } rows[] = {{"points at the root", 20}, {"points at itself", 21}};
    for (const Row& row : rows) {
        MiniIso m = Image(Directory(WithDots(20, 20, {Record(Id("SUB"), 21, 2048, 2)})));
        m.Put(21, Directory(WithDots(21, 20, {Record(Id("LOOP"), row.subExtent, 2048, 2)})));
        auto o = Open(m);
        EXPECT_FALSE(o->doc) << row.what;
        EXPECT_EQ(o->code, open_result::kDirectoryUnreadable) << row.what;
    }
}

TEST(IsoReaderBadInput, SharedDirectoryIsReadOnce) {
    // Ten siblings all pointing at one directory that holds ten more pointing
    // at a third: without the shared-extent rule this multiplies.
    std::vector<std::vector<uint8_t>> top, mid;
    for (int i = 0; i < 10; ++i) top.push_back(Record(Id("A" + std::to_string(i)), 21, 2048, 2));
    for (int i = 0; i < 10; ++i) mid.push_back(Record(Id("B" + std::to_string(i)), 22, 2048, 2));
    MiniIso m = Image(Directory(WithDots(20, 20, top)));
    m.Put(21, Directory(WithDots(21, 20, mid)));
    m.Put(22, Directory(WithDots(22, 21, {Record(Id("F;1"), 30, 1, 0)})));
    auto o = Open(m);
    ASSERT_TRUE(o->doc) << o->code;
    EXPECT_LT(ListTree(*o->doc).size(), 40u);
}

TEST(IsoReaderBadInput, DeepChains) {
    // A chain of directories one inside the other; 10,000 levels pass every
    // sensible depth and fail the open quickly, 1,000 levels open.
    for (uint32_t levels : {1000u, 10000u}) {
        MiniIso m(20 + levels + 2);
        m.Descriptor(16, 1, 20, 2048);
        m.Terminator(17);
        for (uint32_t i = 0; i < levels; ++i) {
            const uint32_t self = 20 + i;
            const uint32_t parent = i == 0 ? 20 : self - 1;
            std::vector<std::vector<uint8_t>> records;
            if (i + 1 < levels) records.push_back(Record(Id("D"), self + 1, 2048, 2));
            m.Put(self, Directory(WithDots(self, parent, records)));
        }
        auto o = Open(m);
        if (levels == 1000) {
            ASSERT_TRUE(o->doc) << o->code;
            const ImageFolder* f = o->doc->rootFolder;
            int depth = 0;
            while (f->firstSubfolder) f = f->firstSubfolder, ++depth;
            EXPECT_EQ(depth, 999);
        } else {
            EXPECT_FALSE(o->doc);
            EXPECT_EQ(o->code, open_result::kDirectoryUnreadable);
        }
    }
}

TEST(IsoReaderBadInput, ExtentsBeyondTheImage) {
    // Root beyond the end: no tree.
    {
        MiniIso m(30);
        m.Descriptor(16, 1, 5000, 2048);
        m.Terminator(17);
        auto o = Open(m);
        EXPECT_FALSE(o->doc);
    }
    // A subdirectory beyond the end is shown empty; a file beyond it is shown.
    MiniIso m = Image(Directory(WithDots(20, 20, {Record(Id("FAR"), 100000, 2048, 2),
                                                  Record(Id("HUGE"), 21, 0x7FFFF800, 2),
                                                  Record(Id("FILE.BIN;1"), 99999, 4096, 0)})));
    auto o = Open(m);
    ASSERT_TRUE(o->doc) << o->code;
    EXPECT_EQ(Paths(ListTree(*o->doc)), (std::vector<std::string>{"/FAR", "/FILE.BIN", "/HUGE"}));
}

TEST(IsoReaderBadInput, UnequalByteOrdersOfADirectoryLength) {
    auto sub = Record(Id("SUB"), 21, 2048, 2);
    sub[10 + 7] = 1;   // big-endian half differs
    MiniIso m = Image(Directory(WithDots(20, 20, {sub})));
    m.Put(21, Directory(WithDots(21, 20, {Record(Id("INNER;1"), 30, 1, 0)})));
    auto o = Open(m);
    ASSERT_TRUE(o->doc) << o->code;
    EXPECT_EQ(Paths(ListTree(*o->doc)), std::vector<std::string>{"/SUB"});
    EXPECT_EQ(o->doc->warningBits & kDirectoryError, kDirectoryError);
}

TEST(IsoReaderBadInput, RootWithoutEntriesFails) {
    MiniIso m = Image(std::vector<uint8_t>(2048, 0));
    auto o = Open(m);
    EXPECT_FALSE(o->doc);
    EXPECT_EQ(o->code, open_result::kDirectoryUnreadable);
    // A root record with a damaged length is still an ISO 9660 volume whose
    // directory cannot be read.
    MiniIso damaged = Image(Directory(WithDots(20, 20, {Record(Id("A;1"), 30, 1, 0)})));
    damaged.Sector(16)[156] = 7;
    o = Open(damaged);
    EXPECT_FALSE(o->doc);
    EXPECT_EQ(o->code, open_result::kDirectoryUnreadable);
}

TEST(IsoReaderBadInput, DirectoryAndAssociatedFlags) {
    // Flags 6 pointing at a file's data: a file. Flags 6 pointing at a
    // directory: a folder. Flag 4 alone: an associated file sharing the main
    // file's name, skipped.
    MiniIso m = Image(Directory(WithDots(20, 20, {
        Record(Id("ASFILE"), 30, 2048, 6), Record(Id("ASDIR"), 21, 2048, 6),
        Record(Id("MAIN.TXT;1"), 31, 3, 4), Record(Id("MAIN.TXT;1"), 32, 3, 0)})));
    m.Put(21, Directory(WithDots(21, 20, {Record(Id("IN;1"), 33, 1, 0)})));
    m.Put(30, std::vector<uint8_t>(2048, 'x'));
    auto o = Open(m);
    ASSERT_TRUE(o->doc) << o->code;
    auto tree = ListTree(*o->doc);
    EXPECT_EQ(Paths(tree), (std::vector<std::string>{"/ASDIR", "/ASDIR/IN", "/ASFILE", "/MAIN.TXT"}));
    EXPECT_FALSE(tree["/ASFILE"].folder);
    EXPECT_TRUE(tree["/ASDIR"].folder);
    EXPECT_EQ(tree["/MAIN.TXT"].item->startSector, 32u);
}

TEST(IsoReaderBadInput, DescriptorChoices) {
    // A second primary descriptor is ignored.
    {
        MiniIso m(40);
        m.Descriptor(16, 1, 20, 2048);
        m.Descriptor(17, 1, 21, 2048);
        m.Terminator(18);
        m.Put(20, Directory(WithDots(20, 20, {Record(Id("FIRST;1"), 30, 1, 0)})));
        m.Put(21, Directory(WithDots(21, 21, {Record(Id("SECOND;1"), 30, 1, 0)})));
        auto o = Open(m);
        ASSERT_TRUE(o->doc);
        EXPECT_EQ(Paths(ListTree(*o->doc)), std::vector<std::string>{"/FIRST"});
        EXPECT_EQ(o->doc->primaryDescriptorSector, 16);
    }
    // A supplementary descriptor with an unknown escape is not Joliet: its
    // UCS-2 names would be read as bytes.
    for (const char* escape : {"%/X", "%/E"}) {
        MiniIso m(40);
        m.Descriptor(16, 1, 20, 2048);
        m.Descriptor(17, 2, 21, 2048, escape);
        m.Terminator(18);
        m.Put(20, Directory(WithDots(20, 20, {Record(Id("ISO.TXT;1"), 30, 1, 0)})));
        m.Put(21, Directory(WithDots(21, 21, {Record(JolietId(u"joliet.txt;1"), 30, 1, 0)})));
        auto o = Open(m);
        ASSERT_TRUE(o->doc);
        const bool joliet = std::string(escape) == "%/E";
        EXPECT_EQ(o->doc->jolietLevel, joliet ? 3 : 0);
        EXPECT_EQ(Paths(ListTree(*o->doc)), std::vector<std::string>{joliet ? "/joliet.txt" : "/ISO.TXT"});
    }
}

TEST(IsoReaderBadInput, DirectoryWithoutDotEntriesKeepsItsSubfolders) {
    MiniIso m = Image(Directory(WithDots(20, 20, {Record(Id("SUB"), 21, 2048, 2)})));
    m.Put(21, Directory({Record(Id("A"), 22, 2048, 2), Record(Id("B"), 23, 2048, 2), Record(Id("F;1"), 30, 1, 0)}));
    m.Put(22, Directory(WithDots(22, 21, {})));
    m.Put(23, Directory(WithDots(23, 21, {})));
    auto o = Open(m);
    ASSERT_TRUE(o->doc);
    EXPECT_EQ(Paths(ListTree(*o->doc)), (std::vector<std::string>{"/SUB", "/SUB/A", "/SUB/B", "/SUB/F"}));
    const ImageFolder* sub = o->doc->rootFolder->firstSubfolder;
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->flags & (folder_flag::kDotRead | folder_flag::kDotDotRead), 0);
}

TEST(IsoReaderBadInput, NamesCannotLeaveTheirFolder) {
    MiniIso m(40);
    m.Descriptor(16, 1, 20, 2048);
    m.Descriptor(17, 2, 21, 2048, "%/E");
    m.Terminator(18);
    m.Put(20, Directory(WithDots(20, 20, {Record(Id("X;1"), 30, 1, 0)})));
    m.Put(21, Directory(WithDots(21, 21, {Record(JolietId(u"../../etc/passwd"), 30, 1, 0),
                                          Record(JolietId(u".."), 30, 1, 0),
                                          Record(JolietId(u"a\\b"), 30, 1, 0),
                                          Record(JolietId(std::u16string(u"nul\0x", 5)), 30, 1, 0)})));
    auto o = Open(m);
    ASSERT_TRUE(o->doc);
    EXPECT_EQ(Paths(ListTree(*o->doc)),
              (std::vector<std::string>{"/.._.._etc_passwd", "/_", "/a_b", "/nul_x"}));
}

// Directories whose records point again and again into one large directory
// area of `areaSectors` sectors, each at a later sector of it with a length
// that runs to its end. Read one by one, each pointer reads the rest of the
// area, and the tree grows with the square of the image (0.66 MB opened into a
// 1.7 GB tree). The area holds 60 minimal file records a sector.
MiniIso OverlappingDirectoryArea(uint32_t areaSectors) {
    std::vector<std::vector<uint8_t>> pointers;
    for (uint32_t k = 0; k + 1 < areaSectors; ++k) {
        // Two-character names, 36-byte records.
        const std::string name{static_cast<char>('A' + k / 26 % 26), static_cast<char>('A' + k % 26)};
        pointers.push_back(Record(Id(name), 0, (areaSectors - k) * 2048, 2));
    }
    std::vector<uint8_t> root = Directory(WithDots(20, 20, pointers));
    const uint32_t rootSectors = static_cast<uint32_t>(root.size() / 2048);
    const uint32_t area = 20 + rootSectors;
    for (size_t at = 0, k = 0; at + 36 <= root.size(); at += root[at] ? root[at] : 2048 - at % 2048) {
        if (root[at] == 36) foundation::WriteBothEndian32(&root[at + 2], area + static_cast<uint32_t>(k++));
    }
    MiniIso m = Image(root, area + areaSectors, static_cast<uint32_t>(root.size()));
    const std::vector<uint8_t> file = Record(Id("F"), 0, 0, 0);
    std::vector<uint8_t> sector(2048, 0);
    for (size_t i = 0; i < 60; ++i) std::memcpy(&sector[i * file.size()], file.data(), file.size());
    for (uint32_t s = 0; s < areaSectors; ++s) m.Put(area + s, sector);
    return m;
}

// A chain of `levels` directories with 221-character names, and at its bottom
// a directory of `bottomSectors` sectors full of subfolder records. Each folder
// holds its whole path, so the bottom's folders would hold hundreds of
// kilobytes each (2.3 MB opened into 3.3 GB).
MiniIso LongPathsAtTheBottomOfAChain(uint32_t levels, uint32_t bottomSectors) {
    MiniIso m(20 + levels + bottomSectors);
    m.Descriptor(16, 1, 20, 2048);
    m.Terminator(17);
    for (uint32_t i = 0; i < levels; ++i) {
        const uint32_t self = 20 + i;
        const uint32_t next = i + 1 < levels ? self + 1 : 20 + levels;
        const std::vector<uint8_t> sub = i + 1 < levels ? Record(Id(std::string(221, 'N')), next, 2048, 2)
                                                        : Record(Id("B"), next, bottomSectors * 2048, 2);
        m.Put(self, Directory(WithDots(self, i == 0 ? 20 : self - 1, {sub})));
    }
    // All the bottom's folders share one (empty) directory.
    m.Put(20 + levels, Directory(std::vector<std::vector<uint8_t>>(bottomSectors * 60, Record(Id("S"), 5, 2048, 2))));
    return m;
}

TEST(IsoReaderBadInput, HostileImagesStayWithinTheirSize) {
    struct Row {
        const char* name;
        MiniIso image;
        uint64_t unreadable;   // directories refused for overlapping one read already
        bool opens = true;     // else "Can not read directory structure." (9)
    };
    // A directory that starts inside its parent's sectors.
    MiniIso inside = Image(Directory(WithDots(20, 20, {Record(Id("IN"), 21, 2048, 2)})), 60, 4096);
    inside.Put(21, Directory(WithDots(21, 20, {Record(Id("F;1"), 30, 1, 0)})));
    // Siblings at one extent with different lengths are one directory under
    // two names; a third starting inside it is not read.
    MiniIso shared = Image(Directory(WithDots(20, 20, {Record(Id("A"), 21, 4096, 2), Record(Id("B"), 21, 2048, 2),
                                                       Record(Id("C"), 22, 2048, 2)})));
    shared.Put(21, Directory(WithDots(21, 20, {Record(Id("F;1"), 30, 1, 0)}), 2));
    Row rows[] = {
        {"overlapping directory area, 0.66 MB", OverlappingDirectoryArea(300), 298},
        {"directory inside its parent", inside, 1},
        {"shared extent, longer second time", shared, 1},
        {"long paths at the bottom of a chain, 2.3 MB", LongPathsAtTheBottomOfAChain(1000, 100), 0, false},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto o = Open(row.image);
        std::printf("%s: %zu bytes, %llu items, %llu directory bytes read, peak memory +%llu KB\n", row.name,
                    row.image.bytes.size(), static_cast<unsigned long long>(o->items),
                    static_cast<unsigned long long>(o->report.directoryBytesRead),
                    static_cast<unsigned long long>(o->peakGrowthBytes / 1024));
        if (!row.opens) {
            EXPECT_FALSE(o->doc);
            EXPECT_EQ(o->code, open_result::kDirectoryUnreadable);
            EXPECT_TRUE(o->report.pathsTooLong);
            continue;
        }
        ASSERT_TRUE(o->doc) << o->code;
        EXPECT_EQ(o->report.unreadableDirectories, row.unreadable);
        // "Error found while reading the directory structure."
    EXPECT_EQ(o->doc->warningBits & kDirectoryError, kDirectoryError);
    }
}



}  // namespace
}  // namespace image
