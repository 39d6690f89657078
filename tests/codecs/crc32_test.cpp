#include "codecs/crc32.h"

#include "codecs/crc32_kernels.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using codecs::Crc32;

TEST(Crc32, CheckValues) {
    struct Row {
        const char* text;
        uint32_t crc;
    };
    const Row rows[] = {
        {"", 0u},
        {"abc", 0x352441C2u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const Row& r : rows) EXPECT_EQ(Crc32(r.text, std::strlen(r.text)), r.crc) << r.text;
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

// zlib's crc32 is the oracle: every length 0-4096, at every start alignment
// within a 16-byte line, so each tail of the folding and slicing paths is hit.
TEST(Crc32, MatchesZlibOnEveryLengthAndAlignment) {
    std::mt19937 rng(12345);
    std::vector<uint8_t> buf(4096 + 16);
    for (auto& b : buf) b = static_cast<uint8_t>(rng());
    for (size_t len = 0; len <= 4096; ++len) {
        size_t off = len % 16;
        const uint8_t* p = buf.data() + off;
        uint32_t expect = static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(len)));
        ASSERT_EQ(Crc32(p, len), expect) << "length " << len << " offset " << off;
    }
}

TEST(Crc32, MatchesZlibOnLargeBuffers) {
    std::mt19937 rng(7);
    for (size_t len : {size_t{65536}, size_t{65536 + 63}, size_t{1} << 20}) {
        std::vector<uint8_t> buf(len);
        for (auto& b : buf) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(Crc32(buf.data(), len), static_cast<uint32_t>(crc32(0L, buf.data(), static_cast<uInt>(len))));
        std::vector<uint8_t> zeros(len, 0);
        EXPECT_EQ(Crc32(zeros.data(), len), static_cast<uint32_t>(crc32(0L, zeros.data(), static_cast<uInt>(len))));
    }
}

// Each kernel on its own, so the portable one is checked on long buffers
// even where the folding one serves Crc32.
TEST(Crc32, EachKernelMatchesZlib) {
    using namespace codecs::crc32_internal;
    std::mt19937 rng(11);
    std::vector<uint8_t> buf(70000);
    for (auto& b : buf) b = static_cast<uint8_t>(rng());
    for (size_t len : {size_t{64}, size_t{65}, size_t{127}, size_t{1000}, size_t{65536}, size_t{69999}}) {
        const uint8_t* p = buf.data() + 1;
        const uint32_t expect = static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(len)));
        EXPECT_EQ(UpdateSliced(0xFFFFFFFFu, p, len) ^ 0xFFFFFFFFu, expect) << len;
#if defined(__x86_64__) || defined(__i386__)
        if (CpuHasClmul()) {
            size_t used = 0;
            uint32_t crc = UpdateFolded(0xFFFFFFFFu, p, len, &used);
            EXPECT_EQ(used % 16, 0u);
            EXPECT_LE(len - used, 15u);
            crc = UpdateSliced(crc, p + used, len - used);
            EXPECT_EQ(crc ^ 0xFFFFFFFFu, expect) << len;
        }
#endif
    }
}

}  // namespace
