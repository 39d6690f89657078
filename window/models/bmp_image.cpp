#include "window/models/bmp_image.h"

#include <cstdlib>

#include "foundation/byte_cursor.h"

namespace dialogs {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }

}  // namespace

bool ParseBmp(std::span<const uint8_t> file, BmpImage& out) {
    out = BmpImage{};
    foundation::ByteCursor bytes(file);
    if (!bytes.Has(0, kFileHeaderBytes + kInfoHeaderBytes)) return false;
    if (bytes.U8(0) != 'B' || bytes.U8(1) != 'M') return false;
    const uint64_t fileSize = bytes.Le32(2);
    const uint64_t pixelOffset = bytes.Le32(10);
    if (fileSize > file.size()) return false;
    if (pixelOffset < kFileHeaderBytes + kInfoHeaderBytes || pixelOffset > fileSize) return false;

    if (bytes.Le32(14) != kInfoHeaderBytes) return false;
    const int32_t width = static_cast<int32_t>(bytes.Le32(18));
    const int32_t rawHeight = static_cast<int32_t>(bytes.Le32(22));
    const uint16_t planes = bytes.Le16(26);
    const uint16_t bits = bytes.Le16(28);
    const uint32_t compression = bytes.Le32(30);
    const uint32_t coloursUsed = bytes.Le32(46);
    if (planes != 1 || compression != 0) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (width < 1 || width > kBmpMaxSide) return false;
    if (rawHeight == 0 || rawHeight < -kBmpMaxSide || rawHeight > kBmpMaxSide) return false;
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;
    if (uint64_t(width) * uint64_t(height) > kBmpMaxPixels) return false;

    uint64_t colours = 0;
    if (bits <= 8) {
        const uint64_t most = uint64_t(1) << bits;
        colours = coloursUsed == 0 ? most : coloursUsed;
        if (colours > most) return false;
    }
    const uint64_t tableStart = kFileHeaderBytes + kInfoHeaderBytes;
    if (tableStart + colours * 4 > pixelOffset) return false;

    const uint64_t stride = ((uint64_t(width) * bits + 31) / 32) * 4;
    const uint64_t pixelBytes = stride * uint64_t(height);
    if (pixelBytes > fileSize - pixelOffset) return false;

    out.width = width;
    out.height = height;
    out.bitsPerPixel = bits;
    out.palette.reserve(colours);
    for (uint64_t i = 0; i < colours; ++i) {
        const uint64_t at = tableStart + i * 4;
        out.palette.push_back(Rgb(bytes.U8(at + 2), bytes.U8(at + 1), bytes.U8(at)));
    }
    const size_t count = size_t(width) * size_t(height);
    out.pixels.resize(count);
    if (bits <= 8) out.indices.resize(count);

    for (int32_t row = 0; row < height; ++row) {
        // Stored rows run bottom to top unless the height is negative.
        const int32_t fileRow = topDown ? row : height - 1 - row;
        const uint64_t rowStart = pixelOffset + uint64_t(fileRow) * stride;
        for (int32_t x = 0; x < width; ++x) {
            const size_t at = size_t(row) * size_t(width) + size_t(x);
            uint32_t colour = 0;
            if (bits <= 8) {
                const uint64_t bitPos = uint64_t(x) * bits;
                const uint8_t byte = bytes.U8(rowStart + bitPos / 8);
                const unsigned shift = 8 - bits - unsigned(bitPos % 8);
                const uint8_t index = static_cast<uint8_t>((byte >> shift) & ((1u << bits) - 1));
                if (index >= out.palette.size()) {
                    out = BmpImage{};
                    return false;
                }
                out.indices[at] = index;
                colour = out.palette[index];
            } else if (bits == 16) {
                const uint16_t v = bytes.Le16(rowStart + uint64_t(x) * 2);
                const auto scale = [](unsigned five) { return static_cast<uint8_t>((five << 3) | (five >> 2)); };
                colour = Rgb(scale((v >> 10) & 31), scale((v >> 5) & 31), scale(v & 31));
            } else {
                const uint64_t p = rowStart + uint64_t(x) * (bits / 8);
                colour = Rgb(bytes.U8(p + 2), bytes.U8(p + 1), bytes.U8(p));
            }
            out.pixels[at] = colour;
        }
    }
    if (!bytes.Ok()) {
        out = BmpImage{};
        return false;
    }
    return true;
}

}  // namespace dialogs
