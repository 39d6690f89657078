#include "codecs/crc32.h"

#include "codecs/crc32_kernels.h"
#include "codecs/crc_tables.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_CRC32_HAVE_CLMUL 1
#endif

namespace codecs {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

constexpr CrcSliceTables kTables = MakeCrcSliceTables(kPolynomial);

}  // namespace

namespace crc32_internal {

uint32_t UpdateSliced(uint32_t crc, const uint8_t* p, size_t n) { return CrcUpdateSliced(kTables, crc, p, n); }

#ifdef QV_CRC32_HAVE_CLMUL
// Carry-less multiplication folding (Gopal et al., "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ Instruction", Intel 2009), with the
// bit-reflected constants of that paper for 0xEDB88320. Needs n >= 64 and
// consumes a multiple of 16 bytes; returns the register, *used the bytes taken.
__attribute__((target("pclmul,sse4.1"))) uint32_t UpdateFolded(uint32_t crc, const uint8_t* p, size_t n,
                                                              size_t* used) {
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4ull, 0x01c6e41596ull};
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0ull, 0x00ccaa009eull};
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124ull, 0};
    alignas(16) static const uint64_t poly[2] = {0x01db710641ull, 0x01f7011641ull};
    const uint8_t* start = p;

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x00));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x10));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x20));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    p += 64;
    n -= 64;

    while (n >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, k, 0x00);
        __m128i x6 = _mm_clmulepi64_si128(x2, k, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, k, 0x00);
        __m128i x8 = _mm_clmulepi64_si128(x4, k, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x00)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x10)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x20)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x30)));
        p += 64;
        n -= 64;
    }

    // Fold the four lanes into one.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    for (__m128i next : {x2, x3, x4}) {
        __m128i lo = _mm_clmulepi64_si128(x1, k, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, next), lo);
    }
    while (n >= 16) {
        __m128i lo = _mm_clmulepi64_si128(x1, k, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), lo);
        p += 16;
        n -= 16;
    }

    // 128 -> 64 bits.
    __m128i x2r = _mm_clmulepi64_si128(x1, k, 0x10);
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    __m128i hi = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask32);
    x1 = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_xor_si128(x1, hi);

    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    __m128i t = _mm_and_si128(x1, mask32);
    t = _mm_clmulepi64_si128(t, k, 0x10);
    t = _mm_and_si128(t, mask32);
    t = _mm_clmulepi64_si128(t, k, 0x00);
    x1 = _mm_xor_si128(x1, t);

    *used = static_cast<size_t>(p - start);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

#endif

bool CpuHasClmul() {
#ifdef QV_CRC32_HAVE_CLMUL
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
#else
    return false;
#endif
}

}  // namespace crc32_internal

uint32_t Crc32(const void* bytes, size_t length) {
    using namespace crc32_internal;
    if (length == 0) return 0;
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t crc = 0xFFFFFFFFu;
#ifdef QV_CRC32_HAVE_CLMUL
    if (length >= 64 && CpuHasClmul()) {
        size_t used = 0;
        crc = UpdateFolded(crc, p, length, &used);
        p += used;
        length -= used;
    }
#endif
    return UpdateSliced(crc, p, length) ^ 0xFFFFFFFFu;
}

}  // namespace codecs
