#pragma once
// The folders the program works in: its own folder (where language files,
// helpers and the shell extension lie), the per-user runtime folder (locks,
// pipes, drive mounts), the settings folder, and private temporary folders.
// Each call returns false with the last error set when the folder cannot be
// had; none falls back silently to a folder other users could reach.

#include <string>
#include <string_view>

namespace platform {

// The folder of /proc/self/exe, without a trailing separator.
bool GetProgramFolder(std::u16string& folder);

// $XDG_RUNTIME_DIR/quendravine, or /tmp/quendravine-<uid> when
// XDG_RUNTIME_DIR is not set. Created with mode 0700 when missing; refused
// (kErrorAccessDenied) when it is a symlink, not a folder, or owned by another
// user; a group- or world-accessible one of ours is narrowed to 0700.
bool GetRuntimeFolder(std::u16string& folder);
bool GetRuntimeFolderUtf8(std::string& folder);
// The path the two calls above use, made or not, to name it in a message
// when it is refused (another user may have made it first under /tmp).
std::string RuntimeFolderPathUtf8();

// $QV_CONFIG_DIR when set, else $XDG_CONFIG_HOME/quendravine, else
// ~/.config/quendravine. Created (mode 0700) when missing; false when it
// cannot be created or written (kErrorAccessDenied, kErrorPathNotFound,
// kErrorWriteProtect).
bool GetConfigFolder(std::u16string& folder);
bool GetConfigFolderUtf8(std::string& folder);

// A new folder only we can enter (mkdtemp, mode 0700) under $TMPDIR, or /tmp.
// Work files can be large, so not under the runtime folder (memory-backed).
bool CreatePrivateTempFolder(std::u16string& folder);

// Deletes a folder and everything in it without following any symlink: a
// link inside is removed as a link, never entered. False on the first entry
// that cannot be removed.
bool RemoveFolderTree(std::u16string_view folder);

}  // namespace platform
