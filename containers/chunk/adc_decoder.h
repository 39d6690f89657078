#pragma once
// Apple Data Compression, the oldest chunk compression of Apple disk images: a
// byte stream of literal runs and short back references.

#include <cstddef>
#include <cstdint>

namespace containers {

// Decodes input into output (room for capacity bytes): the bytes written, or
// -1 when the stream refers before its start or would pass capacity.
int64_t DecodeAdc(const uint8_t* input, size_t inputLength, uint8_t* output, size_t capacity);

}  // namespace containers
