// WIM files made by wimlib-imagex (capture, append, update, split; every
// compression kind), opened through the program's open entry, listed against
// wimlib-imagex dir and extracted against wimlib-imagex apply through diff -r.

#include "filesystems/wim/wim_archive.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "filesystems/wim/wim_image_chooser_services.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/filesystems/wim/wim_fixtures.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using qvtest::RunOk;
using qvtest::ShellQuote;

class PickImage final : public filesystems::IWimImageChooserServices {
public:
    int pick = 0;
    int offered = 0;   // the image count of the last question, 0 none
    int ChooseWimImage(image::ImageContext*, int32_t count) override {
        offered = count;
        return pick;
    }
};

class WimArchiveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir;
        qvtest::MakeWimSourceTree(*dir_ / "src");
        RunOk("mkdir -p " + ShellQuote(*dir_ / "src2/other") + " && echo second > " + ShellQuote(*dir_ / "src2/other/f"));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        app::InstallReaders();
        foundation::ResetOperationStatus();
    }
    void TearDown() override { app::UninstallReaders(); }

    static std::string P(const std::string& name) { return *dir_ / name; }
    DocumentPtr Open(const std::string& path) {
        return DocumentPtr(app::OpenImageByPath(platform::Utf8ToUtf16(path), false, true, false));
    }
    // Our listing of the open image against wimlib-imagex dir of that image.
    void ExpectListing(image::ImageContext& doc, const std::string& wim, int image, const std::string& ref = "") {
        const std::string listed = RunOk("wimlib-imagex dir " + ShellQuote(wim) + " " + std::to_string(image) + ref);
        EXPECT_EQ(qvtest::ListDocument(doc), qvtest::SortedLines(listed)) << wim << " image " << image;
    }
    // Our extraction of every file against wimlib-imagex apply.
    void ExpectExtraction(image::ImageContext& doc, const std::string& wim, int image, const std::string& name,
                          const std::string& ref = "") {
        const std::string ours = P("ours_" + name), theirs = P("theirs_" + name);
        EXPECT_EQ(qvtest::ExtractDocument(doc, ours), 0) << name;
        RunOk("wimlib-imagex apply " + ShellQuote(wim) + " " + std::to_string(image) + " " + ShellQuote(theirs) + ref +
              " >/dev/null");
        const qvtest::CommandResult diff = qvtest::Run("diff -r " + ShellQuote(ours) + " " + ShellQuote(theirs));
        EXPECT_EQ(diff.exitCode, 0) << name << "\n" << diff.output;
    }

    static qvtest::TempDir* dir_;
    PickImage chooser_;
    foundation::ScopedServices<filesystems::SetWimImageChooserServices> scopedDialogs_{&chooser_};
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi_{&ui_};
};
qvtest::TempDir* WimArchiveTest::dir_ = nullptr;

// Every compression kind the reader takes: the same tree lists and extracts
// as wimlib sees it, and no image question is asked for a single image.
TEST_F(WimArchiveTest, EachCompressionListsAndExtractsAsWimlib) {
    for (const std::string kind : {"none", "XPRESS", "LZX"}) {
        const std::string wim = P("tree_" + kind + ".wim");
        RunOk("wimlib-imagex capture " + ShellQuote(P("src")) + " " + ShellQuote(wim) + " one --compress=" + kind +
              " >/dev/null");
        chooser_.offered = 0;
        DocumentPtr doc = Open(wim);
        ASSERT_TRUE(doc) << kind;
        EXPECT_EQ(doc->formatCode, image::format_code::kWim);
        EXPECT_EQ(doc->readOnly, 1);
        EXPECT_EQ(chooser_.offered, 0);
        ASSERT_TRUE(doc->wimState);
        EXPECT_EQ(doc->wimState->imageCount, 1);
        ExpectListing(*doc, wim, 1);
        ExpectExtraction(*doc, wim, 1, kind);
        // Sizes as the stream's, an empty file as size 0.
        const image::ImageItem* fox = image::FindItemByPath(
            doc.get(), doc->rootFolder, u"docs/deep/1/2/3/4/5/6/7/8/9/10/11/12/fox");
        ASSERT_TRUE(fox);
        EXPECT_EQ(fox->size, 70000);
        const image::ImageItem* empty = image::FindItemByPath(doc.get(), doc->rootFolder, u"empty");
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->size, 0);
    }
}

