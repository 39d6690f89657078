// The track-list helpers: validity, end sector, audio trimming, sessions,
// copies that own their own records, and finding a sheet beside an image.

#include <gtest/gtest.h>

#include "image/sheets/track_list.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using image::track_mode::kAudio;
using image::track_mode::kMode1;
using image::track_mode::kMode1Raw;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

struct T {
    uint8_t mode;
    int32_t start, length, postgap, session;
};

image::TrackListPtr Make(std::initializer_list<T> tracks, int32_t sessions = 1, int32_t imageSectorSize = 2352) {
    image::TrackListPtr list = image::NewTrackList();
    list->firstTrackNumber = 1;
    list->sessionCount = sessions;
    list->imageSectorSize = imageSectorSize;
    for (const T& t : tracks) {
        image::TrackEntry& e = list->tracks[static_cast<size_t>(list->trackCount++)];
        e.mode = t.mode;
        e.startSector = t.start;
        e.length = t.length;
        e.postgap = t.postgap;
        e.session = t.session;
    }
    return list;
}

TEST(TrackList, Validity) {
    std::u16string image = u"/x/Image.BIN";
    image::TrackListPtr list = Make({{kAudio, 0, 100, 0, 0}, {kAudio, 100, 100, 0, 0}});
    list->firstFilePath = u"/x/image.bin";
    EXPECT_EQ(image::IsValidTrackList(list.get(), nullptr), 1);
    EXPECT_EQ(image::IsValidTrackList(list.get(), &image), 1) << "paths compare without case";
    std::u16string other = u"/y/image.bin";
    EXPECT_EQ(image::IsValidTrackList(list.get(), &other), 0);
    list->tracks[1].startSector = 0;
    EXPECT_EQ(image::IsValidTrackList(list.get(), nullptr), 0) << "starts must rise";
    EXPECT_EQ(image::IsValidTrackList(image::NewTrackList().get(), nullptr), 0);
    EXPECT_EQ(image::IsValidTrackList(nullptr, nullptr), 0);
}

TEST(TrackList, EndSectorAndMixedTracks) {
    image::TrackListPtr list = Make({{kMode1Raw, 0, 1000, 0, 0}, {kAudio, 1150, 300, 75, 0}, {kAudio, 1600, 200, 0, 0}});
    EXPECT_EQ(image::GetTrackListEndSector(list.get()), 1800);
    EXPECT_EQ(image::GetTrackListEndSector(nullptr), 0);
    // A list whose last track reaches past 32 bits ends at the largest sector, never a negative one.
    EXPECT_EQ(image::GetTrackListEndSector(Make({{kAudio, 10, INT32_MAX, 0, 0}}).get()), INT32_MAX);
    EXPECT_EQ(image::HasMixedTracks(list.get(), 0), 1);
    EXPECT_EQ(image::HasMixedTracks(list.get(), 1), 0);
    EXPECT_EQ(image::TrimToAudioTracks(list.get(), 0), 0) << "the first track is data";
    EXPECT_EQ(image::TrimToAudioTracks(list.get(), 1), 1);
    EXPECT_EQ(list->trackCount, 3) << "trimming from a later track cuts nothing";

    image::TrackListPtr audioFirst = Make({{kAudio, 0, 100, 0, 0}, {kAudio, 100, 100, 0, 0}, {kMode1Raw, 11400, 500, 0, 1}});
    audioFirst->tracks[2].fileName = u"/x/data.bin";
    image::GetTrackCdText(3, audioFirst.get())->texts[0] = u"data";
    EXPECT_EQ(image::TrimToAudioTracks(audioFirst.get(), 0), 1);
    EXPECT_EQ(audioFirst->trackCount, 2);
    EXPECT_TRUE(audioFirst->tracks[2].fileName.empty());
    EXPECT_FALSE(audioFirst->details[3]);
}

TEST(TrackList, Sessions) {
    image::TrackListPtr list =
        Make({{kAudio, 0, 100, 0, 0}, {kAudio, 100, 200, 0, 0}, {kMode1Raw, 11400, 500, 0, 1}, {kAudio, 12000, 50, 0, 1}}, 2);
    EXPECT_EQ(image::FindTrackOfSession(list.get(), 0), 0);
    EXPECT_EQ(image::FindTrackOfSession(list.get(), 1), 2);
    EXPECT_EQ(image::FindTrackOfSession(list.get(), 2), -1);
    EXPECT_EQ(image::FindDataTrackOfSession(list.get(), 0), -1);
    EXPECT_EQ(image::FindDataTrackOfSession(list.get(), 1), 2);
    EXPECT_EQ(image::GetSessionSectors(list.get(), 0), 300);
    EXPECT_EQ(image::GetSessionSectors(list.get(), 1), 550);
    EXPECT_EQ(image::GetSessionBytes(list.get(), 0), 300 * 2352);
    EXPECT_EQ(image::GetSessionBytes(list.get(), 1), 550 * 2048);
    EXPECT_EQ(image::GetTrackStart(list.get(), 1, 1), 12000);
    EXPECT_EQ(image::GetTrackStart(list.get(), 2, 0), -1);
    EXPECT_EQ(image::GetTrackStart(list.get(), 0, 4), -1);

    // A sheet without REM SESSION lines still holds one session.
    image::TrackListPtr plain = Make({{kAudio, 0, 100, 0, 0}}, 0);
    EXPECT_EQ(image::GetTrackStart(plain.get(), 0, 0), 0);
    image::TrackListPtr cooked = Make({{kAudio, 0, 100, 0, 0}}, 1, 2048);
    EXPECT_EQ(image::GetSessionBytes(cooked.get(), 0), 100 * 2048);
}

