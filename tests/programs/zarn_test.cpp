// The console front end end to end: zarn starts the built program in console
// mode over its pipes; listings, extractions and new images are checked with
// the peers (isoinfo, xorriso, isovfy, 7z), and the exit codes and messages of
// failures as the user sees them.

#include <map>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {


using qvtest::RunOk;
using qvtest::ShellQuote;

const std::string kZarn = std::string(QV_PROGRAM_DIR) + "/zarn";

std::string Zarn(const std::string& args) { return "TZ=UTC " + ShellQuote(kZarn) + " " + args; }

class ZarnTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string src = dir_ / "src";
        RunOk("mkdir -p " + src + "/sub/deep " + src + "/empty && cd " + src +
              " && printf hello > a.txt && head -c 300000 /dev/urandom > sub/b.bin && printf x > sub/deep/c.txt"
              " && printf z > 'sp ace.txt' && printf q > aQQb"
              " && TZ=UTC touch -d '2008-12-20 08:00:00' a.txt sub/b.bin sub/deep/c.txt 'sp ace.txt' aQQb sub"
              " sub/deep empty");
        RunOk("genisoimage -quiet -J -r -o " + iso_ + " " + src);
    }

    qvtest::TempDir dir_;
    const std::string iso_ = dir_ / "t.iso";
};

// "folder|name|size" rows of a zarn listing ("<DIR>" for folders).
std::set<std::string> ZarnRows(const std::string& listing) {
    std::set<std::string> rows;
    std::istringstream in(listing);
    std::string line, folder;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Objects in ", 0) == 0) {
            folder = line.substr(11, line.size() - 12);
            if (folder.size() > 1) folder += "/";
            continue;
        }
        if (line.size() <= 40 || line[4] != '-' || line[16] != ' ') continue;
        std::string size = line.substr(20, 18);
        size.erase(0, size.find_first_not_of(' '));
        std::string digits;
        for (char c : size)
            if (c != ',') digits += c;
        rows.insert(folder + "|" + line.substr(40) + "|" + (size == "<DIR>" ? "<DIR>" : digits) + "|" +
                    line.substr(0, 10));
    }
    return rows;
}

// The same rows from isoinfo -J -l.
std::set<std::string> IsoinfoRows(const std::string& listing) {
    static const std::map<std::string, std::string> months = {
        {"Jan", "01"}, {"Feb", "02"}, {"Mar", "03"}, {"Apr", "04"}, {"May", "05"}, {"Jun", "06"},
        {"Jul", "07"}, {"Aug", "08"}, {"Sep", "09"}, {"Oct", "10"}, {"Nov", "11"}, {"Dec", "12"}};
    std::set<std::string> rows;
    std::istringstream in(listing);
    std::string line, folder;
    while (std::getline(in, line)) {
        if (line.rfind("Directory listing of ", 0) == 0) {
            folder = line.substr(21);
            continue;
        }
        const size_t bracket = line.find("]  ");
        if (bracket == std::string::npos || line.size() < 60) continue;
        std::string name = line.substr(bracket + 3);
        if (!name.empty() && name.back() == ' ') name.pop_back();
        if (name == "." || name == "..") continue;
        std::istringstream fields(line.substr(0, bracket));
        std::string mode, a, b, c, size, month, day, year;
        fields >> mode >> a >> b >> c >> size >> month >> day >> year;
        if (day.size() == 1) day = "0" + day;
        const std::string shownFolder = folder.size() > 1 ? folder : "/";
        rows.insert(shownFolder + "|" + name + "|" + (mode[0] == 'd' ? "<DIR>" : size) + "|" + year + "-" +
                    months.at(month) + "-" + day);
    }
    return rows;
}

