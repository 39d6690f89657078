#include "platform/runtime_library.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ScopedClose {
    platform::RuntimeLibrary& library;
    ~ScopedClose() { library.Close(); }
};

TEST(RuntimeLibrary, LoadsTheFirstCandidateThatLoadsAndBindsItsEntries) {
    platform::RuntimeLibrary library;
    ASSERT_TRUE(library.Load({"/nonexistent/libz.so.1", "", "libz.so.1"})) << library.Error();
    ScopedClose close{library};
    EXPECT_TRUE(library.IsOpen());
    decltype(&::zlibVersion) version = nullptr;
    ASSERT_TRUE(library.Bind(version, "zlibVersion"));
    EXPECT_STREQ(version(), ZLIB_VERSION);
}

TEST(RuntimeLibrary, RefusesWhatIsMissingAndSaysWhy) {
    struct Case {
        std::vector<std::string> candidates;
        const char* entry;   // bound after a successful load
        bool loads;
    };
    const Case cases[] = {
        {{}, nullptr, false},
        {{"/nonexistent/libnothing.so"}, nullptr, false},
        {{"libz.so.1"}, "no_such_function_here", true},
    };
    for (const Case& c : cases) {
        platform::RuntimeLibrary library;
        ScopedClose close{library};
        EXPECT_EQ(library.Load(c.candidates), c.loads);
        if (!c.loads) {
            EXPECT_FALSE(library.IsOpen());
            EXPECT_FALSE(library.Error().empty());
            continue;
        }
        void (*entry)() = reinterpret_cast<void (*)()>(1);
        EXPECT_FALSE(library.Bind(entry, c.entry));
        EXPECT_EQ(entry, nullptr);
        EXPECT_NE(library.Error().find(c.entry), std::string::npos) << library.Error();
    }
}

TEST(RuntimeLibrary, PartsLoadedLaterFindEntriesOfAnyPart) {
    platform::RuntimeLibrary library;
    ASSERT_TRUE(library.Load({"libz.so.1"}));
    ASSERT_TRUE(library.Load({"libbz2.so.1.0"}));
    EXPECT_NE(library.Symbol("zlibVersion"), nullptr);
    EXPECT_NE(library.Symbol("BZ2_bzlibVersion"), nullptr);
    platform::RuntimeLibrary moved = std::move(library);
    EXPECT_FALSE(library.IsOpen());
    EXPECT_NE(moved.Symbol("BZ2_bzlibVersion"), nullptr);
    moved.Close();
    EXPECT_EQ(moved.Symbol("zlibVersion"), nullptr);
}

}  // namespace
