#include "foundation/pointer_array.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "foundation/memory.h"

namespace foundation {

CPointerArray::~CPointerArray() { MemFree(items_); }

void CPointerArray::Grow() {
    // Doubling (20 slots at least) keeps a million appends linear.
    int64_t step = std::max<int64_t>(20, capacity_);
    int64_t wanted = std::min<int64_t>(static_cast<int64_t>(capacity_) + step, INT32_MAX);
    if (wanted <= capacity_) AbortOutOfMemory();
    void* block = MemRealloc(items_, static_cast<size_t>(count_) * sizeof(void*),
                             static_cast<size_t>(wanted) * sizeof(void*));
    if (!block) AbortOutOfMemory();
    items_ = static_cast<void**>(block);
    capacity_ = static_cast<int32_t>(wanted);
}

int32_t CPointerArray::Add(void* pointer) {
    while (count_ >= capacity_) Grow();
    items_[count_] = pointer;
    return ++count_;
}

int32_t CPointerArray::InsertAt(int32_t index, void* pointer) {
    if (index < 0 || index > count_) return -1;
    if (index == count_) return Add(pointer);
    while (count_ >= capacity_) Grow();
    std::memmove(items_ + index + 1, items_ + index, static_cast<size_t>(count_ - index) * sizeof(void*));
    items_[index] = pointer;
    return ++count_;
}

int32_t CPointerArray::RemoveAt(int32_t index) {
    if (index < 0 || index >= count_) return -1;
    std::memmove(items_ + index, items_ + index + 1, static_cast<size_t>(count_ - index - 1) * sizeof(void*));
    return --count_;
}

int32_t CPointerArray::RemoveLast() {
    if (count_ > 0) --count_;
    return count_;
}

void CPointerArray::RemoveAll() { count_ = 0; }

void* CPointerArray::GetAt(int32_t index) const {
    if (index < 0 || index >= count_) return nullptr;
    return items_[index];
}

void* CPointerArray::GetLast() const { return count_ > 0 ? items_[count_ - 1] : nullptr; }

COwnedPtrArray::~COwnedPtrArray() { FreeAll(); }

int32_t COwnedPtrArray::FreeAt(int32_t index) {
    // A negative index must not free the slot before the block.
    if (index < 0 || index >= count_) return count_;
    MemFree(items_[index]);
    return RemoveAt(index);
}

void COwnedPtrArray::FreeAll() {
    // Same outcome as freeing index 0 count times, without moving the rest each time.
    for (int32_t i = 0; i < count_; ++i) MemFree(items_[i]);
    count_ = 0;
}

}  // namespace foundation
