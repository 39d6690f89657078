// Adding disk files and folders: the walk over a real temporary tree (links,
// empty folders, overlong paths, case twins), the access question through an
// injected status failure, the 4 GiB rule on a sparse file, name clashes,
// folder records, tree paths and folder dates.

#include "image/build/add_disk_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "foundation/user_prompt.h"
#include "foundation/dates.h"
#include "foundation/memory.h"
#include "foundation/messages.h"
#include "foundation/settings.h"
#include "foundation/sizes.h"
#include "image/build/image_save.h"
#include "image/document/item_tree.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using image::ImageFolder;
using image::ImageItem;
using treetest::TreeDocument;

std::u16string U16(const std::string& text) { return platform::Utf8ToUtf16(text); }

// The entry with exactly this name (the tree's own lookup ignores case).
ImageItem* ExactChild(ImageFolder* folder, std::u16string_view name) {
    for (ImageItem* item = folder->firstItem; item; item = item->next) {
        if (item->name == name) return item;
    }
    return nullptr;
}

std::vector<std::u16string> PlainNames(ImageFolder* folder) {
    std::vector<std::u16string> names;
    for (ImageItem* item = folder->firstItem; item; item = item->next) {
        if (!image::IsDotOrDotDot(item)) names.push_back(item->name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void MakeFile(const std::string& path, const std::string& text) { qvtest::WriteFileText(path, text); }

void MakeDir(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

std::u16string SkippedLinkText(const std::string& path) {
    return U16(path) + u"\r\n\r\nThis symbolic link does not point to a file inside the added folder and was skipped.";
}

TEST(AddDiskFiles, WalkAddsTheTreeWithLinkAndLengthRules) {
    TreeDocument doc;
    qvtest::TempDir dir;
    const std::string src = dir / "src";
    MakeDir(src);
    MakeFile(src + "/file1.txt", "hello");
    MakeFile(src + "/.profile", "dot");
    MakeDir(src + "/empty");
    MakeDir(src + "/sub");
    MakeFile(src + "/sub/inner.txt", "inner data");
    MakeFile(dir / "outside.txt", "secret");
    ASSERT_EQ(::symlink("sub/inner.txt", (src + "/link_in").c_str()), 0);
    ASSERT_EQ(::symlink("../outside.txt", (src + "/link_out").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (src + "/link_dir").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (src + "/dangling").c_str()), 0);
    // Folders of 200-character names until a path passes 1024 characters.
    std::string deep = src + "/deep";
    MakeDir(deep);
    std::vector<std::string> deepFolders;
    while (deep.size() <= image::kMaxDiskPathChars) {
        deep += "/" + std::string(200, 'd');
        MakeDir(deep);
        deepFolders.push_back(deep);
    }
    ASSERT_GE(deepFolders.size(), 2u);
    MakeFile(deepFolders.front() + "/f.txt", "x");

    EXPECT_EQ(image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(src), nullptr), 1);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);

    ImageFolder* root = doc.root();
    EXPECT_EQ(PlainNames(root),
              (std::vector<std::u16string>{u".profile", u"deep", u"empty", u"file1.txt", u"link_in", u"sub"}));
    ImageItem* file1 = ExactChild(root, u"file1.txt");
    ASSERT_NE(file1, nullptr);
    EXPECT_EQ(file1->size, 5);
    EXPECT_EQ(file1->diskPath, U16(src + "/file1.txt"));
    EXPECT_FALSE(image::IsFolderItem(file1));
    EXPECT_EQ(file1->recordHeader[28], 1);  // volume sequence number 1, both byte orders
    EXPECT_EQ(file1->recordHeader[31], 1);
    // No hidden attribute on Linux: a leading dot is only part of the name.
    EXPECT_EQ(ExactChild(root, u".profile")->recordHeader[image::dr::kFlags] & 1, 0);

    // The link inside the tree is the file it points to.
    ImageItem* linkIn = ExactChild(root, u"link_in");
    ASSERT_NE(linkIn, nullptr);
    EXPECT_EQ(linkIn->size, 10);
    char real[PATH_MAX];
    ASSERT_NE(::realpath((src + "/sub/inner.txt").c_str(), real), nullptr);
    EXPECT_EQ(linkIn->diskPath, U16(real));

    // The empty folder stays, with a folder record and only "." and "..".
    ImageItem* empty = ExactChild(root, u"empty");
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(empty->ownFolder, nullptr);
    EXPECT_TRUE(PlainNames(empty->ownFolder).empty());
    EXPECT_EQ(empty->ownFolder->path, u"empty");
    EXPECT_EQ(empty->ownFolder->depth, 1);

    ImageItem* sub = ExactChild(root, u"sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(PlainNames(sub->ownFolder), std::vector<std::u16string>{u"inner.txt"});

    // The deep chain ends before the first path beyond 1024 characters, silently.
    ImageFolder* walk = ExactChild(root, u"deep")->ownFolder;
    for (size_t i = 0; i + 1 < deepFolders.size(); ++i) {
        ImageItem* next = ExactChild(walk, std::u16string(200, u'd'));
        ASSERT_NE(next, nullptr) << i;
        walk = next->ownFolder;
        if (i == 0) {
            EXPECT_NE(ExactChild(walk, u"f.txt"), nullptr);
        }
    }
    EXPECT_TRUE(PlainNames(walk).empty());

    // "." and ".." of the root come from the disk folder, dated by the document.
    EXPECT_TRUE(root->flags & image::folder_flag::kDotRead);
    EXPECT_TRUE(root->flags & image::folder_flag::kDotDotRead);
    EXPECT_EQ(ExactChild(root, u".")->time, static_cast<uint32_t>(doc.ctx()->modificationTime));

    // One message per skipped link, in name order; nothing else was asked.
    std::vector<std::u16string> texts;
    for (const auto& box : doc.ui().Boxes()) {
        texts.push_back(box.request.text);
        EXPECT_EQ(box.request.flags, foundation::kMbOk | foundation::kMbIconExclamation);
    }
    EXPECT_EQ(texts,
              (std::vector<std::u16string>{SkippedLinkText(src + "/dangling"), SkippedLinkText(src + "/link_dir"),
                                           SkippedLinkText(src + "/link_out")}));
    EXPECT_TRUE(doc.prompts().Shown().empty());
}

TEST(AddDiskFiles, LinuxEntriesADiscCannotHoldAreSkippedWithAWord) {
    TreeDocument doc;
    qvtest::TempDir dir;
    const std::string src = dir / "src";
    MakeDir(src);
    MakeFile(src + "/ok.txt", "ok");
    ASSERT_EQ(::mkfifo((src + "/pipe").c_str(), 0600), 0);
    MakeFile(src + "/bad\xFF.txt", "not UTF-8");
    doc.ui().QueueBoxAnswer(foundation::kIdYes);  // go on after the unreadable name
    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(src), nullptr);
    EXPECT_EQ(PlainNames(doc.root()), std::vector<std::u16string>{u"ok.txt"});
    auto boxes = doc.ui().Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].request.text, u"The following file/folder cannot be accessed from the specified path:\r\n\r\n" +
                                         U16(src) + u"/bad\uFFFD.txt\r\n\r\nDo you want to continue?");
    EXPECT_EQ(boxes[1].request.text,
              U16(src + "/pipe") + u"\r\n\r\nThis is neither a file nor a folder and was skipped.");
    EXPECT_EQ(foundation::OperationStatus.load(), 0);

    // A link chosen on its own counts as inside when it points into the folder
    // it was chosen from.
    MakeFile(dir / "outside.txt", "out");
    ASSERT_EQ(::symlink("ok.txt", (src + "/near").c_str()), 0);
    ASSERT_EQ(::symlink("../outside.txt", (src + "/far").c_str()), 0);
    ImageItem* near = image::AddDiskItem(doc.ctx(), doc.root(), U16(src + "/near"), u"near");
    ASSERT_NE(near, nullptr);
    EXPECT_EQ(near->size, 2);
    EXPECT_EQ(image::AddDiskItem(doc.ctx(), doc.root(), U16(src + "/far"), u"far"), nullptr);
    EXPECT_EQ(doc.ui().Boxes().back().request.text, SkippedLinkText(src + "/far"));

    // A folder that cannot be listed is asked about, not added as empty in silence.
    const std::string gone = dir / "gone";
    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(gone), nullptr);
    EXPECT_EQ(doc.ui().Boxes().back().request.text,
              u"The following file/folder cannot be accessed from the specified path:\r\n\r\n" + U16(gone) +
                  u"\r\n\r\nDo you want to continue?");
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
}

