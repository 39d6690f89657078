#include "window/models/iso_settings.h"

#include <algorithm>

#include "image/document/image_context.h"
#include "image/iso/volume_texts.h"

namespace dialogs {

namespace {
// UDF names go up to 127 characters in the Joliet tree it carries beside.
constexpr int32_t kUdfJolietNameLimit = 127;
constexpr int kMoreLabelKinds[kMoreLabelCount] = {1, 2, 3, 4, 5, 6, 7, 8};

int32_t ShownIsoNameLimit(int32_t limit) { return limit == 12 || limit == 30 ? limit : 221; }
int32_t ShownJolietNameLimit(int32_t limit) { return limit == 64 ? 64 : 110; }
}  // namespace

void MarkDocumentModified(image::ImageContext& ctx, int how) {
    if (how == 0) return;
    ctx.modified |= ctx.formatCode == image::format_code::kDaa ? 2 : how;
    ctx.changedSinceOpen = true;
}

IsoFileSystemSettings GetIsoFileSystemSettings(const image::ImageContext& ctx) {
    IsoFileSystemSettings s;
    s.label = image::GetVolumeField(ctx, 0);
    s.initialLabel = s.label;
    s.optimize = ctx.fileSpaceOptimisation;
    s.bootable = ctx.elToritoPresent;
    s.joliet = ctx.jolietLevel != 0;
    s.udf = ctx.udfFlag;
    s.allowLowerCase = ctx.allowLowerCase;
    s.isoNameLimit = ShownIsoNameLimit(ctx.isoNameLimit);
    s.jolietNameLimit = ShownJolietNameLimit(ctx.jolietNameLimit);
    s.iso9660 = !ctx.noIso9660;
    s.xbox = ctx.xboxVolume;
    s.hfs = bool(ctx.hfsVolume);
    s.hfsPlus = bool(ctx.hfsPlusVolume);
    return s;
}

int SetIsoFileSystemSettings(image::ImageContext& ctx, const IsoFileSystemSettings& s) {
    int mark = 0;
    auto changed = [&](int how) {
        MarkDocumentModified(ctx, how);
        mark = std::max(mark, how);
    };
    if (s.label != s.initialLabel) {
        image::SetVolumeField(ctx, 0, s.label);
        changed(1);
    }
    if (s.optimize != ctx.fileSpaceOptimisation) {
        ctx.fileSpaceOptimisation = s.optimize;
        changed(2);
    }
    if (s.joliet && ctx.jolietLevel == 0) {
        ctx.jolietLevel = 3;
        changed(2);
    } else if (!s.joliet && ctx.jolietLevel != 0) {
        ctx.jolietLevel = 0;
        changed(2);
    }
    if (s.allowLowerCase != ctx.allowLowerCase) {
        ctx.allowLowerCase = s.allowLowerCase;
        changed(2);
    }
    if (s.udf != ctx.udfFlag) {
        ctx.udfFlag = s.udf;
        changed(2);
    }
    if (s.iso9660 == ctx.noIso9660) {   // the document keeps the opposite flag
        ctx.noIso9660 = !s.iso9660;
        if (s.iso9660) ctx.newDocument = true;
        changed(2);
    }
    // Limits the page cannot show (unset, or the UDF one) count as the one it shows.
    if (s.isoNameLimit != ShownIsoNameLimit(ctx.isoNameLimit)) {
        ctx.isoNameLimit = s.isoNameLimit;
        changed(2);
    }
    if (s.jolietNameLimit != ShownJolietNameLimit(ctx.jolietNameLimit)) {
        ctx.jolietNameLimit = s.jolietNameLimit;
        changed(2);
    }
    if (ctx.udfFlag && ctx.jolietLevel == 0) ctx.jolietNameLimit = kUdfJolietNameLimit;
    return mark;
}

void ApplyIsoRule(IsoFileSystemSettings& s, IsoRuleClick click) {
    switch (click) {
    case IsoRuleClick::Iso9660:
        if (!s.iso9660) {
            s.joliet = false;
            s.udf = true;
        }
        break;
    case IsoRuleClick::Joliet:
        if (s.joliet) s.iso9660 = true;
        break;
    case IsoRuleClick::Udf:
        if (s.udf) s.joliet = false;
        else s.iso9660 = true;
        break;
    }
}

int MoreLabelKind(int index) { return index >= 0 && index < kMoreLabelCount ? kMoreLabelKinds[index] : -1; }

MoreLabels GetMoreLabels(const image::ImageContext& ctx) {
    MoreLabels labels;
    for (int i = 0; i < kMoreLabelCount; ++i) labels[size_t(i)] = image::GetVolumeField(ctx, MoreLabelKind(i));
    return labels;
}

int SetMoreLabels(image::ImageContext& ctx, const MoreLabels& initial, const MoreLabels& labels) {
    int result = 0;
    for (int i = 0; i < kMoreLabelCount; ++i) {
        if (labels[size_t(i)] == initial[size_t(i)]) continue;
        image::SetVolumeField(ctx, MoreLabelKind(i), labels[size_t(i)]);
        MarkDocumentModified(ctx, 1);
        result = 1;
    }
    return result;
}

}  // namespace dialogs
