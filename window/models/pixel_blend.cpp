#include "window/models/pixel_blend.h"

#include <algorithm>

namespace dialogs {

uint32_t BlendPixel(uint32_t source, uint32_t target) {
    const uint32_t alpha = source >> 24;
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t s = (source >> shift) & 0xFF;
        const uint32_t t = (target >> shift) & 0xFF;
        out |= (s * alpha / 255 + t * (255 - alpha) / 255) << shift;
    }
    return out;
}

void BlendPixels(std::span<const uint32_t> source, std::span<uint32_t> target) {
    const size_t n = std::min(source.size(), target.size());
    for (size_t i = 0; i < n; ++i) target[i] = BlendPixel(source[i], target[i]);
}

uint32_t GreyIconPixel(uint32_t pixel) {
    const uint32_t alpha = pixel >> 24;
    const uint32_t sum = (pixel & 0xFF) + ((pixel >> 8) & 0xFF) + ((pixel >> 16) & 0xFF);
    uint32_t c = 255 - sum / 3;
    if (c == 0) c = 1;
    if (alpha == 0 && c == 255) return pixel;
    // The grey table: entry c is the level 255 − c in all three channels.
    const uint32_t level = 255 - c;
    return (alpha << 24) | (level << 16) | (level << 8) | level;
}

}  // namespace dialogs
