// The autostart entry checked by the desktop's own tools: desktop-file-validate
// accepts it and gio starts exactly the helper at each awkward path.

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "vdrive/autostart_entry.h"

namespace {

TEST(AutostartEntry, DesktopStartsTheHelperAtAnyPath) {
    const char* folders[] = {
        "plain",
        "o'neil",
        "cfg'$(id>INJECTED)'",
        "quote \" back\\slash `tick` $HOME",
        "spaces  and ; & | < >",
    };
    for (const char* folder : folders) {
        SCOPED_TRACE(folder);
        qvtest::TempDir dir;
        const std::string home = dir.path() + "/" + folder;
        ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
        const std::string helper = home + "/qvhelper";
        const std::string record = dir.path() + "/started";
        qvtest::WriteFileText(helper, "#!/bin/sh\nprintf '%s' \"$0\" > " + qvtest::ShellQuote(record) + "\n");
        ASSERT_EQ(chmod(helper.c_str(), 0700), 0);
        const auto text = vdrive::AutostartEntryText(helper);
        ASSERT_TRUE(text.has_value());
        const std::string entry = dir.path() + "/qvhelper.desktop";
        qvtest::WriteFileText(entry, *text);
        EXPECT_EQ(qvtest::RunOk("desktop-file-validate " + qvtest::ShellQuote(entry) + " 2>&1"), "");
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && timeout 20 gio launch " + qvtest::ShellQuote(entry) +
                      " && for i in $(seq 100); do [ -s started ] && break; sleep 0.05; done");
        std::ifstream in(record);
        std::stringstream started;
        started << in.rdbuf();
        EXPECT_EQ(started.str(), helper);
        struct stat st {};
        EXPECT_NE(stat((dir.path() + "/INJECTED").c_str(), &st), 0);
    }
}

// A literal per cent is "%%" (GLib looks for the program before it expands
// field codes, so gio cannot start such a path; the validator checks the form).
TEST(AutostartEntry, PerCentIsDoubled) {
    const auto text = vdrive::AutostartEntryText("/opt/q 100%/qvhelper");
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("Exec=\"/opt/q 100%%/qvhelper\"\n"), std::string::npos);
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir.path() + "/e.desktop", *text);
    EXPECT_EQ(qvtest::RunOk("desktop-file-validate " + qvtest::ShellQuote(dir.path() + "/e.desktop") + " 2>&1"), "");
}

TEST(AutostartEntry, PathWithALineBreakIsRefused) {
    EXPECT_FALSE(vdrive::AutostartEntryText("/home/a\nExec=/bin/evil/qvhelper").has_value());
    EXPECT_FALSE(vdrive::AutostartEntryText(std::string("/home/a\tb/qvhelper")).has_value());
}

}  // namespace
