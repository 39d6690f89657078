// Raw frames for the burn engine through the track list: a sox WAV behind a CUE
// sheet with PREGAP, INDEX 00 and POSTGAP gives frames equal to the PCM bytes
// and silent made-up gaps, and the audio-CD writer's BIN is read back by
// `bchunk -w`. Data-track gaps are built by mode; a vcdimager image with
// 2336-byte sectors reads through the "gi" row.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/sheets/cue_parser.h"
#include "image/sectors/format_table.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace image {
namespace {

using Bytes = std::vector<uint8_t>;

// The sample bytes of a canonical 44-byte-header WAV as sox writes it.
Bytes PcmOf(const std::string& wav) {
    Bytes all = qvtest::ReadFileBytes(wav);
    EXPECT_GT(all.size(), 44u);
    EXPECT_EQ(std::memcmp(all.data() + 36, "data", 4), 0);
    return Bytes(all.begin() + 44, all.end());
}

TEST(RawFrames, AudioTracksWithGapsFromASoxWave) {
    foundation::ResetProcessStateForTests();
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && sox -n -r 44100 -c 2 -b 16 t.wav synth 3 sine 440");
    const Bytes pcm = PcmOf(dir / "t.wav");
    ASSERT_EQ(pcm.size(), 225u * kRawSectorSize);
    qvtest::WriteFileText(dir / "t.cue",
                          "FILE \"t.wav\" WAVE\n"
                          "  TRACK 01 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:01:30\n    POSTGAP 00:01:00\n");
    SheetDiagnostics diag;
    TrackListPtr list = ParseCueSheet(platform::Utf8ToUtf16(dir / "t.cue"), &diag);
    ASSERT_TRUE(list) << int(diag.error) << " line " << diag.line;
    ASSERT_EQ(list->trackCount, 2);

    auto ctx = std::make_unique<ImageContext>();
    ctx->imagePath = platform::Utf8ToUtf16(dir / "t.wav");
    ctx->imageHandle.reset(platform::FileOpenUtf8(dir / "t.wav", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->trackList = list.release();
    const TrackEntry& t1 = ctx->trackList->tracks[0];
    const TrackEntry& t2 = ctx->trackList->tracks[1];
    const int32_t first = t1.startSector - t1.pregap;
    const int32_t end = t2.startSector + t2.length + t2.postgap;
    // 150 made-up pregap frames, 225 frames of the file, 75 made-up postgap frames.
    ASSERT_EQ(end - first, 150 + 225 + 75);

    Bytes frames(size_t(end - first) * kRawSectorSize);
    for (int32_t s = first; s < end; s += 100) {
        const int32_t n = std::min(100, end - s);
        ASSERT_EQ(ReadRawSectors(*ctx, s, frames.data() + size_t(s - first) * kRawSectorSize, n), n) << s;
    }
    for (size_t i = 0; i < 150 * kRawSectorSize; ++i) ASSERT_EQ(frames[i], 0) << i;
    EXPECT_EQ(std::memcmp(frames.data() + 150 * kRawSectorSize, pcm.data(), pcm.size()), 0);
    for (size_t i = (150 + 225) * kRawSectorSize; i < frames.size(); ++i) ASSERT_EQ(frames[i], 0) << i;
    // Reading past the last zone delivers nothing more.
    EXPECT_EQ(ReadRawSectors(*ctx, end, frames.data(), 1), 0);

    // The audio-CD writer appends the frames; bchunk reads its BIN as one track.
    auto out = std::make_unique<ImageContext>();
    out->outputHandle.reset(platform::FileOpenUtf8(dir / "ours.bin", platform::FileAccess::ReadWrite,
                                                   platform::FileDisposition::CreateAlways));
    out->outputFormat = format_code::kAudioCd;
    const int32_t total = end - first;
    for (int32_t s = 0; s < total; s += 64) {
        const int32_t n = std::min(64, total - s);
        ASSERT_EQ(WriteImageSectors(*out, s, frames.data() + size_t(s) * kRawSectorSize, n, WriterArguments{}), n);
    }
    out.reset();
    qvtest::WriteFileText(dir / "ours.cue", "FILE \"ours.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && bchunk -w ours.bin ours.cue back");
    EXPECT_TRUE(PcmOf(dir / "back01.wav") == frames);
}

TEST(RawFrames, DataTrackGapsAreBuiltByMode) {
    struct Row { uint8_t mode; RawSectorKind kind; };
    for (const Row& r : {Row{track_mode::kMode1, RawSectorKind::Mode1}, Row{track_mode::kMode1Raw, RawSectorKind::Mode1},
                         Row{track_mode::kMode2Form1, RawSectorKind::Mode2Form1},
                         Row{track_mode::kMode2Raw, RawSectorKind::Mode2Form1},
                         Row{track_mode::kMode2Form2, RawSectorKind::Mode2Form2}}) {
        Bytes frames(3 * kRawSectorSize);
        ASSERT_EQ(MakeGapFrames(r.mode, -150, frames.data(), 3), 3);
        for (int i = 0; i < 3; ++i) {
            RawSectorInfo info;
            ASSERT_EQ(CheckRawSector(frames.data() + size_t(i) * kRawSectorSize, &info), RawSectorCheck::Ok);
            EXPECT_EQ(info.kind, r.kind) << int(r.mode);
            EXPECT_EQ(info.address, -150 + i);
        }
    }
    Bytes frame(kRawSectorSize, 0xFF);
    EXPECT_EQ(MakeGapFrames(track_mode::kAudio, 0, frame.data(), 1), 1);
    EXPECT_EQ(frame, Bytes(kRawSectorSize, 0));
    EXPECT_EQ(MakeGapFrames(0, 0, frame.data(), 1), 0);
}

TEST(RawFrames, PlainRawImageWithoutTrackList) {
    qvtest::TempDir dir;
    Bytes image(10 * kRawSectorSize);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7);
    qvtest::WriteFileBytes(dir / "r.bin", image.data(), image.size());
    auto ctx = std::make_unique<ImageContext>();
    ctx->imageHandle.reset(platform::FileOpenUtf8(dir / "r.bin", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->sectorSize = 2352;
    Bytes out(4 * kRawSectorSize);
    ASSERT_EQ(ReadRawSectors(*ctx, 3, out.data(), 4), 4);
    EXPECT_EQ(std::memcmp(out.data(), image.data() + 3 * kRawSectorSize, out.size()), 0);
    EXPECT_EQ(ReadRawFrames(*ctx, 8, out.data(), 4), 0);   // runs past the end
    ctx->sectorSize = 2048;
    EXPECT_EQ(ReadRawFrames(*ctx, 0, out.data(), 1), 0);
}

TEST(RawFrames, Mode1DataTrackOf2048ByteSectorsWithGaps) {
    foundation::ResetProcessStateForTests();
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && mkdir src && seq 1 30000 > src/n.txt && touch -d '2020-01-02 03:04:05 UTC' src/n.txt"
                  " && TZ=UTC SOURCE_DATE_EPOCH=1577934245 genisoimage -quiet -o d.iso src");
    const Bytes iso = qvtest::ReadFileBytes(dir / "d.iso");
    const int32_t sectors = int32_t(iso.size() / kUserDataSize);
    qvtest::WriteFileText(dir / "d.cue",
                          "FILE \"d.iso\" BINARY\n  TRACK 01 MODE1/2048\n    PREGAP 00:02:00\n"
                          "    INDEX 01 00:00:00\n    POSTGAP 00:00:10\n");
    SheetDiagnostics diag;
    TrackListPtr list = ParseCueSheet(platform::Utf8ToUtf16(dir / "d.cue"), &diag);
    ASSERT_TRUE(list) << int(diag.error) << " line " << diag.line;
    auto ctx = std::make_unique<ImageContext>();
    ctx->imageHandle.reset(platform::FileOpenUtf8(dir / "d.iso", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->trackList = list.release();
    const TrackEntry& t = ctx->trackList->tracks[0];
    ASSERT_EQ(t.length, sectors);
    const int32_t first = t.startSector - 150;
    const int32_t total = 150 + sectors + 10;
    Bytes frames(size_t(total) * kRawSectorSize);
    ASSERT_EQ(ReadRawSectors(*ctx, first, frames.data(), total), total);
    for (int32_t i = 0; i < total; ++i) {
        const uint8_t* f = frames.data() + size_t(i) * kRawSectorSize;
        RawSectorInfo info;
        ASSERT_EQ(CheckRawSector(f, &info), RawSectorCheck::Ok) << i;
        ASSERT_EQ(info.kind, RawSectorKind::Mode1) << i;
        ASSERT_EQ(info.address, first + i) << i;
        const int32_t data = i - 150;
        if (data >= 0 && data < sectors) {
            ASSERT_EQ(std::memcmp(f + 16, iso.data() + size_t(data) * kUserDataSize, kUserDataSize), 0) << i;
        } else {
            ASSERT_EQ(Bytes(f + 16, f + 16 + kUserDataSize), Bytes(kUserDataSize, 0)) << i;
        }
    }
}

// Track lists come from sheets and images written by others: any values must
// give a bounded result, never a read outside the buffer or a hang.
TEST(RawFrames, HostileTrackValuesGiveBoundedResults) {
    qvtest::TempDir dir;
    Bytes file(40 * kRawSectorSize);
    for (size_t i = 0; i < file.size(); ++i) file[i] = uint8_t(i * 13);
    qvtest::WriteFileBytes(dir / "f.bin", file.data(), file.size());
    std::mt19937 rng(2024);
    auto pick = [&](std::initializer_list<int64_t> values) {
        return *(values.begin() + rng() % values.size());
    };
    for (int round = 0; round < 1500; ++round) {
        auto ctx = std::make_unique<ImageContext>();
        ctx->imageHandle.reset(platform::FileOpenUtf8(dir / "f.bin", platform::FileAccess::Read,
                                                      platform::FileDisposition::OpenExisting));
        ctx->discSource = int32_t(rng() % 8 == 0);
        TrackListPtr list = NewTrackList();
        list->trackCount = int32_t(pick({0, 1, 2, 3, 99, 100, -1, 1000}));
        for (size_t t = 0; t < 4; ++t) {
            TrackEntry& e = list->tracks[t];
            e.mode = uint8_t(pick({0, 1, 2, 3, 4, 5, 6, 8, 32, 153, 255}));
            e.startSector = int32_t(pick({0, 150, -150, 20, INT32_MAX, INT32_MIN, int64_t(rng() % 100)}));
            e.pregap = int32_t(pick({0, 150, -5, INT32_MAX, int64_t(rng() % 50)}));
            e.pregapInFile = int32_t(pick({0, 10, -5, INT32_MAX, int64_t(rng() % 50)}));
            e.postgap = int32_t(pick({0, 75, -1, INT32_MAX, int64_t(rng() % 50)}));
            e.storedPostgap = int32_t(pick({0, 3, -1, INT32_MAX, int64_t(rng() % 50)}));
            e.length = int32_t(pick({0, 10, 40, -3, INT32_MAX, int64_t(rng() % 60)}));
            e.sectorSize = int32_t(pick({0, 2048, 2336, 2352, 2448, -2352, 1, INT32_MAX}));
            e.dataOffset = pick({0, 2352, -2352, INT64_MAX / 2, int64_t(rng() % 100000)});
            e.endOffset = pick({0, int64_t(file.size()), INT64_MAX, -1, int64_t(rng() % 200000)});
            e.audioSourceKind = int32_t(rng() % 3);
        }
        ctx->trackList = list.release();
        const int32_t count = int32_t(1 + rng() % 300);
        const int32_t first = int32_t(pick({0, -150, -1, 149, 150, INT32_MAX - 5, INT32_MIN, int64_t(rng() % 300) - 160}));
        Bytes out(size_t(count) * kRawSectorSize);
        const int32_t got = ReadRawSectors(*ctx, first, out.data(), count);
        ASSERT_GE(got, 0) << round;
        ASSERT_LE(got, count) << round;
    }
}

// vcdimager --sector-2336 writes Mode 2 sectors without sync and header: each
// starts with the 8-byte sub-header, so the ISO track's user data sits at 8.
TEST(RawFrames, GiRowReadsVcdimager2336Sectors) {
    foundation::ResetProcessStateForTests();
    qvtest::TempDir dir;
    qvtest::WriteFileBytes(dir / "empty.mpg", "", 0);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && vcdimager -q -t vcd2 -T '2020-01-02 03:04:05' --sector-2336 -c a.cue -b a.bin empty.mpg"
                  " && vcdimager -q -t vcd2 -T '2020-01-02 03:04:05' -c b.cue -b b.bin empty.mpg");
    const Bytes narrow = qvtest::ReadFileBytes(dir / "a.bin");
    Bytes wide = qvtest::ReadFileBytes(dir / "b.bin");
    ASSERT_EQ(narrow.size() % 2336, 0u);
    const int32_t sectors = int32_t(narrow.size() / 2336);
    ASSERT_EQ(wide.size(), size_t(sectors) * kRawSectorSize);
    // The "gi" 2336 row stores a 160-byte header first.
    Bytes gi(160, 0x11);
    gi.insert(gi.end(), narrow.begin(), narrow.end());
    qvtest::WriteFileBytes(dir / "x.gi", gi.data(), gi.size());

    auto ctx = std::make_unique<ImageContext>();
    ctx->imageHandle.reset(platform::FileOpenUtf8(dir / "x.gi", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->formatCode = format_code::kLastTableRow;
    ctx->endSector = sectors;
    Bytes user(size_t(sectors) * kUserDataSize);
    ASSERT_EQ(ReadImageSectors(*ctx, 0, user.data(), sectors), sectors);
    // Sector 16 is the primary volume descriptor of the Video CD's ISO track.
    EXPECT_EQ(std::memcmp(user.data() + 16 * kUserDataSize, "\x01" "CD001", 6), 0);
    // vcdimager stamps the clock's time into the descriptor's creation and
    // modification dates whatever -T says, so two runs a second apart differ
    // there: those dates (ECMA-119 8.4.26-27, bytes 813-846) are taken from
    // the narrow image for the comparison.
    std::memcpy(wide.data() + 16 * kRawSectorSize + 24 + 813, narrow.data() + 16 * 2336 + 8 + 813, 34);
    for (int32_t i = 0; i < sectors; ++i) {
        ASSERT_EQ(std::memcmp(user.data() + size_t(i) * kUserDataSize, wide.data() + size_t(i) * kRawSectorSize + 24,
                              kUserDataSize), 0) << i;
    }
}

}  // namespace
}  // namespace image
