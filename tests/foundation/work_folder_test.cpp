#include "foundation/work_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "foundation/window_faces.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string Wide(const std::string& s) { return platform::Utf8ToUtf16(s); }
std::string Narrow(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Settings and temporary folders of the test's own.
class WorkFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        ResetWorkFolderForTests();
        ResetProcessStateForTests();
    }
    void TearDown() override {
        DeleteTempWorkFolder();
        ResetWorkFolderForTests();
        ResetProcessStateForTests();
        unsetenv("QV_CONFIG_DIR");
        unsetenv("TMPDIR");
    }
    qvtest::TempDir config_;
    qvtest::TempDir tmp_;
};

TEST_F(WorkFolderTest, CreateDirectoryPathMakesEveryFolderBeforeTheName) {
    qvtest::TempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(Wide(dir / "a/b/c/file.iso")));
    EXPECT_TRUE(Exists(dir / "a/b/c"));
    EXPECT_FALSE(Exists(dir / "a/b/c/file.iso"));
    EXPECT_TRUE(CreateDirectoryPath(Wide(dir / "a/b/c/")));
    EXPECT_EQ(OperationStatus.load(), kStatusNone);
}

// A folder cannot be made below a regular file, even by root (a read-only
// folder would not stop root).
TEST_F(WorkFolderTest, CreateDirectoryPathFailureSetsStatusAndText) {
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "file", "x");
    EXPECT_FALSE(CreateDirectoryPath(Wide(dir / "file/sub/x.iso")));
    EXPECT_EQ(OperationStatus.load(), kStatusCannotCreate);
    EXPECT_EQ(GetLastErrorText(), u"Can not create directory or file. The disk maybe full or read-only.");
}

TEST_F(WorkFolderTest, DeleteFolderTreeNeverFollowsLinks) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p outside/keep tree/a/b tree/c && echo 1 > outside/keep/file && echo 2 > outside/file"
          " && echo 3 > tree/a/b/f && echo 4 > tree/top && ln -s ../outside tree/a/linkdir"
          " && ln -s ../../outside/file tree/a/b/linkfile && ln -s /nonexistent tree/c/dangling");
    EXPECT_EQ(DeleteFolderTree(Wide(dir / "tree")), 0u);
    EXPECT_FALSE(Exists(dir / "tree"));
    EXPECT_TRUE(Exists(dir / "outside/keep/file"));
    EXPECT_TRUE(Exists(dir / "outside/file"));

    // A folder that is itself a link is not entered.
    RunOk("ln -s outside " + ShellQuote(dir / "linkroot"));
    EXPECT_EQ(DeleteFolderTree(Wide(dir / "linkroot")), 1u);
    EXPECT_TRUE(Exists(dir / "outside/keep/file"));
    EXPECT_EQ(DeleteFolderTree(Wide(dir / "missing")), 1u);
}

TEST_F(WorkFolderTest, DeleteFolderTreeKeepingFoldersEmptiesThem) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p t/a/b && touch t/x t/a/y t/a/b/z");
    EXPECT_EQ(DeleteFolderTree(Wide(dir / "t"), FolderRemoval::KeepFolders), 0u);
    EXPECT_TRUE(Exists(dir / "t/a/b"));
    EXPECT_FALSE(Exists(dir / "t/x"));
    EXPECT_FALSE(Exists(dir / "t/a/b/z"));
    // Deep trees go without recursion.
    std::string deep = dir / "d";
    for (int i = 0; i < 100; ++i) deep += "/n";
    RunOk("mkdir -p " + ShellQuote(deep) + " && touch " + ShellQuote(deep + "/f"));
    EXPECT_EQ(DeleteFolderTree(Wide(dir / "d")), 0u);
    EXPECT_FALSE(Exists(dir / "d"));
}

TEST_F(WorkFolderTest, WorkFolderIsPrivateAndPerProcess) {
    auto folder = PrepareTempWorkFolder();
    ASSERT_TRUE(folder);
    const std::string path = Narrow(*folder);
    EXPECT_EQ(path.substr(0, tmp_.path().size() + 15), tmp_.path() + "/$Quendravine$-");
    EXPECT_EQ(path.back(), '/');
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(PrepareTempWorkFolder(), folder);
    EXPECT_EQ(GetTempWorkFolder(), *folder);

    // Another copy of the program gets a folder of its own.
    ResetWorkFolderForTests();
    auto second = PrepareTempWorkFolder();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *folder);
    DeleteTempWorkFolder();
    EXPECT_FALSE(Exists(Narrow(*second)));
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(GetTempWorkFolder(), u"");
}

