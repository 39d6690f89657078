// The DVD and BD writers on the recording software drive: each medium's
// preparation, whole ECC blocks, closing functions and waits as the drive
// logged them, the exported disc read back by isoinfo, 7z, udfinfo and xorriso,
// and the refusals that must come before any WRITE.

#include <gtest/gtest.h>

#include <functional>

#include "image/iso/append_session.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_writers.h"
#include "optical/mmc/mmc_commands.h"
#include "writer_rig.h"

namespace {

using optical::BurnJob;
using optical::ReadAheadBufferPtr;

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }

// An ISO of exactly `sectors` sectors (xorriso's image, padded).
std::string PaddedIso(const qvtest::TempDir& dir, const std::string& name, int kilobytes, int sectors,
                      const std::string& maker = "xorriso -as mkisofs -quiet") {
    const std::string src = dir / (name + ".src");
    const std::string iso = dir / (name + ".iso");
    qvtest::RunOk("mkdir -p " + Q(src) + " && head -c " + std::to_string(kilobytes * 1024) + " /dev/urandom > " +
                  Q(src + "/" + name + ".bin"));
    qvtest::RunOk(maker + " -V " + name + " -o " + Q(iso) + " " + Q(src) + " 2>&1");
    qvtest::RunOk("truncate -s " + std::to_string(sectors * 2048) + " " + Q(iso));
    return iso;
}

struct Burn {
    qvtest::TempDir& dir;
    burntest::WriterRig rig;
    std::unique_ptr<image::ImageContext> ctx;
    BurnJob job;
    explicit Burn(qvtest::TempDir& d) : dir(d) {}
    bool Run(const std::string& manifest, const std::string& iso, uint8_t type, int32_t start = 0) {
        EXPECT_TRUE(rig.Load(manifest)) << rig.drive.lastError;
        ctx = burntest::OpenIso(iso);
        job.source = ctx.get();
        job.endSector = ctx->endSector;
        job.sessionStart = start;
        job.mediaType = type;
        job.overwritableMedia = optical::IsOverwritableMedia(type);
        ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
        EXPECT_TRUE(buffer);
        return buffer && optical::WriteDvdImage(rig.h(), buffer.get(), type, job);
    }
};

std::string Write(const qvtest::TempDir& dir, const std::string& more = "") {
    return "write capacity=2295104 export=" + dir.path() + " " + more + "\n";
}

TEST(DvdWriters, EachMediumIsPreparedWrittenInWholeBlocksAndClosed) {
    struct Row {
        const char* name;
        uint8_t type;
        std::string manifest;
        uint32_t written;              // sectors on the disc
        std::vector<int> closes;       // CLOSE TRACK/SESSION functions
        std::vector<int> reserved;     // RESERVE TRACK sizes (low byte)
        std::vector<int> formats;      // FORMAT UNIT format types
    };
    qvtest::TempDir dir;
    const std::string iso = PaddedIso(dir, "disc", 1500, 1000);
    const Row rows[] = {
        {"DVD+R", 21, "profile 0x001B\ndisc status=0 last=0\n" + Write(dir), 1008, {1, 5}, {1008 & 0xFF}, {}},
        {"DVD-R", 17, "profile 0x0011\ndisc status=0 last=0\n" + Write(dir), 1008, {}, {1008 & 0xFF}, {}},
        {"DVD-RW", 18, "profile 0x0014\nprofiles 0x0013,0x0014\ndisc status=0 last=0 erasable=1\n" + Write(dir), 1008,
         {}, {1008 & 0xFF}, {}},
        {"DVD+RW", 22, "profile 0x001A\ndisc status=0 last=0\nformat type=0x26 blocks=2295104\n" + Write(dir), 1008,
         {2}, {}, {0x26}},
        {"DVD-RAM", 20, "profile 0x0012\n" + Write(dir, "formatted=1"), 1008, {}, {}, {}},
        {"BD-R", 33, "profile 0x0041\ndisc status=0 last=0 bd=BDR\n" + Write(dir), 1024, {1, 6}, {}, {}},
        {"BD-R POW", 34, "profile 0x0041\ndisc status=0 last=0 bd=BDR\nfeature code=0x38 current=1\n" + Write(dir), 1024,
         {1, 6}, {}, {}},
        {"BD-RE", 39, "profile 0x0043\ndisc status=0 last=0 bd=BDW\nformat type=0x30 blocks=11826176\n" + Write(dir),
         1024, {}, {}, {0x30}},
    };
    for (const Row& row : rows) {
        Burn b(dir);
        ASSERT_TRUE(b.Run(row.manifest, iso, row.type)) << row.name << "\n" << b.rig.Rows();
        EXPECT_EQ(b.rig.Field(0x5B, 2), row.closes) << row.name;
        EXPECT_EQ(b.rig.Field(0x53, 8), row.reserved) << row.name;
        std::vector<int> formats;
        for (const auto& c : b.rig.drive.drive.Log())
            if (c.cdb[0] == 0x04) formats.push_back(0);   // the type is in the parameter list
        EXPECT_EQ(formats.size(), row.formats.size()) << row.name;
        // Every WRITE is one whole ECC block.
        for (int count : b.rig.Field(0x2A, 8)) EXPECT_EQ(count, row.type >= 32 ? 32 : 16) << row.name;
        EXPECT_EQ(b.rig.Writes() * (row.type >= 32 ? 32 : 16), row.written) << row.name;
        const std::string out = dir / "disc.iso";
        ASSERT_EQ(qvtest::ReadFileBytes(out).size(), size_t(row.written) * 2048) << row.name;
        qvtest::RunOk("cmp -n " + std::to_string(1000 * 2048) + " " + Q(iso) + " " + Q(out));
        EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(out)).find("Volume id: disc"), std::string::npos) << row.name;
        qvtest::RunOk("7z t " + Q(out) + " >/dev/null");
    }
}