TEST(AddDiskFiles, NamesOfOneDiskFolderThatDifferInCaseBothSurvive) {
    TreeDocument doc;
    qvtest::TempDir dir;
    const std::string src = dir / "twins";
    MakeDir(src);
    MakeFile(src + "/a.txt", "lower");
    MakeFile(src + "/A.TXT", "UPPER!");
    MakeDir(src + "/docs");
    MakeDir(src + "/DOCS");
    MakeFile(src + "/docs/x", "1");
    MakeFile(src + "/DOCS/x", "22");
    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(src), nullptr);

    ImageFolder* root = doc.root();
    EXPECT_EQ(PlainNames(root), (std::vector<std::u16string>{u"A.TXT", u"DOCS", u"a~1.txt", u"docs~1"}));
    EXPECT_EQ(ExactChild(root, u"A.TXT")->size, 6);
    EXPECT_EQ(ExactChild(root, u"a~1.txt")->size, 5);
    EXPECT_EQ(ExactChild(root, u"a~1.txt")->diskPath, U16(src + "/a.txt"));
    EXPECT_EQ(ExactChild(ExactChild(root, u"DOCS")->ownFolder, u"x")->size, 2);
    EXPECT_EQ(ExactChild(ExactChild(root, u"docs~1")->ownFolder, u"x")->size, 1);
    // Nothing was put to the user that could have replaced one by the other.
    EXPECT_TRUE(doc.prompts().Shown().empty());
    EXPECT_TRUE(doc.ui().Boxes().empty());
}