// Someone who planted "$Quendravine$" (a link to their folder, or a folder of
// their own) in the temporary folder gets nothing from it.
TEST_F(WorkFolderTest, PlantedWorkFolderNamesAreNotUsed) {
    qvtest::TempDir parent, elsewhere;
    RunOk("ln -s " + ShellQuote(elsewhere.path()) + " " + ShellQuote(parent / "$Quendravine$") + " && mkdir " +
          ShellQuote(parent / "$Quendravine$-AAAAAA") + " && chmod 777 " + ShellQuote(parent / "$Quendravine$-AAAAAA"));
    ASSERT_TRUE(WriteSettingString(u"TempFolder", Wide(parent.path())));
    auto folder = PrepareTempWorkFolder();
    ASSERT_TRUE(folder);
    const std::string path = Narrow(*folder);
    EXPECT_EQ(path.substr(0, parent.path().size() + 1), parent.path() + "/");
    EXPECT_NE(path, parent / "$Quendravine$/");
    EXPECT_NE(path, parent / "$Quendravine$-AAAAAA/");
    auto file = MakeTempFileName();
    ASSERT_TRUE(file);
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(elsewhere.path())), "");
    DeleteTempWorkFolder();
    EXPECT_TRUE(Exists(parent / "$Quendravine$"));
    EXPECT_TRUE(Exists(parent / "$Quendravine$-AAAAAA"));
}

TEST_F(WorkFolderTest, TemporaryFilesAreCreatedAndKept) {
    auto first = MakeTempFileName();
    auto second = MakeTempFileName();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->substr(0, GetTempWorkFolder().size()), GetTempWorkFolder());
    struct stat st {};
    ASSERT_EQ(lstat(Narrow(*first).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    qvtest::TempDir out;
    auto beside = MakeTempNameBeside(Wide(out / "target.iso"));
    ASSERT_TRUE(beside);
    EXPECT_EQ(Narrow(*beside).substr(0, out.path().size() + 1), out.path() + "/");
    EXPECT_TRUE(Exists(Narrow(*beside)));
    EXPECT_FALSE(MakeTempNameBeside(Wide(out / "missing/target.iso")));
}

class IconFace : public WindowFaces {
public:
    std::optional<std::u16string> OpenFileDialog(void*, const FileFilterList&, std::u16string_view,
                                                std::u16string_view) override { return std::nullopt; }
    std::optional<SaveAnswer> SaveFileDialog(const SaveDialogRequest&) override { return std::nullopt; }
    std::optional<std::u16string> BrowseForFolder(void*, std::u16string_view, std::u16string_view) override {
        return std::nullopt;
    }
    std::optional<std::u16string> TypeNameForFile(std::u16string_view) override { return std::nullopt; }
    std::optional<std::u16string> FolderTypeName() override { return std::nullopt; }
    int IconIndexForFile(std::u16string_view name) override {
        seenPath = Narrow(std::u16string(name));
        seenBytes = qvtest::ReadFileBytes(seenPath);
        return 42;
    }
    bool OpenWithChooser(std::u16string_view) override { return false; }
    bool AddTrayIcon(std::u16string_view) override { return false; }
    void SetTrayIconTip(std::u16string_view) override {}
    void RemoveTrayIcon() override {}
    std::string seenPath;
    std::vector<uint8_t> seenBytes;
};

TEST_F(WorkFolderTest, IconFilesAreWrittenAskedAndDeleted) {
    const uint8_t icon[] = {0, 0, 1, 0, 1, 0, 16, 16};
    EXPECT_EQ(RegisterIconFile(icon), -1);   // no window
    IconFace face;
    {
        ScopedServices<SetWindowFaces> faces(&face);
        EXPECT_TRUE(PrepareTempFolderAndIcon(icon));
    }
    EXPECT_EQ(GetDocumentIconIndex(), 42);
    EXPECT_EQ(face.seenPath.substr(face.seenPath.size() - 4), ".ico");
    EXPECT_EQ(face.seenBytes, std::vector<uint8_t>(std::begin(icon), std::end(icon)));
    EXPECT_FALSE(Exists(face.seenPath));
}

}  // namespace

namespace {

TEST_F(WorkFolderTest, ChangingTheTempFolderSettingMovesTheWorkFolder) {
    auto first = PrepareTempWorkFolder();
    ASSERT_TRUE(first);
    EXPECT_EQ(Narrow(*first).substr(0, tmp_.path().size() + 1), tmp_.path() + "/");
    qvtest::TempDir chosen;
    ASSERT_TRUE(WriteSettingString(u"TempFolder", Wide(chosen.path())));
    auto second = PrepareTempWorkFolder();
    ASSERT_TRUE(second);
    EXPECT_EQ(Narrow(*second).substr(0, chosen.path().size() + 1), chosen.path() + "/");
    EXPECT_FALSE(Exists(Narrow(*first)));
    // A setting naming a folder that cannot hold one falls back to $TMPDIR.
    ASSERT_TRUE(WriteSettingString(u"TempFolder", Wide(chosen / "missing")));
    auto third = PrepareTempWorkFolder();
    ASSERT_TRUE(third);
    EXPECT_EQ(Narrow(*third).substr(0, tmp_.path().size() + 1), tmp_.path() + "/");
    EXPECT_EQ(PrepareTempWorkFolder(), third);
}

}  // namespace
