// The ISO pages' values without a window: the click rules, and the values
// stored into an opened image and written by the save engine, as isoinfo and
// xorriso read the result (labels, the further volume texts, Joliet on or off,
// volume and file dates).

#include "window/models/iso_settings.h"
#include "window/models/iso_dates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "app/open_document.h"
#include "app/save_engine.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using dialogs::IsoRuleClick;
using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(IsoSettings, ClickRules) {
    const struct {
        bool iso9660, joliet, udf;   // after the click
        IsoRuleClick click;
        bool wantIso9660, wantJoliet, wantUdf;
    } rows[] = {
        {false, true, false, IsoRuleClick::Iso9660, false, false, true},   // no ISO 9660: UDF carries the names
        {true, true, false, IsoRuleClick::Iso9660, true, true, false},
        {false, true, false, IsoRuleClick::Joliet, true, true, false},     // Joliet needs ISO 9660
        {false, false, true, IsoRuleClick::Joliet, false, false, true},
        {true, true, true, IsoRuleClick::Udf, true, false, true},          // UDF replaces Joliet
        {false, false, false, IsoRuleClick::Udf, true, false, false},      // without UDF ISO 9660 stays
    };
    for (const auto& row : rows) {
        dialogs::IsoFileSystemSettings s;
        s.iso9660 = row.iso9660;
        s.joliet = row.joliet;
        s.udf = row.udf;
        dialogs::ApplyIsoRule(s, row.click);
        EXPECT_EQ(s.iso9660, row.wantIso9660);
        EXPECT_EQ(s.joliet, row.wantJoliet);
        EXPECT_EQ(s.udf, row.wantUdf);
    }
}

class IsoSettingsSave : public ::testing::Test {
protected:
    IsoSettingsSave() {
        RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir src && echo one > src/longername.txt"
              " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V OLD -publisher PUB -o t.iso src");
        doc_.reset(app::OpenImageByPath(platform::Utf8ToUtf16(dir_ / "t.iso"), false, true, false));
    }
    std::string Saved(const std::string& name) {
        EXPECT_EQ(app::SaveDocument(*doc_, platform::Utf8ToUtf16(dir_ / name), -1, nullptr), 0);
        return RunOk("isoinfo -d -i " + ShellQuote(dir_ / name));
    }
    static bool Has(const std::string& text, const std::string& line) { return text.find(line) != std::string::npos; }

    qvtest::TempDir dir_;
    image::DocumentPtr doc_;
};

TEST_F(IsoSettingsSave, OnlyTheLabelCanBeWrittenInPlace) {
    ASSERT_TRUE(doc_);
    dialogs::IsoFileSystemSettings s = dialogs::GetIsoFileSystemSettings(*doc_);
    EXPECT_EQ(platform::Utf16ToUtf8(s.label), "OLD");
    EXPECT_TRUE(s.joliet);
    EXPECT_EQ(dialogs::SetIsoFileSystemSettings(*doc_, s), 0);
    EXPECT_EQ(doc_->modified, 0);
    s.label = u"NEWLABEL";
    EXPECT_EQ(dialogs::SetIsoFileSystemSettings(*doc_, s), 1);
    EXPECT_EQ(doc_->modified, 1);
    const std::string info = Saved("label.iso");
    EXPECT_TRUE(Has(info, "Volume id: NEWLABEL")) << info;
    EXPECT_TRUE(Has(info, "Joliet with UCS level 3")) << info;
}