TEST(AddDiskFiles, FileWhereAFolderOfThatNameExistsGivesTheMessage) {
    TreeDocument doc;
    qvtest::TempDir dir;
    MakeFile(dir / "a.txt", "data");
    MakeDir(dir / "B");
    ASSERT_NE(image::AddNewFolder(doc.ctx(), doc.root(), u"A.TXT"), nullptr);
    MakeDir(dir / "other");
    MakeFile(dir / "other/b", "file b");
    ASSERT_NE(image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "other/b"), u"b"), nullptr);

    struct Row {
        std::string path;
        std::u16string name;
        std::u16string text;
    };
    const Row rows[] = {
        {dir / "a.txt", u"a.txt",
         u"Cannot copy a.txt: A folder with the name you specified already exists. Please specify a different "
         u"folder name."},
        {dir / "B", u"B",
         u"Cannot copy B: A file with the name you specified already exists. Please specify a different file name."},
    };
    for (const Row& row : rows) {
        const size_t before = doc.ui().Boxes().size();
        image::SetLastAddAnswer(-1);
        EXPECT_EQ(image::AddDiskItem(doc.ctx(), doc.root(), U16(row.path), row.name), nullptr);
        auto boxes = doc.ui().Boxes();
        ASSERT_EQ(boxes.size(), before + 1);
        EXPECT_EQ(boxes.back().request.text, row.text);
        EXPECT_EQ(boxes.back().request.flags, foundation::kMbIconStop);
        EXPECT_EQ(image::GetLastAddAnswer(), foundation::overwrite_answer::kCancel);
    }
    EXPECT_EQ(PlainNames(doc.root()), (std::vector<std::u16string>{u"A.TXT", u"b"}));
    EXPECT_TRUE(image::IsFolderItem(ExactChild(doc.root(), u"A.TXT")));
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
}

