#include "containers/chunk/adc_decoder.h"

namespace containers {

// Each code byte starts one of three records:
//   1xxxxxxx                    a literal run of (x + 1) bytes that follow;
//   01xxxxxx hhhhhhhh llllllll  copy (x + 4) bytes from 16-bit distance h:l + 1 back;
//   00xxxxyy zzzzzzzz           copy (x + 3) bytes from distance yy:z + 1 back.
// Copies may overlap their own output (a distance of 1 repeats one byte).
int64_t DecodeAdc(const uint8_t* input, size_t inputLength, uint8_t* output, size_t capacity) {
    size_t in = 0;
    size_t out = 0;
    while (in < inputLength) {
        const uint8_t code = input[in++];
        if (code & 0x80) {
            const size_t run = size_t(code & 0x7F) + 1;
            if (run > inputLength - in || run > capacity - out) return -1;
            for (size_t i = 0; i < run; ++i) output[out + i] = input[in + i];
            in += run;
            out += run;
            continue;
        }
        size_t length = 0;
        size_t distance = 0;
        if (code & 0x40) {
            if (inputLength - in < 2) return -1;
            length = size_t(code & 0x3F) + 4;
            distance = (size_t(input[in]) << 8 | input[in + 1]) + 1;
            in += 2;
        } else {
            if (inputLength - in < 1) return -1;
            length = size_t((code >> 2) & 0x0F) + 3;
            distance = (size_t(code & 0x03) << 8 | input[in]) + 1;
            in += 1;
        }
        if (distance > out || length > capacity - out) return -1;
        for (size_t i = 0; i < length; ++i, ++out) output[out] = output[out - distance];
    }
    return int64_t(out);
}

}  // namespace containers
