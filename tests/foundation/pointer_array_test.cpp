#include "foundation/pointer_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "foundation/memory.h"

namespace {

using foundation::COwnedPtrArray;
using foundation::CPointerArray;

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

TEST(PointerArray, Table) {
    CPointerArray a;
    EXPECT_EQ(a.GetCapacity(), 0);
    EXPECT_EQ(a.GetAt(0), nullptr);
    EXPECT_EQ(a.GetLast(), nullptr);
    EXPECT_EQ(a.RemoveLast(), 0);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(a.Add(P(i)), i);
    EXPECT_EQ(a.GetCapacity(), 20);
    EXPECT_EQ(a.Add(P(21)), 21);          // the 21st add grows 20 -> 40
    EXPECT_EQ(a.GetCapacity(), 40);

    struct Row {
        const char* what;
        int32_t result;
        int32_t expected;
    };
    const Row rows[] = {
        {"insert at count appends", a.InsertAt(a.GetCount(), P(22)), 22},
        {"insert at count + 1", a.InsertAt(a.GetCount() + 1, P(99)), -1},
        {"insert at -1", a.InsertAt(-1, P(99)), -1},
        {"insert at 0", a.InsertAt(0, P(0)), 23},
        {"remove at count", a.RemoveAt(a.GetCount()), -1},
        {"remove at -1", a.RemoveAt(-1), -1},
        {"remove at 5", a.RemoveAt(5), 22},
        {"remove last", a.RemoveLast(), 21},
    };
    for (const Row& row : rows) EXPECT_EQ(row.result, row.expected) << row.what;
    EXPECT_EQ(a.GetAt(-1), nullptr);
    EXPECT_EQ(a.GetAt(a.GetCount()), nullptr);
    EXPECT_EQ(a.GetAt(0), P(0));
    EXPECT_EQ(a.GetAt(4), P(4));
    EXPECT_EQ(a.GetAt(5), P(6));          // P(5) was removed
    EXPECT_EQ(a.GetLast(), P(21));        // P(22) was the last, removed
    a.RemoveAll();
    EXPECT_EQ(a.GetCount(), 0);
    EXPECT_EQ(a.GetCapacity(), 40);       // kept for reuse
}

TEST(PointerArray, MillionAddsGrowByDoubling) {
    CPointerArray a;
    int grows = 0;
    int32_t capacity = 0;
    for (intptr_t i = 0; i < 1000000; ++i) {
        a.Add(P(i));
        if (a.GetCapacity() != capacity) {
            ++grows;
            capacity = a.GetCapacity();
        }
    }
    EXPECT_LT(grows, 40);
    EXPECT_EQ(a.GetAt(999999), P(999999));
}

TEST(OwnedPtrArray, FreesItsElements) {
    COwnedPtrArray a;
    for (int i = 0; i < 5; ++i) a.Add(foundation::MemAllocZero(16));
    EXPECT_EQ(a.FreeAt(5), 5);     // past the end: the count, nothing freed
    EXPECT_EQ(a.FreeAt(-1), 5);    // negative: nothing freed either
    EXPECT_EQ(a.FreeAt(0), 4);
    a.FreeAll();
    EXPECT_EQ(a.GetCount(), 0);
    a.Add(foundation::MemAlloc(8));
    // The destructor frees the rest; ASan reports a leak otherwise.
}

}  // namespace
