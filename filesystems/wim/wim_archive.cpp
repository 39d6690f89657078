#include "filesystems/wim/wim_archive.h"

#include "image/document/document.h"

namespace filesystems {

image::ImageContext* OpenWimArchive(std::u16string_view, foundation::FileHandle, int* code) {
    if (code) *code = image::open_result::kNotRecognised;
    return nullptr;
}

}  // namespace filesystems