TEST_F(ZarnTest, ListMatchesIsoinfo) {
    const std::string listing = RunOk(Zarn("list " + iso_ + " / -r"));
    const std::set<std::string> ours = ZarnRows(listing);
    const std::set<std::string> theirs = IsoinfoRows(RunOk("TZ=UTC isoinfo -J -l -i " + iso_));
    // isoinfo lists the root's subfolders with the date it gave the root.
    std::set<std::string> oursFiles, theirsFiles;
    for (const std::string& r : ours)
        if (r.find("<DIR>") == std::string::npos) oursFiles.insert(r);
    for (const std::string& r : theirs)
        if (r.find("<DIR>") == std::string::npos) theirsFiles.insert(r);
    EXPECT_EQ(oursFiles, theirsFiles) << listing;
    EXPECT_EQ(ours.size(), theirs.size()) << listing;
    EXPECT_NE(listing.find("Total:\r\n\t5 Files, 5 Folders  300,008 bytes\r\n"), std::string::npos) << listing;
    // Parents come before their subfolders.
    EXPECT_LT(listing.find("Objects in /sub:"), listing.find("Objects in /sub/deep:"));
    // An empty folder writes nothing.
    EXPECT_EQ(listing.find("Objects in /empty:"), std::string::npos);
}

TEST_F(ZarnTest, ControlCharactersInNamesNeverReachTheTerminal) {
    // Joliet name "aQQb" becomes "a<ESC><CR>b" in the image.
    RunOk("perl -0777 -pi -e 's/\\x00Q\\x00Q/\\x00\\x1b\\x00\\x0d/g' " + iso_);
    const std::string listing = RunOk(Zarn("list " + iso_ + " /"));
    // The entry is there, its two controls each shown as one visible character.
    EXPECT_EQ(listing.find('\x1b'), std::string::npos);
    std::istringstream lines(listing);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line.size() == 45 && line[40] == 'a' && line[43] == 'b' && line[44] == '\r')
            found = line[41] >= 0x20 && line[42] >= 0x20;
    }
    EXPECT_TRUE(found) << listing;
}

TEST_F(ZarnTest, ExtractMatchesXorriso) {
    const std::string ours = dir_ / "ours", ref = dir_ / "ref";
    RunOk(Zarn("extract " + iso_ + " / -od " + ours));
    RunOk("xorriso -osirrox on -indev " + iso_ + " -extract / " + ref + " 2>/dev/null");
    RunOk("diff -r " + ours + " " + ref);

    // One folder lands with its name; one file by itself.
    RunOk(Zarn("extract " + iso_ + " /sub -od " + (dir_ / "one")));
    RunOk("diff -r " + (dir_ / "one/sub") + " " + ref + "/sub");
    RunOk(Zarn("extract " + iso_ + " 'sub\\b.bin' -od " + (dir_ / "file")));
    RunOk("cmp " + (dir_ / "file/b.bin") + " " + ref + "/sub/b.bin");
}

// An audio CD has no files: extracting its root writes every track as a WAV
// file holding the track's PCM bytes. The second track's made-up PREGAP is
// silence before it and takes nothing off the first track.
TEST(ZarnAudio, ExtractWritesTheTracksAsWavFiles) {
    qvtest::TempDir dir;
    const std::string sox = " && sox -r 44100 -c 2 -n -b 16 -e signed -L -t raw ";
    RunOk("cd " + ShellQuote(dir.path()) + sox + "a.raw synth " + std::to_string(300 * 588) + "s sine 440 vol 0.5" + sox +
          "b.raw synth " + std::to_string(200 * 588) + "s sine 880 vol 0.5 && cat a.raw b.raw > disc.bin" +
          " && head -c " + std::to_string(150 * 2352) + " /dev/zero > gap.raw");
    qvtest::WriteFileText(dir / "disc.cue",
                          "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:04:00\n");
    // A settings folder of its own: the track names come from the default template.
    RunOk("XDG_CONFIG_HOME=" + ShellQuote(dir / "config") + " " +
          Zarn("extract " + ShellQuote(dir / "disc.cue") + " / -od " + ShellQuote(dir / "out")));
    RunOk("cd " + ShellQuote(dir.path()) + " && cat gap.raw b.raw > two.raw && ls out > names" +
          " && printf '01-One.wav\\n02-Track02.wav\\n' | cmp - names" +
          " && tail -c +45 out/01-One.wav | cmp - a.raw && tail -c +45 out/02-Track02.wav | cmp - two.raw");
}

