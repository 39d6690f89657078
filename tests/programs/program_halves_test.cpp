// The program's two halves: a console run (zarn starting the program over its
// pipes) loads no Qt library and no window code, as the system's dynamic
// loader reports it; the window half is its own library, and it binds to the
// program's copy of everything below the window layer when it loads.

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

const std::string kDir = std::string(QV_PROGRAM_DIR);

TEST(ProgramHalvesTest, ConsoleRunLoadsNoWindowLibrary) {
    qvtest::TempDir dir;
    RunOk("mkdir -p " + dir / "src" + " && printf hello > " + dir / "src/a.txt" + " && genisoimage -quiet -J -o " +
          dir / "t.iso" + " " + dir / "src");
    // The loader's report covers zarn and the program it starts.
    const std::string loaded = RunOk("LD_DEBUG=files " + ShellQuote(kDir + "/zarn") + " list " + dir / "t.iso" + " /" +
                                     " 2>&1 >/dev/null | grep 'file=' || true");
    EXPECT_NE(loaded.find("libstdc++"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("libQt6"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("libqvwindow"), std::string::npos) << loaded;
    const std::string listing = RunOk(ShellQuote(kDir + "/zarn") + " list " + dir / "t.iso" + " /");
    EXPECT_NE(listing.find("a.txt"), std::string::npos) << listing;
}

TEST(ProgramHalvesTest, WindowHalfIsALibraryOfItsOwn) {
    const std::string program = RunOk("readelf -d " + ShellQuote(kDir + "/quendravine"));
    EXPECT_EQ(program.find("libQt6"), std::string::npos) << program;
    const std::string half = RunOk("readelf -d " + ShellQuote(kDir + "/libqvwindow.so"));
    EXPECT_NE(half.find("libQt6Widgets"), std::string::npos) << half;
    // Every symbol the half needs from below the window layer is there to bind.
    qvtest::TempDir dir;
    RunOk("nm -D --undefined-only " + ShellQuote(kDir + "/libqvwindow.so") +
          " | awk '{print $2}' | grep -E '^_ZN(2app|5image|10foundation|8platform|6optical|5audio|6vdrive)' | sort -u > " +
          dir / "needed");
    RunOk("nm -D --defined-only " + ShellQuote(kDir + "/quendravine") + " | awk '{print $3}' | sort -u > " +
          dir / "given");
    EXPECT_NE(RunOk("wc -l < " + dir / "needed"), "0\n");
    const std::string missing = RunOk("comm -23 " + dir / "needed" + " " + dir / "given");
    EXPECT_EQ(missing, "");
}

}  // namespace
