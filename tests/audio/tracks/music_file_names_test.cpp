// File names from the audio template and the CD-TEXT records (with NUL,
// control characters, lone surrogates and titles too long for one folder
// entry), and the two RIFF headers with their 32-bit size limits.

#include "audio/tracks/music_file_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audio/tracks/riff_headers.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"

namespace {

using audio::NameMode;

image::TrackListPtr ListWithTitle(const std::u16string& title) {
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 1;
    if (!title.empty()) image::GetTrackCdText(1, list.get())->texts[image::cdtext_slot::kTitle] = title;
    image::GetTrackCdText(0, list.get())->texts[image::cdtext_slot::kTitle] = u"Disc";
    return list;
}

TEST(MusicFileNames, TemplatesExpandAsTheRipDialogAndTheSaveSeeThem) {
    struct Row {
        const char* name;
        NameMode mode;
        std::u16string pattern, title;
        int32_t format;
        std::u16string expected;
    };
    const std::u16string nul(u"A\0B", 3);
    const Row rows[] = {
        {"no CD-TEXT", NameMode::Real, u"|#-|t", u"", audio::kAudioMp3, u"01-Track01.mp3"},
        {"slash and bar with another letter", NameMode::Real, u"a/b|x", u"", audio::kAudioWav, u"a bx.wav"},
        {"title with slash, colon, question mark", NameMode::Real, u"|t", u"Night/Day: Live?", audio::kAudioWav,
         u"Night Day  Live .wav"},
        {"double bar", NameMode::Real, u"||t", u"T", audio::kAudioWav, u"T.wav"},
        {"bar at the end", NameMode::Real, u"x|", u"", audio::kAudioWav, u"x.wav"},
        {"album and fallbacks", NameMode::Real, u"|T-|p-|C", u"", audio::kAudioOgg,
         u"Disc-Unknown Track Artist-Unknown Album Composer.ogg"},
        {"sample preview", NameMode::Samples, u"|#-|t", u"", audio::kAudioWma, u"01-Sample Track Title.wma"},
        {"placeholders", NameMode::Placeholders, u"|#-|t", u"", audio::kAudioWav, u"<Track Number>-<Track Title>"},
        {"placeholders back to tokens", NameMode::Tokens, u"<Track Number> - <Album Title>", u"", 0, u"|# - |T"},
        {"unknown format", NameMode::Real, u"|#", u"", 9, u"01"},
        {"NUL in a title", NameMode::Real, u"|t", nul, audio::kAudioWav, u"A B.wav"},
        {"controls in a title and template", NameMode::Real, u"\t|t", u"a\x01\x1f\x7f" u"b", audio::kAudioWav,
         u" a   b.wav"},
        {"lone surrogate", NameMode::Real, u"|t", u"x\xD800y", audio::kAudioWav, u"x\xFFFDy.wav"},
    };
    for (const Row& r : rows) {
        image::TrackListPtr list = ListWithTitle(r.title);
        EXPECT_EQ(audio::ExpandAudioFileName(r.mode, r.pattern, list.get(), 0, u"", r.format), r.expected) << r.name;
    }
    image::TrackListPtr list = ListWithTitle(u"T");
    EXPECT_EQ(audio::ExpandAudioFileName(NameMode::Real, u"|t", list.get(), 0, u"/music/", 1), u"/music/T.wav");
}

TEST(MusicFileNames, LongNamesAreCutTo255BytesKeepingTheExtension) {
    struct Row {
        const char* name;
        std::u16string title;
    };
    const Row rows[] = {
        {"300 ASCII bytes", std::u16string(300, u'x')},
        {"two-byte characters", std::u16string(200, u'\u00e9')},
        {"surrogate pairs", [] {
             std::u16string s;
             for (int i = 0; i < 100; ++i) s += u"\U0001F3B5";
             return s;
         }()},
    };
    for (const Row& r : rows) {
        image::TrackListPtr list = ListWithTitle(r.title);
        const std::u16string full =
            audio::ExpandAudioFileName(NameMode::Real, u"|#-|t", list.get(), 0, u"/out/", audio::kAudioFlac);
        const std::u16string cut = audio::ClipFileNameComponent(full);
        std::string utf8;
        ASSERT_TRUE(platform::Utf16ToUtf8Strict(cut, utf8)) << r.name;   // no pair split
        ASSERT_EQ(utf8.rfind("/out/", 0), 0u) << r.name;
        const std::string component = utf8.substr(5);
        EXPECT_LE(component.size(), audio::kMaxNameBytes) << r.name;
        EXPECT_GT(component.size(), audio::kMaxNameBytes - 4) << r.name;
        EXPECT_EQ(component.substr(component.size() - 5), ".flac") << r.name;
        EXPECT_EQ(component.rfind("01-", 0), 0u) << r.name;
    }
    EXPECT_EQ(audio::ClipFileNameComponent(u"/a/short.wav"), u"/a/short.wav");
}

TEST(RiffHeaders, SizesAndTheirLimits) {
    audio::RiffHeader h;
    ASSERT_TRUE(audio::BuildWavHeader(100, h));
    const uint8_t wav100[44] = {'R', 'I', 'F', 'F', 0xE4, 0x96, 0x03, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0,
                                4, 0, 16, 0, 'd', 'a', 't', 'a', 0xC0, 0x96, 0x03, 0};
    EXPECT_EQ(std::memcmp(h.data(), wav100, 44), 0);

    ASSERT_TRUE(audio::BuildCdxaHeader(1000, 7, h));
    auto le32 = [&](size_t at) { return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 3]) << 24; };
    EXPECT_EQ(le32(4), 2352036u);
    EXPECT_EQ(le32(40), 2352000u);
    EXPECT_EQ(std::memcmp(h.data() + 8, "CDXAfmt ", 8), 0);
    EXPECT_EQ(h[24], 0x15);
    EXPECT_EQ(h[25], 0x55);
    EXPECT_EQ(std::memcmp(h.data() + 26, "XA", 2), 0);
    EXPECT_EQ(h[28], 7);

    // 1,826,091 sectors is the most a 32-bit RIFF size holds.
    EXPECT_TRUE(audio::BuildWavHeader(1826091, h));
    EXPECT_EQ(le32(4), 1826091u * 2352 + 36);
    EXPECT_FALSE(audio::BuildWavHeader(1826092, h));
    EXPECT_FALSE(audio::BuildCdxaHeader(1826092, 1, h));
    EXPECT_FALSE(audio::BuildWavHeader(uint64_t(1) << 62, h));
}

}  // namespace
