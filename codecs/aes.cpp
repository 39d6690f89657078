#include "codecs/aes.h"

#include <cpuid.h>

#include "codecs/aes_kernels.h"
#include "codecs/byte_order.h"

#include <cstring>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_AES_HAVE_NI 1
#endif

namespace codecs {

namespace {

// Process-wide tables, written once under std::call_once and read-only after.
struct Tables {
    uint8_t pow[256];
    uint8_t log[256];
    uint32_t rcon[10];
    uint8_t sbox[256];
    uint8_t inverseSbox[256];
    uint32_t forward[4][256];
    uint32_t forwardLast[4][256];
    uint32_t inverse[4][256];
    uint32_t inverseLast[4][256];
};

Tables g_tables;
std::once_flag g_tablesOnce;

uint8_t XTime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
}

uint32_t Rotl(uint32_t w, int bits) {
    return (w << bits) | (w >> (32 - bits));
}

uint8_t Rotl8(uint8_t b, int bits) {
    return static_cast<uint8_t>((b << bits) | (b >> (8 - bits)));
}

void BuildTables() {
    Tables& t = g_tables;
    uint8_t a = 1;
    for (int i = 0; i < 256; ++i) {
        t.pow[i] = a;
        t.log[a] = static_cast<uint8_t>(i);
        a = static_cast<uint8_t>(a ^ XTime(a));
    }
    t.log[1] = 0;  // the loop's last step (3^255 = 1) wrote 255 there

    uint8_t r = 1;
    for (uint32_t& c : t.rcon) {
        c = r;
        r = XTime(r);
    }

    for (int x = 0; x < 256; ++x) {
        const uint8_t b = x == 0 ? 0 : t.pow[255 - t.log[x]];
        const uint8_t s = static_cast<uint8_t>(b ^ Rotl8(b, 1) ^ Rotl8(b, 2) ^ Rotl8(b, 3) ^ Rotl8(b, 4) ^ 0x63);
        t.sbox[x] = s;
        t.inverseSbox[s] = static_cast<uint8_t>(x);
    }

    auto mul = [&t](uint8_t x, uint8_t y) -> uint32_t {
        if (x == 0 || y == 0) return 0;
        return t.pow[(t.log[x] + t.log[y]) % 255];
    };
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = t.sbox[x];
        const uint32_t f = mul(2, s) | (uint32_t{s} << 8) | (uint32_t{s} << 16) | (mul(3, s) << 24);
        const uint8_t si = t.inverseSbox[x];
        const uint32_t v = mul(14, si) | (mul(9, si) << 8) | (mul(13, si) << 16) | (mul(11, si) << 24);
        for (int k = 0; k < 4; ++k) {
            t.forward[k][x] = k == 0 ? f : Rotl(f, 8 * k);
            t.inverse[k][x] = k == 0 ? v : Rotl(v, 8 * k);
            t.forwardLast[k][x] = uint32_t{s} << (8 * k);
            t.inverseLast[k][x] = uint32_t{si} << (8 * k);
        }
    }
}

uint32_t SubWord(const Tables& t, uint32_t w) {
    return uint32_t{t.sbox[w & 0xFF]} | (uint32_t{t.sbox[(w >> 8) & 0xFF]} << 8) |
           (uint32_t{t.sbox[(w >> 16) & 0xFF]} << 16) | (uint32_t{t.sbox[w >> 24]} << 24);
}

// InvMixColumns of one column: the inverse round tables carry the
// coefficients times Si[x], so looking them up at S[b] gives coefficients times b.
uint32_t InvMixColumn(const Tables& t, uint32_t w) {
    return t.inverse[0][t.sbox[w & 0xFF]] ^ t.inverse[1][t.sbox[(w >> 8) & 0xFF]] ^
           t.inverse[2][t.sbox[(w >> 16) & 0xFF]] ^ t.inverse[3][t.sbox[w >> 24]];
}

int Rounds(const AesKeySchedule& s) {
    return s.keyLength / 4 + 6;
}

}  // namespace

void AesGenTables() {
    std::call_once(g_tablesOnce, BuildTables);
}

