// CD-TEXT packs: the CRC against its published check value, one-bit repair,
// CD-TEXT files, and the pack block we build, decoded by cdrskin.

#include <gtest/gtest.h>

#include <cstring>

#include "image/sheets/cdtext.h"
#include "image/sheets/cue_parser.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

// A pack assembled by hand from the layout: type, track, sequence, character
// position, 12 text bytes, inverted CRC most significant byte first.
Bytes Pack(uint8_t type, uint8_t track, uint8_t sequence, uint8_t position, const char* text12) {
    Bytes p(18, 0);
    p[0] = type;
    p[1] = track;
    p[2] = sequence;
    p[3] = position;
    std::memcpy(p.data() + 4, text12, 12);
    uint16_t crc = static_cast<uint16_t>(~image::CdTextCrc(0, p.data(), 16));
    p[16] = static_cast<uint8_t>(crc >> 8);
    p[17] = static_cast<uint8_t>(crc);
    return p;
}

Bytes WithHeader(const Bytes& packs) {
    Bytes out = {static_cast<uint8_t>((packs.size() + 2) >> 8), static_cast<uint8_t>(packs.size() + 2), 0, 0};
    out.insert(out.end(), packs.begin(), packs.end());
    return out;
}

image::TrackListPtr AudioList(int tracks) {
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = tracks;
    list->firstTrackNumber = 1;
    for (int i = 0; i < tracks; ++i) {
        list->tracks[i].mode = image::track_mode::kAudio;
        list->tracks[i].startSector = i * 1000;
        list->tracks[i].length = 1000;
    }
    return list;
}

void SetText(image::TrackList& list, int track, int slot, const std::u16string& text) {
    image::GetTrackCdText(track, &list)->texts[slot] = text;
}

TEST(CdText, CrcCheckValue) {
    // CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection): check value of "123456789".
    const char* check = "123456789";
    EXPECT_EQ(image::CdTextCrc(0, reinterpret_cast<const uint8_t*>(check), 9), 0x31C3);
}

TEST(CdText, OneFlippedBitIsRepairedTwoAreNot) {
    Bytes good = Pack(0x80, 0, 0, 0, "Joyful Night");
    for (size_t bit : {size_t{0}, size_t{37}, size_t{100}, size_t{143}}) {
        Bytes p = good;
        p[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_EQ(image::FixCdTextPack(p.data()), 1) << bit;
        EXPECT_EQ(p, good) << bit;
    }
    Bytes two = good;
    two[5] ^= 0x01;
    two[9] ^= 0x40;
    EXPECT_EQ(image::FixCdTextPack(two.data()), 0);

    // A file with that pack is refused whole.
    Bytes packs = good;
    Bytes bad = two;
    packs.insert(packs.end(), bad.begin(), bad.end());
    Bytes block;
    EXPECT_EQ(image::ParseCdTextBytes(packs, block), 0);
}

TEST(CdText, FileSizes) {
    Bytes hundred;
    for (int i = 0; i < 100; ++i) {
        Bytes p = Pack(0x80, 0, static_cast<uint8_t>(i), 0, "abcdefghijkl");
        hundred.insert(hundred.end(), p.begin(), p.end());
    }
    struct Row {
        const char* name;
        Bytes bytes;
        int result;
    };
    Bytes headed = WithHeader(hundred);
    ASSERT_EQ(headed.size(), 1804u);
    Bytes wrongHeader = headed;
    wrongHeader[1] ^= 1;
    Bytes badType = hundred;
    badType[18 * 5] = 0x70;
    badType[18 * 5 + 16] = 0;   // keep it from being repaired into something else
    const std::vector<Row> rows = {
        {"4-byte header and 100 packs", headed, 1},
        {"100 packs without header", hundred, 1},
        {"1801 bytes", Bytes(headed.begin(), headed.begin() + 1801), 0},
        {"header with the wrong size", wrongHeader, 0},
        {"17 bytes", Bytes(hundred.begin(), hundred.begin() + 17), 0},
        {"one pack", Bytes(hundred.begin(), hundred.begin() + 18), 1},
        {"pack type outside 0x80..0x8F", badType, 0},
        {"65538 bytes", Bytes(65538, 0x80), 0},
    };
    qvtest::TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::WriteFileBytes(dir / "t.cdt", row.bytes.data(), row.bytes.size());
        Bytes block;
        EXPECT_EQ(image::ReadCdTextFile(U16(dir / "t.cdt"), block), row.result);
        if (row.result) {
            size_t packBytes = row.bytes.size() % 18 == 4 ? row.bytes.size() - 4 : row.bytes.size();
            EXPECT_EQ(block.size(), packBytes + 4);
            EXPECT_EQ((block[0] << 8) | block[1], static_cast<int>(packBytes + 2));
        }
    }
}

