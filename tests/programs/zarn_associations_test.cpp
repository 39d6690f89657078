// The elevated run the General options page starts ("-ii1 -vset") applies the
// stored wish to the desktop: after it, xdg-mime names the program as the
// opener of the types asked for, and a second wish gives one back.

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(ZarnAssociations, StoredWishReachesTheDesktop) {
    qvtest::TempDir dir;
    const std::string env = "XDG_DATA_HOME=" + ShellQuote(dir / "data") + " XDG_CONFIG_HOME=" +
                            ShellQuote(dir / "config") + " QV_CONFIG_DIR=" + ShellQuote(dir / "cfg") +
                            " XDG_CURRENT_DESKTOP=X-Generic ";
    RunOk("mkdir -p " + ShellQuote(dir / "data") + " " + ShellQuote(dir / "config") + " " + ShellQuote(dir / "cfg"));
    auto wish = [&](const std::string& status1) {
        qvtest::WriteFileText(dir / "cfg/user.reg", "Windows Registry Editor Version 5.00\n\n[Software\\Quendravine]\n"
                                                    "\"Status1\"=\"" + status1 + "\"\n");
        RunOk(env + ShellQuote(std::string(QV_PROGRAM_DIR) + "/zarn") + " -ii1 -vset");
    };
    auto opener = [&](const char* type) {
        return qvtest::Run(env + "xdg-mime query default application/x-quendravine-" + type).output;
    };
    wish("02000200");   // .zip and .iso
    EXPECT_EQ(opener("zip"), "quendravine.desktop\n");
    EXPECT_EQ(opener("iso"), "quendravine.desktop\n");
    EXPECT_EQ(opener("7z"), "");
    RunOk("desktop-file-validate " + ShellQuote(dir / "data/applications/quendravine.desktop"));
    wish("00000100");   // .iso given back
    EXPECT_EQ(opener("iso"), "");
    EXPECT_EQ(opener("zip"), "quendravine.desktop\n");
}

}  // namespace