TEST(TrackList, CopiesOwnTheirRecords) {
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "f.bin", "data");
    image::TrackListPtr list = Make({{kAudio, 0, 100, 0, 0}, {kAudio, 100, 100, 0, 0}});
    list->tracks[1].fileName = U16(dir / "f.bin");
    list->tracks[1].fileHandle.reset(platform::FileOpen(list->tracks[1].fileName, platform::FileAccess::Read,
                                                        platform::FileDisposition::OpenExisting));
    image::GetTrackCdText(1, list.get())->texts[0] = u"Song";
    list->rwSubchannel = {1, 2, 3};
    image::TrackListPtr copy = image::CopyTrackList(list.get());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->trackCount, 2);
    EXPECT_EQ(copy->tracks[1].startSector, 100);
    EXPECT_TRUE(copy->tracks[1].fileName.empty());
    EXPECT_FALSE(copy->tracks[1].fileHandle);
    ASSERT_TRUE(copy->details[1]);
    EXPECT_NE(copy->details[1].get(), list->details[1].get());
    EXPECT_EQ(copy->details[1]->texts[0], u"Song");
    EXPECT_EQ(copy->rwSubchannel, list->rwSubchannel);
    // Freeing the original leaves the copy whole (ASan would see a double free).
    image::FreeTrackList(list.release());
    EXPECT_EQ(copy->details[1]->texts[0], u"Song");
}

TEST(TrackList, DiscListAndDetails) {
    image::TrackListPtr disc = image::NewDiscTrackList(5000);
    EXPECT_EQ(disc->trackCount, 1);
    EXPECT_EQ(disc->sessionCount, 1);
    EXPECT_EQ(disc->tracks[0].mode, kMode1);
    EXPECT_EQ(disc->tracks[0].length, 5000);
    EXPECT_EQ(image::GetTrackListEndSector(disc.get()), 5000);
    EXPECT_TRUE(image::GetTrackCdText(0, disc.get()));
    EXPECT_TRUE(image::GetTrackCdText(99, disc.get()));
    EXPECT_FALSE(image::GetTrackCdText(100, disc.get()));
    EXPECT_FALSE(image::GetTrackCdText(-1, disc.get()));
    EXPECT_EQ(disc->selectedTrack, -1);
    EXPECT_EQ(disc->playingTrack, -1);
}

TEST(TrackList, CompanionSheets) {
    qvtest::TempDir dir;
    std::vector<uint8_t> bin(2352 * 100, 0);
    qvtest::WriteFileBytes(dir / "Game.BIN", bin.data(), bin.size());
    qvtest::WriteFileText(dir / "game.cue", "FILE \"GAME.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    EXPECT_EQ(image::FindCompanionSheet(U16(dir / "Game.BIN")), U16(dir / "game.cue"));
    EXPECT_TRUE(image::OpenSheet(U16(dir / "game.cue")));

    // A sheet that describes another image is no companion.
    qvtest::WriteFileBytes(dir / "other.bin", bin.data(), bin.size());
    qvtest::WriteFileText(dir / "other.cue", "FILE \"Game.BIN\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    EXPECT_TRUE(image::FindCompanionSheet(U16(dir / "other.bin")).empty());
    EXPECT_TRUE(image::FindCompanionSheet(U16(dir / "Game.iso")).empty());
    EXPECT_FALSE(image::OpenSheet(U16(dir / "Game.BIN"))) << "an image is no sheet";
}

// Every file the user names is first tried as a sheet; a binary file is not
// read as one, while the padding and end marks some tools leave stay fine.
TEST(TrackList, OnlyTextIsTakenForASheet) {
    qvtest::TempDir dir;
    std::vector<uint8_t> bin(2352 * 100, 0);
    qvtest::WriteFileBytes(dir / "Game.BIN", bin.data(), bin.size());
    const std::string sheet = "FILE \"Game.BIN\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n";
    const struct {
        const char* name;
        std::string bytes;
        bool isSheet;
    } rows[] = {
        {"plain", sheet, true},
        {"padded with NULs", sheet + std::string(600, '\0'), true},
        {"an end-of-file mark", sheet + "\x1a", true},
        {"tabs", "\t" + sheet, true},
        {"a boot sector before the text", std::string("\xEB\x3C\x90\x01\x02\x00", 6) + "\n" + sheet, false},
        {"nothing but NULs", std::string(4096, '\0') + sheet, false},
    };
    for (const auto& row : rows) {
        qvtest::WriteFileBytes(dir / "s.cue", row.bytes.data(), row.bytes.size());
        EXPECT_EQ(image::OpenSheet(U16(dir / "s.cue")) != nullptr, row.isSheet) << row.name;
    }
}

}  // namespace