int AesSetKeyBytes(AesKeySchedule& schedule, const uint8_t* key, int keyLength) {
    if (keyLength % 8 != 0 || keyLength < 16 || keyLength > 32) return -1;
    AesGenTables();
    const Tables& t = g_tables;
    const int nk = keyLength / 4;
    const int nr = nk + 6;
    const int words = 4 * (nr + 1);
    AesKeySchedule next;
    next.keyLength = keyLength;
    uint32_t* w = next.encryptKeys;
    for (int i = 0; i < nk; ++i) w[i] = ReadLE32(key + 4 * i);
    for (int i = nk; i < words; ++i) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            // RotWord moves byte 1 to byte 0: a right rotation of the little-endian word.
            temp = SubWord(t, (temp >> 8) | (temp << 24)) ^ t.rcon[i / nk - 1];
        } else if (nk == 8 && i % nk == 4) {
            temp = SubWord(t, temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
    uint32_t* d = next.decryptKeys;
    for (int i = 0; i < 4; ++i) d[i] = w[i];
    for (int i = 4; i < 4 * nr; ++i) d[i] = InvMixColumn(t, w[i]);
    schedule = next;
    return 0;
}

int AesSetKey(AesKeySchedule& schedule, const char* keyText, int keyLength) {
    if (keyLength % 8 != 0 || keyLength < 16 || keyLength > 32) return -1;
    uint8_t key[32] = {};
    const size_t textLength = keyText ? std::strlen(keyText) : 0;
    std::memcpy(key, keyText ? keyText : "", textLength < 32 ? textLength : 32);
    return AesSetKeyBytes(schedule, key, keyLength);
}

namespace aes_internal {

void EncryptTable(const AesKeySchedule& s, uint8_t* out, const uint8_t* in, size_t blocks) {
    AesGenTables();
    const Tables& t = g_tables;
    const auto& T0 = t.forward[0];
    const auto& T1 = t.forward[1];
    const auto& T2 = t.forward[2];
    const auto& T3 = t.forward[3];
    const int nr = Rounds(s);
    for (size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
        const uint32_t* rk = s.encryptKeys;
        uint32_t s0 = ReadLE32(in) ^ rk[0];
        uint32_t s1 = ReadLE32(in + 4) ^ rk[1];
        uint32_t s2 = ReadLE32(in + 8) ^ rk[2];
        uint32_t s3 = ReadLE32(in + 12) ^ rk[3];
        for (int round = 1; round < nr; ++round) {
            rk += 4;
            const uint32_t t0 = T0[s0 & 0xFF] ^ T1[(s1 >> 8) & 0xFF] ^ T2[(s2 >> 16) & 0xFF] ^ T3[s3 >> 24] ^ rk[0];
            const uint32_t t1 = T0[s1 & 0xFF] ^ T1[(s2 >> 8) & 0xFF] ^ T2[(s3 >> 16) & 0xFF] ^ T3[s0 >> 24] ^ rk[1];
            const uint32_t t2 = T0[s2 & 0xFF] ^ T1[(s3 >> 8) & 0xFF] ^ T2[(s0 >> 16) & 0xFF] ^ T3[s1 >> 24] ^ rk[2];
            const uint32_t t3 = T0[s3 & 0xFF] ^ T1[(s0 >> 8) & 0xFF] ^ T2[(s1 >> 16) & 0xFF] ^ T3[s2 >> 24] ^ rk[3];
            s0 = t0;
            s1 = t1;
            s2 = t2;
            s3 = t3;
        }
        rk += 4;
        const auto& L = t.forwardLast;
        WriteLE32(out, L[0][s0 & 0xFF] ^ L[1][(s1 >> 8) & 0xFF] ^ L[2][(s2 >> 16) & 0xFF] ^ L[3][s3 >> 24] ^ rk[0]);
        WriteLE32(out + 4, L[0][s1 & 0xFF] ^ L[1][(s2 >> 8) & 0xFF] ^ L[2][(s3 >> 16) & 0xFF] ^ L[3][s0 >> 24] ^ rk[1]);
        WriteLE32(out + 8, L[0][s2 & 0xFF] ^ L[1][(s3 >> 8) & 0xFF] ^ L[2][(s0 >> 16) & 0xFF] ^ L[3][s1 >> 24] ^ rk[2]);
        WriteLE32(out + 12, L[0][s3 & 0xFF] ^ L[1][(s0 >> 8) & 0xFF] ^ L[2][(s1 >> 16) & 0xFF] ^ L[3][s2 >> 24] ^ rk[3]);
    }
}

void DecryptTable(const AesKeySchedule& s, uint8_t* out, const uint8_t* in, size_t blocks) {
    AesGenTables();
    const Tables& t = g_tables;
    const auto& T0 = t.inverse[0];
    const auto& T1 = t.inverse[1];
    const auto& T2 = t.inverse[2];
    const auto& T3 = t.inverse[3];
    const int nr = Rounds(s);
    for (size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
        const uint32_t* last = s.encryptKeys + 4 * nr;
        uint32_t s0 = ReadLE32(in) ^ last[0];
        uint32_t s1 = ReadLE32(in + 4) ^ last[1];
        uint32_t s2 = ReadLE32(in + 8) ^ last[2];
        uint32_t s3 = ReadLE32(in + 12) ^ last[3];
        for (int round = nr - 1; round >= 1; --round) {
            const uint32_t* rk = s.decryptKeys + 4 * round;
            const uint32_t t0 = T0[s0 & 0xFF] ^ T1[(s3 >> 8) & 0xFF] ^ T2[(s2 >> 16) & 0xFF] ^ T3[s1 >> 24] ^ rk[0];
            const uint32_t t1 = T0[s1 & 0xFF] ^ T1[(s0 >> 8) & 0xFF] ^ T2[(s3 >> 16) & 0xFF] ^ T3[s2 >> 24] ^ rk[1];
            const uint32_t t2 = T0[s2 & 0xFF] ^ T1[(s1 >> 8) & 0xFF] ^ T2[(s0 >> 16) & 0xFF] ^ T3[s3 >> 24] ^ rk[2];
            const uint32_t t3 = T0[s3 & 0xFF] ^ T1[(s2 >> 8) & 0xFF] ^ T2[(s1 >> 16) & 0xFF] ^ T3[s0 >> 24] ^ rk[3];
            s0 = t0;
            s1 = t1;
            s2 = t2;
            s3 = t3;
        }
        const uint32_t* rk = s.decryptKeys;
        const auto& L = t.inverseLast;
        WriteLE32(out, L[0][s0 & 0xFF] ^ L[1][(s3 >> 8) & 0xFF] ^ L[2][(s2 >> 16) & 0xFF] ^ L[3][s1 >> 24] ^ rk[0]);
        WriteLE32(out + 4, L[0][s1 & 0xFF] ^ L[1][(s0 >> 8) & 0xFF] ^ L[2][(s3 >> 16) & 0xFF] ^ L[3][s2 >> 24] ^ rk[1]);
        WriteLE32(out + 8, L[0][s2 & 0xFF] ^ L[1][(s1 >> 8) & 0xFF] ^ L[2][(s0 >> 16) & 0xFF] ^ L[3][s3 >> 24] ^ rk[2]);
        WriteLE32(out + 12, L[0][s3 & 0xFF] ^ L[1][(s2 >> 8) & 0xFF] ^ L[2][(s1 >> 16) & 0xFF] ^ L[3][s0 >> 24] ^ rk[3]);
    }
}

#ifdef QV_AES_HAVE_NI

// The round keys are stored as little-endian column words, which is exactly
// the byte order the AES instructions take them in.
namespace {

__attribute__((target("aes,sse2"))) inline __m128i RoundKey(const uint32_t* words, int round) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 4 * round));
}

