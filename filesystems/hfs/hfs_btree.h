#pragma once
// The B-tree files of HFS and HFS+ (catalog and extents overflow): nodes read
// through the tree file's fork, checked before use and cached, a search down
// from the root, and a walk along the leaf chain. Classic HFS keys carry a
// one-byte length, HFS+ keys a two-byte one; everything else is shared.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace filesystems {

// Node kinds as stored (signed byte at +8 of the node descriptor).
namespace hfs_node {
constexpr int8_t kLeaf = -1;
constexpr int8_t kIndex = 0;
constexpr int8_t kHeader = 1;
constexpr int8_t kMap = 2;
}  // namespace hfs_node

enum class HfsKeyWidth { Byte, Word };

// Orders two keys (the bytes after their length fields): <0, 0, >0.
using HfsKeyCompare = int (*)(std::span<const uint8_t> a, std::span<const uint8_t> b);

// Reads bytes [offset, offset + size) of the tree file; false on failure.
using HfsTreeFileRead = std::function<bool(uint64_t offset, uint8_t* out, size_t size)>;

struct HfsNode {
    uint32_t number = 0;
    uint32_t forwardLink = 0;
    uint32_t backwardLink = 0;
    int8_t kind = 0;
    uint8_t height = 0;
    uint16_t recordCount = 0;
    std::vector<uint8_t> bytes;
    std::vector<uint16_t> offsets;         // recordCount + 1 starts: record i is [offsets[i], offsets[i+1])
};

struct HfsRecord {
    std::span<const uint8_t> key;          // without its length field
    std::span<const uint8_t> data;         // what follows the key (index records: the child pointer)
};

class HfsBTree {
public:
    // Reads and checks the header node. False when the tree cannot be used.
    bool Open(HfsTreeFileRead read, uint64_t fileBytes, HfsKeyWidth width, HfsKeyCompare compare);
    bool IsOpen() const { return nodeSize_ != 0; }

    uint16_t NodeSize() const { return nodeSize_; }
    uint32_t LeafRecords() const { return leafRecords_; }
    uint32_t FirstLeaf() const { return firstLeaf_; }
    uint32_t TotalNodes() const { return totalNodes_; }
    uint8_t KeyCompareType() const { return keyCompareType_; }

    // Node n, checked; null when it is out of range, unreadable or damaged.
    std::shared_ptr<const HfsNode> GetNode(uint32_t n);
    // Record i of a checked index or leaf node.
    bool RecordAt(const HfsNode& node, uint16_t i, HfsRecord& out) const;

    // The leaf record with the greatest key not above `key`: 1 when its key
    // equals `key`, 0 when it is smaller, -1 when every key is greater (or the
    // tree is empty), -2 on damage. The node is returned so the spans stay valid.
    int Search(std::span<const uint8_t> key, std::shared_ptr<const HfsNode>& node, HfsRecord& found);

    // Calls visit for each leaf record along the leaf chain, in order, until
    // visit returns false. Each node is visited once and no more records than
    // the header counts are given. False when the chain is damaged (what was
    // visited before stays visited).
    bool WalkLeaves(const std::function<bool(const HfsRecord&)>& visit);

private:
    bool CheckNode(HfsNode& node) const;

    HfsTreeFileRead read_;
    uint64_t fileBytes_ = 0;
    HfsKeyWidth width_ = HfsKeyWidth::Byte;
    HfsKeyCompare compare_ = nullptr;
    uint16_t nodeSize_ = 0;
    uint16_t depth_ = 0;
    uint32_t root_ = 0;
    uint32_t leafRecords_ = 0;
    uint32_t firstLeaf_ = 0;
    uint16_t maxKeyLength_ = 0;
    uint32_t totalNodes_ = 0;
    uint32_t attributes_ = 0;
    uint8_t keyCompareType_ = 0;
    std::unordered_map<uint32_t, std::shared_ptr<const HfsNode>> cache_;
};

}  // namespace filesystems
