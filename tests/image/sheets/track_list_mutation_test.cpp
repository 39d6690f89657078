// Corpus mutation of the sheet and image readers: good inputs with bytes
// flipped, cut, inserted or repeated, thousands of times. Under ASan/UBSan
// every run must return cleanly, within a peak memory of a few times its
// input plus a fixed amount (tests/support/peak_memory.h); results are only
// sanity-checked.

#include <gtest/gtest.h>

#include <random>

#include "image/sheets/cdtext.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/mds_parser.h"
#include "image/sheets/nrg_reader.h"
#include "platform/text.h"
#include "tests/support/peak_memory.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

Bytes Mutate(const Bytes& input, std::mt19937& rng) {
    Bytes b = input;
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !b.empty(); ++e) {
        size_t at = rng() % b.size();
        switch (rng() % 6) {
        case 0: b[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
        case 1: b[at] = static_cast<uint8_t>(rng()); break;
        case 2: b.erase(b.begin() + static_cast<std::ptrdiff_t>(at)); break;
        case 3: b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(rng())); break;
        case 4: b.resize(at); break;
        case 5: {   // repeat a stretch
            size_t length = std::min<size_t>(rng() % 64, b.size() - at);
            Bytes piece(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + length));
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(rng() % (b.size() + 1)), piece.begin(), piece.end());
            break;
        }
        }
    }
    return b;
}

// What one round may add to the peak: the inputs are small, and a track list
// is a fixed-size record.
constexpr uint64_t kMemoryPerInputByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;

