// Drive letters to /dev/sr* devices, and a layout read by letter through the
// shared drive handles.

#include <gtest/gtest.h>

#include "foundation/drive_handles.h"
#include "image/sheets/track_list.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/drive_devices.h"
#include "soft_drive/soft_drive_fixture.h"
#include "tests/support/test_support.h"

namespace {

TEST(DriveDevices, LettersFollowTheDevicesInOrder) {
    qvtest::TempDir dir;
    qvtest::RunOk("touch " + dir / "sr0" + " " + dir / "sr1" + " " + dir / "sr3");
    struct Row {
        char16_t first;
        char16_t letter;
        std::string expected;
    } rows[] = {
        {u'D', u'D', dir / "sr0"}, {u'D', u'e', dir / "sr1"}, {u'D', u'F', ""},   // sr2 missing ends the list
        {u'D', u'C', ""},          {u'x', u'X', dir / "sr0"}, {u'#', u'D', dir / "sr0"},
    };
    for (const Row& row : rows) {
        optical::SrDriveDevices devices(row.first, dir.path());
        std::u16string expected(row.expected.begin(), row.expected.end());
        EXPECT_EQ(devices.DevicePath(row.letter), expected);
    }
}

TEST(DriveDevices, LayoutByLetterThroughTheSharedHandles) {
    qvtest::TempDir dir;
    qvtest::RunOk("touch " + dir / "sr0");
    optical::SrDriveDevices devices(u'D', dir.path());
    foundation::ScopedServices<foundation::SetDriveDeviceServices> scope(&devices);
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0010\ntrack mode=1 length=4000\n"));
    image::TrackList list;
    ASSERT_TRUE(optical::ReadDiscLayoutByLetter(u'D', list));
    EXPECT_EQ(list.mediaCode, optical::media::kDvdRom);
    EXPECT_EQ(list.trackCount, 1);
    EXPECT_EQ(list.tracks[0].length, 4000);
    EXPECT_FALSE(optical::ReadDiscLayoutByLetter(u'E', list));
    foundation::ResetDriveTable();
}

}  // namespace
