#include "foundation/drive_device_services.h"
#include "foundation/drive_handles.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <unistd.h>

#include <map>
#include <string>

#include "foundation/messages_scripted.h"
#include "foundation/messages_ui.h"
#include "foundation/optical_services.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;

// Counts the volume calls and refuses the lock when told to.
class FakeOptical final : public qvtest::NullOpticalServices {
public:
    int locks = 0, unlocks = 0, forced = 0;
    bool refuseLock = false;
    int LockAndDismountVolume(platform::FileHandle, int force) override {
        ++locks;
        if (force) ++forced;
        return refuseLock ? 0 : 1;
    }
    int UnlockVolume(platform::FileHandle) override { return ++unlocks, 1; }
};

// Each letter is the file of its lower-case name in a folder; Q has no drive.
struct FileDrives : foundation::IDriveDeviceServices {
    std::string base;
    std::u16string DevicePath(char16_t letter) override {
        std::string name(1, static_cast<char>(letter - u'A' + 'a'));
        if (name == "q") return u"";
        return platform::Utf8ToUtf16(base + "/" + name);
    }
};

class DriveTable : public ::testing::Test {
protected:
    void SetUp() override {
        ResetDriveTable();
        qvtest::WriteFileText(dir / "d", "drive D");
        qvtest::WriteFileText(dir / "e", "drive E");
        qvtest::WriteFileText(dir / "z", "drive Z");
        files.base = dir.path();
    }
    void TearDown() override {
        ResetDriveTable();
    }
    qvtest::TempDir dir;
    FileDrives files;
    foundation::ScopedServices<foundation::SetDriveDeviceServices> scopedFiles{&files};
    FakeOptical fake;
    foundation::ScopedServices<foundation::SetOpticalServices> scopedFake{&fake};
};

TEST_F(DriveTable, SharedHandleWithReferenceCount) {
    FileHandle first = OpenDriveHandle(u'D');
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(OpenDriveHandle(u'd'), first);   // lower case is the same drive
    EXPECT_NE(OpenDriveHandle(u'E'), first);
    EXPECT_EQ(CloseDriveHandle(first), 1);     // one holder left: still open
    EXPECT_EQ(OpenDriveHandle(u'D'), first);
    CloseDriveHandle(first);
    CloseDriveHandle(first);                   // the last holder closes it
    FileHandle again = OpenDriveHandle(u'D');
    ASSERT_NE(again, nullptr);
    CloseDriveHandle(again);
    EXPECT_EQ(CloseDriveHandle(nullptr), 0);
}

TEST_F(DriveTable, LettersOutsideTheTableAreRefused) {
    for (char16_t letter : {u'@', u'[', u'`', u'{', u'0', u'\0', char16_t(0xC4)}) {
        EXPECT_EQ(OpenDriveHandle(letter), nullptr) << int(letter);
    }
    // X to Z have entries of their own (the table covers A-Z).
    FileHandle z = OpenDriveHandle(u'z');
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(OpenDriveHandle(u'Z'), z);
    CloseDriveHandle(z);
    CloseDriveHandle(z);
    EXPECT_EQ(OpenDriveHandle(u'Q'), nullptr);   // a letter without a drive
}

TEST_F(DriveTable, LockAndUnlockCounts) {
    FileHandle d = OpenDriveHandle(u'D');
    struct Row {
        const char* step;
        int result;
        int expected;
        int locks;
        int unlocks;
    };
    std::vector<Row> rows;
    auto add = [&](const char* step, int result, int expected) {
        rows.push_back(Row{step, result, expected, fake.locks, fake.unlocks});
    };
    add("first lock", LockDriveHandle(d), 1);
    EXPECT_EQ(fake.locks, 1);
    add("second lock", LockDriveHandle(d), 1);
    EXPECT_EQ(fake.locks, 1);   // only the first lock reaches the volume
    add("unlock to 1", UnlockDriveHandle(d), 1);
    EXPECT_EQ(fake.unlocks, 0);
    add("unlock to 0", UnlockDriveHandle(d), 1);   // UnlockVolume's result
    EXPECT_EQ(fake.unlocks, 1);
    add("unlock at 0", UnlockDriveHandle(d), 0);
    add("not in table", UnlockDriveHandle(reinterpret_cast<FileHandle>(&fake)), -1);
    add("lock not in table", LockDriveHandle(reinterpret_cast<FileHandle>(&fake)), 0);
    for (const Row& row : rows) EXPECT_EQ(row.result, row.expected) << row.step;
    // Closing the last holder while locked unlocks the volume.
    LockDriveHandle(d);
    CloseDriveHandle(d);
    EXPECT_EQ(fake.unlocks, 2);
    EXPECT_EQ(fake.forced, 0);   // never a forced dismount
}

