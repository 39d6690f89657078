#pragma once
// The tool bars' hot and disabled pictures, made from the normal one pixel by
// pixel: hot brightens nothing but deepens the colours (each channel raised
// to the power 1.4), disabled is a grey of the pixel's luminance lifted by a
// square root, so dark icons stay readable greyed. Alpha is kept. Pixels are
// 0xAARRGGBB, not premultiplied.

#include <cstdint>
#include <span>

namespace app::ui {

uint32_t HotPixel(uint32_t argb);
uint32_t DisabledPixel(uint32_t argb);

// Applies a rule to every pixel in place.
void MakeHotImage(std::span<uint32_t> pixels);
void MakeDisabledImage(std::span<uint32_t> pixels);

}  // namespace app::ui
