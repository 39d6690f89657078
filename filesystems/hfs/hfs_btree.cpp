#include "filesystems/hfs/hfs_btree.h"

#include <unordered_set>

#include "foundation/byte_cursor.h"

namespace filesystems {
namespace {

// Node descriptor (Inside Macintosh: Files 2-65; TN1150 BTNodeDescriptor).
constexpr size_t kForwardLink = 0;
constexpr size_t kBackwardLink = 4;
constexpr size_t kKind = 8;
constexpr size_t kHeight = 9;
constexpr size_t kRecordCount = 10;
constexpr size_t kDescriptorBytes = 14;
// Header record, counted from the node's start.
constexpr size_t kDepth = 14;
constexpr size_t kRoot = 16;
constexpr size_t kLeafRecords = 20;
constexpr size_t kFirstLeaf = 24;
constexpr size_t kNodeSize = 32;
constexpr size_t kMaxKeyLength = 34;
constexpr size_t kTotalNodes = 36;
constexpr size_t kKeyCompareType = 51;      // HFS+ only; reserved (zero) on HFS
constexpr size_t kAttributes = 52;          // HFS+ only
constexpr uint32_t kVariableIndexKeys = 4;

constexpr uint16_t kMinNodeBytes = 512;
constexpr uint32_t kMaxNodeBytes = 32768;
// Real trees stay below ten levels; a deeper one is crafted.
constexpr uint16_t kMaxDepth = 16;
// Nodes kept in memory: enough for the upper levels of every search.
constexpr size_t kCacheNodes = 512;

}  // namespace

bool HfsBTree::Open(HfsTreeFileRead read, uint64_t fileBytes, HfsKeyWidth width, HfsKeyCompare compare) {
    read_ = std::move(read);
    fileBytes_ = fileBytes;
    width_ = width;
    compare_ = compare;
    nodeSize_ = 0;
    cache_.clear();
    if (fileBytes < kMinNodeBytes) return false;
    std::vector<uint8_t> head(kMinNodeBytes);
    if (!read_(0, head.data(), head.size())) return false;
    foundation::ByteCursor h(head);
    const uint16_t nodeSize = h.Be16(kNodeSize);
    if (nodeSize < kMinNodeBytes || nodeSize > kMaxNodeBytes || (nodeSize & (nodeSize - 1)) != 0) return false;
    if (int8_t(h.U8(kKind)) != hfs_node::kHeader) return false;
    depth_ = h.Be16(kDepth);
    root_ = h.Be32(kRoot);
    leafRecords_ = h.Be32(kLeafRecords);
    firstLeaf_ = h.Be32(kFirstLeaf);
    maxKeyLength_ = h.Be16(kMaxKeyLength);
    totalNodes_ = h.Be32(kTotalNodes);
    keyCompareType_ = width == HfsKeyWidth::Word ? h.U8(kKeyCompareType) : 0;
    attributes_ = width == HfsKeyWidth::Word ? h.Be32(kAttributes) : 0;
    if (totalNodes_ == 0 || depth_ > kMaxDepth) return false;
    // Nodes past the end of the file cannot be read: count only those inside.
    const uint64_t inFile = fileBytes / nodeSize;
    if (inFile == 0) return false;
    if (totalNodes_ > inFile) totalNodes_ = uint32_t(inFile);
    nodeSize_ = nodeSize;
    if (!GetNode(0)) {
        nodeSize_ = 0;
        return false;
    }
    return true;
}

bool HfsBTree::CheckNode(HfsNode& node) const {
    foundation::ByteCursor c(node.bytes);
    node.forwardLink = c.Be32(kForwardLink);
    node.backwardLink = c.Be32(kBackwardLink);
    node.kind = int8_t(c.U8(kKind));
    node.height = c.U8(kHeight);
    node.recordCount = c.Be16(kRecordCount);
    switch (node.kind) {
        case hfs_node::kLeaf:
            if (node.height != 1) return false;
            break;
        case hfs_node::kIndex:
            if (node.height < 2 || node.height > depth_) return false;
            break;
        case hfs_node::kHeader:
        case hfs_node::kMap:
            if (node.height != 0) return false;
            break;
        default:
            return false;
    }
    // The offset table (count + 1 entries, the last one the free space) sits
    // at the node's end and must leave room for the descriptor.
    const uint64_t tableBytes = 2 * (uint64_t(node.recordCount) + 1);
    if (kDescriptorBytes + tableBytes > nodeSize_) return false;
    const uint64_t tableStart = nodeSize_ - tableBytes;
    node.offsets.resize(size_t(node.recordCount) + 1);
    for (size_t i = 0; i <= node.recordCount; ++i) {
        const uint16_t offset = c.Be16(nodeSize_ - 2 * (i + 1));
        if (offset % 2 != 0 || offset > tableStart) return false;
        // Records are never empty, so the starts rise strictly.
        if (i == 0 ? offset != kDescriptorBytes : offset <= node.offsets[i - 1]) return false;
        node.offsets[i] = offset;
    }
    if (node.kind != hfs_node::kLeaf && node.kind != hfs_node::kIndex) return true;
    for (uint16_t i = 0; i < node.recordCount; ++i) {
        HfsRecord r;
        if (!RecordAt(node, i, r)) return false;
        if (node.kind == hfs_node::kIndex && r.data.size() < 4) return false;
    }
    return true;
}

bool HfsBTree::RecordAt(const HfsNode& node, uint16_t i, HfsRecord& out) const {
    if (i >= node.recordCount || node.offsets.size() < size_t(i) + 2) return false;
    const size_t start = node.offsets[i];
    const size_t end = node.offsets[size_t(i) + 1];
    foundation::ByteCursor c(node.bytes);
    auto record = c.Sub(start, end - start);
    if (!record) return false;
    const size_t field = width_ == HfsKeyWidth::Byte ? 1 : 2;
    const uint64_t keyLength = width_ == HfsKeyWidth::Byte ? record->U8(0) : record->Be16(0);
    if (!record->Ok()) return false;
    // The key's length field plus the key must leave room for data.
    if (field + keyLength >= record->Size()) return false;
    uint64_t keyArea = field + keyLength;
    if (node.kind == hfs_node::kIndex && !(attributes_ & kVariableIndexKeys) && width_ == HfsKeyWidth::Byte) {
        // Classic HFS index records keep keys at the maximum length.
        keyArea = field + maxKeyLength_;
    }
    if (width_ == HfsKeyWidth::Byte) keyArea += keyArea & 1;
    if (keyArea > record->Size()) return false;
    out.key = record->Bytes().subspan(field, size_t(keyLength));
    out.data = record->Bytes().subspan(size_t(keyArea));
    return true;
}

std::shared_ptr<const HfsNode> HfsBTree::GetNode(uint32_t n) {
    if (nodeSize_ == 0 || n >= totalNodes_) return nullptr;
    if (auto it = cache_.find(n); it != cache_.end()) return it->second;
    auto node = std::make_shared<HfsNode>();
    node->number = n;
    node->bytes.resize(nodeSize_);
    if (!read_(uint64_t(n) * nodeSize_, node->bytes.data(), nodeSize_)) return nullptr;
    if (!CheckNode(*node)) return nullptr;
    if (cache_.size() >= kCacheNodes) cache_.clear();
    cache_.emplace(n, node);
    return node;
}

int HfsBTree::Search(std::span<const uint8_t> key, std::shared_ptr<const HfsNode>& node, HfsRecord& found) {
    if (nodeSize_ == 0 || depth_ == 0 || root_ == 0) return -1;
    uint32_t n = root_;
    for (uint16_t level = depth_; level >= 1; --level) {
        node = GetNode(n);
        if (!node || node->height != level) return -2;
        if (node->kind != (level == 1 ? hfs_node::kLeaf : hfs_node::kIndex)) return -2;
        // The last record whose key is not above the search key.
        int32_t lo = 0, hi = int32_t(node->recordCount) - 1, best = -1;
        int bestCompare = 1;
        while (lo <= hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            HfsRecord r;
            if (!RecordAt(*node, uint16_t(mid), r)) return -2;
            const int cmp = compare_(r.key, key);
            if (cmp <= 0) {
                best = mid;
                bestCompare = cmp;
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        if (best < 0) return -1;
        if (!RecordAt(*node, uint16_t(best), found)) return -2;
        if (level == 1) return bestCompare == 0 ? 1 : 0;
        foundation::ByteCursor child(found.data);
        n = child.Be32(0);
    }
    return -2;
}

bool HfsBTree::WalkLeaves(const std::function<bool(const HfsRecord&)>& visit) {
    std::unordered_set<uint32_t> seen;
    uint64_t records = 0;
    for (uint32_t n = firstLeaf_; n != 0;) {
        if (!seen.insert(n).second) return false;
        std::shared_ptr<const HfsNode> node = GetNode(n);
        if (!node || node->kind != hfs_node::kLeaf) return false;
        for (uint16_t i = 0; i < node->recordCount; ++i) {
            if (records++ >= leafRecords_) return true;
            HfsRecord r;
            if (!RecordAt(*node, i, r)) return false;
            if (!visit(r)) return true;
        }
        n = node->forwardLink;
    }
    return true;
}

}  // namespace filesystems
