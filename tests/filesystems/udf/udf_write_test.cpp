// Images we write with UDF, checked by tools we did not write: udfinfo's
// facts, 7z's UDF reader (test and extract, compared with the source tree),
// isovfy on the ISO 9660 side, and our own reader. Also the saves that need
// the UDF reader: an opened UDF volume written again, and a UDF-only image of
// a file over 4 GiB.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>

#include "filesystems/udf/udf_writer.h"
#include "foundation/messages.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/build/image_build.h"
#include "image/build/image_save.h"
#include "platform/file.h"
#include "tests/filesystems/udf/udf_fixtures.h"

namespace {

using image::DocumentPtr;
using image::ImageContext;
using image::ImageFolder;
using image::ImageItem;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

// Adds every file and folder below diskFolder, as the add command would.
void AddTree(ImageContext* ctx, ImageFolder* into, const std::string& diskFolder) {
    const std::string listing = RunOk("cd " + ShellQuote(diskFolder) + " && find . -mindepth 1 -printf '%y %P\\n' | sort");
    std::map<std::string, ImageFolder*> folders{{"", into}};
    size_t at = 0;
    while (at < listing.size()) {
        const size_t end = listing.find('\n', at);
        const std::string line = listing.substr(at, end - at);
        at = end + 1;
        const std::string rel = line.substr(2);
        const size_t slash = rel.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : rel.substr(0, slash);
        const std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);
        if (line[0] == 'd') {
            folders[rel] = image::MakeFolderNode(ctx, folders.at(parent), W(name));
            ASSERT_NE(folders[rel], nullptr);
            continue;
        }
        ImageItem* item = image::NewItem();
        item->name = W(name);
        item->diskPath = W(diskFolder + "/" + rel);
        struct stat st {};
        ASSERT_EQ(::stat((diskFolder + "/" + rel).c_str(), &st), 0);
        item->size = int64_t(st.st_size);
        item->time = 1700000000;
        image::LinkItemAtHead(folders.at(parent), item);
    }
}

class UdfWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        foundation::ResetOperationStatus();
    }
    void TearDown() override { ::unsetenv("TZ"); }

    // A tree with what UDF must carry: a Latin-1 name, an empty folder, an
    // empty file, identical files, and a folder of 60 names of 100
    // characters, whose identifier descriptors cross block boundaries.
    std::string MakeSource() {
        const std::string s = dir_ / "src";
        RunOk("mkdir -p " + ShellQuote(s) + "/docs/deep " + ShellQuote(s) + "/empty " + ShellQuote(s) + "/long");
        RunOk("cd " + ShellQuote(s) + " && echo hello > a.txt && : > zero.bin && head -c 100000 /dev/urandom > "
              "docs/blob.dat && cp docs/blob.dat twin.dat && head -c 70000 /dev/urandom > docs/deep/other.dat"
              " && echo e > \"$(printf 'caf\\303\\251').txt\""
              " && for i in $(seq 10 69); do echo $i > long/$i$(printf 'n%.0s' $(seq 1 98)); done");
        return s;
    }

    // Saves, then checks the image with udfinfo, 7z (test, and extract
    // compared with the source) and our reader.
    void SaveAndCheck(ImageContext& doc, const std::string& source, const std::string& out, int files, int folders) {
        ASSERT_EQ(image::SaveImageFile(doc, W(out), image::format_code::kIso, nullptr), 1);
        int rc = -1;
        const auto facts = udftest::UdfInfo(out, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(facts.at("label"), "UDFTEST");
        EXPECT_EQ(facts.at("numfiles"), std::to_string(files));
        EXPECT_EQ(facts.at("numdirs"), std::to_string(folders));
        EXPECT_EQ(facts.at("udfrev"), "1.02");
        EXPECT_EQ(facts.at("integrity"), "closed");
        RunOk("7z t -tudf " + ShellQuote(out) + " >/dev/null");
        const std::string x = dir_ / ("x_" + std::to_string(++extracted_));
        RunOk("7z x -tudf -o" + ShellQuote(x) + " " + ShellQuote(out) + " >/dev/null");
        RunOk("diff -r " + ShellQuote(source) + " " + ShellQuote(x));

        auto back = isotest::OpenDoc(out);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->udfPresent, 1);
        EXPECT_EQ(udftest::OurListing(*back), udftest::SevenZipListing(out));
        udftest::ExpectSameBytesAs(*back, x);
    }

    qvtest::TempDir dir_;
    int extracted_ = 0;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_F(UdfWriteTest, BridgeImageReadsInUdfToolsAndStaysCleanIso) {
    udftest::ReadersInstalled readers;
    const std::string src = MakeSource();
    DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    doc->udfFlag = 1;
    doc->volumeTexts[image::volume_text::kVolumeLabel] = u"UDFTEST";
    AddTree(doc.get(), doc->rootFolder, src);
    SaveAndCheck(*doc, src, dir_ / "bridge.iso", 66, 5);
    // The ISO 9660 side is still sound (isovfy holds names to 30 bytes).
    doc->isoNameLimit = 30;
    const std::string level2 = dir_ / "level2.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(level2), image::format_code::kIso, nullptr), 1)
        << foundation::OperationStatus.load() << " " << platform::Utf16ToUtf8(foundation::GetLastErrorText());
    const std::string vfy = RunOk("isovfy " + ShellQuote(level2));
    EXPECT_NE(vfy.find("No errors found"), std::string::npos) << vfy;
    RunOk("xorriso -indev " + ShellQuote(level2) + " -find / -type f 2>&1 >/dev/null");
    // Identical files share one copy in both file systems.
    const std::string listing = RunOk("7z l -slt -tudf " + ShellQuote(dir_ / "bridge.iso"));
    EXPECT_NE(listing.find("twin.dat"), std::string::npos);
}