void CheckPeak(const qvtest::PeakMemory& peak, size_t inputBytes, int round) {
    ASSERT_LT(peak.GrowthBytes(), inputBytes * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
}

void CheckList(const image::TrackList* list) {
    if (!list) return;
    ASSERT_GE(list->trackCount, 0);
    ASSERT_LE(list->trackCount, image::kMaxTracks);
    image::GetTrackListEndSector(list);
    image::HasMixedTracks(list, 0);
    image::HasCdText(list);
}

TEST(TrackListMutation, CueSheets) {
    qvtest::TempDir dir;
    Bytes bin(2352 * 400, 0);
    qvtest::WriteFileBytes(dir / "a.bin", bin.data(), bin.size());
    qvtest::WriteFileBytes(dir / "b.bin", bin.data(), bin.size());
    const std::string sheet =
        "REM SESSION 01\nCATALOG 0123456789012\nPERFORMER \"P\"\nTITLE \"Disc\"\nFILE \"a.bin\" BINARY\n"
        "  TRACK 01 MODE1/2352\n    FLAGS DCP\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    ISRC USABC9912345\n"
        "    TITLE \"T\"\n    PREGAP 00:01:00\n    INDEX 00 00:02:00\n    INDEX 01 00:03:00\n    INDEX 02 00:03:10\n"
        "    POSTGAP 00:00:10\nREM SESSION 02\nFILE \"B.BIN\" BINARY\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n"
        "    INDEX 01 00:02:00\n";
    Bytes good(sheet.begin(), sheet.end());
    ASSERT_TRUE(image::ParseCueSheet(U16(dir / "x.cue")) == nullptr);   // not written yet
    qvtest::WriteFileBytes(dir / "x.cue", good.data(), good.size());
    ASSERT_TRUE(image::ParseCueSheet(U16(dir / "x.cue")));
    std::mt19937 rng(2121);
    for (int i = 0; i < 1000; ++i) {
        Bytes bad = Mutate(good, rng);
        qvtest::WriteFileBytes(dir / "x.cue", bad.data(), bad.size());
        qvtest::PeakMemory peak;
        image::TrackListPtr list = image::ParseCueSheet(U16(dir / "x.cue"));
        CheckList(list.get());
        list.reset();
        CheckPeak(peak, bad.size(), i);
    }
}

Bytes SmallMds() {
    // Header, session block, A0..A2 and two track blocks, extra blocks, name.
    Bytes b(0x70 + 5 * 80 + 16 + 16 + 6, 0);
    std::copy_n("MEDIA DESCRIPTOR", 16, b.begin());
    auto le32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[98] = 5;
    le32(108, 0x70);
    for (int i = 0; i < 3; ++i) b[0x70 + i * 80 + 4] = static_cast<uint8_t>(0xA0 + i);
    size_t extra = 0x70 + 5 * 80, record = extra + 16, name = record + 16;
    for (int t = 0; t < 2; ++t) {
        size_t at = 0x70 + (3 + t) * 80;
        b[at] = t == 0 ? 0xAA : 0xA9;
        b[at + 4] = static_cast<uint8_t>(t + 1);
        b[at + 10] = static_cast<uint8_t>(2 + t * 10);
        le32(at + 12, static_cast<uint32_t>(extra + t * 8));
        b[at + 16] = 0x30;
        b[at + 17] = 0x09;
        le32(at + 52, static_cast<uint32_t>(record));
        le32(extra + t * 8, t == 0 ? 150 : 0);
        le32(extra + t * 8 + 4, 750);
    }
    le32(record, static_cast<uint32_t>(name));
    std::copy_n("*.mdf", 5, b.begin() + static_cast<std::ptrdiff_t>(name));
    return b;
}

TEST(TrackListMutation, MdsDescriptors) {
    Bytes good = SmallMds();
    std::u16string path = u"/nonexistent/x.mds";
    ASSERT_TRUE(image::ParseMdsBytes(path, good));
    std::mt19937 rng(2122);
    for (int i = 0; i < 5000; ++i) {
        Bytes bad = Mutate(good, rng);
        qvtest::PeakMemory peak;
        image::TrackListPtr list = image::ParseMdsBytes(path, bad);
        CheckList(list.get());
        list.reset();
        CheckPeak(peak, bad.size(), i);
    }
}

Bytes SmallNrg() {
    // A DAOX/CUEX image of one 20-sector Mode 1 track and one audio track.
    Bytes b;
    auto be32 = [&](Bytes& out, uint32_t v) {
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto be64 = [&](Bytes& out, uint64_t v) {
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    b.resize(2048 * 20 + 2352 * 10, 0x5A);
    Bytes cue;
    auto entry = [&](uint8_t control, uint8_t track, uint8_t index, int32_t sector) {
        cue.insert(cue.end(), {control, track, index, 0});
        be32(cue, static_cast<uint32_t>(sector));
    };
    entry(0x41, 0, 0, -150);
    entry(0x41, 1, 0, -150);
    entry(0x41, 1, 1, 0);
    entry(0x01, 2, 0, 20);
    entry(0x01, 2, 1, 20);
    entry(0x01, 0xAA, 1, 30);
    Bytes chunks = {'C', 'U', 'E', 'X'};
    be32(chunks, static_cast<uint32_t>(cue.size()));
    chunks.insert(chunks.end(), cue.begin(), cue.end());
    Bytes dao;
    be32(dao, 0);
    dao.resize(4 + 16, 0);
    dao.push_back(1);
    dao.push_back(2);
    uint64_t index[2][3] = {{0, 0, 20 * 2048}, {20 * 2048, 20 * 2048, 20 * 2048 + 10 * 2352}};
    uint16_t sizes[2] = {2048, 2352};
    uint8_t modes[2] = {0, 7};
    for (int t = 0; t < 2; ++t) {
        dao.resize(dao.size() + 12, 0);
        dao.push_back(static_cast<uint8_t>(sizes[t] >> 8));
        dao.push_back(static_cast<uint8_t>(sizes[t]));
        dao.insert(dao.end(), {modes[t], 0, 0, 1});
        for (int k = 0; k < 3; ++k) be64(dao, index[t][k]);
    }
    chunks.insert(chunks.end(), {'D', 'A', 'O', 'X'});
    be32(chunks, static_cast<uint32_t>(dao.size()));
    chunks.insert(chunks.end(), dao.begin(), dao.end());
    chunks.insert(chunks.end(), {'E', 'N', 'D', '!', 0, 0, 0, 0});
    uint64_t offset = b.size();
    b.insert(b.end(), chunks.begin(), chunks.end());
    b.insert(b.end(), {'N', 'E', 'R', '5'});
    be64(b, offset);
    return b;
}

TEST(TrackListMutation, NrgImages) {
    qvtest::TempDir dir;
    Bytes good = SmallNrg();
    size_t dataBytes = 2048 * 20 + 2352 * 10;
    qvtest::WriteFileBytes(dir / "x.nrg", good.data(), good.size());
    {
        foundation::UniqueFile file(platform::FileOpen(U16(dir / "x.nrg"), platform::FileAccess::Read,
                                                       platform::FileDisposition::OpenExisting));
        image::NrgImage image;
        ASSERT_TRUE(image::LoadNrgImage(file.get(), U16(dir / "x.nrg"), image));
        EXPECT_TRUE(image.mixed);
    }
    Bytes data(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(dataBytes));
    Bytes tail(good.begin() + static_cast<std::ptrdiff_t>(dataBytes), good.end());
    std::mt19937 rng(2106);
    Bytes sector(2048);
    for (int i = 0; i < 1000; ++i) {
        // Only the chunks and the footer are mutated; the sectors stay.
        Bytes bad = data;
        Bytes badTail = Mutate(tail, rng);
        bad.insert(bad.end(), badTail.begin(), badTail.end());
        qvtest::WriteFileBytes(dir / "x.nrg", bad.data(), bad.size());
        qvtest::PeakMemory peak;
        {
            foundation::UniqueFile file(platform::FileOpen(U16(dir / "x.nrg"), platform::FileAccess::Read,
                                                           platform::FileDisposition::OpenExisting));
            image::NrgImage image;
            if (image::LoadNrgImage(file.get(), U16(dir / "x.nrg"), image)) {
                CheckList(image.list.get());
                for (int32_t s : {0, 1, 19, 20, 29, 1000}) {
                    image::ReadNrgSector(*image.state, file.get(), s, sector.data());
                }
            }
        }
        CheckPeak(peak, bad.size(), i);
    }
}

TEST(TrackListMutation, CdTextFiles) {
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 3;
    list->firstTrackNumber = 1;
    for (int t = 0; t <= 3; ++t) {
        image::GetTrackCdText(t, list.get())->texts[0] = u"Title " + std::u16string(static_cast<size_t>(t * 7), u'x');
        image::GetTrackCdText(t, list.get())->texts[1] = u"Performer";
    }
    image::UpdateTrackListCdTextAnsi(list.get());
    Bytes good = image::BuildCdTextPacks(*list);
    std::mt19937 rng(2122);
    for (int i = 0; i < 1000; ++i) {
        Bytes bad = Mutate(good, rng);
        qvtest::PeakMemory peak;
        Bytes block;
        if (image::ParseCdTextBytes(bad, block)) {
            image::TrackListPtr target = image::NewTrackList();
            target->trackCount = 3;
            image::ApplyCdTextFile(target.get(), block);
        }
        // Blocks whose header lies about their length go to Apply directly too.
        Bytes raw = {0xFF, 0xFF, 0, 0};
        raw.insert(raw.end(), bad.begin(), bad.end());
        image::TrackListPtr target = image::NewTrackList();
        target->trackCount = 2;
        image::ApplyCdTextFile(target.get(), raw);
        target.reset();
        CheckPeak(peak, bad.size(), i);
    }
}

}  // namespace
