// Raw CD sectors: published EDC check value, addresses, sub-mode flags, and the
// product code checked with the parity-check matrices of ECMA-130 annex A (an
// independent formulation: syndromes over GF(2^8), not our encoder's tables).

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/sectors/edc_ecc.h"
#include "image/sectors/raw_sectors.h"

namespace image {
namespace {

// ---- independent GF(2^8) arithmetic, bit by bit ----
uint8_t Mul(uint8_t a, uint8_t b) {
    uint8_t r = 0;
    while (b) {
        if (b & 1) r ^= a;
        a = uint8_t((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
        b >>= 1;
    }
    return r;
}

uint8_t AlphaPow(int e) {
    uint8_t r = 1;
    for (int i = 0; i < e; ++i) r = Mul(r, 2);
    return r;
}

// Syndromes s0 = sum v_i, s1 = sum alpha^(n-1-i) v_i of every P and Q codeword
// (ECMA-130 annex A: P vectors of 26 and Q vectors of 45 words, byte planes
// separately). Returns true when all are zero.
bool AllSyndromesZero(const uint8_t* sector, bool zeroHeader) {
    std::vector<uint8_t> s(sector, sector + 2352);
    if (zeroHeader) std::memset(s.data() + 12, 0, 4);
    auto byteOfWord = [&](int word, int plane) { return s[12 + 2 * word + plane]; };
    for (int plane = 0; plane < 2; ++plane) {
        for (int np = 0; np < 43; ++np) {   // P: words 43*mp + np, mp = 0..25
            uint8_t s0 = 0, s1 = 0;
            for (int mp = 0; mp < 26; ++mp) {
                const uint8_t v = byteOfWord(43 * mp + np, plane);
                s0 ^= v;
                s1 ^= Mul(AlphaPow(25 - mp), v);
            }
            if (s0 || s1) return false;
        }
        for (int nq = 0; nq < 26; ++nq) {   // Q: words (44*mq + 43*nq) mod 1118, then 1118+nq, 1144+nq
            uint8_t s0 = 0, s1 = 0;
            for (int mq = 0; mq < 45; ++mq) {
                const int word = mq < 43 ? (44 * mq + 43 * nq) % 1118 : (mq == 43 ? 1118 + nq : 1144 + nq);
                const uint8_t v = byteOfWord(word, plane);
                s0 ^= v;
                s1 ^= Mul(AlphaPow(44 - mq), v);
            }
            if (s0 || s1) return false;
        }
    }
    return true;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

TEST(RawSectors, EdcMatchesCatalogueCheckValue) {
    // CRC-32/CD-ROM-EDC: poly 0x8001801B reflected, init 0, no xorout; check 0x6EC2EDC4.
    const char* text = "123456789";
    EXPECT_EQ(ComputeEdc(reinterpret_cast<const uint8_t*>(text), 9), 0x6EC2EDC4u);
    // Every split of the input gives the same EDC (8-byte steps and the tail).
    const auto data = RandomBytes(2100, 1);
    const uint32_t whole = ComputeEdc(data.data(), data.size());
    for (size_t cut : {0u, 1u, 7u, 8u, 9u, 1000u, 2099u})
        EXPECT_EQ(UpdateEdc(ComputeEdc(data.data(), cut), data.data() + cut, data.size() - cut), whole);
}

TEST(RawSectors, AddressesAndBcd) {
    struct Row { int32_t sector; uint8_t m, s, f; };
    for (const Row& r : {Row{0, 0, 2, 0}, Row{-150, 0, 0, 0}, Row{-151, 99, 59, 74}, Row{16, 0, 2, 16},
                         Row{4500 - 150, 1, 0, 0}, Row{449849, 99, 59, 74}}) {
        const Msf msf = LbaToMsf(r.sector);
        EXPECT_EQ(msf.minute, r.m) << r.sector;
        EXPECT_EQ(msf.second, r.s) << r.sector;
        EXPECT_EQ(msf.frame, r.f) << r.sector;
        uint8_t header[3] = {BinToBcd(r.m), BinToBcd(r.s), BinToBcd(r.f)};
        int32_t back = 0;
        ASSERT_TRUE(BcdMsfToLba(header, back));
        if (r.sector != 449849) {   // 99:59:74 reads back as the lead-in sector -151
            EXPECT_EQ(back, r.sector);
        }
    }
    EXPECT_EQ(BinToBcd(59), 0x59);
    EXPECT_EQ(BinToBcd(0), 0x00);
    EXPECT_EQ(BinToBcd(99), 0x99);
    const uint8_t bad[3] = {0x0A, 0, 0};
    int32_t s = 0;
    EXPECT_FALSE(BcdMsfToLba(bad, s));
}

TEST(RawSectors, Mode1SectorLayoutAndSyndromes) {
    const auto data = RandomBytes(2048, 2);
    uint8_t out[2352];
    std::memset(out, 0xEE, sizeof out);
    MakeMode1Sector(1234, data.data(), out);
    const uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    EXPECT_EQ(std::memcmp(out, sync, 12), 0);
    EXPECT_EQ(out[12], 0x00);
    EXPECT_EQ(out[13], 0x18);   // 1234 + 150 = 1384 = 0:18:34
    EXPECT_EQ(out[14], 0x34);
    EXPECT_EQ(out[15], 1);
    EXPECT_EQ(std::memcmp(out + 16, data.data(), 2048), 0);
    const uint32_t edc = ComputeEdc(out, 2064);
    EXPECT_EQ(out[2064], uint8_t(edc));
    EXPECT_EQ(out[2067], uint8_t(edc >> 24));
    for (int i = 2068; i < 2076; ++i) EXPECT_EQ(out[i], 0) << i;
    EXPECT_TRUE(AllSyndromesZero(out, false));
    EXPECT_EQ(CheckRawSector(out), RawSectorCheck::Ok);

    // Data already in place (null data) gives the same sector.
    uint8_t inPlace[2352] = {};
    std::memcpy(inPlace + 16, data.data(), 2048);
    MakeMode1Sector(1234, nullptr, inPlace);
    EXPECT_EQ(std::memcmp(inPlace, out, 2352), 0);

    // One flipped bit anywhere is caught.
    for (size_t pos : {size_t(13), size_t(100), size_t(2065), size_t(2100), size_t(2300)}) {
        uint8_t damaged[2352];
        std::memcpy(damaged, out, 2352);
        damaged[pos] ^= 0x10;
        EXPECT_NE(CheckRawSector(damaged), RawSectorCheck::Ok) << pos;
    }
}

TEST(RawSectors, PortableParityEqualsTheVectorPath) {
    for (uint32_t seed = 10; seed < 60; ++seed) {
        auto bytes = RandomBytes(2352, seed);
        auto portable = bytes;
        ComputeEcc(bytes.data());
        ComputeEccPPortable(portable.data());
        ComputeEccQPortable(portable.data());
        ASSERT_EQ(bytes, portable) << seed;
        ASSERT_TRUE(AllSyndromesZero(portable.data(), false)) << seed;
    }
}

TEST(RawSectors, Mode2Form1ParityTakenWithZeroHeader) {
    const std::vector<uint8_t> zeros(2048, 0);
    uint8_t a[2352], b[2352];
    MakeMode2Form1Sector(0, zeros.data(), a);
    MakeMode2Form1Sector(300000, zeros.data(), b);
    EXPECT_EQ(std::memcmp(a + 16, b + 16, 2352 - 16), 0);   // EDC, P and Q do not depend on the address
    EXPECT_NE(std::memcmp(a + 12, b + 12, 3), 0);
    EXPECT_EQ(a[15], 2);
    EXPECT_EQ(a[18], 0x08);
    EXPECT_EQ(a[22], 0x08);
    EXPECT_TRUE(AllSyndromesZero(a, true));
    EXPECT_FALSE(AllSyndromesZero(a, false));
    RawSectorInfo info;
    EXPECT_EQ(CheckRawSector(a, &info), RawSectorCheck::Ok);
    EXPECT_EQ(info.kind, RawSectorKind::Mode2Form1);
    EXPECT_EQ(info.address, 0);
}

TEST(RawSectors, SubmodeFlagListHoldsThirtyPairs) {
    ClearSubmodeFlags();
    for (int i = 0; i < 30; ++i) AddSubmodeFlag(100 + i, kSubmodeEndOfRecord);
    AddSubmodeFlag(200, kSubmodeEndOfFile);   // the 31st pair is ignored
    const std::vector<uint8_t> data(2048, 0x55);
    uint8_t out[2352];
    MakeMode2Form1Sector(129, data.data(), out);
    EXPECT_EQ(out[18], kSubmodeData | kSubmodeEndOfRecord);
    MakeMode2Form1Sector(200, data.data(), out);
    EXPECT_EQ(out[18], kSubmodeData);
    ClearSubmodeFlags();
    MakeMode2Form1Sector(129, data.data(), out);
    EXPECT_EQ(out[18], kSubmodeData);
}

TEST(RawSectors, Form2AndFormlessLayouts) {
    const auto data = RandomBytes(2336, 3);
    uint8_t out[2352];
    MakeMode2Form2Sector(10, 1, 2, kSubmodeForm2 | kSubmodeVideo, 0x0F, data.data(), out);
    EXPECT_EQ(out[16], 1);
    EXPECT_EQ(out[17], 2);
    EXPECT_EQ(out[19], 0x0F);
    EXPECT_EQ(std::memcmp(out + 16, out + 20, 4), 0);
    EXPECT_EQ(std::memcmp(out + 24, data.data(), 2324), 0);
    RawSectorInfo info;
    EXPECT_EQ(CheckRawSector(out, &info), RawSectorCheck::Ok);
    EXPECT_EQ(info.kind, RawSectorKind::Mode2Form2);
    EXPECT_TRUE(info.hasEdc);
    out[30] ^= 1;
    EXPECT_EQ(CheckRawSector(out), RawSectorCheck::BadEdc);

    MakeMode2Sector(10, data.data(), out);
    EXPECT_EQ(out[15], 2);
    EXPECT_EQ(std::memcmp(out + 16, data.data(), 2336), 0);
}

TEST(RawSectors, RebuildRestoresDamagedFrames) {
    const auto data = RandomBytes(2048, 4);
    uint8_t good[2352], bad[2352];
    MakeMode1Sector(77, data.data(), good);
    std::memcpy(bad, good, 2352);
    std::memset(bad, 0, 12);
    std::memset(bad + 2064, 0, 2352 - 2064);
    RebuildRawSector(77, bad);
    EXPECT_EQ(std::memcmp(bad, good, 2352), 0);

    MakeMode2Form1Sector(78, data.data(), good);
    std::memcpy(bad, good, 2352);
    std::memset(bad + 2072, 0xAA, 2352 - 2072);
    RebuildRawSector(78, bad);
    EXPECT_EQ(std::memcmp(bad, good, 2352), 0);

    std::vector<uint8_t> raw(3 * 2352);
    for (int i = 0; i < 3; ++i) std::memcpy(raw.data() + i * 2352 + 16, data.data(), 2048);
    std::vector<uint8_t> user(3 * 2048);
    EXPECT_EQ(CopyUserData(raw.data(), user.data(), 3, 2352, 16), 3u * 2048);
    EXPECT_EQ(std::memcmp(user.data() + 4096, data.data(), 2048), 0);
}

}  // namespace
}  // namespace image
