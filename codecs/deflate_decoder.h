#pragma once
// Decoder of the program's deflate variant (see deflate_format.h). It takes
// untrusted bytes from every container, so it never writes past the output
// room, never reads past the input, and ends on every input: an invalid code,
// a distance reaching before the stream's first byte, an oversubscribed or
// incomplete code, a stored block whose NLEN is not ~LEN, block type code 3
// and a stream that runs past its input all fail with -1.

#include <cstddef>
#include <cstdint>

namespace codecs {

// Decoding tables of one block: the primary tables hold 10 (literal/length)
// and 8 (distance) bits; longer codes go through one level of subtables.
struct DeflateHuffmanTables {
    static constexpr int kLitLenPrimaryBits = 10;
    static constexpr int kDistancePrimaryBits = 8;
    // Room for a subtable of 2^(15 - primary) entries behind every code.
    static constexpr int kLitLenEntries = (1 << kLitLenPrimaryBits) + 288 * (1 << (15 - kLitLenPrimaryBits));
    static constexpr int kDistanceEntries = (1 << kDistancePrimaryBits) + 32 * (1 << (15 - kDistancePrimaryBits));
    uint32_t litLen[kLitLenEntries];
    uint32_t distance[kDistanceEntries];
};

// One per user (each container holds one); zero-initialised by construction.
// Decoded bytes go straight into the caller's output, which is also the
// history that back-references read: there is no separate window.
struct DeflateDecoder {
    int32_t variant = 0;          // block-type permutation, 0-3
    int64_t outputRoom = 0;       // bytes the output may receive; 0 means 65536
    // Set by each call:
    const uint8_t* input = nullptr;
    size_t inputSize = 0;
    size_t inputPosition = 0;     // after success: bytes used, whole unused bytes handed back
    int64_t produced = 0;
    DeflateHuffmanTables tables;  // scratch of the current block
};

constexpr int64_t kDeflateDefaultOutputRoom = 65536;

// Decodes one stream of decoder.variant into output, which must hold
// decoder.outputRoom bytes (65536 when 0). Returns the bytes produced, or -1
// when the stream is damaged, would produce more than the room, or reads past
// inputLength (and for a negative room). On success decoder.inputPosition is the count of input bytes
// the stream occupies (what zlib reports as total_in).
int64_t DeflateDecompress(DeflateDecoder& decoder, const uint8_t* input, uint8_t* output, size_t inputLength);

// The same with an output room of room bytes for this call only; the
// decoder's room is back to 0 (the default) afterwards.
int64_t DeflateDecompressSized(DeflateDecoder& decoder, const uint8_t* input, uint8_t* output, size_t inputLength,
                               int64_t room);

}  // namespace codecs
