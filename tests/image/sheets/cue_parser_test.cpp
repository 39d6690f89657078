// CUE sheet parsing: a table of sheets over tiny BIN files, checked against the
// rules of the format and, where libcdio reads the same sheet, against the
// track list `cd-info --cue-file` prints; bchunk and cuebreakpoints confirm the
// track boundaries.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "image/sheets/cue_parser.h"
#include "image/sheets/cue_parser_names.h"
#include "image/sheets/cue_parser_tokens.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using image::SheetError;
using image::TrackListPtr;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

void WriteSectors(const std::string& path, int64_t bytes) {
    std::vector<uint8_t> data(static_cast<size_t>(bytes));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    qvtest::WriteFileBytes(path, data.data(), data.size());
}

TrackListPtr Parse(const std::string& path, image::SheetDiagnostics* diag = nullptr) {
    return image::ParseCueSheet(U16(path), diag);
}

struct ExpectedTrack {
    uint8_t mode;
    int32_t start;
    int32_t length;
    int32_t pregap;
    int32_t index01;
    int32_t sectorSize;
};

struct GoodRow {
    const char* name;
    int64_t binBytes;
    const char* sheet;   // FILE lines name "x.bin"
    std::vector<ExpectedTrack> tracks;
    int32_t imageSectorSize;
    bool libcdioReads;   // libcdio refuses POSTGAP, frame 75 and foreign keywords
};

const std::vector<GoodRow>& GoodRows() {
    static const std::vector<GoodRow> rows = {
        {"single data track", 2352 * 300,
         "FILE \"x.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
         {{3, 0, 300, 0, 0, 2352}}, 2352, true},
        {"2048-byte data track", 2048 * 300,
         "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n",
         {{2, 0, 300, 0, 0, 2048}}, 2048, true},
        {"mode 2 of 2336 bytes", 2336 * 200,
         "FILE \"x.bin\" BINARY\n TRACK 01 MODE2/2336\n  INDEX 01 00:00:00\n",
         {{4, 0, 200, 0, 0, 2336}}, 2352, true},
        {"data then audio with INDEX 00", 2352 * 1000,
         "FILE \"x.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n",
         {{8, 0, 300, 0, 0, 2352}, {1, 450, 550, 150, 450, 2352}}, 2352, true},
        {"INDEX 00 closer than 150 sectors is ignored", 2352 * 1000,
         "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:02:00\n",
         {{1, 0, 150, 0, 0, 2352}, {1, 150, 850, 0, 150, 2352}}, 2352, true},
        // libcdio gives no disc address to a made-up gap.
        {"PREGAP counts into the pregap, not into the file", 2352 * 1000,
         "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:06:00\n",
         {{1, 0, 450, 0, 0, 2352}, {1, 600, 550, 150, 450, 2352}}, 2352, false},
        {"frame 75 counts as 0, unknown keywords skipped", 2352 * 1000,
         "REM COMMENT \"x\"\nARRANGER \"someone\"\nFILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n"
         "    INDEX 01 00:00:75\n  TRACK 02 AUDIO\n    INDEX 01 00:10:00\n    INDEX 02 00:10:30\n",
         {{1, 0, 750, 0, 0, 2352}, {1, 750, 250, 0, 750, 2352}}, 2352, false},
        {"POSTGAP after the track", 2352 * 1000,
         "file \"x.bin\" binary\n  track 01 audio\n    index 01 00:00:00\n    postgap 00:01:00\n"
         "  track 02 audio\n    index 01 00:05:00\n",
         {{1, 0, 375, 0, 0, 2352}, {1, 450, 625, 0, 375, 2352}}, 2352, false},
    };
    return rows;
}

struct CdInfoTrack {
    int number;
    int32_t lsn;
    std::string type;
};

std::vector<CdInfoTrack> CdInfoTracks(const std::string& cue) {
    std::string out = qvtest::RunOk("cd-info --no-header --no-device-info --no-cddb --cue-file " +
                                    qvtest::ShellQuote(cue));
    std::vector<CdInfoTrack> tracks;
    std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_search(l, m, line) && std::stoi(m[1]) < 100) {
            tracks.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3]});
        }
    }
    return tracks;
}

