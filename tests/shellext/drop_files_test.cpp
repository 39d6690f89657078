// File-drop lists from another program: each malformed block is refused
// without reading past its end (the sanitizer sees an over-read of the
// exactly-sized copy), and well-formed ones give their names whole.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shellext/drop_files.h"

namespace {

using shellext::ParseDropFiles;

std::vector<uint8_t> Header(uint32_t namesAt, bool wide) {
    std::vector<uint8_t> bytes(20, 0);
    std::memcpy(bytes.data(), &namesAt, 4);
    bytes[16] = wide ? 1 : 0;
    return bytes;
}

std::vector<uint8_t> Wide(std::vector<uint8_t> bytes, const std::u16string& units) {
    for (char16_t u : units) {
        bytes.push_back(uint8_t(u));
        bytes.push_back(uint8_t(u >> 8));
    }
    return bytes;
}

TEST(ShellDropFiles, RefusedBlocks) {
    const std::u16string longName(32768, u'x');
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"short header", std::vector<uint8_t>(19, 0)},
        {"names offset past the end", Wide(Header(4096, true), std::u16string(u"a\0\0", 3))},
        {"names offset inside the header", Wide(Header(8, true), std::u16string(u"a\0\0", 3))},
        {"no final NUL", Wide(Header(20, true), std::u16string(u"a\0b\0", 4))},
        {"name running to the end", Wide(Header(20, true), u"abc")},
        {"odd byte at the end", [] { auto b = Wide(Header(20, true), std::u16string(u"a\0", 2)); b.push_back(0); return b; }()},
        {"no names", Wide(Header(20, true), std::u16string(u"\0", 1))},
        {"a 64 KiB name", Wide(Header(20, true), longName + std::u16string(u"\0\0", 2))},
        {"narrow, not UTF-8", [] { auto b = Header(20, false); for (uint8_t c : {0xFFu, 0u, 0u}) b.push_back(c); return b; }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // An exact-size heap copy, so reading one byte past it is caught.
        std::vector<uint8_t> exact(c.bytes);
        exact.shrink_to_fit();
        std::vector<std::u16string> names{u"stale"};
        EXPECT_FALSE(ParseDropFiles(exact, names));
        EXPECT_TRUE(names.empty());
    }
}

TEST(ShellDropFiles, NamesComeWhole) {
    const std::u16string longName(32767, u'n');
    std::vector<std::u16string> many;
    for (int i = 0; i < 100000; ++i) many.push_back(u"/f" + std::u16string(1, char16_t(u'a' + i % 26)));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<std::u16string> expected;
    };
    std::vector<uint8_t> narrow = Header(20, false);
    for (char c : std::string("/a b\0/\xC3\xA9\0\0", 10)) narrow.push_back(uint8_t(c));
    const std::vector<Case> cases = {
        {"two wide names", shellext::BuildDropFiles({u"/a b", u"/c\u00e9\U0001F600"}), {u"/a b", u"/c\u00e9\U0001F600"}},
        {"a name of 32767 units", shellext::BuildDropFiles({longName}), {longName}},
        {"narrow names are UTF-8", narrow, {u"/a b", u"/\u00e9"}},
        {"names start where the offset says",
         [] { auto b = Header(24, true); b.insert(b.end(), {9, 9, 9, 9}); return Wide(b, std::u16string(u"/x\0\0", 4)); }(),
         {u"/x"}},
        {"a hundred thousand names", shellext::BuildDropFiles(many), many},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::u16string> names;
        EXPECT_TRUE(ParseDropFiles(c.bytes, names));
        EXPECT_EQ(names, c.expected);
    }
}

}  // namespace
