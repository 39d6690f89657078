#include "codecs/lzx_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/codecs/lz_stream_builder.h"

namespace {

// Block header: type, then "1" for a 32768-byte block or "0" and 16 bits.
void Header(qvtest::WordBitWriter& bits, uint32_t type, uint32_t size) {
    bits.Put(type, 3);
    if (size == 32768) {
        bits.Put(1, 1);
    } else {
        bits.Put(0, 1);
        bits.Put(size, 16);
    }
}

std::vector<uint8_t> UncompressedChunk(const std::vector<uint8_t>& data, uint32_t r0, uint32_t r1, uint32_t r2) {
    qvtest::WordBitWriter bits;
    Header(bits, 3, uint32_t(data.size()));
    bits.Align();   // the header's word, padded; the raw part follows
    std::vector<uint8_t> out = bits.Finish();
    for (uint32_t r : {r0, r1, r2})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(r >> (8 * i)));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    return out;
}

void PutLe32(std::vector<uint8_t>& data, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetLe32(const std::vector<uint8_t>& data, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{data[at + size_t(i)]} << (8 * i);
    return v;
}

// One uncompressed block of 32768 bytes: copied, then the E8 translation
// undone on it.
TEST(LzxDecoder, UncompressedBlockWithE8Translation) {
    std::vector<uint8_t> data(32768);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 200);   // no 0xE8
    struct Row {
        size_t at;
        uint32_t stored;
        uint32_t expected;
    } rows[] = {
        {100, 512, 512 - 100},                          // absolute inside the translation size
        {200, uint32_t(-50), 12000000 - 50},            // negative, not before the stream start
        {300, uint32_t(-301), uint32_t(-301)},          // before the stream start: left alone
        {400, 12000000, 12000000},                      // at the translation size: left alone
        {32768 - 10, 512, 512},                         // in the last ten bytes: left alone
    };
    for (const Row& row : rows) {
        data[row.at] = 0xE8;
        PutLe32(data, row.at + 1, row.stored);
    }
    std::vector<uint8_t> out(32768);
    ASSERT_TRUE(codecs::DecodeLzxChunk(UncompressedChunk(data, 1, 1, 1), out));
    for (const Row& row : rows) EXPECT_EQ(GetLe32(out, row.at + 1), row.expected) << row.at;
    for (size_t i = 0; i < 90; ++i) EXPECT_EQ(out[i], data[i]);
}

// A verbatim block whose main tree holds literal 0 ("0") and the match
// symbol 256 (slot 0 = R0, length 2) ("1"), built through the pretree:
// code 16 gives length 1, code 18 runs of zeros.
std::vector<uint8_t> VerbatimChunk(uint32_t blockSize, const std::vector<int>& mainSymbols,
                                   int pretreeExtra = -1) {
    qvtest::WordBitWriter bits;
    Header(bits, 1, blockSize);
    auto pretree = [&](bool withNineteen) {
        for (int s = 0; s < 20; ++s) bits.Put((s == 16 || s == 18 || (withNineteen && s == 19)) ? (withNineteen ? 2 : 1) : 0, 4);
    };
    auto zeros = [&](int count) {   // code 18 is "1" (two-symbol tree: 16 "0", 18 "1")
        while (count > 0) {
            const int run = count >= 51 ? 51 : count;
            bits.Put(1, 1);
            bits.Put(uint32_t(run - 20), 5);
            count -= run;
        }
    };
    if (pretreeExtra >= 0) {
        // Pretree of 16 "00", 18 "01", 19 "10": a 19 whose follower is 18.
        pretree(true);
        bits.Put(0b10, 2);
        bits.Put(0, 1);
        bits.Put(0b01, 2);
        return bits.Finish();
    }
    pretree(false);
    bits.Put(0, 1);   // symbol 0: length 1
    zeros(255);
    pretree(false);
    bits.Put(0, 1);   // symbol 256: length 1
    zeros(239);
    pretree(false);
    zeros(249);       // no length tree
    for (int s : mainSymbols) bits.Put(uint32_t(s == 0 ? 0 : 1), 1);
    return bits.Finish();
}

TEST(LzxDecoder, HandBuiltChunks) {
    std::vector<uint8_t> zeroBytesBlockHeader;
    {
        qvtest::WordBitWriter bits;
        Header(bits, 1, 0);
        zeroBytesBlockHeader = bits.Finish();
    }
    std::vector<uint8_t> typeZero;
    {
        qvtest::WordBitWriter bits;
        Header(bits, 0, 32768);
        typeZero = bits.Finish();
        typeZero.resize(64, 0);
    }
    std::vector<uint8_t> small(10, 'q');
    std::vector<uint8_t> cutShort = UncompressedChunk(small, 1, 1, 1);
    cutShort.resize(cutShort.size() - 4);
    struct Row {
        const char* name;
        std::vector<uint8_t> chunk;
        size_t outSize;
        bool ok;
    } rows[] = {
        {"literal then a repeat-offset match", VerbatimChunk(3, {0, 256}), 3, true},
        {"a match at the chunk's start", VerbatimChunk(3, {256, 0}), 3, false},
        {"a match past the chunk's end", VerbatimChunk(2, {0, 256}), 2, false},
        {"pretree 19 followed by a code above 16", VerbatimChunk(3, {}, 19), 3, false},
        {"block type 0", typeZero, 100, false},
        {"block of size 0", zeroBytesBlockHeader, 100, false},
        {"small uncompressed block", UncompressedChunk(small, 1, 2, 3), 10, true},
        {"uncompressed block with R0 = 0", UncompressedChunk(small, 0, 1, 1), 10, false},
        {"uncompressed block with R2 = 0", UncompressedChunk(small, 1, 1, 0), 10, false},
        {"uncompressed block cut short", cutShort, 10, false},
        {"uncompressed block larger than the chunk", UncompressedChunk(small, 1, 1, 1), 8, false},
        {"stream that runs out", VerbatimChunk(200, {0}), 200, false},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> out(row.outSize, 0xCC);
        EXPECT_EQ(codecs::DecodeLzxChunk(row.chunk, out), row.ok) << row.name;
        if (row.ok && std::string(row.name) == "literal then a repeat-offset match") {
            EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0}));
        }
    }
}

}  // namespace
