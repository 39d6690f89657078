#include "optical/drive/disc_document_opener.h"

#include "foundation/drive_device_services.h"
#include "foundation/drive_handles.h"
#include "image/document/document.h"
#include "optical/drive/disc_queries.h"

namespace optical {

bool DiscDocumentOpener::OpenDisc(std::u16string_view path, bool buildTree, image::ImageContext** doc, int* code) {
    *doc = nullptr;
    char16_t letter = 0;
    // The drive table holds the letters A to W.
    for (char16_t l = u'A'; l <= u'W' && letter == 0; ++l) {
        const std::u16string device = foundation::DriveDeviceServices().DevicePath(l);
        if (!device.empty() && device == path) letter = l;
    }
    if (letter == 0) return false;

    *code = image::open_result::kNotRecognised;
    platform::FileHandle handle = foundation::OpenDriveHandle(letter);
    if (!handle) return true;
    image::TrackListPtr layout = image::NewTrackList();
    if (!layout) {
        foundation::CloseDriveHandle(handle);
        *code = image::open_result::kOutOfMemory;
        return true;
    }
    // No disc, or nothing readable on it.
    if (!ReadDiscLayout(handle, *layout, letter) || layout->trackCount == 0) {
        foundation::CloseDriveHandle(handle);
        return true;
    }
    *doc = image::OpenDiscDocument(path, handle, letter, std::move(layout), buildTree, code);
    return true;
}

}  // namespace optical
