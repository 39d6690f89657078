#include "image/detect/format_detect_services.h"

#include "image/sheets/nrg_reader.h"
#include "image/vcd/video_cd.h"

namespace image {

int FormatDetectStandIn::OpenNrgImage(ImageContext& ctx) { return OpenNrgImageReader(ctx); }
int FormatDetectStandIn::DetectVideoCd(ImageContext& ctx) { return DetectVideoCdLayout(ctx); }

}  // namespace image
