#pragma once
// The software drive's own big-endian field writers and readers: it shares no
// byte code with the command layer it is there to check.

#include <cstdint>

namespace softdrive {

inline void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void Put24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    Put16(p + 1, v);
}
inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    Put24(p + 1, v);
}
inline uint32_t Get16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
inline uint32_t Get24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | Get16(p + 1); }
inline uint32_t Get32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | Get24(p + 1); }

// Minute, second and frame of an LBA as a CD addresses it (LBA 0 = 00:02:00).
struct Msf {
    uint8_t m, s, f;
};
inline Msf ToMsf(int64_t lba) {
    int64_t a = lba + 150;
    if (a < 0) a = 0;
    return Msf{static_cast<uint8_t>(a / 4500 % 256), static_cast<uint8_t>(a / 75 % 60), static_cast<uint8_t>(a % 75)};
}
inline uint8_t Bcd(uint32_t v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }
// 4 bytes of an address field: LBA, or 0, M, S, F.
inline void PutAddress(uint8_t* p, int64_t lba, bool msf) {
    if (!msf) {
        Put32(p, static_cast<uint32_t>(lba));
        return;
    }
    Msf t = ToMsf(lba);
    p[0] = 0;
    p[1] = t.m;
    p[2] = t.s;
    p[3] = t.f;
}

// CRC-16 with polynomial x^16+x^12+x^5+1 over a CD-TEXT pack's first 16
// bytes, stored inverted.
inline uint16_t CdTextPackCrc(const uint8_t* p) {
    uint16_t crc = 0;
    for (int i = 0; i < 16; ++i) {
        crc ^= static_cast<uint16_t>(p[i] << 8);
        for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

}  // namespace softdrive
