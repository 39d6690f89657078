// Damaged and hostile streams: the decoder fails cleanly, never leaves its
// input or output, and agrees with zlib's raw inflate on what is valid. The
// mutated rounds are also held to a peak memory of a few times their input and
// output room plus a fixed amount (tests/support/peak_memory.h).

#include <gtest/gtest.h>

#include <utility>

#include "tests/codecs/deflate_corpus.h"
#include "tests/support/peak_memory.h"

namespace {

using namespace deflatetest;
using namespace codecs;

// Bits least significant first; Huffman codes most significant bit first, as
// RFC 1951 packs them.
class BitSink {
public:
    void Put(uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) PutBit((value >> i) & 1u);
    }
    void PutCode(uint32_t code, unsigned len) {
        for (unsigned i = len; i-- > 0;) PutBit((code >> i) & 1u);
    }
    void AlignToByte() {
        while (count_ % 8) PutBit(0);
    }
    void PutByte(uint8_t b) { Put(b, 8); }
    Bytes Finish() {
        AlignToByte();
        return bytes_;
    }

private:
    void PutBit(uint32_t bit) {
        if (count_ % 8 == 0) bytes_.push_back(0);
        bytes_.back() = static_cast<uint8_t>(bytes_.back() | bit << (count_ % 8));
        ++count_;
    }
    Bytes bytes_;
    size_t count_ = 0;
};

