#include "codecs/lzx_decoder.h"

#include <cstring>
#include <memory>

#include "codecs/byte_order.h"
#include "codecs/lz_copy.h"
#include "codecs/word_bit_reader.h"

namespace codecs {
namespace {

constexpr int kMainTableBits = 11;
constexpr int kLengthTableBits = 10;
constexpr int kAlignedTableBits = 7;
constexpr int kPretreeTableBits = 8;
constexpr int kMinMatch = 2;
constexpr int kLengthHeaderEscape = 7;   // the length tree supplies the rest

enum BlockType : uint32_t { kVerbatim = 1, kAligned = 2, kUncompressed = 3 };

int DecodeSymbol(WordBitReader& bits, const HuffmanTable& table) {
    bits.Ensure(16);
    int codeBits = 0;
    const int symbol = table.Decode(bits.Peek(16), codeBits);
    if (symbol >= 0) bits.Consume(codeBits);
    return symbol;
}

}  // namespace

bool LzxDecoder::ReadLengths(WordBitReader& bits, uint8_t* lengths, int start, int end) {
    for (int i = 0; i < kPretreeSymbols; ++i) pretreeLengths_[size_t(i)] = static_cast<uint8_t>(bits.Read(4));
    if (!pretree_.Build(pretreeLengths_.data(), kPretreeSymbols, kPretreeTableBits)) return false;
    int i = start;
    while (i < end) {
        const int code = DecodeSymbol(bits, pretree_);
        if (code < 0) return false;
        if (code <= 16) {
            lengths[i] = static_cast<uint8_t>((lengths[i] + 17 - code) % 17);
            ++i;
            continue;
        }
        int run = 0;
        uint8_t value = 0;
        if (code == 17) {
            run = 4 + int(bits.Read(4));
        } else if (code == 18) {
            run = 20 + int(bits.Read(5));
        } else {
            run = 4 + int(bits.Read(1));
            const int same = DecodeSymbol(bits, pretree_);
            if (same < 0 || same > 16) return false;
            value = static_cast<uint8_t>((lengths[i] + 17 - same) % 17);
        }
        // A run may not reach past the range it describes.
        if (run > end - i) run = end - i;
        std::memset(lengths + i, value, size_t(run));
        i += run;
    }
    return !bits.OverranInput();
}

bool LzxDecoder::DecodeChunk(std::span<const uint8_t> in, std::span<uint8_t> out) {
    const size_t n = out.size();
    if (n == 0 || n > kLzxChunkBytes) return false;
    mainLengths_.fill(0);
    lengthLengths_.fill(0);
    uint32_t r0 = 1, r1 = 1, r2 = 1;
    WordBitReader bits(in);
    uint8_t* const dst = out.data();
    size_t pos = 0;

    while (pos < n) {
        const uint32_t type = bits.Read(3);
        uint32_t blockSize = 0;
        if (bits.Read(1)) {
            blockSize = uint32_t(kLzxChunkBytes);
        } else {
            blockSize = bits.Read(16);
        }
        if (type < kVerbatim || type > kUncompressed || blockSize == 0) return false;

        if (type == kUncompressed) {
            if (bits.OverranInput()) return false;
            // The raw part starts at the next word boundary of the stream; an
            // already aligned stream skips a whole word of padding.
            size_t raw = 2 * size_t(bits.ConsumedBits() / 16 + 1);
            if (blockSize > n - pos || raw > in.size() || in.size() - raw < 12) return false;
            r0 = ReadLE32(&in[raw]);
            r1 = ReadLE32(&in[raw + 4]);
            r2 = ReadLE32(&in[raw + 8]);
            // Distance 0 would copy bytes not yet written.
            if (r0 == 0 || r1 == 0 || r2 == 0) return false;
            raw += 12;
            if (in.size() - raw < blockSize) return false;
            std::memcpy(dst + pos, &in[raw], blockSize);
            pos += blockSize;
            raw += blockSize + (blockSize & 1);
            bits.Restart(raw);
            continue;
        }

        if (type == kAligned) {
            for (int i = 0; i < kAlignedSymbols; ++i) alignedLengths_[size_t(i)] = static_cast<uint8_t>(bits.Read(3));
            if (!aligned_.Build(alignedLengths_.data(), kAlignedSymbols, kAlignedTableBits)) return false;
        }
        if (!ReadLengths(bits, mainLengths_.data(), 0, 256)) return false;
        if (!ReadLengths(bits, mainLengths_.data(), 256, kMainSymbols)) return false;
        if (!main_.Build(mainLengths_.data(), kMainSymbols, kMainTableBits)) return false;
        if (!ReadLengths(bits, lengthLengths_.data(), 0, kLengthSymbols)) return false;
        if (!length_.Build(lengthLengths_.data(), kLengthSymbols, kLengthTableBits)) return false;

        // A block that claims more than the chunk holds ends with the chunk;
        // a match may run on into the next block.
        const size_t blockEnd = blockSize > n - pos ? n : pos + blockSize;
        while (pos < blockEnd) {
            const int symbol = DecodeSymbol(bits, main_);
            if (symbol < 0) return false;
            if (symbol < 256) {
                dst[pos++] = static_cast<uint8_t>(symbol);
                continue;
            }
            const uint32_t c = uint32_t(symbol - 256);
            size_t matchLength = (c & 7) + kMinMatch;
            if ((c & 7) == kLengthHeaderEscape) {
                const int more = DecodeSymbol(bits, length_);
                if (more < 0) return false;
                matchLength += size_t(more);
            }
            const uint32_t slot = c >> 3;
            uint32_t distance = 0;
            if (slot == 0) {
                distance = r0;
            } else if (slot == 1) {
                distance = r1;
                r1 = r0;
                r0 = distance;
            } else if (slot == 2) {
                distance = r2;
                r2 = r0;
                r0 = distance;
            } else {
                const int extraBits = int(slot >> 1) - 1;
                const uint32_t base = (2u | (slot & 1)) << extraBits;
                uint32_t extra = 0;
                if (type == kAligned && extraBits >= 3) {
                    extra = bits.Read(extraBits - 3) << 3;
                    const int low = DecodeSymbol(bits, aligned_);
                    if (low < 0) return false;
                    extra += uint32_t(low);
                } else {
                    extra = bits.Read(extraBits);
                }
                distance = base + extra - 2;
                r2 = r1;
                r1 = r0;
                r0 = distance;
            }
            // Nothing before the chunk's first byte, nothing past its end.
            if (distance == 0 || distance > pos || matchLength > n - pos) return false;
            CopyMatch(dst, pos, distance, matchLength, n);
            pos += matchLength;
        }
        if (bits.OverranInput()) return false;
    }
    if (bits.OverranInput()) return false;
    UndoLzxE8Translation(out);
    return true;
}

void UndoLzxE8Translation(std::span<uint8_t> data) {
    const size_t n = data.size();
    if (n <= 10) return;
    uint8_t* p = data.data();
    const size_t end = n - 10;
    for (size_t i = 0; i < end; ++i) {
        if (p[i] != 0xE8) {
            const void* found = std::memchr(p + i, 0xE8, end - i);
            if (!found) break;
            i = size_t(static_cast<const uint8_t*>(found) - p);
        }
        const int32_t value = static_cast<int32_t>(ReadLE32(p + i + 1));
        const int32_t position = static_cast<int32_t>(i);
        if (value >= -position && value < int32_t(kLzxE8TranslationSize)) {
            const int32_t relative = value < 0 ? value + int32_t(kLzxE8TranslationSize) : value - position;
            WriteLE32(p + i + 1, static_cast<uint32_t>(relative));
        }
        i += 4;
    }
}

bool DecodeLzxChunk(std::span<const uint8_t> in, std::span<uint8_t> out) {
    auto decoder = std::make_unique<LzxDecoder>();
    return decoder->DecodeChunk(in, out);
}

}  // namespace codecs
