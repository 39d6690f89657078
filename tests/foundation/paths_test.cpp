#include "foundation/paths.h"

#include <gtest/gtest.h>

namespace {

using namespace foundation;

TEST(Paths, TailsAndSeparators) {
    EXPECT_EQ(FindLastBackslash(u"/a/b/c.iso"), 4u);
    EXPECT_EQ(FindLastBackslash(u"c.iso"), std::u16string_view::npos);
    EXPECT_TRUE(EndsWithBackslash(u"/a/"));
    EXPECT_FALSE(EndsWithBackslash(u""));
    EXPECT_FALSE(EndsWithBackslash(u"/a"));
    std::u16string path = u"/a";
    EXPECT_EQ(AddTrailingBackslash(path), 3u);
    EXPECT_EQ(AddTrailingBackslash(path), 3u);
    EXPECT_EQ(path, u"/a/");
    EXPECT_EQ(RemoveTrailingBackslash(path), 2u);
    EXPECT_EQ(RemoveTrailingBackslash(path), 2u);
    EXPECT_EQ(CStringToNewString(nullptr), u"");
    EXPECT_EQ(CStringToNewString(u"x"), u"x");
}

TEST(Paths, ExtensionDotIsInTheNamePart) {
    EXPECT_EQ(FindExtensionDot(u"a.tar.gz"), 5u);
    EXPECT_EQ(FindExtensionDot(u"/x.d/name"), std::u16string_view::npos);
    EXPECT_EQ(FindExtensionDot(u"noext"), std::u16string_view::npos);
}

TEST(Paths, CombinePathUsesExactlyOneSeparator) {
    struct Row {
        std::u16string_view folder, name, expected;
    };
    const Row rows[] = {
        {u"/a", u"b", u"/a/b"},     {u"/a/", u"b", u"/a/b"},  {u"/a//", u"/b", u"/a/b"},
        {u"/", u"b", u"/b"},        {u"", u"b", u"b"},         {u"/a", u"", u"/a/"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(CombinePath(row.folder, row.name), row.expected)
            << std::string(row.folder.begin(), row.folder.end());
}

// The two halves of a path; a folder and its name joined again give the path.
TEST(Paths, FolderAndNameOfAPath) {
    struct Row {
        std::u16string_view path, folder, name;
    };
    const Row rows[] = {
        {u"/a/b.cue", u"/a", u"b.cue"}, {u"/b.cue", u"/", u"b.cue"}, {u"b.cue", u"", u"b.cue"},
        {u"/a/", u"/a", u""},           {u"", u"", u""},             {u"a\\b", u"", u"a\\b"},   // a "\" is part of the name
    };
    for (const Row& row : rows) {
        const std::string what(row.path.begin(), row.path.end());
        EXPECT_EQ(FolderOfPath(row.path), row.folder) << what;
        EXPECT_EQ(NameOfPath(row.path), row.name) << what;
        if (!row.name.empty()) {
            EXPECT_EQ(CombinePath(FolderOfPath(row.path), NameOfPath(row.path)), row.path) << what;
        }
    }
}

TEST(Paths, ChangeFileExtension) {
    struct Row {
        std::u16string_view name;
        MissingExtension missing;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {u"disc.bin", MissingExtension::Keep, u"disc.iso"},
        {u"/x/disc.tar.gz", MissingExtension::Keep, u"/x/disc.tar.iso"},
        {u"disc.", MissingExtension::Keep, u"disc.iso"},
        {u"a.b\\c", MissingExtension::Append, u"a.b\\c.iso"},   // the dot stands in a folder part
        {u"a.b\\c", MissingExtension::Keep, u"a.b\\c"},
        {u"a.b/c", MissingExtension::Append, u"a.b/c.iso"},
        {u"C:name", MissingExtension::Append, u"C:name.iso"},
        {u"", MissingExtension::Append, u".iso"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChangeFileExtension(row.name, u"iso", row.missing), row.expected)
            << std::string(row.name.begin(), row.name.end());
}

TEST(Paths, ExtensionForEachOutputFormat) {
    struct Row {
        int32_t format;
        int32_t archiveKind;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {0, 0, u"/o/disc.iso"},  {1, 0, u"/o/disc.bin"},  {100, 0, u"/o/disc.bin"}, {2, 0, u"/o/disc.daa"},
        {7, 0, u"/o/disc.mzp"},  {8, 0, u"/o/disc.xdi"},  {151, 1, u"/o/disc.zip"}, {151, 2, u"/o/disc.7z"},
        {151, 0, u"/o/disc.7z"}, {3, 0, u""},             {-1, 0, u""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChangeExtensionForFormat(u"/o/disc.nrg", row.format, row.archiveKind), row.expected)
            << row.format;
    EXPECT_EQ(ChangeExtensionForFormat(u"/o/disc", 0, 0), u"/o/disc.iso");
}

}  // namespace
