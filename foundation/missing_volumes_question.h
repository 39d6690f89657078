#pragma once
// What the missing-volumes question (prompt kind 5) shows: the folder the
// set's volumes are looked for in and the file names of those that did not
// open. The request's context points at one of these; its data says whether
// the user may skip the missing volumes (0: the skip box stays off), its
// value is the set's format code. An OK answer brings back the folder to look
// in again (outText) and the skip choice (outFlag 1).

#include <cstdint>
#include <string>
#include <vector>

namespace foundation {

struct MissingVolumesQuestion {
    std::u16string folder;
    std::vector<std::u16string> missing;
};

}  // namespace foundation
