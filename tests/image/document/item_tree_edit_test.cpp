// Copying, moving and merging inside the item tree, with every answer of the
// overwrite question scripted, and the messages of refused edits.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "foundation/dates.h"
#include "image/document/current_document.h"
#include "image/document/main_window_services.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/fake_services.h"

namespace {

using namespace image;
using treetest::AddFile;
using treetest::AddFolder;

constexpr int32_t kYes = 0, kNo = 1, kYesAll = 2, kNoAll = 3, kCancel = 4;

// Records what the views are told.
class RecordingViews final : public qvtest::NullMainWindowServices {
public:
    int added = 0, removed = 0, detached = 0, filled = 0;
    void NotifyItemAddedOrRemoved(ImageContext*, ImageFolder*, ImageItem*, bool isAdded) override {
        (isAdded ? added : removed)++;
    }
    void DetachFromCutTransfer(ImageItem* item, ImageFolder* folder) override {
        ++detached;
        if (item) item->cutSlot = 0;
        if (folder) folder->cutSlot = 0;
    }
    void FillFileListWithFolder(ImageFolder* folder) override {
        ++filled;
        image::g_CurrentFolder = folder;
    }
};

class EditTree : public ::testing::Test {
protected:
    void SetUp() override {
        src = AddFolder(doc.root(), u"src");
        dst = AddFolder(doc.root(), u"dst");
        srcFile = AddFile(src, u"a.txt", 111, 5);
        srcFile->memoryData = {1, 2, 3};
        srcFile->weight = 7;
        srcFile->recordHeader[32] = 5;
    }
    void TearDown() override {
        image::g_CurrentFolder = nullptr;
    }
    treetest::TreeDocument doc;
    RecordingViews views;
    foundation::ScopedServices<image::SetMainWindowServices> scopedViews{&views};
    ImageFolder* src = nullptr;
    ImageFolder* dst = nullptr;
    ImageItem* srcFile = nullptr;
};

// One file copied or moved onto an existing file of the same name (in another
// case), for each answer of the overwrite question.
TEST_F(EditTree, FileOntoExistingFileForEachAnswer) {
    struct Row {
        bool move;
        int32_t answer;
        bool replaced;
        int32_t standing;
    };
    const Row rows[] = {
        {false, kYes, true, kYes},      {false, kNo, false, kNo},      {false, kYesAll, true, kYesAll},
        {false, kNoAll, false, kNoAll}, {false, kCancel, false, kCancel}, {true, kYes, true, kYes},
        {true, kNo, false, kNo},        {true, kYesAll, true, kYesAll}, {true, kNoAll, false, kNoAll},
        {true, kCancel, false, kCancel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "move " << row.move << " answer " << row.answer);
        treetest::TreeDocument d;
        ImageFolder* from = AddFolder(d.root(), u"from");
        ImageFolder* to = AddFolder(d.root(), u"to");
        ImageItem* item = AddFile(from, u"Name.TXT", 42, 9);
        ImageItem* old = AddFile(to, u"name.txt", 1, 3);
        d.prompts().PushAnswer(row.answer);
        ImageItem* result = CopyFileItem(d.ctx(), to, item, row.move, false);
        EXPECT_EQ(d.prompts().Shown().size(), 1u);
        EXPECT_EQ(d.prompts().Shown()[0].kind, 1);
        EXPECT_EQ(GetOverwriteAnswer(), row.standing);
        if (row.replaced) {
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(to->itemCount, 1);
            EXPECT_EQ(FindChildByName(to, u"NAME.txt"), result);
            EXPECT_EQ(result->size, 42);
            EXPECT_EQ(result->parent, to);
            EXPECT_EQ(from->itemCount, row.move ? 0 : 1);
            if (row.move) {
                EXPECT_EQ(result, item);
            }
        } else {
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(FindChildByName(to, u"name.txt"), old);
            EXPECT_EQ(old->size, 1);
            EXPECT_EQ(from->itemCount, 1);
        }
        if (row.answer == kCancel) {
            EXPECT_EQ(foundation::OperationStatus.load(), 1);
        }
    }
}

TEST_F(EditTree, CopyFileCopiesTheRecord) {
    ImageItem* copy = CopyFileItem(doc.ctx(), dst, srcFile, false, false);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, srcFile);
    EXPECT_EQ(copy->name, u"a.txt");
    EXPECT_EQ(copy->size, 111);
    EXPECT_EQ(copy->startSector, 5u);
    EXPECT_EQ(copy->memoryData, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(copy->weight, 7);
    EXPECT_EQ(copy->recordHeader[32], 5);
    EXPECT_EQ(copy->archiveIndex, -1);
    EXPECT_EQ(FindChildByName(src, u"a.txt"), srcFile);
    EXPECT_EQ(views.added, 1);
    EXPECT_TRUE(doc.prompts().Shown().empty());
}

TEST_F(EditTree, MoveFileIntoExcludedFolderExcludesIt) {
    dst->flags |= folder_flag::kExcluded;
    srcFile->cutSlot = 2;
    ImageItem* moved = CopyFileItem(doc.ctx(), dst, srcFile, true, false);
    ASSERT_EQ(moved, srcFile);
    EXPECT_TRUE(moved->flags & item_flag::kExcluded);
    EXPECT_EQ(views.detached, 1);
    EXPECT_EQ(views.removed, 1);
    EXPECT_EQ(views.added, 1);
    EXPECT_EQ(src->firstItem, nullptr);
}

TEST_F(EditTree, FileRefusals) {
    // Into the folder that already holds it: null without a message.
    EXPECT_EQ(CopyFileItem(doc.ctx(), src, srcFile, false, false), nullptr);
    EXPECT_TRUE(doc.ui().Boxes().empty());
    // Onto a folder of the same name: the stop box, and the operation cancelled.
    AddFolder(dst, u"A.TXT");
    EXPECT_EQ(CopyFileItem(doc.ctx(), dst, srcFile, false, false), nullptr);
    auto boxes = doc.ui().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].request.text,
              u"Cannot copy a.txt: A folder with the name you specified already exists. Please specify a different "
              u"folder name.");
    EXPECT_EQ(boxes[0].request.flags & 0xF0u, 0x10u);
    EXPECT_EQ(GetOverwriteAnswer(), kCancel);
    // Folder items, "." and ".." are never copied as files.
    ImageItem* dot = AddFile(src, u"..", 0);
    EXPECT_EQ(CopyFileItem(doc.ctx(), doc.root(), dot, false, false), nullptr);
    EXPECT_EQ(CopyFileItem(doc.ctx(), doc.root(), dst->ownItem, false, false), nullptr);
}

