// Images we write, read back by tools we did not write: isovfy, isoinfo,
// xorriso, 7z and bchunk must all agree with the tree we saved.

#include "image/build/image_save.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "codecs/crc32.h"
#include "foundation/progress_callbacks.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/build/composed_image.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_layout.h"
#include "image/iso/iso_reader.h"
#include "image/sectors/sector_io.h"
#include "image/iso/volume_texts.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using image::ImageContext;
using image::ImageFolder;
using image::ImageItem;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

// Adds every file and folder below diskFolder to the document, as the add
// command would (items point at their disk files).
void AddTree(ImageContext* ctx, ImageFolder* into, const std::string& diskFolder) {
    std::string listing = RunOk("cd " + ShellQuote(diskFolder) + " && find . -mindepth 1 -printf '%y %P\\n' | sort");
    std::map<std::string, ImageFolder*> folders{{"", into}};
    size_t at = 0;
    while (at < listing.size()) {
        size_t end = listing.find('\n', at);
        std::string line = listing.substr(at, end - at);
        at = end + 1;
        char kind = line[0];
        std::string rel = line.substr(2);
        size_t slash = rel.rfind('/');
        std::string parent = slash == std::string::npos ? "" : rel.substr(0, slash);
        std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);
        ImageFolder* p = folders.at(parent);
        if (kind == 'd') {
            folders[rel] = image::MakeFolderNode(ctx, p, W(name));
            ASSERT_NE(folders[rel], nullptr);
        } else {
            ImageItem* item = image::NewItem();
            item->name = W(name);
            item->diskPath = W(diskFolder + "/" + rel);
            struct stat st {};
            ASSERT_EQ(::stat((diskFolder + "/" + rel).c_str(), &st), 0);
            item->size = int64_t(st.st_size);
            item->time = 1700000000;
            image::LinkItemAtHead(p, item);
        }
    }
}

class ImageSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
        foundation::ResetOperationStatus();
    }
    std::string Src() { return dir_ / "src"; }
    void MakeSource() {
        std::string s = ShellQuote(Src());
        RunOk("mkdir -p " + s + "/docs/deep/er/and/deeper/still/more/levels/nine/ten " + s + "/empty " + s + "/many");
        RunOk("cd " + s + " && echo hello > a.txt && : > zero.bin && head -c 100000 /dev/urandom > docs/blob.dat"
              " && cp docs/blob.dat twin.dat && head -c 70000 /dev/urandom > docs/deep/other.dat"
              " && echo lower > 'mixed Case name.Text' && echo semi > 'semi;colon.txt'"
              " && echo x > docs/deep/er/and/deeper/still/more/levels/nine/ten/bottom.txt"
              " && for i in $(seq 1 300); do echo $i > many/entry_number_$i.txt; done");
        // A 110-character name, beyond what other tools write for Joliet.
        qvtest::WriteFileText(Src() + "/" + std::string(100, 'n') + "_long.text", "long\n");
    }
    DocumentPtr NewDocumentFromSource() {
        DocumentPtr doc(image::NewIsoDocument());
        EXPECT_TRUE(doc);
        AddTree(doc.get(), doc->rootFolder, Src());
        return doc;
    }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_F(ImageSaveTest, ToolsReadOurIsoAndExtractTheSameTree) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);

    // isovfy holds names to ISO 9660 level 2 (30 bytes); the default 221-byte
    // names are checked by the other readers below.
    doc->isoNameLimit = 30;
    const std::string level2 = dir_ / "level2.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(level2), image::format_code::kIso, nullptr), 1);
    std::string vfy = RunOk("isovfy " + ShellQuote(level2));
    EXPECT_NE(vfy.find("No errors found"), std::string::npos) << vfy;
    std::string info = RunOk("isoinfo -d -i " + ShellQuote(out));
    EXPECT_NE(info.find("Joliet with UCS level 3 found"), std::string::npos) << info;
    size_t volumeAt = info.find("Volume size is: ");
    ASSERT_NE(volumeAt, std::string::npos);
    EXPECT_EQ(std::stoull(info.substr(volumeAt + 16)) * 2048, qvtest::ReadFileBytes(out).size());

    // The folder of 300 entries spans several sectors, and no record crosses
    // from one sector into the next (isoinfo gives the folder's extent).
    std::string listing = RunOk("isoinfo -l -i " + ShellQuote(out));
    size_t manyAt = listing.find(" MANY \n");
    ASSERT_NE(manyAt, std::string::npos) << listing;
    size_t lineAt = listing.rfind('\n', manyAt) + 1;
    unsigned long long sizeBytes = 0, extent = 0;
    ASSERT_EQ(std::sscanf(listing.c_str() + lineAt, "%*s %*d %*d %*d %llu", &sizeBytes), 1);
    ASSERT_EQ(std::sscanf(listing.c_str() + listing.find('[', lineAt) + 1, "%llu", &extent), 1);
    EXPECT_GT(sizeBytes, 2048u * 4);
    std::vector<uint8_t> image = qvtest::ReadFileBytes(out);
    ASSERT_LE((extent * 2048) + sizeBytes, image.size());
    int records = 0;
    for (uint64_t sector = 0; sector < sizeBytes / 2048; ++sector) {
        const uint8_t* base = image.data() + (extent + sector) * 2048;
        for (size_t pos = 0; pos < 2048 && base[pos] != 0; pos += base[pos]) {
            EXPECT_LE(pos + base[pos], 2048u) << "sector " << sector;
            ++records;
        }
    }
    EXPECT_EQ(records, 302);   // ".", ".." and 300 files

    // libisofs is strict: it fails on anything it dislikes, in both views.
    for (const char* view : {"norock", "ecma119"}) {
        RunOk("xorriso -abort_on FAILURE -return_with SORRY 32 -indev " + ShellQuote(out) + " -read_fs " + view +
              " -find / -exec lsdl -- >/dev/null");
    }
    RunOk("xorriso -osirrox on -indev " + ShellQuote(out) + " -extract / " + ShellQuote(dir_ / "x1") + " 2>&1");
    RunOk("chmod -R u+w " + ShellQuote(dir_ / "x1"));
    // ";" is the version separator of ISO 9660 and Joliet names: it becomes "_".
    RunOk("diff -r -x 'semi*' " + ShellQuote(Src()) + " " + ShellQuote(dir_ / "x1"));
    RunOk("cmp " + ShellQuote(Src() + "/semi;colon.txt") + " " + ShellQuote(dir_ / "x1/semi_colon.txt"));
    RunOk("7z x -y -o" + ShellQuote(dir_ / "x2") + " " + ShellQuote(out) + " >/dev/null");
    RunOk("diff -r -x 'semi*' " + ShellQuote(Src()) + " " + ShellQuote(dir_ / "x2"));
}

