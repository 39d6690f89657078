// The readers' installers each own their own slots of the image core, so the
// program and tests may install them more than once and in either order and
// every format still opens through its own reader. The MZP/XDI readers once
// wrapped whatever was installed before them: a second install wrapped
// itself and detection called itself until the stack overflowed, and the
// container readers installed after them silently dropped MZP and XDI.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "app/save_engine.h"
#include "containers/container_readers.h"
#include "filesystems/filesystem_readers.h"
#include "image/build/add_disk_files.h"
#include "image/detect/filesystem_services.h"
#include "image/detect/format_detect_services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/open_reader_services.h"
#include "image/sectors/container_services.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

class ReaderInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures_ = new qvtest::TempDir;
        const qvtest::TempDir& d = *fixtures_;
        RunOk("cd " + ShellQuote(d.path()) +
              " && mkdir -p src/sub && seq 1 20000 > src/text.txt && head -c 300000 /dev/urandom > src/sub/r.bin"
              " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -V INSTALL -o t.iso src");
        // MZP and XDI have no peer that writes them: our writer makes them
        // from the same tree (their own tests check the writer against an
        // independent reader).
        treetest::TreeDocument faces;
        app::InstallReaders();
        for (const char* name : {"t.mzp", "t.xdi"}) {
            image::DocumentPtr doc(image::NewIsoDocument());
            ASSERT_EQ(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(d / "src"), nullptr), 1);
            ASSERT_EQ(app::SaveDocument(*doc, U(d / name), -1, nullptr), 0) << name;
        }
        app::UninstallReaders();
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }

    // Opens the file, expects its format, extracts it and compares the tree.
    void ExpectOpensAs(const std::string& name, int32_t format) {
        SCOPED_TRACE(name);
        const qvtest::TempDir& d = *fixtures_;
        image::DocumentPtr doc(app::OpenImageByPath(U(d / name), false, true, false));
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->formatCode, format);
        app::ExtractRequest request;
        request.destination = U(out_ / name);
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr), 1);
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(out_ / name) + " " + ShellQuote(d / "src") + " && echo same"),
                  "same\n");
    }

    treetest::TreeDocument faces_;
    qvtest::TempDir out_;
    static qvtest::TempDir* fixtures_;
};
qvtest::TempDir* ReaderInstall::fixtures_ = nullptr;

void Containers() { containers::InstallContainerReaders(); }
void Filesystems() { filesystems::InstallFilesystemReaders(); }
void Readers() { app::InstallReaders(); }

TEST_F(ReaderInstall, TwiceAndInEitherOrderEachFormatOpensByItsReader) {
    struct Row {
        const char* name;
        std::vector<void (*)()> installs;
    };
    const Row rows[] = {
        {"the program's readers twice", {Readers, Readers}},
        {"containers first, each twice", {Containers, Filesystems, Containers, Filesystems}},
        {"file systems first, each twice", {Filesystems, Containers, Containers, Filesystems}},
        {"containers again over the program's readers", {Readers, Containers, Filesystems}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (void (*install)() : row.installs) install();
        ExpectOpensAs("t.iso", image::format_code::kIso);
        ExpectOpensAs("t.mzp", image::format_code::kMzp);
        ExpectOpensAs("t.xdi", image::format_code::kXdi);
        RunOk("rm -rf " + ShellQuote(out_.path()) + "/*");

        // One uninstall gives every slot back to the image core, whatever
        // was installed how often.
        app::UninstallReaders();
        EXPECT_EQ(image::FormatDetectServicesSlot().Installed(), nullptr);
        EXPECT_EQ(image::FilesystemServicesSlot().Installed(), nullptr);
        EXPECT_EQ(image::OpenReaderServicesSlot().Installed(), nullptr);
    }
}

}  // namespace
