#pragma once
// The FAT writer as the item tree and the add from disk reach it.

#include "image/document/fat_volume_services.h"

namespace filesystems {

image::IFatVolumeServices& FatVolumeWriterServices();

}  // namespace filesystems
