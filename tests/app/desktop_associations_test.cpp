// The program as the desktop's opener, in a private XDG_DATA_HOME and
// XDG_CONFIG_HOME: the types it takes are its defaults as xdg-mime and gio
// see them, its desktop entry passes desktop-file-validate, and giving the
// types back leaves mimeapps.list byte for byte as it was. A damaged store of
// earlier defaults and a mimeapps.list that is a link are refused with
// nothing written.

#include "app/desktop_associations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/settings.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class DesktopAssociationsTest : public ::testing::Test {
protected:
    DesktopAssociationsTest() {
        for (const char* sub : {"data", "config", "cfg", "bin"}) std::filesystem::create_directories(dir_ / sub);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("QV_CONFIG_DIR", (dir_ / "cfg").c_str(), 1);
        foundation::WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(dir_ / "bin"));
        qvtest::WriteFileText(mimeApps_, kEarlier);
        // The desktop only names programs that exist: ours, and the earlier
        // opener of .iso.
        qvtest::WriteFileText(dir_ / "bin/quendravine", "#!/bin/sh\n");
        std::filesystem::permissions(dir_ / "bin/quendravine", std::filesystem::perms::owner_all);
        std::filesystem::create_directories(dir_ / "data/applications");
        qvtest::WriteFileText(dir_ / "data/applications/org.gnome.FileRoller.desktop",
                              "[Desktop Entry]\nType=Application\nName=Archives\nExec=/bin/true %f\n"
                              "MimeType=application/x-quendravine-iso;\n");
    }
    ~DesktopAssociationsTest() override {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "QV_CONFIG_DIR"}) ::unsetenv(name);
    }

    std::string QueryDefault(const std::string& mime) {
        return qvtest::Run("XDG_CURRENT_DESKTOP=X-Generic xdg-mime query default " + mime + " 2>/dev/null").output;
    }

    static constexpr const char* kEarlier =
        "[Default Applications]\n"
        "application/x-quendravine-iso=org.gnome.FileRoller.desktop\n"
        "text/plain=gedit.desktop\n"
        "\n"
        "[Added Associations]\n"
        "text/plain=gedit.desktop;\n";
    qvtest::TempDir dir_;
    std::string mimeApps_ = dir_ / "config/mimeapps.list";
    app::DesktopAssociations associations_;
};

TEST_F(DesktopAssociationsTest, TakenTypesAreTheDesktopsAndGivenBackExactly) {
    const std::string before = dir_ / "before.list";
    RunOk("cp " + ShellQuote(mimeApps_) + " " + ShellQuote(before));
    for (const char* extension : {".iso", ".zip", ".7z"}) {
        SCOPED_TRACE(extension);
        EXPECT_FALSE(associations_.IsAssociated(platform::Utf8ToUtf16(extension)));
        ASSERT_TRUE(associations_.SetAssociation(platform::Utf8ToUtf16(extension), true));
        EXPECT_TRUE(associations_.IsAssociated(platform::Utf8ToUtf16(extension)));
        const std::string mime = app::AssociationMimeType(platform::Utf8ToUtf16(extension));
        EXPECT_EQ(QueryDefault(mime), "quendravine.desktop\n");
    }
    RunOk("desktop-file-validate " + ShellQuote(dir_ / "data/applications/quendravine.desktop"));
    RunOk("xmllint --noout " + ShellQuote(dir_ / "data/mime/packages/quendravine.xml"));
    // The desktop's own type detection knows our types by their names.
    RunOk("touch " + ShellQuote(dir_ / "disc.iso"));
    const std::string gio = qvtest::Run("gio mime application/x-quendravine-zip 2>&1").output;
    EXPECT_NE(gio.find("quendravine.desktop"), std::string::npos) << gio;
    // Taking a type twice keeps the first earlier default.
    ASSERT_TRUE(associations_.SetAssociation(u".iso", true));

    for (const char* extension : {".7z", ".iso", ".zip"}) ASSERT_TRUE(associations_.SetAssociation(platform::Utf8ToUtf16(extension), false));
    RunOk("cmp " + ShellQuote(before) + " " + ShellQuote(mimeApps_));
    EXPECT_EQ(QueryDefault("application/x-quendravine-iso"), "org.gnome.FileRoller.desktop\n");
    // A type the program does not hold is left to its opener.
    EXPECT_TRUE(associations_.SetAssociation(u".iso", false));
    RunOk("cmp " + ShellQuote(before) + " " + ShellQuote(mimeApps_));
}

TEST_F(DesktopAssociationsTest, DamagedStoreAndLinkedListAreRefused) {
    const std::string before = dir_ / "before.list";
    RunOk("cp " + ShellQuote(mimeApps_) + " " + ShellQuote(before));
    const std::string damaged = "application/x-quendravine-iso\nnot a line";
    ASSERT_TRUE(foundation::WriteSettingBinary(
        u"ConfExtData", {reinterpret_cast<const uint8_t*>(damaged.data()), damaged.size()}));
    EXPECT_FALSE(associations_.SetAssociation(u".zip", true));
    RunOk("cmp " + ShellQuote(before) + " " + ShellQuote(mimeApps_));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data/applications/quendravine.desktop"));

    ASSERT_TRUE(foundation::WriteSettingBinary(u"ConfExtData", {}));
    RunOk("mv " + ShellQuote(mimeApps_) + " " + ShellQuote(dir_ / "real.list") + " && ln -s ../real.list " +
          ShellQuote(mimeApps_));
    EXPECT_FALSE(associations_.SetAssociation(u".zip", true));
    EXPECT_TRUE(std::filesystem::is_symlink(mimeApps_));
    RunOk("cmp " + ShellQuote(before) + " " + ShellQuote(dir_ / "real.list"));
}

TEST_F(DesktopAssociationsTest, StatusTextAppliesThroughTheDesktop) {
    foundation::ScopedServices<foundation::SetFileAssociationServices> scope{&associations_};
    std::u16string flags(58, u'0');
    flags[5] = u'2';   // .iso
    flags[1] = u'2';   // .zip
    EXPECT_TRUE(foundation::ApplyAssociations(flags).empty());
    EXPECT_EQ(QueryDefault("application/x-quendravine-iso"), "quendravine.desktop\n");
    EXPECT_EQ(QueryDefault("application/x-quendravine-zip"), "quendravine.desktop\n");
    flags[5] = u'1';
    flags[1] = u'0';
    EXPECT_TRUE(foundation::ApplyAssociations(flags).empty());
    EXPECT_EQ(QueryDefault("application/x-quendravine-iso"), "org.gnome.FileRoller.desktop\n");
    EXPECT_EQ(QueryDefault("application/x-quendravine-zip"), "quendravine.desktop\n");
}

}  // namespace
