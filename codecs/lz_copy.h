#pragma once
// The match copy of the LZX and XPRESS decoders: length bytes from distance
// back, overlapping its own output when distance < length. Matches are mostly
// short, so whole 8-byte words are copied where the chunk has room for the
// overshoot (the bytes past the match are written again later); near the
// chunk's end and for distances below 8 it goes byte by byte.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace codecs {

// out[pos, pos + length) from out[pos - distance, ...); the caller has checked
// 1 <= distance <= pos and pos + length <= size.
inline void CopyMatch(uint8_t* out, size_t pos, size_t distance, size_t length, size_t size) {
    uint8_t* dst = out + pos;
    const uint8_t* src = dst - distance;
    if (distance >= 8 && size - pos >= length + 8) {
        uint8_t* const end = dst + length;
        do {
            uint64_t word;
            std::memcpy(&word, src, 8);
            std::memcpy(dst, &word, 8);
            src += 8;
            dst += 8;
        } while (dst < end);
        return;
    }
    for (size_t i = 0; i < length; ++i) dst[i] = src[i];
}

}  // namespace codecs
