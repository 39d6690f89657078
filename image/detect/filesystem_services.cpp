// Stand-ins for file-system probes whose readers are not linked in yet. Each
// answers "not present" without reading; a reader that lands removes its
// stand-in from this file.

#include "image/detect/filesystem_services.h"

namespace image {

bool MountUdf(image::ImageContext&, int32_t) { return false; }
int DetectXboxDisc(image::ImageContext&) { return 0; }
int MountHfsPlus(image::ImageContext&, int) { return 0; }
int MountHfs(image::ImageContext&) { return 0; }
int DetectWiiDisc(image::ImageContext&) { return 0; }
int DetectMarfsVolume(image::ImageContext&) { return 0; }

}  // namespace image
