#include "foundation/names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "foundation/messages_scripted.h"
#include "platform/last_error.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;

TEST(Names, CaseBlindOnlyForAsciiLetters) {
    EXPECT_TRUE(EqualNoCaseW(u'a', u'A'));
    EXPECT_TRUE(EqualNoCaseW(u'Z', u'z'));
    EXPECT_TRUE(EqualNoCaseW(u'1', u'1'));
    EXPECT_FALSE(EqualNoCaseW(u'\u00e9', u'\u00c9'));
    EXPECT_FALSE(EqualNoCaseW(u'[', u'{'));   // 0x5B and 0x7B differ by 0x20 but are no letters
}

TEST(Names, ReplaceAndTrim) {
    std::u16string text = u"a\\b\\c";
    ReplaceCharW(text, u'\\', u'/');
    EXPECT_EQ(text, u"a/b/c");
    std::string narrow = "name \t  ";
    TrimTrailingSpacesA(narrow);
    EXPECT_EQ(narrow, "name \t");
    StripTrailingBlanksA(narrow);
    EXPECT_EQ(narrow, "name");
    std::u16string wide = u"  name  ";
    TrimTrailingSpacesW(wide);
    EXPECT_EQ(wide, u"  name");
    wide = u"x\t ";
    StripTrailingBlanksW(wide);
    EXPECT_EQ(wide, u"x");
    wide = u"   ";
    TrimTrailingSpacesW(wide);
    EXPECT_EQ(wide, u"");
}

TEST(Names, ValidateFileNameRefusesTheNineCharacters) {
    ScriptedUiServices ui;
    ScopedServices<foundation::SetUiServices> installed(&ui);
    for (char16_t c : std::u16string(u"\\/:*?\"<>|")) {
        std::u16string name = u"a";
        name.push_back(c);
        name.append(u"b");
        EXPECT_FALSE(ValidateFileName(name)) << static_cast<int>(c);
    }
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 9u);
    EXPECT_EQ(boxes[0].request.text,
              u"A file name cannot contain any of the following characters:\r\n\r\n\t\\ / : * ? \" < > |");

    EXPECT_EQ(ValidateFileName(u"report  "), u"report");
    EXPECT_EQ(ValidateFileName(u" a b.iso "), u"a b.iso");
    EXPECT_EQ(ValidateFileName(u"\u00e9t\u00e9 \U0001F600.txt"), u"\u00e9t\u00e9 \U0001F600.txt");
    EXPECT_EQ(ui.Boxes().size(), 9u);
}

TEST(Names, ValidateFileNameRefusesNamesThatAreNoNames) {
    ScriptedUiServices ui;
    ScopedServices<foundation::SetUiServices> installed(&ui);
    const std::u16string refused[] = {u"", u"   ", u".", u"..", u" .. ", u"a\nb", std::u16string(u"a\0b", 3), u"\x1f"};
    for (const std::u16string& name : refused) EXPECT_FALSE(ValidateFileName(name)) << name.size();
    EXPECT_EQ(ui.Boxes().size(), std::size(refused));
    EXPECT_EQ(ValidateFileName(u"..."), u"...");
    EXPECT_EQ(ValidateFileName(u".hidden"), u".hidden");
}

TEST(Names, VolumeLabels) {
    EXPECT_EQ(DecodeLabelLinkName("My\\x20Disk"), u"My Disk");
    EXPECT_EQ(DecodeLabelLinkName("a\\x2fb\\xc3\\xa9"), u"a/b\u00e9");
    EXPECT_EQ(DecodeLabelLinkName("bad\\x2"), u"bad\\x2");
    std::u16string label = u"old";
    EXPECT_EQ(GetVolumeLabelText(u"/no/such/folder", label), -1);
    EXPECT_TRUE(label.empty());
    // A folder of label links that names no device of ours.
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "by-label") + " && ln -s /dev/null " +
                  qvtest::ShellQuote(dir / "by-label/NOTOURS"));
    const std::u16string root(dir.path().begin(), dir.path().end());
    EXPECT_EQ(GetVolumeLabelTextIn(dir / "by-label", root, label), -1);
}

