#pragma once
// Conversions between program text (UTF-16) and the multibyte code pages that
// image data uses (the ANSI code page for ISO 9660 names, volume texts, CUE
// lines and CD-TEXT; any code page number iconv knows). Used on worker threads
// as well (extraction, archive listing, the layout), so nothing here is shared
// between threads: results are built per call, and the scratch buffer is one
// per thread.
//
// A character the code page cannot hold becomes the default character ('?'),
// and a byte with no character becomes U+FFFD: a conversion never gives an
// empty text for a non-empty one. A code page iconv does not know keeps ASCII
// and turns everything else into the default character.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace image {

// The scratch block: 256 KB plus a terminator.
constexpr size_t kScratchBufferBytes = 0x40002;
// In-place conversions (source equal to destination) give at most this much.
constexpr int32_t kScratchMultiByteBytes = 0x40000;
constexpr int32_t kScratchWideChars = 0x20000;
// The code page argument 0 means the ANSI code page in force.
constexpr uint32_t kAnsiCodePage = 0;
constexpr char kDefaultMultiByteChar = '?';

// Allocates the calling thread's scratch block (once; it lives as long as the
// thread). 1, or 0 when out of memory.
int AllocScratchBuffer();
// The calling thread's scratch block; empty until AllocScratchBuffer succeeded.
std::span<uint8_t> ScratchBuffer();

// Converts length UTF-16 units (-1: up to the terminator, and the output is then
// terminated) into destination, at most destinationSize bytes with the
// terminator, never cutting a character. Returns the bytes written without the
// terminator. A null destination or size 0 returns the bytes the whole
// conversion needs. text may be destination itself (the text is then read
// through the scratch block).
int32_t WideToMultiByte(const char16_t* text, int32_t length, char* destination, uint32_t codePage,
                        int32_t destinationSize);
// The other way: destinationBytes is the size of destination in bytes.
// Returns the UTF-16 units written without the terminator; never cuts a
// surrogate pair.
int32_t MultiByteToWide(const char* text, int32_t length, char16_t* destination, uint32_t codePage,
                        int32_t destinationBytes);
// Exchanges the two bytes of every 16-bit unit (an odd last byte is copied as
// is). destination may equal source, or overlap it.
void SwapBytes16Copy(void* destination, const void* source, size_t byteLength);

// The whole conversions as strings.
std::string WideToMultiByteText(std::u16string_view text, uint32_t codePage);
std::u16string MultiByteToWideText(std::string_view text, uint32_t codePage);

}  // namespace image