// Canonical codes (RFC 1951 section 3.2.2) for a list of lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    unsigned count[16] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    unsigned next[16] = {};
    unsigned code = 0;
    for (int bits = 1; bits < 16; ++bits) next[bits] = code = (code + count[bits - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

// A dynamic block written field by field, so each field can be spoiled.
struct DynamicBlock {
    unsigned hlit = 258;    // litlen codes: 'a' (1 bit), 256 and 257 (2 bits)
    unsigned hdist = 2;     // distance codes 0 and 1 (1 bit each)
    unsigned hclen = 19;
    std::vector<uint8_t> codeLengthLengths = [] {
        std::vector<uint8_t> l(19, 0);
        l[0] = 2, l[1] = 2, l[2] = 2, l[17] = 3, l[18] = 3;
        return l;
    }();
    // (code-length symbol, extra bits value)
    std::vector<std::pair<unsigned, unsigned>> lengthSymbols = {
        {18, 97 - 11}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {2, 0}, {2, 0}, {1, 0}, {1, 0}};
    std::vector<uint8_t> litLenLengths = [] {
        std::vector<uint8_t> l(258, 0);
        l['a'] = 1, l[256] = 2, l[257] = 2;
        return l;
    }();
    std::vector<uint8_t> distLengths = {1, 1};
    // "aaa", then a match of length 3 at distance `distance`, then the end.
    unsigned distanceCode = 0;

    Bytes Write(uint32_t typeCode = 2) const {
        BitSink s;
        s.Put(1, 1);
        s.Put(typeCode, 2);
        s.Put(hlit - 257, 5);
        s.Put(hdist - 1, 5);
        s.Put(hclen - 4, 4);
        for (unsigned i = 0; i < hclen; ++i) s.Put(codeLengthLengths[kDeflateCodeLengthOrder[i]], 3);
        const std::vector<uint32_t> cl = CanonicalCodes(codeLengthLengths);
        for (auto [sym, extra] : lengthSymbols) {
            s.PutCode(cl[sym], codeLengthLengths[sym]);
            if (sym >= 16) s.Put(extra, kDeflateCodeLengthExtra[sym]);
        }
        const std::vector<uint32_t> ll = CanonicalCodes(litLenLengths);
        const std::vector<uint32_t> dl = CanonicalCodes(distLengths);
        for (int i = 0; i < 3; ++i) s.PutCode(ll['a'], litLenLengths['a']);
        s.PutCode(ll[257], litLenLengths[257]);
        s.PutCode(dl[distanceCode], distLengths[distanceCode]);
        s.PutCode(ll[256], litLenLengths[256]);
        return s.Finish();
    }
};

// A fixed block of literal bytes then one symbol and, for a length symbol,
// its extra bits and a distance code with its extra bits.
Bytes FixedBlock(const std::string& literals, unsigned symbol, unsigned distanceCode, unsigned distanceExtra) {
    BitSink s;
    s.Put(1, 1);
    s.Put(1, 2);
    auto putLitLen = [&](unsigned v) {
        if (v < 144) s.PutCode(0x30 + v, 8);
        else if (v < 256) s.PutCode(0x190 + v - 144, 9);
        else if (v < 280) s.PutCode(v - 256, 7);
        else s.PutCode(0xC0 + v - 280, 8);
    };
    for (char c : literals) putLitLen(static_cast<uint8_t>(c));
    putLitLen(symbol);
    if (symbol > 256 && symbol < 286) {
        const unsigned code = symbol - 257;
        s.Put(0, kDeflateLengthExtra[code]);
        s.PutCode(distanceCode, 5);
        if (distanceCode < 30) s.Put(distanceExtra, kDeflateDistanceExtra[distanceCode]);
        putLitLen(256);
    }
    return s.Finish();
}

Bytes StoredBlock(uint16_t len, uint16_t nlen, const Bytes& data) {
    Bytes b = {0x01, static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(nlen),
               static_cast<uint8_t>(nlen >> 8)};
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(DeflateBadInput, TheCraftingHelpersMakeValidStreams) {
    const Bytes expect = {'a', 'a', 'a', 'a', 'a', 'a'};
    const Bytes dynamic = DynamicBlock().Write();
    EXPECT_TRUE(Decode(dynamic, 0, 100).data == expect);
    EXPECT_TRUE(ZlibInflateRaw(dynamic, 100).data == expect);
    const Bytes fixed = FixedBlock("aaa", 257, 0, 0);
    EXPECT_TRUE(Decode(fixed, 0, 100).data == expect);
    EXPECT_TRUE(ZlibInflateRaw(fixed, 100).data == expect);
    const Bytes stored = StoredBlock(3, 0xFFFC, {'x', 'y', 'z'});
    EXPECT_EQ(Decode(stored, 0, 3).result, 3);
    EXPECT_EQ(ZlibInflateRaw(stored, 3).status, Z_STREAM_END);
}

TEST(DeflateBadInput, CraftedStreamsFailInOurDecoderAndInZlib) {
    auto dyn = [](auto change) {
        DynamicBlock b;
        change(b);
        return b.Write();
    };
    const struct {
        const char* name;
        Bytes stream;
    } rows[] = {
        {"block type code 3", {0x07, 0x00}},
        {"stored NLEN not the complement of LEN", StoredBlock(3, 0xFFFB, {'x', 'y', 'z'})},
        {"stored LEN past the input", StoredBlock(10, 0xFFF5, {'x', 'y', 'z'})},
        {"distance before the first byte", FixedBlock("", 257, 0, 0)},
        {"distance beyond the output", FixedBlock("abcdefghij", 257, 8, 6)},   // distance 23
        {"distance 32768 after three bytes", FixedBlock("abc", 257, 29, 8191)},
        {"fixed literal/length code 286", FixedBlock("ab", 286, 0, 0)},
        {"fixed literal/length code 287", FixedBlock("ab", 287, 0, 0)},
        {"fixed distance code 30", FixedBlock("abcd", 257, 30, 0)},
        {"fixed distance code 31", FixedBlock("abcd", 257, 31, 0)},
        {"more than 286 literal/length codes", dyn([](DynamicBlock& b) { b.hlit = 287; })},
        {"more than 30 distance codes", dyn([](DynamicBlock& b) { b.hdist = 31; })},
        {"oversubscribed code-length code",
         dyn([](DynamicBlock& b) { b.codeLengthLengths.assign(19, 1); })},
        {"incomplete code-length code",
         dyn([](DynamicBlock& b) { b.codeLengthLengths[17] = 4; })},
        {"oversubscribed literal/length code",
         dyn([](DynamicBlock& b) {
             b.lengthSymbols = {{18, 96 - 11}, {1, 0}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {2, 0}, {2, 0}, {1, 0}, {1, 0}};
         })},
        {"incomplete literal/length code",
         dyn([](DynamicBlock& b) {
             b.lengthSymbols = {{18, 97 - 11}, {2, 0}, {18, 138 - 11}, {18, 20 - 11}, {2, 0}, {2, 0}, {1, 0}, {1, 0}};
         })},
        {"no end-of-block code",
         dyn([](DynamicBlock& b) {
             b.lengthSymbols = {{18, 97 - 11}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {0, 0}, {1, 0}, {1, 0}, {1, 0}};
         })},
        {"repeat with nothing before it", dyn([](DynamicBlock& b) {
             b.codeLengthLengths[16] = 3, b.codeLengthLengths[17] = 0;
             b.lengthSymbols.insert(b.lengthSymbols.begin(), {16, 0});
         })},
        {"repeat past the last length", dyn([](DynamicBlock& b) { b.lengthSymbols.back() = {18, 0}; })},
        {"empty input", {}},
        {"cut inside the header", [] {
             Bytes b = DynamicBlock().Write();
             b.resize(5);
             return b;
         }()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Decode(row.stream, 0, 65536).result, -1);
        EXPECT_NE(ZlibInflateRaw(row.stream, 65536).status, Z_STREAM_END);
    }
}

TEST(DeflateBadInput, BlockTypeCodeThreeFailsInEveryVariant) {
    for (int32_t variant = 0; variant <= 3; ++variant) EXPECT_EQ(Decode({0x07, 0x00}, variant, 64).result, -1);
}

TEST(DeflateBadInput, ASingleOneBitDistanceCodeIsAccepted) {
    // RFC 1951 allows one distance code of one bit (zlib too).
    DynamicBlock b;
    b.hdist = 1;
    b.distLengths = {1};
    b.lengthSymbols.pop_back();
    const Bytes stream = b.Write();
    EXPECT_EQ(Decode(stream, 0, 100).result, 6);
    EXPECT_EQ(ZlibInflateRaw(stream, 100).status, Z_STREAM_END);
}

// Thousands of mutated streams: every variant must return cleanly inside its
// room; in variant 0 the outcome, bytes and consumed count must equal zlib's.
TEST(DeflateBadInput, MutatedStreamsAgreeWithZlib) {
    std::vector<std::pair<Bytes, size_t>> seeds;   // (stream, decoded size)
    const Bytes text = ProjectSources(6000);
    const Bytes random = RandomBytes(700, 5);
    const Bytes runs(2000, 'r');
    for (const Bytes* in : {&text, &random, &runs}) {
        seeds.push_back({Encode(*in, 0), in->size()});
        seeds.push_back({ZlibDeflateRaw(*in, 1, Z_DEFAULT_STRATEGY), in->size()});
        seeds.push_back({ZlibDeflateRaw(*in, 9, Z_FIXED), in->size()});
    }
    seeds.push_back({DynamicBlock().Write(), 6});
    seeds.push_back({FixedBlock("abcabcabc", 260, 2, 0), 15});

    std::mt19937 rng(20261210);
    int mismatches = 0;
    for (int round = 0; round < 4000; ++round) {
        const auto& [seed, size] = seeds[rng() % seeds.size()];
        Bytes m = seed;
        switch (rng() % 4) {
            case 0:   // a few flipped bits
                for (unsigned k = 1 + rng() % 4; k > 0 && !m.empty(); --k) m[rng() % m.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:   // a few random bytes
                for (unsigned k = 1 + rng() % 3; k > 0 && !m.empty(); --k) m[rng() % m.size()] = static_cast<uint8_t>(rng());
                break;
            case 2:   // cut short
                m.resize(rng() % (m.size() + 1));
                break;
            default:   // bytes inserted
                m.insert(m.begin() + static_cast<long>(rng() % (m.size() + 1)), static_cast<uint8_t>(rng()));
                break;
        }
        const size_t room = size + rng() % 64;
        qvtest::PeakMemory peak;
        for (int32_t variant = 0; variant <= 3; ++variant) {
            const Decoded d = Decode(m, variant, room);
            ASSERT_GE(d.result, -1);
            ASSERT_LE(d.result, static_cast<int64_t>(room));
            if (d.result >= 0) {
                ASSERT_LE(d.consumed, m.size());
            }
            if (variant != 0) continue;
            const ZlibResult z = ZlibInflateRaw(m, room);
            const bool zlibOk = z.status == Z_STREAM_END && z.data.size() <= room;
            if (zlibOk != (d.result >= 0) || (zlibOk && (z.data != d.data || z.totalIn != d.consumed))) {
                ++mismatches;
                ADD_FAILURE() << "round " << round << ": zlib " << z.status << " " << z.data.size() << " ours "
                              << d.result;
                if (mismatches > 5) return;
            }
        }
        constexpr uint64_t kMemoryPerByte = 24;
        constexpr uint64_t kFixedMemoryBytes = 64u << 20;
        ASSERT_LT(peak.GrowthBytes(), (m.size() + room) * kMemoryPerByte + kFixedMemoryBytes) << "round " << round;
    }
}

}  // namespace
