// MZP archives made by our writer from a shell-made tree: read back by our
// reader (extracted and compared with diff -r) and by an independent reader
// written from the documented layout (mzp_oracle.py: zlib, 7z -tlzma86 and
// the cryptography package), through every option that changes the layout.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "app/save_engine.h"
#include "containers/mzp/mzp_container.h"
#include "containers/mzp/container_install.h"
#include "containers/mzp/mzp_writer.h"
#include "foundation/file_io.h"
#include "foundation/operation_status.h"
#include "foundation/volume_set_services.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "image/sectors/sector_writers.h"
#include "image/sectors/writer_switches.h"
#include "platform/text.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

const std::string kOracle = std::string(QV_TEST_SOURCE_DIR) + "/tests/containers/mzp/mzp_oracle.py";

// Answers the password question with a fixed text, as the prompt would.
class PasswordAnswer final : public image::IPasswordServices {
public:
    std::string password;
    int asked = 0;
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        ++asked;
        if (password.empty()) return false;
        std::memset(ctx->outputPassword.data(), 0, ctx->outputPassword.size());
        std::memcpy(ctx->outputPassword.data(), password.data(), password.size());
        return true;
    }
};

class MzpRoundTrip : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures_ = new qvtest::TempDir;
        // Empty file, equal files, non-ASCII names (one outside the BMP),
        // compressible text, random data over several chunks, nested folders.
        RunOk("cd " + ShellQuote(fixtures_->path()) +
              " && mkdir -p src/sub/deeper src/empty-folder && : > src/empty && seq 1 60000 > src/text.txt"
              " && cp src/text.txt src/sub/same.txt && head -c 2300000 /dev/urandom > src/sub/random.bin"
              " && echo é > 'src/caf\xc3\xa9' && echo smile > 'src/\xf0\x9f\x98\x80.txt'"
              " && echo leaf > src/sub/deeper/leaf && TZ=UTC touch -d @0 src/text.txt");
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }
    void SetUp() override {
        app::InstallReaders();
        scopedDialogs_ = image::SetPasswordServices(&dialogs_);
    }
    void TearDown() override {
        image::SetPasswordServices(scopedDialogs_);
        app::UninstallReaders();
        image::ResetWriterSwitches();
        foundation::OverwriteAll = false;
    }
    static std::string Source() { return *fixtures_ / "src"; }

    image::DocumentPtr NewDocumentFromSource() {
        image::DocumentPtr doc(image::NewMzpDocument());
        EXPECT_TRUE(doc);
        EXPECT_EQ(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(Source()), nullptr), 1);
        return doc;
    }
    void ExpectOurReaderGivesSource(const std::string& archive) {
        image::DocumentPtr doc(app::OpenImageByPath(U(archive), false, true, false));
        ASSERT_TRUE(doc) << archive;
        EXPECT_EQ(doc->formatCode, image::format_code::kMzp);
        const std::string out = dir_ / "ours";
        app::ExtractRequest request;
        request.destination = U(out);
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr), 1);
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(out) + " " + ShellQuote(Source()) + " && echo same"), "same\n");
        RunOk("rm -rf " + ShellQuote(out));
    }
    void ExpectOracleGivesSource(const std::string& archive, const std::string& password) {
        const std::string out = dir_ / "oracle";
        RunOk("python3 " + ShellQuote(kOracle) + " " + ShellQuote(archive) + " " + ShellQuote(out) + " " +
              ShellQuote(password));
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(out) + " " + ShellQuote(Source()) + " && echo same"), "same\n");
        RunOk("rm -rf " + ShellQuote(out));
    }

    treetest::TreeDocument faces_;
    PasswordAnswer dialogs_;
    image::IPasswordServices* scopedDialogs_ = nullptr;
    qvtest::TempDir dir_;
    static qvtest::TempDir* fixtures_;
};
qvtest::TempDir* MzpRoundTrip::fixtures_ = nullptr;