// Extractions running at once share the decoding threads: two documents of
// the same WIM, one decoding on three threads and one on every core, each
// extracted on its own thread, both come out as wimlib applies the image.
TEST_F(WimArchiveTest, ExtractionsAtOnceShareTheDecodingThreads) {
    for (const std::string kind : {"XPRESS", "LZX"}) {
        const std::string src = P("shared_src_" + kind), wim = P("shared_" + kind + ".wim");
        RunOk("mkdir -p " + ShellQuote(src) + " && cd " + ShellQuote(src) +
              " && { seq 1 200000; head -c 2000000 /usr/bin/cmake; } > big && head -c 1500000 /dev/urandom > noise"
              " && seq 1 5000 > small");
        RunOk("wimlib-imagex capture " + ShellQuote(src) + " " + ShellQuote(wim) + " x --compress=" + kind +
              " >/dev/null");
        const std::string theirs = P("shared_theirs_" + kind);
        RunOk("wimlib-imagex apply " + ShellQuote(wim) + " 1 " + ShellQuote(theirs) + " >/dev/null");
        DocumentPtr docs[2] = {Open(wim), Open(wim)};
        ASSERT_TRUE(docs[0] && docs[1]) << kind;
        docs[0]->wimState->decodeThreads = 3;
        docs[1]->wimState->decodeThreads = 0;
        int failed[2] = {-1, -1};
        std::thread second([&] { failed[1] = qvtest::ExtractDocument(*docs[1], P("shared_ours1_" + kind)); });
        failed[0] = qvtest::ExtractDocument(*docs[0], P("shared_ours0_" + kind));
        second.join();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(failed[i], 0) << kind << " " << i;
            const qvtest::CommandResult diff =
                qvtest::Run("diff -r " + ShellQuote(P("shared_ours" + std::to_string(i) + "_" + kind)) + " " +
                            ShellQuote(theirs));
            EXPECT_EQ(diff.exitCode, 0) << kind << " " << i << "\n" << diff.output;
        }
    }
}

// Images are numbered as wimlib numbers them (lookup-table order), also after
// an update rewrote the first image's metadata at the end of the file; the
// number chosen is the image's own.
TEST_F(WimArchiveTest, SeveralImagesAreChosenByTheirOwnNumber) {
    const std::string wim = P("multi.wim");
    RunOk("wimlib-imagex capture " + ShellQuote(P("src")) + " " + ShellQuote(wim) + " first --compress=LZX >/dev/null");
    RunOk("wimlib-imagex append " + ShellQuote(P("src2")) + " " + ShellQuote(wim) + " second >/dev/null");
    RunOk("echo added > " + ShellQuote(P("added.txt")) + " && echo 'add " + P("added.txt") + " /added.txt' | " +
          "wimlib-imagex update " + ShellQuote(wim) + " 1 >/dev/null");
    for (int image : {1, 2}) {
        chooser_.pick = image - 1;
        DocumentPtr doc = Open(wim);
        ASSERT_TRUE(doc) << image;
        EXPECT_EQ(chooser_.offered, 2);
        EXPECT_EQ(doc->wimState->chosenImage, image);
        ExpectListing(*doc, wim, image);
        ExpectExtraction(*doc, wim, image, "multi" + std::to_string(image));
    }
    // Declining the question cancels the open.
    chooser_.pick = -1;
    EXPECT_FALSE(Open(wim));
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    EXPECT_TRUE(ui_.Boxes().empty());
}

