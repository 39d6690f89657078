// The item tree: path lookups, the display-name index against a plain scan,
// deleting and freeing, sector lookup, statistics and the large-file rule.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/image/item_tree_fixture.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"

namespace {

using namespace image;
using treetest::AddFile;
using treetest::AddFolder;

// root/
//   docs/         readme.txt, sub/ (deep.bin)
//   file.txt
class PathTree : public ::testing::Test {
protected:
    void SetUp() override {
        docs = AddFolder(doc.root(), u"docs");
        readme = AddFile(docs, u"readme.txt", 10);
        sub = AddFolder(docs, u"sub");
        deep = AddFile(sub, u"deep.bin", 20);
        file = AddFile(doc.root(), u"file.txt", 30);
    }
    treetest::TreeDocument doc;
    ImageFolder* docs = nullptr;
    ImageFolder* sub = nullptr;
    ImageItem* readme = nullptr;
    ImageItem* deep = nullptr;
    ImageItem* file = nullptr;
};

TEST_F(PathTree, FolderLookups) {
    struct Row {
        const char16_t* path;
        ImageFolder* expected;
    };
    const Row rows[] = {
        {u"/", doc.root()},
        {u"", doc.root()},
        {u"/docs", docs},
        {u"docs", docs},
        {u"DOCS/SUB", sub},
        {u"/docs/sub", sub},
        {u"/docs/", nullptr},        // a folder path ending in "/" finds no folder
        {u"/docs//sub", nullptr},
        {u"/missing", nullptr},
        {u"/file.txt", nullptr},     // a file is no folder
        {u"/docs/readme.txt", nullptr},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, row.path), row.expected)
            << platform::Utf16ToUtf8(row.path);
    }
    EXPECT_EQ(FindFolderByPath(doc.ctx(), docs, u"sub"), sub);
}

TEST_F(PathTree, ItemLookups) {
    struct Row {
        const char16_t* path;
        ImageItem* expected;
    };
    const Row rows[] = {
        {u"/", &doc.ctx()->rootItem},
        {u"/file.txt", file},
        {u"FILE.TXT", file},
        {u"/docs/readme.txt", readme},
        {u"/docs/Sub/DEEP.bin", deep},
        {u"/docs", docs->ownItem},
        {u"/docs/", docs->ownItem},      // a trailing "/" after a folder gives its item
        {u"/docs/sub/", sub->ownItem},
        {u"/docs/nothing", nullptr},
        {u"/file.txt/x", file},          // a file ends the walk, whatever follows it
        {u"/file.txt/", file},
        {u"/docs/readme.txt/more/parts", readme},
        {u"", nullptr},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FindItemByPath(doc.ctx(), nullptr, row.path), row.expected) << platform::Utf16ToUtf8(row.path);
    }
}

TEST_F(PathTree, CreateFolderPathFindsOrMakes) {
    EXPECT_EQ(CreateFolderPath(doc.ctx(), u"docs/sub"), sub);
    EXPECT_EQ(CreateFolderPath(doc.ctx(), u"/docs/sub"), sub);
    ImageFolder* made = CreateFolderPath(doc.ctx(), u"docs/new/deeper");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/docs/new/deeper"), made);
    EXPECT_EQ(made->depth, 3);
    EXPECT_EQ(made->path, u"docs\\new\\deeper");
    EXPECT_EQ(CreateFolderPath(doc.ctx(), u"file.txt/x"), nullptr);   // never beside a file of that name
    EXPECT_EQ(CreateFolderPath(doc.ctx(), u"/"), nullptr);
    EXPECT_EQ(FindItemByPath(doc.ctx(), nullptr, u"file.txt"), file);
}

TEST_F(PathTree, FindItemBySectorIsDepthFirst) {
    readme->startSector = 77;
    deep->startSector = 77;
    file->startSector = 99;
    EXPECT_EQ(FindItemBySector(doc.ctx(), 77, nullptr), readme);
    EXPECT_EQ(FindItemBySector(doc.ctx(), 99, nullptr), file);
    EXPECT_EQ(FindItemBySector(doc.ctx(), 77, sub), deep);
    EXPECT_EQ(FindItemBySector(doc.ctx(), 5, nullptr), nullptr);
}