TEST(CueParser, GoodSheetsGiveTheirTracks) {
    for (const GoodRow& row : GoodRows()) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        WriteSectors(dir / "x.bin", row.binBytes);
        qvtest::WriteFileText(dir / "x.cue", row.sheet);
        image::SheetDiagnostics diag;
        TrackListPtr list = Parse(dir / "x.cue", &diag);
        ASSERT_TRUE(list) << static_cast<int>(diag.error) << " at line " << diag.line;
        ASSERT_EQ(list->trackCount, static_cast<int32_t>(row.tracks.size()));
        EXPECT_EQ(list->firstTrackNumber, 1);
        EXPECT_EQ(list->imageSectorSize, row.imageSectorSize);
        EXPECT_EQ(list->firstFilePath, U16(dir / "x.bin"));
        EXPECT_EQ(list->sheetPath, U16(dir / "x.cue"));
        for (size_t i = 0; i < row.tracks.size(); ++i) {
            const image::TrackEntry& t = list->tracks[i];
            const ExpectedTrack& e = row.tracks[i];
            SCOPED_TRACE(i + 1);
            EXPECT_EQ(t.mode, e.mode);
            EXPECT_EQ(t.startSector, e.start);
            EXPECT_EQ(t.length, e.length);
            EXPECT_EQ(t.pregap, e.pregap);
            EXPECT_EQ(t.index01Position, e.index01);
            EXPECT_EQ(t.sectorSize, e.sectorSize);
            EXPECT_EQ(t.dataOffset, int64_t{e.sectorSize} * e.index01);
            EXPECT_EQ(t.endOffset, row.binBytes);
            EXPECT_EQ(t.fileName, U16(dir / "x.bin"));
            EXPECT_FALSE(t.fileHandle) << "tracks of the first file use the image handle";
        }
        EXPECT_EQ(image::IsValidTrackList(list.get(), nullptr), 1);

        if (row.libcdioReads) {
            std::vector<CdInfoTrack> theirs = CdInfoTracks(dir / "x.cue");
            ASSERT_EQ(theirs.size(), row.tracks.size());
            for (size_t i = 0; i < theirs.size(); ++i) {
                EXPECT_EQ(theirs[i].lsn, list->tracks[i].startSector) << "track " << i + 1;
                EXPECT_EQ(theirs[i].type == "audio", list->tracks[i].mode == image::track_mode::kAudio);
            }
        }
    }
}

TEST(CueParser, VcdimagerSheets) {
    qvtest::TempDir dir;
    qvtest::WriteFileBytes(dir / "empty.mpg", "", 0);
    for (bool narrow : {true, false}) {
        SCOPED_TRACE(narrow ? "MODE2/2336" : "MODE2/2352");
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && vcdimager -q -t vcd2 -T '2020-01-02 03:04:05' " +
                      (narrow ? "--sector-2336 " : "") + "-c v.cue -b v.bin empty.mpg");
        int32_t size = narrow ? 2336 : 2352;
        int64_t sectors = static_cast<int64_t>(qvtest::ReadFileBytes(dir / "v.bin").size()) / size;
        image::SheetDiagnostics diag;
        TrackListPtr list = Parse(dir / "v.cue", &diag);
        ASSERT_TRUE(list) << static_cast<int>(diag.error) << " line " << diag.line;
        ASSERT_EQ(list->trackCount, 2);
        uint8_t mode = narrow ? image::track_mode::kMode2 : image::track_mode::kMode2Raw;
        EXPECT_EQ(list->tracks[0].mode, mode);
        EXPECT_EQ(list->tracks[1].mode, mode);
        EXPECT_EQ(list->tracks[0].sectorSize, size);
        EXPECT_EQ(list->details[1]->flags, image::track_flag::kDcp);
        EXPECT_EQ(list->tracks[1].pregap, 150);
        EXPECT_EQ(list->tracks[1].startSector, 450);
        EXPECT_EQ(list->tracks[0].length, 300);
        EXPECT_EQ(list->tracks[1].length, sectors - 450);
        EXPECT_EQ(list->tracks[1].dataOffset, int64_t{450} * size);
        std::vector<CdInfoTrack> theirs = CdInfoTracks(dir / "v.cue");
        ASSERT_EQ(theirs.size(), 2u);
        EXPECT_EQ(theirs[1].lsn, list->tracks[1].startSector);
    }
}

