// CUE sheets we write: every form parses again with our own parser, and
// libcdio (`cd-info --cue-file`) and bchunk read them with the BIN they
// describe: a genisoimage ISO in raw Mode 1 sectors followed by sox audio.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "foundation/messages_scripted.h"
#include "image/sheets/cdtext.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/cue_writer.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

class CueWriterTest : public ::testing::Test {
protected:

    std::string Sheet(const std::string& name) {
        Bytes b = qvtest::ReadFileBytes(dir / name);
        return std::string(b.begin(), b.end());
    }

    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi{&ui};
    qvtest::TempDir dir;
};

image::TrackEntry& AddTrack(image::TrackList& list, uint8_t mode, int32_t start, int32_t length, int32_t pregap = 0,
                            int32_t session = 0) {
    image::TrackEntry& t = list.tracks[static_cast<size_t>(list.trackCount++)];
    t.mode = mode;
    t.startSector = start;
    t.length = length;
    t.pregap = pregap;
    t.session = session;
    t.sectorSize = 2352;
    return t;
}

image::TrackListPtr NewList(int32_t imageSectorSize = 2352) {
    image::TrackListPtr list = image::NewTrackList();
    list->firstTrackNumber = 1;
    list->imageSectorSize = imageSectorSize;
    return list;
}

TEST_F(CueWriterTest, SingleTrackFormIsExactlyThreeLines) {
    ASSERT_EQ(image::WriteSingleTrackCueSheet(U16(dir / "disc.bin")), 0);
    EXPECT_EQ(Sheet("disc.cue"), "FILE \"disc.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");
}

TEST_F(CueWriterTest, EdgeCasesOfTheFullForm) {
    struct Row {
        const char* name;
        std::function<void(image::TrackList&)> fill;
        int32_t imageSectorSize;
        std::string sheet;
    };
    const std::vector<Row> rows = {
        {"Mode 2 raw track", [](image::TrackList& l) { AddTrack(l, image::track_mode::kMode2Raw, 0, 300); }, 2352,
         "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"},
        {"data track with a 150-sector pregap",
         [](image::TrackList& l) { AddTrack(l, image::track_mode::kMode1Raw, 150, 300, 150); }, 2352,
         "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n"},
        {"two sessions",
         [](image::TrackList& l) {
             l.sessionCount = 2;
             AddTrack(l, image::track_mode::kAudio, 0, 300);
             AddTrack(l, image::track_mode::kAudio, 300, 300);
             AddTrack(l, image::track_mode::kMode1Raw, 11400, 300, 0, 1);
         },
         2352,
         "FILE \"x.bin\" BINARY\r\nREM SESSION 01\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
         "  TRACK 02 AUDIO\r\n    INDEX 01 00:04:00\r\nREM SESSION 02\r\n  TRACK 03 MODE1/2352\r\n"
         "    INDEX 01 02:32:00\r\n"},
        {"Mode 2 kept in 2048-byte sectors",
         [](image::TrackList& l) { AddTrack(l, image::track_mode::kMode2Form1, 0, 300); }, 2048,
         "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE2/2048\r\n    INDEX 01 00:00:00\r\n"},
        {"first track of a disc list with its lead-in pregap",
         [](image::TrackList& l) { AddTrack(l, image::track_mode::kMode1, 0, 300, 150); }, 2048,
         "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        image::TrackListPtr list = NewList(row.imageSectorSize);
        row.fill(*list);
        platform::DeleteFileAt(U16(dir / "x.cue"));
        ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "x.bin"), *list, false), 0);
        EXPECT_EQ(Sheet("x.cue"), row.sheet);
    }
}

// The track starts and kinds libcdio reads from a sheet ("audio", "data", "XA").
std::vector<std::pair<int32_t, std::string>> CdInfoTracks(const std::string& cue) {
    std::string info = qvtest::RunOk("cd-info --no-header --no-device-info --no-cddb --cue-file " + qvtest::ShellQuote(cue));
    std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
    std::istringstream in(info);
    std::vector<std::pair<int32_t, std::string>> tracks;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_search(l, m, line) && std::stoi(m[1]) < 100) tracks.emplace_back(std::stoi(m[2]), m[3]);
    }
    return tracks;
}

// The BIN of a mixed disc: the ISO in raw Mode 1 sectors, a pregap of 150
// silent frames, then sox audio.
struct MixedBin {
    Bytes iso, audio;
    int32_t isoSectors = 0, audioSectors = 0;
};