TEST_F(EditTree, FolderIntoItselfOrItsSubfolder) {
    ImageFolder* inner = AddFolder(src, u"inner");
    ImageFolder* innermost = AddFolder(inner, u"innermost");
    struct Row {
        ImageFolder* dest;
        bool move;
        const char16_t* text;
    };
    const Row rows[] = {
        {src, false, u"Cannot copy src: The destination folder is the same as the source folder."},
        {doc.root(), true, u"Cannot move src: The destination folder is the same as the source folder."},
        {inner, false, u"Cannot copy src: The destination folder is a subfolder of the source folder."},
        {innermost, true, u"Cannot move src: The destination folder is a subfolder of the source folder."},
    };
    size_t shown = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(CopyFolder(doc.ctx(), src, row.dest, row.move, false), nullptr);
        auto boxes = doc.ui().Boxes();
        ASSERT_EQ(boxes.size(), ++shown);
        EXPECT_EQ(boxes.back().request.text, row.text);
    }
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/src/inner/innermost"), innermost);
}

TEST_F(EditTree, FolderOntoFileOfTheSameName) {
    AddFile(dst, u"SRC", 1);
    EXPECT_EQ(CopyFolder(doc.ctx(), src, dst, false, false), nullptr);
    auto boxes = doc.ui().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].request.text,
              u"Cannot copy src: A file with the name you specified already exists. Please specify a different file "
              u"name.");
}

TEST_F(EditTree, CopyFolderMakesADeepCopy) {
    ImageFolder* inner = AddFolder(src, u"inner");
    AddFile(inner, u"b.bin", 222);
    ImageFolder* copy = CopyFolder(doc.ctx(), src, dst, false, false);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, src);
    EXPECT_EQ(copy->path, u"dst\\src");
    EXPECT_EQ(copy->depth, 2);
    ImageItem* b = FindItemByPath(doc.ctx(), nullptr, u"/dst/src/inner/b.bin");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->size, 222);
    EXPECT_NE(FindItemByPath(doc.ctx(), nullptr, u"/src/inner/b.bin"), nullptr);
    EXPECT_NE(FindItemByPath(doc.ctx(), nullptr, u"/dst/src/a.txt"), nullptr);
}

