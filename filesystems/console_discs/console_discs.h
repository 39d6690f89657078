#pragma once
// Game-console disc layouts: Xbox (XDVDFS) and Wii.

#include "image/document/image_context.h"

namespace filesystems {

// 1 when sector 32 carries the Xbox identifier and a root, else 0.
int DetectXboxDisc(image::ImageContext& ctx);
// 0 success, anything else failure.
int ReadXboxTree(image::ImageContext& ctx);
// 1 when sector 0 carries the Wii magic, else 0.
int DetectWiiDisc(image::ImageContext& ctx);

}  // namespace filesystems
