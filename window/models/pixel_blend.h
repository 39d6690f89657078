#pragma once
// The per-pixel routines of the button and bar drawing: a BGRA source laid
// over a target by its own alpha, and the grey look of a disabled icon.
// Pixels are 32-bit words 0xAARRGGBB (the byte order B, G, R, A in memory).

#include <cstdint>
#include <span>

namespace dialogs {

// Each channel becomes source × alpha / 255 + target × (255 − alpha) / 255,
// in integers; the result is opaque.
uint32_t BlendPixel(uint32_t source, uint32_t target);
// The same over a whole row or image; sizes must match (the shorter rules).
void BlendPixels(std::span<const uint32_t> source, std::span<uint32_t> target);

// The disabled-icon look: c = 255 − (B + G + R) / 3 (0 counts as 1); the
// pixel becomes alpha << 24 with grey level 255 − c, unless it was fully
// transparent white-on-nothing (alpha 0 and c = 255), which stays.
uint32_t GreyIconPixel(uint32_t pixel);

}  // namespace dialogs
