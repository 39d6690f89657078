#pragma once
// Writing an MZP archive from 2048-byte sectors: header, records and chunk
// table around the compressed chunks, optionally encrypted, self-extracting
// or split into volumes. Every option is checked when the writer is created,
// so a writer that starts always makes an archive the reader can read.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "containers/mzp/mzp_container.h"
#include "containers/volume_set_writer.h"
#include "image/sectors/container_services.h"

namespace containers {

struct MzpWriterOptions {
    uint32_t chunkSizeOverride = 0;   // bytes; 0 by level
    uint32_t lengthBitsOverride = 0;  // 0 derived
    int32_t typeBitsOverride = -1;    // -1: 1
    int32_t deflateVariant = 0;
};

// The writer options a save takes (the console may set them before a save).
MzpWriterOptions& MzpOptions();

// A writer for the document (level, password, comment, split and
// self-extracting settings from the document), attached to ctx.mzpWriter;
// false with the last error text set when an option cannot make a readable
// archive. firstPath is the path of the (first) output file.
bool CreateMzpWriter(image::ImageContext& ctx, std::u16string_view firstPath, VolumeOpener opener);

// The sector writer's family for MZP output.
image::IContainerWriterFamily& MzpWriterFamily();

// Names of the volumes the writer opened, in order (for tests and the caller).
std::vector<std::u16string> MzpWrittenVolumes(const image::ImageContext& ctx);

}  // namespace containers