TEST(AddDiskFiles, SameNameFromAnotherFolderAsksThenReplacesOrMerges) {
    TreeDocument doc;
    qvtest::TempDir dir;
    MakeDir(dir / "one");
    MakeDir(dir / "two");
    MakeFile(dir / "one/x.txt", "one");
    MakeFile(dir / "two/X.TXT", "two!");
    MakeDir(dir / "one/f");
    MakeDir(dir / "two/f");
    MakeFile(dir / "one/f/a", "a");
    MakeFile(dir / "two/f/b", "b");
    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(dir / "one"), nullptr);

    // "No" keeps the first file; "Yes" replaces it and merges the folders.
    doc.prompts().PushAnswer(foundation::overwrite_answer::kNo);
    EXPECT_EQ(image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "two/X.TXT"), u"X.TXT"), nullptr);
    EXPECT_EQ(ExactChild(doc.root(), u"x.txt")->size, 3);
    doc.prompts().PushAnswer(foundation::overwrite_answer::kYes);
    ImageItem* replaced = image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "two/X.TXT"), u"X.TXT");
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(replaced->size, 4);
    EXPECT_EQ(ExactChild(doc.root(), u"x.txt"), nullptr);

    doc.prompts().PushAnswer(foundation::overwrite_answer::kYes);
    ImageItem* merged = image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "two/f"), u"f");
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(PlainNames(merged->ownFolder), (std::vector<std::u16string>{u"a", u"b"}));

    auto shown = doc.prompts().Shown();
    ASSERT_EQ(shown.size(), 3u);
    for (const auto& prompt : shown) EXPECT_EQ(prompt.kind, foundation::prompt_kind::kFileExists);
    EXPECT_EQ(image::GetLastAddAnswer(), foundation::overwrite_answer::kYes);

    // Cancel stops the add and stands for the rest of the command.
    MakeDir(dir / "three");
    MakeFile(dir / "three/x.txt", "3");
    MakeFile(dir / "three/y.txt", "3");
    doc.prompts().PushAnswer(foundation::overwrite_answer::kCancel);
    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(dir / "three"), nullptr);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    EXPECT_EQ(foundation::StandingOverwriteAnswer.load(), foundation::overwrite_answer::kCancel);
    EXPECT_EQ(ExactChild(doc.root(), u"y.txt"), nullptr);
}

// A status read that fails for one name, as an unreadable path would; root
// passes every permission check, so the failure is injected.
int FailingStatus(const std::string& path, bool followLinks, image::DiskEntryStatus& status) {
    if (path.size() >= 8 && path.compare(path.size() - 8, 8, "/bad.txt") == 0) {
        platform::SetLastError(5);
        return -1;
    }
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return -1;
    status = image::DiskEntryStatus{};
    status.isSymlink = S_ISLNK(st.st_mode);
    status.isDirectory = S_ISDIR(st.st_mode);
    status.isRegular = S_ISREG(st.st_mode);
    status.sizeBytes = static_cast<uint64_t>(st.st_size);
    status.modifiedTime = st.st_mtime;
    return 0;
}

TEST(AddDiskFiles, UnreadableEntryAsksWhetherToContinue) {
    struct FailingDisk final : image::DiskAddStandIn {
        int ReadEntryStatus(const std::string& path, bool followLinks, image::DiskEntryStatus& status) override {
            return FailingStatus(path, followLinks, status);
        }
    } disk;
    foundation::ScopedServices<image::SetDiskAddServices> scopedDisk(&disk);
    for (bool goOn : {true, false}) {
        SCOPED_TRACE(goOn);
        TreeDocument doc;
        qvtest::TempDir dir;
        MakeFile(dir / "a.txt", "a");
        MakeFile(dir / "bad.txt", "b");
        MakeFile(dir / "c.txt", "c");
        if (goOn) doc.ui().QueueBoxAnswer(foundation::kIdYes);
        image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(dir.path()), nullptr);
        auto boxes = doc.ui().Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].request.text,
                  u"The following file/folder cannot be accessed from the specified path:\r\n\r\n" +
                      U16(dir / "bad.txt") + u"\r\n\r\nDo you want to continue?");
        EXPECT_EQ(boxes[0].request.flags, foundation::kMbYesNo | foundation::kMbIconExclamation);
        if (goOn) {
            EXPECT_EQ(foundation::OperationStatus.load(), 0);
            EXPECT_EQ(PlainNames(doc.root()), (std::vector<std::u16string>{u"a.txt", u"c.txt"}));
        } else {
            EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
            EXPECT_EQ(PlainNames(doc.root()), std::vector<std::u16string>{u"a.txt"});
        }
    }
}