TEST_F(MzpRoundTrip, EveryLayoutReadsBackByBothReaders) {
    struct Case {
        const char* name;
        int level;
        const char* password;
        bool split;
        bool tableAtEnd;
        bool compressTable;
        bool hoist;
        const char* comment;
        std::vector<std::string> files;   // what the save leaves in the folder
    };
    const std::string pw40(40, 'k');
    const Case cases[] = {
        {"level 0", 0, "", false, false, false, true, "", {"a.mzp"}},
        {"level 1, LZMA hoisted", 1, "", false, false, false, true, "", {"a.mzp"}},
        {"level 1, LZMA with its own headers", 1, "", false, false, false, false, "", {"a.mzp"}},
        {"level 2, 40-byte password", 2, pw40.c_str(), false, false, false, true, "", {"a.mzp"}},
        {"level 0, password and comment", 0, "secret", false, false, false, true, "made by the test", {"a.mzp"}},
        {"table at the end, compressed", 1, "", false, true, true, true, "", {"a.mzp"}},
        {"table at the end, plain", 1, "", false, true, false, true, "", {"a.mzp"}},
        {"three volumes", 0, "", true, false, false, true, "", {"a.part01.mzp", "a.part02.mzp", "a.part03.mzp"}},
        {"volumes with a password", 0, "pw", true, false, false, true, "", {"a.part01.mzp", "a.part02.mzp", "a.part03.mzp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOk("rm -f " + ShellQuote(dir_.path()) + "/*.mzp");
        image::DocumentPtr doc = NewDocumentFromSource();
        doc->compressionLevel = c.level;
        if (*c.password) {
            doc->passwordEnabled = 1;
            std::strncpy(doc->outputPassword.data(), c.password, doc->outputPassword.size() - 1);
        }
        if (c.split) {
            doc->splitOutput = 1;
            doc->volumeSize = 1 << 20;   // the random file alone needs a second volume
        }
        if (*c.comment) {
            doc->archiveComment = c.comment;
            doc->archiveCommentPresent = 1;
        }
        image::WriterSwitchE = c.tableAtEnd;
        image::WriterSwitchC = c.compressTable;
        image::WriterSwitchH = c.hoist;
        const app::DocumentWriter writer = app::GetDocumentWriter(image::format_code::kMzp);
        ASSERT_NE(writer, nullptr);
        ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "a.mzp"), -1, nullptr), 0) << foundation::OperationStatus.load();
        doc.reset();
        std::string expected;
        for (const std::string& f : c.files) expected += f + "\n";
        EXPECT_EQ(RunOk("cd " + ShellQuote(dir_.path()) + " && ls"), expected);
        const std::string first = dir_ / c.files[0];
        dialogs_.password = c.password;
        ExpectOurReaderGivesSource(first);
        ExpectOracleGivesSource(first, c.password);
        if (*c.comment) {
            image::DocumentPtr again(app::OpenImageByPath(U(first), false, true, false));
            ASSERT_TRUE(again);
            EXPECT_EQ(again->archiveComment, c.comment);
        }
    }
}

// Without the password the archive does not open; with a wrong one neither.
TEST_F(MzpRoundTrip, EncryptedArchiveNeedsItsPassword) {
    image::DocumentPtr doc = NewDocumentFromSource();
    doc->passwordEnabled = 1;
    std::strcpy(doc->outputPassword.data(), "right");
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "e.mzp"), -1, nullptr), 0);
    doc.reset();
    for (const char* given : {"", "wrong"}) {
        dialogs_.password = given;
        image::DocumentPtr opened(app::OpenImageByPath(U(dir_ / "e.mzp"), false, true, false));
        EXPECT_FALSE(opened) << given;
    }
    dialogs_.password = "right";
    ExpectOurReaderGivesSource(dir_ / "e.mzp");
}

// A set that would need a 100th volume with two-digit names stops at the
// 99th with the volume message; the caller's output set then drops them all.
TEST_F(MzpRoundTrip, HundredthVolumeFails) {
    class CountReports final : public qvtest::NullVolumeSetServices {
    public:
        int reports = 0;
        void ReportTooManyVolumes() override { ++reports; }
    } reports;
    foundation::ScopedServices<foundation::SetVolumeSetServices> scopedReports{&reports};
    image::DocumentPtr doc(image::NewMzpDocument());
    RunOk("head -c 600000 /dev/urandom > " + ShellQuote(dir_ / "r.bin"));
    ASSERT_NE(image::AddDiskItem(doc.get(), doc->rootFolder, U(dir_ / "r.bin"), u"r.bin"), nullptr);
    doc->splitOutput = 1;
    doc->volumeSize = 6000;   // about a hundred volumes' worth of data
    std::vector<std::string> opened;
    std::vector<foundation::UniqueFile> files;
    const int result = containers::SaveMzpArchive(*doc, U(dir_ / "v.mzp"), [&](std::u16string_view path) {
        opened.push_back(platform::Utf16ToUtf8(path));
        files.emplace_back(
            platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileDisposition::CreateAlways));
        return files.back().get();
    }, nullptr);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(opened.size(), 99u);
    EXPECT_EQ(reports.reports, 1);
    if (!opened.empty()) {
        EXPECT_EQ(opened.back(), dir_ / "v.part99.mzp");
    }
}

}  // namespace

// Chunks are compressed on several threads and written in order: the archive
// is the same bytes whatever the number of threads, and reads back as the
// files it was made from.
TEST_F(MzpRoundTrip, OutputIsTheSameOnAnyNumberOfThreads) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && mkdir -p tree && head -c 2500000 /dev/urandom > tree/r.bin"
          " && seq 1 200000 > tree/n.txt && xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null");
    struct Row {
        const char* name;
        int32_t level;
        bool hoist, tableAtEnd;
        const char* password;
        uint32_t threads;
    };
    const Row rows[] = {
        {"level 0 in several batches", 0, true, false, "", 3},
        {"level 1, LZMA header hoisted, table after the chunks", 1, true, true, "", 8},
        {"level 1, LZMA with its own headers and a password", 1, false, false, "pw", 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> files;
        for (const uint32_t threads : {1u, row.threads}) {
            image::SetChunkCompressionThreads(threads);
            image::ResetWriterSwitches();
            image::WriterSwitchH = row.hoist;
            image::WriterSwitchE = row.tableAtEnd;
            image::DocumentPtr doc = chunktest::Open(dir_ / "t.iso");
            ASSERT_TRUE(doc);
            doc->modified = 2;
            doc->compressionLevel = row.level;
            if (*row.password) {
                doc->passwordEnabled = 1;
                std::strncpy(doc->outputPassword.data(), row.password, doc->outputPassword.size() - 1);
            }
            files.push_back(dir_ / ("t" + std::to_string(threads) + ".mzp"));
            RunOk("rm -f " + ShellQuote(files.back()));
            ASSERT_EQ(app::SaveDocument(*doc, U(files.back()), -1, nullptr), 0) << foundation::OperationStatus.load();
        }
        image::SetChunkCompressionThreads(0);
        image::ResetWriterSwitches();
        EXPECT_EQ(RunOk("cmp " + ShellQuote(files[0]) + " " + ShellQuote(files[1]) + " && echo same"), "same\n");
        dialogs_.password = row.password;
        image::DocumentPtr back = chunktest::Open(files[1]);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->formatCode, image::format_code::kMzp);
        const std::string out = dir_ / "ours";
        app::ExtractRequest request;
        request.destination = U(out);
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(back.get(), back->rootFolder, {}, request, nullptr), 1);
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(out) + " " + ShellQuote(dir_ / "tree") + " && echo same"), "same\n");
        RunOk("rm -rf " + ShellQuote(out));
    }
}
