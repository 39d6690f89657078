#include "codecs/xpress_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/codecs/lz_stream_builder.h"

namespace {

// A chunk whose code gives literal 'A' the code "0" and the match symbol
// 256 + (offset bits << 4 | length code) the code "1".
std::vector<uint8_t> Chunk(uint32_t matchSymbol, uint32_t firstBits, int bitCount,
                           const std::vector<uint8_t>& rawBytes) {
    std::vector<uint8_t> chunk(256, 0);
    auto setLength = [&](uint32_t symbol, uint8_t length) {
        chunk[symbol / 2] = static_cast<uint8_t>(chunk[symbol / 2] | (symbol & 1 ? length << 4 : length));
    };
    setLength('A', 1);
    if (matchSymbol != 0) setLength(matchSymbol, 1);
    qvtest::WordBitWriter bits;
    bits.Put(firstBits, bitCount);
    bits.Align();
    bits.Put(0, 16);   // the reader holds two words ahead from the start
    std::vector<uint8_t> stream = bits.Finish();
    chunk.insert(chunk.end(), stream.begin(), stream.end());
    chunk.insert(chunk.end(), rawBytes.begin(), rawBytes.end());
    return chunk;
}

struct Row {
    const char* name;
    std::vector<uint8_t> chunk;
    size_t outSize;
    bool ok;
    std::string expected;   // when ok
};

TEST(XpressDecoder, HandBuiltChunks) {
    const uint32_t len15 = 256 + 15;          // offset bits 0, length code 15
    const uint32_t offset2 = 256 + (1 << 4);  // offset bits 1, length code 0
    const Row rows[] = {
        {"literal then long length 15, 255, 0x0100 = 259", Chunk(len15, 0b01, 2, {0xFF, 0x00, 0x01}), 260, true,
         std::string(260, 'A')},
        {"length byte 10 gives 10 + 15 + 3", Chunk(len15, 0b01, 2, {10}), 29, true, std::string(29, 'A')},
        {"offset bits after the symbol", Chunk(offset2, 0b0010, 4, {}), 5, true, "AAAAA"},
        {"a match at the chunk's start", Chunk(len15, 0b1, 1, {0xFF, 0x00, 0x01}), 259, false, ""},
        {"distance before the first byte", Chunk(offset2, 0b0011, 4, {}), 5, false, ""},
        {"match past the chunk's end", Chunk(len15, 0b01, 2, {0xFF, 0x00, 0x01}), 200, false, ""},
        {"length bytes missing", Chunk(len15, 0b01, 2, {0xFF, 0x00}), 260, false, ""},
        {"empty code", std::vector<uint8_t>(300, 0), 10, false, ""},
        {"shorter than the code lengths", std::vector<uint8_t>(255, 0x11), 1, false, ""},
        {"oversubscribed code", std::vector<uint8_t>(256 + 4, 0x11), 1, false, ""},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> out(row.outSize, 0xCC);
        const bool ok = codecs::DecodeXpressChunk(row.chunk, out);
        EXPECT_EQ(ok, row.ok) << row.name;
        if (ok && row.ok) {
            EXPECT_EQ(std::string(out.begin(), out.end()), row.expected) << row.name;
        }
    }
}

// A stream that needs more bits than the chunk holds fails rather than
// decoding the zeros past its end.
TEST(XpressDecoder, RunningOutOfBitsFails) {
    std::vector<uint8_t> chunk(256, 0);
    chunk['A' / 2] = 1 << 4;   // 'A' (odd) has the only code, "0"
    chunk.push_back(0);
    chunk.push_back(0);        // one word: 16 literals at most
    std::vector<uint8_t> out(16);
    EXPECT_TRUE(codecs::DecodeXpressChunk(chunk, out));
    std::vector<uint8_t> more(17);
    EXPECT_FALSE(codecs::DecodeXpressChunk(chunk, more));
}

}  // namespace