TEST_F(UdfWriteTest, OpenedUdfVolumeIsWrittenAgainFromItsExtents) {
    udftest::ReadersInstalled readers;
    const std::string src = MakeSource();
    // genisoimage holds UDF names to 64 characters: its own extraction is
    // the tree to compare with.
    RunOk("cd " + ShellQuote(dir_.path()) + " && genisoimage -quiet -J -udf -V UDFTEST -o g.iso src"
          " && 7z x -tudf -ogenisoimage g.iso >/dev/null");
    int code = -1;
    auto doc = isotest::OpenDoc(dir_ / "g.iso", &code);
    ASSERT_TRUE(doc) << code;
    ASSERT_EQ(doc->udfPresent, 1);
    doc->volumeTexts[image::volume_text::kVolumeLabel] = u"UDFTEST";
    SaveAndCheck(*doc, dir_ / "genisoimage", dir_ / "again.iso", 66, 5);
}

TEST_F(UdfWriteTest, UdfOnlyImageOfASparseFileOverFourGiB) {
    udftest::ReadersInstalled readers;
    const std::string src = dir_ / "big";
    RunOk("mkdir -p " + ShellQuote(src) + " && truncate -s 5G " + ShellQuote(src) + "/huge.bin && echo tail >> " +
          ShellQuote(src) + "/huge.bin && echo small > " + ShellQuote(src) + "/small.txt");
    DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    doc->volumeTexts[image::volume_text::kVolumeLabel] = u"UDFTEST";
    AddTree(doc.get(), doc->rootFolder, src);
    image::ApplyLargeFileRule(doc.get());
    ASSERT_EQ(doc->udfOnly, 1);
    const std::string out = dir_ / "big.udf";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    int rc = -1;
    const auto facts = udftest::UdfInfo(out, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(facts.at("numfiles"), "2");
    EXPECT_EQ(facts.at("integrity"), "closed");
    // No ISO 9660 descriptors on a UDF-only image.
    EXPECT_EQ(qvtest::Run("isoinfo -d -i " + ShellQuote(out) + " 2>&1 | grep -c 'CD001'").output.substr(0, 1), "0");
    const auto listing = udftest::SevenZipListing(out);
    EXPECT_EQ(listing.at("huge.bin"), 5LL * 1024 * 1024 * 1024 + 5);
    RunOk("7z e -tudf -so " + ShellQuote(out) + " small.txt | cmp - " + ShellQuote(src) + "/small.txt");

    auto back = isotest::OpenDoc(out);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->udfOnly, 1);
    const auto tree = isotest::ListTree(*back);
    const ImageItem& huge = *tree.at("/huge.bin").item;
    ASSERT_EQ(huge.size, 5LL * 1024 * 1024 * 1024 + 5);
    std::vector<uint8_t> end(4096, 0xAA);
    EXPECT_EQ(filesystems::ReadUdfItemBytes(*back, huge, uint64_t(huge.size) - end.size(), end.data(), end.size()),
              int64_t(end.size()));
    EXPECT_EQ(std::string(end.end() - 5, end.end()), "tail\n");
    EXPECT_TRUE(std::all_of(end.begin(), end.end() - 5, [](uint8_t b) { return b == 0; }));
}