// Asked through CPUID and XGETBV rather than the compiler's feature names,
// which not every compiler of the build knows for these instructions. The
// system must also save the 512-bit registers (XCR0 bits 1, 2 and 5-7).
bool CpuHasVaes() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE)) return false;
        if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
        const bool avx512f = (b & (1u << 16)) != 0;
        const bool vaes = (c & (1u << 9)) != 0;
        if (!avx512f || !vaes) return false;
        unsigned lo = 0, hi = 0;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        return (lo & 0xE6u) == 0xE6u;
    }();
    return has;
}

// Four blocks per 512-bit register and eight registers in flight: 32 blocks
// (512 bytes) per step. Returns the number of blocks done (a multiple of 32).
__attribute__((target("aes,vaes,avx512f"))) size_t CipherVaes(const __m128i* keys, int nr, bool decrypt, uint8_t* out,
                                                              const uint8_t* in, size_t blocks) {
    __m512i k[15];
    for (int r = 0; r <= nr; ++r) k[r] = _mm512_broadcast_i32x4(keys[r]);
    size_t b = 0;
    for (; b + 32 <= blocks; b += 32) {
        __m512i x[8];
        for (int j = 0; j < 8; ++j) x[j] = _mm512_xor_si512(_mm512_loadu_si512(in + 16 * b + 64 * j), k[0]);
        if (decrypt) {
            for (int r = 1; r < nr; ++r)
                for (int j = 0; j < 8; ++j) x[j] = _mm512_aesdec_epi128(x[j], k[r]);
            for (int j = 0; j < 8; ++j) _mm512_storeu_si512(out + 16 * b + 64 * j, _mm512_aesdeclast_epi128(x[j], k[nr]));
        } else {
            for (int r = 1; r < nr; ++r)
                for (int j = 0; j < 8; ++j) x[j] = _mm512_aesenc_epi128(x[j], k[r]);
            for (int j = 0; j < 8; ++j) _mm512_storeu_si512(out + 16 * b + 64 * j, _mm512_aesenclast_epi128(x[j], k[nr]));
        }
    }
    return b;
}

}  // namespace

