#pragma once
// Files over POSIX descriptors with 64-bit offsets. A handle is a small object
// whose failure value is null (a descriptor cannot serve: 0 is valid). Every
// call reports failure by its return value and sets the last error.
// Sharing modes are not part of an open: Linux has no mandatory sharing, so
// two opens of one file always both succeed; exclusive use of a device is
// asked for where it matters (an exclusive open of a volume).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct FileObject;
using FileHandle = FileObject*;

enum class FileAccess { Read, ReadWrite, Write };
// After a successful CreateAlways or OpenAlways the last error tells whether
// the file was there before: kErrorAlreadyExists, else kErrorSuccess.
enum class FileDisposition {
    OpenExisting,    // fail when missing
    CreateAlways,    // create or truncate
    CreateNew,       // fail with kErrorFileExists when present
    OpenAlways,      // open, or create when missing
};

// Offset meaning "the current position" for FileWriteAt/FileReadAt
// (0xFFFFFFFF:0xFFFFFFFF in the program's 64-bit offsets).
constexpr uint64_t kCurrentPosition = 0xFFFFFFFFFFFFFFFFull;

FileHandle FileOpen(std::u16string_view path, FileAccess access, FileDisposition disposition);
FileHandle FileOpenUtf8(const std::string& path, FileAccess access, FileDisposition disposition);
// Closes and frees; null is accepted. False when close reported an error (a
// delayed write failure).
bool FileClose(FileHandle file);

// Bytes read, 0 at end of file, -1 on failure. Reads until size or end of file.
int64_t FileReadAt(FileHandle file, uint64_t offset, void* buffer, size_t size);
// Bytes written; on a full disk a short count (last error kErrorDiskFull), -1 on
// any other failure before anything was written.
int64_t FileWriteAt(FileHandle file, uint64_t offset, const void* data, size_t size);

// Size of a regular file or of a block device (BLKGETSIZE64).
bool FileGetSize(FileHandle file, uint64_t& size);
bool FileSetSize(FileHandle file, uint64_t size);
bool FileGetPosition(FileHandle file, uint64_t& position);
bool FileSetPosition(FileHandle file, uint64_t position);
bool FileFlush(FileHandle file);
int FileDescriptor(FileHandle file);
// Wraps a descriptor the caller opened (a pipe, a FIFO); the handle owns it
// from then on. Null with kErrorInvalidHandle for a negative descriptor.
FileHandle FileFromDescriptor(int fd);
bool FileIsBlockDevice(FileHandle file);

bool DeleteFileAt(std::u16string_view path);
bool RenameFile(std::u16string_view from, std::u16string_view to);   // replaces the target
bool FileExists(std::u16string_view path);
bool DirectoryExists(std::u16string_view path);
bool CreateDirectoryAt(std::u16string_view path);                     // one level, mode 0777 & ~umask

}  // namespace platform