// A session appended after an ISO 9660 image carries UDF read from its own
// start: its partition starts at sector 16, so the files of the first
// session, which keep their sectors, are inside it.
TEST_F(UdfWriteTest, AppendedSessionCarriesUdfFromItsOwnStart) {
    udftest::ReadersInstalled readers;
    const std::string old = dir_ / "old";
    RunOk("mkdir -p " + ShellQuote(old + "/docs") + " && echo first > " + ShellQuote(old + "/first.txt") +
          " && head -c 300000 /dev/urandom > " + ShellQuote(old + "/docs/big.dat") + " && genisoimage -quiet -J -o " +
          ShellQuote(dir_ / "old.iso") + " " + ShellQuote(old) + " && cp " + ShellQuote(dir_ / "old.iso") + " " +
          ShellQuote(dir_ / "out.iso"));
    qvtest::WriteFileText(dir_ / "second.txt", "second session\n");
    int code = -1;
    DocumentPtr doc(image::OpenImageDocument(W(dir_ / "old.iso"), u"", foundation::OpenFileForRead(W(dir_ / "old.iso")),
                                             true, 2, &code));
    ASSERT_TRUE(doc) << code;
    ImageItem* item = image::NewItem();
    item->name = u"second.txt";
    item->diskPath = W(dir_ / "second.txt");
    item->size = 15;
    image::LinkItemAtHead(doc->rootFolder, item);
    doc->udfFlag = 1;
    const int32_t s = int32_t(qvtest::ReadFileBytes(dir_ / "old.iso").size() / 2048);
    doc->outputFormat = image::format_code::kIso;
    doc->outputHandle.reset(platform::FileOpen(W(dir_ / "out.iso"), platform::FileAccess::ReadWrite,
                                               platform::FileDisposition::OpenExisting));
    ASSERT_TRUE(doc->outputHandle);
    image::ImageBuild build;
    image::LayoutError error = image::LayoutError::None;
    image::WriterArguments args;
    ASSERT_EQ(image::PrepareTreeForWrite(*doc, build.iso, nullptr, &error), 1);
    ASSERT_EQ(image::BuildImageLayout(*doc, build, nullptr, s), 1);
    ASSERT_EQ(build.udf.partitionStart, 16u);
    ASSERT_EQ(build.udf.anchor, uint32_t(s + 256));
    ASSERT_EQ(image::LayoutDirectoryTrees(*doc, build), 1);
    ASSERT_EQ(image::WriteImageContents(*doc, build, args), 0);
    platform::FileClose(doc->outputHandle.release());
    image::FreeImageWriter(doc.get());

    const std::string out = dir_ / "out.iso";
    const qvtest::CommandResult info =
        qvtest::Run("udfinfo --startblock=" + std::to_string(s) + " " + ShellQuote(out) + " 2>/dev/null");
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("numfiles=3"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("numdirs=2"), std::string::npos) << info.output;

    DocumentPtr back(image::OpenImageDocument(W(out), u"", foundation::OpenFileForRead(W(out)), false, 2, &code));
    ASSERT_TRUE(back) << code;
    back->ownsTree = 1;
    ASSERT_TRUE(filesystems::MountUdf(*back, s));
    const auto tree = isotest::ListTree(*back);
    ASSERT_EQ(isotest::Paths(tree), (std::vector<std::string>{"/docs", "/docs/big.dat", "/first.txt", "/second.txt"}));
    EXPECT_EQ(udftest::ItemBytes(*back, *tree.at("/docs/big.dat").item), qvtest::ReadFileBytes(old + "/docs/big.dat"));
    EXPECT_EQ(udftest::ItemBytes(*back, *tree.at("/second.txt").item), qvtest::ReadFileBytes(dir_ / "second.txt"));
}

