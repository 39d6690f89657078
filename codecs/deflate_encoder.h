#pragma once
// Encoder of the program's deflate variant (see deflate_format.h): gzip-style
// lazy LZ77 with the level-6 parameters, so for the same input it makes the
// same blocks as gzip -6.
//
// Each thread has its own encoder state, made on its first compression and
// kept until the thread ends: the diagnostic log compresses from the window
// and worker threads while a save compresses on its own thread, and none of
// them can disturb another's stream.
//
// Every call writes at most outputCapacity bytes; -1 when the output would
// not fit (input length + 65536 bytes is always enough).

#include <cstddef>
#include <cstdint>

namespace codecs {

constexpr size_t kDeflateMaxDirectInput = 65536;

// One variant-0 stream of a buffer of at most 65536 bytes. Returns the
// compressed length, or -1 (longer input, output full, no memory).
int64_t DeflateCompress(const uint8_t* input, uint8_t* output, size_t length, size_t outputCapacity);

// One stream of any length in the given variant (0-3; any other value codes
// as 0). Returns the compressed length or -1.
int64_t DeflateCompressBlock(const uint8_t* input, uint8_t* output, size_t length, int32_t variant,
                             size_t outputCapacity);

// Reset the calling thread's bit writer and block tallies. Every stream
// starts with both, so callers need them only to drop a thread's state to a
// known point (tests).
void ResetDeflateEncoder();
void InitDeflateTrees();

}  // namespace codecs