TEST_F(DriveTable, RefusedLockIsNeverForced) {
    fake.refuseLock = true;
    FileHandle d = OpenDriveHandle(u'D');
    EXPECT_EQ(LockDriveHandle(d), 0);
    EXPECT_EQ(fake.forced, 0);
    CloseDriveHandle(d);
    EXPECT_EQ(fake.unlocks, 0);
}

TEST_F(DriveTable, OpenAndLockAsksWhenRefused) {
    ScriptedUiServices ui;
    ScopedServices<foundation::SetUiServices> scoped(&ui);
    fake.refuseLock = true;
    // Without asking: the unlocked handle.
    FileHandle quiet = OpenAndLockDrive(u'D', false);
    ASSERT_NE(quiet, nullptr);
    CloseDriveHandle(quiet);
    EXPECT_TRUE(ui.Boxes().empty());
    // OK keeps the unlocked handle.
    ui.QueueBoxAnswer(kIdOk);
    FileHandle kept = OpenAndLockDrive(u'D', true);
    ASSERT_NE(kept, nullptr);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].request.text, u"Can't lock the drive for exclusive access.");
    EXPECT_EQ(ui.Boxes()[0].request.flags, 33u);
    CloseDriveHandle(kept);
    // Cancel closes it and gives null.
    ui.QueueBoxAnswer(kIdCancel);
    EXPECT_EQ(OpenAndLockDrive(u'D', true), nullptr);
    // Closed: a new open gets a fresh entry with one holder.
    FileHandle fresh = OpenDriveHandle(u'D');
    ASSERT_NE(fresh, nullptr);
    CloseDriveHandle(fresh);
    fake.refuseLock = false;
    FileHandle locked = OpenAndLockDrive(u'D', true);
    EXPECT_NE(locked, nullptr);
    EXPECT_EQ(ui.Boxes().size(), 2u);
    CloseDriveHandle(locked);
}

// A drive is opened without waiting for a medium (an empty or open tray
// must still answer its commands), and for reading and writing.
TEST_F(DriveTable, DrivesOpenWithoutWaitingForAMedium) {
    FileHandle d = OpenDriveHandle(u'D');
    ASSERT_NE(d, nullptr);
    const int flags = ::fcntl(platform::FileDescriptor(d), F_GETFL);
    EXPECT_NE(flags & O_NONBLOCK, 0);
    EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
    CloseDriveHandle(d);
}

// A device that refuses writing is opened read-only: a read-only file for an
// ordinary user; as root (who may write any file) a read-only sysfs attribute.
TEST_F(DriveTable, ReadOnlyDriveOpensReadOnly) {
    std::string readOnly = dir / "r";
    if (::geteuid() == 0) {
        readOnly = "/sys/devices/system/cpu/online";
        platform::FileHandle writable =
            platform::FileOpenUtf8(readOnly, platform::FileAccess::ReadWrite, platform::FileDisposition::OpenExisting);
        if (writable || !platform::FileExists(platform::Utf8ToUtf16(readOnly))) {
            platform::FileClose(writable);
            GTEST_SKIP() << "no file here refuses writing to root";
        }
    } else {
        qvtest::WriteFileText(readOnly, "drive R");
        qvtest::RunOk("chmod 0444 " + qvtest::ShellQuote(readOnly));
    }
    struct OneFile : foundation::IDriveDeviceServices {
        std::u16string path;
        std::u16string DevicePath(char16_t) override { return path; }
    } oneFile;
    oneFile.path = platform::Utf8ToUtf16(readOnly);
    foundation::ScopedServices<foundation::SetDriveDeviceServices> scoped{&oneFile};
    FileHandle r = OpenDriveHandle(u'R');
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(OpenDriveHandle(u'R'), r);
    CloseDriveHandle(r);
    CloseDriveHandle(r);
}

}  // namespace
