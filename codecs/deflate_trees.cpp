#include "codecs/deflate_trees.h"

#include <algorithm>
#include <cstring>

#include "codecs/byte_order.h"

namespace codecs::deflate_internal {
namespace {

constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kRep3To6 = 16;
constexpr int kRepZero3To10 = 17;
constexpr int kRepZero11To138 = 18;
constexpr int kMaxBits = kDeflateMaxCodeBits;
constexpr int kMaxBlBits = kDeflateMaxCodeLengthBits;

unsigned ReverseBits(unsigned code, int len) {
    unsigned r = 0;
    do {
        r |= code & 1;
        code >>= 1;
        r <<= 1;
    } while (--len > 0);
    return r >> 1;
}

// The run-length coding of a tree's code lengths (RFC 1951 3.2.7), shared by
// the pass that counts the code-length symbols and the pass that writes them,
// so both always agree. visit(symbol, extraBits, extra) is called for each
// code-length symbol in stream order. tree[maxCode + 1].len must hold a guard
// that equals no length.
template <typename Node, typename Visit>
void ForEachLengthSymbol(const Node* tree, int maxCode, Visit visit) {
    int prevLen = -1;
    int nextLen = tree[0].len;
    int count = 0;
    int maxCount = nextLen == 0 ? 138 : 7;
    int minCount = nextLen == 0 ? 3 : 4;
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = tree[n + 1].len;
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            for (; count > 0; --count) visit(curLen, 0, 0);
        } else if (curLen != 0) {
            if (curLen != prevLen) {
                visit(curLen, 0, 0);
                --count;
            }
            visit(kRep3To6, 2, static_cast<uint32_t>(count - 3));
        } else if (count <= 10) {
            visit(kRepZero3To10, 3, static_cast<uint32_t>(count - 3));
        } else {
            visit(kRepZero11To138, 7, static_cast<uint32_t>(count - 11));
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0) {
            maxCount = 138, minCount = 3;
        } else if (curLen == nextLen) {
            maxCount = 6, minCount = 3;
        } else {
            maxCount = 7, minCount = 4;
        }
    }
}

// The constant tables: the fixed codes and the maps from lengths and
// distances to their codes, made once for the process (read-only after).
struct StaticTables {
    struct Code {
        uint32_t code;
        uint16_t len;
    };
    Code ltree[kDeflateFixedLitLenCodes];
    Code dtree[kDeflateDistanceCodes];
    uint8_t lengthCode[256];     // match length - 3 -> length code
    uint8_t distCode[512];       // see DistCode
    uint8_t baseLength[kDeflateLengthCodes];
    uint16_t baseDist[kDeflateDistanceCodes];

    StaticTables() {
        int length = 0;
        int code;
        for (code = 0; code < kDeflateLengthCodes - 1; ++code) {
            baseLength[code] = static_cast<uint8_t>(length);
            for (int n = 0; n < (1 << kDeflateLengthExtra[code]); ++n) lengthCode[length++] = static_cast<uint8_t>(code);
        }
        baseLength[code] = 0;
        // Length 258 has two codings (284 with all extra bits set, or 285):
        // 285 is the shorter.
        lengthCode[length - 1] = static_cast<uint8_t>(code);

        int dist = 0;
        for (code = 0; code < 16; ++code) {
            baseDist[code] = static_cast<uint16_t>(dist);
            for (int n = 0; n < (1 << kDeflateDistanceExtra[code]); ++n) distCode[dist++] = static_cast<uint8_t>(code);
        }
        dist >>= 7;
        for (; code < kDeflateDistanceCodes; ++code) {
            baseDist[code] = static_cast<uint16_t>(dist << 7);
            for (int n = 0; n < (1 << (kDeflateDistanceExtra[code] - 7)); ++n)
                distCode[256 + dist++] = static_cast<uint8_t>(code);
        }

        uint16_t count[kMaxBits + 1] = {};
        int n = 0;
        while (n <= 143) ltree[n++].len = 8, ++count[8];
        while (n <= 255) ltree[n++].len = 9, ++count[9];
        while (n <= 279) ltree[n++].len = 7, ++count[7];
        while (n <= 287) ltree[n++].len = 8, ++count[8];
        uint16_t next[kMaxBits + 1];
        unsigned c = 0;
        for (int bits = 1; bits <= kMaxBits; ++bits) next[bits] = static_cast<uint16_t>(c = (c + count[bits - 1]) << 1);
        for (n = 0; n < kDeflateFixedLitLenCodes; ++n) ltree[n].code = ReverseBits(next[ltree[n].len]++, ltree[n].len);
        for (n = 0; n < kDeflateDistanceCodes; ++n) {
            dtree[n].len = 5;
            dtree[n].code = ReverseBits(static_cast<unsigned>(n), 5);
        }
    }
    // dist is the match distance - 1.
    unsigned DistCode(unsigned dist) const { return dist < 256 ? distCode[dist] : distCode[256 + (dist >> 7)]; }
};

