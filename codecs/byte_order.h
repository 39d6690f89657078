#pragma once
// Little- and big-endian integer loads and stores: the one copy for every
// layer from the codecs up (foundation/byte_order.h hands the same routines on,
// with the on-disc field helpers). They take raw pointers because kernels and
// writers work on buffers they sized themselves; readers of a file's bytes go
// through foundation::ByteCursor, which checks every access.
//
// Written byte by byte so they hold on any host and in constant expressions;
// g++ at -O2 turns each into one load or store (with a bswap for big-endian).

#include <cstdint>

namespace codecs {

constexpr uint8_t ReadU8(const uint8_t* p) { return p[0]; }
constexpr uint16_t ReadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
constexpr uint16_t ReadBE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
constexpr uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
constexpr uint32_t ReadBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
constexpr uint64_t ReadLE64(const uint8_t* p) {
    return static_cast<uint64_t>(ReadLE32(p)) | (static_cast<uint64_t>(ReadLE32(p + 4)) << 32);
}
constexpr uint64_t ReadBE64(const uint8_t* p) {
    return (static_cast<uint64_t>(ReadBE32(p)) << 32) | static_cast<uint64_t>(ReadBE32(p + 4));
}

constexpr void WriteLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr void WriteBE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
constexpr void WriteLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
constexpr void WriteBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
constexpr void WriteLE64(uint8_t* p, uint64_t v) {
    WriteLE32(p, static_cast<uint32_t>(v));
    WriteLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
constexpr void WriteBE64(uint8_t* p, uint64_t v) {
    WriteBE32(p, static_cast<uint32_t>(v >> 32));
    WriteBE32(p + 4, static_cast<uint32_t>(v));
}

}  // namespace codecs
