#pragma once
// An item's displayed name, and the arena a document keeps for the names its
// tree readers make. Opening an image of a hundred thousand entries would
// otherwise cost one heap block per name; from the arena the names of a whole
// tree take a few large blocks, freed with the tree in one place
// (ReleaseDocumentContents).
//
// A name is either in its document's arena (given by a reader through
// AssignInArena) or in a heap block of its own (every other assignment:
// renames, copies, names of new entries). Either way it reads as a
// std::u16string_view; only the arena's owner ends an arena name's life, so
// an item whose name is in an arena never outlives its document.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace image {

// Bump storage for names; freed all at once by Reset or the destructor.
class NameArena {
public:
    NameArena() = default;
    NameArena(const NameArena&) = delete;
    NameArena& operator=(const NameArena&) = delete;

    // Room for units UTF-16 units; null when out of memory.
    char16_t* Allocate(size_t units);
    void Reset();

private:
    // Large enough that an image's names need few blocks, small enough that a
    // document of a few names wastes little.
    static constexpr size_t kBlockUnits = 32 * 1024;
    std::vector<std::unique_ptr<char16_t[]>> blocks_;
    char16_t* free_ = nullptr;
    size_t freeUnits_ = 0;
};

class ItemName {
public:
    ItemName() = default;
    ItemName(std::u16string_view text) { assign(text); }
    ItemName(const char16_t* text) { assign(std::u16string_view(text)); }
    ItemName(const std::u16string& text) { assign(std::u16string_view(text)); }
    ItemName(const ItemName& other) { assign(other.view()); }
    ItemName(ItemName&& other) noexcept { Take(other); }
    ItemName& operator=(const ItemName& other) {
        if (this != &other) assign(other.view());
        return *this;
    }
    ItemName& operator=(ItemName&& other) noexcept {
        if (this != &other) {
            Release();
            Take(other);
        }
        return *this;
    }
    ItemName& operator=(std::u16string_view text) { return assign(text); }
    ItemName& operator=(const std::u16string& text) { return assign(std::u16string_view(text)); }
    ItemName& operator=(const char16_t* text) { return assign(std::u16string_view(text)); }
    ~ItemName() { Release(); }

    // A copy in a heap block of the name's own (std::bad_alloc when out of memory).
    ItemName& assign(std::u16string_view text);
    // A copy in the arena; in a heap block of its own when the arena has no room.
    void AssignInArena(NameArena& arena, std::u16string_view text);

    std::u16string_view view() const { return {data_, size_}; }
    operator std::u16string_view() const { return view(); }
    // Callers that keep a name of their own take a copy.
    operator std::u16string() const { return str(); }
    std::u16string str() const { return std::u16string(view()); }
    const char16_t* data() const { return data_; }
    size_t size() const { return size_; }
    size_t length() const { return size_; }
    bool empty() const { return size_ == 0; }
    char16_t operator[](size_t i) const { return data_[i]; }
    const char16_t* begin() const { return data_; }
    const char16_t* end() const { return data_ + size_; }
    char16_t back() const { return data_[size_ - 1]; }
    std::u16string_view substr(size_t at, size_t n = std::u16string_view::npos) const { return view().substr(at, n); }
    void clear() { Release(); }
    void shrink_to_fit() {}

    friend bool operator==(const ItemName& a, std::u16string_view b) { return a.view() == b; }
    friend bool operator==(const ItemName& a, const ItemName& b) { return a.view() == b.view(); }
    friend bool operator==(const ItemName& a, const std::u16string& b) { return a.view() == std::u16string_view(b); }
    friend bool operator==(const ItemName& a, const char16_t* b) { return a.view() == std::u16string_view(b); }
    friend std::u16string operator+(const ItemName& a, std::u16string_view b) { return a.str().append(b); }
    friend std::u16string operator+(std::u16string_view a, const ItemName& b) {
        return std::u16string(a).append(b.view());
    }

private:
    void Release() {
        if (owned_) delete[] data_;
        data_ = u"";
        size_ = 0;
        owned_ = false;
    }
    void Take(ItemName& other) {
        data_ = other.data_;
        size_ = other.size_;
        owned_ = other.owned_;
        other.data_ = u"";
        other.size_ = 0;
        other.owned_ = false;
    }

    const char16_t* data_ = u"";
    uint32_t size_ = 0;
    bool owned_ = false;   // data_ is a heap block of this name's own
};

}  // namespace image