TEST(CdText, ApplyTakesTextsOfTheFirstBlockOnly) {
    // "Album" for the disc, "One" and "Two" for tracks 1 and 2, "Three" for a
    // track the list does not have; the texts run on from pack to pack.
    Bytes packs;
    auto add = [&](const Bytes& p) { packs.insert(packs.end(), p.begin(), p.end()); };
    add(Pack(0x80, 0, 0, 0, "Album\0One\0Tw"));
    add(Pack(0x80, 2, 1, 2, "o\0Three\0\0\0\0\0"));
    add(Pack(0x81, 0, 2, 0, "Band\0\0\0\0\0\0\0\0"));
    // The same types in block 1 (another language) must not overwrite them.
    add(Pack(0x80, 0, 0, 0x10, "Anderes\0Eins"));
    add(Pack(0x8E, 0, 3, 0, "0123456789\0"));

    image::TrackListPtr list = AudioList(2);
    Bytes block = WithHeader(packs);
    EXPECT_EQ(image::ApplyCdTextFile(list.get(), block), 1);
    EXPECT_EQ(list->details[0]->texts[0], u"Album");
    EXPECT_EQ(list->details[1]->texts[0], u"One");
    EXPECT_EQ(list->details[2]->texts[0], u"Two");
    EXPECT_EQ(list->details[0]->texts[1], u"Band");
    EXPECT_EQ(list->details[0]->texts[14], u"0123456789");
    EXPECT_FALSE(list->details[3]) << "track 3 is beyond the list";
    EXPECT_EQ(image::HasCdText(list.get()), 1);
}

TEST(CdText, BuiltPacksDecodeWithCdrskin) {
    image::TrackListPtr list = AudioList(2);
    SetText(*list, 0, 0, u"Joyful Nights");
    SetText(*list, 0, 1, u"United Cat Orchestra");
    SetText(*list, 1, 0, u"Song of Joy");
    SetText(*list, 1, 1, u"Felix and The Purrs");
    SetText(*list, 2, 0, u"Humpty Dumpty \u00e9t\u00e9");   // Latin-1 survives
    SetText(*list, 2, 1, u"United Cat Orchestra");
    image::UpdateTrackListCdTextAnsi(list.get());
    Bytes packs = image::BuildCdTextPacks(*list);
    ASSERT_EQ(packs.size() % 18, 0u);
    for (size_t p = 0; p < packs.size(); p += 18) {
        Bytes pack(packs.begin() + static_cast<std::ptrdiff_t>(p), packs.begin() + static_cast<std::ptrdiff_t>(p + 18));
        Bytes copy = pack;
        EXPECT_EQ(image::FixCdTextPack(copy.data()), 1);
        EXPECT_EQ(copy, pack) << "pack " << p / 18 << " needed no repair";
        EXPECT_EQ(pack[2], p / 18) << "sequence numbers run on";
    }

    qvtest::TempDir dir;
    Bytes file = WithHeader(packs);
    qvtest::WriteFileBytes(dir / "ours.cdt", file.data(), file.size());
    std::string v07t = qvtest::RunOk("cdrskin textfile_to_v07t=" + qvtest::ShellQuote(dir / "ours.cdt"));
    EXPECT_NE(v07t.find("Album Title         = Joyful Nights"), std::string::npos) << v07t;
    EXPECT_NE(v07t.find("Artist Name         = United Cat Orchestra"), std::string::npos) << v07t;
    EXPECT_NE(v07t.find("Track 01 Title      = Song of Joy"), std::string::npos) << v07t;
    EXPECT_NE(v07t.find("Track 01 Artist     = Felix and The Purrs"), std::string::npos) << v07t;
    EXPECT_NE(v07t.find("Track 02 Title      = Humpty Dumpty \xe9t\xe9"), std::string::npos) << v07t;
    EXPECT_NE(v07t.find("Language Code       = English"), std::string::npos) << v07t;
    EXPECT_NE(v07t.find("Last Track Number   = 2"), std::string::npos) << v07t;

    // Our own reader takes back what we built.
    Bytes block;
    ASSERT_EQ(image::ReadCdTextFile(U16(dir / "ours.cdt"), block), 1);
    image::TrackListPtr back = AudioList(2);
    image::ApplyCdTextFile(back.get(), block);
    for (int d = 0; d <= 2; ++d) {
        for (int slot = 0; slot < 2; ++slot) EXPECT_EQ(back->details[d]->texts[slot], list->details[d]->texts[slot]);
    }
}

