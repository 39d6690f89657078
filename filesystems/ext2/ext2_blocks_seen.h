#pragma once
// The volume blocks one file has mapped so far. A file never holds one block
// twice: an indirect block that points at itself, or a thousand pointers to
// one block, would otherwise turn a small image into a file of any size the
// inode claims. Kept in 8 KiB pieces made as blocks are met, so a file of
// neighbouring blocks costs a piece or two, and even a file scattered over the
// whole volume no more than one bit per volume block.

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace filesystems::ext2 {

class BlocksSeen {
public:
    // Marks count blocks from first on; false when any was marked before.
    bool MarkRun(uint64_t first, uint64_t count);

private:
    static constexpr uint64_t kPieceBits = 65536;
    std::unordered_map<uint64_t, std::vector<uint64_t>> pieces_;
};

}  // namespace filesystems::ext2
