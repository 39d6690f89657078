#include "filesystems/udf/udf_volume.h"

namespace filesystems {

bool MountUdf(image::ImageContext&, int32_t) { return false; }

}  // namespace filesystems