TEST(DvdWriters, UdfImageReadsBackWithUdfinfoAnd7z) {
    qvtest::TempDir dir;
    const std::string iso = PaddedIso(dir, "udf", 500, 800, "genisoimage -quiet -udf");
    Burn b(dir);
    ASSERT_TRUE(b.Run("profile 0x001B\ndisc status=0 last=0\n" + Write(dir), iso, 21)) << b.rig.Rows();
    const std::string out = dir / "disc.iso";
    EXPECT_NE(qvtest::Run("udfinfo " + Q(out) + " 2>&1").output.find("udfrev"), std::string::npos);
    EXPECT_NE(qvtest::RunOk("7z l " + Q(out)).find("udf.bin"), std::string::npos);
}

TEST(DvdWriters, RefusalsComeBeforeAnyWrite) {
    qvtest::TempDir dir;
    const std::string iso = PaddedIso(dir, "disc", 1500, 1000);
    qvtest::RunOk("cp " + Q(iso) + " " + Q(dir / "old.iso"));
    struct Row {
        const char* name;
        uint8_t type;
        std::string manifest;
        std::function<void(BurnJob&)> setup;
        const char* row;
    } rows[] = {
        {"used DVD+R", 21, "profile 0x001B\ndisc status=2 last=3\ntrack file=" + dir / "old.iso" + "\n" + Write(dir),
         nullptr, "Error verifying blank media."},
        {"DVD+R too small", 21, "profile 0x001B\ndisc status=0 last=0\nwrite capacity=500\n", nullptr,
         "There is no enough free blocks on media"},
        {"NWA elsewhere", 21, "profile 0x001B\ndisc status=0 last=0\n" + Write(dir),
         [](BurnJob& j) { j.appendSession = true; j.sessionStart = 5008; j.endSector = 6000; },
         "Read next writable address failed(5008 needed, 0 available)."},
        {"DVD-R page length", 17, "profile 0x0011\ndisc status=0 last=0\n" + Write(dir, "page5=0x10"), nullptr,
         "Burning failed (135, "},
        {"DVD-RW capacity 0", 18, "profile 0x0014\ndisc status=0 last=0 erasable=1\nformat type=0x15 blocks=0\n" + Write(dir),
         [](BurnJob& j) { j.finalize = false; }, "Error reading capacity information."},
        {"DVD-RW capacity FFFFFFFF", 18,
         "profile 0x0014\ndisc status=0 last=0 erasable=1\nformat type=0x15 blocks=0xFFFFFFFF\n" + Write(dir),
         [](BurnJob& j) { j.finalize = false; }, "Error reading capacity information."},
        {"DVD-RW too small", 18, "profile 0x0014\ndisc status=0 last=0 erasable=1\nformat type=0x15 blocks=512\n" + Write(dir),
         [](BurnJob& j) { j.finalize = false; }, "There is no enough free blocks on media"},
        {"BD-RE too small", 39, "profile 0x0043\ndisc status=0 last=0 bd=BDW\nformat type=0x30 blocks=512\n" + Write(dir),
         nullptr, "There is no enough free blocks on media"},
        {"no medium", 255, "profile 0x001B\ndisc status=0 last=0\n" + Write(dir), nullptr,
         "Media detect failed, or no media in the drive."},
    };
    for (const Row& row : rows) {
        burntest::WriterRig rig;
        ASSERT_TRUE(rig.Load(row.manifest)) << row.name << rig.drive.lastError;
        auto ctx = burntest::OpenIso(iso);
        BurnJob job;
        job.source = ctx.get();
        job.endSector = ctx->endSector;
        job.mediaType = row.type;
        if (row.setup) row.setup(job);
        // No ring: nothing may be taken from it.
        EXPECT_FALSE(optical::WriteDvdImage(rig.h(), nullptr, row.type, job)) << row.name;
        EXPECT_EQ(rig.Writes(), 0u) << row.name;
        EXPECT_EQ(rig.drive.drive.Count(0x5B), 0u) << row.name;
        EXPECT_NE(rig.Rows().find(row.row), std::string::npos) << row.name << ":\n" << rig.Rows();
    }
}

