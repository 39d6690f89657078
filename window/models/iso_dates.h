#pragma once
// The ISO Date/Time choices of a document as one value record: the four volume
// dates (creation, modification, effective, expiration), each on or off, and
// what happens to the dates of every file and folder (kept, taken from the
// original files, or one date for all). Stored back into the fields the image
// build reads.

#include <cstdint>

namespace image {
struct ImageContext;
}

namespace dialogs {

enum class FileDates { KeepCurrent, FromOriginal, SetTo };

struct IsoDateSettings {
    bool creationOn = false;
    bool modificationOn = false;
    bool effectiveOn = false;
    bool expirationOn = false;
    int64_t creation = 0;        // seconds since 1970, 0 none
    int64_t modification = 0;
    int64_t effective = 0;
    int64_t expiration = 0;
    FileDates fileDates = FileDates::KeepCurrent;
    int64_t fileTime = 0;        // with SetTo
};

IsoDateSettings GetIsoDateSettings(const image::ImageContext& ctx);
// Unchecked creation and modification dates stay as they were; unchecked
// effective and expiration dates are cleared. Every change marks the document
// for a full rewrite. True when the items' dates changed (the file list shows
// them anew).
bool SetIsoDateSettings(image::ImageContext& ctx, const IsoDateSettings& settings);

}  // namespace dialogs
