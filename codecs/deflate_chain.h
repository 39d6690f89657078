#pragma once
// The chain format of the deflate variant, for buffers of any size (comments,
// the diagnostic log, compressed chunk tables, built-in data). All integers
// are little-endian:
//   uint32 total uncompressed length
//   per segment of at most 65536 input bytes: uint32 n, then n bytes holding an
//     independent variant-0 stream of that segment
//   uint32 0
// A chain of an empty buffer is the length 0 and the terminating 0.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codecs {

constexpr size_t kDeflateChainSegment = 65536;

// Codes length bytes as a chain into output (at most outputCapacity bytes).
// Returns the chain's length, or -1 when the output is too small, the input
// exceeds 4 GB - 1 or a segment could not be coded.
int64_t DeflateCompressBuffer(const uint8_t* input, uint8_t* output, size_t length, size_t outputCapacity);

// Decodes the segment entries of a chain (the bytes after its total length, at
// most entriesLength of them) into output, never writing more than
// outputCapacity bytes. Returns the bytes produced, or -1 when an entry runs
// past the input, a segment fails or produces nothing, or the output would
// overflow. On success *endPosition (when given) is the offset after the
// terminating 0, relative to entries.
int64_t DeflateDecompressChain(const uint8_t* entries, size_t entriesLength, uint8_t* output,
                               size_t outputCapacity, size_t* endPosition);

// Decodes a whole chain (total length first) into out, which is resized to
// the total. 0 on success, -1 unless exactly the total length came out. On
// success *nextPosition (when given) is the offset after the chain, where a
// following chain would start.
int InflateBuffer(const uint8_t* chain, size_t chainLength, std::vector<uint8_t>& out, size_t* nextPosition);

}  // namespace codecs
