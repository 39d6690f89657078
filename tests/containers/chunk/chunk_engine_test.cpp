// The chunk engine over hand-made tables: runs that span chunks of every
// kind, a tail past the last chunk, the last partial sector, the 513th chunk,
// the decoded-chunk cache (a chunk decoded once; the least recently used one
// evicted, seen by damaging the file behind the cache's back), ADC streams,
// and two threads reading one table at once.

#include "containers/chunk/chunk_engine.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "containers/chunk/adc_decoder.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace containers {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data) {
    uLongf n = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(n);
    compress(out.data(), &n, data.data(), uLong(data.size()));
    out.resize(n);
    return out;
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t((i * 31 + seed * 7 + (i >> 9)) & 0xFF);
    return out;
}

// A document over a file of chunks: `count` zlib chunks of 4096 decoded bytes
// each, then a stored chunk of 2048 and a zero chunk of 1000 bytes.
struct Fixture {
    qvtest::TempDir dir;
    image::ImageContext ctx;
    std::vector<uint8_t> image;     // the decoded bytes
    std::vector<uint64_t> offsets;  // of the zlib chunks in the file

    explicit Fixture(int count) {
        std::vector<uint8_t> file;
        ChunkTableOwner table = NewChunkTable();
        for (int i = 0; i < count; ++i) {
            const std::vector<uint8_t> plain = Pattern(4096, uint32_t(i));
            const std::vector<uint8_t> packed = Compress(plain);
            offsets.push_back(file.size());
            AddChunk(*table, kChunkZlib, file.size(), packed.size(), plain.size());
            file.insert(file.end(), packed.begin(), packed.end());
            image.insert(image.end(), plain.begin(), plain.end());
        }
        const std::vector<uint8_t> stored = Pattern(2048, 99);
        AddChunk(*table, kChunkStored, file.size(), stored.size(), stored.size());
        file.insert(file.end(), stored.begin(), stored.end());
        image.insert(image.end(), stored.begin(), stored.end());
        AddChunk(*table, kChunkZero, 0, 0, 1000);
        image.insert(image.end(), 1000, 0);
        qvtest::WriteFileBytes(dir / "c.bin", file.data(), file.size());
        ctx.imageHandle.reset(foundation::OpenFileForRead(platform::Utf8ToUtf16(dir / "c.bin")));
        table->file = ctx.imageHandle.get();
        EXPECT_TRUE(AttachChunkTable(ctx, std::move(table), image::format_code::kDmg));
    }
    // Spoils chunk i's stored bytes in the file.
    void Damage(int i) {
        foundation::UniqueFile file(foundation::OpenFileReadWrite(platform::Utf8ToUtf16(dir / "c.bin")));
        const uint8_t junk[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF};
        ASSERT_EQ(foundation::WriteFileAt(file.get(), junk, offsets[size_t(i)], sizeof junk), 8);
    }
    bool Reads(int32_t sector, int32_t count) {
        std::vector<uint8_t> out(size_t(count) * 2048, 0xEE);
        if (ReadChunkedSectors(ctx, sector, out.data(), count) != count) return false;
        for (size_t i = 0; i < out.size(); ++i) {
            const size_t at = size_t(sector) * 2048 + i;
            if (out[i] != (at < image.size() ? image[at] : 0)) return false;
        }
        return true;
    }
};

TEST(ChunkEngine, RunsAcrossChunksAndTheEnd) {
    Fixture f(600);   // past the 512th chunk
    const int32_t sectors = int32_t((f.image.size() + 2047) / 2048);
    EXPECT_EQ(f.ctx.endSector, sectors);   // the last partial sector counts whole
    struct Row {
        int32_t first;
        int32_t count;
        bool reads;
    };
    const Row rows[] = {
        {0, 1, true},           {1, 3, true},          {1022, 5, true},   // around the 512th chunk
        {sectors - 3, 3, true}, {sectors - 2, 8, true},                   // the tail past the end is zeros
        {sectors, 1, false},    {sectors + 100, 1, false}, {-1, 1, false},
    };
    for (const Row& row : rows) EXPECT_EQ(f.Reads(row.first, row.count), row.reads) << row.first << "+" << row.count;
}

TEST(ChunkEngine, CacheDecodesOnceAndEvictsTheLeastRecentlyUsed) {
    Fixture f(8);
    ASSERT_TRUE(f.Reads(0, 1));   // chunk 0 (sectors 0-1)
    f.Damage(0);
    EXPECT_TRUE(f.Reads(1, 1));   // still from the cache
    for (int32_t c = 1; c <= 3; ++c) ASSERT_TRUE(f.Reads(c * 2, 1));
    EXPECT_TRUE(f.Reads(0, 1));   // chunk 0 used last but for 1..3: still cached
    ASSERT_TRUE(f.Reads(8, 1));   // chunk 4 evicts chunk 1, the least recently used
    f.Damage(1);
    EXPECT_FALSE(f.Reads(2, 1));
    EXPECT_TRUE(f.Reads(0, 1));
    EXPECT_FALSE(f.Reads(2, 1));  // a failed decode keeps nothing
}

TEST(ChunkEngine, TwoThreadsReadOneTable) {
    Fixture f(64);
    bool ok[2] = {true, true};
    auto reader = [&f](int seed, bool* result) {
        for (int i = 0; i < 300; ++i) {
            const int32_t sector = int32_t((i * 37 + seed * 11) % 130);
            if (!f.Reads(sector, 1 + i % 3)) *result = false;
        }
    };
    std::thread a(reader, 1, &ok[0]);
    std::thread b(reader, 2, &ok[1]);
    a.join();
    b.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
}

TEST(ChunkEngine, AdcStreams) {
    struct Row {
        const char* name;
        std::vector<uint8_t> input;
        std::string output;   // empty: refused
    };
    const Row rows[] = {
        {"a literal run", {0x82, 'a', 'b', 'c'}, "abc"},
        {"a short copy of one byte", {0x80, 'x', 0x04, 0x00}, "xxxxx"},
        {"a long copy from two back", {0x81, 'a', 'b', 0x40, 0x00, 0x01}, "ababab"},
        {"a copy before the start", {0x80, 'x', 0x00, 0x05}, ""},
        {"a literal run past the input", {0x85, 'a'}, ""},
        {"a code without its distance", {0x80, 'a', 0x40, 0x00}, ""},
    };
    for (const Row& row : rows) {
        uint8_t out[16] = {};
        const int64_t n = DecodeAdc(row.input.data(), row.input.size(), out, row.output.empty() ? 4 : sizeof out);
        if (row.output.empty()) {
            EXPECT_EQ(n, -1) << row.name;
        } else {
            ASSERT_EQ(n, int64_t(row.output.size())) << row.name;
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size_t(n)), row.output) << row.name;
        }
    }
    const uint8_t overflow[] = {0x80, 'x', 0x3C, 0x00};   // 18 bytes into room for 4
    uint8_t small[4];
    EXPECT_EQ(DecodeAdc(overflow, sizeof overflow, small, sizeof small), -1);
}

}  // namespace
}  // namespace containers
