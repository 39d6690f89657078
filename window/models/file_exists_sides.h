#pragma once
// The two sides the file-exists dialog shows, "File exists:" and "Replace
// with:": the file on disk read now, the document's side as the asker
// described it. Extracting, the disk file is the one that exists; adding, the
// document's item is.

#include <string>

#include "foundation/user_prompt.h"

namespace dialogs {

struct FileSide {
    std::u16string name;
    std::u16string size;   // empty when unknown
    std::u16string time;   // empty when unknown
};

struct FileExistsSides {
    FileSide existing;
    FileSide replacing;
};

// "1.5 MB (1,572,864 bytes)".
std::u16string FileSizeText(uint64_t bytes);
FileExistsSides BuildFileExistsSides(const foundation::FileExistsSubject& subject);

}  // namespace dialogs
