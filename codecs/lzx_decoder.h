#pragma once
// LZX as WIM stores it: every chunk of up to 32768 bytes is an independent
// LZX stream with a 32 KB window, fixed E8 call translation (size 12000000)
// and no translation header. The decoder reads exactly the chunk's stored
// bytes and writes exactly its uncompressed size; each chunk starts with
// cleared code lengths and repeated offsets 1, 1, 1. A block of type 0 or
// above 3, a block of size 0, a code-length run of an unknown kind, a
// distance reaching before the chunk's first byte, a match running past the
// chunk's end, a repeated offset of 0 in an uncompressed block and a stream
// that needs more bits than it holds all fail.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/huffman_table.h"

namespace codecs {

class WordBitReader;

constexpr size_t kLzxChunkBytes = 32768;
constexpr uint32_t kLzxE8TranslationSize = 12000000;

// Scratch of one decode; one per thread that decodes (it holds no state
// between chunks).
class LzxDecoder {
public:
    static constexpr int kPositionSlots = 30;   // 32 KB window
    static constexpr int kMainSymbols = 256 + 8 * kPositionSlots;
    static constexpr int kLengthSymbols = 249;
    static constexpr int kAlignedSymbols = 8;
    static constexpr int kPretreeSymbols = 20;

    // out.size() must be 1..kLzxChunkBytes. True when the whole chunk decoded.
    bool DecodeChunk(std::span<const uint8_t> in, std::span<uint8_t> out);

private:
    bool ReadLengths(WordBitReader& bits, uint8_t* lengths, int start, int end);

    std::array<uint8_t, kMainSymbols> mainLengths_{};
    std::array<uint8_t, kLengthSymbols> lengthLengths_{};
    std::array<uint8_t, kAlignedSymbols> alignedLengths_{};
    std::array<uint8_t, kPretreeSymbols> pretreeLengths_{};
    HuffmanTable main_;
    HuffmanTable length_;
    HuffmanTable aligned_;
    HuffmanTable pretree_;
};

// One chunk with a decoder of its own.
bool DecodeLzxChunk(std::span<const uint8_t> in, std::span<uint8_t> out);

// Undoes the E8 call translation on one decoded chunk (position 0 at the
// chunk's first byte).
void UndoLzxE8Translation(std::span<uint8_t> data);

}  // namespace codecs
