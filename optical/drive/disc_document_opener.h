#pragma once
// Opens the disc in a drive as a document when the user names the drive's
// device path: the layout comes from the drive, the sectors are read from it.

#include "app/disc_opener_services.h"

namespace optical {

class DiscDocumentOpener final : public app::IDiscOpenerServices {
public:
    bool OpenDisc(std::u16string_view path, bool buildTree, image::ImageContext** doc, int* code) override;
};

}  // namespace optical