// Status with chosen times, for the creation-time setting.
int64_t g_birthTime = 0;
int TimedStatus(const std::string& path, bool followLinks, image::DiskEntryStatus& status) {
    if (FailingStatus(path, followLinks, status) != 0) return -1;
    status.modifiedTime = 1000000000;
    status.creationTime = g_birthTime;
    return 0;
}

TEST(AddDiskFiles, ItemTimeFollowsUseFileCreationTime) {
    struct TimedDisk final : image::DiskAddStandIn {
        int ReadEntryStatus(const std::string& path, bool followLinks, image::DiskEntryStatus& status) override {
            return TimedStatus(path, followLinks, status);
        }
    } disk;
    foundation::ScopedServices<image::SetDiskAddServices> scopedDisk(&disk);
    struct Row {
        uint32_t setting;
        int64_t birth;
        uint32_t expected;
    };
    const Row rows[] = {
        {0, 1100000000, 1000000000},
        {1, 1100000000, 1100000000},
        {1, 0, 1000000000},  // no birth time kept: the modification time
    };
    for (const Row& row : rows) {
        TreeDocument doc;
        qvtest::TempDir dir;
        MakeFile(dir / "f", "x");
        ASSERT_TRUE(foundation::WriteSettingDword(u"UseFileCreationTime", row.setting));
        g_birthTime = row.birth;
        ImageItem* item = image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "f"), u"f");
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->time, row.expected) << row.setting << " " << row.birth;
        std::array<uint8_t, 7> date{};
        foundation::UnixTimeToIsoRecordDate(row.expected, date);
        EXPECT_TRUE(std::equal(date.begin(), date.end(), item->recordHeader.begin() + 18));
    }
    // A document with a fixed time dates the records by it; the item keeps its own.
    TreeDocument doc;
    qvtest::TempDir dir;
    MakeFile(dir / "f", "x");
    doc.ctx()->fixedItemTime = 1234567890;
    ImageItem* item = image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "f"), u"f");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->time, 1000000000u);
    std::array<uint8_t, 7> date{};
    foundation::UnixTimeToIsoRecordDate(1234567890, date);
    EXPECT_TRUE(std::equal(date.begin(), date.end(), item->recordHeader.begin() + 18));
}

TEST(AddDiskFiles, FileOfFiveGigabytesSwitchesToUdfOrIsRefused) {
    qvtest::TempDir dir;
    const std::string big = dir / "big.bin";
    qvtest::RunOk("truncate -s 5G " + qvtest::ShellQuote(big));
    const int64_t fiveGiB = int64_t{5} << 30;
    {
        // A new ISO document: UDF only, no question.
        TreeDocument doc;
        image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(dir.path()), nullptr);
        ImageItem* item = ExactChild(doc.root(), u"big.bin");
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->size, fiveGiB);
        EXPECT_EQ(doc.ctx()->udfOnly, 1);
        EXPECT_EQ(doc.ctx()->udfFlag, 1);
        EXPECT_EQ(doc.ctx()->jolietLevel, 0);
        EXPECT_TRUE(doc.ui().Boxes().empty());
    }
    struct Row {
        const char* what;
        void (*set)(image::ImageContext*);
    };
    const Row rows[] = {
        {"appends a session", [](image::ImageContext* c) { c->multiSession = 1; }},
        {"mixed tracks", [](image::ImageContext* c) { c->mixedTracks = 1; }},
        {"track operations", [](image::ImageContext* c) { c->trackOperationsAllowed = 1; }},
        {"Video CD", [](image::ImageContext* c) { c->videoCdKind = 1; }},
    };
    for (const Row& row : rows) {
        TreeDocument doc;
        row.set(doc.ctx());
        EXPECT_EQ(image::AddDiskItem(doc.ctx(), doc.root(), U16(big), u"big.bin"), nullptr) << row.what;
        auto boxes = doc.ui().Boxes();
        ASSERT_EQ(boxes.size(), 1u) << row.what;
        EXPECT_EQ(boxes[0].request.text, U16(big) + u" (" + foundation::FormatSizeAuto(uint64_t{5} << 30) +
                                             u")\r\n\r\nThe maximum allowed file size on disc is 4GB if ISO 9660 is "
                                             u"enabled.");
        EXPECT_EQ(boxes[0].request.flags, foundation::kMbOk | foundation::kMbIconExclamation);
        EXPECT_EQ(doc.ctx()->udfOnly, 0) << row.what;
        EXPECT_EQ(doc.root()->firstItem, nullptr) << row.what;
        EXPECT_EQ(foundation::OperationStatus.load(), 0);
    }
}

