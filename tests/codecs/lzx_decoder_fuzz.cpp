// libFuzzer target for the LZX chunk decoder (clang only; not part of the
// ctest run, which has its own mutation test in wim_chunks_test.cpp). Build and run:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//     tests/codecs/lzx_decoder_fuzz.cpp codecs/lzx_decoder.cpp codecs/huffman_table.cpp -o lzx_fuzz
//   ./lzx_fuzz -max_total_time=60
// The first two bytes give the chunk's uncompressed size (1..32768); the rest
// is the chunk, handed over in a buffer of exactly its size so that a read one
// byte past it is seen.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/lzx_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t outSize = 1 + ((size_t{data[0]} | size_t{data[1]} << 8) & 0x7FFF);
    std::vector<uint8_t> in(data + 2, data + size);
    std::vector<uint8_t> out(outSize);
    codecs::LzxDecoder decoder;
    const bool first = decoder.DecodeChunk(in, out);
    // No state survives a chunk: the same input decodes the same way again.
    std::vector<uint8_t> again(outSize);
    if (decoder.DecodeChunk(in, again) != first || (first && again != out)) std::abort();
    return 0;
}
