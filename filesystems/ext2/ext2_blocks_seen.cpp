#include "filesystems/ext2/ext2_blocks_seen.h"

namespace filesystems::ext2 {

bool BlocksSeen::MarkRun(uint64_t first, uint64_t count) {
    for (uint64_t block = first; block - first < count; ++block) {
        std::vector<uint64_t>& piece = pieces_[block / kPieceBits];
        if (piece.empty()) piece.resize(kPieceBits / 64);
        const uint64_t bit = block % kPieceBits;
        uint64_t& word = piece[bit / 64];
        const uint64_t mask = uint64_t{1} << (bit % 64);
        if (word & mask) return false;
        word |= mask;
    }
    return true;
}

}  // namespace filesystems::ext2