TEST(Names, ImageDisplayName) {
    ImageNameFacts facts;
    facts.documentTitle = u"Untitled";
    EXPECT_EQ(GetImageDisplayName(facts), u"Untitled");
    facts.hasImage = true;
    facts.imagePath = u"/d/disc.bin";
    facts.sheetPath = u"/d/disc.cue";
    EXPECT_EQ(GetImageDisplayName(facts), u"/d/disc.bin");
    facts.openedThroughSheet = true;
    EXPECT_EQ(GetImageDisplayName(facts), u"/d/disc.cue");
    facts.driveLetter = u'E';
    EXPECT_EQ(GetImageDisplayName(facts), u"Drive [E:]");
}

TEST(Names, ImageTypeDescriptionTakesTheFirstRuleThatApplies) {
    struct Row {
        const char* name;
        ImageTypeFacts facts;
        const char16_t* expected;
    };
    auto facts = [](auto&& change) {
        ImageTypeFacts f;
        change(f);
        return f;
    };
    const Row rows[] = {
        {"archive", facts([](ImageTypeFacts& f) { f.formatCode = kFormatCodeArchive, f.archiveFormatName = u"7z"; }), u"7z Archive"},
        {"archive of unknown format", facts([](ImageTypeFacts& f) { f.formatCode = kFormatCodeArchive; }), u""},
        {"mzp", facts([](ImageTypeFacts& f) { f.formatCode = kFormatCodeMzp, f.hasUdf = true; }), u"Mountable Archive"},
        {"dmg", facts([](ImageTypeFacts& f) { f.formatCode = kFormatCodeDmg; }), u"Apple DMG File"},
        {"vdi", facts([](ImageTypeFacts& f) { f.diskBackEnd = DiskImageBackEnd::VirtualBox; }),
         u"VirtualBox Virtual Disk Image"},
        {"vhd", facts([](ImageTypeFacts& f) { f.diskBackEnd = DiskImageBackEnd::VirtualPc; }),
         u"Virtual PC Virtual Disk Image"},
        {"vmdk", facts([](ImageTypeFacts& f) { f.diskBackEnd = DiskImageBackEnd::VMware; }),
         u"VMWare Virtual Disk Image"},
        {"wim", facts([](ImageTypeFacts& f) { f.isWim = true, f.isXbox = true; }), u"Windows Imaging File"},
        {"xbox", facts([](ImageTypeFacts& f) { f.isXbox = true, f.hasUdf = true; }), u"XBOX DVD Image"},
        {"iso", facts([](ImageTypeFacts&) {}), u"CD/DVD/BD Image File"},
        {"iso with udf", facts([](ImageTypeFacts& f) { f.hasUdf = true; }), u"CD/DVD/BD Image File (UDF)"},
        {"daa with udf", facts([](ImageTypeFacts& f) { f.formatCode = 2, f.inCompressedContainer = true, f.hasUdf = true; }),
         u"Compressed CD/DVD/BD Image File (UDF)"},
    };
    for (const Row& row : rows) EXPECT_EQ(GetImageTypeDescription(row.facts), row.expected) << row.name;
}

}  // namespace

namespace {

// The label link of the device holding a folder, as udev makes them: a block
// device node whose number is the folder's st_dev. Making a device node needs
// root (CI runs as root); elsewhere the case is skipped.
TEST(Names, VolumeLabelOfTheDeviceHoldingAFolder) {
    qvtest::TempDir dir;
    struct stat folder {};
    ASSERT_EQ(stat(dir.path().c_str(), &folder), 0);
    const std::string node = dir / "device";
    if (geteuid() != 0 || mknod(node.c_str(), S_IFBLK | 0600, folder.st_dev) != 0)
        GTEST_SKIP() << "making a device node needs root";
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "by-label") + " && ln -s ../device " +
                  qvtest::ShellQuote(dir / "by-label/My\\x20Disk"));
    std::u16string label;
    const std::u16string root(dir.path().begin(), dir.path().end());
    ASSERT_EQ(GetVolumeLabelTextIn(dir / "by-label", root, label), 0);
    EXPECT_EQ(label, u"My Disk");
}

}  // namespace
