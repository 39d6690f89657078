#pragma once
// The archive comment of a ZIP file the library has just written: the library
// takes no comment of its own, so it goes into the end record afterwards (its
// length field, then the text after the record, where every ZIP reader looks).

#include <cstddef>
#include <string_view>

#include "platform/file.h"

namespace containers::archive {

// A ZIP comment holds at most this many bytes.
constexpr size_t kMaxZipCommentBytes = 65535;

// Appends the comment (cut to kMaxZipCommentBytes) to the finished archive in
// `file`, whose end record must be its last 22 bytes and carry no comment yet.
// False, with nothing changed, when the file does not end that way or cannot
// be read; false too when the write fails.
bool AppendZipComment(platform::FileHandle file, std::string_view comment);

}  // namespace containers::archive
