#include "image/sectors/edc_ecc.h"

#include <algorithm>
#include <bit>
#include <array>
#include <cstring>

#include "codecs/crc_tables.h"
#include "foundation/byte_order.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace image {
namespace {

// ---- EDC: reflected CRC, eight bytes a step (slicing by 8) ----

constexpr uint32_t kEdcPolynomialReflected = 0xD8018001u;

constexpr codecs::CrcSliceTables kEdc = codecs::MakeCrcSliceTables(kEdcPolynomialReflected);

// With initial value 0 and no final inversion the EDC is linear:
// edc(X || Y) = shift(edc(X), |Y|) ^ edc(Y), where shift runs the register over
// |Y| zero bytes. A sector's EDC is taken in four independent streams (a head
// and three 512-byte blocks) whose dependency chains overlap in the processor,
// then combined with a table of the 512-byte shift.
constexpr size_t kEdcBlock = 512;

using EdcShiftTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr EdcShiftTables MakeEdcShiftTables() {
    std::array<uint32_t, 32> basis{};
    for (size_t bit = 0; bit < 32; ++bit) {
        uint32_t v = 1u << bit;
        for (size_t i = 0; i < kEdcBlock; ++i) v = codecs::CrcStep1(kEdc, v, 0);
        basis[bit] = v;
    }
    EdcShiftTables t{};
    for (size_t k = 0; k < 4; ++k)
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t v = 0;
            for (size_t bit = 0; bit < 8; ++bit)
                if ((b >> bit) & 1u) v ^= basis[8 * k + bit];
            t[k][b] = v;
        }
    return t;
}

constexpr EdcShiftTables kEdcShift = MakeEdcShiftTables();

inline uint32_t ShiftBlock(uint32_t edc) {
    return kEdcShift[0][edc & 0xFFu] ^ kEdcShift[1][(edc >> 8) & 0xFFu] ^ kEdcShift[2][(edc >> 16) & 0xFFu] ^
           kEdcShift[3][edc >> 24];
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

constexpr uint8_t GfDiv(uint8_t a, uint8_t b) {   // b != 0
    if (a == 0) return 0;
    return kGf.exp[size_t(kGf.log[a]) + 255 - kGf.log[b]];
}

// A codeword of n bytes v0..v(n-1) satisfies sum(v) = 0 and
// sum(alpha^(n-1-i) v_i) = 0 (ECMA-130 annex A parity-check matrices), with the
// two parity bytes last. With A = sum of the data bytes and B = sum of
// alpha^(n-1-i) times them, p0 = (A + B) / (1 + alpha) and p1 = A + p0.
// A and B are gathered for eight codewords at once in 64-bit words (one
// codeword per byte lane), B by Horner's rule, so a sector's parity costs a few
// thousand word operations and one table lookup per parity byte.

constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kHigh1 = 0x8080808080808080ull;

// Multiplies each byte lane by alpha (x^8 = x^4 + x^3 + x^2 + 1 -> 0x1D).
inline uint64_t MulAlpha(uint64_t x) { return ((x & kLow7) << 1) ^ (((x & kHigh1) >> 7) * 0x1Du); }

struct Div3Table {
    std::array<uint8_t, 256> v{};
};

constexpr Div3Table MakeDiv3() {
    Div3Table t{};
    for (uint32_t b = 0; b < 256; ++b) t.v[b] = GfDiv(uint8_t(b), 3);   // 1 + alpha = 3
    return t;
}

constexpr Div3Table kDiv3 = MakeDiv3();

// Writes the two parity bytes of each lane: p0 at p0Out[lane], p1 at p1Out[lane].
inline void FinishLanes(uint64_t a, uint64_t b, size_t lanes, uint8_t* p0Out, uint8_t* p1Out) {
    const uint64_t sum = a ^ MulAlpha(MulAlpha(b));   // A + alpha^2 * B
    for (size_t k = 0; k < lanes; ++k) {
        const uint8_t p0 = kDiv3.v[uint8_t(sum >> (8 * k))];
        p0Out[k] = p0;
        p1Out[k] = uint8_t(uint8_t(a >> (8 * k)) ^ p0);
    }
}

constexpr size_t kPRows = 24;          // data words of a P column
constexpr size_t kPRowBytes = 86;      // 43 columns of 16-bit words
constexpr size_t kPWords = 11;         // 86 lanes in 11 words (the last two lanes unused)
constexpr size_t kQLength = 43;        // data words of a Q diagonal
constexpr size_t kQDiagonals = 26;
constexpr size_t kQDiagonalBytes = 52; // 26 diagonals of 16-bit words

// Byte offset of grid row (i mod 26), for the Q diagonals that wrap.
struct RowOffsets {
    std::array<uint16_t, kQLength + kQDiagonals> v{};
};

constexpr RowOffsets MakeRowOffsets() {
    RowOffsets t{};
    for (size_t i = 0; i < t.v.size(); ++i) t.v[i] = uint16_t(kPRowBytes * (i % kQDiagonals));
    return t;
}

constexpr RowOffsets kRowOffset = MakeRowOffsets();

inline uint32_t Step8(uint32_t edc, const uint8_t* bytes) { return codecs::CrcStep8(kEdc, edc, bytes); }

}  // namespace

