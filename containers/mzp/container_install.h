#pragma once
// Plugs the MZP archive (with its MARFS volume) and the XDI image into format
// detection, the file-system probe, the document open and the sector I/O.
// Each installed service passes what it does not handle to the service that
// was installed before it, so other readers may install theirs in any order.

#include <cstdint>
#include <string_view>

#include "containers/mzp/mzp_writer.h"
#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
}

namespace containers {

void InstallMzpXdiServices();
void UninstallMzpXdiServices();

// Saves the document as an MZP archive (a MARFS volume inside) at path; each
// output file comes from opener. 1 saved, 0 cancelled, -1 failed (the user has
// been told why; OperationStatus holds the reason).
int SaveMzpArchive(image::ImageContext& ctx, std::u16string_view path, VolumeOpener opener,
                   foundation::ProgressCallbacks* progress);

}  // namespace containers