TEST(CueParser, BchunkCutsTheSameTracks) {
    qvtest::TempDir dir;
    WriteSectors(dir / "x.bin", 2352 * 900);
    qvtest::WriteFileText(dir / "x.cue",
                          "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n  TRACK 03 AUDIO\n    INDEX 01 00:05:20\n");
    TrackListPtr list = Parse(dir / "x.cue");
    ASSERT_TRUE(list);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && bchunk x.bin x.cue out");
    for (int i = 0; i < 3; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "out%02d.cdr", i + 1);
        EXPECT_EQ(static_cast<int64_t>(qvtest::ReadFileBytes(dir / name).size()),
                  int64_t{list->tracks[i].length} * 2352)
            << name;
    }
}

// PREGAP and POSTGAP are silence the sheet makes up; only an INDEX 00 stretch
// is taken from the file. A sox-made track of 4574 frames stays whole before a
// made-up gap; cuebreakpoints --prepend-gaps says where the file's track ends.
TEST(CueParser, MadeUpGapsLeaveThePreviousTrackWhole) {
    qvtest::TempDir dir;
    // The rate goes before -n so that the sample counts are counted at 44100 Hz.
    const std::string sox = " && sox -r 44100 -c 2 -n -b 16 -e signed -L -t raw ";
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + sox + "a.raw synth " + std::to_string(4574 * 588) +
                  "s sine 440 vol 0.5" + sox + "b.raw synth " + std::to_string(1000 * 588) +
                  "s sine 880 vol 0.5 && cat a.raw b.raw > d.bin");
    struct Row {
        const char* name;
        const char* lines;   // TRACK 01's tail and TRACK 02's gap lines
        int32_t length1, pregap2, pregapInFile2, start2;
    };
    const std::vector<Row> rows = {
        {"PREGAP", "  TRACK 02 AUDIO\n    PREGAP 00:02:00\n", 4574, 150, 0, 4724},
        {"POSTGAP", "    POSTGAP 00:01:00\n  TRACK 02 AUDIO\n", 4574, 0, 0, 4649},
        {"INDEX 00", "  TRACK 02 AUDIO\n    INDEX 00 00:58:74\n", 4424, 150, 150, 4574},
        {"PREGAP and INDEX 00", "  TRACK 02 AUDIO\n    PREGAP 00:01:00\n    INDEX 00 00:58:74\n", 4424, 225, 150,
         4649},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::WriteFileText(dir / "d.cue", std::string("FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n") +
                                                 row.lines + "    INDEX 01 01:00:74\n");
        image::SheetDiagnostics diag;
        TrackListPtr list = Parse(dir / "d.cue", &diag);
        ASSERT_TRUE(list) << static_cast<int>(diag.error) << " at line " << diag.line;
        ASSERT_EQ(list->trackCount, 2);
        EXPECT_EQ(list->tracks[0].length, row.length1);
        EXPECT_EQ(list->tracks[1].pregap, row.pregap2);
        EXPECT_EQ(list->tracks[1].pregapInFile, row.pregapInFile2);
        EXPECT_EQ(list->tracks[1].startSector, row.start2);
        EXPECT_EQ(list->tracks[1].length, 1000);
        EXPECT_EQ(list->tracks[1].dataOffset, int64_t{4574} * 2352);
        EXPECT_EQ(image::IsValidTrackList(list.get(), nullptr), 1);

        std::smatch m;
        const std::string theirs = qvtest::RunOk("cuebreakpoints --prepend-gaps " + qvtest::ShellQuote(dir / "d.cue"));
        ASSERT_TRUE(std::regex_search(theirs, m, std::regex(R"((\d+):(\d\d)\.(\d\d))"))) << theirs;
        EXPECT_EQ((std::stoi(m[1]) * 60 + std::stoi(m[2])) * 75 + std::stoi(m[3]), row.length1);
    }
}

