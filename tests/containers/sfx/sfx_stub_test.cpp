// A self-extracting archive end to end: saved with the stub program in front
// (the stub found in the install folder), then run as a program into a clean
// folder; what it extracts matches the source tree (diff -r), and the
// independent layout reader finds the archive behind the stub too.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "app/other_openers.h"
#include "app/save_engine.h"
#include "foundation/settings.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

TEST(SfxStub, ExtractsItsArchive) {
    treetest::TreeDocument faces;
    qvtest::TempDir dir;
    const std::string stub = std::string(QV_PROGRAM_DIR) + "/Quendravine.SFX";
    ASSERT_EQ(::access(stub.c_str(), X_OK), 0) << "the stub program is built with the programs";
    foundation::WriteSettingString(u"Install_Dir", U(QV_PROGRAM_DIR));
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p src/sub && seq 1 20000 > src/t.txt && head -c 300000 /dev/urandom > src/sub/r && : > src/e");
    app::InstallReaders();
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        RunOk("rm -rf " + ShellQuote(dir / "out") + " " + ShellQuote(dir / "s.exe"));
        image::DocumentPtr doc(image::NewMzpDocument());
        ASSERT_EQ(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(dir / "src"), nullptr), 1);
        doc->selfExtracting = 1;
        if (*password) {
            doc->passwordEnabled = 1;
            std::strcpy(doc->outputPassword.data(), password);
        }
        ASSERT_EQ(app::SaveDocument(*doc, U(dir / "s.mzp"), -1, nullptr), 0);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "s.exe").c_str(), &st), 0) << "the name takes the program extension";
        EXPECT_NE(st.st_mode & S_IXUSR, 0u);
        const std::string args = *password ? std::string(" --password ") + password : "";
        RunOk("cd / && " + ShellQuote(dir / "s.exe") + " " + ShellQuote(dir / "out") + args);
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir / "out") + " " + ShellQuote(dir / "src") + " && echo same"),
                  "same\n");
        RunOk("rm -rf " + ShellQuote(dir / "peer") + " && python3 " +
              ShellQuote(std::string(QV_TEST_SOURCE_DIR) + "/tests/containers/mzp/mzp_oracle.py") + " " +
              ShellQuote(dir / "s.exe") + " " + ShellQuote(dir / "peer") + " " + ShellQuote(password));
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir / "peer") + " " + ShellQuote(dir / "src") + " && echo same"),
                  "same\n");
    }
    // Without its password the stub extracts nothing and says so.
    EXPECT_NE(qvtest::Run(ShellQuote(dir / "s.exe") + " " + ShellQuote(dir / "none")).exitCode, 0);
    app::UninstallReaders();
}

}  // namespace