const StaticTables& Tables() {
    static const StaticTables tables;
    return tables;
}

}  // namespace

void BitWriter::Drain32() {
    if (capacity_ - pos_ >= 4) {
        WriteLE32(out_ + pos_, static_cast<uint32_t>(bits_));
        pos_ += 4;
    } else {
        overflow_ = true;
        pos_ = capacity_;
    }
    bits_ >>= 32;
    count_ -= 32;
}

void BitWriter::Windup() {
    while (count_ > 0) {
        PutByte(static_cast<uint8_t>(bits_));
        bits_ >>= 8;
        count_ = count_ > 8 ? count_ - 8 : 0;
    }
    bits_ = 0;
}

void BitWriter::PutBytes(const uint8_t* data, size_t n) {
    if (capacity_ - pos_ < n) {
        overflow_ = true;
        pos_ = capacity_;
        return;
    }
    std::memcpy(out_ + pos_, data, n);
    pos_ += n;
}

BlockCoder::BlockCoder() {
    const FixedNodes& fixed = Fixed();
    lDesc_ = {dynLTree_, fixed.l, kDeflateLengthExtra, kLiterals + 1, kLCodes, kMaxBits, 0};
    dDesc_ = {dynDTree_, fixed.d, kDeflateDistanceExtra, 0, kDCodes, kMaxBits, 0};
    blDesc_ = {blTree_, nullptr, kDeflateCodeLengthExtra, 0, kBlCodes, kMaxBlBits, 0};
    InitBlock();
}

// The fixed codes in the node shape of the dynamic trees: they estimate a
// block's fixed-code size and code fixed blocks.
const BlockCoder::FixedNodes& BlockCoder::Fixed() {
    static const FixedNodes fixed = [] {
        FixedNodes f;
        const StaticTables& t = Tables();
        for (int n = 0; n < kDeflateFixedLitLenCodes; ++n) f.l[n].freq = t.ltree[n].code, f.l[n].len = t.ltree[n].len;
        for (int n = 0; n < kDeflateDistanceCodes; ++n) f.d[n].freq = t.dtree[n].code, f.d[n].len = t.dtree[n].len;
        return f;
    }();
    return fixed;
}

void BlockCoder::InitBlock() {
    for (int n = 0; n < kLCodes; ++n) dynLTree_[n].freq = 0;
    for (int n = 0; n < kDCodes; ++n) dynDTree_[n].freq = 0;
    for (int n = 0; n < kBlCodes; ++n) blTree_[n].freq = 0;
    dynLTree_[kEndBlock].freq = 1;
    optLen_ = staticLen_ = 0;
    lastLit_ = lastDist_ = lastFlags_ = 0;
    flags_ = 0;
    flagBit_ = 1;
}

bool BlockCoder::Tally(unsigned dist, unsigned lc, uint64_t inLength) {
    const StaticTables& t = Tables();
    lBuf_[lastLit_++] = static_cast<uint8_t>(lc);
    if (dist == 0) {
        ++dynLTree_[lc].freq;
    } else {
        --dist;
        ++dynLTree_[t.lengthCode[lc] + kLiterals + 1].freq;
        ++dynDTree_[t.DistCode(dist)].freq;
        dBuf_[lastDist_++] = static_cast<uint16_t>(dist);
        flags_ |= flagBit_;
    }
    flagBit_ = static_cast<uint8_t>(flagBit_ << 1);
    if ((lastLit_ & 7) == 0) {
        flagBuf_[lastFlags_++] = flags_;
        flags_ = 0;
        flagBit_ = 1;
    }
    // Every 4096 symbols: end the block early when it is mostly literals and
    // already codes to less than half its input, as the statistics are then
    // likely to change.
    if ((lastLit_ & 0xFFF) == 0) {
        uint64_t outLength = uint64_t{lastLit_} * 8;
        for (int dcode = 0; dcode < kDCodes; ++dcode)
            outLength += uint64_t{dynDTree_[dcode].freq} * (5 + kDeflateDistanceExtra[dcode]);
        outLength >>= 3;
        if (lastDist_ < lastLit_ / 2 && outLength < inLength / 2) return true;
    }
    // One short of the buffer, so a stored block never exceeds 65535 bytes.
    return lastLit_ == kLitBufSize - 1 || lastDist_ == kDistBufSize;
}

