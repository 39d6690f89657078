// How the extension starts the window program as its mount helper: the
// command line a recording stand-in receives, the owner window's text, and
// what the start reports when the program fails or cannot be found.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/settings.h"
#include "platform/text.h"
#include "shellext/program_start.h"
#include "shellext/shell_extension.h"
#include "tests/support/test_support.h"

namespace {

using namespace shellext;

TEST(ShellProgramStart, OwnerWindowText) {
    EXPECT_EQ(OwnerWindowText(0x000A0B2C), u"2c0b0a00");
    EXPECT_EQ(OwnerWindowText(0), u"00000000");
    EXPECT_EQ(OwnerWindowText(uintptr_t(0x1234567890ABCDEFull)), u"efcdab90");
}

TEST(ShellProgramStart, MountCommandLineAndOutcome) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
    qvtest::RunOk("mkdir -m 700 " + qvtest::ShellQuote(dir / "run") + " && mkdir " + qvtest::ShellQuote(dir / "bin"));
    const std::string program = dir / "bin/quendravine";
    ASSERT_TRUE(foundation::WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(dir / "bin/")));
    EXPECT_EQ(GetMainProgramDir(), platform::Utf8ToUtf16(dir / "bin"));

    struct Case {
        const char* name;
        const char* exitCode;
        int expected;
    };
    for (const Case& c : {Case{"the program ends well without the event", "0", 0},
                          Case{"the program fails", "1", -1}}) {
        SCOPED_TRACE(c.name);
        qvtest::WriteFileText(program, std::string("#!/bin/sh\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done > \"$0.args\"\nexit ") +
                                           c.exitCode + "\n");
        qvtest::RunOk("chmod 755 " + qvtest::ShellQuote(program));
        SetOwnerWindow(0x000A0B2C);
        EXPECT_EQ(MountImageOnDrive(u'E', u"/images/a b\".iso"), c.expected);
        const std::string args = qvtest::RunOk("cat " + qvtest::ShellQuote(program + ".args"));
        const std::string head = "<-ii2><-hwnd><2c0b0a00><-evt><PE_";
        EXPECT_EQ(args.substr(0, head.size()), head) << args;
        EXPECT_EQ(args.substr(head.size() + 16), "><mount></images/a b\".iso><E:>") << args;
    }
    SetOwnerWindow(0);
    // No program where the install folder says: nothing starts, failure.
    qvtest::RunOk("rm " + qvtest::ShellQuote(program));
    EXPECT_EQ(MountImageOnDrive(u'E', u"/x.iso"), -1);
    // A drive the list does not have mounts nothing.
    EXPECT_FALSE(MountFileThroughMainProgram(3, u"/x.iso"));
    unsetenv("QV_CONFIG_DIR");
}

}  // namespace