TEST_F(PathTree, DeleteItemAndFolderLeaveAConsistentTree) {
    DeleteItem(doc.ctx(), readme);
    EXPECT_EQ(FindItemByPath(doc.ctx(), nullptr, u"/docs/readme.txt"), nullptr);
    EXPECT_EQ(docs->itemCount, 1);
    DeleteFolder(doc.ctx(), sub);
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/docs/sub"), nullptr);
    EXPECT_EQ(docs->firstSubfolder, nullptr);
    EXPECT_EQ(docs->firstItem, nullptr);
    // The layout's ISO-name buckets of a folder losing an item go with it, so
    // they never hold the freed item.
    static int bucketsFreed = 0;
    bucketsFreed = 0;
    doc.root()->isoNameHash.Attach(reinterpret_cast<struct IsoNameTable*>(1),
                                   [](struct IsoNameTable*) { ++bucketsFreed; });
    DeleteItem(doc.ctx(), file);
    EXPECT_EQ(bucketsFreed, 1);
    EXPECT_FALSE(doc.root()->isoNameHash);
    // A new subfolder still lands at the end of the list after the deletion.
    ImageFolder* again = AddFolder(docs, u"again");
    EXPECT_EQ(docs->firstSubfolder, again);
    DeleteFolder(doc.ctx(), doc.root());   // the root stays
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/docs/again"), again);
}

// The lookup rule written plainly: the item spelled exactly as asked nearest
// the head of the list, else the nearest equal without case.
ImageItem* ScanLikeTheTree(ImageFolder* folder, std::u16string_view name) {
    for (ImageItem* item = folder->firstItem; item; item = item->next) {
        if (item->name == name) return item;
    }
    for (ImageItem* item = folder->firstItem; item; item = item->next) {
        if (platform::EqualsNoCase(item->name, name)) return item;
    }
    return nullptr;
}

// Names that differ only in case, as images made on Linux hold them: a path
// finds the exact spelling, and falls back to a match without case. Small
// folders are scanned, large ones (padded past the scan limit) use the index.
TEST(ItemTreeCase, ExactSpellingFirstThenWithoutCase) {
    for (const int padding : {0, 100}) {
        SCOPED_TRACE(padding);
        treetest::TreeDocument doc;
        ImageFolder* upperDocs = AddFolder(doc.root(), u"Docs");
        ImageFolder* lowerDocs = AddFolder(doc.root(), u"docs");
        ImageItem* upperA = AddFile(upperDocs, u"a.txt", 1);
        ImageItem* lowerA = AddFile(lowerDocs, u"a.txt", 2);
        ImageItem* lowerFile = AddFile(doc.root(), u"file", 3);
        ImageItem* upperFile = AddFile(doc.root(), u"FILE", 4);
        ImageFolder* mixedFolder = AddFolder(doc.root(), u"Mixed");
        ImageItem* mixedFile = AddFile(doc.root(), u"mixed", 5);
        for (int i = 0; i < padding; ++i) AddFile(doc.root(), u"pad" + platform::Utf8ToUtf16(std::to_string(i)));
        struct Row {
            const char16_t* path;
            ImageItem* expected;
        };
        const Row rows[] = {
            {u"/Docs/a.txt", upperA},
            {u"/docs/a.txt", lowerA},
            {u"/DOCS/a.txt", lowerA},   // no exact spelling: the nearest the head
            {u"/Docs", upperDocs->ownItem},
            {u"/docs/", lowerDocs->ownItem},
            {u"/file", lowerFile},
            {u"/FILE", upperFile},
            {u"/File", upperFile},
            {u"/Mixed", mixedFolder->ownItem},
            {u"/mixed", mixedFile},      // a file spelled exactly before a folder without case
            {u"/MIXED", mixedFolder->ownItem},
            {u"/mixed/", mixedFolder->ownItem},
        };
        for (const Row& row : rows) {
            EXPECT_EQ(FindItemByPath(doc.ctx(), nullptr, row.path), row.expected) << platform::Utf16ToUtf8(row.path);
        }
        EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/Docs"), upperDocs);
        EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/docs"), lowerDocs);
        EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/mixed"), mixedFolder);
        EXPECT_EQ(FindChildByName(doc.root(), u"file"), lowerFile);
        EXPECT_EQ(FindChildByName(doc.root(), u"FILE"), upperFile);
        EXPECT_EQ(doc.root()->displayNameHash != nullptr, padding > 0);
    }
}

