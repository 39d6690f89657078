#pragma once
// The text descriptor of a VMDK disk: a first line naming the file, header
// lines, extent lines and "ddb." lines, in that order. Only the extent lines and
// the parent's content id are interpreted.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace filesystems {

enum class VmdkExtentKind { kSparse = 1, kFlat = 2, kZero = 3 };
enum class VmdkAccess { kNoAccess = 0, kReadOnly = 1, kReadWrite = 2 };

struct VmdkExtentLine {
    VmdkAccess access = VmdkAccess::kNoAccess;
    uint64_t sectors = 0;
    VmdkExtentKind kind = VmdkExtentKind::kZero;
    std::string fileName;          // as written, without the quotes
    uint64_t startOffset = 0;      // sectors, flat extents
};

struct VmdkDescriptor {
    std::vector<VmdkExtentLine> extents;
    bool hasParent = false;        // a parentCID other than ffffffff
};

// Descriptors of up to 99 lines; longer ones are refused.
constexpr size_t kMaxDescriptorLines = 99;

// False when the text is no descriptor or breaks its rules.
bool ParseVmdkDescriptor(std::string_view text, VmdkDescriptor& descriptor);

}  // namespace filesystems