TEST_F(ZarnTest, CreateWritesAnImageThePeersAccept) {
    const std::string out = dir_ / "new.iso";
    RunOk(Zarn("create -o " + out + " -add " + (dir_ / "src") + " / -add " + (dir_ / "src/a.txt") +
               " /extra -label BACKUP -joliet 3"));
    const std::string verify = RunOk("isovfy " + out + " 2>&1");
    EXPECT_NE(verify.find("No errors found"), std::string::npos) << verify;
    const std::string test = RunOk("7z t " + out);
    EXPECT_NE(test.find("Everything is Ok"), std::string::npos) << test;
    EXPECT_NE(RunOk("isoinfo -d -i " + out).find("Volume id: BACKUP"), std::string::npos);
    EXPECT_NE(RunOk("isoinfo -J -f -i " + out).find("/extra/a.txt"), std::string::npos);
}

TEST_F(ZarnTest, ExitCodesAndMessages) {
    const std::string out = dir_ / "out";
    const std::string noDrives = qvtest::Run("test -r /dev/fuse -a -w /dev/fuse").exitCode == 0
                                     ? "The Quendravine virtual drive helper is not running.\r\n\r\nStart it with \"qvhelper &\""
                                     : "Quendravine Virtual Drive is not installed correctly.";
    const struct {
        std::string args;
        int exitCode;
        std::string text;
    } rows[] = {
        {"", 255, "No parameters."},
        {"-?", 0, "Usage:    zarn <command> [parameters] [-switches]\r\n"},
        {"list " + iso_ + " /nothing", 255, "/nothing: The folder does not exist.\r\n"},
        {"list " + (dir_ / "missing.iso") + " /", 255, "missing.iso"},
        {"extract " + iso_ + " /", 255, "Please specify extract output directory."},
        {"extract " + iso_ + " /none -od " + out, 255, "Can not find the object: /none\r\n"},
        {"create -o " + (dir_ / "x.iso") + " -add " + (dir_ / "nothing") + " /", 255, "Can not find file or folder: "},
        {"create", 255, "Bad parameter: create"},
        {"setvdnum x", 255, "Bad parameter: setvdnum"},
        // No helper runs here: with FUSE in place that is what the user is told.
        {"listvd", 255, noDrives},
        {"mount " + iso_ + " F:", 255, noDrives},
        {"convert " + iso_ + " -o " + (dir_ / "c.daa"), 0, ""},
        {"convert " + iso_ + " -o " + (dir_ / "c.iso"), 0, ""},
        {"-delete " + iso_, 255, "Not supported: -delete"},
        // A password question that gets no answer says so.
        {"extract " + (dir_ / "p.zip") + " / -od " + (dir_ / "pz"), 255, "No password was given.\r\n"},
        {"extract " + (dir_ / "p.zip") + " / -od " + (dir_ / "pw") + " -password wrong", 255,
         "Extract failed! Data error or wrong password!"},
    };
    RunOk("cd " + ShellQuote(dir_ / "src") + " && zip -q -P right -r ../p.zip .");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const qvtest::CommandResult r = qvtest::Run(Zarn(row.args) + " </dev/null");
        EXPECT_EQ(r.exitCode, row.exitCode) << r.output;
        EXPECT_NE(r.output.find(row.text), std::string::npos) << r.output;
    }
    // Both converted copies are whole: the DAA lists as the source does.
    const qvtest::CommandResult daa = qvtest::Run(Zarn("list " + (dir_ / "c.daa") + " / -r") + " </dev/null");
    EXPECT_EQ(daa.exitCode, 0) << daa.output;
    EXPECT_NE(daa.output.find("a.txt"), std::string::npos) << daa.output;
    RunOk("bash -c 'diff <(isoinfo -J -f -i " + iso_ + " | sort) <(isoinfo -J -f -i " + (dir_ / "c.iso") + " | sort)'");
}