TEST_F(ImageSaveTest, IdenticalFilesShareOneExtentAndEmptyFilesHaveNone) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    std::string listing = RunOk("isoinfo -J -l -i " + ShellQuote(out));
    auto extentOf = [&](const std::string& name) -> std::string {
        size_t at = listing.find(" " + name + " ");
        if (at == std::string::npos) at = listing.find(" " + name + "\n");
        EXPECT_NE(at, std::string::npos) << name << "\n" << listing;
        if (at == std::string::npos) return "";
        size_t open = listing.rfind('[', at);
        return listing.substr(open, listing.find(']', open) - open);
    };
    EXPECT_EQ(extentOf("blob.dat"), extentOf("twin.dat"));
    EXPECT_NE(extentOf("blob.dat"), extentOf("other.dat"));
    std::string zero = extentOf("zero.bin");
    EXPECT_NE(zero.find("[      0 "), std::string::npos) << zero;
}

TEST_F(ImageSaveTest, OurReaderOpensWhatWeWroteWithEveryByte) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    int code = -1;
    DocumentPtr back(image::OpenImageDocument(W(out), u"", foundation::OpenFileForRead(W(out)), true, 2, &code));
    ASSERT_TRUE(back) << code;
    ImageItem* blob = image::FindItemByPath(back.get(), back->rootFolder, u"/docs/blob.dat");
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob->size, 100000);
    std::vector<uint8_t> sectors(size_t((100000 + 2047) / 2048) * 2048);
    ASSERT_EQ(image::ReadImageSectors(*back, int32_t(blob->startSector), sectors.data(), int32_t(sectors.size() / 2048)),
              int32_t(sectors.size() / 2048));
    sectors.resize(100000);
    EXPECT_EQ(sectors, qvtest::ReadFileBytes(Src() + "/docs/blob.dat"));

    // Re-saving the opened document over itself keeps every file.
    ASSERT_EQ(image::SaveImageFile(*back, W(out), image::format_code::kIso, nullptr), 1);
    RunOk("7z x -y -o" + ShellQuote(dir_ / "again") + " " + ShellQuote(out) + " >/dev/null");
    RunOk("diff -r -x 'semi*' " + ShellQuote(Src()) + " " + ShellQuote(dir_ / "again"));
}

TEST_F(ImageSaveTest, BinCueSaveGivesBackTheIsoThroughBchunk) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    ASSERT_EQ(image::SaveImageFile(*doc, W(dir_ / "out.iso"), image::format_code::kIso, nullptr), 1);
    ASSERT_EQ(image::SaveImageFile(*doc, W(dir_ / "out.bin"), image::format_code::kBin, nullptr), 1);
    RunOk("cd " + ShellQuote(dir_.path()) + " && bchunk out.bin out.cue back >/dev/null");
    std::string info = RunOk("cd " + ShellQuote(dir_.path()) + " && cd-info --no-header --cue-file out.cue --iso9660");
    EXPECT_NE(info.find("a.txt"), std::string::npos) << info;
    EXPECT_EQ(qvtest::ReadFileBytes(dir_ / "back01.iso"), qvtest::ReadFileBytes(dir_ / "out.iso"));
}

TEST_F(ImageSaveTest, BinSaveWhoseSheetCannotBeWrittenFails) {
    RunOk("mkdir -p " + ShellQuote(Src()) + " " + ShellQuote(dir_ / "out.cue") + " && echo x > " +
          ShellQuote(Src() + "/a.txt"));
    DocumentPtr doc = NewDocumentFromSource();
    ui_.QueueBoxAnswer(foundation::kIdYes);   // replace the existing "out.cue"
    EXPECT_EQ(image::SaveImageFile(*doc, W(dir_ / "out.bin"), image::format_code::kBin, nullptr), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    auto boxes = ui_.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().request.flags & foundation::kMbIconMask, foundation::kMbIconStop);
    // The CUE writer names the image it writes the sheet for.
    EXPECT_EQ(platform::Utf16ToUtf8(boxes.back().request.text), (dir_ / "out.bin") + "\r\n\r\nAccess is denied.");
}

TEST_F(ImageSaveTest, AFileThatChangedSizeFailsTheSaveAndLeavesNoImage) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    qvtest::WriteFileText(Src() + "/a.txt", "a longer text than before\n");
    const std::string out = dir_ / "out.iso";
    EXPECT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
    auto boxes = ui_.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(platform::Utf16ToUtf8(boxes.back().request.text).find("File size changed."), std::string::npos);
    EXPECT_EQ(qvtest::Run("ls -A " + ShellQuote(dir_.path())).output, "src\n");
}

