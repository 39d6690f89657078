// Archives as documents through the open entry, the extraction job and the
// save engine, checked against 7z, bsdtar, unzip and the source tree.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "app/save_engine.h"
#include "containers/archive/arc_open.h"
#include "containers/archive/zip_comment.h"
#include "foundation/operation_status.h"
#include "foundation/progress_log_services.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/containers/archive/arc_fixture.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

class LogLines : public foundation::IProgressLogServices {
public:
    void AddProgressLogLine(std::u16string_view line) override { log.push_back(platform::Utf16ToUtf8(line)); }
    std::vector<std::string> log;
};

class ArchiveDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        app::InstallReaders();
        RunOk("cd " + ShellQuote(dir_.path()) +
              " && mkdir -p src/sub/deep src/empty && printf 'hello\\n' > src/a.txt && : > src/zero.bin"
              " && head -c 1500000 /dev/urandom > src/sub/big.bin && echo deep > src/sub/deep/c.txt"
              " && echo é > 'src/sub/naïve name.txt'");
    }
    void TearDown() override { app::UninstallReaders(); }

    image::DocumentPtr Open(const std::string& path) {
        return image::DocumentPtr(app::OpenImageByPath(U(path), false, true, false));
    }
    int ExtractAll(image::ImageContext& doc, const std::string& dest) {
        app::ExtractRequest request;
        request.destination = U(dest);
        request.allFiles = true;
        return app::ExtractItems(&doc, doc.rootFolder, {}, request, nullptr);
    }
    std::string operator/(const std::string& name) const { return dir_ / name; }

    treetest::TreeDocument faces_;
    qvtest::TempDir dir_;
};

TEST_F(ArchiveDocumentTest, ExtractionMatchesBsdtar) {
    const struct {
        const char* name;
        const char* recipe;
    } rows[] = {
        {"a.zip", "cd src && zip -qr ../a.zip ."},
        {"a.7z", "cd src && 7z a -bd ../a.7z . >/dev/null"},
        {"solid.7z", "cd src && 7z a -bd -ms=on ../solid.7z . >/dev/null"},
        {"t.tar.gz", "tar -C src -cf t.tar . && gzip -n t.tar"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RunOk("cd " + ShellQuote(dir_.path()) + " && rm -rf ours peer && " + row.recipe);
        auto doc = Open(*this / row.name);
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->formatCode, image::format_code::kArchive);
        EXPECT_EQ(ExtractAll(*doc, *this / "ours"), 1);
        RunOk("mkdir " + ShellQuote(*this / "peer") + " && bsdtar -xf " + ShellQuote(*this / row.name) + " -C " +
              ShellQuote(*this / "peer"));
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(*this / "ours") + " " + ShellQuote(*this / "peer")), "");
    }
}

TEST_F(ArchiveDocumentTest, TraversalAndPlantedLinksStayInside) {
    // bsdtar writes the names as given (-P); a tar adds a link pointing out and
    // a file "through" it.
    qvtest::WriteFileText(*this / "l.py",
                          "import io, tarfile\n"
                          "t = tarfile.open('l.tar', 'w')\n"
                          "link = tarfile.TarInfo('out'); link.type = tarfile.SYMTYPE; link.linkname = '../..'\n"
                          "t.addfile(link)\n"
                          "data = b'planted'\n"
                          "f = tarfile.TarInfo('out/planted.txt'); f.size = len(data)\n"
                          "t.addfile(f, io.BytesIO(data))\n"
                          "t.close()\n");
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && echo x > f && bsdtar -cf t.zip --format zip -P -s ',^,../../,' f && python3 l.py");
    for (const char* name : {"t.zip", "l.tar"}) {
        SCOPED_TRACE(name);
        RunOk("rm -rf " + ShellQuote(*this / "dest") + " && mkdir -p " + ShellQuote(*this / "dest/in"));
        auto doc = Open(*this / name);
        ASSERT_TRUE(doc);
        ExtractAll(*doc, *this / "dest/in");
        // Nothing beside the chosen folder, and nothing written through a link.
        EXPECT_EQ(RunOk("cd " + ShellQuote(*this / "dest") + " && ls -A"), "in\n");
        EXPECT_EQ(RunOk("find " + ShellQuote(*this / "dest/in") + " -type l"), "");
        EXPECT_FALSE(platform::FileExists(U(dir_.path() + "/../planted.txt")));
    }
}