// A folder of a thousand items answers every name, in every case variant,
// exactly as a scan of its list does, also after deletions and additions.
TEST(ItemTreeIndex, HashedLookupEqualsScan) {
    treetest::TreeDocument doc;
    ImageFolder* big = AddFolder(doc.root(), u"big");
    std::vector<ImageItem*> items;
    for (int i = 0; i < 1002; ++i) {
        std::u16string name = platform::Utf8ToUtf16("File_" + std::to_string(i) + (i % 3 ? ".txt" : ".ÄÖÜ"));
        items.push_back(AddFile(big, name, i));
    }
    // Names equal without case in one folder (a case-sensitive source): the
    // exact spelling wins, else the one nearest the head, as in a scan.
    ImageItem* twinLower = AddFile(big, u"twin.dat", 1);
    ImageItem* twinUpper = AddFile(big, u"TWIN.DAT", 2);

    auto scan = [&](std::u16string_view name) { return ScanLikeTheTree(big, name); };
    auto check = [&](std::u16string_view name) {
        EXPECT_EQ(FindChildByName(big, name), scan(name)) << platform::Utf16ToUtf8(name);
    };
    for (int i = 0; i < 1002; i += 7) {
        std::u16string name = items[static_cast<size_t>(i)]->name;
        check(name);
        check(platform::ToUpper(name));
        check(platform::ToLower(name));
    }
    check(u"twin.dat");
    EXPECT_EQ(FindChildByName(big, u"twin.dat"), twinLower);
    EXPECT_EQ(FindChildByName(big, u"TWIN.DAT"), twinUpper);
    EXPECT_EQ(FindChildByName(big, u"Twin.Dat"), twinUpper);
    check(u"missing.txt");
    ASSERT_NE(big->displayNameHash, nullptr);   // answered from the index

    DeleteItem(doc.ctx(), twinUpper);
    check(u"twin.dat");
    for (int i = 0; i < 1002; i += 5) DeleteItem(doc.ctx(), items[static_cast<size_t>(i)]);
    for (int i = 0; i < 1002; i += 3) check(platform::ToUpper(items[static_cast<size_t>(i + (i % 5 == 0 ? 1 : 0))]->name));
    check(u"FILE_0.ÄÖÜ");
    ImageItem* added = AddFile(big, u"file_0.äöü", 5);
    EXPECT_EQ(FindChildByName(big, u"FILE_0.ÄÖÜ"), added);
    // A rename in place, through the tree.
    RenameItem(big, added, u"renamed");
    EXPECT_EQ(FindChildByName(big, u"RENAMED"), added);
    check(u"file_0.äöü");
}

// Random links, unlinks, deletions and announced renames over a small
// alphabet of names (so equal-without-case names are common): after every
// step the index answers as the scan does.
TEST(ItemTreeIndex, RandomEditsKeepIndexAndScanEqual) {
    treetest::TreeDocument doc;
    ImageFolder* folder = AddFolder(doc.root(), u"f");
    ImageFolder* other = AddFolder(doc.root(), u"g");
    std::vector<ImageItem*> live;
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    const char16_t* names[] = {u"a", u"A", u"b", u"B", u"été", u"ÉTÉ", u"c.txt", u"C.TXT"};
    auto randomName = [&] {
        std::u16string name = names[next() % 8];
        name += static_cast<char16_t>(u'0' + next() % 40);
        return name;
    };
    auto scan = [&](std::u16string_view name) { return ScanLikeTheTree(folder, name); };
    for (int step = 0; step < 6000; ++step) {
        uint32_t op = next() % 10;
        if (op < 5 || live.empty()) {
            live.push_back(AddFile(folder, randomName()));
        } else if (op < 7) {
            size_t pick = next() % live.size();
            DeleteItem(doc.ctx(), live[pick]);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(pick));
        } else if (op < 8) {
            RenameItem(folder, live[next() % live.size()], randomName());
        } else {
            // Out to another folder and back: it returns at the head.
            size_t pick = next() % live.size();
            ImageItem* item = live[pick];
            UnlinkItem(folder, item);
            LinkItemAtHead(other, item);
            UnlinkItem(other, item);
            LinkItemAtHead(folder, item);
        }
        std::u16string probe = randomName();
        ASSERT_EQ(FindChildByName(folder, probe), scan(probe)) << "step " << step;
        ASSERT_EQ(FindChildByName(folder, platform::ToUpper(probe)), scan(platform::ToUpper(probe))) << "step " << step;
    }
    EXPECT_NE(folder->displayNameHash, nullptr);
}

TEST(ItemTreeStats, LargeFileRuleAtFourGiB) {
    struct Row {
        int64_t size;
        bool udf;
    };
    for (Row row : {Row{4294967295LL, false}, Row{4294967296LL, true}, Row{0, false}}) {
        treetest::TreeDocument doc;
        ImageFolder* folder = AddFolder(doc.root(), u"a");
        AddFile(folder, u"small", 5);
        AddFile(folder, u"big", row.size);
        doc.ctx()->jolietLevel = 3;
        ApplyLargeFileRule(doc.ctx());
        EXPECT_EQ(doc.ctx()->udfOnly == 1, row.udf) << row.size;
        EXPECT_EQ(doc.ctx()->udfFlag == 1, row.udf) << row.size;
        EXPECT_EQ(doc.ctx()->jolietLevel, row.udf ? 0 : 3) << row.size;
    }
}

