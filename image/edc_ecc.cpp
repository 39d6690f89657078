#include "image/edc_ecc.h"

#include <array>
#include <cstring>

namespace image {
namespace {

// ---- EDC: reflected CRC, eight bytes a step (slicing by 8) ----

constexpr uint32_t kEdcPolynomialReflected = 0xD8018001u;

using EdcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr EdcTables MakeEdcTables() {
    EdcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t v = i;
        for (int bit = 0; bit < 8; ++bit) v = (v & 1u) ? (v >> 1) ^ kEdcPolynomialReflected : v >> 1;
        t[0][i] = v;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
    return t;
}

constexpr EdcTables kEdc = MakeEdcTables();

inline uint32_t LoadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// ---- GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1 ----

struct GaloisTables {
    std::array<uint8_t, 256> log{};
    std::array<uint8_t, 512> exp{};
};

constexpr GaloisTables MakeGalois() {
    GaloisTables g{};
    uint32_t v = 1;
    for (uint32_t i = 0; i < 255; ++i) {
        g.exp[i] = uint8_t(v);
        g.exp[i + 255] = uint8_t(v);
        g.log[v] = uint8_t(i);
        v <<= 1;
        if (v & 0x100u) v ^= 0x11Du;
    }
    return g;
}

constexpr GaloisTables kGf = MakeGalois();

constexpr uint8_t GfMul(uint8_t a, uint8_t b) {
    if (a == 0 || b == 0) return 0;
    return kGf.exp[size_t(kGf.log[a]) + kGf.log[b]];
}

constexpr uint8_t GfDiv(uint8_t a, uint8_t b) {   // b != 0
    if (a == 0) return 0;
    return kGf.exp[size_t(kGf.log[a]) + 255 - kGf.log[b]];
}

// A codeword of n bytes v0..v(n-1) satisfies sum(v) = 0 and
// sum(alpha^(n-1-i) v_i) = 0 (ECMA-130 annex A parity-check matrices), with the
// two parity bytes last. With A = sum of data and B = sum of alpha^(n-1-i) data,
// p0 = (A + B) / (1 + alpha) and p1 = A + p0: both are linear in each data
// byte, so one table per data position gives both parity bytes (p0 low, p1
// high) and the bytes of a codeword can be looked up independently.
template <size_t DataBytes>
constexpr std::array<std::array<uint16_t, 256>, DataBytes> MakeParityTables() {
    std::array<std::array<uint16_t, 256>, DataBytes> t{};
    constexpr size_t n = DataBytes + 2;
    for (size_t i = 0; i < DataBytes; ++i) {
        const uint8_t weight = kGf.exp[n - 1 - i];
        const uint8_t c0 = GfDiv(uint8_t(1 ^ weight), 3);   // 1 + alpha = 3
        const uint8_t c1 = uint8_t(1 ^ c0);
        for (uint32_t b = 0; b < 256; ++b)
            t[i][b] = uint16_t(GfMul(c0, uint8_t(b)) | (uint16_t(GfMul(c1, uint8_t(b))) << 8));
    }
    return t;
}

constexpr size_t kPRows = 24;          // data words of a P column
constexpr size_t kPRowBytes = 86;      // 43 columns of 16-bit words
constexpr size_t kQLength = 43;        // data words of a Q diagonal
constexpr size_t kQDiagonalBytes = 52; // 26 diagonals of 16-bit words
constexpr size_t kQStep = 88;
constexpr size_t kQSpan = 2236;        // bytes 12..2247: data, header and P parity

constexpr auto kPTables = MakeParityTables<kPRows>();
constexpr auto kQTables = MakeParityTables<kQLength>();

}  // namespace

uint32_t UpdateEdc(uint32_t edc, const uint8_t* bytes, size_t length) {
    while (length >= 8) {
        const uint32_t one = edc ^ LoadLe32(bytes);
        const uint32_t two = LoadLe32(bytes + 4);
        edc = kEdc[7][one & 0xFFu] ^ kEdc[6][(one >> 8) & 0xFFu] ^ kEdc[5][(one >> 16) & 0xFFu] ^
              kEdc[4][one >> 24] ^ kEdc[3][two & 0xFFu] ^ kEdc[2][(two >> 8) & 0xFFu] ^
              kEdc[1][(two >> 16) & 0xFFu] ^ kEdc[0][two >> 24];
        bytes += 8;
        length -= 8;
    }
    while (length-- > 0) edc = (edc >> 8) ^ kEdc[0][(edc ^ *bytes++) & 0xFFu];
    return edc;
}

uint32_t ComputeEdc(const uint8_t* bytes, size_t length) { return UpdateEdc(0, bytes, length); }

void ComputeEccP(uint8_t* sector) {
    const uint8_t* data = sector + kEccDataOffset;
    uint8_t* parity = sector + kEccPParityOffset;
    for (size_t major = 0; major < kPRowBytes; ++major) {
        uint16_t acc = 0;
        const uint8_t* p = data + major;
        for (size_t row = 0; row < kPRows; ++row) acc ^= kPTables[row][p[row * kPRowBytes]];
        parity[major] = uint8_t(acc);
        parity[major + kPRowBytes] = uint8_t(acc >> 8);
    }
}

void ComputeEccQ(uint8_t* sector) {
    const uint8_t* data = sector + kEccDataOffset;
    uint8_t* parity = sector + kEccQParityOffset;
    for (size_t major = 0; major < kQDiagonalBytes; ++major) {
        uint16_t acc = 0;
        size_t index = (major >> 1) * kPRowBytes + (major & 1);
        for (size_t k = 0; k < kQLength; ++k) {
            acc ^= kQTables[k][data[index]];
            index += kQStep;
            if (index >= kQSpan) index -= kQSpan;
        }
        parity[major] = uint8_t(acc);
        parity[major + kQDiagonalBytes] = uint8_t(acc >> 8);
    }
}

bool CheckEcc(const uint8_t* sector) {
    uint8_t copy[2352];
    std::memcpy(copy, sector, sizeof copy);
    ComputeEcc(copy);
    return std::memcmp(copy + kEccPParityOffset, sector + kEccPParityOffset, 2352 - kEccPParityOffset) == 0;
}

}  // namespace image
