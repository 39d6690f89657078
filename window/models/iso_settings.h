#pragma once
// The ISO file-system choices of a document as one value record, the way the
// save sheet's ISO page edits them: copied out of the document, edited, and
// stored back into the fields the image build reads (label, optimisation,
// ISO 9660 / Joliet / UDF, name limits, lower case). Storing tells how the
// document changed: a new label alone can be written in place, anything else
// needs a full rewrite. The eight further volume texts ("More Labels") travel
// the same way.

#include <array>
#include <cstdint>
#include <string>

namespace image {
struct ImageContext;
}

namespace dialogs {

struct IsoFileSystemSettings {
    std::u16string label;
    std::u16string initialLabel;    // the label as read; only a different one is stored
    bool optimize = false;
    bool bootable = false;          // shown, never stored
    bool iso9660 = true;
    bool joliet = false;
    bool udf = false;
    bool xbox = false;              // shown, never stored
    bool hfs = false;               // shown, never stored
    bool hfsPlus = false;           // shown, never stored
    int32_t allowLowerCase = 0;
    int32_t isoNameLimit = 221;     // 12 "DOS(8.3)", 30 "Standard(30)", 221 "Long(221)"
    int32_t jolietNameLimit = 110;  // 64 "Standard(64)", 110 "Long(110)"
};

IsoFileSystemSettings GetIsoFileSystemSettings(const image::ImageContext& ctx);
// 0 nothing changed, 1 only the label, 2 anything else (the highest mark).
// Last, a UDF document without Joliet gets the long Joliet limit (127) that
// UDF names need, without counting as a change.
int SetIsoFileSystemSettings(image::ImageContext& ctx, const IsoFileSystemSettings& settings);

// The click rules of the ISO page: without ISO 9660 there is no Joliet and UDF
// carries the names; Joliet needs ISO 9660; UDF replaces Joliet, and without
// UDF ISO 9660 must stay.
enum class IsoRuleClick { Iso9660, Joliet, Udf };
void ApplyIsoRule(IsoFileSystemSettings& settings, IsoRuleClick click);

// The volume texts beyond the label, in the order the dialog shows them:
// system, volume set, publisher, data preparer, application, copyright,
// abstract, bibliographic (volume field kinds 1-8).
constexpr int kMoreLabelCount = 8;
using MoreLabels = std::array<std::u16string, kMoreLabelCount>;
int MoreLabelKind(int index);   // the volume field kind of a row
MoreLabels GetMoreLabels(const image::ImageContext& ctx);
// Stores every text that differs from `initial`; 1 when any did, else 0.
int SetMoreLabels(image::ImageContext& ctx, const MoreLabels& initial, const MoreLabels& labels);

// Marks the document changed: `how` 1 a change the in-place update can write,
// 2 any other; a DAA document always needs the full rewrite.
void MarkDocumentModified(image::ImageContext& ctx, int how);

}  // namespace dialogs