__attribute__((target("aes,sse2"))) void EncryptAesNi(const AesKeySchedule& s, uint8_t* out, const uint8_t* in,
                                                      size_t blocks) {
    const int nr = Rounds(s);
    __m128i k[15];
    for (int r = 0; r <= nr; ++r) k[r] = RoundKey(s.encryptKeys, r);
    size_t b = CpuHasVaes() ? CipherVaes(k, nr, false, out, in, blocks) : 0;
    // Eight blocks in flight hide the instruction's latency.
    for (; b + 8 <= blocks; b += 8) {
        const auto* src = reinterpret_cast<const __m128i*>(in + 16 * b);
        __m128i x[8];
        for (int j = 0; j < 8; ++j) x[j] = _mm_xor_si128(_mm_loadu_si128(src + j), k[0]);
        for (int r = 1; r < nr; ++r)
            for (int j = 0; j < 8; ++j) x[j] = _mm_aesenc_si128(x[j], k[r]);
        auto* dst = reinterpret_cast<__m128i*>(out + 16 * b);
        for (int j = 0; j < 8; ++j) _mm_storeu_si128(dst + j, _mm_aesenclast_si128(x[j], k[nr]));
    }
    for (; b < blocks; ++b) {
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * b)), k[0]);
        for (int r = 1; r < nr; ++r) x = _mm_aesenc_si128(x, k[r]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * b), _mm_aesenclast_si128(x, k[nr]));
    }
}

__attribute__((target("aes,sse2"))) void DecryptAesNi(const AesKeySchedule& s, uint8_t* out, const uint8_t* in,
                                                      size_t blocks) {
    const int nr = Rounds(s);
    // k[r] is the key applied r rounds from the end: the last encryption key
    // first, then the inverse-cipher keys of rounds nr-1 .. 1, then round 0.
    __m128i k[15];
    k[0] = RoundKey(s.encryptKeys, nr);
    for (int r = 1; r <= nr; ++r) k[r] = RoundKey(s.decryptKeys, nr - r);
    size_t b = CpuHasVaes() ? CipherVaes(k, nr, true, out, in, blocks) : 0;
    for (; b + 8 <= blocks; b += 8) {
        const auto* src = reinterpret_cast<const __m128i*>(in + 16 * b);
        __m128i x[8];
        for (int j = 0; j < 8; ++j) x[j] = _mm_xor_si128(_mm_loadu_si128(src + j), k[0]);
        for (int r = 1; r < nr; ++r)
            for (int j = 0; j < 8; ++j) x[j] = _mm_aesdec_si128(x[j], k[r]);
        auto* dst = reinterpret_cast<__m128i*>(out + 16 * b);
        for (int j = 0; j < 8; ++j) _mm_storeu_si128(dst + j, _mm_aesdeclast_si128(x[j], k[nr]));
    }
    for (; b < blocks; ++b) {
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * b)), k[0]);
        for (int r = 1; r < nr; ++r) x = _mm_aesdec_si128(x, k[r]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * b), _mm_aesdeclast_si128(x, k[nr]));
    }
}

#endif

bool CpuHasAesNi() {
#ifdef QV_AES_HAVE_NI
    static const bool has = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
    return has;
#else
    return false;
#endif
}

}  // namespace aes_internal

void AesEncryptBlocks(const AesKeySchedule& schedule, uint8_t* out, const uint8_t* in, size_t blocks) {
#ifdef QV_AES_HAVE_NI
    if (aes_internal::CpuHasAesNi()) return aes_internal::EncryptAesNi(schedule, out, in, blocks);
#endif
    aes_internal::EncryptTable(schedule, out, in, blocks);
}

void AesDecryptBlocks(const AesKeySchedule& schedule, uint8_t* out, const uint8_t* in, size_t blocks) {
#ifdef QV_AES_HAVE_NI
    if (aes_internal::CpuHasAesNi()) return aes_internal::DecryptAesNi(schedule, out, in, blocks);
#endif
    aes_internal::DecryptTable(schedule, out, in, blocks);
}

void AesEncryptBlock(const AesKeySchedule& schedule, uint8_t out[16], const uint8_t in[16]) {
    AesEncryptBlocks(schedule, out, in, 1);
}

void AesDecryptBlock(const AesKeySchedule& schedule, uint8_t out[16], const uint8_t in[16]) {
    AesDecryptBlocks(schedule, out, in, 1);
}

}  // namespace codecs