uint32_t UpdateEdc(uint32_t edc, const uint8_t* bytes, size_t length) {
    return codecs::CrcUpdateSliced(kEdc, edc, bytes, length);
}

uint32_t ComputeEdc(const uint8_t* bytes, size_t length) {
    if (length < 4 * kEdcBlock) return UpdateEdc(0, bytes, length);
    const size_t headLength = length - 3 * kEdcBlock;
    const uint8_t* b = bytes + headLength;
    const uint8_t* c = b + kEdcBlock;
    const uint8_t* d = c + kEdcBlock;
    uint32_t ea = 0, eb = 0, ec = 0, ed = 0;
    for (size_t i = 0; i < kEdcBlock; i += 8) {
        ea = Step8(ea, bytes + i);
        eb = Step8(eb, b + i);
        ec = Step8(ec, c + i);
        ed = Step8(ed, d + i);
    }
    ea = UpdateEdc(ea, bytes + kEdcBlock, headLength - kEdcBlock);
    return ShiftBlock(ShiftBlock(ShiftBlock(ea) ^ eb) ^ ec) ^ ed;
}

void ComputeEccPPortable(uint8_t* sector) {
    // P column m (byte lane m of a row) takes bytes 12 + m + 86 r, r = 0..23.
    // The last word of a row reads two bytes past it; those lanes are unused.
    const uint8_t* data = sector + kEccDataOffset;
    uint64_t a[kPWords] = {};
    uint64_t b[kPWords] = {};
    for (size_t row = 0; row < kPRows; ++row) {
        const uint8_t* p = data + row * kPRowBytes;
        for (size_t w = 0; w < kPWords; ++w) {
            const uint64_t v = foundation::ReadLE64(p + 8 * w);   // byte lane k holds p[k]
            a[w] ^= v;
            b[w] = MulAlpha(b[w]) ^ v;
        }
    }
    uint8_t* parity = sector + kEccPParityOffset;
    for (size_t w = 0; w < kPWords; ++w) {
        const size_t lanes = w + 1 < kPWords ? 8 : kPRowBytes - 8 * w;
        FinishLanes(a[w], b[w], lanes, parity + 8 * w, parity + kPRowBytes + 8 * w);
    }
}

void ComputeEccQPortable(uint8_t* sector) {
    // Q diagonal n, element m: the 16-bit word at row (m + n) mod 26, word
    // column m of the 26 x 86-byte grid from byte 12 (P parity included).
    // Four diagonals (both byte planes) share one 64-bit word.
    const uint8_t* data = sector + kEccDataOffset;
    uint8_t* parity = sector + kEccQParityOffset;
    for (size_t first = 0; first < kQDiagonals; first += 4) {
        const size_t count = std::min<size_t>(4, kQDiagonals - first);
        uint64_t a = 0, b = 0;
        for (size_t m = 0; m < kQLength; ++m) {
            const uint8_t* column = data + 2 * m;
            uint64_t v = 0;
            for (size_t d = 0; d < count; ++d)
                v |= uint64_t{foundation::ReadLE16(column + kRowOffset.v[m + first + d])} << (16 * d);
            a ^= v;
            b = MulAlpha(b) ^ v;
        }
        FinishLanes(a, b, 2 * count, parity + 2 * first, parity + kQDiagonalBytes + 2 * first);
    }
}

#if defined(__SSE2__)

