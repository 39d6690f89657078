#include "filesystems/console_discs/console_discs.h"

namespace filesystems {

int DetectXboxDisc(image::ImageContext&) { return 0; }
int ReadXboxTree(image::ImageContext&) { return -1; }
int DetectWiiDisc(image::ImageContext&) { return 0; }

}  // namespace filesystems
