#pragma once
// Canonical Huffman decoding of the LZX and XPRESS chunk decoders: codes of up
// to 16 bits read most significant bit first. Short codes resolve in one
// lookup of a direct table; longer ones walk the per-length first codes.
// Code-length sets that oversubscribe the code space, or carry a length above
// 16, are refused; an incomplete set is accepted (a compressor may leave the
// code space unfilled), and the unused codes decode to -1, as does every code
// of an empty set.

#include <array>
#include <cstddef>
#include <cstdint>

namespace codecs {

constexpr int kHuffmanMaxCodeBits = 16;
constexpr size_t kHuffmanMaxSymbols = 656;   // LZX main tree: 256 + 8 x 50 position slots
constexpr int kHuffmanMaxTableBits = 11;

class HuffmanTable {
public:
    // lengths[0..count): 0 = symbol unused. tableBits 1..kHuffmanMaxTableBits.
    // False when the set oversubscribes, a length passes 16, or count is too big.
    bool Build(const uint8_t* lengths, size_t count, int tableBits);

    // next16: the next 16 bits of the stream, first bit in bit 15. Returns the
    // symbol and sets codeBits, or -1 when no code matches.
    int Decode(uint32_t next16, int& codeBits) const {
        const uint16_t entry = direct_[next16 >> (16 - tableBits_)];
        if (entry != 0) {
            codeBits = entry & 31;
            return entry >> 5;
        }
        return DecodeLong(next16, codeBits);
    }

private:
    int DecodeLong(uint32_t next16, int& codeBits) const;

    int tableBits_ = 1;
    // Entry: symbol << 5 | code length; 0 = no short code here.
    std::array<uint16_t, size_t{1} << kHuffmanMaxTableBits> direct_{};
    std::array<uint32_t, kHuffmanMaxCodeBits + 1> firstCode_{};   // canonical first code of each length
    std::array<uint16_t, kHuffmanMaxCodeBits + 1> lengthCount_{};
    std::array<uint16_t, kHuffmanMaxCodeBits + 1> sortedStart_{};  // index of each length's first symbol
    std::array<uint16_t, kHuffmanMaxSymbols> sorted_{};           // symbols by code length, then value
};

}  // namespace codecs
