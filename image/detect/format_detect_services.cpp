// The readers format detection reaches. Those not linked in yet have a
// stand-in that answers "not this format" without reading.

#include "image/detect/format_detect_services.h"

#include "image/sheets/nrg_reader.h"
#include "image/vcd/video_cd.h"

namespace image {

int OpenNrgImage(ImageContext& ctx) { return OpenNrgImageReader(ctx); }
int OpenDmgImage(ImageContext&) { return -1; }
int OpenUifImage(ImageContext&) { return -1; }
int OpenIszImage(ImageContext&) { return -1; }
bool HasDaaSfxTrailer(ImageContext&) { return false; }
int AttachDaaContainer(ImageContext&) { return -1; }
int AttachMzpContainer(ImageContext&) { return -1; }
int AttachXdiContainer(ImageContext&) { return -1; }
int DetectVideoCd(ImageContext& ctx) { return DetectVideoCdLayout(ctx); }

}  // namespace image
