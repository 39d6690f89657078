#pragma once
// The file-system probes that format detection asks, in its fixed order,
// before it settles for ISO 9660. Each belongs to its file system's reader;
// until a reader is linked in, its probe answers "not present" here, so an
// image holding that file system opens through its ISO 9660 side or not at all.

#include <cstdint>

namespace image {
struct ImageContext;
}

namespace image {

// UDF volume of the session starting at sessionStart; true when mounted (the
// document's UDF-present flag is set and its tree read).
bool MountUdf(image::ImageContext& ctx, int32_t sessionStart);
// 1 when sector 32 carries the Xbox identifier and a root, else 0.
int DetectXboxDisc(image::ImageContext& ctx);
// HFS+ (or HFSX) with the given sector scale; 1 mounted, 0 not HFS+.
int MountHfsPlus(image::ImageContext& ctx, int scale);
// Classic HFS; 1 mounted, 0 not HFS.
int MountHfs(image::ImageContext& ctx);
// 1 when sector 0 carries the Wii magic, else 0.
int DetectWiiDisc(image::ImageContext& ctx);
// MZP's MARFS volume; 1 found, 0 not.
int DetectMarfsVolume(image::ImageContext& ctx);

}  // namespace image
