#pragma once
// Reads of a document without questions for the time of a scope: readers that
// only look for a layout (boot catalogue, Video CD marks) must not stop an open
// with a prompt when the bytes they look at are damaged or missing.

#include <cstdint>

#include "image/document/image_context.h"

namespace image {

class QuietReadScope {
public:
    explicit QuietReadScope(ImageContext& ctx) : ctx_(ctx), saved_(ctx.quietReads) { ctx.quietReads = 1; }
    ~QuietReadScope() { ctx_.quietReads = saved_; }
    QuietReadScope(const QuietReadScope&) = delete;
    QuietReadScope& operator=(const QuietReadScope&) = delete;

private:
    ImageContext& ctx_;
    int32_t saved_;
};

}  // namespace image
