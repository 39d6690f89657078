#include "window/models/iso_dates.h"

#include "window/models/iso_settings.h"
#include "image/build/add_disk_files.h"
#include "image/document/image_context.h"

namespace dialogs {

IsoDateSettings GetIsoDateSettings(const image::ImageContext& ctx) {
    IsoDateSettings s;
    s.creation = ctx.creationTime;
    s.modification = ctx.modificationTime;
    s.effective = ctx.effectiveTime;
    s.expiration = ctx.expirationTime;
    s.creationOn = ctx.creationTime != 0;
    s.modificationOn = ctx.modificationTime != 0;
    s.effectiveOn = ctx.effectiveTime != 0;
    s.expirationOn = ctx.expirationTime != 0;
    return s;
}

bool SetIsoDateSettings(image::ImageContext& ctx, const IsoDateSettings& s) {
    bool itemsChanged = false;
    if (s.fileDates != FileDates::KeepCurrent && ctx.rootFolder) {
        const int64_t time = s.fileDates == FileDates::FromOriginal ? 0 : s.fileTime;
        if (image::SetFolderTime(&ctx, ctx.rootFolder, time, true) == 1) {
            MarkDocumentModified(ctx, 2);
            itemsChanged = true;
        }
    }
    auto store = [&ctx](int64_t& field, int64_t value) {
        if (field == value) return;
        field = value;
        MarkDocumentModified(ctx, 2);
    };
    if (s.creationOn) store(ctx.creationTime, s.creation);
    if (s.modificationOn) store(ctx.modificationTime, s.modification);
    store(ctx.effectiveTime, s.effectiveOn ? s.effective : 0);
    store(ctx.expirationTime, s.expirationOn ? s.expiration : 0);
    return itemsChanged;
}

}  // namespace dialogs