TEST(CdText, BuildLimitsAndSubchannelForm) {
    image::TrackListPtr list = AudioList(1);
    SetText(*list, 0, 0, std::u16string(100, u'x'));
    image::UpdateTrackListCdTextAnsi(list.get());
    Bytes packs = image::BuildCdTextPacks(*list);
    // 80 characters and a NUL for the disc, a NUL for the track: 82 bytes in 7 packs.
    ASSERT_EQ(packs.size() / 18, 7u + 3u);
    std::string text;
    for (size_t p = 0; p < 7; ++p) text.append(reinterpret_cast<const char*>(&packs[p * 18 + 4]), 12);
    EXPECT_EQ(text.substr(0, 81), std::string(80, 'x') + '\0');

    // Two text packs and three size packs: 5 packs, repeated four times.
    image::TrackListPtr small = AudioList(1);
    SetText(*small, 0, 0, u"T");
    SetText(*small, 1, 0, u"U");
    SetText(*small, 0, 1, u"P");
    image::UpdateTrackListCdTextAnsi(small.get());
    Bytes five = image::BuildCdTextPacks(*small);
    ASSERT_EQ(five.size(), 5u * 18);
    EXPECT_EQ(five[18 * 2 + 4 + 4], 1) << "one title pack counted";
    EXPECT_EQ(five[18 * 2 + 4 + 5], 1) << "one performer pack counted";
    EXPECT_EQ(five[18 * 3 + 4 + 7], 3) << "three size packs counted";
    EXPECT_EQ(five[18 * 3 + 4 + 8], 4) << "last sequence number of block 0";
    EXPECT_EQ(five[18 * 4 + 4 + 4], 9) << "language code of block 0";
    ASSERT_EQ(image::BuildCdTextSubchannel(small.get()), 1);
    const Bytes& sub = small->rwSubchannel;
    ASSERT_EQ(sub.size(), 5u * 18 * 4 * 4 / 3);
    for (size_t i = 0; i < 5u * 18 * 4; i += 3) {
        uint8_t b0 = five[i % five.size()], b1 = five[(i + 1) % five.size()], b2 = five[(i + 2) % five.size()];
        size_t s = i / 3 * 4;
        ASSERT_EQ(sub[s], b0 >> 2);
        ASSERT_EQ(sub[s + 1], ((b0 & 3) << 4) | (b1 >> 4));
        ASSERT_EQ(sub[s + 2], ((b1 & 15) << 2) | (b2 >> 6));
        ASSERT_EQ(sub[s + 3], b2 & 63);
    }
}

TEST(CdText, DiscIdentificationForTheDiscOnlyGenreForAll) {
    image::TrackListPtr list = AudioList(2);
    SetText(*list, 0, 6, u"ID");
    SetText(*list, 1, 6, u"never");
    SetText(*list, 0, 7, u"G0");
    SetText(*list, 2, 7, u"G2");
    image::UpdateTrackListCdTextAnsi(list.get());
    Bytes packs = image::BuildCdTextPacks(*list);
    std::string disc86, all87;
    for (size_t p = 0; p + 18 <= packs.size(); p += 18) {
        if (packs[p] == 0x86) disc86.append(reinterpret_cast<const char*>(&packs[p + 4]), 12);
        if (packs[p] == 0x87) all87.append(reinterpret_cast<const char*>(&packs[p + 4]), 12);
    }
    EXPECT_EQ(disc86.substr(0, 3), std::string("ID\0", 3));
    EXPECT_EQ(disc86.find("never"), std::string::npos);
    EXPECT_EQ(all87.substr(0, 6), std::string("G0\0\0G2", 6));
}

TEST(CdText, TextPacksStopAt253) {
    image::TrackListPtr list = AudioList(99);
    for (int t = 0; t <= 99; ++t) {
        for (int slot = 0; slot < 4; ++slot) SetText(*list, t, slot, std::u16string(79, static_cast<char16_t>(u'a' + slot)));
    }
    image::UpdateTrackListCdTextAnsi(list.get());
    Bytes packs = image::BuildCdTextPacks(*list);
    size_t count = packs.size() / 18;
    EXPECT_LE(count, 256u);
    EXPECT_GE(count, 250u);
    EXPECT_EQ(packs[(count - 3) * 18], 0x8F);
    // Every text that was started is whole: the title packs alone need 100 x 80 / 12 > 253.
    EXPECT_EQ(packs[(count - 4) * 18], 0x80);
}

TEST(CdText, CueSheetNamesACdTextFile) {
    qvtest::TempDir dir;
    Bytes bin(2352 * 600, 0);
    qvtest::WriteFileBytes(dir / "x.bin", bin.data(), bin.size());
    image::TrackListPtr source = AudioList(2);
    SetText(*source, 0, 0, u"From The File");
    SetText(*source, 2, 1, u"Second Performer");
    image::UpdateTrackListCdTextAnsi(source.get());
    Bytes packs = image::BuildCdTextPacks(*source);
    qvtest::WriteFileBytes(dir / "x.cdt", packs.data(), packs.size());
    qvtest::WriteFileText(dir / "x.cue",
                          "CDTEXTFILE \"X.CDT\"\nFILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n");
    image::TrackListPtr list = image::ParseCueSheet(U16(dir / "x.cue"));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->details[0]->texts[0], u"From The File");
    EXPECT_EQ(list->details[0]->ansiTexts[0], "From The File");
    EXPECT_EQ(list->details[2]->texts[1], u"Second Performer");
}

}  // namespace