TEST(DvdWriters, FailedWriteOnDvdPlusRwLeavesNoBackgroundFormatRunning) {
    for (bool cancel : {false, true}) {
        qvtest::TempDir dir;
        const std::string iso = PaddedIso(dir, "disc", 1500, 1000);
        Burn b(dir);
        softdrive::Fault fault;
        fault.opcode = 0x2A;
        fault.lba = 500;
        if (cancel) {
            fault.kind = softdrive::Fault::Kind::Latency;
            b.rig.drive.drive.latencyHook = [&](uint32_t) { b.job.cancel = true; };
        }
        b.rig.drive.drive.AddFault(fault);
        EXPECT_FALSE(b.Run("profile 0x001A\ndisc status=0 last=0\nformat type=0x26 blocks=2295104\n" + Write(dir), iso, 22));
        const std::string rows = b.rig.Rows();
        EXPECT_NE(rows.find(cancel ? "Burning cancelled." : "Error writing data. (544-000001f0"), std::string::npos) << rows;
        // The session is closed, which stops the background format.
        EXPECT_EQ(b.rig.Field(0x5B, 2), (std::vector<int>{2}));
        uint8_t info[42] = {};
        uint32_t len = sizeof info;
        ASSERT_EQ(optical::ScsiReadDiscInfo(b.rig.h(), 0, info, len), 1);
        EXPECT_NE(info[7] & 3, 2);
    }
}

TEST(DvdWriters, AppendedDvdPlusRSessionReadsBackWithIsoinfoAndXorriso) {
    qvtest::TempDir dir;
    const std::string first = PaddedIso(dir, "one", 300, 160);
    Burn one(dir);
    one.job.finalize = false;
    ASSERT_TRUE(one.Run("profile 0x001B\ndisc status=0 last=0\n" + Write(dir), first, 21)) << one.rig.Rows();
    EXPECT_EQ(one.rig.Field(0x5B, 2), (std::vector<int>{1, 2}));
    // The next session starts behind the first one's last ECC block.
    const int start = 160;
    qvtest::RunOk("mkdir -p " + Q(dir / "two.src") + " && echo second > " + Q(dir / "two.src/second.txt"));
    qvtest::RunOk("genisoimage -quiet -R -C 0," + std::to_string(start) + " -M " + Q(dir / "disc.iso") + " -o " +
                  Q(dir / "two.part") + " " + Q(dir / "two.src") + " 2>&1");
    // The session's sectors at their place on the disc.
    qvtest::RunOk("dd if=" + Q(dir / "two.part") + " of=" + Q(dir / "two.iso") + " bs=2048 seek=" +
                  std::to_string(start) + " status=none");

    burntest::WriterRig& rig = one.rig;
    auto ctx = burntest::OpenIso(dir / "two.iso");
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    job.sessionStart = start;
    job.appendSession = true;
    job.mediaType = 21;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
    ASSERT_TRUE(buffer);
    ASSERT_TRUE(optical::WriteDvdImage(rig.h(), buffer.get(), 21, job)) << rig.Rows();
    EXPECT_FALSE(job.headMirrorWritten);   // a write-once disc keeps its head
    const std::string out = dir / "disc.iso";
    std::string listed = qvtest::RunOk("isoinfo -R -f -T " + std::to_string(start) + " -i " + Q(out));
    EXPECT_NE(listed.find("one.bin"), std::string::npos) << listed;
    EXPECT_NE(listed.find("second.txt"), std::string::npos) << listed;
    std::string found = qvtest::RunOk("xorriso -load sbsector " + std::to_string(start) + " -indev " + Q(out) +
                                      " -find / 2>/dev/null");
    EXPECT_NE(found.find("second.txt"), std::string::npos) << found;
    EXPECT_NE(found.find("one.bin"), std::string::npos) << found;
}