// Folders a copy or a path makes are new to the image: they carry the time of
// new items in the item and in the record's date, with volume sequence 1.
TEST_F(EditTree, FoldersMadeByCopyOrPathGetTheNewItemTime) {
    constexpr int64_t kFixed = 1700000000;
    doc.ctx()->fixedItemTime = kFixed;
    AddFolder(src, u"inner");
    ASSERT_NE(CopyFolder(doc.ctx(), src, dst, false, false), nullptr);
    ASSERT_NE(CreateFolderPath(doc.ctx(), u"made/deeper"), nullptr);
    std::array<uint8_t, dr::kDateBytes> date{};
    ASSERT_TRUE(foundation::UnixTimeToIsoRecordDate(kFixed, date));
    for (const char16_t* path : {u"/dst/src", u"/dst/src/inner", u"/made", u"/made/deeper"}) {
        SCOPED_TRACE(platform::Utf16ToUtf8(path));
        ImageItem* item = FindItemByPath(doc.ctx(), nullptr, path);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->time, uint32_t(kFixed));
        EXPECT_TRUE(std::equal(date.begin(), date.end(), item->recordHeader.begin() + dr::kDate));
        EXPECT_EQ(item->recordHeader[dr::kVolumeSequence], 1);
        EXPECT_EQ(item->recordHeader[dr::kVolumeSequence + 3], 1);
    }
}

TEST_F(EditTree, MoveFolderRelinksTheSubtree) {
    ImageFolder* inner = AddFolder(src, u"inner");
    ImageItem* dotdot = AddFile(inner, u"..", 0);
    dotdot->parent = src;
    inner->flags |= folder_flag::kDotDotRead;
    AddFile(inner, u"b.bin", 222);
    ImageFolder* moved = CopyFolder(doc.ctx(), inner, dst, true, false);
    EXPECT_EQ(moved, inner);
    EXPECT_EQ(inner->parent, dst);
    EXPECT_EQ(inner->depth, 2);
    EXPECT_EQ(inner->path, u"dst\\inner");
    EXPECT_EQ(dotdot->parent, dst);
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/src/inner"), nullptr);
    EXPECT_EQ(FindItemByPath(doc.ctx(), nullptr, u"/dst/inner/b.bin")->size, 222);
    EXPECT_EQ(views.removed, 1);
    EXPECT_EQ(views.added, 1);
}

// Merging src into an existing dst/src: the folder question first, then a
// question for the clashing file unless "yes to all" stands.
TEST_F(EditTree, MergeForEachAnswer) {
    struct Row {
        bool move;
        std::vector<int32_t> answers;
        bool merged;             // a non-null result
        int64_t clashSize;       // size of dst/src/a.txt afterwards
        bool newFileArrived;     // dst/src/new.txt exists
        bool sourceGone;         // src deleted (moves only)
        size_t questions;
    };
    const Row rows[] = {
        {false, {kYes, kYes}, true, 111, true, false, 2},
        {false, {kYes, kNo}, true, 9, true, false, 2},
        {false, {kYesAll}, true, 111, true, false, 1},
        {false, {kNo}, false, 9, false, false, 1},
        {false, {kNoAll}, false, 9, false, false, 1},
        {false, {kCancel}, false, 9, false, false, 1},
        {false, {kYes, kCancel}, true, 9, false, false, 2},   // cancel stops at the next entry
        {true, {kYes, kYes}, true, 111, true, true, 2},
        {true, {kYes, kNo}, true, 9, true, false, 2},          // the refused file keeps src
        {true, {kYesAll}, true, 111, true, true, 1},
        {true, {kNo}, false, 9, false, false, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "move " << row.move << " first answer " << row.answers[0]);
        treetest::TreeDocument d;
        ImageFolder* s = AddFolder(d.root(), u"src");
        ImageFolder* dest = AddFolder(d.root(), u"dst");
        AddFile(s, u"new.txt", 50);         // linked first: visited after a.txt
        AddFile(s, u"a.txt", 111);
        ImageFolder* existing = AddFolder(dest, u"SRC");
        AddFile(existing, u"A.TXT", 9);
        for (int32_t answer : row.answers) d.prompts().PushAnswer(answer);
        ImageFolder* result = CopyFolder(d.ctx(), s, dest, row.move, false);
        EXPECT_EQ(result != nullptr, row.merged);
        if (result) {
            EXPECT_EQ(result, existing);
        }
        EXPECT_EQ(d.prompts().Shown().size(), row.questions);
        EXPECT_EQ(FindItemByPath(d.ctx(), nullptr, u"/dst/src/a.txt")->size, row.clashSize);
        EXPECT_EQ(FindItemByPath(d.ctx(), nullptr, u"/dst/src/new.txt") != nullptr, row.newFileArrived);
        EXPECT_EQ(FindFolderByPath(d.ctx(), nullptr, u"/src") == nullptr, row.sourceGone);
    }
}

