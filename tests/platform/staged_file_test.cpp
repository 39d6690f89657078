// Files written beside their name and renamed over it: what a replaced file
// keeps, what a failure leaves, and a set of files that is replaced together
// or not at all.

#include "platform/staged_file.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

std::string ReadAll(const std::string& path) {
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteAll(int fd, const std::string& text) { return ::write(fd, text.data(), text.size()) == ssize_t(text.size()); }

// Everything in the folder, one name a line, sorted.
std::string Listing(const qvtest::TempDir& dir) {
    return qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && ls -A | sort");
}

mode_t UmaskNow() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

TEST(StagedFile, ReplacedFileKeepsModeOwnerAndGroupAndNewFileFollowsUmask) {
    qvtest::TempDir dir;
    struct Row {
        const char* name;
        bool existing;
        mode_t oldMode;
        uid_t oldOwner;
        gid_t oldGroup;
        mode_t newFileMode;
        mode_t writerMode;   // what the writer set on its file itself; 0 none
        mode_t expectedMode;
    };
    const mode_t mask = UmaskNow();
    const Row rows[] = {
        {"a private image stays private", true, 0600, ::geteuid(), ::getegid(), 0666, 0, 0600},
        {"another group's shared file", true, 0640, ::geteuid(), 1, 0666, 0, 0640},
        {"an executable stub stays executable", true, 0755, ::geteuid(), ::getegid(), 0666, 0, 0755},
        {"a new file: the caller's mode less the umask", false, 0, 0, 0, 0666, 0, mode_t(0666 & ~mask)},
        {"a new private store", false, 0, 0, 0, 0600, 0, mode_t(0600 & ~mask)},
        {"a new program keeps the mode its writer gave", false, 0, 0, 0, 0666, 0755, 0755},
        {"a program over a shared file runs for all", true, 0644, ::geteuid(), ::getegid(), 0666, 0755, 0755},
        {"a program over a private file runs for its owner", true, 0600, ::geteuid(), ::getegid(), 0666, 0755, 0700},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir / "image.iso";
        ::unlink(path.c_str());
        if (row.existing) {
            qvtest::WriteFileText(path, "old");
            ASSERT_EQ(::chmod(path.c_str(), row.oldMode), 0);
            // Only root gives a file to another group it is not in.
            if (row.oldGroup != ::getegid() && ::chown(path.c_str(), row.oldOwner, row.oldGroup) != 0)
                GTEST_SKIP() << "a group change needs root";
        }
        platform::StagedFile file;
        platform::StagedFileOptions options;
        options.newFileMode = row.newFileMode;
        ASSERT_TRUE(file.Begin(U16(path), options));
        // While it is written the copy is private, whatever it will become.
        struct stat temp {};
        ASSERT_EQ(::fstat(file.Fd(), &temp), 0);
        EXPECT_EQ(temp.st_mode & 07777, 0600u);
        ASSERT_TRUE(WriteAll(file.Fd(), "new"));
        if (row.writerMode != 0) {
            ASSERT_EQ(::fchmod(file.Fd(), row.writerMode), 0);
        }
        if (row.existing) {
            EXPECT_EQ(ReadAll(path), "old");
        }
        ASSERT_TRUE(file.Commit());
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(ReadAll(path), "new");
        EXPECT_EQ(st.st_mode & 07777, row.expectedMode);
        if (row.existing) {
            EXPECT_EQ(st.st_uid, row.oldOwner);
            EXPECT_EQ(st.st_gid, row.oldGroup);
        }
        EXPECT_EQ(Listing(dir), "image.iso\n");
    }
}

TEST(StagedFile, FailureAndAbandonLeaveTheTargetAsItWas) {
    qvtest::TempDir dir;
    const std::string path = dir / "sheet.cue";
    qvtest::WriteFileText(path, "old");
    {
        platform::StagedFile file;
        ASSERT_TRUE(file.Begin(U16(path)));
        ASSERT_TRUE(WriteAll(file.Fd(), "half"));
        // Two begun at once get two temporaries: no fixed name to collide on.
        platform::StagedFile other;
        ASSERT_TRUE(other.Begin(U16(path)));
        EXPECT_NE(file.TemporaryPathUtf8(), other.TemporaryPathUtf8());
        EXPECT_EQ(ReadAll(file.TemporaryPathUtf8()), "half");
        other.Abandon();
    }   // dropped uncommitted
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(Listing(dir), "sheet.cue\n");

    // A folder at the target: the rename fails and says so; nothing is left.
    ASSERT_EQ(::mkdir((dir / "taken").c_str(), 0700), 0);
    qvtest::WriteFileText(dir / "taken/inside", "x");
    platform::StagedFile file;
    ASSERT_TRUE(file.Begin(U16(dir / "taken")));
    ASSERT_TRUE(WriteAll(file.Fd(), "new"));
    EXPECT_FALSE(file.Commit());
    EXPECT_NE(platform::GetLastError(), platform::kErrorSuccess);
    EXPECT_EQ(ReadAll(dir / "taken/inside"), "x");
    EXPECT_EQ(Listing(dir), "sheet.cue\ntaken\n");

    // A missing folder is "path not found" unless the caller asked for it.
    EXPECT_FALSE(file.Begin(U16(dir / "new/sub/track.flac")));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    platform::StagedFileOptions options;
    options.createFolders = true;
    ASSERT_TRUE(file.Begin(U16(dir / "new/sub/track.flac"), options));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadAll(dir / "new/sub/track.flac"), "");
}

