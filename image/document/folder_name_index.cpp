#include "image/document/folder_name_index.h"

#include "image/document/item_tree.h"
#include "platform/text.h"

namespace image {
namespace {

constexpr size_t kMinimumCapacity = 64;

// The tree's case folding (through upper case and back, as platform/text.h
// compares), with plain ASCII folded in line: most names are ASCII.
char16_t Fold(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return platform::ToLowerChar(platform::ToUpperChar(c));
}

}  // namespace

uint64_t DisplayNameIndex::Key(std::u16string_view name) {
    // FNV-1a over the folded characters, with a final mix so the low bits used
    // for the slot number depend on every character.
    uint64_t h = 1469598103934665603ull;
    for (char16_t c : name) {
        h ^= Fold(c);
        h *= 1099511628211ull;
    }
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return h;
}

void DisplayNameIndex::Rehash(size_t capacity) {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(capacity, Slot{});
    live_ = 0;
    removed_ = 0;
    for (const Slot& slot : old) {
        if (slot.state == 1) Place(slot.key, slot.item, slot.order);
    }
}

void DisplayNameIndex::GrowIfNeeded() {
    size_t capacity = slots_.size();
    if (capacity == 0) {
        Rehash(kMinimumCapacity);
        return;
    }
    // Keep live + removed slots at most half full so probe runs stay short.
    if (static_cast<size_t>(live_ + removed_ + 1) * 2 <= capacity) return;
    // Doubling while the live entries fill more than a quarter; otherwise the
    // same size, which only clears the removed slots.
    size_t wanted = capacity;
    while (static_cast<size_t>(live_ + 1) * 4 > wanted) wanted *= 2;
    Rehash(wanted);
}

void DisplayNameIndex::Place(uint64_t key, ImageItem* item, uint64_t order) {
    size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(key) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.state != 1) {
            if (slot.state == 2) --removed_;
            slot = Slot{key, item, order, 1};
            ++live_;
            return;
        }
    }
}

void DisplayNameIndex::Build(const ImageFolder& folder) {
    int64_t count = 0;
    for (const ImageItem* item = folder.firstItem; item; item = item->next) ++count;
    size_t capacity = kMinimumCapacity;
    while (static_cast<size_t>(count) * 4 > capacity) capacity *= 2;
    slots_.assign(capacity, Slot{});
    live_ = 0;
    removed_ = 0;
    // The head gets the largest order, as if the items had been linked from
    // the tail forwards.
    uint64_t order = static_cast<uint64_t>(count);
    for (ImageItem* item = folder.firstItem; item; item = item->next) Place(Key(item->name), item, order--);
    nextOrder_ = static_cast<uint64_t>(count);
}

void DisplayNameIndex::InsertAtHead(ImageItem* item) {
    GrowIfNeeded();
    Place(Key(item->name), item, ++nextOrder_);
}

DisplayNameIndex::Slot* DisplayNameIndex::SlotOf(ImageItem* item, uint64_t key) {
    if (slots_.empty() || !item) return nullptr;
    size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(key) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.state == 0) break;
        if (slot.state == 1 && slot.item == item) return &slot;
    }
    // Renamed behind the index's back: found by pointer, so no stale pointer
    // to a freed item can stay behind.
    for (Slot& slot : slots_) {
        if (slot.state == 1 && slot.item == item) return &slot;
    }
    return nullptr;
}

bool DisplayNameIndex::Remove(ImageItem* item) {
    Slot* slot = item ? SlotOf(item, Key(item->name)) : nullptr;
    if (!slot) return false;
    slot->state = 2;
    slot->item = nullptr;
    --live_;
    ++removed_;
    return true;
}

bool DisplayNameIndex::Rename(ImageItem* item, std::u16string_view oldName) {
    Slot* slot = item ? SlotOf(item, Key(oldName)) : nullptr;
    if (!slot) return false;
    uint64_t order = slot->order;
    slot->state = 2;
    slot->item = nullptr;
    --live_;
    ++removed_;
    GrowIfNeeded();
    Place(Key(item->name), item, order);
    return true;
}

ImageItem* DisplayNameIndex::Find(std::u16string_view name, Filter filter) const {
    if (slots_.empty()) return nullptr;
    size_t mask = slots_.size() - 1;
    uint64_t key = Key(name);
    // The key is folded, so names equal without case share a probe run; among
    // them the exact spelling wins.
    ImageItem* exact = nullptr;
    uint64_t exactOrder = 0;
    ImageItem* folded = nullptr;
    uint64_t foldedOrder = 0;
    for (size_t i = static_cast<size_t>(key) & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.state == 0) break;
        if (slot.state != 1 || slot.key != key) continue;
        if (slot.item->name == name) {
            if ((!exact || slot.order > exactOrder) && (!filter || filter(slot.item))) {
                exact = slot.item;
                exactOrder = slot.order;
            }
        } else if (!exact && (!folded || slot.order > foldedOrder) && platform::EqualsNoCase(slot.item->name, name) &&
                   (!filter || filter(slot.item))) {
            folded = slot.item;
            foldedOrder = slot.order;
        }
    }
    return exact ? exact : folded;
}

}  // namespace image
