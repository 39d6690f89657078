// Images made from discs in the software drive: compared with the source by
// cmp, read by isoinfo, bchunk and cueprint; unreadable sectors counted; refusals and
// cancels leave nothing under the destination.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "../burn/burn_drive_support.h"
#include "optical/disc_image/make_image_job.h"
#include "platform/text.h"

namespace optical {
namespace {

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }

std::string ReadText(const std::string& path) {
    const burntest::Bytes bytes = qvtest::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

size_t FilesIn(const std::string& folder) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(MakeImageJob, IsoEqualsTheDiscAndCountsUnreadableSectors) {
    struct Row {
        const char* name;
        std::vector<int64_t> bad;
        MakeImageOutcome outcome;
    } rows[] = {
        {"clean disc", {}, MakeImageOutcome::Done},
        {"three unreadable sectors", {20, 21, 40}, MakeImageOutcome::DoneWithLoss},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        burntest::BurnDrive drive;
        const std::string iso = burntest::MakeIso(drive.dir, "disc", 600);
        ASSERT_TRUE(drive.Load("profile 0x0010\ntrack mode=1 file=" + iso + "\n")) << drive.soft.lastError;
        for (int64_t lba : r.bad) {
            softdrive::Fault fault;
            fault.lba = lba;
            drive.soft.drive.AddFault(fault);
        }
        const std::string outDir = drive.dir / "out";
        MakeImageRequest request;
        request.letter = u'E';
        request.destination = platform::Utf8ToUtf16(outDir + "/copy.iso");
        uint64_t lastDone = 0, lastTotal = 0;
        request.progress = [&](uint64_t done, uint64_t total) { lastDone = done, lastTotal = total; };
        const MakeImageResult result = MakeImageFromDisc(request);
        EXPECT_EQ(result.outcome, r.outcome) << platform::Utf16ToUtf8(result.message);
        EXPECT_EQ(result.lostSectors, r.bad.size());
        EXPECT_EQ(lastDone, lastTotal);
        const burntest::Bytes source = qvtest::ReadFileBytes(iso);
        burntest::Bytes made = qvtest::ReadFileBytes(outDir + "/copy.iso");
        ASSERT_EQ(made.size(), source.size());
        if (r.bad.empty()) {
            qvtest::RunOk("cmp " + Q(iso) + " " + Q(outDir + "/copy.iso"));
            EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(outDir + "/copy.iso")).find("Volume id: BURNTEST"),
                      std::string::npos);
        } else {
            for (int64_t lba : r.bad)
                for (size_t i = 0; i < 2048; ++i) ASSERT_EQ(made[size_t(lba) * 2048 + i], 0);
            EXPECT_NE(result.message.find(u"3 sectors"), std::u16string::npos);
        }
        EXPECT_EQ(FilesIn(outDir), 1u);
    }
}