MixedBin MakeMixedBin(const qvtest::TempDir& dir) {
    MixedBin m;
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "src") + " && echo cue > " + qvtest::ShellQuote(dir / "src/f.txt") +
                  " && touch -d @1000000000 " + qvtest::ShellQuote(dir / "src/f.txt"));
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && SOURCE_DATE_EPOCH=1000000000 TZ=UTC genisoimage -quiet -V CUEW -o d.iso src");
    qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 -e signed -t raw " + qvtest::ShellQuote(dir / "a.raw") +
                  " synth 4 sine 440");
    m.iso = qvtest::ReadFileBytes(dir / "d.iso");
    m.audio = qvtest::ReadFileBytes(dir / "a.raw");
    m.isoSectors = static_cast<int32_t>(m.iso.size() / 2048);
    m.audioSectors = static_cast<int32_t>(m.audio.size() / 2352);
    m.audio.resize(static_cast<size_t>(m.audioSectors) * 2352);
    Bytes bin(static_cast<size_t>(m.isoSectors + 150 + m.audioSectors) * 2352, 0);
    for (int32_t s = 0; s < m.isoSectors; ++s) {
        image::MakeMode1Sector(s, m.iso.data() + static_cast<size_t>(s) * 2048, bin.data() + static_cast<size_t>(s) * 2352);
    }
    std::copy(m.audio.begin(), m.audio.end(), bin.begin() + static_cast<std::ptrdiff_t>(m.isoSectors + 150) * 2352);
    qvtest::WriteFileBytes(dir / "mixed.bin", bin.data(), bin.size());
    return m;
}

TEST_F(CueWriterTest, RoundTripAndPeerTools) {
    MixedBin m = MakeMixedBin(dir);
    image::TrackListPtr list = NewList();
    list->sessionCount = 1;
    AddTrack(*list, image::track_mode::kMode1Raw, 0, m.isoSectors);
    image::TrackEntry& audio = AddTrack(*list, image::track_mode::kAudio, m.isoSectors + 150, m.audioSectors, 150);
    (void)audio;
    image::TrackDetail* disc = image::GetTrackCdText(0, list.get());
    disc->texts[0] = u"The \"Best\" Album";
    disc->texts[1] = u"Band";
    image::TrackDetail* t2 = image::GetTrackCdText(2, list.get());
    t2->texts[0] = u"Tune";
    t2->texts[14] = u"USABC9912345";
    t2->lastIndex = 2;
    t2->indexOffsets[2] = 75;
    image::UpdateTrackListCdTextAnsi(list.get());

    ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "mixed.bin"), *list, false), 0);
    std::string sheet = Sheet("mixed.cue");
    EXPECT_NE(sheet.find("TITLE \"The 'Best' Album\"\r\n"), std::string::npos) << sheet;

    // Our parser reads back what we wrote.
    image::SheetDiagnostics diag;
    image::TrackListPtr back = image::ParseCueSheet(U16(dir / "mixed.cue"), &diag);
    ASSERT_TRUE(back) << static_cast<int>(diag.error) << " line " << diag.line << "\n" << sheet;
    ASSERT_EQ(back->trackCount, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(back->tracks[i].mode, list->tracks[i].mode);
        EXPECT_EQ(back->tracks[i].startSector, list->tracks[i].startSector);
        EXPECT_EQ(back->tracks[i].length, list->tracks[i].length);
        EXPECT_EQ(back->tracks[i].pregap, list->tracks[i].pregap);
    }
    EXPECT_EQ(back->details[0]->texts[0], u"The 'Best' Album");
    EXPECT_EQ(back->details[2]->texts[0], u"Tune");
    EXPECT_EQ(back->details[2]->texts[14], u"USABC9912345");
    EXPECT_EQ(back->details[2]->indexOffsets[2], 75);

    // libcdio reads the same track starts.
    auto tracks = CdInfoTracks(dir / "mixed.cue");
    ASSERT_EQ(tracks.size(), 2u) << sheet;
    EXPECT_EQ(tracks[0], std::make_pair(0, std::string("data")));
    EXPECT_EQ(tracks[1], std::make_pair(m.isoSectors + 150, std::string("audio")));

    // bchunk cuts the ISO and the audio back out (it would take INDEX 02 for
    // the start of the track, so that one is left out here).
    t2->lastIndex = 0;
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "mixed.bin"), *list, false), 0);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && bchunk mixed.bin mixed.cue out");
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "out01.iso"), m.iso);
    Bytes cdr = qvtest::ReadFileBytes(dir / "out02.cdr");
    ASSERT_EQ(cdr.size(), m.audio.size());
    EXPECT_TRUE(cdr == m.audio);
}

