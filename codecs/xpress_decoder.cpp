#include "codecs/xpress_decoder.h"

#include <array>
#include <cstring>
#include <memory>

#include "codecs/lz_copy.h"
#include "codecs/word_bit_reader.h"

namespace codecs {
namespace {

constexpr int kTableBits = 11;
constexpr int kMinMatch = 3;

// The stream keeps at least 16 bits buffered after every step, as the
// format's reference reader does: that decides where the raw length bytes sit.
void TopUp(WordBitReader& bits) {
    if (bits.BufferedBits() < 16) bits.LoadWord();
}

}  // namespace

bool XpressDecoder::DecodeChunk(std::span<const uint8_t> in, std::span<uint8_t> out) {
    const size_t n = out.size();
    if (n == 0 || n > kXpressChunkBytes || in.size() < kXpressCodeLengthBytes) return false;
    std::array<uint8_t, kSymbols> lengths{};
    for (size_t i = 0; i < kXpressCodeLengthBytes; ++i) {
        lengths[2 * i] = in[i] & 15;
        lengths[2 * i + 1] = in[i] >> 4;
    }
    if (!table_.Build(lengths.data(), kSymbols, kTableBits)) return false;

    WordBitReader bits(in, kXpressCodeLengthBytes);
    bits.LoadWord();
    bits.LoadWord();
    uint8_t* const dst = out.data();
    size_t pos = 0;
    while (pos < n) {
        int codeBits = 0;
        const int symbol = table_.Decode(bits.Peek(16), codeBits);
        if (symbol < 0) return false;
        bits.Consume(codeBits);
        TopUp(bits);
        if (symbol < 256) {
            dst[pos++] = static_cast<uint8_t>(symbol);
            continue;
        }
        const uint32_t c = uint32_t(symbol - 256);
        const int offsetBits = int(c >> 4);
        uint32_t lengthCode = c & 15;
        if (lengthCode == 15) {
            uint32_t extra = 0;
            if (!bits.ReadRawByte(extra)) return false;
            if (extra == 255) {
                uint32_t lo = 0, hi = 0;
                if (!bits.ReadRawByte(lo) || !bits.ReadRawByte(hi)) return false;
                lengthCode = lo | hi << 8;
            } else {
                lengthCode = extra + 15;
            }
        }
        const size_t matchLength = size_t(lengthCode) + kMinMatch;
        size_t distance = size_t{1} << offsetBits;
        if (offsetBits > 0) {
            distance |= bits.Peek(offsetBits);
            bits.Consume(offsetBits);
            TopUp(bits);
        }
        if (distance > pos || matchLength > n - pos) return false;
        CopyMatch(dst, pos, distance, matchLength, n);
        pos += matchLength;
    }
    // The reader keeps 16 bits ahead; only bits actually used must be real.
    return !bits.OverranInput();
}

bool DecodeXpressChunk(std::span<const uint8_t> in, std::span<uint8_t> out) {
    auto decoder = std::make_unique<XpressDecoder>();
    return decoder->DecodeChunk(in, out);
}

}  // namespace codecs
