#pragma once
// Field encoders and decoders for on-disc structures: little-endian, big-endian
// and the ISO 9660 both-byte-order fields (ECMA-119 7.2.3 and 7.3.3: the
// little-endian copy first, then the big-endian copy).
//
// These take a raw byte pointer because writers fill fields at fixed offsets of
// a buffer they sized themselves. Readers of data from a file go through
// ByteCursor (byte_cursor.h), which checks every access against its span.

#include <cstddef>
#include <cstdint>

namespace foundation {

inline void WriteLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteBE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void WriteLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void WriteBE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline void WriteLE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void WriteBE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (7 - i)));
}
// 4 bytes: low, high, high, low.
inline void WriteBothEndian16(uint8_t* p, uint16_t v) {
    WriteLE16(p, v);
    WriteBE16(p + 2, v);
}
// 8 bytes: little-endian then big-endian.
inline void WriteBothEndian32(uint8_t* p, uint32_t v) {
    WriteLE32(p, v);
    WriteBE32(p + 4, v);
}

inline uint8_t ReadU8(const uint8_t* p) { return p[0]; }
inline uint16_t ReadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint16_t ReadBE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t ReadBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t ReadLE64(const uint8_t* p) {
    return static_cast<uint64_t>(ReadLE32(p)) | (static_cast<uint64_t>(ReadLE32(p + 4)) << 32);
}
inline uint64_t ReadBE64(const uint8_t* p) {
    return (static_cast<uint64_t>(ReadBE32(p)) << 32) | static_cast<uint64_t>(ReadBE32(p + 4));
}
// Both-byte-order fields are read through their little-endian half: producers
// that get the big-endian half wrong are common, the little-endian half is what
// every reader in the field trusts.
inline uint16_t ReadBothEndian16(const uint8_t* p) { return ReadLE16(p); }
inline uint32_t ReadBothEndian32(const uint8_t* p) { return ReadLE32(p); }

// Copies at most fieldSize bytes of a narrow string (without its terminator)
// into a fixed-width field and returns the count copied. The rest of the field
// is left as it was (callers pre-fill it with blanks or zeros as the format
// wants). A null text copies nothing.
size_t CopyTextField(uint8_t* field, size_t fieldSize, const char* text);

}  // namespace foundation