TEST_F(ZarnTest, OutputTypesWithoutAWriterAreRefusedAndBareNamesGetTheirSuffix) {
    // Types we only read never receive ISO bytes under their name.
    for (const char* name : {"x.cue", "x.ccd", "x.mds", "x.wim", "x.nrg"}) {
        SCOPED_TRACE(name);
        const qvtest::CommandResult r = qvtest::Run(Zarn("convert " + iso_ + " -o " + (dir_ / name)) + " </dev/null");
        EXPECT_EQ(r.exitCode, 255) << r.output;
        EXPECT_NE(r.output.find("cannot be written. The types that can be written are: .iso, .bin"), std::string::npos)
            << r.output;
        EXPECT_NE(qvtest::Run("test -e " + (dir_ / name)).exitCode, 0);
    }
    // A name without a suffix gets the type's; "-ot bin" writes a BIN with its
    // sheet, which bchunk splits back into the ISO track.
    RunOk(Zarn("convert " + iso_ + " -o " + (dir_ / "bare")) + " </dev/null");
    RunOk(Zarn("convert " + iso_ + " -o " + (dir_ / "raw") + " -ot bin") + " </dev/null");
    RunOk("cd " + ShellQuote(dir_.path()) + " && test ! -e bare && test -s raw.bin && test -s raw.cue" +
          " && bchunk raw.bin raw.cue track >/dev/null");
    // A zip saved as ISO, with a temporary folder of its own: 7z reads the
    // files back, and no work folder is left behind.
    RunOk("mkdir " + (dir_ / "tmp") + " && cd " + ShellQuote(dir_ / "src") + " && zip -q -r ../a.zip .");
    RunOk("TMPDIR=" + ShellQuote(dir_ / "tmp") + " " + Zarn("convert " + (dir_ / "a.zip") + " -o " + (dir_ / "fromzip.iso")) + " </dev/null");
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(dir_ / "tmp")), "");
    RunOk("cd " + ShellQuote(dir_.path()) + " && 7z x -bd -ozipped fromzip.iso >/dev/null && diff -r src zipped");
    const std::string want = RunOk("isoinfo -J -f -i " + iso_ + " | sort");
    EXPECT_EQ(RunOk("isoinfo -J -f -i " + (dir_ / "bare.iso") + " | sort"), want);
    EXPECT_EQ(RunOk("isoinfo -J -f -i " + (dir_ / "track01.iso") + " | sort"), want);
}

TEST_F(ZarnTest, ACutImageIsListedAndExtractedAsFarAsItReadsAndFails) {
    // genisoimage puts the folders first: 100 KB hold the whole tree but not
    // the 300,000-byte file's data.
    RunOk("head -c 102400 " + iso_ + " > " + (dir_ / "cut.iso"));
    for (const std::string& args : {"list " + (dir_ / "cut.iso") + " / -r",
                                    "extract " + (dir_ / "cut.iso") + " / -od " + (dir_ / "cut"),
                                    "convert " + (dir_ / "cut.iso") + " -o " + (dir_ / "cut.daa")}) {
        SCOPED_TRACE(args);
        const qvtest::CommandResult r = qvtest::Run(Zarn(args) + " </dev/null");
        EXPECT_EQ(r.exitCode, 255) << r.output;
        EXPECT_NE(r.output.find("cut.iso: Unexpected end of file found."), std::string::npos) << r.output;
        if (args.rfind("extract", 0) == 0) {
            EXPECT_NE(r.output.find("b.bin\r\n\r\nExtract failed!"), std::string::npos) << r.output;
        }
    }
    // The file that cannot be read is named; the others are written whole.
    RunOk("cmp " + (dir_ / "cut/a.txt") + " " + (dir_ / "src/a.txt"));
    RunOk("cmp " + ShellQuote(dir_ / "cut/sp ace.txt") + " " + ShellQuote(dir_ / "src/sp ace.txt"));
    EXPECT_NE(qvtest::Run("test -e " + (dir_ / "cut/sub/b.bin")).exitCode, 0);
}

