#pragma once
// The reflected CRC-32 of ISO 3309 / ITU-T V.42 (the one zlib and PNG use):
// polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF. Container
// headers, chunks, volume headers, language files and the password check all
// rely on it.

#include <cstddef>
#include <cstdint>

namespace codecs {

// CRC-32 of length bytes; the CRC of no bytes is 0. bytes may be null when
// length is 0.
uint32_t Crc32(const void* bytes, size_t length);

}  // namespace codecs
