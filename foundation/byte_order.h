#pragma once
// Field encoders and decoders for on-disc structures: little-endian and
// big-endian (the codecs' routines, handed on here so the codecs need no copy
// of their own) and the ISO 9660 both-byte-order fields (ECMA-119 7.2.3 and
// 7.3.3: the little-endian copy first, then the big-endian copy).
//
// These take a raw byte pointer because writers fill fields at fixed offsets of
// a buffer they sized themselves. Readers of data from a file go through
// ByteCursor (byte_cursor.h), which checks every access against its span.

#include <cstddef>
#include <cstdint>

#include "codecs/byte_order.h"

namespace foundation {

using codecs::ReadBE16;
using codecs::ReadBE32;
using codecs::ReadBE64;
using codecs::ReadLE16;
using codecs::ReadLE32;
using codecs::ReadLE64;
using codecs::ReadU8;
using codecs::WriteBE16;
using codecs::WriteBE32;
using codecs::WriteBE64;
using codecs::WriteLE16;
using codecs::WriteLE32;
using codecs::WriteLE64;

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
