#include "codecs/sha1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const codecs::Sha1Digest& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

TEST(Sha1, StandardVectors) {
    struct Row {
        std::string input;
        size_t repeat;
        const char* digest;
    };
    const Row rows[] = {
        {"", 1, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", 1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"a", 1000000, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        // 55, 56 and 64 bytes: the padding's three cases.
        {std::string(55, 'x'), 1, "cef734ba81a024479e09eb5a75b6ddae62e6abf1"},
        {std::string(56, 'x'), 1, "901305367c259952f4e7af8323f480d59f81335b"},
        {std::string(64, 'x'), 1, "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163"},
    };
    for (const Row& row : rows) {
        codecs::Sha1 sha;
        for (size_t i = 0; i < row.repeat; ++i) sha.Update(row.input.data(), row.input.size());
        EXPECT_EQ(Hex(sha.Finish()), row.digest) << row.input.substr(0, 20);
    }
}

// Any split of the input gives the digest of the whole.
TEST(Sha1, SplitsAgree) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    const auto whole = codecs::Sha1Of(data.data(), data.size());
    for (size_t cut : {0, 1, 55, 56, 63, 64, 65, 999}) {
        codecs::Sha1 sha;
        sha.Update(data.data(), cut);
        sha.Update(data.data() + cut, data.size() - cut);
        EXPECT_EQ(sha.Finish(), whole) << cut;
    }
}

}  // namespace

namespace {

// The processor's SHA instructions give the portable function's state for
// every block count (skipped where the processor has none).
TEST(Sha1, AcceleratedBlocksMatchPortable) {
    std::vector<uint8_t> data(64 * 37);
    uint32_t x = 12345;
    for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    for (size_t blocks : {1, 2, 5, 37}) {
        std::array<uint32_t, 5> portable = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
        std::array<uint32_t, 5> fast = portable;
        codecs::Sha1BlocksPortable(portable, data.data(), blocks);
        if (!codecs::Sha1BlocksAccelerated(fast, data.data(), blocks)) GTEST_SKIP() << "no SHA instructions";
        EXPECT_EQ(fast, portable) << blocks;
    }
}

}  // namespace
