#pragma once
// LZMA86: raw LZMA1 with a known size and no end marker, after the x86 branch
// filter, behind a 14-byte header: +0 1 when the x86 filter was applied, +1
// the five LZMA property bytes (lc/lp/pb byte, 32-bit dictionary size), +6 the
// decoded size (uint64). The DAA/HXI, MZP and XDI containers store their LZMA
// chunks this way; 7-Zip's lzma86 reader decodes them.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace containers {

constexpr size_t kLzma86HeaderBytes = 14;

// Decodes a whole stream (header included) into output, which holds capacity
// bytes: the decoded size, or -1 when the stream is damaged, its size exceeds
// capacity or the stream does not yield exactly that size.
int64_t Lzma86Decode(const uint8_t* input, size_t inputLength, uint8_t* output, size_t capacity);

// Encodes with the x86 filter at the preset (0-9), header included; empty on
// failure. The dictionary is the given size (0: the input's size rounded up
// to a power of two), at least 64 KiB and at most the preset's.
std::vector<uint8_t> Lzma86Encode(const uint8_t* input, size_t length, uint32_t preset, uint32_t dictionary = 0);

}  // namespace containers
