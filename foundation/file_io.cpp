#include "foundation/file_io.h"

#include <string>

#include "foundation/messages.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace foundation {
namespace {

constexpr uint64_t kLargestOffset = static_cast<uint64_t>(INT64_MAX);

}  // namespace

FileHandle OpenFileForRead(std::u16string_view path) {
    return platform::FileOpen(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting);
}

FileHandle OpenFileReadWrite(std::u16string_view path) {
    return platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileDisposition::OpenExisting);
}

FileHandle OpenFileShared(std::u16string_view path) {
    return platform::FileOpen(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting);
}

FileHandle CreateNewFile(std::u16string_view path) {
    return platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileDisposition::CreateAlways);
}

FileHandle CreateOutputFile(std::u16string_view path) {
    if (AskOverwriteFile(path) != 0) return nullptr;
    FileHandle file = CreateNewFile(path);
    if (!file) ShowLastError(path);
    return file;
}

void SafeCloseHandle(FileHandle file) {
    if (file) platform::FileClose(file);
}

int64_t GetFileSize64(FileHandle file) {
    uint64_t size = 0;
    if (!platform::FileGetSize(file, size)) return -1;
    return size > kLargestOffset ? -1 : static_cast<int64_t>(size);
}

bool GetFilePosition64(FileHandle file, uint64_t& position) { return platform::FileGetPosition(file, position); }

bool SeekFile64(FileHandle file, uint64_t offset) {
    if (!platform::FileSetPosition(file, offset)) return false;
    // A seek that lands anywhere but the whole requested offset is a failure,
    // whichever 32-bit half differs.
    uint64_t reached = 0;
    if (!platform::FileGetPosition(file, reached)) return false;
    if (reached != offset) {
        platform::SetLastError(platform::kErrorSeek);
        return false;
    }
    return true;
}

int64_t ReadFileAtCount(FileHandle file, void* buffer, uint64_t offset, size_t count) {
    if (offset > kLargestOffset) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return -1;
    }
    return platform::FileReadAt(file, offset, buffer, count);
}

bool ReadFileAt(FileHandle file, void* buffer, uint64_t offset, size_t count) {
    int64_t got = ReadFileAtCount(file, buffer, offset, count);
    if (got < 0) return false;
    if (static_cast<uint64_t>(got) != count) {
        platform::SetLastError(platform::kErrorHandleEof);
        return false;
    }
    return true;
}

bool ReadFileExact(FileHandle file, void* buffer, size_t& count) {
    int64_t got = platform::FileReadAt(file, platform::kCurrentPosition, buffer, count);
    if (got < 0) {
        count = 0;
        return false;
    }
    bool whole = static_cast<uint64_t>(got) == count;
    count = static_cast<size_t>(got);
    if (!whole) platform::SetLastError(platform::kErrorHandleEof);
    return whole;
}

int64_t WriteFileAt(FileHandle file, const void* buffer, uint64_t offset, size_t count) {
    if (offset != kCurrentPosition && !SeekFile64(file, offset)) return -1;
    int64_t written = platform::FileWriteAt(file, kCurrentPosition, buffer, count);
    if (written < 0) return -1;
    if (static_cast<uint64_t>(written) < count && platform::GetLastError() != platform::kErrorDiskFull) {
        // Only a full disk is reported as a short count; any other failure
        // after part of the data went out is still a failure.
        return -1;
    }
    return written;
}

int64_t WriteAnsiTextAt(FileHandle file, std::u16string_view text, uint64_t offset) {
    std::string bytes;
    if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi, text, bytes) || bytes.empty()) return -1;
    int64_t written = WriteFileAt(file, bytes.data(), offset, bytes.size());
    if (written < 0 || static_cast<uint64_t>(written) != bytes.size()) return -1;
    return written;
}

}  // namespace foundation