TEST_F(ImageSaveTest, CancelLeavesTheOldImageInPlace) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "out.iso";
    qvtest::WriteFileText(out, "the old image");
    foundation::ProgressCallbacks progress;
    progress.cancelEvent.Set();
    EXPECT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, &progress), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    std::vector<uint8_t> kept = qvtest::ReadFileBytes(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the old image");
    EXPECT_EQ(qvtest::Run("ls -A " + ShellQuote(dir_.path())).output, "out.iso\nsrc\n");
}

TEST_F(ImageSaveTest, ComposedImageReadsAsTheSavedImage) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    ImageItem* made = image::NewItem();   // a file held in memory
    made->name = u"made.txt";
    made->memoryData = {'m', 'a', 'd', 'e', '\n'};
    made->size = 5;
    image::LinkItemAtHead(doc->rootFolder, made);
    const std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    ASSERT_EQ(image::ComposeImage(*doc, nullptr), 1);
    std::vector<uint8_t> saved = qvtest::ReadFileBytes(out);
    const int32_t sectors = int32_t(saved.size() / 2048);
    std::vector<uint8_t> composed(saved.size());
    // Read as the burn does, in pieces that cross file boundaries.
    for (int32_t at = 0; at < sectors; at += 27) {
        int32_t n = std::min(27, sectors - at);
        ASSERT_EQ(image::ReadImageSectors(*doc, at, composed.data() + size_t(at) * 2048, n), n) << at;
    }
    EXPECT_TRUE(composed == saved);
    EXPECT_EQ(image::GetSectorOwnerName(*doc, 17), u"Directory information");
}

TEST_F(ImageSaveTest, MoreThan65535FoldersFailInOrder) {
    DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    ImageFolder* parent = doc->rootFolder;
    for (int i = 0; i < 65536; ++i) {
        // 256 folders of 256: the root and its children already make the count pass the limit.
        if (i % 256 == 0) parent = image::MakeFolderNode(doc.get(), doc->rootFolder, W("g" + std::to_string(i)));
        ASSERT_NE(image::MakeFolderNode(doc.get(), parent, W("f" + std::to_string(i))), nullptr);
    }
    const std::string out = dir_ / "big.iso";
    EXPECT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), -1);
    auto boxes = ui_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(platform::Utf16ToUtf8(boxes[0].request.text).find("65535"), std::string::npos);
    EXPECT_EQ(qvtest::Run("ls -A " + ShellQuote(dir_.path())).output, "");
}

TEST_F(ImageSaveTest, LongPathsAndDeepTreesReadBackEverywhere) {
    // A path of over 255 characters, nine levels and more, names beyond 8.3.
    std::string deep = Src();
    for (int level = 0; level < 12; ++level) deep += "/level_" + std::to_string(level) + "_" + std::string(20, 'd');
    RunOk("mkdir -p " + ShellQuote(deep) + " && echo deep > " + ShellQuote(deep + "/leaf file.txt"));
    ASSERT_GT(deep.size() - Src().size(), 255u);
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "deep.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    RunOk("xorriso -abort_on FAILURE -return_with SORRY 32 -indev " + ShellQuote(out) +
          " -read_fs ecma119 -find / -exec lsdl -- >/dev/null");
    std::string rel = deep.substr(Src().size());
    std::string listed = RunOk("iso-info --no-header -f -i " + ShellQuote(out));
    EXPECT_NE(listed.find(rel + "/leaf file.txt"), std::string::npos) << listed;
    RunOk("iso-read -i " + ShellQuote(out) + " -e " + ShellQuote(rel + "/leaf file.txt") + " -o " +
          ShellQuote(dir_ / "leaf.txt"));
    RunOk("cmp " + ShellQuote(deep + "/leaf file.txt") + " " + ShellQuote(dir_ / "leaf.txt"));
}

TEST_F(ImageSaveTest, VolumeTextsDatesAnd221ByteNamesReachTheImage) {
    RunOk("mkdir -p " + ShellQuote(Src()));
    // Linux allows 255 bytes: the ISO identifier takes 221 of them, numbered.
    qvtest::WriteFileText(Src() + "/" + std::string(230, 'w') + ".txt", "wide\n");
    DocumentPtr doc = NewDocumentFromSource();
    const std::pair<int, const char16_t*> texts[] = {
        {image::kVolumeLabel, u"MY_LABEL"},        {image::kSystemId, u"SYSTEM"},
        {image::kVolumeSetId, u"SET"},             {image::kPublisherId, u"PUBLISHER"},
        {image::kPreparerId, u"PREPARER"},         {image::kApplicationId, u"APPLICATION"},
        {image::kCopyrightFileId, u"COPYING"},     {image::kAbstractFileId, u"ABSTRACT"},
        {image::kBibliographicFileId, u"BIBLIO"}};
    for (const auto& [kind, text] : texts) image::SetVolumeField(*doc, kind, text);
    doc->creationTime = 1700000000;      // 2023-11-14 22:13:20 UTC
    doc->modificationTime = 1700000100;
    doc->expirationTime = 1900000000;
    doc->effectiveTime = 1700000200;
    const std::string out = dir_ / "texts.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    std::string pvd = RunOk("xorriso -indev " + ShellQuote(out) + " -pvd_info 2>&1");
    for (const char* expected : {"Volume Id    : MY_LABEL", "Volume Set Id: SET", "Publisher Id : PUBLISHER",
                                 "Preparer Id  : PREPARER", "App Id       : APPLICATION", "System Id    : SYSTEM",
                                 "CopyrightFile: COPYING", "Abstract File: ABSTRACT", "Biblio File  : BIBLIO",
                                 "Creation Time: 2023111422132000", "Modif. Time  : 2023111422150000",
                                 "Expir. Time  : 2030031717464000", "Eff. Time    : 2023111422164000"})
        EXPECT_NE(pvd.find(expected), std::string::npos) << expected << "\n" << pvd;
    // One path-table entry, the root's; the entries of new folders carry a time.
    std::string table = RunOk("isoinfo -p -i " + ShellQuote(out));
    EXPECT_NE(table.find("size 10\n"), std::string::npos) << table;
    std::string isoNames = RunOk("isoinfo -l -i " + ShellQuote(out));
    EXPECT_NE(isoNames.find(std::string(215, 'W') + "~0.TXT"), std::string::npos) << isoNames;
    EXPECT_EQ(isoNames.find(" 1900 ["), std::string::npos) << isoNames;
}