TEST(MakeImageJob, AudioDiscBecomesBinAndCueThatBchunkSplits) {
    burntest::BurnDrive drive;
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + Q(drive.dir / "a.raw") + " synth 2 sine 440");
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + Q(drive.dir / "b.raw") + " synth 1 sine 660");
    ASSERT_TRUE(drive.Load("profile 0x0008\ntrack session=1 control=0 mode=0 sector=2352 file=" + drive.dir / "a.raw" +
                           "\ntrack session=1 control=0 mode=0 sector=2352 file=" + drive.dir / "b.raw" +
                           "\ncdtext track=0 title=Album performer=Band\ncdtext track=1 title=One\ncdtext track=2 title=Two\n"))
        << drive.soft.lastError;
    const std::string outDir = drive.dir / "out";
    MakeImageRequest request;
    request.letter = u'E';
    request.destination = platform::Utf8ToUtf16(outDir + "/music.iso");
    MakeImageResult refused = MakeImageFromDisc(request);
    EXPECT_EQ(refused.outcome, MakeImageOutcome::Failed);
    EXPECT_EQ(refused.message, u"This is a multi-track disc, please select BIN image file format.");
    EXPECT_FALSE(std::filesystem::exists(outDir + "/music.iso"));
    EXPECT_TRUE(DiscNeedsBinFormat(u'E'));

    request.format = MakeImageFormat::Bin;
    request.destination = platform::Utf8ToUtf16(outDir + "/music.bin");
    const MakeImageResult made = MakeImageFromDisc(request);
    ASSERT_EQ(made.outcome, MakeImageOutcome::Done) << platform::Utf16ToUtf8(made.message);
    const std::string cue = ReadText(outDir + "/music.cue");
    EXPECT_NE(cue.find("TRACK 02 AUDIO"), std::string::npos) << cue;
    // The disc's CD-TEXT is kept in the sheet, as cueprint reads it.
    const std::string titles = qvtest::RunOk("cueprint -d '%T|%P\\n' -t '%t\\n' " + Q(outDir + "/music.cue"));
    EXPECT_NE(titles.find("Album|Band"), std::string::npos) << titles;
    EXPECT_NE(titles.find("One"), std::string::npos) << titles;
    EXPECT_NE(titles.find("Two"), std::string::npos) << titles;
    qvtest::RunOk("cd " + Q(outDir) + " && bchunk -w music.bin music.cue t 2>&1");
    EXPECT_TRUE(std::filesystem::exists(outDir + "/t01.wav"));
    EXPECT_TRUE(std::filesystem::exists(outDir + "/t02.wav"));
    // The first track's frames are the first sound, byte for byte.
    const burntest::Bytes a = qvtest::ReadFileBytes(drive.dir / "a.raw");
    const burntest::Bytes bin = qvtest::ReadFileBytes(outDir + "/music.bin");
    ASSERT_GE(bin.size(), a.size());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), bin.begin()));
}

TEST(MakeImageJob, FailuresAndCancelLeaveNothingBehind) {
    burntest::BurnDrive drive;
    const std::string iso = burntest::MakeIso(drive.dir, "disc", 300);
    ASSERT_TRUE(drive.Load("profile 0x0010\ntrack mode=1 file=" + iso + "\n")) << drive.soft.lastError;
    const std::string outDir = drive.dir / "out";
    qvtest::RunOk("mkdir -p " + Q(outDir));
    qvtest::WriteFileText(outDir + "/kept.iso", "the user's earlier file");
    std::atomic<bool> cancel{true};
    struct Row {
        const char* name;
        char16_t letter;
        const std::atomic<bool>* cancel;
        MakeImageOutcome outcome;
        std::u16string message;
    } rows[] = {
        {"no drive on the letter", u'Q', nullptr, MakeImageOutcome::Failed, u"Error opening device[Q:]."},
        {"cancelled", u'E', &cancel, MakeImageOutcome::Cancelled, u""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        MakeImageRequest request;
        request.letter = r.letter;
        if (r.cancel) request.cancelled = [c = r.cancel] { return c->load(); };
        request.destination = platform::Utf8ToUtf16(outDir + "/kept.iso");
        const MakeImageResult result = MakeImageFromDisc(request);
        EXPECT_EQ(result.outcome, r.outcome);
        EXPECT_EQ(result.message, r.message);
        EXPECT_EQ(ReadText(outDir + "/kept.iso"), "the user's earlier file");
        EXPECT_EQ(FilesIn(outDir), 1u);
    }
}

TEST(MakeImageJob, DiscLabelsBecomeOneSafeFileName) {
    struct Row {
        std::u16string label;
        MakeImageFormat format;
        std::u16string name;
    } rows[] = {
        {u"MY DISC", MakeImageFormat::Iso, u"MY DISC.iso"},
        {u"../x", MakeImageFormat::Iso, u"_x.iso"},
        {u"a/b\\c", MakeImageFormat::Bin, u"a_b_c.bin"},
        {u"\x01" u"BACKUP\x1f\x7f", MakeImageFormat::Iso, u"BACKUP.iso"},
        {u"...", MakeImageFormat::Iso, u""},
        {u"", MakeImageFormat::Bin, u""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ImageFileNameForLabel(r.label, r.format), r.name) << platform::Utf16ToUtf8(r.label);
}

}  // namespace
}  // namespace optical