TEST(DvdWriters, FinalizeWaits) {
    struct Row {
        uint8_t type;
        uint32_t sectors;
        uint32_t seconds;
    } rows[] = {{21, 100000, 706}, {21, 500000, 240}, {17, 1, 1800}, {20, 1, 240}, {22, 1, 600},
                {24, 1, 5400},     {23, 1, 3600},     {33, 1, 600}};
    for (const Row& r : rows) EXPECT_EQ(optical::GetFinalizeWaitSeconds(r.type, r.sectors), r.seconds) << int(r.type);
}

}  // namespace

namespace {

// On a DVD+RW the appended session's volume descriptors are also written to
// the head of the disc, so a plain reader sees both sessions' files.
TEST(DvdWriters, AppendedDvdPlusRwSessionIsMirroredToTheDiscHead) {
    qvtest::TempDir dir;
    const std::string first = PaddedIso(dir, "one", 300, 160);
    const std::string manifest = "profile 0x001A\ndisc status=0 last=0\nformat type=0x26 blocks=2295104\n" + Write(dir);
    Burn one(dir);
    ASSERT_TRUE(one.Run(manifest, first, 22)) << one.rig.Rows();
    const int start = 176;
    qvtest::RunOk("mkdir -p " + Q(dir / "two.src") + " && echo second > " + Q(dir / "two.src/second.txt"));
    qvtest::RunOk("genisoimage -quiet -R -C 0," + std::to_string(start) + " -M " + Q(dir / "disc.iso") + " -o " +
                  Q(dir / "two.part") + " " + Q(dir / "two.src") + " 2>&1");
    qvtest::RunOk("dd if=" + Q(dir / "two.part") + " of=" + Q(dir / "two.iso") + " bs=2048 seek=" +
                  std::to_string(start) + " status=none");
    auto ctx = burntest::OpenIso(dir / "two.iso");
    ctx->discHeadSourcePath = u"disc";
    ctx->sessionStartLba = start;
    ASSERT_EQ(image::LoadDiscHeadMirror(*ctx, image::HeadTarget::Drive, one.rig.h()), 1) << one.rig.Rows();
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    job.sessionStart = start;
    job.appendSession = true;
    job.mediaType = 22;
    ReadAheadBufferPtr buffer(optical::CreateBurnBuffer(job, 2048));
    ASSERT_TRUE(buffer);
    ASSERT_TRUE(optical::WriteDvdImage(one.rig.h(), buffer.get(), 22, job)) << one.rig.Rows();
    EXPECT_TRUE(job.headMirrorWritten);
    std::string listed = qvtest::RunOk("isoinfo -R -f -i " + Q(dir / "disc.iso"));
    EXPECT_NE(listed.find("one.bin"), std::string::npos) << listed;
    EXPECT_NE(listed.find("second.txt"), std::string::npos) << listed;
}

}  // namespace

namespace {

TEST(DvdWriters, RestrictedOverwriteDvdRwIsFormattedOnlyWhenTooSmall) {
    struct Row {
        uint32_t formatted;   // blocks the disc is formatted to
        size_t formats;       // FORMAT UNIT commands expected
    } rows[] = {{2048, 0}, {512, 1}};
    for (const Row& row : rows) {
        qvtest::TempDir dir;
        const std::string iso = PaddedIso(dir, "disc", 1500, 1000);
        Burn b(dir);
        b.job.appendSession = true;
        ASSERT_TRUE(b.Run("profile 0x0013\nprofiles 0x0013,0x0014\ndisc erasable=1\nformat type=0x13 blocks=2295104\n"
                          "write capacity=" + std::to_string(row.formatted) + " export=" + dir.path() + "\n",
                          iso, 19))
            << b.rig.Rows();
        EXPECT_EQ(b.rig.drive.drive.Count(0x04), row.formats) << row.formatted;
        qvtest::RunOk("cmp -n " + std::to_string(1000 * 2048) + " " + Q(iso) + " " + Q(dir / "disc.iso"));
    }
}

}  // namespace