TEST(AddDiskFiles, AddDialogCanCancelTheWalk) {
    // The dialog cancels at the second entry.
    struct CancellingDialog final : image::DiskAddStandIn {
        int calls = 0;
        int ItemAdded(image::ImageContext*, ImageItem*) override { return ++calls < 2 ? 1 : 0; }
    } dialog;
    const int& calls = dialog.calls;
    foundation::ScopedServices<image::SetDiskAddServices> scopedDialog(&dialog);
    TreeDocument doc;
    qvtest::TempDir dir;
    for (const char* name : {"1", "2", "3", "4"}) MakeFile(dir / name, name);
    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(dir.path()), nullptr);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    EXPECT_EQ(PlainNames(doc.root()), (std::vector<std::u16string>{u"1", u"2"}));
}

// Every allocation of a new folder (its item, its record, its "." and "..")
// failing in turn: null and the tree as it was, never the end of the program.
TEST(AddDiskFiles, NewFoldersUnderAllocationFailure) {
    struct Row {
        const char* what;
        ImageFolder* (*make)(image::ImageContext* ctx, ImageFolder* root);
    };
    const Row rows[] = {
        {"AddNewFolder",
         [](image::ImageContext* ctx, ImageFolder* root) {
             ImageItem* item = image::AddNewFolder(ctx, root, u"made");
             return item ? item->ownFolder : nullptr;
         }},
        {"NewFolderRecord without an item",
         [](image::ImageContext* ctx, ImageFolder* root) {
             return image::NewFolderRecord(ctx, root, u"made", nullptr, false);
         }},
    };
    for (const Row& row : rows) {
        bool made = false;
        for (int64_t n = 0; n < 8 && !made; ++n) {
            TreeDocument doc;
            ImageFolder* root = doc.root();
            foundation::FailAllocationsAfter(n);
            ImageFolder* folder = row.make(doc.ctx(), root);
            foundation::ClearAllocationFailure();
            made = folder != nullptr;
            if (made) {
                EXPECT_EQ(folder->parent, root) << row.what;
                EXPECT_EQ(ExactChild(root, u"made"), folder->ownItem) << row.what;
            } else {
                EXPECT_EQ(ExactChild(root, u"made"), nullptr) << row.what << " " << n;
                EXPECT_EQ(root->firstSubfolder, nullptr) << row.what << " " << n;
            }
        }
        EXPECT_TRUE(made) << row.what;
    }
}

