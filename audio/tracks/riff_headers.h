#pragma once
// The two RIFF headers the program writes: the 44-byte WAVE header in front of
// CD audio (44,100 Hz, 2 channels, 16 bits) and the CDXA header in front of the
// raw 2352-byte sectors of an extracted Video CD track. Both hold 32-bit sizes:
// a count whose sizes do not fit is refused before anything is written.

#include <array>
#include <cstdint>

#include "platform/file.h"

namespace audio {

constexpr size_t kRiffHeaderBytes = 44;
using RiffHeader = std::array<uint8_t, kRiffHeaderBytes>;

// The most bytes of data a RIFF file can describe (its size field holds data + 36).
constexpr uint64_t kRiffMaxDataBytes = 0xFFFFFFFFull - 36;

// False when sectors x 2352 + 36 does not fit in 32 bits.
bool BuildWavHeader(uint64_t sectors, RiffHeader& header);
bool BuildCdxaHeader(uint64_t sectors, uint8_t trackNumber, RiffHeader& header);

// Writes the WAVE header at the file's current position: 0 written, -1 a
// short or failed write, or a count the header cannot hold (last error
// kErrorInvalidParameter; nothing written).
int WriteWavHeader(platform::FileHandle file, uint64_t sectors);

}  // namespace audio