TEST(ItemTreeStats, StatisticsAndSizes) {
    treetest::TreeDocument doc;
    ImageFolder* a = AddFolder(doc.root(), u"a");
    ImageFolder* b = AddFolder(a, u"b");
    AddFile(doc.root(), u"top", 100);
    AddFile(a, u"mid", int64_t{3} << 31);   // 6 GiB: no truncation to 32 bits
    ImageItem* old = AddFile(b, u"old", 7);
    old->earlierSession = 1;
    AddFile(b, u".", 0);
    TrackListPtr list = NewTrackList();
    list->trackCount = 2;
    list->tracks[0].mode = track_mode::kAudio;
    list->tracks[0].length = 10;
    list->tracks[1].mode = track_mode::kMode1;
    list->tracks[1].length = 50;
    doc.ctx()->trackList = list.release();

    TreeStatistics stats;
    GetTreeStatistics(doc.ctx(), nullptr, &stats, true);
    EXPECT_EQ(stats.fileCount, 3);
    EXPECT_EQ(stats.folderCount, 2);
    EXPECT_EQ(stats.fileBytes, 100 + (int64_t{3} << 31) + 7);
    EXPECT_EQ(stats.audioTrackCount, 1);
    EXPECT_EQ(stats.audioTrackBytes, 10 * 2048);
    EXPECT_EQ(stats.totalBytes, stats.fileBytes + stats.audioTrackBytes);
    EXPECT_EQ(stats.newFileBytes, 0);

    doc.ctx()->discSource = 1;
    doc.ctx()->recordedSectors = 1000;
    GetTreeStatistics(doc.ctx(), nullptr, &stats, false);
    EXPECT_EQ(stats.fileCount, 1);
    EXPECT_EQ(stats.folderCount, 1);
    EXPECT_EQ(stats.newFileBytes, 100);
    EXPECT_EQ(stats.imageBytes, 1000 * 2048);
    GetTreeStatistics(doc.ctx(), b, &stats, true);
    EXPECT_EQ(stats.fileCount, 1);
    EXPECT_EQ(stats.newFileBytes, 0);

    EXPECT_EQ(GetItemDataSize(doc.ctx(), FindItemByPath(doc.ctx(), nullptr, u"a/mid")), int64_t{3} << 31);
    ImageItem track;
    track.sourceMarker = kVideoCdMarker + 3;
    track.size = 2048 * 10;
    EXPECT_EQ(GetItemDataSize(doc.ctx(), &track), 2048 * 10);
    doc.ctx()->videoCdKind = 1;
    EXPECT_EQ(GetItemDataSize(doc.ctx(), &track), 2352 * 10 + 44);
}

TEST(ItemTreeStats, ItemFromDiskFile) {
    treetest::TreeDocument doc;
    ImageItem* item = AddFile(doc.root(), u"x", 1);
    EXPECT_FALSE(IsItemFromDiskFile(doc.ctx(), item));
    item->diskPath = u"/tmp/x";
    EXPECT_TRUE(IsItemFromDiskFile(doc.ctx(), item));
    item->startSector = 30;
    EXPECT_FALSE(IsItemFromDiskFile(doc.ctx(), item));
    doc.ctx()->formatCode = format_code::kArchive;
    EXPECT_TRUE(IsItemFromDiskFile(doc.ctx(), item));
    item->archiveIndex = 4;
    EXPECT_FALSE(IsItemFromDiskFile(doc.ctx(), item));
    EXPECT_FALSE(IsItemFromDiskFile(nullptr, item));
    EXPECT_FALSE(IsItemFromDiskFile(doc.ctx(), nullptr));
}

TEST(ItemTreeFree, DeepTreeFreesWithoutRecursion) {
    treetest::TreeDocument doc;
    ImageFolder* folder = doc.root();
    for (int depth = 0; depth < 5000; ++depth) {
        folder = AddFolder(folder, u"d");
        AddFile(folder, u"f", depth);
    }
    SetSubfolderDepths(doc.root());
    EXPECT_EQ(folder->depth, 5000);
    // Freed by the document at the end of the test; ASan reports any leak.
}

}  // namespace
