#include "containers/archive/zip_comment.h"

#include <array>
#include <cstdint>

#include "foundation/byte_cursor.h"

namespace containers::archive {

namespace {
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr size_t kEndRecordBytes = 22;
constexpr size_t kCommentLengthOffset = 20;
}  // namespace

bool AppendZipComment(platform::FileHandle file, std::string_view comment) {
    uint64_t size = 0;
    if (!file || !platform::FileGetSize(file, size) || size < kEndRecordBytes) return false;
    const uint64_t record = size - kEndRecordBytes;
    std::array<uint8_t, kEndRecordBytes> bytes{};
    if (platform::FileReadAt(file, record, bytes.data(), bytes.size()) != int64_t(bytes.size())) return false;
    const foundation::ByteCursor end(bytes);
    if (end.Le32(0) != kEndRecordSignature || end.Le16(kCommentLengthOffset) != 0) return false;
    comment = comment.substr(0, kMaxZipCommentBytes);
    if (comment.empty()) return true;
    const std::array<uint8_t, 2> length = {uint8_t(comment.size() & 0xFF), uint8_t(comment.size() >> 8)};
    if (platform::FileWriteAt(file, size, comment.data(), comment.size()) != int64_t(comment.size())) return false;
    return platform::FileWriteAt(file, record + kCommentLengthOffset, length.data(), length.size()) ==
           int64_t(length.size());
}

}  // namespace containers::archive
