#include "codecs/sha1.h"

#include <algorithm>
#include <cstring>

namespace codecs {
namespace {

inline uint32_t Rotl(uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }
inline uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

}  // namespace

void Sha1::Reset() {
    state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    pendingBytes_ = 0;
    totalBytes_ = 0;
}

void Sha1::Blocks(const uint8_t* data, size_t count) {
    uint32_t a0 = state_[0], b0 = state_[1], c0 = state_[2], d0 = state_[3], e0 = state_[4];
    for (size_t block = 0; block < count; ++block, data += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) w[i] = Be32(data + 4 * i);
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
    state_ = {a0, b0, c0, d0, e0};
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
    for (int i = 0; i < 8; ++i) tail[padding + size_t(i)] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(tail, padding + 8);
    Sha1Digest digest{};
    for (int i = 0; i < 5; ++i) {
        digest[size_t(4 * i)] = static_cast<uint8_t>(state_[size_t(i)] >> 24);
        digest[size_t(4 * i + 1)] = static_cast<uint8_t>(state_[size_t(i)] >> 16);
        digest[size_t(4 * i + 2)] = static_cast<uint8_t>(state_[size_t(i)] >> 8);
        digest[size_t(4 * i + 3)] = static_cast<uint8_t>(state_[size_t(i)]);
    }
    Reset();
    return digest;
}

Sha1Digest Sha1Of(const void* data, size_t size) {
    Sha1 sha;
    sha.Update(data, size);
    return sha.Finish();
}

}  // namespace codecs
