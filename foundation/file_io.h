#pragma once
// The program's file calls: open/seek/read/write through 64-bit offsets on wide
// paths. Every open returns null on failure, every call leaves the last error
// (platform/last_error.h) set for GetLastErrorText. No buffering of our own:
// callers read whole sectors or blocks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/file.h"

namespace foundation {

using FileHandle = platform::FileHandle;

// 0xFFFFFFFF:0xFFFFFFFF: write at the current position.
constexpr uint64_t kCurrentPosition = platform::kCurrentPosition;

struct FileCloser {
    void operator()(platform::FileObject* file) const { platform::FileClose(file); }
};
// One owner for an open handle.
using UniqueFile = std::unique_ptr<platform::FileObject, FileCloser>;

// Read access. Windows' share modes have no POSIX meaning and are not emulated.
FileHandle OpenFileForRead(std::u16string_view path);
// Read and write access to an existing file.
FileHandle OpenFileReadWrite(std::u16string_view path);
// Read access to a file others may be writing.
FileHandle OpenFileShared(std::u16string_view path);
// Read and write access; created, or truncated when present (mode 0666 & ~umask).
FileHandle CreateNewFile(std::u16string_view path);
// Asks before overwriting (a refusal returns null without touching the file),
// then CreateNewFile; a failure to create is shown with the path and gives null.
FileHandle CreateOutputFile(std::u16string_view path);
void SafeCloseHandle(FileHandle file);

// Size of a file or block device; -1 on failure.
int64_t GetFileSize64(FileHandle file);
bool GetFilePosition64(FileHandle file, uint64_t& position);
// Moves to the offset from the start; true only when the position the system
// reports afterwards equals the whole 64-bit offset.
bool SeekFile64(FileHandle file, uint64_t offset);
// Seek then read; true only when exactly count bytes were read.
bool ReadFileAt(FileHandle file, void* buffer, uint64_t offset, size_t count);
// Seek then read; the bytes read (short at the end of the file), -1 when the
// seek or the read fails.
int64_t ReadFileAtCount(FileHandle file, void* buffer, uint64_t offset, size_t count);
// Reads at the current position; true only when the whole count was read. The
// count read is stored back.
bool ReadFileExact(FileHandle file, void* buffer, size_t& count);
// kCurrentPosition writes at the current position, any other offset seeks first
// (a failed seek gives -1). Returns the bytes written; -1 on failure, except on
// a full disk, which returns the short count written (possibly 0).
int64_t WriteFileAt(FileHandle file, const void* buffer, uint64_t offset, size_t count);
// Writes the text in the ANSI code page (no terminator); its byte length, -1
// when the conversion yields nothing or the write is short.
int64_t WriteAnsiTextAt(FileHandle file, std::u16string_view text, uint64_t offset);

}  // namespace foundation