TEST_F(ZarnTest, NamesThatReadLikeEchoMarkersAreShownAndLeaveEchoOn) {
    RunOk("mkdir -p " + (dir_ / "m") + " && cd " + (dir_ / "m") +
          " && printf 1 > 'a<E0>b.txt' && printf 2 > 'c<<E1>d' && printf 3 > 'e<E'");
    RunOk("xorriso -outdev " + (dir_ / "m.iso") + " -map " + (dir_ / "m") + " / -joliet on 2>/dev/null");
    const qvtest::CommandResult r = qvtest::Run(
        "script -qec " + ShellQuote(Zarn("list " + (dir_ / "m.iso") + " /") + "; echo rc=$?; stty -a") + " /dev/null");
    EXPECT_NE(r.output.find("rc=0"), std::string::npos) << r.output;
    for (const char* name : {"  a<E0>b.txt\r", "  c<<E1>d\r", "  e<E\r"}) EXPECT_NE(r.output.find(name), std::string::npos) << name << r.output;
    EXPECT_EQ(r.output.find("-echo "), std::string::npos) << r.output;
}

TEST_F(ZarnTest, AnExt2VolumeFillingTheFileOrAVhdIsReadByItsFileSystem) {
    // mke2fs -d stores the zero-filled file as holes only: no blocks at all.
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir vol && cp -r src/. vol/ && head -c 200000 /dev/zero > vol/zeros" +
          " && truncate -s 8M e2.img && mke2fs -q -t ext2 -d vol e2.img" +
          " && qemu-img convert -f raw -O vpc e2.img e2.vhd" +
          " && truncate -s 8M e4.img && mke2fs -q -t ext4 -d vol e4.img");
    // ext4 goes through the archive library: its journal is no file of the volume.
    for (const char* image : {"e2.img", "e2.vhd", "e4.img"}) {
        SCOPED_TRACE(image);
        const std::string out = dir_ / (std::string(image) + ".out");
        RunOk(Zarn("extract " + (dir_ / image) + " / -od " + out) + " </dev/null");
        RunOk("rmdir " + out + "/lost+found && diff -r " + (dir_ / "vol") + " " + out);
    }
}

TEST_F(ZarnTest, AMixedModeDiscCountsOnlyItsFilesInTheFolderTotals) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && genisoimage -quiet -o data.iso src/sub" +
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw music.raw synth 117600s sine 440");
    qvtest::WriteFileText(dir_ / "mixed.cue", "FILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
                                              "FILE \"music.raw\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    const std::string listing = RunOk(Zarn("list " + (dir_ / "mixed.cue") + " / -r") + " </dev/null");
    EXPECT_NE(listing.find("1 Files, 3 Folders  300,000 bytes\r\n\r\nObjects in /DEEP:"), std::string::npos) << listing;
    EXPECT_NE(listing.find("1 Files, 2 Folders  1 bytes\r\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Total:\r\n\t2 Files, 3 Folders  300,001 bytes"), std::string::npos) << listing;
}

// A mixed-mode disc written as one BIN keeps its music after the rebuilt data
// track, and the new sheet points at where each track was written: bchunk
// splits it back into the same music, and our own reader takes it again.
TEST_F(ZarnTest, AMixedModeDiscConvertedToBinKeepsEveryTrack) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && genisoimage -quiet -o data.iso src/sub" +
          " && head -c 176400 /dev/urandom > a.raw && head -c 529200 /dev/urandom > b.raw");
    qvtest::WriteFileText(dir_ / "mixed.cue", "FILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
                                              "FILE \"a.raw\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                                              "FILE \"b.raw\" BINARY\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n"
                                              "    INDEX 01 00:02:00\n");
    const std::string bin = dir_ / "m.bin";
    RunOk(Zarn("convert " + (dir_ / "mixed.cue") + " -o " + bin) + " </dev/null >/dev/null");
    // 75 frames of a.raw, 225 of b.raw (its 150-frame gap included).
    const int64_t size = std::stoll(RunOk("stat -c %s " + bin));
    EXPECT_EQ(size % 2352, 0);
    EXPECT_GT(size, 300 * 2352);
    RunOk("cd " + ShellQuote(dir_.path()) + " && bchunk -w m.bin m.cue out >/dev/null");
    RunOk("cd " + ShellQuote(dir_.path()) + " && tail -c 176400 out02.wav | cmp - a.raw");
    RunOk("cd " + ShellQuote(dir_.path()) + " && tail -c 176400 b.raw > b1.raw && tail -c 176400 out03.wav | cmp - b1.raw");
    RunOk("cd " + ShellQuote(dir_.path()) + " && test $(stat -c %s out03.wav) -eq 176444");
    const std::string out = dir_ / "x";
    RunOk(Zarn("extract " + (dir_ / "m.cue") + " / -od " + out) + " </dev/null >/dev/null");
    RunOk("cmp " + out + "/B.BIN " + (dir_ / "src/sub/b.bin"));
}

