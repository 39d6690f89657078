#pragma once
// The growable pointer array used for lists all over the program. It never owns
// its elements (COwnedPtrArray does). Growth doubles the block (at least 20
// slots at a time), so filling it is linear even for a million entries; it
// never shrinks, and RemoveAll keeps the block for reuse.

#include <cstdint>

namespace foundation {

class CPointerArray {
public:
    CPointerArray() = default;
    virtual ~CPointerArray();
    CPointerArray(const CPointerArray&) = delete;
    CPointerArray& operator=(const CPointerArray&) = delete;

    // Appends; the new count.
    int32_t Add(void* pointer);
    // -1 when index < 0 or index > count; index == count appends; the new count.
    int32_t InsertAt(int32_t index, void* pointer);
    // -1 when index < 0 or index >= count; the new count.
    int32_t RemoveAt(int32_t index);
    // Drops the last element; the new count (0 when already empty).
    int32_t RemoveLast();
    void RemoveAll();
    void* GetAt(int32_t index) const;
    void* GetLast() const;
    int32_t GetCount() const { return count_; }
    int32_t GetCapacity() const { return capacity_; }

protected:
    // Makes room for one more element; ends the program when out of memory.
    void Grow();

    void** items_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

// Owns its elements: heap blocks from MemAlloc / MemAllocZero.
class COwnedPtrArray : public CPointerArray {
public:
    COwnedPtrArray() = default;
    ~COwnedPtrArray() override;

    // index < 0 or >= count: returns the count, nothing changes. Otherwise frees
    // the element and removes it; the new count.
    int32_t FreeAt(int32_t index);
    void FreeAll();
};

}  // namespace foundation
