#include "containers/lzma86/lzma86.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/byte_cursor.h"

namespace containers {
namespace {

struct StreamEnd {
    void operator()(lzma_stream* stream) const { lzma_end(stream); }
};

}  // namespace

int64_t Lzma86Decode(const uint8_t* input, size_t inputLength, uint8_t* output, size_t capacity) {
    if (inputLength < kLzma86HeaderBytes) return -1;
    foundation::ByteCursor c(input, inputLength);
    const uint8_t filter = c.U8(0);
    const uint64_t size = c.Le64(6);
    if (filter > 1 || size > capacity) return -1;

    lzma_options_lzma options{};
    lzma_filter props{LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&props, nullptr, input + 1, 5) != LZMA_OK) return -1;
    std::memcpy(&options, props.options, sizeof options);
    free(props.options);
    // History never reaches before the first decoded byte: a dictionary
    // larger than the output (a hostile header may ask for 4 GB) is not needed.
    if (options.dict_size > size) options.dict_size = size < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : uint32_t(size);
    // The size is known and no end marker follows; one written anyway is taken.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = uint32_t(size);
    options.ext_size_high = uint32_t(size >> 32);

    lzma_filter chain[3];
    size_t n = 0;
    if (filter == 1) chain[n++] = {LZMA_FILTER_X86, nullptr};
    chain[n++] = {LZMA_FILTER_LZMA1EXT, &options};
    chain[n] = {LZMA_VLI_UNKNOWN, nullptr};

    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, chain) != LZMA_OK) return -1;
    std::unique_ptr<lzma_stream, StreamEnd> owner(&stream);
    stream.next_in = input + kLzma86HeaderBytes;
    stream.avail_in = inputLength - kLzma86HeaderBytes;
    stream.next_out = output;
    stream.avail_out = size_t(size);
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK && stream.avail_out != 0) {
        const size_t before = stream.avail_in + stream.avail_out;
        result = lzma_code(&stream, LZMA_FINISH);
        if (result == LZMA_OK && stream.avail_in + stream.avail_out == before) break;
    }
    // With the size reached the decoder may still want to see the end.
    if (result == LZMA_OK && stream.avail_out == 0) result = lzma_code(&stream, LZMA_FINISH);
    if (result != LZMA_STREAM_END || stream.total_out != size) return -1;
    return int64_t(size);
}

std::vector<uint8_t> Lzma86Encode(const uint8_t* input, size_t length, uint32_t preset, uint32_t dictionary) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, preset > 9 ? 9 : preset)) return {};
    if (dictionary == 0) {
        dictionary = 1u << 16;
        while (dictionary < length && dictionary < (64u << 20)) dictionary <<= 1;
    }
    dictionary = std::max<uint32_t>(dictionary, 1u << 16);
    if (options.dict_size > dictionary) options.dict_size = dictionary;
    // No end marker: the header carries the size.
    options.ext_flags = 0;
    options.ext_size_low = uint32_t(length);
    options.ext_size_high = uint32_t(uint64_t(length) >> 32);
    lzma_filter chain[3] = {{LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    std::vector<uint8_t> out(kLzma86HeaderBytes + length + length / 2 + 65536);
    out[0] = 1;
    lzma_filter props{LZMA_FILTER_LZMA1, &options};
    uint32_t propsSize = 0;
    if (lzma_properties_size(&propsSize, &props) != LZMA_OK || propsSize != 5) return {};
    if (lzma_properties_encode(&props, out.data() + 1) != LZMA_OK) return {};
    for (int i = 0; i < 8; ++i) out[size_t(6 + i)] = uint8_t(uint64_t(length) >> (8 * i));

    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, chain) != LZMA_OK) return {};
    std::unique_ptr<lzma_stream, StreamEnd> owner(&stream);
    stream.next_in = input;
    stream.avail_in = length;
    stream.next_out = out.data() + kLzma86HeaderBytes;
    stream.avail_out = out.size() - kLzma86HeaderBytes;
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK) result = lzma_code(&stream, LZMA_FINISH);
    if (result != LZMA_STREAM_END) return {};
    out.resize(kLzma86HeaderBytes + size_t(stream.total_out));
    return out;
}

}  // namespace containers