void BlockCoder::DownHeap(const Node* tree, int k) {
    const int v = heap_[k];
    int j = k << 1;
    while (j <= heapLen_) {
        if (j < heapLen_ && Smaller(tree, heap_[j + 1], heap_[j])) ++j;
        if (Smaller(tree, v, heap_[j])) break;
        heap_[k] = heap_[j];
        k = j;
        j <<= 1;
    }
    heap_[k] = v;
}

void BlockCoder::GenBitLengths(TreeDesc& desc) {
    Node* tree = desc.tree;
    const int maxCode = desc.maxCode;
    const int maxLength = desc.maxLength;
    int overflow = 0;
    for (int bits = 0; bits <= kMaxBits; ++bits) blCount_[bits] = 0;

    // Optimal lengths first, walking the heap from the root; a length past
    // the limit is clipped and counted.
    tree[heap_[heapMax_]].len = 0;
    int h;
    for (h = heapMax_ + 1; h < kHeapSize; ++h) {
        const int n = heap_[h];
        int bits = tree[tree[n].dad].len + 1;
        if (bits > maxLength) bits = maxLength, ++overflow;
        tree[n].len = static_cast<uint16_t>(bits);
        if (n > maxCode) continue;   // not a leaf
        ++blCount_[bits];
        int xbits = n >= desc.extraBase ? desc.extraBits[n - desc.extraBase] : 0;
        const int64_t f = tree[n].freq;
        optLen_ += f * (bits + xbits);
        if (desc.staticTree) staticLen_ += f * (desc.staticTree[n].len + xbits);
    }
    if (overflow == 0) return;

    // Move leaves down until the clipped ones fit (Kraft sum back to 1).
    do {
        int bits = maxLength - 1;
        while (blCount_[bits] == 0) --bits;
        --blCount_[bits];
        blCount_[bits + 1] += 2;
        --blCount_[maxLength];
        overflow -= 2;
    } while (overflow > 0);

    // Hand the lengths out again, longest to the least frequent.
    for (int bits = maxLength; bits != 0; --bits) {
        int n = blCount_[bits];
        while (n != 0) {
            const int m = heap_[--h];
            if (m > maxCode) continue;
            if (tree[m].len != bits) {
                optLen_ += (int64_t{bits} - tree[m].len) * int64_t{tree[m].freq};
                tree[m].len = static_cast<uint16_t>(bits);
            }
            --n;
        }
    }
}

void BlockCoder::GenCodes(Node* tree, int maxCode) {
    uint16_t next[kMaxBits + 1];
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) next[bits] = static_cast<uint16_t>(code = (code + blCount_[bits - 1]) << 1);
    for (int n = 0; n <= maxCode; ++n) {
        const int len = tree[n].len;
        if (len == 0) continue;
        tree[n].freq = ReverseBits(next[len]++, len);
    }
}

void BlockCoder::BuildTree(TreeDesc& desc) {
    Node* tree = desc.tree;
    const Node* stree = desc.staticTree;
    const int elems = desc.elems;
    int maxCode = -1;
    int node = elems;

    heapLen_ = 0;
    heapMax_ = kHeapSize;
    for (int n = 0; n < elems; ++n) {
        if (tree[n].freq != 0) {
            heap_[++heapLen_] = maxCode = n;
            depth_[n] = 0;
        } else {
            tree[n].len = 0;
        }
    }
    // A decoder needs at least two codes (a one-code tree has no bits), so
    // add symbol 0 or 1 with a nominal frequency.
    while (heapLen_ < 2) {
        const int added = heap_[++heapLen_] = (maxCode < 2 ? ++maxCode : 0);
        tree[added].freq = 1;
        depth_[added] = 0;
        --optLen_;
        if (stree) staticLen_ -= stree[added].len;
    }
    desc.maxCode = maxCode;

    for (int n = heapLen_ / 2; n >= 1; --n) DownHeap(tree, n);

    do {
        const int n = heap_[1];
        heap_[1] = heap_[heapLen_--];
        DownHeap(tree, 1);
        const int m = heap_[1];
        heap_[--heapMax_] = n;
        heap_[--heapMax_] = m;
        tree[node].freq = tree[n].freq + tree[m].freq;
        depth_[node] = static_cast<uint8_t>(std::max(depth_[n], depth_[m]) + 1);
        tree[n].dad = tree[m].dad = static_cast<uint16_t>(node);
        heap_[1] = node++;
        DownHeap(tree, 1);
    } while (heapLen_ >= 2);
    heap_[--heapMax_] = heap_[1];

    GenBitLengths(desc);
    GenCodes(tree, maxCode);
}

void BlockCoder::ScanTree(Node* tree, int maxCode) {
    tree[maxCode + 1].len = 0xFFFF;   // guard, read by SendTree too
    ForEachLengthSymbol(tree, maxCode, [&](int symbol, unsigned, uint32_t) { ++blTree_[symbol].freq; });
}

