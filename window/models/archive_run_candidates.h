#pragma once
// What the archive contents dialog offers to run: the installer-like programs
// ("exe", "msi", "bat") at the top of an archive, or inside its one folder
// when the top holds only that, scored by how much their name looks like
// "setup", best first.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace image {
struct ImageContext;
}

namespace dialogs {

struct RunCandidate {
    std::u16string path;        // inside the archive, "/"-separated, no leading "/"
    std::u16string extension;   // lower case, without the dot
    int score = 0;
    int64_t size = -1;          // -1 unknown
    uint32_t time = 0;          // seconds since 1970, 0 unknown
    int32_t order = -1;         // index in the archive, -1 none
};

// 99 "setup", 89 "setup*", 88 "*setup", 79 "*setup*", 19 any other name of a
// program file; 0 for a name that is no program file. Case is ignored.
int RunNameScore(std::u16string_view fileName);

// The candidates of the open archive, best first; among equal scores a "bat"
// comes before an "msi", an "msi" before an "exe", else the archive's order.
// Names a command line could not carry (CR, LF, NUL) and names that would
// leave a folder ("..", "/" inside) are no candidates.
std::vector<RunCandidate> CollectRunCandidates(const image::ImageContext& archive);

// How many of the sorted candidates the list shows: all with showAll, else up
// to the first below the tier of the best (90, 80, 70).
size_t ListedCandidateCount(const std::vector<RunCandidate>& candidates, bool showAll);

// The size as whole kilobytes rounded up ("1 KB" for 1 to 1024 bytes); empty
// for an unknown size.
std::u16string KilobyteText(int64_t size);

}  // namespace dialogs