TEST_F(ImageSaveTest, AFileOf4GiBFailsTheSaveWithoutReadingIt) {
    RunOk("mkdir -p " + ShellQuote(Src()) + " && truncate -s 5G " + ShellQuote(Src() + "/huge.bin"));
    DocumentPtr doc = NewDocumentFromSource();
    image::ApplyLargeFileRule(doc.get());
    EXPECT_EQ(doc->udfOnly, 1);
    const std::string out = dir_ / "huge.iso";
    EXPECT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), -1);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_NE(platform::Utf16ToUtf8(ui_.Boxes()[0].request.text).find("UDF"), std::string::npos);
    EXPECT_EQ(qvtest::Run("ls -A " + ShellQuote(dir_.path())).output, "src\n");
    // A burn of the same document is refused with the same reason.
    EXPECT_EQ(image::ComposeImage(*doc, nullptr), -1);
    ASSERT_EQ(ui_.Boxes().size(), 2u);
    EXPECT_NE(platform::Utf16ToUtf8(ui_.Boxes()[1].request.text).find("UDF"), std::string::npos);
}

TEST_F(ImageSaveTest, AnOpenedImageEditedAndSavedKeepsEveryFile) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    const std::string first = dir_ / "first.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(first), image::format_code::kIso, nullptr), 1);
    int code = -1;
    DocumentPtr opened(image::OpenImageDocument(W(first), u"", foundation::OpenFileForRead(W(first)), true, 2, &code));
    ASSERT_TRUE(opened) << code;
    // Edit: delete a file, add one from disk and one made in memory.
    image::DeleteItem(opened.get(), image::FindItemByPath(opened.get(), opened->rootFolder, u"/twin.dat"));
    qvtest::WriteFileText(dir_ / "added.txt", "added from disk\n");
    ImageItem* added = image::NewItem();
    added->name = u"added.txt";
    added->diskPath = W(dir_ / "added.txt");
    added->size = 16;
    image::LinkItemAtHead(image::FindFolderByPath(opened.get(), opened->rootFolder, u"/docs"), added);
    const std::string second = dir_ / "second.iso";
    ASSERT_EQ(image::SaveImageFile(*opened, W(second), image::format_code::kIso, nullptr), 1);
    RunOk("rm " + ShellQuote(Src() + "/twin.dat") + " && cp " + ShellQuote(dir_ / "added.txt") + " " +
          ShellQuote(Src() + "/docs/added.txt"));
    RunOk("7z x -y -o" + ShellQuote(dir_ / "x") + " " + ShellQuote(second) + " >/dev/null");
    RunOk("diff -r -x 'semi*' " + ShellQuote(Src()) + " " + ShellQuote(dir_ / "x"));
}

// The path table of a tree of many folders at several levels, with names that
// mix ".", "_" and case, as isoinfo -p lists it: level by level, each level by
// parent number, then by identifier, every parent number naming the folder
// that holds the entry; isovfy checks the records' own order beside it.
struct PathTableEntry {
    int parent;
    std::string name;
};
std::vector<PathTableEntry> ReadPathTable(const std::string& listing, uint64_t* sizeBytes) {
    std::vector<PathTableEntry> out;
    size_t sizeAt = listing.find(", size ");
    *sizeBytes = sizeAt == std::string::npos ? 0 : std::stoull(listing.substr(sizeAt + 7));
    size_t at = 0;
    while ((at = listing.find('\n', at)) != std::string::npos) {
        ++at;
        int number = 0, parent = 0, used = 0;
        unsigned extent = 0;   // hexadecimal
        if (std::sscanf(listing.c_str() + at, "%d: %d %x %n", &number, &parent, &extent, &used) != 3) continue;
        EXPECT_EQ(number, int(out.size()) + 1);
        std::string rest = listing.substr(at + size_t(used), listing.find('\n', at) - at - size_t(used));
        while (!rest.empty() && rest.back() == ' ') rest.pop_back();
        out.push_back({parent, rest});
    }
    return out;
}

