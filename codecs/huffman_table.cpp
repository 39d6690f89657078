#include "codecs/huffman_table.h"

namespace codecs {

bool HuffmanTable::Build(const uint8_t* lengths, size_t count, int tableBits) {
    if (count > kHuffmanMaxSymbols || tableBits < 1 || tableBits > kHuffmanMaxTableBits) return false;
    tableBits_ = tableBits;
    lengthCount_.fill(0);
    for (size_t s = 0; s < count; ++s) {
        if (lengths[s] > kHuffmanMaxCodeBits) return false;
        ++lengthCount_[lengths[s]];
    }
    // Kraft sum in units of 2^-16.
    uint32_t used = 0;
    for (int len = 1; len <= kHuffmanMaxCodeBits; ++len) used += uint32_t{lengthCount_[len]} << (kHuffmanMaxCodeBits - len);
    if (used > (1u << kHuffmanMaxCodeBits)) return false;

    uint32_t code = 0;
    uint16_t start = 0;
    for (int len = 1; len <= kHuffmanMaxCodeBits; ++len) {
        code = (code + (len > 1 ? lengthCount_[len - 1] : 0)) << 1;
        if (len == 1) code = 0;
        firstCode_[len] = code;
        sortedStart_[len] = start;
        start = static_cast<uint16_t>(start + lengthCount_[len]);
    }
    std::array<uint16_t, kHuffmanMaxCodeBits + 1> next = sortedStart_;
    for (size_t s = 0; s < count; ++s)
        if (lengths[s] != 0) sorted_[next[lengths[s]]++] = static_cast<uint16_t>(s);

    direct_.fill(0);
    const size_t tableSize = size_t{1} << tableBits;
    for (int len = 1; len <= tableBits; ++len) {
        for (uint32_t i = 0; i < lengthCount_[len]; ++i) {
            const uint32_t symbol = sorted_[sortedStart_[len] + i];
            const uint32_t first = (firstCode_[len] + i) << (tableBits - len);
            const uint32_t span = 1u << (tableBits - len);
            const uint16_t entry = static_cast<uint16_t>(symbol << 5 | uint32_t(len));
            for (uint32_t j = 0; j < span && first + j < tableSize; ++j) direct_[first + j] = entry;
        }
    }
    return true;
}

int HuffmanTable::DecodeLong(uint32_t next16, int& codeBits) const {
    for (int len = tableBits_ + 1; len <= kHuffmanMaxCodeBits; ++len) {
        const uint32_t code = next16 >> (kHuffmanMaxCodeBits - len);
        // Codes below a length's first code are prefixes of shorter codes,
        // already ruled out by the direct table.
        if (code >= firstCode_[len] && code - firstCode_[len] < lengthCount_[len]) {
            codeBits = len;
            return sorted_[sortedStart_[len] + (code - firstCode_[len])];
        }
    }
    return -1;
}

}  // namespace codecs
