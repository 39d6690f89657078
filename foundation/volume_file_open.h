#pragma once
// The volume a user names when a set's volume is missing: opened read-only (a
// volume on read-only media must still open, and nothing writes to a set
// while reading it), and only when it is a regular file: a folder has no
// bytes to read and a FIFO would block the reader, or feed it bytes that
// change under it.

#include <string_view>

#include "platform/file.h"

namespace foundation {

// Null with the last error set when the path is not an existing regular file
// or cannot be opened for reading.
platform::FileHandle OpenChosenVolume(std::u16string_view path);

// True when both handles are open on the same file (device and inode).
bool SameOpenFile(platform::FileHandle a, platform::FileHandle b);

}  // namespace foundation