// A move whose one entry cannot go (a same-named folder, answered No) keeps
// the source folder with that entry.
TEST_F(EditTree, MoveKeepsSourceWithTheEntryThatStayed) {
    ImageFolder* keep = AddFolder(src, u"keep");
    AddFile(keep, u"k", 1);
    ImageFolder* target = AddFolder(dst, u"src");
    AddFolder(target, u"KEEP");
    doc.prompts().PushAnswer(kYes);   // merge src into dst/src
    doc.prompts().PushAnswer(kNo);    // but not keep into dst/src/keep
    image::g_CurrentFolder = src;
    EXPECT_EQ(CopyFolder(doc.ctx(), src, dst, true, false), target);
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/src/keep"), keep);
    EXPECT_NE(FindItemByPath(doc.ctx(), nullptr, u"/src/keep/k"), nullptr);
    EXPECT_NE(FindItemByPath(doc.ctx(), nullptr, u"/dst/src/a.txt"), nullptr);
    EXPECT_EQ(FindItemByPath(doc.ctx(), nullptr, u"/src/a.txt"), nullptr);
    EXPECT_EQ(views.filled, 0);
}

TEST_F(EditTree, MovedAwayCurrentFolderShowsTheTarget) {
    ImageFolder* target = AddFolder(dst, u"src");
    doc.prompts().PushAnswer(kYes);
    image::g_CurrentFolder = src;
    EXPECT_EQ(CopyFolder(doc.ctx(), src, dst, true, false), target);
    EXPECT_EQ(FindFolderByPath(doc.ctx(), nullptr, u"/src"), nullptr);
    EXPECT_EQ(views.filled, 1);
    EXPECT_EQ(image::g_CurrentFolder, target);
}

TEST_F(EditTree, FatVolumeFollowsTheEdits) {
    // The first copy succeeds in the volume, later ones fail.
    struct CountingVolume final : qvtest::NullFatVolumeServices {
        int copies = 0, deletes = 0, folders = 0;
        int CopyFile(ImageContext*, ImageItem*, ImageItem*) override { return ++copies == 1 ? 1 : 0; }
        void DeleteFile(ImageContext*, ImageItem*) override { ++deletes; }
        int CreateFolder(ImageContext*, ImageFolder*) override { return ++folders, 1; }
    } volume;
    const int& deletes = volume.deletes;
    const int& folders = volume.folders;
    foundation::ScopedServices<image::SetFatVolumeServices> scopedVolume(&volume);
    doc.ctx()->fatState.Attach(reinterpret_cast<FatState*>(&volume), [](FatState*) {});
    EXPECT_NE(CopyFileItem(doc.ctx(), dst, srcFile, false, false), nullptr);
    ImageFolder* other = AddFolder(doc.root(), u"other");
    // The second copy fails in the volume: the new item goes again.
    EXPECT_EQ(CopyFileItem(doc.ctx(), other, srcFile, false, false), nullptr);
    EXPECT_EQ(other->firstItem, nullptr);
    EXPECT_EQ(deletes, 1);
    EXPECT_NE(CopyFolder(doc.ctx(), other, src, false, false), nullptr);
    EXPECT_EQ(folders, 1);
}

}  // namespace

namespace {

TEST_F(EditTree, FatCopyStartsWithoutTheSourceRecord) {
    // The record names the source's entry and clusters; a copy handed to the
    // volume with it would be written over the source (and, when the copy
    // fails, deleted from it).
    struct RecordSeen final : qvtest::NullFatVolumeServices {
        bool copyHadRecord = true;
        int CopyFile(ImageContext*, ImageItem*, ImageItem* copy) override {
            copyHadRecord = !copy->Side().readerData.empty();
            return 1;
        }
    } volume;
    foundation::ScopedServices<image::SetFatVolumeServices> scopedVolume(&volume);
    doc.ctx()->fatState.Attach(reinterpret_cast<FatState*>(&volume), [](FatState*) {});
    srcFile->EditSide().readerData.assign(24, 7);
    ImageItem* copy = CopyFileItem(doc.ctx(), dst, srcFile, false, false);
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(volume.copyHadRecord);
    EXPECT_EQ(srcFile->Side().readerData.size(), 24u);
    doc.ctx()->fatState.Release();
}

}  // namespace
