#pragma once
// Game-console disc layouts: Xbox (XDVDFS) and Wii.

#include "image/document/image_context.h"

namespace filesystems {

// 1 when sector 32 carries both copies of the Xbox identifier and a root
// directory (sector and size, kept in ctx once the first copy matches), else 0.
int DetectXboxDisc(image::ImageContext& ctx);
// Reads the Xbox directory tree from ctx's root directory into its root
// folder: 0 success, -1 failure (what was read stays).
int ReadXboxTree(image::ImageContext& ctx);
// 1 when sector 0 carries the Wii magic (the region text and the title as
// volume label are set), else 0.
int DetectWiiDisc(image::ImageContext& ctx);

}  // namespace filesystems
