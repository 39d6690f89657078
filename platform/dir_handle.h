#pragma once
// The one owner of an open directory stream: whatever path leaves a listing,
// the stream (and the descriptor fdopendir took over) is closed once.

#include <dirent.h>

#include <memory>

namespace platform {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

}  // namespace platform
