// The read-ahead ring against sources the peer tools made: an xorriso ISO, a
// disc in the software drive with unreadable sectors, and tone tracks that sox
// and flac wrote (decoded PCM compared with what sox decodes).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "burn_test_support.h"
#include "image/sectors/sector_io.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/drive/sector_read_state.h"
#include "soft_drive/soft_drive_fixture.h"

namespace optical {
namespace {

using burntest::Bytes;

// Takes everything the reader supplies in chunks (the first one `firstChunk`
// long), each taken first without and then with release, as the writers do.
Bytes Drain(ReadAheadBuffer* buffer, uint32_t total, uint32_t firstChunk, uint32_t chunk, int* wrapped = nullptr,
            int* direct = nullptr) {
    const size_t size = size_t(GetBurnBufferSectorSize(buffer));
    Bytes all;
    Bytes work(size * chunk);
    uint32_t done = 0;
    while (done < total) {
        const uint32_t n = std::min(done == 0 ? firstChunk : chunk, total - done);
        uint8_t* got = TakeSectors(buffer, work.data(), uint32_t(work.size()), n, false);
        if (!got) break;
        if (got == work.data()) {
            if (wrapped) ++*wrapped;
        } else if (direct) {
            ++*direct;
        }
        all.insert(all.end(), got, got + size * n);
        EXPECT_EQ(TakeSectors(buffer, work.data(), uint32_t(work.size()), n, true), got);
        done += n;
    }
    return all;
}

TEST(BurnBuffer, CapacityFollowsTheSetting) {
    struct Row {
        uint32_t megabytes;
        bool driveCopy;
        uint32_t sectors;
    } rows[] = {{4, false, 4096}, {8, false, 4096}, {128, false, 65536}, {200, false, 4096}, {8, true, 16384},
                {64, true, 32768}};
    for (const Row& r : rows) EXPECT_EQ(BurnBufferCapacitySectors(r.megabytes, r.driveCopy), r.sectors) << r.megabytes;
}

TEST(BurnBuffer, SmallIsoGivesSixHundredSectorsThenZeros) {
    qvtest::TempDir dir;
    const std::string iso = burntest::MakeIso(dir, "small", 200);
    auto ctx = burntest::OpenIso(iso);
    ASSERT_LT(ctx->endSector, 300);
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    ReadAheadBufferPtr buffer(CreateBurnBuffer(job, 2048));
    ASSERT_TRUE(buffer);
    EXPECT_EQ(GetFreeSectors(buffer.get()), GetBurnBufferCapacity(buffer.get()) - 600);
    const Bytes got = Drain(buffer.get(), 600, 16, 16);
    ASSERT_EQ(got.size(), 600u * 2048);
    qvtest::WriteFileBytes(dir / "out.bin", got.data(), got.size());
    const std::string n = std::to_string(ctx->endSector * 2048);
    qvtest::RunOk("cmp -n " + n + " " + qvtest::ShellQuote(iso) + " " + qvtest::ShellQuote(dir / "out.bin"));
    for (size_t i = size_t(ctx->endSector) * 2048; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
    Bytes work(16 * 2048);
    EXPECT_EQ(TakeSectors(buffer.get(), work.data(), uint32_t(work.size()), 1, false), nullptr);
}

TEST(BurnBuffer, RunsAcrossTheRingEndAreCopiedIntoWork) {
    qvtest::TempDir dir;
    const std::string iso = burntest::MakeIso(dir, "large", 9000);
    auto ctx = burntest::OpenIso(iso);
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    ReadAheadBufferPtr buffer(CreateBurnBuffer(job, 2048));
    ASSERT_TRUE(buffer);
    ASSERT_EQ(GetBurnBufferCapacity(buffer.get()), 4096u);
    ASSERT_GT(ctx->endSector, 4200);
    // A first chunk of 10 puts every later 16-sector chunk off the ring's
    // 16-sector grid, so one of them wraps.
    int wrapped = 0, direct = 0;
    const uint32_t total = uint32_t(ctx->endSector) + 300;
    const Bytes got = Drain(buffer.get(), total, 10, 16, &wrapped, &direct);
    ASSERT_EQ(got.size(), size_t(total) * 2048);
    EXPECT_GE(wrapped, 1);
    EXPECT_GT(direct, 100);
    const Bytes source = qvtest::ReadFileBytes(iso);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), got.begin()));
}

