#pragma once
// Block coding of the deflate encoder: symbol tallies, Huffman trees with
// limited code lengths, the choice between stored, fixed and dynamic coding
// and the bits of each block. Internal to the encoder (deflate_encoder.cpp).
//
// The block decisions follow gzip's level-6 deflate exactly (same tally
// buffers, same early end of block, same tree construction and tie-breaking),
// so a stream is reproducible from its input alone.

#include <cstddef>
#include <cstdint>

#include "codecs/deflate_format.h"

namespace codecs::deflate_internal {

// Writes bits least significant first into a bounded output; once the output
// is full it only remembers that it overflowed.
class BitWriter {
public:
    void Start(uint8_t* out, size_t capacity) {
        out_ = out;
        capacity_ = capacity;
        pos_ = 0;
        bits_ = 0;
        count_ = 0;
        overflow_ = false;
    }
    void Send(uint32_t value, unsigned length) {
        bits_ |= uint64_t{value} << count_;
        count_ += length;
        if (count_ >= 32) Drain32();
    }
    // Pads to a byte boundary with zero bits and writes what is pending.
    void Windup();
    void PutByte(uint8_t b) {
        if (pos_ < capacity_) {
            out_[pos_++] = b;
        } else {
            overflow_ = true;
        }
    }
    void PutBytes(const uint8_t* data, size_t n);
    size_t Position() const { return pos_; }
    bool Overflowed() const { return overflow_; }

private:
    void Drain32();

    uint8_t* out_ = nullptr;
    size_t capacity_ = 0;
    size_t pos_ = 0;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
    bool overflow_ = false;
};

constexpr int kLitBufSize = 0x8000;
constexpr int kDistBufSize = 0x8000;

class BlockCoder {
public:
    BlockCoder();
    // Empties the tallies and frequencies for a new block.
    void InitBlock();
    // Records a literal (dist 0, lc the byte) or a match (dist its distance,
    // lc its length - 3). inLength is the input the block covers so far.
    // True when the block should end here.
    bool Tally(unsigned dist, unsigned lc, uint64_t inLength);
    // Ends the block: chooses its coding and writes it. stored is the block's
    // input when it is still in the window (null otherwise), storedLength its
    // length. last sets BFINAL and pads the stream to a byte.
    void FlushBlock(const uint8_t* stored, uint64_t storedLength, bool last, BitWriter& out,
                    const DeflateBlockTypeCodes& codes);

private:
    static constexpr int kLCodes = kDeflateLitLenCodes;   // 286
    static constexpr int kDCodes = kDeflateDistanceCodes;
    static constexpr int kBlCodes = kDeflateCodeLengthCodes;
    static constexpr int kHeapSize = 2 * kLCodes + 1;

    struct Node {
        uint32_t freq = 0;   // frequency while building, the code afterwards
        uint16_t dad = 0;
        uint16_t len = 0;
    };
    struct TreeDesc {
        Node* tree;
        const Node* staticTree;
        const uint8_t* extraBits;
        int extraBase;
        int elems;
        int maxLength;
        int maxCode;
    };

    struct FixedNodes {
        Node l[kDeflateFixedLitLenCodes];
        Node d[kDeflateDistanceCodes];
    };
    static const FixedNodes& Fixed();

    bool Smaller(const Node* tree, int n, int m) const {
        return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && depth_[n] <= depth_[m]);
    }
    void DownHeap(const Node* tree, int k);
    void GenBitLengths(TreeDesc& desc);
    void GenCodes(Node* tree, int maxCode);
    void BuildTree(TreeDesc& desc);
    void ScanTree(Node* tree, int maxCode);
    void SendTree(const Node* tree, int maxCode, BitWriter& out);
    int BuildBitLengthTree();
    void SendAllTrees(int lcodes, int dcodes, int blcodes, BitWriter& out);
    void CompressBlock(const Node* ltree, const Node* dtree, BitWriter& out);
    void SendCode(int c, const Node* tree, BitWriter& out) { out.Send(tree[c].freq, tree[c].len); }

    Node dynLTree_[kHeapSize];
    Node dynDTree_[2 * kDCodes + 1];
    Node blTree_[2 * kBlCodes + 1];
    TreeDesc lDesc_;
    TreeDesc dDesc_;
    TreeDesc blDesc_;
    uint16_t blCount_[kDeflateMaxCodeBits + 1];
    int heap_[2 * kLCodes + 1];
    int heapLen_ = 0;
    int heapMax_ = 0;
    uint8_t depth_[2 * kLCodes + 1];
    int64_t optLen_ = 0;
    int64_t staticLen_ = 0;

    uint8_t lBuf_[kLitBufSize];
    uint16_t dBuf_[kDistBufSize];
    uint8_t flagBuf_[kLitBufSize / 8];
    unsigned lastLit_ = 0;
    unsigned lastDist_ = 0;
    unsigned lastFlags_ = 0;
    uint8_t flags_ = 0;
    uint8_t flagBit_ = 1;
};

}  // namespace codecs::deflate_internal
