#pragma once
// The one entry by which a file on disk becomes an open document, whatever it
// holds: a disc image with or without its CUE/MDS sheet, a partitioned disk
// image, a WIM file or an archive. It picks the opener in a fixed order,
// reports failures in the user's words, keeps the recent-file list in step and
// sets OperationStatus.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/file_io.h"
#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace app {

// Kinds of ResolveOpenPaths.
enum : int32_t { kOpenNamedSheet = 1, kOpenNamedImage = 2 };

// The openers that are not the image core, in the order the dispatcher tries
// them. Each gets the path, an open reading handle and the result code to set.
// An opener owns the handle only when it succeeds; on failure the dispatcher
// closes it. Until the file-system and archive readers are linked in, the
// stand-in answers "not recognised" (code 8).
class IOtherOpenerServices {
public:
    virtual ~IOtherOpenerServices() = default;
    virtual image::ImageContext* OpenDiskImage(std::u16string_view path, foundation::FileHandle file, int* code) = 0;
    virtual image::ImageContext* OpenWimArchive(std::u16string_view path, foundation::FileHandle file, int* code) = 0;
    // The archive library opens the file itself by path.
    virtual image::ImageContext* OpenArchiveAsImage(std::u16string_view path, bool forMount, int reserved,
                                                    int* code) = 0;
    // Video CD and Super Video CD documents get their MPEG tracks attached.
    virtual void AttachVideoCdTracks(image::ImageContext& ctx) = 0;
};

// No other reader yet: nothing but the image core's own Video CD tracks.
class OtherOpenerStandIn : public IOtherOpenerServices {
public:
    image::ImageContext* OpenDiskImage(std::u16string_view, foundation::FileHandle, int* code) override;
    image::ImageContext* OpenWimArchive(std::u16string_view, foundation::FileHandle, int* code) override;
    image::ImageContext* OpenArchiveAsImage(std::u16string_view, bool, int, int* code) override;
    void AttachVideoCdTracks(image::ImageContext& ctx) override;
};

inline foundation::ServiceSlot<IOtherOpenerServices, OtherOpenerStandIn>& OtherOpenerServicesSlot() {
    static foundation::ServiceSlot<IOtherOpenerServices, OtherOpenerStandIn> slot;
    return slot;
}
inline IOtherOpenerServices& OtherOpenerServices() { return OtherOpenerServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IOtherOpenerServices* SetOtherOpenerServices(IOtherOpenerServices* services) {
    return OtherOpenerServicesSlot().Install(services);
}

// The document for the file, owned by the caller (FreeImageDocument), or null
// with OperationStatus 2.
image::ImageContext* OpenImageByPath(std::u16string_view path, bool addToRecent, bool interactive, bool forMount);

// Resolves the named file into the data file and its sheet (see kinds above).
// False when the file cannot be read (the user has been told) or a later
// volume's first volume is missing.
bool ResolveOpenPaths(std::u16string_view path, std::u16string& imagePath, std::u16string& sheetPath, int32_t& kind);

// A failure about one file: "path: text" on the console; otherwise a stop box
// and the file leaves the recent-file list. Null text: the last error's text.
void ShowFileErrorMessage(std::u16string_view path, const std::u16string* text);
// The message of an opener's result code (codes of image/document/document.h).
void ReportOpenFailure(std::u16string_view path, int code);

}  // namespace app