// Every BINARY form we write over a BIN of the size it describes: our parser
// gives back the tracks, libcdio reads the same starts and kinds, and bchunk
// (for the raw 2352-byte forms it knows) cuts one file per track.
TEST_F(CueWriterTest, EveryBinaryFormReadsBackWithLibcdioAndBchunk) {
    struct Row {
        const char* name;
        std::function<image::TrackListPtr()> make;   // null: the session form of a document
        std::vector<std::string> libcdioKinds;
        bool bchunk;
    };
    const std::vector<Row> rows = {
        {"Mode 2 raw",
         [] {
             image::TrackListPtr l = NewList();
             AddTrack(*l, image::track_mode::kMode2Raw, 0, 300);
             return l;
         },
         {"XA"}, true},
        {"two sessions of raw sectors",
         [] {
             image::TrackListPtr l = NewList();
             l->sessionCount = 2;
             AddTrack(*l, image::track_mode::kAudio, 0, 300);
             AddTrack(*l, image::track_mode::kAudio, 300, 300);
             AddTrack(*l, image::track_mode::kMode1Raw, 600, 300, 0, 1);
             return l;
         },
         {"audio", "audio", "data"}, true},
        {"Mode 2 kept in 2048-byte sectors",
         [] {
             image::TrackListPtr l = NewList(2048);
             AddTrack(*l, image::track_mode::kMode2Form1, 0, 300);
             return l;
         },
         {"XA"}, false},
        {"a later session of a document", nullptr, {"data", "data"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform::DeleteFileAt(U16(dir / "f.cue"));
        image::TrackListPtr expected;
        if (row.make) {
            expected = row.make();
            ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "f.bin"), *expected, false), 0);
        } else {
            auto ctx = std::make_unique<image::ImageContext>();
            ctx->endSector = 400;
            ctx->multiSession = 1;
            ctx->sessionStartLba = 500;
            ctx->nextWritableSector = 700;
            ASSERT_EQ(image::WriteCueSheet(U16(dir / "f.bin"), *ctx), 0);
            expected = image::NewDiscTrackList(400);
            AddTrack(*expected, image::track_mode::kMode1, 500, 200, 0, 1).sectorSize = 2048;
            expected->sessionCount = 2;
        }
        const image::TrackEntry& last = expected->tracks[static_cast<size_t>(expected->trackCount - 1)];
        int32_t sectorSize = expected->imageSectorSize;
        Bytes bin(static_cast<size_t>(last.startSector + last.length) * static_cast<size_t>(sectorSize), 0);
        qvtest::WriteFileBytes(dir / "f.bin", bin.data(), bin.size());

        image::SheetDiagnostics diag;
        image::TrackListPtr back = image::ParseCueSheet(U16(dir / "f.cue"), &diag);
        ASSERT_TRUE(back) << static_cast<int>(diag.error) << " line " << diag.line << "\n" << Sheet("f.cue");
        ASSERT_EQ(back->trackCount, expected->trackCount);
        EXPECT_EQ(back->sessionCount, expected->sessionCount > 1 ? expected->sessionCount : 0);
        for (int32_t i = 0; i < back->trackCount; ++i) {
            SCOPED_TRACE(i + 1);
            EXPECT_EQ(back->tracks[i].mode, expected->tracks[i].mode);
            EXPECT_EQ(back->tracks[i].startSector, expected->tracks[i].startSector);
            EXPECT_EQ(back->tracks[i].session, expected->tracks[i].session);
        }
        EXPECT_EQ(back->tracks[back->trackCount - 1].length, last.length);

        auto theirs = CdInfoTracks(dir / "f.cue");
        ASSERT_EQ(theirs.size(), row.libcdioKinds.size()) << Sheet("f.cue");
        for (size_t i = 0; i < theirs.size(); ++i) {
            EXPECT_EQ(theirs[i].first, expected->tracks[i].startSector) << "track " << i + 1;
            EXPECT_EQ(theirs[i].second, row.libcdioKinds[i]) << "track " << i + 1;
        }
        if (row.bchunk) {
            qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && rm -f out* && bchunk f.bin f.cue out");
            std::string made = qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && ls out*");
            EXPECT_EQ(static_cast<int32_t>(std::count(made.begin(), made.end(), '\n')), expected->trackCount) << made;
        }
    }
}

