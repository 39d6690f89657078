#pragma once
// The fixed facts of the program's deflate variant that its encoder and
// decoder share. It is RFC 1951 with one change: the 2-bit block type after
// BFINAL is taken from a permutation chosen by a variant number, so a stream
// of variant 1, 2 or 3 is not standard deflate. Variant 0 is plain raw
// deflate (no zlib or gzip wrapper), which zlib reads with windowBits -15.

#include <cstdint>

namespace codecs {

struct DeflateBlockTypeCodes {
    uint8_t stored;
    uint8_t fixed;
    uint8_t dynamic;
};

// The codes written for each block type; any variant other than 1-3 reads as
// 0. Code 3 is never a valid block type.
constexpr DeflateBlockTypeCodes DeflateCodesForVariant(int32_t variant) {
    switch (variant) {
        case 1: return {1, 2, 0};
        case 2: return {0, 2, 1};
        case 3: return {1, 0, 2};
        default: return {0, 1, 2};
    }
}

// RFC 1951 section 3.2.5.
constexpr int kDeflateMinMatch = 3;
constexpr int kDeflateMaxMatch = 258;
constexpr int kDeflateWindowSize = 32768;
constexpr int kDeflateEndOfBlock = 256;
constexpr int kDeflateLengthCodes = 29;
constexpr int kDeflateDistanceCodes = 30;
constexpr int kDeflateLiteralCodes = 256;
constexpr int kDeflateLitLenCodes = kDeflateLiteralCodes + 1 + kDeflateLengthCodes;   // 286
constexpr int kDeflateFixedLitLenCodes = 288;   // the fixed code defines 286 and 287 too, never valid
constexpr int kDeflateCodeLengthCodes = 19;
constexpr int kDeflateMaxCodeBits = 15;
constexpr int kDeflateMaxCodeLengthBits = 7;

constexpr uint16_t kDeflateLengthBase[kDeflateLengthCodes] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kDeflateLengthExtra[kDeflateLengthCodes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDeflateDistanceBase[kDeflateDistanceCodes] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537, 2049, 3073,
    4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDeflateDistanceExtra[kDeflateDistanceCodes] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kDeflateCodeLengthExtra[kDeflateCodeLengthCodes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which a dynamic header lists the code-length code's lengths.
constexpr uint8_t kDeflateCodeLengthOrder[kDeflateCodeLengthCodes] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

}  // namespace codecs