TEST_F(ZarnTest, TerminalStaysUsableUnderScript) {
    // Through a real terminal: the program's output arrives, the exit code
    // passes through, and echo is on afterwards.
    const qvtest::CommandResult r =
        qvtest::Run("script -qec " + ShellQuote(Zarn("list " + iso_ + " /nothing") + "; echo rc=$?; stty -a") + " /dev/null");
    EXPECT_NE(r.output.find("The folder does not exist."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("rc=255"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" echo "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("-echo "), std::string::npos) << r.output;
}

TEST(ZarnKilled, AKilledFrontEndLeavesNoHalfWrittenFile) {
    // zarn dies while the program writes a large file (its temporary beside
    // the name has appeared): the program notices the session gone, cancels,
    // and the file is either whole or not there.
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir " + (dir / "src") + " && head -c 400000000 /dev/zero > " + (dir / "src/big.bin") +
                  " && genisoimage -quiet -o " + (dir / "big.iso") + " " + (dir / "src"));
    const std::string out = dir / "out";
    // The program's arguments are not in its command line: it is found by a
    // mark in the environment it inherits.
    const std::string mark = "QVTEST_KILLED_MARK=" + dir.path().substr(dir.path().rfind('/') + 1);
    const std::string running = "grep -lsa " + ShellQuote(mark) + " /proc/[0-9]*/environ | grep -v self >/dev/null";
    const qvtest::CommandResult r = qvtest::Run(
        "(" + mark + " " + ShellQuote(kZarn) + " extract " + (dir / "big.iso") + " / -od " + out +
        " </dev/null >/dev/null 2>&1 & " +
        "Z=$!; for i in $(seq 600); do [ -n \"$(ls -A " + out + " 2>/dev/null)\" ] && break; sleep 0.05; done; " +
        "kill -9 $Z; for i in $(seq 600); do " + running + " || break; sleep 0.05; done; " +
        running + " && echo still-running; ls -A " + out + ")");
    EXPECT_EQ(r.output.find("still-running"), std::string::npos) << r.output;
    // The cancelled file's temporary went with it.
    EXPECT_EQ(r.output.find(".qvtmp"), std::string::npos) << r.output;
    for (const char* name : {"BIG.BIN", "big.bin"}) {
        const std::string file = out + "/" + name;
        if (qvtest::Run("test -e " + file).exitCode == 0) qvtest::RunOk("cmp " + file + " " + (dir / "src/big.bin"));
    }
}

}  // namespace

namespace {

// "create-lang-file" goes on into the window program, which ends once its
// main window is made; without a display it says so and fails.
TEST_F(ZarnTest, CreateLangFileContinuesIntoTheWindowProgram) {
    qvtest::TempDir config;
    const std::string env = "QV_CONFIG_DIR=" + ShellQuote(config.path()) + " ";
    const qvtest::CommandResult shown =
        qvtest::Run(env + "QT_QPA_PLATFORM=offscreen timeout 60 " + ShellQuote(kZarn) + " create-lang-file </dev/null 2>&1");
    EXPECT_EQ(shown.exitCode, 0) << shown.output;
    const qvtest::CommandResult bare = qvtest::Run(env + "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 " +
                                                   ShellQuote(kZarn) + " create-lang-file </dev/null 2>&1");
    EXPECT_EQ(bare.exitCode, 1) << bare.output;
    EXPECT_NE(bare.output.find("no display"), std::string::npos) << bare.output;
    // "-email" without a file ends with 1 as well.
    const qvtest::CommandResult mail = qvtest::Run(env + Zarn("-email") + " </dev/null");
    EXPECT_EQ(mail.exitCode, 1) << mail.output;
}

}  // namespace