void BlockCoder::SendTree(const Node* tree, int maxCode, BitWriter& out) {
    ForEachLengthSymbol(tree, maxCode, [&](int symbol, unsigned extraBits, uint32_t extra) {
        SendCode(symbol, blTree_, out);
        if (extraBits != 0) out.Send(extra, extraBits);
    });
}

int BlockCoder::BuildBitLengthTree() {
    ScanTree(dynLTree_, lDesc_.maxCode);
    ScanTree(dynDTree_, dDesc_.maxCode);
    BuildTree(blDesc_);
    // At least four code-length lengths are always sent (HCLEN counts from 4).
    int maxIndex;
    for (maxIndex = kBlCodes - 1; maxIndex >= 3; --maxIndex)
        if (blTree_[kDeflateCodeLengthOrder[maxIndex]].len != 0) break;
    optLen_ += 3 * (maxIndex + 1) + 5 + 5 + 4;
    return maxIndex;
}

void BlockCoder::SendAllTrees(int lcodes, int dcodes, int blcodes, BitWriter& out) {
    out.Send(static_cast<uint32_t>(lcodes - 257), 5);
    out.Send(static_cast<uint32_t>(dcodes - 1), 5);
    out.Send(static_cast<uint32_t>(blcodes - 4), 4);
    for (int rank = 0; rank < blcodes; ++rank) out.Send(blTree_[kDeflateCodeLengthOrder[rank]].len, 3);
    SendTree(dynLTree_, lcodes - 1, out);
    SendTree(dynDTree_, dcodes - 1, out);
}

void BlockCoder::CompressBlock(const Node* ltree, const Node* dtree, BitWriter& out) {
    const StaticTables& t = Tables();
    unsigned lx = 0;
    unsigned dx = 0;
    unsigned fx = 0;
    uint8_t flag = 0;
    if (lastLit_ != 0) {
        do {
            if ((lx & 7) == 0) flag = flagBuf_[fx++];
            unsigned lc = lBuf_[lx++];
            if ((flag & 1) == 0) {
                SendCode(static_cast<int>(lc), ltree, out);
            } else {
                unsigned code = t.lengthCode[lc];
                SendCode(static_cast<int>(code + kLiterals + 1), ltree, out);
                unsigned extra = kDeflateLengthExtra[code];
                if (extra != 0) out.Send(lc - t.baseLength[code], extra);
                unsigned dist = dBuf_[dx++];
                code = t.DistCode(dist);
                SendCode(static_cast<int>(code), dtree, out);
                extra = kDeflateDistanceExtra[code];
                if (extra != 0) out.Send(dist - t.baseDist[code], extra);
            }
            flag >>= 1;
        } while (lx < lastLit_);
    }
    SendCode(kEndBlock, ltree, out);
}

void BlockCoder::FlushBlock(const uint8_t* stored, uint64_t storedLength, bool last, BitWriter& out,
                            const DeflateBlockTypeCodes& codes) {
    flagBuf_[lastFlags_] = flags_;
    BuildTree(lDesc_);
    BuildTree(dDesc_);
    const int maxBlIndex = BuildBitLengthTree();

    uint64_t optLenBytes = static_cast<uint64_t>(optLen_ + 3 + 7) >> 3;
    const uint64_t staticLenBytes = static_cast<uint64_t>(staticLen_ + 3 + 7) >> 3;
    if (staticLenBytes <= optLenBytes) optLenBytes = staticLenBytes;

    const uint32_t lastBit = last ? 1 : 0;
    if (stored && storedLength + 4 <= optLenBytes && storedLength <= 0xFFFF) {
        out.Send(uint32_t{codes.stored} << 1 | lastBit, 3);
        out.Windup();
        const uint16_t len = static_cast<uint16_t>(storedLength);
        out.PutByte(static_cast<uint8_t>(len));
        out.PutByte(static_cast<uint8_t>(len >> 8));
        out.PutByte(static_cast<uint8_t>(~len));
        out.PutByte(static_cast<uint8_t>(~len >> 8));
        out.PutBytes(stored, len);
    } else if (staticLenBytes == optLenBytes) {
        out.Send(uint32_t{codes.fixed} << 1 | lastBit, 3);
        CompressBlock(Fixed().l, Fixed().d, out);
    } else {
        out.Send(uint32_t{codes.dynamic} << 1 | lastBit, 3);
        SendAllTrees(lDesc_.maxCode + 1, dDesc_.maxCode + 1, maxBlIndex + 1, out);
        CompressBlock(dynLTree_, dynDTree_, out);
    }
    InitBlock();
    if (last) out.Windup();
}

}  // namespace codecs::deflate_internal
