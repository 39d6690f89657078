#include "soft_drive/soft_drive_sectors.h"

#include <array>
#include <cstring>

#include "soft_drive/soft_drive_bytes.h"

namespace softdrive {
namespace {

// EDC: CRC-32 with polynomial x^32+x^31+x^16+x^15+x^4+x^3+x+1, bit-reversed,
// stored least significant byte first.
struct Tables {
    std::array<uint32_t, 256> edc{};
    std::array<uint8_t, 256> forward{};   // multiply by alpha
    std::array<uint8_t, 256> backward{};  // divide by (alpha + 1)
    Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xD8018001u : 0);
            edc[i] = c;
            uint32_t f = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
            forward[i] = static_cast<uint8_t>(f);
            backward[i ^ f] = static_cast<uint8_t>(i);
        }
    }
};
const Tables& T() {
    static const Tables tables;
    return tables;
}

uint32_t Edc(const uint8_t* p, size_t n) {
    uint32_t c = 0;
    for (size_t i = 0; i < n; ++i) c = (c >> 8) ^ T().edc[(c ^ p[i]) & 0xFF];
    return c;
}

// One parity family: majorCount codewords of minorCount symbols each, taken
// from the 2340 (P: 2236 of them) bytes from the header on with the
// interleave ECMA-130 gives.
void Parity(const uint8_t* data, uint32_t majorCount, uint32_t minorCount, uint32_t majorMult, uint32_t minorInc,
            uint8_t* out) {
    uint32_t size = majorCount * minorCount;
    for (uint32_t major = 0; major < majorCount; ++major) {
        uint32_t index = (major >> 1) * majorMult + (major & 1);
        uint8_t a = 0;
        uint8_t b = 0;
        for (uint32_t minor = 0; minor < minorCount; ++minor) {
            uint8_t v = data[index];
            index += minorInc;
            if (index >= size) index -= size;
            a ^= v;
            b ^= v;
            a = T().forward[a];
        }
        a = T().backward[T().forward[a] ^ b];
        out[major] = a;
        out[major + majorCount] = static_cast<uint8_t>(a ^ b);
    }
}

void Header(int64_t lba, uint8_t mode, uint8_t* raw) {
    raw[0] = 0;
    std::memset(raw + 1, 0xFF, 10);
    raw[11] = 0;
    Msf t = ToMsf(lba);
    raw[12] = Bcd(t.m);
    raw[13] = Bcd(t.s);
    raw[14] = Bcd(t.f);
    raw[15] = mode;
}

void Ecc(uint8_t* raw) {
    Parity(raw + 12, 86, 24, 2, 86, raw + 0x81C);
    Parity(raw + 12, 52, 43, 86, 88, raw + 0x8C8);
}

void PutEdc(uint8_t* at, uint32_t edc) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(edc >> (8 * i));
}

}  // namespace

void EncodeMode1(int64_t lba, const uint8_t* user, uint8_t* raw) {
    Header(lba, 1, raw);
    std::memcpy(raw + 16, user, kUserBytes);
    PutEdc(raw + 0x810, Edc(raw, 0x810));
    std::memset(raw + 0x814, 0, 8);
    Ecc(raw);
}

void EncodeMode2Form1(int64_t lba, const uint8_t* user, uint8_t* raw) {
    Header(lba, 2, raw);
    std::memset(raw + 16, 0, 8);
    std::memcpy(raw + 24, user, kUserBytes);
    PutEdc(raw + 0x818, Edc(raw + 16, 0x808));
    // The header takes no part in the Mode 2 parity.
    uint8_t saved[4];
    std::memcpy(saved, raw + 12, 4);
    std::memset(raw + 12, 0, 4);
    Ecc(raw);
    std::memcpy(raw + 12, saved, 4);
}

bool CheckDataFrame(int64_t lba, uint8_t mode, const uint8_t* raw) {
    uint8_t expected[kRawBytes];
    if (mode == 1) {
        EncodeMode1(lba, raw + 16, expected);
        return std::memcmp(expected, raw, kRawBytes) == 0;
    }
    if (mode != 2) return false;
    Header(lba, 2, expected);
    if (std::memcmp(expected, raw, 16) != 0) return false;
    const uint8_t* sub = raw + 16;
    if (std::memcmp(sub, sub + 4, 4) != 0) return false;
    if (sub[2] & 0x20) {   // Form 2: the EDC is optional
        uint32_t stored = static_cast<uint32_t>(raw[2348]) | raw[2349] << 8 | raw[2350] << 16 |
                          static_cast<uint32_t>(raw[2351]) << 24;
        return stored == 0 || stored == Edc(raw + 16, 2332);
    }
    std::memcpy(expected + 16, raw + 16, 8 + kUserBytes);
    PutEdc(expected + 0x818, Edc(expected + 16, 0x808));
    std::memset(expected + 12, 0, 4);
    Ecc(expected);
    Header(lba, 2, expected);
    return std::memcmp(expected, raw, kRawBytes) == 0;
}

}  // namespace softdrive
