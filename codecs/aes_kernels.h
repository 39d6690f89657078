#pragma once
// The two AES kernels behind the block operations, visible so tests and
// benchmarks can drive each one whatever the processor they run on.

#include "codecs/aes.h"

#include <cstddef>
#include <cstdint>

namespace codecs::aes_internal {

// Four 32-bit table lookups per column per round; any processor.
void EncryptTable(const AesKeySchedule& s, uint8_t* out, const uint8_t* in, size_t blocks);
void DecryptTable(const AesKeySchedule& s, uint8_t* out, const uint8_t* in, size_t blocks);

// True when the processor has the AES instructions (AES-NI).
bool CpuHasAesNi();

#if defined(__x86_64__) || defined(__i386__)
// The processor's AES instructions; only when CpuHasAesNi().
void EncryptAesNi(const AesKeySchedule& s, uint8_t* out, const uint8_t* in, size_t blocks);
void DecryptAesNi(const AesKeySchedule& s, uint8_t* out, const uint8_t* in, size_t blocks);
#endif

}  // namespace codecs::aes_internal
