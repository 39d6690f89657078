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
// True when raw is a whole data frame of the mode (1 or 2) at lba: sync,
// header address and mode, and for Mode 1 and Mode 2 Form 1 the EDC, the zero
// bytes and the P and Q parity; for Mode 2 Form 2 the EDC when one is stored.
bool CheckDataFrame(int64_t lba, uint8_t mode, const uint8_t* raw);

}  // namespace softdrive