TEST(StagedFile, PlantedLinkIsReplacedNeverFollowed) {
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "victim", "keep");
    ASSERT_EQ(::chmod((dir / "victim").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((dir / "victim").c_str(), (dir / "out.wav").c_str()), 0);
    // In an open folder too, as extraction writes.
    const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    platform::StagedFile file;
    ASSERT_TRUE(file.BeginAt(folder, "out.wav"));
    EXPECT_EQ(file.TemporaryPathUtf8(), "");
    ASSERT_TRUE(WriteAll(file.Fd(), "new"));
    ASSERT_TRUE(file.Commit());
    ::close(folder);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "out.wav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    // The link's mode is no file's mode: the new file is an ordinary new one.
    EXPECT_EQ(st.st_mode & 07777, mode_t(0666 & ~UmaskNow()));
    EXPECT_EQ(ReadAll(dir / "out.wav"), "new");
    EXPECT_EQ(ReadAll(dir / "victim"), "keep");
}

// A set of volumes "v.1" .. "v.n" with the given contents.
void MakeSet(const qvtest::TempDir& dir, const std::vector<std::string>& contents) {
    for (size_t i = 0; i < contents.size(); ++i) qvtest::WriteFileText(dir / ("v." + std::to_string(i + 1)), contents[i]);
}

struct NewSet {
    std::vector<std::unique_ptr<platform::StagedFile>> files;
    std::vector<platform::StagedFile*> pointers;
};

NewSet BeginSet(const qvtest::TempDir& dir, size_t count) {
    NewSet set;
    for (size_t i = 0; i < count; ++i) {
        set.files.push_back(std::make_unique<platform::StagedFile>());
        EXPECT_TRUE(set.files.back()->Begin(U16(dir / ("v." + std::to_string(i + 1)))));
        EXPECT_TRUE(WriteAll(set.files.back()->Fd(), "new" + std::to_string(i + 1)));
        set.pointers.push_back(set.files.back().get());
    }
    return set;
}

TEST(StagedFileSet, FailedCommitPutsThePreviousSetBack) {
    qvtest::TempDir dir;
    MakeSet(dir, {"old1", "old2", "old3", "old4", "old5", "old6"});
    ASSERT_EQ(::chmod((dir / "v.2").c_str(), 0600), 0);
    // Volume 3's name is taken by a folder with something in it: the commit
    // fails after volumes 1 and 2 were moved aside.
    ::unlink((dir / "v.3").c_str());
    ASSERT_EQ(::mkdir((dir / "v.3").c_str(), 0700), 0);
    qvtest::WriteFileText(dir / "v.3/inside", "x");
    const std::string before = Listing(dir);
    NewSet set = BeginSet(dir, 4);
    const std::vector<std::u16string> trailing{U16(dir / "v.5"), U16(dir / "v.6")};
    EXPECT_FALSE(platform::CommitStagedSet(set.pointers, trailing));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(Listing(dir), before);
    for (int v : {1, 2, 4, 5, 6}) EXPECT_EQ(ReadAll(dir / ("v." + std::to_string(v))), "old" + std::to_string(v));
    EXPECT_EQ(ReadAll(dir / "v.3/inside"), "x");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "v.2").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(StagedFileSet, SuccessReplacesEveryVolumeAndDropsTheLongerSetsTail) {
    qvtest::TempDir dir;
    MakeSet(dir, {"old1", "old2", "old3", "old4", "old5", "old6"});
    ASSERT_EQ(::chmod((dir / "v.1").c_str(), 0600), 0);
    // A name of the set that was free before is simply taken.
    ::unlink((dir / "v.4").c_str());
    NewSet set = BeginSet(dir, 4);
    const std::vector<std::u16string> trailing{U16(dir / "v.5"), U16(dir / "v.6")};
    ASSERT_TRUE(platform::CommitStagedSet(set.pointers, trailing));
    EXPECT_EQ(Listing(dir), "v.1\nv.2\nv.3\nv.4\n");
    for (int v = 1; v <= 4; ++v) EXPECT_EQ(ReadAll(dir / ("v." + std::to_string(v))), "new" + std::to_string(v));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "v.1").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

}  // namespace