TEST_F(IsoSettingsSave, FileSystemsAndMoreLabelsReachTheImage) {
    ASSERT_TRUE(doc_);
    dialogs::IsoFileSystemSettings s = dialogs::GetIsoFileSystemSettings(*doc_);
    s.joliet = false;
    s.isoNameLimit = 12;
    EXPECT_EQ(dialogs::SetIsoFileSystemSettings(*doc_, s), 2);
    EXPECT_EQ(doc_->modified, 2);
    const dialogs::MoreLabels initial = dialogs::GetMoreLabels(*doc_);
    EXPECT_EQ(platform::Utf16ToUtf8(initial[2]), "PUB");
    dialogs::MoreLabels labels = initial;
    labels[0] = u"LINUX";
    labels[1] = u"SETID";
    labels[2] = u"NEWPUB";
    labels[3] = u"PREPARER";
    labels[4] = u"APPLICATION";
    EXPECT_EQ(dialogs::SetMoreLabels(*doc_, initial, labels), 1);
    EXPECT_EQ(dialogs::SetMoreLabels(*doc_, labels, labels), 0);
    const std::string info = Saved("more.iso");
    EXPECT_TRUE(Has(info, "System id: LINUX")) << info;
    EXPECT_TRUE(Has(info, "Volume set id: SETID")) << info;
    EXPECT_TRUE(Has(info, "Publisher id: NEWPUB")) << info;
    EXPECT_TRUE(Has(info, "Data preparer id: PREPARER")) << info;
    EXPECT_TRUE(Has(info, "Application id: APPLICATION")) << info;
    EXPECT_TRUE(Has(info, "NO Joliet present")) << info;
    // DOS names in the ISO 9660 tree.
    const std::string names = RunOk("isoinfo -f -i " + ShellQuote(dir_ / "more.iso"));
    EXPECT_FALSE(Has(names, "LONGERNAME")) << names;
    EXPECT_EQ(names.find(".TXT") - names.find('/'), 9u) << names;   // eight characters, a dot, three
}

// UDF without Joliet takes the long names UDF needs, and does not count as a change.
TEST_F(IsoSettingsSave, UdfWithoutJolietTakesTheLongLimit) {
    ASSERT_TRUE(doc_);
    dialogs::IsoFileSystemSettings s = dialogs::GetIsoFileSystemSettings(*doc_);
    s.udf = true;
    s.joliet = false;
    EXPECT_EQ(dialogs::SetIsoFileSystemSettings(*doc_, s), 2);
    EXPECT_EQ(doc_->jolietNameLimit, 127);
    EXPECT_EQ(doc_->udfFlag, 1);
    EXPECT_EQ(doc_->jolietLevel, 0);
}

// Checked dates are stored; an unchecked creation date stays, an unchecked
// expiration date goes; "Set to:" dates every item.
TEST_F(IsoSettingsSave, DatesReachTheImage) {
    ASSERT_TRUE(doc_);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    doc_->expirationTime = 1800000000;
    const int64_t creationBefore = doc_->creationTime;
    dialogs::IsoDateSettings s = dialogs::GetIsoDateSettings(*doc_);
    EXPECT_TRUE(s.expirationOn);
    s.creationOn = false;
    s.creation = 1;
    s.modificationOn = true;
    s.modification = 1700000000;     // 2023-11-14 22:13:20
    s.effectiveOn = true;
    s.effective = 1600000000;        // 2020-09-13 12:26:40
    s.expirationOn = false;
    s.fileDates = dialogs::FileDates::SetTo;
    s.fileTime = 1500000000;         // 2017-07-14 02:40:00
    EXPECT_TRUE(dialogs::SetIsoDateSettings(*doc_, s));
    EXPECT_EQ(doc_->creationTime, creationBefore);
    EXPECT_EQ(doc_->expirationTime, 0);
    EXPECT_EQ(doc_->modified, 2);
    Saved("dated.iso");
    const std::string pvd = RunOk("xorriso -indev " + ShellQuote(dir_ / "dated.iso") + " -pvd_info 2>/dev/null");
    EXPECT_TRUE(Has(pvd, "Modif. Time  : 2023111422132000")) << pvd;
    EXPECT_TRUE(Has(pvd, "Eff. Time    : 2020091312264000")) << pvd;
    EXPECT_TRUE(Has(pvd, "Expir. Time  : 0000000000000000")) << pvd;
    const std::string listing = RunOk("isoinfo -l -i " + ShellQuote(dir_ / "dated.iso"));
    EXPECT_TRUE(Has(listing, "Jul 14 2017")) << listing;
    ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
