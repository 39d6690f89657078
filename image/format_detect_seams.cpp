// Stand-ins for readers that are not linked in yet: each answers "not this
// format" without reading.

#include "image/format_detect_seams.h"

namespace image {

int OpenNrgImage(ImageContext&) { return -1; }
int OpenDmgImage(ImageContext&) { return -1; }
int OpenUifImage(ImageContext&) { return -1; }
int OpenIszImage(ImageContext&) { return -1; }
bool HasDaaSfxTrailer(ImageContext&) { return false; }
int AttachDaaContainer(ImageContext&) { return -1; }
int AttachMzpContainer(ImageContext&) { return -1; }
int AttachXdiContainer(ImageContext&) { return -1; }
int DetectVideoCd(ImageContext&) { return 0; }

}  // namespace image
