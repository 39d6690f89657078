#pragma once
// LZNT1, the compression NTFS applies to the units of a compressed file: a
// sequence of chunks, each standing for 4096 bytes of output, with a 16-bit
// header (bit 15: compressed; low 12 bits: the chunk's stored size minus 3).
// A stored chunk carries its 4096 bytes as they are; a compressed one is
// groups of a flag byte and up to eight items, each a literal byte or a
// 16-bit back reference whose split between offset and length widens the
// offset as the chunk's output grows.

#include <cstddef>
#include <cstdint>

namespace codecs {

constexpr size_t kLznt1ChunkBytes = 4096;

namespace lznt1_result {
constexpr int64_t kTargetTooSmall = -1;   // the target cannot take a whole chunk
constexpr int64_t kCorrupt = -2;          // a reference outside its chunk, a short chunk, ...
}  // namespace lznt1_result

// Decompresses source into target: the bytes produced (a whole number of
// chunks: a compressed chunk that ends early is padded with zeros to 4096
// bytes), or one of the lznt1_result codes. Decoding stops at a zero chunk
// header or the end of the source.
int64_t DecompressLznt1(const uint8_t* source, size_t sourceBytes, uint8_t* target, size_t targetBytes);

}  // namespace codecs