TEST(CueParser, SeveralFilesGetTheirOwnHandlesAndOffsets) {
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "Sub"));
    WriteSectors(dir / "Data.ISO", 2048 * 100);
    WriteSectors(dir / "Sub/Track2.bin", 2352 * 400);
    // Made on Windows: other case, backslash separator.
    qvtest::WriteFileText(dir / "x.cue",
                          "REM SESSION 01\nFILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
                          "REM SESSION 02\nFILE \"sub\\TRACK2.BIN\" BINARY\n  TRACK 02 AUDIO\n"
                          "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n");
    image::SheetDiagnostics diag;
    TrackListPtr list = Parse(dir / "x.cue", &diag);
    ASSERT_TRUE(list) << static_cast<int>(diag.error) << " line " << diag.line;
    ASSERT_EQ(list->trackCount, 2);
    EXPECT_EQ(list->sessionCount, 2);
    EXPECT_EQ(list->imageSectorSize, 2352);
    EXPECT_EQ(list->firstFilePath, U16(dir / "Data.ISO"));
    const image::TrackEntry& t1 = list->tracks[0];
    const image::TrackEntry& t2 = list->tracks[1];
    EXPECT_EQ(t1.length, 100);
    EXPECT_EQ(t1.session, 0);
    EXPECT_FALSE(t1.fileHandle);
    EXPECT_EQ(t2.fileName, U16(dir / "Sub/Track2.bin"));
    EXPECT_TRUE(t2.fileHandle);
    EXPECT_EQ(t2.session, 1);
    EXPECT_EQ(t2.pregap, 150);
    EXPECT_EQ(t2.startSector, 100 + 150);
    EXPECT_EQ(t2.length, 250);
    EXPECT_EQ(t2.dataOffset, 150 * 2352);
    EXPECT_EQ(t2.endOffset, 2352 * 400);
    const image::TrackDetail* d2 = list->details[2].get();
    ASSERT_TRUE(d2);
    EXPECT_EQ(d2->indexOffsets[0], -150);
    EXPECT_EQ(d2->lastIndex, 1);
}

TEST(CueParser, TextsFlagsIsrcAndCatalog) {
    qvtest::TempDir dir;
    WriteSectors(dir / "x.bin", 2352 * 600);
    std::string longTitle(100, 'T');
    qvtest::WriteFileText(dir / "x.cue",
                          "CATALOG 0123456789012\nPERFORMER \"The Band\"\nTITLE \"" + longTitle + "\"\n"
                          "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    FLAGS DCP PRE\n    ISRC US-ABC-99-12345\n"
                          "    TITLE \"First\"\n    SONGWRITER \"\"\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    ISRC bad\n    COMPOSER \"Comp\"\n    INDEX 01 00:03:00\n"
                          "    INDEX 02 00:04:00\n");
    TrackListPtr list = Parse(dir / "x.cue");
    ASSERT_TRUE(list);
    const image::TrackDetail* disc = list->details[0].get();
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->texts[14], u"0123456789012");
    EXPECT_EQ(disc->texts[1], u"The Band");
    EXPECT_EQ(disc->texts[0], std::u16string(80, u'T'));
    EXPECT_EQ(disc->ansiTexts[1], "The Band");
    const image::TrackDetail* t1 = list->details[1].get();
    ASSERT_TRUE(t1);
    EXPECT_EQ(t1->flags, image::track_flag::kDcp | image::track_flag::kPreEmphasis);
    EXPECT_EQ(t1->texts[14], u"USABC9912345");
    EXPECT_EQ(t1->texts[0], u"First");
    EXPECT_TRUE(t1->texts[2].empty());
    const image::TrackDetail* t2 = list->details[2].get();
    ASSERT_TRUE(t2);
    EXPECT_TRUE(t2->texts[14].empty());
    EXPECT_EQ(t2->texts[3], u"Comp");
    EXPECT_EQ(t2->lastIndex, 2);
    EXPECT_EQ(t2->indexOffsets[2], 75);
}

