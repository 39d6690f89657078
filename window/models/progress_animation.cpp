#include "window/models/progress_animation.h"

#include <cmath>

#include "foundation/byte_order.h"

namespace dialogs {

namespace {

struct Colour {
    uint8_t r, g, b;
};

// One pixel of frame `frame` at (x, y) inside its cell: a silver disc with a
// centre hole and a bright reflection that turns one step per frame. The
// background is the dialog's top gradient colour so the cell blends in.
Colour DiscPixel(int frame, int x, int y) {
    constexpr double kPi = 3.14159265358979323846;
    const double cx = (kAnimationFrameSide - 1) / 2.0;
    const double dx = x - cx;
    const double dy = y - cx;
    const double r = std::sqrt(dx * dx + dy * dy);
    const Colour background{252, 252, 254};
    if (r > 14.5) return background;
    if (r < 3.0) return background;
    if (r > 13.5 || r < 4.0) return Colour{120, 130, 150};   // rims
    if (r < 6.0) return Colour{200, 205, 215};               // clamping ring
    double angle = std::atan2(dy, dx) - 2.0 * kPi * frame / kAnimationFrames;
    angle = std::fmod(angle + 4.0 * kPi, 2.0 * kPi);
    // Two opposite reflections, as light falls on a disc.
    const double glow = std::pow(std::fabs(std::cos(angle)), 6.0);
    const double base = 170.0 + 40.0 * (r / 14.0);
    const auto mix = [&](double tint) { return static_cast<uint8_t>(std::fmin(255.0, base * (1 - glow) + tint * glow)); };
    return Colour{mix(235), mix(245), mix(255)};
}

}  // namespace

std::vector<uint8_t> MakeAnimationStrip() {
    const int width = kAnimationFrames * kAnimationFrameSide;
    const int height = kAnimationFrameSide;
    const uint32_t stride = ((uint32_t(width) * 24 + 31) / 32) * 4;
    const uint32_t pixelOffset = 54;
    const uint32_t size = pixelOffset + stride * uint32_t(height);
    std::vector<uint8_t> out(size, 0);
    out[0] = 'B';
    out[1] = 'M';
    foundation::WriteLE32(&out[2], size);
    foundation::WriteLE32(&out[10], pixelOffset);
    foundation::WriteLE32(&out[14], 40);
    foundation::WriteLE32(&out[18], uint32_t(width));
    foundation::WriteLE32(&out[22], uint32_t(height));
    foundation::WriteLE16(&out[26], 1);
    foundation::WriteLE16(&out[28], 24);
    foundation::WriteLE32(&out[34], stride * uint32_t(height));
    for (int y = 0; y < height; ++y) {
        const size_t row = pixelOffset + size_t(height - 1 - y) * stride;   // bottom-up rows
        for (int x = 0; x < width; ++x) {
            const Colour c = DiscPixel(x / kAnimationFrameSide, x % kAnimationFrameSide, y);
            out[row + size_t(x) * 3] = c.b;
            out[row + size_t(x) * 3 + 1] = c.g;
            out[row + size_t(x) * 3 + 2] = c.r;
        }
    }
    return out;
}

FrameCell AnimationFrameCell(int frame, int stripWidth) {
    if (frame < 0 || frame >= kAnimationFrames || stripWidth < kAnimationFrames) return {};
    const int cell = stripWidth / kAnimationFrames;
    return FrameCell{frame * cell, cell};
}

bool ProgressAnimation::Load(const std::vector<uint8_t>& strip) {
    loaded_ = ParseBmp(strip, strip_);
    frame_ = -1;
    return loaded_;
}

bool ProgressAnimation::Step(bool held) {
    if (held) {
        // A failed strip must not skew the time left: the sample is dropped anyway.
        if (frame_ < 0) frame_ = 0;
        return true;
    }
    frame_ = (frame_ + 1) % kAnimationFrames;
    return false;
}

}  // namespace dialogs
