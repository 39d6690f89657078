// The chain format: segments of 64 KB, each an independent raw deflate stream
// that zlib inflates on its own; bounded decoding of damaged chains.

#include "codecs/deflate_chain.h"

#include <gtest/gtest.h>

#include "tests/codecs/deflate_corpus.h"

namespace {

using namespace deflatetest;
using namespace codecs;

uint32_t Le32(const Bytes& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes Chain(const Bytes& in) {
    Bytes out(in.size() + 65536);
    const int64_t n = DeflateCompressBuffer(in.data(), out.data(), in.size(), out.size());
    EXPECT_GT(n, 0);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// A mix of text, runs and random bytes, so segments differ in kind.
Bytes Mixed(size_t n) {
    Bytes b = ProjectSources(n);
    const Bytes r = RandomBytes(n / 5, 8);
    for (size_t i = 0; i < r.size() && i < b.size(); i += 2) b[b.size() / 2 + i / 2 % (b.size() / 2)] = r[i];
    b.resize(n, 'z');
    return b;
}

TEST(DeflateChain, SegmentsOf64KEachInflateWithZlib) {
    const Bytes in = Mixed(200000);
    const Bytes chain = Chain(in);
    ASSERT_GE(chain.size(), 8u);
    EXPECT_EQ(Le32(chain, 0), 200000u);
    std::vector<size_t> segments;
    Bytes joined;
    size_t pos = 4;
    for (;;) {
        const uint32_t n = Le32(chain, pos);
        pos += 4;
        if (n == 0) break;
        const Bytes segment(chain.begin() + static_cast<long>(pos), chain.begin() + static_cast<long>(pos + n));
        const ZlibResult z = ZlibInflateRaw(segment, 65536);
        EXPECT_EQ(z.status, Z_STREAM_END);
        EXPECT_EQ(z.totalIn, n);
        segments.push_back(z.data.size());
        joined.insert(joined.end(), z.data.begin(), z.data.end());
        pos += n;
    }
    EXPECT_EQ(pos, chain.size());
    EXPECT_EQ(segments, (std::vector<size_t>{65536, 65536, 65536, 3392}));
    EXPECT_TRUE(joined == in);
}

TEST(DeflateChain, InflateBufferRestoresAndPointsPastTheChain) {
    const Bytes first = Mixed(140000);
    const Bytes second = ProjectSources(3000);
    Bytes both = Chain(first);
    const size_t firstSize = both.size();
    const Bytes c2 = Chain(second);
    both.insert(both.end(), c2.begin(), c2.end());

    Bytes out;
    size_t next = 0;
    ASSERT_EQ(InflateBuffer(both.data(), both.size(), out, &next), 0);
    EXPECT_TRUE(out == first);
    EXPECT_EQ(next, firstSize);
    ASSERT_EQ(InflateBuffer(both.data() + next, both.size() - next, out, &next), 0);
    EXPECT_TRUE(out == second);
    EXPECT_EQ(next, c2.size());
}

TEST(DeflateChain, AnEmptyBufferIsItsLengthAndTheEndWord) {
    const Bytes chain = Chain({});
    EXPECT_EQ(chain, Bytes(8, 0));
    Bytes out{1, 2, 3};
    size_t next = 0;
    EXPECT_EQ(InflateBuffer(chain.data(), chain.size(), out, &next), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(next, 8u);
}

// The total is checked against the room before each segment is appended, so a
// chain that says less than its segments hold cannot overrun the buffer.
TEST(DeflateChain, DamagedChainsFailWithoutOverrun) {
    const Bytes in = Mixed(150000);
    const Bytes good = Chain(in);
    const uint32_t firstSegment = Le32(good, 4);
    auto with = [&](auto change) {
        Bytes b = good;
        change(b);
        return b;
    };
    const struct {
        const char* name;
        Bytes chain;
    } rows[] = {
        {"total smaller than the segments", with([](Bytes& b) { PutLe32(b, 0, 100000); })},
        {"total one short", with([](Bytes& b) { PutLe32(b, 0, 149999); })},
        {"total larger than the segments", with([](Bytes& b) { PutLe32(b, 0, 150001); })},
        {"total far beyond any segment count", with([](Bytes& b) { PutLe32(b, 0, 0xFFFFFFFFu); })},
        {"segment length past the input", with([&](Bytes& b) { PutLe32(b, 4, static_cast<uint32_t>(b.size())); })},
        {"no end word", with([](Bytes& b) { b.resize(b.size() - 4); })},
        {"segment cut short", with([&](Bytes& b) { PutLe32(b, 4, firstSegment - 1); })},
        {"shorter than a header", Bytes{0, 0, 0}},
        {"empty segment stream", Bytes{3, 0, 0, 0, 2, 0, 0, 0, 0x03, 0x00, 0, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes out;
        EXPECT_EQ(InflateBuffer(row.chain.data(), row.chain.size(), out, nullptr), -1);
    }
    // Direct entry decoding into an exactly sized, too small buffer.
    std::unique_ptr<uint8_t[]> small(new uint8_t[100000]);
    EXPECT_EQ(DeflateDecompressChain(good.data() + 4, good.size() - 4, small.get(), 100000, nullptr), -1);
}

TEST(DeflateChain, TheEncoderStopsAtItsOutputCapacity) {
    const Bytes in = RandomBytes(140000, 9);
    const Bytes full = Chain(in);
    for (size_t capacity : {size_t{0}, size_t{7}, size_t{70000}, full.size() - 1}) {
        std::unique_ptr<uint8_t[]> out(new uint8_t[std::max<size_t>(capacity, 1)]);
        EXPECT_EQ(DeflateCompressBuffer(in.data(), out.get(), in.size(), capacity), -1) << capacity;
    }
}

TEST(DeflateChain, MutatedChainsReturnCleanly) {
    const Bytes good = Chain(Mixed(70000));
    std::mt19937 rng(77);
    for (int round = 0; round < 300; ++round) {
        Bytes m = good;
        for (unsigned k = 1 + rng() % 3; k > 0; --k) {
            // Hit the length words as often as the data.
            const size_t at = rng() % 2 ? rng() % 12 : rng() % m.size();
            m[at] = static_cast<uint8_t>(rng());
        }
        Bytes out;
        const int r = InflateBuffer(m.data(), m.size(), out, nullptr);
        ASSERT_TRUE(r == 0 || r == -1);
        if (r == 0) {
            ASSERT_EQ(out.size(), Le32(m, 0));
        }
    }
}

}  // namespace