TEST(BurnBuffer, ImageShorterThanItsEndFailsInsteadOfBurningZeros) {
    qvtest::TempDir dir;
    const std::string iso = burntest::MakeIso(dir, "short", 200);
    const int32_t real = int32_t(qvtest::ReadFileBytes(iso).size() / 2048);
    auto ctx = burntest::OpenIso(iso, real + 100);
    ctx->quietReads = 1;
    image::SetBurnReadPolicy(true, false);
    BurnJob job;
    job.source = ctx.get();
    job.endSector = ctx->endSector;
    burntest::ScopedFace log;
    ReadAheadBuffer* buffer = CreateBurnBuffer(job, 2048);
    image::SetBurnReadPolicy(false, false);
    EXPECT_EQ(buffer, nullptr);
    DestroyBurnBuffer(buffer);
}

// A disc copy from the software drive with sectors 10, 11 and 12 unreadable:
// one row that grows with the run, the good sectors kept, the bad ones zero.
TEST(BurnBuffer, DiscCopyReportsAFailingRunInOneRow) {
    qvtest::TempDir dir;
    const std::string iso = burntest::MakeIso(dir, "copy", 300);
    const Bytes source = qvtest::ReadFileBytes(iso);
    const int32_t sectors = int32_t(source.size() / 2048);
    softdrive::ScopedSoftDrive drive;
    ASSERT_TRUE(drive.Load("profile 0x0010\ntrack mode=1 file=" + iso + "\n")) << drive.lastError;
    for (int64_t lba : {10, 11, 12}) {
        softdrive::Fault fault;
        fault.lba = lba;
        drive.drive.AddFault(fault);
    }
    ResetSectorReadState();
    image::ImageContext ctx;
    ctx.discSource = 1;
    ctx.sourceDriveHandle = drive.Handle();
    // The software drive's handle is not the document's to close.
    struct Release {
        image::ImageContext& ctx;
        ~Release() { ctx.sourceDriveHandle = nullptr; }
    } release{ctx};
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 1;
    list->tracks[0].mode = image::track_mode::kMode1;
    list->tracks[0].length = sectors;
    ctx.trackList = list.release();
    BurnJob job;
    job.kind = BurnJobKind::DiscCopy;
    job.source = &ctx;
    burntest::ScopedFace log;
    ReadAheadBufferPtr buffer(CreateBurnBuffer(job, 2048));
    ASSERT_TRUE(buffer);
    EXPECT_EQ(GetBurnBufferCapacity(buffer.get()), 16384u);
    const Bytes got = Drain(buffer.get(), uint32_t(sectors), 16, 16);
    ASSERT_EQ(got.size(), source.size());
    for (size_t s = 0; s < size_t(sectors); ++s) {
        const bool bad = s >= 10 && s <= 12;
        const Bytes zero(2048, 0);
        const uint8_t* expected = bad ? zero.data() : source.data() + s * 2048;
        ASSERT_EQ(std::memcmp(got.data() + s * 2048, expected, 2048), 0) << s;
    }
    std::vector<std::u16string> errors;
    for (const auto& call : log.face.Calls())
        if (call.text.find(u"Error reading") != std::u16string::npos) errors.push_back(std::u16string(1, call.kind) + call.text);
    EXPECT_EQ(errors, (std::vector<std::u16string>{u"AError reading sector 10 on the source disc.",
                                                   u"RError reading sectors from 10 to 11 on the source disc.",
                                                   u"RError reading sectors from 10 to 12 on the source disc."}));
    EXPECT_TRUE(log.face.Has(u"Caching of the source disc started..."));
}

