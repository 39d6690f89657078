#pragma once
// Helpers of the extraction commands that need no window: the output path of
// an item below the chosen folder, the file times of an extracted file, and the
// question before an existing file is replaced. Extraction never writes outside
// the chosen folder: names that would leave it are refused or made safe here,
// once, for every extractor.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app {

// Output paths of 2048 characters or more are refused.
constexpr size_t kExtractPathLimit = 2048;

// One name as a single path component: "/", "\" and NUL become "_" (names from
// HFS, Windows-made ZIPs and damaged images hold them); an empty name, "." and
// ".." are refused (false).
bool MakeSafeComponent(std::u16string_view name, std::u16string& out);

// The destination folder, then the folders from startFolder (exclusive) down to
// the item's folder, then the item's name, "/"-separated, with a trailing "/"
// for a folder item. startFolder null, or not above the item: the folders from
// the root. Empty (last error kErrorInvalidName or kErrorFilenameTooLong) when
// a name is refused or the path would reach kExtractPathLimit characters.
std::u16string BuildExtractPath(image::ImageContext* ctx, const image::ImageItem* item,
                                const image::ImageFolder* startFolder, std::u16string_view destinationFolder);

// Sets the access and modification times of an open descriptor to seconds
// since 1970; 0 leaves the file alone.
void SetFileTimes(int fd, int64_t seconds);

// Sets the access and modification times of an open file from a 7-byte
// directory-record date; an invalid date leaves the file alone. (Linux keeps no
// creation time.)
void SetExtractedFileTime(platform::FileHandle file, const uint8_t date[7]);

// 0 when the file may be written, -1 when it is to be skipped. A missing path or
// a folder: 0 at once. Otherwise asks the overwrite question (the answer stays
// as the standing overwrite answer; 4 cancels the whole operation): no, no to
// all and cancel give -1. On yes, anything but a regular file at the path (a
// symbolic link, a FIFO, a device node) is removed, so the file is written
// anew and never through what was planted there; a read-only file gets its
// owner's write permission. When that fails the error is shown and -1 returned.
int ConfirmOverwrite(std::u16string_view path, image::ImageItem* item, image::ImageItem* otherItem);
// The same for the entry `name` of an open folder (no link on the way is
// followed); path names the file in the question and in errors.
int ConfirmOverwriteAt(int folderFd, std::string_view name, std::u16string_view path, image::ImageItem* item);

}  // namespace app
