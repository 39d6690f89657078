#include "foundation/memory.h"
#include "foundation/out_of_memory_services.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace foundation;

TEST(Memory, ZeroSizeOrAbortGivesNullWithoutAborting) { EXPECT_EQ(MemAllocZeroOrAbort(0), nullptr); }

TEST(Memory, AllocZeroIsZero) {
    auto* block = static_cast<unsigned char*>(MemAllocZero(37));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 37; ++i) EXPECT_EQ(block[i], 0);
    MemFree(block);
    MemFree(nullptr);
}

TEST(Memory, ReallocKeepsAtMostTheNewSize) {
    auto* old = static_cast<char*>(MemAlloc(64));
    std::memset(old, 'x', 64);
    // A keep count beyond the new size must not write past the new block.
    auto* grown = static_cast<char*>(MemRealloc(old, 64, 16));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::string(grown, 16), std::string(16, 'x'));
    auto* fresh = static_cast<char*>(MemRealloc(nullptr, 100, 8));
    ASSERT_NE(fresh, nullptr);
    MemFree(grown);
    MemFree(fresh);
}

TEST(Memory, InjectedFailureLeavesTheOldBlock) {
    auto* old = static_cast<char*>(MemAlloc(8));
    std::memcpy(old, "abcdefg", 8);
    FailAllocationsAfter(0);
    EXPECT_EQ(MemRealloc(old, 8, 32), nullptr);
    EXPECT_EQ(MemAlloc(1), nullptr);
    ClearAllocationFailure();
    FailAllocationsAfter(1);
    void* first = MemAlloc(1);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(MemAlloc(1), nullptr);
    ClearAllocationFailure();
    EXPECT_STREQ(old, "abcdefg");
    MemFree(first);
    MemFree(old);
}

TEST(Memory, StringsCopyAndLowerCase) {
    char16_t* copy = DupStringW(u"ÄBC Straße ΣΑΣ");
    ASSERT_NE(copy, nullptr);
    StrLowerW(copy);
    EXPECT_EQ(std::u16string(copy), u"äbc straße σασ");
    MemFree(copy);
    EXPECT_EQ(DupStringW(nullptr), nullptr);
    std::u16string text = u"MiXeD";
    StrLowerW(text);
    EXPECT_EQ(text, u"mixed");
}

class QuietOutOfMemory final : public IOutOfMemoryServices {
public:
    void ReportOutOfMemory() override {}
};
QuietOutOfMemory g_quiet;

// Out of memory never ends the program with the success code: the console's
// exit code is the command's result.
TEST(MemoryDeathTest, OutOfMemoryExitsWithFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetOutOfMemoryServices(&g_quiet);
            AbortOutOfMemory();
        },
        ::testing::ExitedWithCode(kOutOfMemoryExitCode), "Out of memory. Program abort.");
    EXPECT_EXIT(
        {
            SetOutOfMemoryServices(&g_quiet);
            FailAllocationsAfter(0);
            MemAllocZeroOrAbort(16);
        },
        ::testing::ExitedWithCode(kOutOfMemoryExitCode), "");
    EXPECT_NE(kOutOfMemoryExitCode, 0);
}

}  // namespace