TEST_F(ImageSaveTest, PathTableOfManyFoldersAtSeveralLevels) {
    // Beyond ASCII: Joliet orders by code value (U+00E9 before U+010C), which
    // byte-swapped units would not.
    const char* folders[] = {"alpha", "Beta", "ALPHA_2", "alpha.x", "_under", "Zed", "b.2", "zz",
                             "caf\u00e9", "\u00e9t\u00e9", "\u010cx"};
    const char* children[] = {"one", "Two", "two_2", "t.w.o", "T_W_O", "a", "A.1"};
    std::string s = ShellQuote(Src());
    std::string script = "mkdir -p " + s;
    for (const char* f : folders) {
        for (const char* c : children) {
            script += " " + ShellQuote(Src() + "/" + f + "/" + c + "/deeper/" + c);
        }
    }
    RunOk(script);
    RunOk("cd " + s + " && for d in $(find . -maxdepth 2 -type d); do for f in file.txt FILE_.TXT file file.a.b _x.txt X_ x.y_z;"
          " do echo \"$d $f\" > \"$d/$f\"; done; done");
    DocumentPtr doc = NewDocumentFromSource();
    doc->isoNameLimit = 30;   // isovfy holds names to 30 bytes
    const std::string out = dir_ / "folders.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    std::string vfy = RunOk("isovfy " + ShellQuote(out));
    EXPECT_NE(vfy.find("No errors found"), std::string::npos) << vfy;
    // Lower-case ISO names sort by their own bytes, which isovfy checks too.
    doc->allowLowerCase = 1;
    const std::string lower = dir_ / "lower.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(lower), image::format_code::kIso, nullptr), 1);
    vfy = RunOk("isovfy " + ShellQuote(lower));
    EXPECT_NE(vfy.find("No errors found"), std::string::npos) << vfy;
    EXPECT_NE(RunOk("isoinfo -l -i " + ShellQuote(lower)).find(" alpha.x \n"), std::string::npos);

    for (bool joliet : {false, true}) {
        SCOPED_TRACE(joliet ? "Joliet" : "ISO 9660");
        // isoinfo prints Joliet names in a code page of its list; 1250 holds them all.
        const std::string j = joliet ? " -J -j cp1250" : "";
        auto wide = [](const std::string& printed) {
            std::u16string out;
            EXPECT_TRUE(platform::MultiByteToUtf16(1250, printed, out)) << printed;
            return out;
        };
        uint64_t tableBytes = 0;
        std::vector<PathTableEntry> table =
            ReadPathTable(RunOk("isoinfo" + j + " -p -i " + ShellQuote(out)), &tableBytes);
        // Folders: the root, 11 at level 1, 7 below each, a "deeper" in each of
        // those and one more below it.
        ASSERT_EQ(table.size(), 1u + 11 + 77 * 3);
        std::vector<std::string> paths(table.size());
        std::vector<int> level(table.size(), 0);
        uint64_t predicted = 0;
        for (size_t i = 0; i < table.size(); ++i) {
            const PathTableEntry& e = table[i];
            // A Joliet identifier takes two bytes a character.
            size_t idLength = i == 0 ? 1 : joliet ? wide(e.name).size() * 2 : e.name.size();
            predicted += 8 + idLength + idLength % 2;
            if (i == 0) {
                EXPECT_EQ(e.parent, 1);
                continue;
            }
            ASSERT_GE(e.parent, 1);
            ASSERT_LT(size_t(e.parent), i + 1) << "a parent comes before its children";
            paths[i] = paths[size_t(e.parent) - 1] + "/" + e.name;
            level[i] = level[size_t(e.parent) - 1] + 1;
            const PathTableEntry& prev = table[i - 1];
            if (i > 1) {
                EXPECT_LE(level[i - 1], level[i]) << paths[i];
                EXPECT_LE(prev.parent, e.parent) << paths[i];
                if (prev.parent == e.parent && joliet) {
                    EXPECT_LT(wide(prev.name), wide(e.name)) << paths[i];
                } else if (prev.parent == e.parent) {
                    EXPECT_LT(prev.name, e.name) << paths[i];   // bytes, unsigned
                }
            }
        }
        // The descriptor's path-table size (isoinfo prints it) is the table's real length.
        EXPECT_EQ(tableBytes, predicted);
        // Each path the table builds is a folder of the image: parent numbers hold.
        std::string listing = RunOk("isoinfo" + j + " -l -i " + ShellQuote(out));
        for (size_t i = 1; i < paths.size(); ++i)
            EXPECT_NE(listing.find("Directory listing of " + paths[i] + "/\n"), std::string::npos) << paths[i];
        if (joliet) {
            EXPECT_NE(listing.find("Directory listing of /Beta/t.w.o/deeper/t.w.o/\n"), std::string::npos);
        }
    }
    // xorriso reads every folder in both views.
    for (const char* view : {"norock", "ecma119"}) {
        RunOk("xorriso -abort_on FAILURE -return_with SORRY 32 -indev " + ShellQuote(out) + " -read_fs " + view +
              " -find / -exec lsdl -- >/dev/null");
    }
}

// The identical-data search tells its progress as "Total %d files, Finished
// %d files": files found identical count as finished with the one they match.
TEST_F(ImageSaveTest, IdenticalDataSearchCountsItsFiles) {
    RunOk("mkdir -p " + ShellQuote(Src()) + " && cd " + ShellQuote(Src()) +
          " && echo same > a && echo same > b && echo same > c && echo different > d");
    DocumentPtr doc = NewDocumentFromSource();
    foundation::ProgressCallbacks progress;
    std::vector<std::string> calls;
    progress.NarrowStatus = [&] { calls.push_back("narrow"); };
    progress.WidenStatus = [&] { calls.push_back("widen"); };
    progress.ShowOptimizing = [&](std::u16string_view text) { calls.push_back(platform::Utf16ToUtf8(text)); };
    ASSERT_EQ(image::SaveImageFile(*doc, W(dir_ / "out.iso"), image::format_code::kIso, &progress), 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"narrow", "Total 4 files, Finished 3 files",
                                               "Total 4 files, Finished 4 files", "widen"}));
}

// Bytes the thread has read so far (rchar of its own io record).
uint64_t ThreadReadBytes(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/io");
    std::string key;
    uint64_t value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") return value;
    }
    return 0;
}

