#include "codecs/sha1.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "codecs/byte_order.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace codecs {
namespace {

inline uint32_t Rotl(uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }

}  // namespace

void Sha1::Reset() {
    state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    pendingBytes_ = 0;
    totalBytes_ = 0;
}

void Sha1BlocksPortable(std::array<uint32_t, 5>& state, const uint8_t* data, size_t count) {
    uint32_t a0 = state[0], b0 = state[1], c0 = state[2], d0 = state[3], e0 = state[4];
    for (size_t block = 0; block < count; ++block, data += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) w[i] = ReadBE32(data + 4 * i);
        for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = a0, b = b0, c = c0, d = d0, e = e0;
        auto step = [&](uint32_t f, uint32_t k, uint32_t wi) {
            const uint32_t t = Rotl(a, 5) + f + e + k + wi;
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = t;
        };
        for (int i = 0; i < 20; ++i) step((b & c) | (~b & d), 0x5A827999u, w[i]);
        for (int i = 20; i < 40; ++i) step(b ^ c ^ d, 0x6ED9EBA1u, w[i]);
        for (int i = 40; i < 60; ++i) step((b & c) | (b & d) | (c & d), 0x8F1BBCDCu, w[i]);
        for (int i = 60; i < 80; ++i) step(b ^ c ^ d, 0xCA62C1D6u, w[i]);
        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
        e0 += e;
    }
    state = {a0, b0, c0, d0, e0};
}

#if defined(__x86_64__)
namespace {

// Four rounds of group G (0..19) with the message schedule kept four groups
// ahead, as the SHA extensions' instructions are meant to be chained.
template <int G>
__attribute__((target("sha,sse4.1"))) inline void ShaGroup(__m128i& abcd, __m128i& e0, __m128i& e1, __m128i (&msg)[4],
                                                         const uint8_t* data, const __m128i& byteSwap) {
    constexpr int kCur = G % 4;
    if constexpr (G < 4) {
        msg[kCur] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * G)), byteSwap);
    }
    __m128i& eNow = (G % 2 == 0) ? e0 : e1;
    __m128i& eNext = (G % 2 == 0) ? e1 : e0;
    if constexpr (G == 0) {
        eNow = _mm_add_epi32(eNow, msg[0]);
    } else {
        eNow = _mm_sha1nexte_epu32(eNow, msg[kCur]);
    }
    eNext = abcd;
    if constexpr (G >= 3) msg[(G + 1) % 4] = _mm_sha1msg2_epu32(msg[(G + 1) % 4], msg[kCur]);
    abcd = _mm_sha1rnds4_epu32(abcd, eNow, G / 5);
    if constexpr (G >= 1) msg[(G + 3) % 4] = _mm_sha1msg1_epu32(msg[(G + 3) % 4], msg[kCur]);
    if constexpr (G >= 2) msg[(G + 2) % 4] = _mm_xor_si128(msg[(G + 2) % 4], msg[kCur]);
}

template <int... G>
__attribute__((target("sha,sse4.1"))) inline void ShaRounds(__m128i& abcd, __m128i& e0, __m128i& e1, __m128i (&msg)[4],
                                                          const uint8_t* data, const __m128i& byteSwap,
                                                          std::integer_sequence<int, G...>) {
    (ShaGroup<G>(abcd, e0, e1, msg, data, byteSwap), ...);
}

__attribute__((target("sha,sse4.1"))) void ShaBlocks(std::array<uint32_t, 5>& state, const uint8_t* data,
                                                     size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data())), 0x1B);
    __m128i e0 = _mm_set_epi32(int(state[4]), 0, 0, 0);
    for (size_t block = 0; block < count; ++block, data += 64) {
        const __m128i abcdSave = abcd, e0Save = e0;
        __m128i e1 = _mm_setzero_si128();
        __m128i msg[4];
        ShaRounds(abcd, e0, e1, msg, data, byteSwap, std::make_integer_sequence<int, 20>{});
        e0 = _mm_sha1nexte_epu32(e0, e0Save);
        abcd = _mm_add_epi32(abcd, abcdSave);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data()), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = uint32_t(_mm_extract_epi32(e0, 3));
}

bool HasShaInstructions() {
    // Asked of CPUID itself: not every compiler knows "sha" as a feature name.
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1)) return false;
        if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
        return (b & bit_SHA) != 0;
    }();
    return has;
}

}  // namespace

bool Sha1BlocksAccelerated(std::array<uint32_t, 5>& state, const uint8_t* data, size_t blocks) {
    if (!HasShaInstructions()) return false;
    ShaBlocks(state, data, blocks);
    return true;
}
#else
bool Sha1BlocksAccelerated(std::array<uint32_t, 5>&, const uint8_t*, size_t) { return false; }
#endif

void Sha1::Blocks(const uint8_t* data, size_t count) {
    if (!Sha1BlocksAccelerated(state_, data, count)) Sha1BlocksPortable(state_, data, count);
}

void Sha1::Update(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    totalBytes_ += size;
    if (pendingBytes_ > 0) {
        const size_t take = std::min(size, 64 - pendingBytes_);
        std::memcpy(pending_.data() + pendingBytes_, p, take);
        pendingBytes_ += take;
        p += take;
        size -= take;
        if (pendingBytes_ < 64) return;
        Blocks(pending_.data(), 1);
        pendingBytes_ = 0;
    }
    const size_t whole = size / 64;
    if (whole > 0) Blocks(p, whole);
    p += whole * 64;
    size -= whole * 64;
    if (size > 0) std::memcpy(pending_.data(), p, size);
    pendingBytes_ = size;
}

Sha1Digest Sha1::Finish() {
    const uint64_t bits = totalBytes_ * 8;
    uint8_t tail[72] = {0x80};
    const size_t padding = (pendingBytes_ < 56 ? 56 : 120) - pendingBytes_;
    WriteBE64(tail + padding, bits);
    Update(tail, padding + 8);
    Sha1Digest digest{};
    for (int i = 0; i < 5; ++i) WriteBE32(digest.data() + 4 * i, state_[size_t(i)]);
    Reset();
    return digest;
}

Sha1Digest Sha1Of(const void* data, size_t size) {
    Sha1 sha;
    sha.Update(data, size);
    return sha.Finish();
}

}  // namespace codecs
