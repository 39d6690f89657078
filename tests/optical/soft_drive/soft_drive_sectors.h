#pragma once
// Raw CD sectors as ECMA-130 lays them out: sync, header (BCD MSF and mode),
// user data, EDC (CRC over the sector start) and the P and Q parity of the
// Reed-Solomon product code over GF(2^8) with polynomial x^8+x^4+x^3+x^2+1.

#include <cstdint>

namespace softdrive {

constexpr uint32_t kRawBytes = 2352;
constexpr uint32_t kUserBytes = 2048;

// A Mode 1 sector of 2048 user bytes at lba.
void EncodeMode1(int64_t lba, const uint8_t* user, uint8_t* raw);
// A Mode 2 Form 1 sector (subheader all zero) of 2048 user bytes at lba.
void EncodeMode2Form1(int64_t lba, const uint8_t* user, uint8_t* raw);

}  // namespace softdrive