// Two equal 64 MB files are compared in 32 KB pieces. A pause taken in the
// middle of the comparison holds it within a piece, and the cancel that follows
// ends the save without reading on.
TEST_F(ImageSaveTest, CancelDuringTheIdenticalDataSearchStopsWithinOnePiece) {
    constexpr uint64_t kFileBytes = 64ull << 20, kPieceBytes = 32768;
    RunOk("mkdir -p " + ShellQuote(Src()) + " && truncate -s 64M " + ShellQuote(Src() + "/one.bin") + " " +
          ShellQuote(Src() + "/two.bin"));
    DocumentPtr doc = NewDocumentFromSource();
    foundation::ProgressCallbacks progress;
    const pid_t worker = ::gettid();
    const uint64_t base = ThreadReadBytes(worker);
    std::atomic<uint64_t> heldAt{0}, pausedAt{0};
    std::thread watcher([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ThreadReadBytes(worker) < base + (8u << 20) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        // Paused first, then sampled: a watcher descheduled between the two
        // must not count the worker's reads before the pause against it.
        progress.paused = 1;
        pausedAt = ThreadReadBytes(worker);
        uint64_t last = ThreadReadBytes(worker);
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            uint64_t now = ThreadReadBytes(worker);
            if (now == last) break;
            last = now;
        }
        heldAt = last;
        progress.cancelEvent.Set();
    });
    const int result = image::SaveImageFile(*doc, W(dir_ / "out.iso"), image::format_code::kIso, &progress);
    watcher.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    // Held in the middle of the comparison, a piece of each file after the pause at most.
    EXPECT_GE(heldAt - base, 8u << 20);
    EXPECT_LT(heldAt - base, 2 * kFileBytes - (8u << 20));
    EXPECT_LE(heldAt - pausedAt, 4 * kPieceBytes);
    EXPECT_EQ(ThreadReadBytes(worker), heldAt.load()) << "nothing is read after the cancel";
    EXPECT_EQ(qvtest::Run("ls -A " + ShellQuote(dir_.path())).output, "src\n");
}

// A file found identical to another at layout time shares its data. When it
// changes afterwards (same size, other bytes), the save fails instead of
// giving it the other file's bytes: small files are compared whole, larger
// ones by their sample sectors.
TEST_F(ImageSaveTest, AFileThatChangedAfterTheIdenticalDataSearchFailsTheSave) {
    struct Row {
        const char* name;
        int sizeBytes;
    } rows[] = {{"small files", 3000}, {"large files", 100000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        const std::string src = dir / "src";
        RunOk("mkdir -p " + ShellQuote(src) + " && head -c " + std::to_string(row.sizeBytes) + " /dev/urandom > " +
              ShellQuote(src + "/a.dat") + " && cp " + ShellQuote(src + "/a.dat") + " " + ShellQuote(src + "/b.dat"));
        DocumentPtr doc(image::NewIsoDocument());
        AddTree(doc.get(), doc->rootFolder, src);
        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
        foundation::ProgressCallbacks progress;
        // When a.dat, which carries the shared data, is written, b.dat changes.
        progress.SetCurrentItem = [&](std::u16string_view name) {
            if (name == u"a.dat") RunOk("printf X | dd of=" + ShellQuote(src + "/b.dat") + " conv=notrunc 2>/dev/null");
        };
        const std::string out = dir / "out.iso";
        EXPECT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, &progress), -1);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_EQ(platform::Utf16ToUtf8(ui.Boxes()[0].request.text),
                  src + "/b.dat\r\n\r\nThe file changed while the image was written.");
        EXPECT_EQ(qvtest::Run("ls -A " + ShellQuote(dir.path())).output, "src\n");
        // Unchanged, the same pair saves with one shared extent.
        progress.SetCurrentItem = nullptr;
        RunOk("cp " + ShellQuote(src + "/a.dat") + " " + ShellQuote(src + "/b.dat"));
        EXPECT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, &progress), 1);
    }
}

// The CRC-32 register (before its final inversion) after bytes, bitwise.
uint32_t CrcRegister(const uint8_t* bytes, size_t n, uint32_t reg = 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; ++i) {
        reg ^= bytes[i];
        for (int k = 0; k < 8; ++k) reg = (reg >> 1) ^ ((reg & 1) ? 0xEDB88320u : 0u);
    }
    return reg;
}

// Rewrites the last four bytes of data so that its CRC-32 becomes that of
// model (of the same length): four steps of the register are undone from the
// wanted end state.
void ForgeCrc(std::vector<uint8_t>& data, const std::vector<uint8_t>& model) {
    uint32_t want = CrcRegister(model.data(), model.size());
    for (int k = 0; k < 32; ++k) want = (want & 0x80000000u) ? ((want ^ 0xEDB88320u) << 1) | 1 : want << 1;
    const uint32_t word = want ^ CrcRegister(data.data(), data.size() - 4);
    for (int i = 0; i < 4; ++i) data[data.size() - 4 + size_t(i)] = uint8_t(word >> (8 * i));
}

