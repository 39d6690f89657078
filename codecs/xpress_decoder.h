#pragma once
// XPRESS with Huffman coding as WIM stores it: every chunk of up to 32768
// bytes starts with 256 bytes of 4-bit code lengths for 512 symbols, then the
// bit stream, with the bytes of long match lengths taken from the input at the
// stream's next-word position. The decoder reads exactly the chunk's stored
// bytes and writes exactly its uncompressed size. An oversubscribed code, a
// symbol with no code, a distance reaching before the chunk's first byte, a
// match running past the chunk's end and a stream that needs more input than
// it holds all fail.

#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/huffman_table.h"

namespace codecs {

constexpr size_t kXpressChunkBytes = 32768;
constexpr size_t kXpressCodeLengthBytes = 256;

class XpressDecoder {
public:
    static constexpr int kSymbols = 512;
    // out.size() must be 1..kXpressChunkBytes. True when the whole chunk decoded.
    bool DecodeChunk(std::span<const uint8_t> in, std::span<uint8_t> out);

private:
    HuffmanTable table_;
};

// One chunk with a decoder of its own.
bool DecodeXpressChunk(std::span<const uint8_t> in, std::span<uint8_t> out);

}  // namespace codecs