TEST(AddDiskFiles, FolderRecordsAndPaths) {
    TreeDocument doc;
    doc.ctx()->fixedItemTime = 1000000000;
    ImageFolder* root = doc.root();
    ImageItem* docsItem = image::AddNewFolder(doc.ctx(), root, u"docs");
    ASSERT_NE(docsItem, nullptr);
    ImageFolder* docs = docsItem->ownFolder;
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(docs->path, u"docs");
    EXPECT_EQ(docs->depth, 1);
    EXPECT_EQ(docsItem->time, 1000000000u);  // the fixed new-item time of the fixture

    // A record without an item makes its item, with "." and "..".
    ImageFolder* sub = image::NewFolderRecord(doc.ctx(), docs, u"docs\\sub", nullptr, false);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->ownItem->name, u"sub");
    EXPECT_EQ(sub->depth, 2);
    EXPECT_EQ(sub->parent, docs);
    EXPECT_EQ(ExactChild(docs, u"sub"), sub->ownItem);
    ASSERT_NE(ExactChild(sub, u"."), nullptr);
    ASSERT_NE(ExactChild(sub, u".."), nullptr);
    EXPECT_EQ(ExactChild(sub, u"..")->parent, docs);
    EXPECT_EQ(sub->flags & (image::folder_flag::kDotRead | image::folder_flag::kDotDotRead),
              image::folder_flag::kDotRead | image::folder_flag::kDotDotRead);
    // Reuse finds the existing folder whatever its case.
    EXPECT_EQ(image::NewFolderRecord(doc.ctx(), root, u"DOCS", nullptr, true), docs);

    ImageItem* file = image::AddPlaceholderItem(doc.ctx(), sub, u"f.dat", 4096, 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(image::GetFolderPath(doc.ctx(), sub, nullptr, 0), u"\\docs\\sub");
    EXPECT_EQ(image::GetFolderPath(doc.ctx(), sub, docs, 0), u"\\sub");
    EXPECT_EQ(image::GetFolderPath(doc.ctx(), root, nullptr, 0), u"\\");
    EXPECT_EQ(image::GetItemArchivePath(doc.ctx(), file), u"/docs/sub/f.dat");
    EXPECT_EQ(image::GetItemArchivePath(doc.ctx(), docsItem), u"/docs");

    // Only a folder holding nothing but "." and ".." is removed.
    EXPECT_EQ(image::RemoveEmptyFolderRecord(docs, sub), 0);
    image::DeleteItem(doc.ctx(), file);
    EXPECT_EQ(image::RemoveEmptyFolderRecord(docs, sub), 1);
    EXPECT_EQ(docs->firstSubfolder, nullptr);
    EXPECT_TRUE(PlainNames(docs).empty());
    EXPECT_EQ(image::RemoveEmptyFolderRecord(root, root), 0);

    // 1024 levels have a path; 1025 do not.
    ImageFolder* deep = root;
    for (int i = 0; i < image::kMaxFolderPathLevels; ++i) deep = image::MakeFolderNode(doc.ctx(), deep, u"n");
    std::optional<std::u16string> path = image::GetFolderPath(doc.ctx(), deep, nullptr, 16);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->size(), 2u * image::kMaxFolderPathLevels);
    deep = image::MakeFolderNode(doc.ctx(), deep, u"n");
    EXPECT_FALSE(image::GetFolderPath(doc.ctx(), deep, nullptr, 0).has_value());
}

TEST(AddDiskFiles, PlaceholderEntries) {
    TreeDocument doc;
    const uint32_t marker = image::kVideoCdMarker + 1;
    ImageItem* entry = image::AddPlaceholderItem(doc.ctx(), doc.root(), u"AVSEQ01.DAT", 123456, marker);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->size, 123456);
    EXPECT_EQ(entry->sourceMarker, marker);
    EXPECT_EQ(entry->startSector, marker);
    EXPECT_TRUE(entry->diskPath.empty());

    // A disk file may not replace it.
    qvtest::TempDir dir;
    MakeFile(dir / "avseq01.dat", "x");
    EXPECT_EQ(image::AddDiskItem(doc.ctx(), doc.root(), U16(dir / "avseq01.dat"), u"avseq01.dat"), nullptr);
    ASSERT_EQ(doc.ui().Boxes().size(), 1u);
    EXPECT_EQ(doc.ui().Boxes()[0].request.text,
              u"Cannot copy avseq01.dat: A special entry already present on the target location.");

    // A second placeholder asks; "No" keeps the first, "Yes" replaces it.
    doc.prompts().PushAnswer(foundation::overwrite_answer::kNo);
    EXPECT_EQ(image::AddPlaceholderItem(doc.ctx(), doc.root(), u"avseq01.dat", 1, 0), nullptr);
    doc.prompts().PushAnswer(foundation::overwrite_answer::kYes);
    ImageItem* second = image::AddPlaceholderItem(doc.ctx(), doc.root(), u"avseq01.dat", 1, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(PlainNames(doc.root()), std::vector<std::u16string>{u"avseq01.dat"});
    EXPECT_EQ(second->startSector, 0u);
}