// Files of one size are stored once only when their bytes agree: a file of
// other bytes is never merged, even when its checksum (the whole CRC-32 of a
// small file, the five sample sectors of a large one) is the same. Every file
// reads back with its own bytes.
TEST_F(ImageSaveTest, OnlyFilesOfEqualBytesShareTheirData) {
    struct Row {
        const char* name;
        size_t sizeBytes;
        size_t changedAt;   // a byte that the look-alike changes
        bool forgeCrc;      // and its last four bytes restore the whole CRC-32
    } rows[] = {{"small files, whole CRC-32 alike", 4096, 100, true},
                {"large files, sample sectors alike", 100000, 2048 + 100, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        const std::string src = dir / "src";
        RunOk("mkdir -p " + ShellQuote(src));
        std::vector<uint8_t> original(row.sizeBytes);
        uint32_t x = 99;
        for (auto& b : original) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
        std::vector<uint8_t> lookAlike = original;
        lookAlike[row.changedAt] ^= 0x5A;
        if (row.forgeCrc) {
            ForgeCrc(lookAlike, original);
            ASSERT_EQ(codecs::Crc32(lookAlike.data(), lookAlike.size()), codecs::Crc32(original.data(), original.size()));
        }
        std::vector<uint8_t> other = original;
        other[0] ^= 1;
        qvtest::WriteFileBytes(src + "/a.dat", original.data(), original.size());
        qvtest::WriteFileBytes(src + "/b_copy.dat", original.data(), original.size());
        qvtest::WriteFileBytes(src + "/c_lookalike.dat", lookAlike.data(), lookAlike.size());
        qvtest::WriteFileBytes(src + "/d_other.dat", other.data(), other.size());
        qvtest::WriteFileBytes(src + "/e_copy.dat", original.data(), original.size());
        DocumentPtr doc(image::NewIsoDocument());
        AddTree(doc.get(), doc->rootFolder, src);
        const std::string out = dir / "out.iso";
        ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
        const std::string listing = RunOk("isoinfo -J -l -i " + ShellQuote(out));
        std::map<std::string, std::string> extent;
        for (const char* name : {"a.dat", "b_copy.dat", "c_lookalike.dat", "d_other.dat", "e_copy.dat"}) {
            const size_t at = listing.find(std::string("]  ") + name + " ");
            ASSERT_NE(at, std::string::npos) << name << "\n" << listing;
            extent[name] = listing.substr(listing.rfind('[', at), at - listing.rfind('[', at));
        }
        EXPECT_EQ(extent["a.dat"], extent["b_copy.dat"]);
        EXPECT_EQ(extent["a.dat"], extent["e_copy.dat"]);
        EXPECT_NE(extent["a.dat"], extent["c_lookalike.dat"]);
        EXPECT_NE(extent["a.dat"], extent["d_other.dat"]);
        EXPECT_NE(extent["c_lookalike.dat"], extent["d_other.dat"]);
        RunOk("7z x -y -o" + ShellQuote(dir / "x") + " " + ShellQuote(out) + " >/dev/null");
        RunOk("diff -r " + ShellQuote(src) + " " + ShellQuote(dir / "x"));
    }
}

// Distinct files of one size are each read once by the search, not once for
// every other file of their size.
TEST_F(ImageSaveTest, TheIdenticalDataSearchReadsEachFileOnce) {
    constexpr int kFiles = 300;
    constexpr size_t kFileBytes = 4096;
    RunOk("mkdir -p " + ShellQuote(Src()));
    std::vector<uint8_t> bytes(kFileBytes);
    uint32_t x = 5;
    for (int i = 0; i < kFiles; ++i) {
        for (auto& b : bytes) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
        qvtest::WriteFileBytes(Src() + "/f" + std::to_string(i), bytes.data(), bytes.size());
    }
    DocumentPtr doc = NewDocumentFromSource();
    foundation::ProgressCallbacks progress;
    const pid_t worker = ::gettid();
    uint64_t searchStart = 0, searchEnd = 0;
    progress.NarrowStatus = [&] { searchStart = ThreadReadBytes(worker); };
    progress.WidenStatus = [&] { searchEnd = ThreadReadBytes(worker); };
    ASSERT_EQ(image::SaveImageFile(*doc, W(dir_ / "out.iso"), image::format_code::kIso, &progress), 1);
    ASSERT_GT(searchEnd, searchStart);
    // Once each is 1.2 MB; once per pair would be 360 MB.
    EXPECT_LT(searchEnd - searchStart, 2 * uint64_t(kFiles) * kFileBytes);
    EXPECT_GE(searchEnd - searchStart, uint64_t(kFiles) * kFileBytes);
}

// Two entries whose names differ only in case (a tree read from a case-
// sensitive file system can hold them) get distinct identifiers in both name
// spaces: Joliet names are compared without case by the systems reading them.
TEST_F(ImageSaveTest, NamesDifferingOnlyInCaseGetNumberedIdentifiers) {
    RunOk("mkdir -p " + ShellQuote(Src()) + " && cd " + ShellQuote(Src()) +
          " && echo lower > readme.txt && echo upper > README.TXT");
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "case.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    std::string iso = RunOk("isoinfo -l -i " + ShellQuote(out));
    EXPECT_NE(iso.find("]  README.TXT \n"), std::string::npos) << iso;
    EXPECT_NE(iso.find("]  README~0.TXT \n"), std::string::npos) << iso;
    std::string joliet = RunOk("isoinfo -J -l -i " + ShellQuote(out));
    const bool lowerKept = joliet.find("]  readme.txt \n") != std::string::npos;
    const std::string kept = lowerKept ? "readme.txt" : "README.TXT";
    const std::string renamed = lowerKept ? "README~0.TXT" : "readme~0.txt";
    EXPECT_NE(joliet.find("]  " + kept + " \n"), std::string::npos) << joliet;
    EXPECT_NE(joliet.find("]  " + renamed + " \n"), std::string::npos) << joliet;
    // Each name still holds its own file's bytes.
    RunOk("xorriso -osirrox on -indev " + ShellQuote(out) + " -extract / " + ShellQuote(dir_ / "x") + " 2>&1");
    RunOk("cmp " + ShellQuote(Src() + "/" + kept) + " " + ShellQuote(dir_ / ("x/" + kept)));
    RunOk("cmp " + ShellQuote(Src() + "/" + (lowerKept ? "README.TXT" : "readme.txt")) + " " +
          ShellQuote(dir_ / ("x/" + renamed)));
}

// Joliet forbids the control characters and * / : ; ? \ in names: they are
// saved as "_" (as genisoimage and xorriso save them), and names that became
// equal are numbered apart, so that isoinfo and 7z show every file under a
// name of its own. A file whose own name is the replaced form keeps it.
TEST_F(ImageSaveTest, JolietForbiddenCharactersAreReplacedAndNamesStayUnique) {
    const std::vector<std::string> names = {"a*b", "a:b", "a?b", "a\\b", "a\x01" "b", "a\x1f" "b", "a;b", "a_b"};
    RunOk("mkdir -p " + ShellQuote(Src() + "/dir:x"));
    for (size_t i = 0; i < names.size(); ++i) qvtest::WriteFileText(Src() + "/" + names[i], std::to_string(i) + "\n");
    qvtest::WriteFileText(Src() + "/dir:x/in?side.txt", "inside\n");
    DocumentPtr doc = NewDocumentFromSource();
    const std::string out = dir_ / "forbidden.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);

    const std::string paths = RunOk("isoinfo -J -f -i " + ShellQuote(out));
    EXPECT_NE(paths.find("/dir_x/in_side.txt\n"), std::string::npos) << paths;
    EXPECT_NE(paths.find("/a_b\n"), std::string::npos) << paths;
    std::set<std::string> seen;
    size_t at = 0;
    while (at < paths.size()) {
        const size_t end = paths.find('\n', at);
        const std::string path = paths.substr(at, end - at);
        at = end + 1;
        EXPECT_TRUE(seen.insert(path).second) << path;
        for (char c : path.substr(1)) EXPECT_TRUE(std::string("*:?;\\").find(c) == std::string::npos && c >= 0x20) << path;
    }
    EXPECT_EQ(seen.size(), names.size() + 2);
    // 7z takes the Joliet tree: every file comes back, each with its own bytes,
    // and the one named a_b on disk under that name.
    RunOk("7z x -y -o" + ShellQuote(dir_ / "x") + " " + ShellQuote(out) + " >/dev/null");
    auto text = [](const std::string& path) {
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text(dir_ / "x/a_b"), std::to_string(names.size() - 1) + "\n");
    EXPECT_EQ(text(dir_ / "x/dir_x/in_side.txt"), "inside\n");
    const std::string contents = RunOk("cat " + ShellQuote(dir_ / "x") + "/a_b* | sort -n | tr '\\n' ' '");
    EXPECT_EQ(contents, "0 1 2 3 4 5 6 7 ");
}

// With the 8.3 limit every ISO identifier is a name of up to 8 bytes and an
// extension of up to 3, upper case, blanks as "_", with a "~N" where a long
// name had to be cut; isovfy accepts it, and the Joliet names still give back
// the whole tree.
TEST_F(ImageSaveTest, EightDotThreeNamesPassIsovfyAndJolietKeepsTheTree) {
    MakeSource();
    DocumentPtr doc = NewDocumentFromSource();
    doc->isoNameLimit = 12;
    const std::string out = dir_ / "short.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    std::string vfy = RunOk("isovfy " + ShellQuote(out));
    EXPECT_NE(vfy.find("No errors found"), std::string::npos) << vfy;
    std::string listing = RunOk("isoinfo -l -i " + ShellQuote(out));
    const std::regex shortName("[A-Z0-9_~]{1,8}(\\.[A-Z0-9_]{1,3})?");   // "~N" numbers the clashes
    size_t names = 0, at = 0;
    while ((at = listing.find("]  ", at)) != std::string::npos) {
        at += 3;
        std::string name = listing.substr(at, listing.find(" \n", at) - at);
        if (name == "." || name == "..") continue;
        EXPECT_TRUE(std::regex_match(name, shortName)) << name;
        ++names;
    }
    EXPECT_GT(names, 300u);
    EXPECT_NE(listing.find("]  ENTR~100.TXT \n"), std::string::npos);
    RunOk("7z x -y -o" + ShellQuote(dir_ / "x") + " " + ShellQuote(out) + " >/dev/null");
    RunOk("diff -r -x 'semi*' " + ShellQuote(Src()) + " " + ShellQuote(dir_ / "x"));
}

// Thousands of names of one folder that cut to the same numbered form get
// the numbers 0, 1, 2, ... in list order, each once, in both name spaces
// (and in time linear in their count: each goes on from the last number).
TEST_F(ImageSaveTest, ManyNamesOfOneNumberedFormAreNumberedInTurn) {
    constexpr int kNames = 3000;
    image::DocumentPtr doc(image::NewIsoDocument());
    doc->isoNameLimit = 12;
    const std::u16string longStem(110, u'p');   // beyond the Joliet limit once ".jpg" is added
    for (int i = kNames - 1; i >= 0; --i) {     // linked at the head: the list ends in order 0, 1, ...
        image::ImageItem* item = image::NewItem();
        item->name = longStem + platform::Utf8ToUtf16(std::to_string(100000 + i) + ".jpg");
        image::LinkItemAtHead(doc->rootFolder, item);
    }
    // One file whose own name is a numbered form the others would take.
    image::ImageItem* squatter = image::NewItem();
    squatter->name = u"PPPPPP~5.JPG";
    image::LinkItemAtHead(doc->rootFolder, squatter);
    image::IsoLayout layout;
    image::LayoutError error = image::LayoutError::None;
    ASSERT_EQ(image::PrepareTreeForWrite(*doc, layout, nullptr, &error), 1);
    std::set<std::string> iso;
    std::set<std::u16string> joliet;
    std::vector<std::string> isoInOrder;
    for (const image::DirectoryRecord& r : layout.folders.front()->records) {
        if (r.kind != image::RecordKind::File) continue;
        EXPECT_TRUE(iso.insert(r.isoId).second) << r.isoId;
        EXPECT_TRUE(joliet.insert(platform::ToLower(r.jolietId)).second);
        EXPECT_LE(r.jolietId.size(), 110u);
        if (r.item != squatter) isoInOrder.push_back(r.isoId);
    }
    ASSERT_EQ(isoInOrder.size(), size_t(kNames));
    EXPECT_EQ(isoInOrder[0], "PPPPPP~0.JPG");
    EXPECT_EQ(isoInOrder[4], "PPPPPP~4.JPG");
    EXPECT_EQ(isoInOrder[5], "PPPPPP~6.JPG");   // ~5 is the other file's own name
    EXPECT_EQ(isoInOrder[8], "PPPPPP~9.JPG");
    EXPECT_EQ(isoInOrder[9], "PPPPP~10.JPG");
    EXPECT_EQ(isoInOrder[kNames - 1], "PPP~3000.JPG");
    EXPECT_TRUE(iso.count("PPPPPP~5.JPG"));
}

}  // namespace
