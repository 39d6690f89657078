#pragma once
// Reads of a document without questions for the time of a scope: readers that
// only look for a layout (boot catalogue, Video CD marks) must not stop an open
// with a prompt when the bytes they look at are damaged or missing.

#include "image/document/image_context.h"

namespace image {

class QuietReadScope {
public:
    explicit QuietReadScope(ImageContext& ctx) : ctx_(ctx), saved_(ctx.quietReads) { ctx.quietReads = true; }
    ~QuietReadScope() { ctx_.quietReads = saved_; }
    QuietReadScope(const QuietReadScope&) = delete;
    QuietReadScope& operator=(const QuietReadScope&) = delete;

private:
    ImageContext& ctx_;
    bool saved_;
};

}  // namespace image
