#pragma once
// Item paths of archives made safe once, at listing: extraction and every
// later use take paths from the tree only. "\" and "/" both separate; a
// leading "/", a drive prefix ("C:"), empty and "." components are dropped
// (a tar made with "-C dir ." lists "./a", which must not become a folder
// named "." that every walker skips); ".." components are dropped with a
// warning; each remaining name is made a safe single component.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace containers::archive {

// Deeper paths are not placed: each level costs a folder record and its path.
constexpr size_t kMaxItemPathDepth = 512;

struct NormalisedPath {
    std::vector<std::u16string> components;   // empty: the item is not placed
    bool droppedParent = false;               // a ".." was dropped
    bool tooDeep = false;
};

NormalisedPath NormaliseItemPath(std::u16string_view path);

// The components joined with "/".
std::u16string JoinComponents(const std::vector<std::u16string>& components, size_t count);

}  // namespace containers::archive
