#include "window/models/bar_image_rules.h"

#include <array>
#include <cmath>

namespace app::ui {

namespace {

uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFFu; }

uint32_t RoundByte(double value) {
    const double rounded = std::floor(value + 0.5);
    return rounded <= 0 ? 0u : rounded >= 255 ? 255u : static_cast<uint32_t>(rounded);
}

// The power curve for every byte, once: a bar's images are made at start-up.
const std::array<uint8_t, 256>& HotTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> made{};
        for (int c = 0; c < 256; ++c) made[static_cast<size_t>(c)] = static_cast<uint8_t>(RoundByte(255.0 * std::pow(c / 255.0, 1.4)));
        return made;
    }();
    return table;
}

}  // namespace

uint32_t HotPixel(uint32_t argb) {
    const auto& table = HotTable();
    return (argb & 0xFF000000u) | (uint32_t{table[Channel(argb, 16)]} << 16) | (uint32_t{table[Channel(argb, 8)]} << 8) |
           table[Channel(argb, 0)];
}

uint32_t DisabledPixel(uint32_t argb) {
    const double luminance = 0.299 * Channel(argb, 16) + 0.587 * Channel(argb, 8) + 0.114 * Channel(argb, 0);
    const uint32_t v = RoundByte(255.0 * std::sqrt(luminance / 255.0));
    return (argb & 0xFF000000u) | (v << 16) | (v << 8) | v;
}

void MakeHotImage(std::span<uint32_t> pixels) {
    for (uint32_t& pixel : pixels) pixel = HotPixel(pixel);
}

void MakeDisabledImage(std::span<uint32_t> pixels) {
    for (uint32_t& pixel : pixels) pixel = DisabledPixel(pixel);
}

}  // namespace app::ui
