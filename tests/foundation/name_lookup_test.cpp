// Names from Windows-made data found on disk without regard to case, with
// "\" between folders.

#include "foundation/name_lookup.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

TEST(NameLookup, PartsAreFoundWithoutRegardToCase) {
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + dir.path() + " && mkdir Music && touch 'Music/Track 01.BIN' b.txt B.TXT Only.Iso");
    const std::u16string folder = platform::Utf8ToUtf16(dir.path());

    EXPECT_EQ(foundation::FindNameNoCase(folder, u"b.txt"), u"b.txt");   // the exact name first
    EXPECT_EQ(foundation::FindNameNoCase(folder, u"b.Txt"), u"B.TXT");   // else the smallest of equals
    EXPECT_EQ(foundation::FindNameNoCase(folder, u"ONLY.iso"), u"Only.Iso");
    EXPECT_EQ(foundation::FindNameNoCase(folder, u"none"), u"");

    const struct {
        std::u16string name;
        std::u16string path;
        bool found;
    } rows[] = {
        {u"music\\track 01.bin", u"/Music/Track 01.BIN", true},
        {u"MUSIC/./TRACK 01.bin", u"/Music/Track 01.BIN", true},
        {u"Music\\..\\only.iso", u"/Music/../Only.Iso", true},
        {u"missing\\track 01.bin", u"/missing/track 01.bin", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::Utf16ToUtf8(row.name));
        const foundation::ResolvedName resolved = foundation::ResolveNameNoCase(folder, row.name);
        EXPECT_EQ(resolved.path, folder + row.path);
        EXPECT_EQ(resolved.found, row.found);
    }

    EXPECT_EQ(foundation::ResolvePathNoCase(folder + u"/only.ISO"), folder + u"/Only.Iso");
    EXPECT_EQ(foundation::ResolvePathNoCase(folder + u"/gone.iso"), folder + u"/gone.iso");
}

}  // namespace
