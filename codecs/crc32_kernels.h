#pragma once
// The two CRC-32 kernels behind Crc32, visible so tests can check each one
// whatever the processor the tests run on. crc is the running register
// (initial 0xFFFFFFFF, not yet inverted at the end).

#include <cstddef>
#include <cstdint>

namespace codecs::crc32_internal {

// Slicing-by-8 tables; any processor.
uint32_t UpdateSliced(uint32_t crc, const uint8_t* p, size_t n);

// True when the processor has carry-less multiplication (PCLMULQDQ, SSE4.1).
bool CpuHasClmul();

#if defined(__x86_64__) || defined(__i386__)
// Carry-less folding; only when CpuHasClmul(). Needs n >= 64; takes a
// multiple of 16 bytes and sets *used to it.
uint32_t UpdateFolded(uint32_t crc, const uint8_t* p, size_t n, size_t* used);
#endif

}  // namespace codecs::crc32_internal
