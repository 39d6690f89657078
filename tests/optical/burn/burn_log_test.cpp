// The burn log sink: rows, status rows rewritten in place, the warning count,
// the percentage, and the space message.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "burn_test_support.h"
#include "foundation/optical_services.h"
#include "optical/burn/burn_log.h"
#include "optical/drive/drive_services.h"
#include "optical/scsi/drive_clock.h"

namespace optical {
namespace {

TEST(BurnLog, WarningsCountWithoutAFace) {
    const uint32_t before = BurnWarningCount();
    BurnLog(true, u"%s %d", u"lost", 3);
    BurnLog(false, u"%s", u"plain");
    EXPECT_EQ(BurnWarningCount(), before + 1);
}

TEST(BurnLog, StatusRowsAreRewrittenAndThrottled) {
    VirtualDriveClock clock;
    foundation::ScopedServices<SetDriveClock> scopedClock{&clock};
    clock.SleepMs(5000);
    burntest::ScopedFace log;
    ResetBurnLogForJob();
    std::vector<std::u16string> details;
    for (int i = 0; i < 100; ++i) details.push_back(u"file" + std::u16string(1, char16_t(u'A' + i % 26)));
    for (const std::u16string& d : details) BurnShowWritingStatus(false, d.c_str());
    clock.SleepMs(1500);
    BurnShowWritingStatus(false, details[5].c_str());
    BurnLogString(false, u"Between");
    BurnShowWritingStatus(false, details[6].c_str());
    const auto calls = log.face.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, 'A');
    EXPECT_EQ(calls[0].text, u"Writing media... fileA");
    EXPECT_EQ(calls[1].kind, 'R');
    EXPECT_EQ(calls[1].text, u"Writing media... fileF");
    EXPECT_EQ(calls[2].text, u"Between");
    EXPECT_EQ(calls[3].kind, 'A');
    EXPECT_EQ(calls[3].text, u"Writing media... fileG");
}

TEST(BurnLog, ARowIsRewrittenOnlyWhileItIsTheNewest) {
    burntest::ScopedFace log;
    const uint64_t row = BurnLogRow(true, u"first");
    EXPECT_TRUE(BurnLogReplaceRow(row, true, u"first, grown"));
    BurnLogString(false, u"other");
    EXPECT_FALSE(BurnLogReplaceRow(row, true, u"first, grown again"));
    const auto calls = log.face.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].text, u"first, grown");
    EXPECT_EQ(calls[2].text, u"other");
}

TEST(BurnLog, PercentageChangesOnlyOnce) {
    burntest::ScopedFace log;
    BurnSetProgress(0, 100);
    BurnSetProgress(50, 100);
    BurnSetProgress(50, 100);
    BurnSetProgress(250, 100);
    BurnSetProgress(int64_t(1) << 60, int64_t(1) << 61);
    EXPECT_EQ(log.face.progress, (std::vector<int>{0, 50, 100, 50}));
}

TEST(BurnLog, NotEnoughSpaceShowsMegabytes) {
    struct Row {
        uint32_t available, needed;
        const char16_t* text;
    } rows[] = {
        {1000, 1150, u"There is no enough free blocks on media (2.246M needed, 1.953M available)."},
        {1000, 1300, u"There is no enough free blocks on media (2.5M needed, 2.0M available)."},
    };
    for (const Row& r : rows) {
        burntest::ScopedFace log;
        BurnLogNotEnoughSpace(true, r.available, r.needed);
        const auto calls = log.face.Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].text, r.text);
        EXPECT_TRUE(calls[0].warning);
    }
}

// The image core's read problems reach the same rows once the drive
// services are installed.
TEST(BurnLog, LowerLayersLogThroughTheDriveServices) {
    DriveServices services;
    foundation::ScopedServices<foundation::SetOpticalServices> installed{&services};
    burntest::ScopedFace log;
    foundation::BurnLog(true, u"%s", u"Error reading image data.");
    const auto calls = log.face.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].warning);
    EXPECT_EQ(calls[0].text, u"Error reading image data.");
}

}  // namespace
}  // namespace optical

namespace optical {
namespace {

// Texts longer than the rows hold are cut, never inside a surrogate pair.
TEST(BurnLog, LongTextsAreCutOnCharacterBoundaries) {
    struct Row {
        const char* name;
        bool replace;
        size_t limit;
    } rows[] = {{"plain row", false, 8191}, {"rewritten row", true, 255}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        BurnLogRows sink;
        IBurnLogServices* previous = SetBurnLogServices(&sink);
        // A pair straddles the limit: its high half would be the last unit.
        std::u16string text(r.limit - 1, u'a');
        text += u"\U0001F600tail";
        BurnLogString(false, u"first");
        if (r.replace)
            BurnLogReplaceString(false, text);
        else
            BurnLogString(false, text);
        SetBurnLogServices(previous);
        const std::u16string got = sink.Rows().back().text;
        EXPECT_EQ(got, std::u16string(r.limit - 1, u'a'));
    }
}

}  // namespace
}  // namespace optical
