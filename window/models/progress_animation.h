#pragma once
// The progress dialog's animation, without a window system: the strip of
// frames (our own drawing of a turning disc, made here as a BMP file image so
// it takes the same road as any strip loaded from a file), the cell of each
// frame, and the step taken on every 100 ms tick.

#include <cstdint>
#include <vector>

#include "window/models/bmp_image.h"

namespace dialogs {

inline constexpr int kAnimationFrames = 31;
inline constexpr int kAnimationFrameSide = 32;
inline constexpr int kAnimationTickMs = 100;

// The built-in strip: kAnimationFrames square cells side by side, as a 24-bit
// BMP file image.
std::vector<uint8_t> MakeAnimationStrip();

struct FrameCell {
    int x = 0;
    int width = 0;
};
// Frame i of a strip of the given width: the i-th of kAnimationFrames equal
// cells; an empty cell for a frame out of range.
FrameCell AnimationFrameCell(int frame, int stripWidth);

class ProgressAnimation {
public:
    // Loads the strip; false (and no frames drawn) when it cannot be parsed.
    bool Load(const std::vector<uint8_t>& strip);
    // One tick. While the operation is held the animation stands still (on
    // frame 0 when it had not begun) and the estimate is told to drop its next
    // rate sample (the answer true), whether or not a strip could be loaded.
    bool Step(bool held);
    // -1 before the first tick.
    int Frame() const { return frame_; }
    const BmpImage& Strip() const { return strip_; }
    bool HasStrip() const { return loaded_; }

private:
    BmpImage strip_;
    bool loaded_ = false;
    int frame_ = -1;
};

}  // namespace dialogs
