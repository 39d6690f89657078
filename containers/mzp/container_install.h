#pragma once
// The MZP archive (with its MARFS volume) and the XDI image as the document
// open attaches them, and the MZP save. The container readers hand these to
// the image core together with every other container
// (containers/container_readers.h).

#include <cstdint>
#include <string_view>

#include "containers/mzp/mzp_writer.h"
#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
}

namespace containers {

// Attaches the container as the document's reader and probes the file system
// inside it (a container refused for its password or version stays attached
// unprobed): 0 attached, -1 not that container.
int AttachMzpDocument(image::ImageContext& ctx);
int AttachXdiDocument(image::ImageContext& ctx);

// Saves the document as an MZP archive (a MARFS volume inside) at path; each
// output file comes from opener. 1 saved, 0 cancelled, -1 failed (the user has
// been told why; OperationStatus holds the reason).
int SaveMzpArchive(image::ImageContext& ctx, std::u16string_view path, VolumeOpener opener,
                   foundation::ProgressCallbacks* progress);

}  // namespace containers
