#pragma once
// The display-name index of one folder: its items by displayed name, compared
// case-insensitively. It answers exactly as a scan of the item list from its
// head would: the item spelled exactly as asked, nearest the head (the most
// recently linked), else the one nearest the head whose name is equal without
// case. Open addressing over the folded-name hash, so lookups and updates stay
// constant-time in folders of a million items.

#include <cstdint>
#include <string_view>
#include <vector>

namespace image {

struct ImageFolder;
struct ImageItem;

class DisplayNameIndex {
public:
    // Hash of a name folded the way the tree compares names: equal names
    // without case always give equal keys.
    static uint64_t Key(std::u16string_view name);

    // Indexes every item of the folder's list.
    void Build(const ImageFolder& folder);
    // An item just linked at the head of the list.
    void InsertAtHead(ImageItem* item);
    // Drops the item (found by pointer); false when it was not indexed.
    bool Remove(ImageItem* item);
    // Re-keys an item whose name changes, keeping its place in the order; the
    // item is found under oldName (or by pointer). False when not indexed.
    bool Rename(ImageItem* item, std::u16string_view oldName);
    // Among the items that pass the filter (null filter: any), the one nearest
    // the head spelled exactly as name, else the one nearest the head equal to
    // name without case; null when none.
    using Filter = bool (*)(const ImageItem*);
    ImageItem* Find(std::u16string_view name, Filter filter = nullptr) const;
    int64_t Size() const { return live_; }

private:
    struct Slot {
        uint64_t key = 0;
        ImageItem* item = nullptr;
        uint64_t order = 0;      // larger = nearer the head
        uint8_t state = 0;       // 0 empty, 1 live, 2 removed
    };
    void Place(uint64_t key, ImageItem* item, uint64_t order);
    // The live slot of the item, looked for under key first; null when absent.
    Slot* SlotOf(ImageItem* item, uint64_t key);
    void GrowIfNeeded();
    void Rehash(size_t capacity);

    std::vector<Slot> slots_;
    int64_t live_ = 0;
    int64_t removed_ = 0;
    uint64_t nextOrder_ = 0;
};

}  // namespace image
