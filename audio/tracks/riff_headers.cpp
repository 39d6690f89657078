#include "audio/tracks/riff_headers.h"

#include <cstring>

#include "foundation/byte_order.h"
#include "platform/last_error.h"

namespace audio {
namespace {

constexpr uint64_t kSectorBytes = 2352;

// The parts both headers share: RIFF size, form type, "fmt " of 16 bytes, "data" size.
bool FillCommon(uint64_t sectors, const char* form, RiffHeader& h) {
    if (sectors > kRiffMaxDataBytes / kSectorBytes) return false;
    const uint64_t data = sectors * kSectorBytes;
    h.fill(0);
    std::memcpy(h.data(), "RIFF", 4);
    foundation::WriteLE32(h.data() + 4, uint32_t(data + 36));
    std::memcpy(h.data() + 8, form, 4);
    std::memcpy(h.data() + 12, "fmt ", 4);
    foundation::WriteLE32(h.data() + 16, 16);
    std::memcpy(h.data() + 36, "data", 4);
    foundation::WriteLE32(h.data() + 40, uint32_t(data));
    return true;
}

}  // namespace

bool BuildWavHeader(uint64_t sectors, RiffHeader& h) {
    if (!FillCommon(sectors, "WAVE", h)) return false;
    foundation::WriteLE16(h.data() + 20, 1);        // PCM
    foundation::WriteLE16(h.data() + 22, 2);        // channels
    foundation::WriteLE32(h.data() + 24, 44100);
    foundation::WriteLE32(h.data() + 28, 176400);   // bytes per second
    foundation::WriteLE16(h.data() + 32, 4);        // block align
    foundation::WriteLE16(h.data() + 34, 16);       // bits per sample
    return true;
}

bool BuildCdxaHeader(uint64_t sectors, uint8_t trackNumber, RiffHeader& h) {
    if (!FillCommon(sectors, "CDXA", h)) return false;
    // Bytes 20..23: user and group id 0; then the attributes and the "XA" mark.
    h[24] = 0x15;
    h[25] = 0x55;
    h[26] = 'X';
    h[27] = 'A';
    h[28] = trackNumber;
    return true;
}

int WriteWavHeader(platform::FileHandle file, uint64_t sectors) {
    RiffHeader h;
    if (!BuildWavHeader(sectors, h)) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return -1;
    }
    return platform::FileWriteAt(file, platform::kCurrentPosition, h.data(), h.size()) == int64_t(h.size()) ? 0 : -1;
}

}  // namespace audio
