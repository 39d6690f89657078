#include "codecs/lznt1.h"

#include <cstring>

#include "codecs/byte_order.h"

namespace codecs {
namespace {

constexpr uint16_t kCompressedBit = 0x8000;
constexpr uint16_t kSizeMask = 0x0FFF;

// Decodes one compressed chunk's body into out (4096 bytes); false when a
// reference reaches before the chunk's start or past its end.
bool DecodeChunk(const uint8_t* in, size_t inBytes, uint8_t* out, size_t& produced) {
    size_t i = 0;
    size_t p = 0;
    while (i < inBytes) {
        const uint8_t flags = in[i++];
        for (int bit = 0; bit < 8 && i < inBytes; ++bit) {
            if (!(flags & (1u << bit))) {
                if (p >= kLznt1ChunkBytes) return false;
                out[p++] = in[i++];
                continue;
            }
            if (inBytes - i < 2) return false;
            const uint16_t token = ReadLE16(in + i);
            i += 2;
            // Nothing to refer to yet: no encoder makes a reference at the
            // start of a chunk.
            if (p == 0) return false;
            // The offset field widens by one bit each time the output so far
            // doubles past 16 bytes.
            unsigned k = 0;
            for (size_t q = p - 1; q > 15; q >>= 1) ++k;
            const size_t offset = (token >> (12 - k)) + 1u;
            const size_t length = (token & (0x0FFFu >> k)) + 3u;
            if (offset > p || length > kLznt1ChunkBytes - p) return false;
            // Byte by byte and forward: an offset shorter than the length
            // repeats the bytes just written.
            for (size_t n = 0; n < length; ++n, ++p) out[p] = out[p - offset];
        }
    }
    produced = p;
    return true;
}

}  // namespace

int64_t DecompressLznt1(const uint8_t* source, size_t sourceBytes, uint8_t* target, size_t targetBytes) {
    size_t in = 0;
    size_t out = 0;
    while (sourceBytes - in >= 2) {
        const uint16_t header = ReadLE16(source + in);
        if (header == 0) break;
        const size_t chunkBytes = (header & kSizeMask) + 3u;   // with its header
        if (chunkBytes > sourceBytes - in) return lznt1_result::kCorrupt;
        if (targetBytes - out < kLznt1ChunkBytes) return lznt1_result::kTargetTooSmall;
        const uint8_t* body = source + in + 2;
        const size_t bodyBytes = chunkBytes - 2;
        if (!(header & kCompressedBit)) {
            if (bodyBytes != kLznt1ChunkBytes) return lznt1_result::kCorrupt;
            std::memcpy(target + out, body, kLznt1ChunkBytes);
        } else {
            size_t produced = 0;
            if (!DecodeChunk(body, bodyBytes, target + out, produced)) return lznt1_result::kCorrupt;
            std::memset(target + out + produced, 0, kLznt1ChunkBytes - produced);
        }
        out += kLznt1ChunkBytes;
        in += chunkBytes;
    }
    return static_cast<int64_t>(out);
}

}  // namespace codecs