// A copy of several tracks from the temporary file through rings of every
// size. After an underrun the writer waits for a nearly full ring; the reader
// must then fill whatever space there is, even when the next track is longer
// than that space, or both sides wait for each other for ever.
TEST(BurnBuffer, RingsOfEverySizeCopySeveralTracksWithoutStalling) {
    struct Row {
        const char* name;
        uint32_t megabytes;
        std::vector<int32_t> tracks;
    } rows[] = {
        {"8 MB ring, two tracks", 8, {9000, 3000}},
        {"ring over 16 MB with several tracks", 32, {29684, 8000}},
        {"17 MB ring, three tracks", 17, {12000, 9001, 7000}},
        {"128 MB ring larger than the disc", 128, {20000, 4000}},
    };
    qvtest::TempDir dir;
    const int32_t total = 29684 + 8000;
    // A sparse file whose every 512th sector carries its own number.
    const std::string path = dir / "copy.tmp";
    {
        platform::FileHandle file =
            platform::FileOpenUtf8(path, platform::FileAccess::ReadWrite, platform::FileDisposition::CreateAlways);
        ASSERT_TRUE(file != nullptr);
        for (int32_t s = 0; s < total; s += 512) {
            const uint32_t stamp = uint32_t(s) + 1;
            ASSERT_EQ(platform::FileWriteAt(file, uint64_t(s) * 2048, &stamp, sizeof stamp), int64_t(sizeof stamp));
        }
        ASSERT_TRUE(platform::FileSetSize(file, uint64_t(total) * 2048));
        platform::FileClose(file);
    }
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto ctx = burntest::OpenIso(path, total);
        image::TrackListPtr list = image::NewTrackList();
        int32_t start = 0;
        for (int32_t length : r.tracks) {
            image::TrackEntry& t = list->tracks[size_t(list->trackCount++)];
            t.mode = image::track_mode::kMode1;
            t.startSector = start;
            t.length = length;
            start += length;
        }
        ctx->trackList = list.release();
        BurnJob job;
        job.kind = BurnJobKind::DiscCopy;
        job.source = ctx.get();
        job.bufferMegabytes = r.megabytes;
        ReadAheadBufferPtr buffer(CreateBurnBuffer(job, 2048));
        ASSERT_TRUE(buffer);
        auto drained = std::async(std::launch::async, [&] {
            Bytes work(32 * 2048);
            int32_t done = 0;
            while (done < start) {
                const uint32_t n = uint32_t(std::min(32, start - done));
                const uint8_t* got = TakeSectors(buffer.get(), work.data(), uint32_t(work.size()), n, true);
                if (!got) break;
                for (uint32_t i = 0; i < n; ++i) {
                    const int32_t s = done + int32_t(i);
                    if (s % 512 != 0 || s >= total) continue;
                    uint32_t stamp = 0;
                    std::memcpy(&stamp, got + size_t(i) * 2048, sizeof stamp);
                    if (stamp != uint32_t(s) + 1) return -s - 1;
                }
                done += int32_t(n);
            }
            return done;
        });
        if (drained.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
            ADD_FAILURE() << "the ring stalled";
            std::abort();   // both threads wait for ever; nothing can be joined
        }
        EXPECT_EQ(drained.get(), start);
    }
}

struct AudioFixture : burntest::TwoToneDisc {
    AudioFixture() : TwoToneDisc("4.2", "1.1") {}
};

TEST(BurnBuffer, DecodedTracksEqualWhatSoxDecodes) {
    AudioFixture f;
    BurnJob job;
    job.kind = BurnJobKind::DataDisc;
    job.source = &f.ctx;
    ReadAheadBufferPtr buffer(CreateBurnBuffer(job, 2352));
    ASSERT_TRUE(buffer);
    const uint32_t total = 150 + uint32_t(f.length1) + 75 + uint32_t(f.length2);
    const Bytes got = Drain(buffer.get(), total, 16, 16);
    ASSERT_EQ(got.size(), size_t(total) * 2352);
    Bytes expected(150 * 2352, 0);
    expected.insert(expected.end(), f.pcm1.begin(), f.pcm1.end());
    expected.resize((150 + size_t(f.length1) + 75) * 2352, 0);
    expected.insert(expected.end(), f.pcm2.begin(), f.pcm2.end());
    expected.resize(got.size(), 0);
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(f.decoder.opens, 2);
    // The player shares the decoder: it is stopped once, before the first open.
    EXPECT_EQ(f.decoder.calls, (std::vector<std::string>{"stop player", "open decoder", "open decoder"}));
}

TEST(BurnBuffer, BadTracksFailTheFillInsteadOfBurningSilence) {
    struct Row {
        const char* name;
        int64_t failAfter;
        int32_t length2;      // 0: keep
        int32_t pregap2;      // 0: keep
    } rows[] = {
        {"decoder failing mid-track", 100, 0, 0},
        {"a track without data", -1, -1, 0},
        {"a pregap reaching into the track before", -1, 0, 100000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        AudioFixture f;
        f.decoder.failAfter = r.failAfter;
        if (r.length2 < 0) f.ctx.trackList->tracks[1].length = 0;
        if (r.pregap2 > 0) f.ctx.trackList->tracks[1].pregap = r.pregap2;
        BurnJob job;
        job.kind = BurnJobKind::DataDisc;
        job.source = &f.ctx;
        ReadAheadBuffer* buffer = CreateBurnBuffer(job, 2352);
        EXPECT_EQ(buffer, nullptr);
        DestroyBurnBuffer(buffer);
    }
}

}  // namespace
}  // namespace optical