TEST(AddDiskFiles, SetFolderTimeSetsTheTreeButNotExcludedFolders) {
    TreeDocument doc;
    doc.ctx()->fixedItemTime = 1000000000;
    ImageFolder* root = doc.root();
    ImageFolder* a = image::AddNewFolder(doc.ctx(), root, u"a")->ownFolder;
    ImageFolder* hidden = image::AddNewFolder(doc.ctx(), a, u"skip")->ownFolder;
    hidden->flags |= image::folder_flag::kExcluded;
    ImageItem* inA = image::AddPlaceholderItem(doc.ctx(), a, u"f", 1, 0);
    ImageItem* inHidden = image::AddPlaceholderItem(doc.ctx(), hidden, u"g", 1, 0);
    const int64_t when = 1500000000;

    EXPECT_EQ(image::SetFolderTime(doc.ctx(), a, when, false), 1);
    EXPECT_EQ(a->ownItem->time, 1500000000u);
    EXPECT_EQ(inA->time, 1000000000u);
    EXPECT_EQ(image::SetFolderTime(doc.ctx(), a, when, true), 1);
    EXPECT_EQ(inA->time, 1500000000u);
    EXPECT_EQ(hidden->ownItem->time, 1500000000u);  // its entry in a is an item of a
    EXPECT_EQ(inHidden->time, 1000000000u);
    std::array<uint8_t, 7> date{};
    foundation::UnixTimeToIsoRecordDate(when, date);
    EXPECT_TRUE(std::equal(date.begin(), date.end(), inA->recordHeader.begin() + 18));
    EXPECT_EQ(image::SetFolderTime(doc.ctx(), a, when, true), 0);
}

}  // namespace

namespace {

// A tree added from disk and saved as an ISO image comes back equal through
// two readers we did not write.
TEST(AddDiskFiles, SavedTreeExtractsEqualWithXorrisoAnd7z) {
    TreeDocument doc;
    qvtest::TempDir dir;
    const std::string src = dir / "src";
    MakeDir(src);
    MakeFile(src + "/readme.txt", "read me\n");
    MakeFile(src + "/.profile", "export A=1\n");
    MakeFile(src + "/caf\xC3\xA9 menu.txt", "coffee\n");
    MakeFile(src + "/empty.bin", "");
    MakeDir(src + "/empty folder");
    MakeDir(src + "/a");
    MakeDir(src + "/a/b");
    MakeDir(src + "/a/b/c");
    MakeFile(src + "/a/b/c/deep.dat", std::string(70000, 'z'));
    MakeFile(src + "/a/same1.dat", std::string(5000, 's'));
    MakeFile(src + "/a/b/same2.dat", std::string(5000, 's'));
    MakeFile(src + "/a/" + std::string(100, 'L') + ".txt", "long name\n");
    ASSERT_EQ(::symlink("a/b/c/deep.dat", (src + "/link_in").c_str()), 0);
    for (int i = 0; i < 300; ++i) MakeFile(src + "/a/b/n" + std::to_string(i), std::to_string(i));

    image::AddDiskFolderContents(doc.ctx(), doc.root(), U16(src), nullptr);
    ASSERT_EQ(foundation::OperationStatus.load(), 0);
    ASSERT_TRUE(doc.ui().Boxes().empty());
    const std::string iso = dir / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc.ctx(), U16(iso), 0, nullptr), 1);

    const std::string out1 = dir / "out1";
    const std::string out2 = dir / "out2";
    qvtest::RunOk("xorriso -abort_on FAILURE -osirrox on -indev " + qvtest::ShellQuote(iso) + " -extract / " +
                  qvtest::ShellQuote(out1) + " 2>&1");
    qvtest::RunOk("7z x -y -o" + qvtest::ShellQuote(out2) + " " + qvtest::ShellQuote(iso));
    // Extracted without Rock Ridge, the copies may be read-only.
    qvtest::RunOk("chmod -R u+w " + qvtest::ShellQuote(out1) + " " + qvtest::ShellQuote(out2));
    qvtest::RunOk("diff -r " + qvtest::ShellQuote(src) + " " + qvtest::ShellQuote(out1));
    qvtest::RunOk("diff -r " + qvtest::ShellQuote(src) + " " + qvtest::ShellQuote(out2));
}

}  // namespace
