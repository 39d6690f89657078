#include "image/document/item_name.h"

#include <algorithm>
#include <new>

namespace image {

char16_t* NameArena::Allocate(size_t units) {
    if (units <= freeUnits_) {
        char16_t* at = free_;
        free_ += units;
        freeUnits_ -= units;
        return at;
    }
    // A long name gets a block of its own; the current block stays in use.
    const bool own = units > kBlockUnits / 4;
    std::unique_ptr<char16_t[]> block(new (std::nothrow) char16_t[own ? units : kBlockUnits]);
    if (!block) return nullptr;
    char16_t* at = block.get();
    try {
        blocks_.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!own) {
        free_ = at + units;
        freeUnits_ = kBlockUnits - units;
    }
    return at;
}

void NameArena::Reset() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    free_ = nullptr;
    freeUnits_ = 0;
}

ItemName& ItemName::assign(std::u16string_view text) {
    if (text.empty()) {
        Release();
        return *this;
    }
    char16_t* copy = new char16_t[text.size()];
    std::copy(text.begin(), text.end(), copy);
    Release();
    data_ = copy;
    size_ = static_cast<uint32_t>(text.size());
    owned_ = true;
    return *this;
}

void ItemName::AssignInArena(NameArena& arena, std::u16string_view text) {
    char16_t* copy = text.empty() ? nullptr : arena.Allocate(text.size());
    if (!copy) {
        assign(text);
        return;
    }
    std::copy(text.begin(), text.end(), copy);
    Release();
    data_ = copy;
    size_ = static_cast<uint32_t>(text.size());
}

}  // namespace image
