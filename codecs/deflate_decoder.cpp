#include "codecs/deflate_decoder.h"

#include <cstring>

#include "codecs/byte_order.h"
#include "codecs/deflate_format.h"

namespace codecs {
namespace {

// A table entry: bits 0-7 the bits the entry consumes, bits 8-15 flags and
// the count of extra bits (or, for a link, the subtable's index bits), bits
// 16-31 the value: literal byte, length or distance base, subtable start.
constexpr uint32_t kLiteral = 0x8000;
constexpr uint32_t kLink = 0x4000;
constexpr uint32_t kEnd = 0x2000;
constexpr uint32_t kInvalid = 0x1000;
constexpr uint32_t kInvalidEntry = kInvalid;

constexpr uint32_t Entry(uint32_t value, uint32_t flagsAndExtra, uint32_t bits) {
    return value << 16 | flagsAndExtra | bits;
}

enum class CodeKind { LitLen, Distance, CodeLength };

uint32_t SymbolEntry(CodeKind kind, unsigned symbol, unsigned bits) {
    switch (kind) {
        case CodeKind::LitLen:
            if (symbol < 256) return Entry(symbol, kLiteral, bits);
            if (symbol == 256) return Entry(0, kEnd, bits);
            if (symbol < 257 + kDeflateLengthCodes)
                return Entry(kDeflateLengthBase[symbol - 257], kDeflateLengthExtra[symbol - 257] << 8, bits);
            return Entry(0, kInvalid, bits);
        case CodeKind::Distance:
            if (symbol < kDeflateDistanceCodes)
                return Entry(kDeflateDistanceBase[symbol], kDeflateDistanceExtra[symbol] << 8, bits);
            return Entry(0, kInvalid, bits);
        case CodeKind::CodeLength:
            return Entry(symbol, kDeflateCodeLengthExtra[symbol] << 8, bits);
    }
    return kInvalidEntry;
}

unsigned Reverse(unsigned code, unsigned bits) {
    unsigned r = 0;
    for (unsigned i = 0; i < bits; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// Builds a canonical Huffman decoding table from code lengths. Accepts what
// zlib accepts: a complete code, no code at all, or (except for the
// code-length code) a single code of one bit. Returns false otherwise.
bool BuildTable(const uint8_t* lengths, unsigned count, CodeKind kind, uint32_t* table, unsigned tableSize,
                unsigned primaryBits) {
    unsigned counts[kDeflateMaxCodeBits + 1] = {};
    for (unsigned s = 0; s < count; ++s) ++counts[lengths[s]];
    counts[0] = 0;
    int left = 1;
    unsigned maxLen = 0;
    for (unsigned len = 1; len <= kDeflateMaxCodeBits; ++len) {
        left <<= 1;
        left -= static_cast<int>(counts[len]);
        if (left < 0) return false;   // oversubscribed
        if (counts[len]) maxLen = len;
    }
    if (left > 0 && maxLen != 0 && (kind == CodeKind::CodeLength || maxLen != 1)) return false;   // incomplete

    const unsigned primarySize = 1u << primaryBits;
    for (unsigned i = 0; i < primarySize; ++i) table[i] = kInvalidEntry;
    if (maxLen == 0) return true;

    const unsigned subBits = maxLen > primaryBits ? maxLen - primaryBits : 0;
    const unsigned subSize = 1u << subBits;
    unsigned nextSub = primarySize;
    unsigned nextCode[kDeflateMaxCodeBits + 2] = {};
    unsigned code = 0;
    for (unsigned len = 1; len <= kDeflateMaxCodeBits; ++len) {
        code = (code + counts[len - 1]) << 1;
        nextCode[len] = code;
    }
    for (unsigned symbol = 0; symbol < count; ++symbol) {
        const unsigned len = lengths[symbol];
        if (len == 0) continue;
        const unsigned rev = Reverse(nextCode[len]++, len);
        if (len <= primaryBits) {
            const uint32_t e = SymbolEntry(kind, symbol, len);
            for (unsigned i = rev; i < primarySize; i += 1u << len) table[i] = e;
            continue;
        }
        const unsigned prefix = rev & (primarySize - 1);
        if (!(table[prefix] & kLink)) {
            if (nextSub + subSize > tableSize) return false;
            table[prefix] = Entry(nextSub, kLink | subBits << 8, primaryBits);
            for (unsigned i = 0; i < subSize; ++i) table[nextSub + i] = kInvalidEntry;
            nextSub += subSize;
        }
        uint32_t* sub = table + (table[prefix] >> 16);
        const unsigned subLen = len - primaryBits;
        const uint32_t e = SymbolEntry(kind, symbol, subLen);
        for (unsigned i = rev >> primaryBits; i < subSize; i += 1u << subLen) sub[i] = e;
    }
    return true;
}

struct FixedTables {
    DeflateHuffmanTables tables;
    FixedTables() {
        uint8_t lengths[kDeflateFixedLitLenCodes];
        for (int i = 0; i < 144; ++i) lengths[i] = 8;
        for (int i = 144; i < 256; ++i) lengths[i] = 9;
        for (int i = 256; i < 280; ++i) lengths[i] = 7;
        for (int i = 280; i < 288; ++i) lengths[i] = 8;
        BuildTable(lengths, kDeflateFixedLitLenCodes, CodeKind::LitLen, tables.litLen,
                   DeflateHuffmanTables::kLitLenEntries, DeflateHuffmanTables::kLitLenPrimaryBits);
        uint8_t distances[32];
        for (auto& d : distances) d = 5;
        BuildTable(distances, 32, CodeKind::Distance, tables.distance, DeflateHuffmanTables::kDistanceEntries,
                   DeflateHuffmanTables::kDistancePrimaryBits);
    }
};

const DeflateHuffmanTables& Fixed() {
    static const FixedTables fixed;
    return fixed.tables;
}

// The decoding state of one call. The bit buffer holds bitCount valid bits
// from the low end; bits above them may hold the next input bits already (the
// fast refill loads whole words), never anything else.
class Inflater {
public:
    Inflater(const uint8_t* in, size_t inSize, uint8_t* out, size_t room)
        : inStart_(in), in_(in), inEnd_(in + inSize), outStart_(out), out_(out), outEnd_(out + room) {}

    bool Run(const DeflateBlockTypeCodes& codes, DeflateHuffmanTables& scratch);
    size_t Produced() const { return static_cast<size_t>(out_ - outStart_); }
    // Input bytes the stream occupied: whole unused bytes go back.
    size_t Consumed() const { return static_cast<size_t>(in_ - inStart_) + overrun_ - bitCount_ / 8; }

private:
    // Tops the buffer up to 56-63 bits; past the input it adds 0xFF bytes
    // and counts them, so reading them can be detected.
    void Refill() {
        while (bitCount_ < 56) {
            uint64_t byte;
            if (in_ < inEnd_) {
                byte = *in_++;
            } else {
                byte = 0xFF;
                ++overrun_;
            }
            bits_ |= byte << bitCount_;
            bitCount_ += 8;
        }
    }
    // True once bits beyond the input were consumed.
    bool PastEnd() const { return overrun_ * 8 > bitCount_; }
    uint32_t Take(unsigned n) {
        uint32_t v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
        bits_ >>= n;
        bitCount_ -= n;
        return v;
    }
    // Decodes one symbol's entry (consuming its code bits); needs 15 bits.
    static uint32_t Decode(const uint32_t* table, unsigned primaryBits, uint64_t& bits, unsigned& bitCount) {
        uint32_t e = table[bits & ((1u << primaryBits) - 1)];
        if (e & kLink) {
            bits >>= primaryBits;
            bitCount -= primaryBits;
            e = table[(e >> 16) + (bits & ((1u << ((e >> 8) & 0xF)) - 1))];
        }
        const unsigned n = e & 0xFF;
        bits >>= n;
        bitCount -= n;
        return e;
    }

    bool Stored();
    bool ReadDynamicTables(DeflateHuffmanTables& t);
    bool Codes(const DeflateHuffmanTables& t);

    const uint8_t* inStart_;
    const uint8_t* in_;
    const uint8_t* inEnd_;
    uint8_t* outStart_;
    uint8_t* out_;
    uint8_t* outEnd_;
    uint64_t bits_ = 0;
    unsigned bitCount_ = 0;
    size_t overrun_ = 0;
};

bool Inflater::Run(const DeflateBlockTypeCodes& codes, DeflateHuffmanTables& scratch) {
    for (;;) {
        Refill();
        const uint32_t last = Take(1);
        const uint32_t type = Take(2);
        if (PastEnd()) return false;
        bool ok;
        if (type == codes.stored) {
            ok = Stored();
        } else if (type == codes.fixed) {
            ok = Codes(Fixed());
        } else if (type == codes.dynamic) {
            ok = ReadDynamicTables(scratch) && Codes(scratch);
        } else {
            ok = false;   // code 3, or a code of another variant
        }
        if (!ok || PastEnd()) return false;
        if (last) return true;
    }
}

bool Inflater::Stored() {
    Take(bitCount_ & 7);
    Refill();
    const uint32_t len = Take(16);
    const uint32_t nlen = Take(16);
    if (PastEnd() || (len ^ 0xFFFF) != nlen) return false;
    if (len > static_cast<size_t>(outEnd_ - out_)) return false;
    uint32_t left = len;
    // The buffer is byte aligned here: its whole bytes come first.
    while (left > 0 && bitCount_ >= 8) {
        *out_++ = static_cast<uint8_t>(Take(8));
        --left;
    }
    if (PastEnd()) return false;
    if (left == 0) return true;
    // The buffer is empty now; bits it may hold above its count are the
    // bytes copied next.
    bits_ = 0;
    bitCount_ = 0;
    if (left > static_cast<size_t>(inEnd_ - in_)) return false;
    std::memcpy(out_, in_, left);
    out_ += left;
    in_ += left;
    return true;
}

bool Inflater::ReadDynamicTables(DeflateHuffmanTables& t) {
    Refill();
    const unsigned nlen = Take(5) + 257;
    const unsigned ndist = Take(5) + 1;
    const unsigned ncode = Take(4) + 4;
    // RFC 1951 defines only 286 literal/length and 30 distance codes.
    if (nlen > kDeflateLitLenCodes || ndist > kDeflateDistanceCodes) return false;
    uint8_t codeLengths[kDeflateCodeLengthCodes] = {};
    for (unsigned i = 0; i < ncode; ++i) {
        Refill();
        codeLengths[kDeflateCodeLengthOrder[i]] = static_cast<uint8_t>(Take(3));
    }
    if (PastEnd()) return false;
    uint32_t codeLengthTable[1 << kDeflateMaxCodeLengthBits];
    if (!BuildTable(codeLengths, kDeflateCodeLengthCodes, CodeKind::CodeLength, codeLengthTable,
                    1 << kDeflateMaxCodeLengthBits, kDeflateMaxCodeLengthBits))
        return false;

    uint8_t lengths[kDeflateLitLenCodes + kDeflateDistanceCodes];
    const unsigned total = nlen + ndist;
    unsigned n = 0;
    while (n < total) {
        Refill();
        if (PastEnd()) return false;
        const uint32_t e = Decode(codeLengthTable, kDeflateMaxCodeLengthBits, bits_, bitCount_);
        if (e & kInvalid) return false;
        const unsigned symbol = e >> 16;
        if (symbol < 16) {
            lengths[n++] = static_cast<uint8_t>(symbol);
            continue;
        }
        unsigned repeat;
        uint8_t value = 0;
        if (symbol == 16) {
            if (n == 0) return false;   // nothing to repeat
            value = lengths[n - 1];
            repeat = 3 + Take(2);
        } else if (symbol == 17) {
            repeat = 3 + Take(3);
        } else {
            repeat = 11 + Take(7);
        }
        if (repeat > total - n) return false;
        std::memset(lengths + n, value, repeat);
        n += repeat;
    }
    if (PastEnd()) return false;
    if (lengths[kDeflateEndOfBlock] == 0) return false;   // a block must be able to end
    return BuildTable(lengths, nlen, CodeKind::LitLen, t.litLen, DeflateHuffmanTables::kLitLenEntries,
                      DeflateHuffmanTables::kLitLenPrimaryBits) &&
           BuildTable(lengths + nlen, ndist, CodeKind::Distance, t.distance, DeflateHuffmanTables::kDistanceEntries,
                      DeflateHuffmanTables::kDistancePrimaryBits);
}

bool Inflater::Codes(const DeflateHuffmanTables& t) {
    constexpr unsigned kLitBits = DeflateHuffmanTables::kLitLenPrimaryBits;
    constexpr unsigned kDistBits = DeflateHuffmanTables::kDistancePrimaryBits;
    const uint32_t* litLen = t.litLen;
    const uint32_t* distance = t.distance;
    uint64_t bits = bits_;
    unsigned bitCount = bitCount_;
    const uint8_t* in = in_;
    uint8_t* out = out_;

    // Fast loop: one refill covers a whole length/distance pair (at most
    // 15 + 5 + 15 + 13 bits), and the output has room for the longest match
    // plus the 8-byte overshoot of word copies.
    while (inEnd_ - in >= 8 && outEnd_ - out >= kDeflateMaxMatch + 8) {
        bits |= ReadLE64(in) << bitCount;
        in += (63 - bitCount) >> 3;
        bitCount |= 56;
        uint32_t e = Decode(litLen, kLitBits, bits, bitCount);
        if (e & kLiteral) {
            *out++ = static_cast<uint8_t>(e >> 16);
            // A second symbol when what is left of the refill covers a pair.
            if (bitCount < 48) continue;
            e = Decode(litLen, kLitBits, bits, bitCount);
            if (e & kLiteral) {
                *out++ = static_cast<uint8_t>(e >> 16);
                continue;
            }
        }
        if (e & (kEnd | kInvalid)) {
            bits_ = bits;
            bitCount_ = bitCount;
            in_ = in;
            out_ = out;
            return (e & kEnd) != 0;
        }
        const unsigned lengthExtra = (e >> 8) & 0xF;
        const unsigned length = (e >> 16) + static_cast<unsigned>(bits & ((1u << lengthExtra) - 1));
        bits >>= lengthExtra;
        bitCount -= lengthExtra;
        const uint32_t d = Decode(distance, kDistBits, bits, bitCount);
        if (d & kInvalid) return false;
        const unsigned distExtra = (d >> 8) & 0xF;
        const size_t dist = (d >> 16) + static_cast<unsigned>(bits & ((1u << distExtra) - 1));
        bits >>= distExtra;
        bitCount -= distExtra;
        if (dist > static_cast<size_t>(out - outStart_)) return false;
        const uint8_t* from = out - dist;
        uint8_t* const end = out + length;
        if (dist >= 8) {
            while (out < end) {
                std::memcpy(out, from, 8);
                out += 8;
                from += 8;
            }
        } else if (dist == 1) {
            std::memset(out, *from, length);
        } else {
            for (unsigned i = 0; i < length; ++i) out[i] = from[i];
        }
        out = end;
    }

    // Careful loop for the last bytes of input and output.
    bits_ = bits;
    bitCount_ = bitCount;
    in_ = in;
    out_ = out;
    for (;;) {
        Refill();
        if (PastEnd()) return false;
        const uint32_t e = Decode(litLen, kLitBits, bits_, bitCount_);
        if (e & kLiteral) {
            if (out_ == outEnd_) return false;
            *out_++ = static_cast<uint8_t>(e >> 16);
            continue;
        }
        if (e & kEnd) return true;
        if (e & kInvalid) return false;
        const unsigned lengthExtra = (e >> 8) & 0xF;
        const unsigned length = (e >> 16) + Take(lengthExtra);
        const uint32_t d = Decode(distance, kDistBits, bits_, bitCount_);
        if (d & kInvalid) return false;
        const size_t dist = (d >> 16) + Take((d >> 8) & 0xF);
        if (PastEnd()) return false;
        if (dist > static_cast<size_t>(out_ - outStart_)) return false;
        if (length > static_cast<size_t>(outEnd_ - out_)) return false;
        const uint8_t* from = out_ - dist;
        for (unsigned i = 0; i < length; ++i) out_[i] = from[i];
        out_ += length;
    }
}

}  // namespace

int64_t DeflateDecompress(DeflateDecoder& decoder, const uint8_t* input, uint8_t* output, size_t inputLength) {
    const int64_t room = decoder.outputRoom == 0 ? kDeflateDefaultOutputRoom : decoder.outputRoom;
    decoder.input = input;
    decoder.inputSize = inputLength;
    decoder.inputPosition = 0;
    decoder.produced = 0;
    if ((!input && inputLength > 0) || !output || room < 0) return -1;
    Inflater inflater(input, inputLength, output, static_cast<size_t>(room));
    const bool ok = inflater.Run(DeflateCodesForVariant(decoder.variant), decoder.tables);
    decoder.produced = static_cast<int64_t>(inflater.Produced());
    if (!ok) return -1;
    decoder.inputPosition = inflater.Consumed();
    return decoder.produced;
}

int64_t DeflateDecompressSized(DeflateDecoder& decoder, const uint8_t* input, uint8_t* output, size_t inputLength,
                               int64_t room) {
    decoder.outputRoom = room;
    const int64_t result = DeflateDecompress(decoder, input, output, inputLength);
    decoder.outputRoom = 0;
    return result;
}

}  // namespace codecs
