#pragma once
// The BMP file images the progress animation is drawn from, parsed without a
// window system into a plain record the window side turns into a picture.
// Only uncompressed images with a 40-byte header are taken; every size and
// offset of the file is checked against the bytes actually given before
// anything is allocated or copied.

#include <cstdint>
#include <span>
#include <vector>

namespace dialogs {

struct BmpImage {
    int32_t width = 0;
    int32_t height = 0;                 // rows, top to bottom in the record
    uint16_t bitsPerPixel = 0;
    std::vector<uint32_t> palette;      // 0x00RRGGBB, images of 8 bits or fewer
    std::vector<uint8_t> indices;       // width x height palette indices (paletted images)
    std::vector<uint32_t> pixels;       // width x height 0x00RRGGBB, always filled
    bool Paletted() const { return !palette.empty(); }
};

// Limits of what the animation needs; larger images are refused.
inline constexpr int32_t kBmpMaxSide = 32768;
inline constexpr uint64_t kBmpMaxPixels = uint64_t(1) << 26;

// False for anything but an uncompressed "BM" image with a 40-byte header,
// 1 plane, 1/4/8/16/24/32 bits, sizes within limits, a colour table that
// ends before the pixels, and pixel rows that the file holds completely.
bool ParseBmp(std::span<const uint8_t> file, BmpImage& out);

}  // namespace dialogs
