#pragma once
// Folders and temporary files: creating a folder path, deleting a tree, the
// program's private work folder, and temporary names.
//
// The work folder is private to this user and this process: a fresh folder
// "$Quendravine$-XXXXXX" made by mkdtemp (mode 0700) under the "TempFolder"
// setting, else under $TMPDIR or /tmp (not the memory-backed runtime folder:
// extracted files can be large), and checked (not a link, a folder, ours, 0700) before use. A fixed name in a
// shared folder would let another user plant a link there, and two running
// copies of the program would delete each other's files.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "foundation/file_io.h"

namespace foundation {

// Creates every folder named by the path up to each separator (the part after
// the last one is a file name), then checks that the part before the last
// separator is a folder. If it is not: LastErrorText = string 30820 "Can not
// create directory or file. The disk maybe full or read-only.", OperationStatus
// = 5, false.
bool CreateDirectoryPath(std::u16string_view path);

enum class FolderRemoval {
    RemoveFolders,   // the tree goes, the folder itself included
    KeepFolders,     // unattended runs: every file goes, the folders stay
};
// Deletes every file below a folder and (by the removal mode) the folders.
// Symbolic links are removed as links and never followed, so nothing outside
// the tree is touched; a folder that is itself a link is not entered. Returns
// the number of entries that could not be deleted.
size_t DeleteFolderTree(std::u16string_view folder, FolderRemoval removal = FolderRemoval::RemoveFolders);

inline constexpr std::u16string_view kWorkFolderPrefix = u"$Quendravine$";
// Builds the work folder once per process and returns its path with a trailing
// separator, or nothing when no private folder could be made.
std::optional<std::u16string> PrepareTempWorkFolder();
// The prepared work folder with a trailing separator, empty when none.
std::u16string GetTempWorkFolder();
// Deletes the work folder when it was prepared; the next prepare makes a new one.
void DeleteTempWorkFolder();

// A new empty file (mode 0600) with a unique name in the folder of a given
// path, for output written beside its target and renamed over it when complete.
// Its name, or nothing.
std::optional<std::u16string> MakeTempNameBeside(std::u16string_view path);
// A new empty file with a unique name in the work folder. The file is kept (the
// name is never handed out free for someone else to take first).
std::optional<std::u16string> MakeTempFileName();
// A new private temporary file in the work folder, open for reading and
// writing and already unlinked: nothing is left behind, whatever ends the
// program. Null when none could be made.
UniqueFile OpenPrivateTempFile();

// Writes icon data to a temporary ".ico" file in the work folder, asks the
// window's face for its icon index and deletes the file. -1 without one.
int RegisterIconFile(std::span<const uint8_t> iconData);
// PrepareTempWorkFolder, then RegisterIconFile of the document icon; the index
// is kept for GetDocumentIconIndex.
bool PrepareTempFolderAndIcon(std::span<const uint8_t> documentIcon);
int GetDocumentIconIndex();

// Forgets the work folder without deleting it (tests).
void ResetWorkFolderForTests();

}  // namespace foundation
