// The software drive checked by programs we did not write: the preload shim
// shows it at a device path, and sg_inq, sg_get_config, sdparm,
// dvd+rw-mediainfo, cdrdao and cd-info must print what each disc description
// intends. Then our own SG_IO transport talks to it through the same shim.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "image/sheets/track_list.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"
#include "tests/support/test_support.h"

namespace {

std::string ShimRun(const qvtest::TempDir& dir, const std::string& manifest, const std::string& command) {
    qvtest::WriteFileText(dir / "manifest.txt", manifest);
    return qvtest::Run("LD_PRELOAD=" + std::string(QV_SOFT_DRIVE_SHIM) + " QV_SOFT_DRIVE_PATH=" + dir / "FAKE" +
                       " QV_SOFT_DRIVE_MANIFEST=" + dir / "manifest.txt" + " timeout 60 " + command + " 2>&1")
        .output;
}

TEST(SoftDriveTools, RealToolsPrintWhatEachDiscDescriptionIntends) {
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + dir / "tree" + " && seq 1 50000 > " + dir / "tree/n.txt");
    qvtest::RunOk("SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -o " + dir / "d.iso" + " " + dir / "tree" + " 2>&1");
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + dir / "a.raw" + " synth 2 sine 440");
    uint32_t isoSectors = static_cast<uint32_t>(qvtest::ReadFileBytes(dir / "d.iso").size() / 2048);
    std::string fake = dir / "FAKE";
    std::string mixed = "profile 0x0008\nprofiles 0x0008,0x0009,0x000A\ndrive vendor=QVSOFT product=SOFTWRITER\n"
                        "speeds read=7056 write=1764,3528 current=3528 readcaps=0x3B writecaps=0x03\n"
                        "track mode=1 file=" + dir / "d.iso" + "\ntrack control=0 mode=0 sector=2352 file=" + dir / "a.raw" + "\n";
    std::string dvdPlusRw = "profile 0x001A\nprofiles 0x001A,0x001B,0x0010\ntrack mode=1 file=" + dir / "d.iso" +
                            "\nspeeds read=11080 write=2770,5540,11080 current=5540\nformat type=0x26 blocks=2295104\n"
                            "feature code=0x2A current=1 data=01000000\n";
    std::string blankCdRw = "profile 0x000A\nprofiles 0x0008,0x0009,0x000A\ndisc status=0 last=0 nwa=0 free=359849 erasable=1\n"
                            "atip rewritable=1\nspeeds read=7056 write=1764,3528 writecaps=0x03\n";
    std::string bdR = "profile 0x0041\nprofiles 0x0040,0x0041,0x0043\ndisc bd=BDR\ntrack mode=1 file=" + dir / "d.iso" + "\n";
    std::string audioText = "profile 0x0008\ntrack control=0 mode=0 sector=2352 file=" + dir / "a.raw" +
                            "\ntrack control=0 mode=0 sector=2352 file=" + dir / "a.raw" +
                            "\ncdtext track=0 title=Quiet_Album performer=The_Band\ncdtext track=1 title=First_Song\n"
                            "cdtext track=2 title=Second performer=Guest\n";
    struct Row {
        const char* name;
        std::string manifest;
        std::string command;
        std::vector<std::string> expected;
    } rows[] = {
        {"sg_inq", mixed, "sg_inq " + fake,
         {"Peripheral device type: cd/dvd", "Vendor identification: QVSOFT", "Product identification: SOFTWRITER"}},
        {"sg_get_config CD", mixed, "sg_get_config " + fake,
         {"Current profile: CD-ROM", "profile: CD-RW , currentP=0", "profile: CD-ROM , currentP=1"}},
        {"sg_get_config BD-R", bdR, "sg_get_config " + fake, {"Current profile: BD-R SRM"}},
        {"sdparm page 2A", mixed, "sdparm --page=0x2a " + fake,
         {R"(CD_R_W\s+1)", R"(CD_RW_W\s+1)", R"(D_R_W\s+0)", R"(MRSS\s+7056)", R"(CWSS\s+3528)"}},
        {"dvd+rw-mediainfo DVD+RW", dvdPlusRw, "dvd+rw-mediainfo " + fake,
         {"Mounted Media:\\s+1Ah, DVD\\+RW", "Current Write Speed:\\s+4.0x1385=5540KB/s", "Write Speed #2:\\s+8.0x1385=11080KB/s",
          "Disc status:\\s+complete",
          "Track Size:\\s+" + std::to_string(isoSectors) + "\\*2KB"}},
        {"cdrdao disk-info blank CD-RW", blankCdRw, "cdrdao disk-info --device " + fake,
         {R"(CD-RW\s+: yes)", R"(CD-R empty\s+: yes)", R"(Total Capacity\s+: 79:57:74 \(359849 blocks)"}},
        {"cdrdao disk-info mixed", mixed, "cdrdao disk-info --device " + fake,
         {R"(CD-RW\s+: no)", R"(Sessions\s+: 1)", R"(Last Track\s+: 2)", R"(Appendable\s+: no)"}},
        {"cd-info mixed", mixed, "cd-info --no-header --no-cddb " + fake,
         {R"(1: 00:02:00  000000 data)", "2: \\S+  " + [&] { char t[8]; std::snprintf(t, sizeof t, "%06u", isoSectors); return std::string(t); }() + " audio",
          "170: \\S+  " + [&] { char t[8]; std::snprintf(t, sizeof t, "%06u", isoSectors + 150); return std::string(t); }() + " leadout"}},
        {"cd-info CD-TEXT", audioText, "cd-info --no-header --no-cddb --no-device-info " + fake,
         {"CD-TEXT for Disc:\\s+TITLE: Quiet Album\\s+PERFORMER: The Band", "CD-TEXT for Track  1:\\s+TITLE: First Song",
          "CD-TEXT for Track  2:\\s+TITLE: Second\\s+PERFORMER: Guest"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string output = ShimRun(dir, row.manifest, row.command);
        for (const std::string& pattern : row.expected) EXPECT_TRUE(std::regex_search(output, std::regex(pattern))) << pattern << "\n" << output;
    }
}

// Run in a child process under the shim: the command layer's SG_IO transport
// sends real ioctls, which the shim hands to the software drive.
TEST(SoftDriveTools, SgIoTransportThroughTheShim) {
    const char* path = std::getenv("QV_SOFT_DRIVE_PATH");
    if (path && std::getenv("QV_SOFT_DRIVE_CHILD")) {
        platform::FileHandle h = platform::FileOpenUtf8(path, platform::FileAccess::ReadWrite,
                                                        platform::FileDisposition::OpenExisting);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(optical::GetDiscMediaType(h), optical::media::kCdRom);
        image::TrackList list;
        ASSERT_TRUE(optical::ReadDiscLayout(h, list, u'E'));
        EXPECT_EQ(list.trackCount, 2);
        EXPECT_EQ(list.tracks[1].mode, image::track_mode::kAudio);
        uint8_t sector[2048];
        uint32_t len = sizeof sector, got = 0;
        EXPECT_EQ(optical::ScsiRead10(h, 16, 1, sector, len, got), 1);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(sector) + 1, 5), "CD001");
        len = sizeof sector;
        EXPECT_EQ(optical::ScsiRead10(h, list.tracks[1].startSector, 1, sector, len, got), 0);   // audio refuses READ(10)
        platform::FileClose(h);
        return;
    }
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + dir / "tree" + " && echo x > " + dir / "tree/x.txt");
    qvtest::RunOk("xorriso -as mkisofs -quiet -o " + dir / "d.iso" + " " + dir / "tree" + " 2>&1");
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + dir / "a.raw" + " synth 1 sine 440");
    qvtest::WriteFileText(dir / "manifest.txt", "profile 0x0008\ntrack mode=1 file=" + dir / "d.iso" +
                                                    "\ntrack control=0 mode=0 sector=2352 file=" + dir / "a.raw" + "\n");
    std::string self = qvtest::RunOk("readlink /proc/" + std::to_string(getpid()) + "/exe");
    self.erase(self.find_last_not_of("\n") + 1);
    qvtest::CommandResult child = qvtest::Run(
        "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + std::string(QV_SOFT_DRIVE_SHIM) + " QV_SOFT_DRIVE_CHILD=1" +
        " QV_SOFT_DRIVE_PATH=" + dir / "FAKE" + " QV_SOFT_DRIVE_MANIFEST=" + dir / "manifest.txt" + " " + self +
        " --gtest_filter=SoftDriveTools.SgIoTransportThroughTheShim 2>&1");
    EXPECT_EQ(child.exitCode, 0) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

}  // namespace