TEST_F(UdfWriteTest, NamesBeyondWhatUdfHoldsFailTheSaveWithAReason) {
    udftest::ReadersInstalled readers;
    struct Row {
        std::u16string name;
        bool saves;
    };
    const Row rows[] = {
        {std::u16string(254, u'a'), true},
        {std::u16string(255, u'a'), false},
        {std::u16string(127, u'\u00e9'), true},
        {std::u16string(128, u'\u00e9'), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.size());
        DocumentPtr doc(image::NewIsoDocument());
        ASSERT_TRUE(doc);
        doc->udfOnly = 1;
        doc->udfFlag = 1;
        doc->jolietLevel = 0;
        ImageItem* item = image::NewItem();
        item->name = row.name;
        item->memoryData = {'x'};
        item->size = 1;
        image::LinkItemAtHead(doc->rootFolder, item);
        foundation::ResetOperationStatus();
        const int saved = image::SaveImageFile(*doc, W(dir_ / "names.udf"), image::format_code::kIso, nullptr);
        EXPECT_EQ(saved == 1, row.saves);
        if (row.saves) {
            auto back = isotest::OpenDoc(dir_ / "names.udf");
            ASSERT_TRUE(back);
            ASSERT_NE(back->rootFolder->firstItem, nullptr);
            EXPECT_EQ(std::u16string(back->rootFolder->firstItem->name), row.name);
        } else {
            const auto boxes = ui_.Boxes();
            ASSERT_FALSE(boxes.empty());
            EXPECT_NE(boxes.back().request.text.find(u"too long for UDF"), std::u16string::npos);
        }
    }
}

TEST(UdfWriteDescriptors, AllocationDescriptorsCoverTheSizeWithinOneEntry) {
    struct Row {
        uint64_t size;
        bool fits;
        size_t descriptors;
    };
    const uint64_t max = filesystems::kUdfMaxExtentBytes;
    const Row rows[] = {
        {0, true, 0},
        {1, true, 1},
        {max, true, 1},
        {max + 1, true, 2},
        {234 * max, true, 234},
        {234 * max + 1, false, 0},   // 235 extents do not fit in the entry's block
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        std::vector<uint8_t> out;
        EXPECT_EQ(filesystems::MakeUdfShortDescriptors(row.size, 100, out), row.fits);
        if (!row.fits) continue;
        ASSERT_EQ(out.size(), row.descriptors * 8);
        uint64_t total = 0;
        uint32_t block = 100;
        for (size_t i = 0; i < row.descriptors; ++i) {
            const uint32_t length = foundation::ReadLE32(out.data() + 8 * i);
            EXPECT_EQ(foundation::ReadLE32(out.data() + 8 * i + 4), block);
            EXPECT_EQ(length >> 30, 0u);
            block += length / 2048;
            total += length;
        }
        EXPECT_EQ(total, row.size);
    }
}

}  // namespace