TEST(CueParser, WaveFilesFromSox) {
    qvtest::TempDir dir;
    qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 " + qvtest::ShellQuote(dir / "a.wav") + " synth 3 sine 440");
    qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 " + qvtest::ShellQuote(dir / "b.wav") + " synth 2.5 sine 880");
    qvtest::WriteFileText(dir / "x.cue",
                          "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    image::SheetDiagnostics diag;
    TrackListPtr list = Parse(dir / "x.cue", &diag);
    ASSERT_TRUE(list) << static_cast<int>(diag.error);
    for (int i = 0; i < 2; ++i) {
        std::string wav = dir / (i == 0 ? "a.wav" : "b.wav");
        int64_t samples = std::stoll(qvtest::RunOk("sox --i -s " + qvtest::ShellQuote(wav)));
        int64_t dataBytes = samples * 4;
        int64_t fileBytes = static_cast<int64_t>(qvtest::ReadFileBytes(wav).size());
        const image::TrackEntry& t = list->tracks[i];
        EXPECT_EQ(t.length, (dataBytes + 2351) / 2352);
        EXPECT_EQ(t.fileDataOffset, fileBytes - dataBytes);   // sox puts the data chunk last
        EXPECT_EQ(t.dataOffset, t.fileDataOffset);
        EXPECT_EQ(t.audioSourceKind, 0);
    }
    EXPECT_EQ(list->tracks[1].startSector, list->tracks[0].length);
}

// Stands in for the audio subsystem's probe: every file decodes to 100 sectors.
class FakeDecoderProbe final : public qvtest::NullAudioServices {
public:
    int64_t ProbeAudioFile(platform::FileHandle, std::u16string_view, int32_t* kind, int64_t* dataOffset,
                           int64_t* dataSize) override {
        *kind = 1;
        *dataOffset = 0;
        *dataSize = 100 * 2352 - 7;
        return 100;
    }
};

TEST(CueParser, InstalledAudioServicesProbeMp3) {
    qvtest::TempDir dir;
    WriteSectors(dir / "song.mp3", 4096);
    qvtest::WriteFileText(dir / "x.cue", "FILE \"song.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    TrackListPtr list;
    {
        FakeDecoderProbe probe;
        foundation::ScopedServices<image::SetAudioServices> audio(&probe);
        list = Parse(dir / "x.cue");
    }
    ASSERT_TRUE(list);
    EXPECT_EQ(list->tracks[0].audioSourceKind, 1);
    EXPECT_EQ(list->tracks[0].length, 100);
    EXPECT_FALSE(Parse(dir / "x.cue")) << "without the probe an MP3 file is refused";
}

struct BadRow {
    const char* name;
    std::string sheet;
    SheetError error;
    int32_t line;
};

std::string Tracks(int from, int to) {
    std::string s;
    for (int n = from; n <= to; ++n) {
        char buf[80];
        int sector = n * 5;
        std::snprintf(buf, sizeof buf, "  TRACK %02d AUDIO\n    INDEX 01 00:%02d:%02d\n", n, sector / 75, sector % 75);
        s += buf;
    }
    return s;
}

TEST(CueParser, BadSheetsAreRefusedWithTheirReason) {
    const std::string file = "FILE \"x.bin\" BINARY\n";
    const std::vector<BadRow> rows = {
        {"track numbers start at 1", file + "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n", SheetError::BadTrackNumber, 2},
        {"a 100th track", file + Tracks(1, 100), SheetError::TooManyTracks, 200},
        {"TRACK 100 and 101 numbered on", file + Tracks(1, 99) + "  TRACK 100 AUDIO\n  TRACK 101 AUDIO\n",
         SheetError::TooManyTracks, 200},
        {"TITLE after INDEX 01", file + "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    TITLE \"x\"\n",
         SheetError::KeywordNotAllowed, 4},
        {"sector size change in one file",
         file + "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 MODE1/2048\n    INDEX 01 00:02:00\n",
         SheetError::SectorSizeChange, 4},
        {"last track without INDEX 01", file + "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n",
         SheetError::MissingIndex01, 0},
        {"TRACK before the previous INDEX 01", file + "  TRACK 01 AUDIO\n  TRACK 02 AUDIO\n",
         SheetError::MissingIndex01, 3},
        {"TRACK before any FILE", "TRACK 01 AUDIO\nFILE \"x.bin\" BINARY\n", SheetError::NoFile, 1},
        {"INDEX out of order",
         file + "  TRACK 01 AUDIO\n    INDEX 01 00:04:00\n  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n",
         SheetError::BadIndex, 5},
        {"INDEX past the file", file + "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                       "    INDEX 01 20:00:00\n",
         SheetError::IndexPastFile, 5},
        {"INDEX 01 at the very end of the file", file + "  TRACK 01 AUDIO\n    INDEX 01 00:13:25\n",
         SheetError::IndexPastFile, 3},
        {"INDEX 03 before 02", file + "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    INDEX 03 00:01:00\n",
         SheetError::BadIndex, 4},
        {"seconds past 59", file + "  TRACK 01 AUDIO\n    INDEX 01 00:60:00\n", SheetError::BadIndex, 3},
        {"unknown track mode", file + "  TRACK 01 CDG\n", SheetError::BadTrackMode, 2},
        {"unknown FLAGS word", file + "  TRACK 01 AUDIO\n    FLAGS XYZ\n", SheetError::BadFlags, 3},
        {"unknown FILE type", "FILE \"x.bin\" OGG\n", SheetError::BadFileType, 1},
        {"WAVE file that is no RIFF file", "FILE \"x.bin\" WAVE\n", SheetError::AudioProbeFailed, 1},
        {"MP3 without a music decoder", "FILE \"x.bin\" MP3\n", SheetError::AudioProbeFailed, 1},
        {"missing file", "FILE \"nothere.bin\" BINARY\n", SheetError::FileNotFound, 1},
        {"drive letter name", "FILE \"C:\\x.bin\" BINARY\n", SheetError::FileNotFound, 1},
        {"empty name", "FILE \"\" BINARY\n", SheetError::BadFileName, 1},
        {"file too small", "FILE \"small.bin\" BINARY\n", SheetError::FileTooSmall, 1},
        {"big-endian audio", "FILE \"x.bin\" MOTOROLA\n  TRACK 01 AUDIO\n", SheetError::MotorolaAudio, 2},
        {"extra token", file + "  TRACK 01 AUDIO extra\n", SheetError::ExtraToken, 2},
        {"unquoted two-word title", file + "  TRACK 01 AUDIO\n    TITLE two words\n", SheetError::ExtraToken, 3},
        {"no tracks at all", "REM nothing\n", SheetError::NoTracks, 0},
        {"empty sheet", "", SheetError::Empty, 0},
        {"broken CD-TEXT file", "CDTEXTFILE \"small.bin\"\n" + file, SheetError::CdTextFile, 1},
        // Gaps of 99999:59:74 each: every start still fits 32 bits, the last
        // track's end does not.
        {"last track ends past 32 bits",
         file + "  TRACK 01 AUDIO\n    PREGAP 99999:59:74\n    INDEX 01 00:00:00\n    POSTGAP 99999:59:74\n" +
             file + "  TRACK 02 AUDIO\n    PREGAP 99999:59:74\n    INDEX 01 00:00:00\n    POSTGAP 99999:59:74\n" +
             file + "  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 99999:59:74\n",
         SheetError::BadTrackLength, 0},
    };
    for (const BadRow& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        WriteSectors(dir / "x.bin", 2352 * 1000);
        WriteSectors(dir / "small.bin", 2047);
        qvtest::WriteFileText(dir / "x.cue", row.sheet);
        image::SheetDiagnostics diag;
        EXPECT_FALSE(Parse(dir / "x.cue", &diag));
        EXPECT_EQ(diag.error, row.error);
        EXPECT_EQ(diag.line, row.line);
    }
}

// Names as the sheet gives them: absolute paths and ".." parts are followed,
// the case-insensitive fallback still applies, only a regular file is taken,
// and a failure names the path it resolved.
TEST(CueParser, FileNamesResolveToRegularFilesOnly) {
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(dir / "Disc/Sheets") + " && mkfifo " +
                  qvtest::ShellQuote(dir / "Disc/pipe.bin") + " && mkdir " + qvtest::ShellQuote(dir / "Disc/folder.bin"));
    WriteSectors(dir / "Disc/Track.BIN", 2352 * 10);
    struct Row {
        const char* name;
        std::string fileName;
        SheetError error;       // None: the sheet parses
        std::string path;       // the data file, or the path a failure names
    };
    const std::vector<Row> rows = {
        {"absolute path", dir / "Disc/Track.BIN", SheetError::None, dir / "Disc/Track.BIN"},
        {"absolute path in another case", dir / "Disc/track.bin", SheetError::None, dir / "Disc/Track.BIN"},
        {"parent folder", "../Track.BIN", SheetError::None, dir / "Disc/Sheets/../Track.BIN"},
        {"parent folder, Windows style and case", "..\\TRACK.bin", SheetError::None, dir / "Disc/Sheets/../Track.BIN"},
        {"a pipe", "../pipe.bin", SheetError::NotAFile, dir / "Disc/Sheets/../pipe.bin"},
        {"a folder", dir / "Disc/folder.bin", SheetError::NotAFile, dir / "Disc/folder.bin"},
        {"a device", "/dev/zero", SheetError::NotAFile, "/dev/zero"},
        {"absolute path not there", dir / "Disc/none.bin", SheetError::FileNotFound, dir / "Disc/none.bin"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::WriteFileText(dir / "Disc/Sheets/x.cue",
                              "FILE \"" + row.fileName + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
        image::SheetDiagnostics diag;
        TrackListPtr list = Parse(dir / "Disc/Sheets/x.cue", &diag);
        EXPECT_EQ(diag.error, row.error);
        if (row.error == SheetError::None) {
            ASSERT_TRUE(list);
            EXPECT_EQ(list->firstFilePath, U16(row.path));
            EXPECT_EQ(list->tracks[0].length, 10);
        } else {
            EXPECT_FALSE(list);
            EXPECT_EQ(diag.path, U16(row.path));
        }
    }
}

TEST(CueParser, SheetSizeLimit) {
    qvtest::TempDir dir;
    WriteSectors(dir / "x.bin", 2352 * 300);
    std::string sheet = "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    std::string fits = sheet + std::string(image::kMaxSheetBytes - 1 - sheet.size(), '\n');
    qvtest::WriteFileText(dir / "x.cue", fits);
    EXPECT_TRUE(Parse(dir / "x.cue"));
    qvtest::WriteFileText(dir / "x.cue", fits + "\n");
    image::SheetDiagnostics diag;
    EXPECT_FALSE(Parse(dir / "x.cue", &diag));
    EXPECT_EQ(diag.error, SheetError::TooLarge);
}

TEST(CueParser, OverlongLinesAreCutNotOverflowed) {
    qvtest::TempDir dir;
    WriteSectors(dir / "x.bin", 2352 * 300);
    // The quote never closes within 2048 characters; the text is cut to 80.
    std::string sheet = "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"" + std::string(5000, 'a') +
                        "\"\n    INDEX 01 00:00:00\n";
    qvtest::WriteFileText(dir / "x.cue", sheet);
    TrackListPtr list = Parse(dir / "x.cue");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->details[1]->texts[0], std::u16string(80, u'a'));
}

TEST(CueParser, Utf8WithBomAndAnsiSheets) {
    qvtest::TempDir dir;
    WriteSectors(dir / "Caf\xC3\xA9.bin", 2352 * 300);
    std::string body = "FILE \"caf\xC3\xA9.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"S\xC3\xA9" "ance\"\n"
                       "    INDEX 01 00:00:00\n";
    qvtest::WriteFileText(dir / "u.cue", "\xEF\xBB\xBF" + body);
    TrackListPtr list = Parse(dir / "u.cue");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->details[1]->texts[0], u"S\u00e9ance");
    EXPECT_EQ(list->firstFilePath, U16(dir / "Caf\xC3\xA9.bin"));
}

// A sheet is UTF-8 when a mark says so or its bytes are valid UTF-8, else it is
// in the 8-bit code page: TITLE and PERFORMER come out as written either way.
TEST(CueParser, SheetTextIsUtf8WhenItIsValidUtf8) {
    qvtest::TempDir dir;
    WriteSectors(dir / "x.bin", 2352 * 300);
    struct Row {
        const char* name;
        bool mark;                      // the sheet begins with the UTF-8 byte-order mark
        std::string title, performer;   // the sheet's bytes
        std::u16string wantTitle, wantPerformer;
    };
    const std::vector<Row> rows = {
        {"UTF-8 with a mark", true, "K\xC3\xB6nig", "\xC5\x81\xC3\xB3" "d\xC5\xBA", u"K\u00f6nig", u"\u0141\u00f3d\u017a"},
        {"UTF-8 without a mark", false, "K\xC3\xB6nig", "\xE6\x9D\xB1\xE4\xBA\xAC", u"K\u00f6nig", u"\u6771\u4eac"},
        {"code page 1252", false, "K\xF6nig", "Caf\xE9 \x80", u"K\u00f6nig", u"Caf\u00e9 \u20ac"},
        {"overlong UTF-8 is the code page", false, "A\xC0\xAF", "B", u"A\u00c0\u00af", u"B"},
        {"plain ASCII", false, "Title", "Band", u"Title", u"Band"},
    };
    setenv("QV_ANSI_CODEPAGE", "1252", 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::WriteFileText(dir / "x.cue", (row.mark ? "\xEF\xBB\xBF" : "") + std::string("PERFORMER \"") + row.performer +
                                                 "\"\nFILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"" + row.title +
                                                 "\"\n    INDEX 01 00:00:00\n");
        TrackListPtr list = Parse(dir / "x.cue");
        ASSERT_TRUE(list);
        EXPECT_EQ(list->details[1]->texts[image::cdtext_slot::kTitle], row.wantTitle);
        EXPECT_EQ(list->details[0]->texts[image::cdtext_slot::kPerformer], row.wantPerformer);
    }
    unsetenv("QV_ANSI_CODEPAGE");
}

TEST(CueParser, AnsiSheetInTheChosenCodePage) {
    qvtest::TempDir dir;
    WriteSectors(dir / "x.bin", 2352 * 300);
    // A sheet written on a Russian Windows: code page 1251.
    qvtest::WriteFileText(dir / "x.cue", "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"\xCF\xF0\xE8\xE2\xE5\xF2\"\n"
                                         "    INDEX 01 00:00:00\nREM SESSION 03\n");
    setenv("QV_ANSI_CODEPAGE", "1251", 1);
    TrackListPtr list = Parse(dir / "x.cue");
    unsetenv("QV_ANSI_CODEPAGE");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->details[1]->texts[0], u"\u041f\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(list->sessionCount, 0) << "REM SESSION 03 does not follow session 0";
}

TEST(CueTokens, TimesAndIsrc) {
    struct TimeRow {
        const char16_t* text;
        bool ok;
        int32_t sectors;
    };
    const TimeRow times[] = {
        {u"00:00:00", true, 0},      {u"01:02:03", true, 4500 + 150 + 3}, {u"00:00:75", true, 0},
        {u"00:60:00", false, 0},     {u"00:00", false, 0},                {u"a:00:00", false, 0},
        {u"99 : 59 : 74", true, 99 * 4500 + 59 * 75 + 74},
    };
    for (const TimeRow& row : times) {
        image::SheetTokenizer tokens(row.text);
        int32_t sectors = -1;
        EXPECT_EQ(image::ReadSheetTime(tokens, sectors), row.ok);
        if (row.ok) {
            EXPECT_EQ(sectors, row.sectors);
        }
    }
    std::u16string isrc;
    EXPECT_TRUE(image::CheckIsrc(u"USABC9912345", isrc));
    EXPECT_EQ(isrc, u"USABC9912345");
    EXPECT_TRUE(image::CheckIsrc(u"US-AB1-99-12345", isrc));
    EXPECT_EQ(isrc, u"USAB19912345");
    EXPECT_FALSE(image::CheckIsrc(u"usabc9912345", isrc));
    EXPECT_FALSE(image::CheckIsrc(u"USABC99A2345", isrc));
    EXPECT_FALSE(image::CheckIsrc(u"USABC991234", isrc));
}

TEST(CueNames, ResolvedBesideTheSheet) {
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(dir / "Disc/Audio"));
    WriteSectors(dir / "Disc/Audio/T1.BIN", 10);
    WriteSectors(dir / "Disc/img.MDF", 10);
    std::u16string sheet = U16(dir / "Disc/img.mds");
    std::u16string out;
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"audio\\t1.bin", out), image::SheetNameStatus::Ok);
    EXPECT_EQ(out, U16(dir / "Disc/Audio/T1.BIN"));
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"*.mdf", out), image::SheetNameStatus::Ok);
    EXPECT_EQ(out, U16(dir / "Disc/img.MDF"));
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"./Audio/./T1.BIN", out), image::SheetNameStatus::Ok);
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"Audio/../audio/t1.bin", out), image::SheetNameStatus::Ok);
    EXPECT_EQ(out, U16(dir / "Disc/Audio/../Audio/T1.BIN"));
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"\\\\server\\x", out), image::SheetNameStatus::NotFound);
    EXPECT_EQ(out, u"/server/x");
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"Audio", out), image::SheetNameStatus::NotRegularFile);
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"", out), image::SheetNameStatus::Empty);
    EXPECT_EQ(image::ResolveSheetFileName(sheet, u"none.bin", out), image::SheetNameStatus::NotFound);
    EXPECT_EQ(image::ResolveSheetFileName(sheet, std::u16string(1100, u'n'), out), image::SheetNameStatus::TooLong);
}

}  // namespace