namespace {

// Sixteen byte lanes at a time (SSE2 is part of every x86-64 processor).
inline __m128i MulAlpha128(__m128i x) {
    const __m128i high = _mm_cmplt_epi8(x, _mm_setzero_si128());   // lanes whose top bit is set
    return _mm_xor_si128(_mm_add_epi8(x, x), _mm_and_si128(high, _mm_set1_epi8(0x1D)));
}

inline void FinishLanes128(__m128i a, __m128i b, size_t lanes, uint8_t* p0Out, uint8_t* p1Out) {
    alignas(16) uint8_t av[16];
    alignas(16) uint8_t bv[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(av), a);
    _mm_store_si128(reinterpret_cast<__m128i*>(bv), _mm_xor_si128(a, MulAlpha128(MulAlpha128(b))));
    for (size_t k = 0; k < lanes; ++k) {
        const uint8_t p0 = kDiv3.v[bv[k]];
        p0Out[k] = p0;
        p1Out[k] = uint8_t(av[k] ^ p0);
    }
}

template <int Lane>
inline __m128i InsertWord(__m128i v, const uint8_t* p) {
    return _mm_insert_epi16(v, int(uint32_t(p[0]) | uint32_t(p[1]) << 8), Lane);
}

// Eight Q diagonals from `first` (both byte planes): element m of diagonal n is
// the word at row (m + n) mod 26, word column m.
template <size_t Count>
inline void QGroup(const uint8_t* data, size_t first, uint8_t* parity) {
    __m128i a = _mm_setzero_si128();
    __m128i b = _mm_setzero_si128();
    for (size_t m = 0; m < kQLength; ++m) {
        const uint8_t* column = data + 2 * m;
        const uint16_t* rows = kRowOffset.v.data() + m + first;
        __m128i v = _mm_setzero_si128();
        v = InsertWord<0>(v, column + rows[0]);
        v = InsertWord<1>(v, column + rows[1]);
        if constexpr (Count > 2) {
            v = InsertWord<2>(v, column + rows[2]);
            v = InsertWord<3>(v, column + rows[3]);
            v = InsertWord<4>(v, column + rows[4]);
            v = InsertWord<5>(v, column + rows[5]);
            v = InsertWord<6>(v, column + rows[6]);
            v = InsertWord<7>(v, column + rows[7]);
        }
        a = _mm_xor_si128(a, v);
        b = _mm_xor_si128(MulAlpha128(b), v);
    }
    FinishLanes128(a, b, 2 * Count, parity + 2 * first, parity + kQDiagonalBytes + 2 * first);
}

}  // namespace

void ComputeEccP(uint8_t* sector) {
    // P column m (byte lane m of a row) takes bytes 12 + m + 86 r, r = 0..23.
    // The last vector of a row reads ten bytes past it (still inside the
    // sector); those lanes are unused.
    constexpr size_t kVectors = 6;
    const uint8_t* data = sector + kEccDataOffset;
    __m128i a[kVectors], b[kVectors];
    for (size_t w = 0; w < kVectors; ++w) a[w] = b[w] = _mm_setzero_si128();
    for (size_t row = 0; row < kPRows; ++row) {
        const uint8_t* p = data + row * kPRowBytes;
        for (size_t w = 0; w < kVectors; ++w) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * w));
            a[w] = _mm_xor_si128(a[w], v);
            b[w] = _mm_xor_si128(MulAlpha128(b[w]), v);
        }
    }
    uint8_t* parity = sector + kEccPParityOffset;
    for (size_t w = 0; w < kVectors; ++w) {
        const size_t lanes = w + 1 < kVectors ? 16 : kPRowBytes - 16 * w;
        FinishLanes128(a[w], b[w], lanes, parity + 16 * w, parity + kPRowBytes + 16 * w);
    }
}

void ComputeEccQ(uint8_t* sector) {
    const uint8_t* data = sector + kEccDataOffset;
    uint8_t* parity = sector + kEccQParityOffset;
    QGroup<8>(data, 0, parity);
    QGroup<8>(data, 8, parity);
    QGroup<8>(data, 16, parity);
    QGroup<2>(data, 24, parity);
}

#else

void ComputeEccP(uint8_t* sector) { ComputeEccPPortable(sector); }
void ComputeEccQ(uint8_t* sector) { ComputeEccQPortable(sector); }

#endif

bool CheckEcc(const uint8_t* sector) {
    uint8_t copy[2352];
    std::memcpy(copy, sector, sizeof copy);
    ComputeEcc(copy);
    return std::memcmp(copy + kEccPParityOffset, sector + kEccPParityOffset, 2352 - kEccPParityOffset) == 0;
}

}  // namespace image
