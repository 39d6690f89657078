#pragma once
// Before a set of volumes is converted, saved elsewhere or mounted, every
// volume must be at hand: a volume found missing half-way would end the work
// with a broken output. These look for each volume of the set and, while some
// are missing, ask the user (prompt kind 5) for the folder that holds them,
// until all open, the user skips them (where allowed) or cancels.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace containers {
struct DaaContainer;
struct MzpContainer;
struct XdiContainer;
}  // namespace containers

namespace image {
struct ImageContext;
}

namespace app {

constexpr int32_t kVolumesReady = 1;       // all open, or the missing ones skipped
constexpr int32_t kVolumesCancelled = 2;

// The set's format codes, shown to the question.
constexpr int32_t kVolumeSetDaa = 2;
constexpr int32_t kVolumeSetMzp = 7;
constexpr int32_t kVolumeSetXdi = 8;

// `names` are the volumes' paths, volume 0 first; those that do not open are
// asked for. A folder the user gives replaces the folder of every missing
// name. `maySkip` lets the user go on without the missing ones. `inPlace`
// keeps the names: the volumes must be put where their names say (a set
// handed to another process by its first volume's path is looked for there).
int32_t OpenVolumesOrAsk(std::vector<std::u16string>& names, int32_t setKind, std::u16string_view text,
                         bool maySkip, bool inPlace = false);

int32_t OpenDaaVolumesOrAsk(containers::DaaContainer& set, std::u16string_view text, bool maySkip,
                            bool inPlace = false);
int32_t OpenMzpVolumesOrAsk(containers::MzpContainer& set, std::u16string_view text, bool maySkip,
                            bool inPlace = false);
int32_t OpenXdiPartsOrAsk(containers::XdiContainer& set, std::u16string_view text, bool maySkip,
                          bool inPlace = false);

// The document's own set, whichever reader holds it; a document that is not
// read from several volumes is ready as it is.
int32_t OpenDocumentVolumesOrAsk(image::ImageContext& ctx, std::u16string_view text, bool maySkip,
                                 bool inPlace = false);

}  // namespace app