// A WAVE sheet parses again over the WAVE file it names (made by sox), each
// track where the running positions put it.
TEST_F(CueWriterTest, WaveSheetParsesAgainOverItsWaveFile) {
    qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 " + qvtest::ShellQuote(dir / "songs.wav") + " synth 10 sine 440");
    image::TrackListPtr list = NewList();
    AddTrack(*list, image::track_mode::kAudio, 0, 300);
    AddTrack(*list, image::track_mode::kAudio, 450, 200, 150);
    ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "songs.wav"), *list, true), 0);
    image::SheetDiagnostics diag;
    image::TrackListPtr back = image::ParseCueSheet(U16(dir / "songs.cue"), &diag);
    ASSERT_TRUE(back) << static_cast<int>(diag.error) << " line " << diag.line << "\n" << Sheet("songs.cue");
    ASSERT_EQ(back->trackCount, 2);
    EXPECT_EQ(back->tracks[0].startSector, 0);
    EXPECT_EQ(back->tracks[0].length, 300);
    EXPECT_EQ(back->tracks[1].startSector, 450);
    EXPECT_EQ(back->tracks[1].pregap, 150);
    EXPECT_EQ(back->tracks[1].length, 750 - 450);   // 10 s of audio: 750 sectors
    EXPECT_GT(back->tracks[1].fileDataOffset, 0) << "after the WAVE header";
}

TEST_F(CueWriterTest, WaveSheetListsChosenTracksAtRunningPositions) {
    image::TrackListPtr list = NewList();
    AddTrack(*list, image::track_mode::kAudio, 0, 1000);
    AddTrack(*list, image::track_mode::kAudio, 1150, 500, 150);
    AddTrack(*list, image::track_mode::kAudio, 1800, 400, 150);
    const int32_t chosen[] = {1, 2};
    ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "songs.wav"), *list, true, chosen), 0);
    EXPECT_EQ(Sheet("songs.cue"),
              "FILE \"songs.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
              "  TRACK 02 AUDIO\r\n    INDEX 00 00:08:50\r\n    INDEX 01 00:10:50\r\n");
}

TEST_F(CueWriterTest, NamesAndOverwrites) {
    image::TrackListPtr list = NewList();
    AddTrack(*list, image::track_mode::kAudio, 0, 300);
    // A double quote cannot stand in a FILE name.
    EXPECT_EQ(image::WriteFullCueSheet(U16(dir / "a\"b.bin"), *list, false), -1);
    EXPECT_FALSE(platform::FileExists(U16(dir / "a\"b.cue")));

    // An existing sheet is replaced only when the user says so.
    qvtest::WriteFileText(dir / "x.cue", "old");
    ui.QueueBoxAnswer(foundation::kIdNo);
    EXPECT_EQ(image::WriteFullCueSheet(U16(dir / "x.bin"), *list, false), -1);
    EXPECT_EQ(Sheet("x.cue"), "old");
    ui.QueueBoxAnswer(foundation::kIdYes);
    EXPECT_EQ(image::WriteFullCueSheet(U16(dir / "x.bin"), *list, false), 0);
    EXPECT_EQ(Sheet("x.cue").substr(0, 4), "FILE");
    // No temporary file is left behind.
    EXPECT_EQ(qvtest::RunOk("ls -A " + qvtest::ShellQuote(dir.path())).find(".qvtmp"), std::string::npos);

    // A name the ANSI code page cannot carry is written as UTF-8 with its mark.
    ASSERT_EQ(image::WriteSingleTrackCueSheet(U16(dir / "\xE6\x97\xA5.bin")), 0);
    std::string utf8 = Sheet("\xE6\x97\xA5.cue");
    EXPECT_EQ(utf8.substr(0, 3), "\xEF\xBB\xBF");
}