// A split set opens from its first part and reads each stream from the part
// that holds it; a later part cannot be opened on its own.
TEST_F(WimArchiveTest, SplitSetReadsEveryPart) {
    const std::string wim = P("big.wim");
    RunOk("mkdir -p " + ShellQuote(P("bigsrc")) + " && head -c 3000000 /dev/urandom > " + ShellQuote(P("bigsrc/r1")) +
          " && head -c 2500000 /dev/urandom > " + ShellQuote(P("bigsrc/r2")) + " && cp -r " + ShellQuote(P("src")) + " " +
          ShellQuote(P("bigsrc/tree")));
    RunOk("wimlib-imagex capture " + ShellQuote(P("bigsrc")) + " " + ShellQuote(wim) + " big --compress=XPRESS >/dev/null");
    RunOk("wimlib-imagex split " + ShellQuote(wim) + " " + ShellQuote(P("big.swm")) + " 2 >/dev/null");
    ASSERT_EQ(qvtest::Run("test -e " + ShellQuote(P("big3.swm"))).exitCode, 0);
    DocumentPtr doc = Open(P("big.swm"));
    ASSERT_TRUE(doc);
    EXPECT_GE(doc->wimState->parts.size(), 3u);
    const std::string ref = " --ref=" + ShellQuote(P("big*.swm"));
    ExpectListing(*doc, P("big.swm"), 1, ref);
    ExpectExtraction(*doc, P("big.swm"), 1, "split", ref);
    EXPECT_FALSE(Open(P("big2.swm")));
    // A missing part fails the open.
    RunOk("mv " + ShellQuote(P("big3.swm")) + " " + ShellQuote(P("big3.moved")));
    EXPECT_FALSE(Open(P("big.swm")));
    RunOk("mv " + ShellQuote(P("big3.moved")) + " " + ShellQuote(P("big3.swm")));
}

// What the reader does not take is refused cleanly: 64 KB chunks, solid
// resources and LZMS compression.
TEST_F(WimArchiveTest, UnsupportedLayoutsAreRefused) {
    const struct {
        const char* name;
        const char* options;
    } rows[] = {
        {"chunk size 65536", "--compress=LZX --chunk-size=65536"},
        {"solid", "--solid"},
        {"LZMS", "--compress=LZMS"},
    };
    for (const auto& row : rows) {
        const std::string wim = P(std::string("refused_") + std::to_string(&row - rows) + ".wim");
        RunOk("wimlib-imagex capture " + ShellQuote(P("src2")) + " " + ShellQuote(wim) + " x " + row.options +
              " >/dev/null");
        EXPECT_FALSE(Open(wim)) << row.name;
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed) << row.name;
    }
}

// A file with a named stream (captured from an NTFS volume) does not hide
// the entry after it, and its data is the unnamed stream's.
TEST_F(WimArchiveTest, NamedStreamsAreSkipped) {
    const std::string img = P("n.img"), wim = P("ntfs.wim");
    RunOk("truncate -s 8M " + ShellQuote(img) + " && mkntfs -q -F -f " + ShellQuote(img) + " >/dev/null");
    RunOk("cd " + ShellQuote(dir_->path()) + " && echo main data > a && echo hidden stream > s && echo bee > b" +
          " && ntfscp " + ShellQuote(img) + " a a && ntfscp -N ads " + ShellQuote(img) + " s a && ntfscp " +
          ShellQuote(img) + " b b && ntfscp " + ShellQuote(img) + " b c");
    RunOk("wimlib-imagex capture " + ShellQuote(img) + " " + ShellQuote(wim) + " ntfs --compress=LZX >/dev/null");
    DocumentPtr doc = Open(wim);
    ASSERT_TRUE(doc);
    ExpectListing(*doc, wim, 1);
    const image::ImageItem* a = image::FindItemByPath(doc.get(), doc->rootFolder, u"a");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size, 10);
    ASSERT_TRUE(image::FindItemByPath(doc.get(), doc->rootFolder, u"b"));
    ASSERT_TRUE(image::FindItemByPath(doc.get(), doc->rootFolder, u"c"));
    const std::string out = P("ads_a");
    foundation::UniqueFile file(foundation::CreateNewFile(platform::Utf8ToUtf16(out)));
    ASSERT_EQ(filesystems::ExtractWimFile(nullptr, doc.get(), a, file.get()), 1);
    file.reset();
    EXPECT_EQ(qvtest::ReadFileBytes(out), qvtest::ReadFileBytes(P("a")));
}

TEST(WimImageChooser, StandInChoosesNothing) {
    platform::SetLastError(0);
    EXPECT_EQ(filesystems::WimImageChooserServices().ChooseWimImage(nullptr, 3), -1);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);
}

}  // namespace