TEST_F(ArchiveDocumentTest, CrcErrorIsReportedAndLogged) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && printf 'some stored text here\\n' > f.txt && zip -q0 -X c.zip f.txt"
          " && printf Z | dd of=c.zip bs=1 seek=35 conv=notrunc 2>/dev/null");
    LogLines log;
    foundation::ScopedServices<foundation::SetProgressLogServices> dialogs{&log};
    auto doc = Open(*this / "c.zip");
    ASSERT_TRUE(doc);
    EXPECT_EQ(ExtractAll(*doc, *this / "out"), -1);
    EXPECT_NE(foundation::OperationStatus.load(), foundation::kStatusNone);
    ASSERT_FALSE(log.log.empty());
    EXPECT_EQ(log.log.back(), "Extracting f.txt ...    CRC failed!");
    // Never left under its name as if it were whole.
    EXPECT_FALSE(platform::FileExists(U(*this / "out/f.txt")));
}

// Saves through the engine, verified by the peers and by extracting the result.
TEST_F(ArchiveDocumentTest, SavedArchivesPassThePeers) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && cd src && 7z a -bd -ms=on ../opened.7z . >/dev/null");
    const struct {
        const char* name;
        bool fromDisk;
        const char* password;
        int64_t volumeSize;
    } rows[] = {
        {"n.zip", true, nullptr, 0},
        {"n.7z", true, nullptr, 0},
        {"u.zip", false, nullptr, 0},
        {"u.7z", false, nullptr, 0},
        {"p.zip", true, "secret", 0},
        {"p.7z", false, "secret", 0},
        {"v.zip", true, nullptr, 400000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        image::DocumentPtr doc;
        if (row.fromDisk) {
            doc.reset(image::NewArchiveDocument(std::string(row.name).ends_with(".7z") ? 2 : 1));
            ASSERT_TRUE(doc);
            ASSERT_GE(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(*this / "src"), nullptr), 0);
        } else {
            doc = Open(*this / "opened.7z");
            ASSERT_TRUE(doc);
        }
        if (row.password) std::strcpy(doc->outputPassword.data(), row.password);
        if (row.volumeSize) {
            doc->splitOutput = 1;
            doc->volumeSize = row.volumeSize;
        }
        const std::string out = *this / row.name;
        ASSERT_EQ(app::SaveDocument(*doc, U(out), -1, nullptr), 0);
        std::string first = out;
        if (row.volumeSize) {
            first = out + ".001";
            EXPECT_TRUE(platform::FileExists(U(out + ".004")));
            RunOk("cat " + ShellQuote(out) + ".0* > " + ShellQuote(*this / "joined.zip") + " && unzip -tq " +
                  ShellQuote(*this / "joined.zip"));
        }
        const std::string pw = row.password ? std::string(" -p") + row.password : std::string(" -p-");
        RunOk("7z t -bd" + pw + " " + ShellQuote(first));
        if (std::string(row.name).ends_with(".zip") && !row.volumeSize)
            RunOk(std::string("unzip -tq ") + (row.password ? "-P secret " : "") + ShellQuote(out));
        if (!row.password && !row.volumeSize) RunOk("bsdtar -tf " + ShellQuote(first) + " >/dev/null");
        RunOk("rm -rf " + ShellQuote(*this / "x") + " && 7z x -bd -y" + pw + " -o" + ShellQuote(*this / "x") + " " +
              ShellQuote(first) + " >/dev/null");
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(*this / "x") + " " + ShellQuote(*this / "src")), "");
        // And our own reader takes it back.
        doc.reset();
        int code = -1;
        image::DocumentPtr back(containers::archive::OpenArchiveAsImage(U(first), false, 0, &code));
        EXPECT_TRUE(back) << code;
    }
}