// Texts and INDEX points from other sources (CD-TEXT files, the audio editor)
// never make a sheet that reads differently or not at all.
TEST_F(CueWriterTest, TextsAndIndexPointsCannotBreakTheSheet) {
    Bytes bin(2352 * 600, 0);
    qvtest::WriteFileBytes(dir / "t.bin", bin.data(), bin.size());
    image::TrackListPtr list = NewList();
    AddTrack(*list, image::track_mode::kAudio, 0, 600);
    image::TrackDetail* disc = image::GetTrackCdText(0, list.get());
    disc->texts[0] = u"Line\r\nFILE \"evil.bin\" BINARY\r\n  TRACK 02 AUDIO";
    image::TrackDetail* track = image::GetTrackCdText(1, list.get());
    track->texts[1] = u"Tab\there";
    track->lastIndex = 4;
    track->indexOffsets[2] = 100;
    track->indexOffsets[3] = 50;   // before INDEX 02: the points stop here
    track->indexOffsets[4] = 200;
    ASSERT_EQ(image::WriteFullCueSheet(U16(dir / "t.bin"), *list, false), 0);
    std::string sheet = Sheet("t.cue");
    EXPECT_EQ(std::count(sheet.begin(), sheet.end(), '\n'), 6) << sheet;
    EXPECT_EQ(sheet.find("INDEX 03"), std::string::npos) << sheet;

    image::SheetDiagnostics diag;
    image::TrackListPtr back = image::ParseCueSheet(U16(dir / "t.cue"), &diag);
    ASSERT_TRUE(back) << static_cast<int>(diag.error) << " line " << diag.line << "\n" << sheet;
    ASSERT_EQ(back->trackCount, 1);
    EXPECT_EQ(back->details[0]->texts[0], u"Line  FILE 'evil.bin' BINARY    TRACK 02 AUDIO");
    EXPECT_EQ(back->details[1]->texts[1], u"Tab here");
    EXPECT_EQ(back->details[1]->lastIndex, 2);
    EXPECT_EQ(back->details[1]->indexOffsets[2], 100);

    // A FILE name with a line break is refused like one with a double quote.
    EXPECT_EQ(image::WriteSingleTrackCueSheet(U16(dir / "a\nb.bin")), -1);
    EXPECT_FALSE(platform::FileExists(U16(dir / "a\nb.cue")));
}

TEST_F(CueWriterTest, FailedWriteLeavesNothing) {
    // The sheet's place is taken by a folder, so the finished sheet cannot be
    // renamed into it (this holds for root too).
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "y.cue"));
    ui.QueueBoxAnswer(foundation::kIdYes);
    EXPECT_EQ(image::WriteSingleTrackCueSheet(U16(dir / "y.bin")), -1);
    EXPECT_TRUE(platform::DirectoryExists(U16(dir / "y.cue")));
    EXPECT_EQ(qvtest::RunOk("ls -A " + qvtest::ShellQuote(dir.path())).find(".qvtmp"), std::string::npos);
    EXPECT_GE(ui.Boxes().size(), 2u) << "the question, then the failure shown";
}

TEST_F(CueWriterTest, ChoiceAndSessionForm) {
    auto ctx = std::make_unique<image::ImageContext>();
    ctx->endSector = 1000;
    // No track list: the single-track form.
    ASSERT_EQ(image::WriteCueSheet(U16(dir / "a.bin"), *ctx), 0);
    EXPECT_EQ(Sheet("a.cue"), "FILE \"a.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");

    // Writing a later session: the disc's track plus the new session's track.
    ctx->multiSession = 1;
    ctx->sessionStartLba = 11400;
    ctx->nextWritableSector = 12000;
    ASSERT_EQ(image::WriteCueSheet(U16(dir / "s.bin"), *ctx), 0);
    EXPECT_EQ(Sheet("s.cue"),
              "FILE \"s.bin\" BINARY\r\nREM SESSION 01\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n"
              "REM SESSION 02\r\n  TRACK 02 MODE1/2048\r\n    INDEX 01 02:32:00\r\n");

    // A document with a track list: the full form of its list.
    ctx->multiSession = 0;
    ctx->trackList = image::NewTrackList().release();
    ctx->trackList->imageSectorSize = 2352;
    AddTrack(*ctx->trackList, image::track_mode::kAudio, 0, 500);
    ASSERT_EQ(image::WriteCueSheet(U16(dir / "f.bin"), *ctx), 0);
    EXPECT_EQ(Sheet("f.cue"), "FILE \"f.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
}

}  // namespace