// The archive comment reaches a ZIP file's end record (unzip and 7z read it);
// a file that does not end in a bare end record
// is left as it was.
TEST_F(ArchiveDocumentTest, ZipCarriesTheComment) {
    image::DocumentPtr doc(image::NewArchiveDocument(1));
    ASSERT_TRUE(doc);
    ASSERT_GE(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(*this / "src"), nullptr), 0);
    doc->archiveComment = "first line\nsecond line";
    doc->archiveCommentPresent = 1;
    const std::string out = *this / "c.zip";
    ASSERT_EQ(app::SaveDocument(*doc, U(out), -1, nullptr), 0);
    EXPECT_NE(RunOk("unzip -z " + ShellQuote(out)).find("first line\nsecond line"), std::string::npos);
    RunOk("unzip -tq " + ShellQuote(out));
    EXPECT_NE(RunOk("7z l -slt " + ShellQuote(out)).find("Comment = \n{\nfirst line\nsecond line\n}"), std::string::npos);

    RunOk("printf 'not an archive, twenty-two bytes or more' > " + ShellQuote(*this / "plain.bin"));
    platform::FileHandle plain =
        platform::FileOpen(U(*this / "plain.bin"), platform::FileAccess::ReadWrite, platform::FileDisposition::OpenExisting);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(containers::archive::AppendZipComment(plain, "x"));
    platform::FileClose(plain);
    EXPECT_EQ(RunOk("cat " + ShellQuote(*this / "plain.bin")), "not an archive, twenty-two bytes or more");
}

}  // namespace

namespace {

using arctest::PasswordAnswer;

// The password of an encrypted source is asked before anything is written:
// refused, no file; given, the written archive reads back with it.
TEST_F(ArchiveDocumentTest, EncryptedSourceAsksBeforeTheSave) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && cd src && 7z a -bd -psecret ../enc.zip a.txt sub >/dev/null");
    {
        PasswordAnswer refuse(nullptr);
        arctest::ScopedAnswer dialogs{&refuse};
        auto doc = Open(*this / "enc.zip");
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->encryptionWanted, 1);
        const int asksAtOpen = refuse.asked;
        EXPECT_EQ(app::SaveDocument(*doc, U(*this / "out.zip"), -1, nullptr), -1);
        EXPECT_EQ(refuse.asked, asksAtOpen + 1);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
        EXPECT_FALSE(platform::FileExists(U(*this / "out.zip")));
    }
    PasswordAnswer give("secret");
    arctest::ScopedAnswer dialogs{&give};
    auto doc = Open(*this / "enc.zip");
    ASSERT_TRUE(doc);
    EXPECT_EQ(app::SaveDocument(*doc, U(*this / "out.7z"), -1, nullptr), 0);
    EXPECT_STREQ(doc->writePassword.data(), "secret");
    RunOk("7z x -bd -psecret -o" + ShellQuote(*this / "back") + " " + ShellQuote(*this / "out.7z") + " >/dev/null");
    EXPECT_EQ(RunOk("diff " + ShellQuote(*this / "back/a.txt") + " " + ShellQuote(*this / "src/a.txt")), "");
    // A document without an archive behind it drops the wish for encryption.
    image::DocumentPtr iso(image::NewIsoDocument());
    ASSERT_TRUE(iso);
    iso->encryptionWanted = 1;
    EXPECT_EQ(app::EnsureSavePassword(*iso), 1);
    EXPECT_EQ(iso->encryptionWanted, 0);
}

}  // namespace
