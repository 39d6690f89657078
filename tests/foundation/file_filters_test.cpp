#include "foundation/file_filters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace foundation;

std::vector<std::u16string> Texts(const FileFilterList& list) {
    std::vector<std::u16string> texts;
    for (const FileFilter& f : list) texts.push_back(f.Text());
    return texts;
}

TEST(FileFilters, BuildersInTheirOrder) {
    struct Row {
        const char* name;
        FileFilterList list;
        std::vector<std::u16string> texts;
    };
    const std::u16string allImages = u"All CD/DVD/BD Image Files (" + std::u16string(kAllDiscImagePatterns) + u")";
    const Row rows[] = {
        {"open",
         BuildOpenDialogFilter(),
         {u"All Supported Files (" + std::u16string(kAllSupportedPatterns) + u")", u"Zip Archives (*.zip)",
          u"RAR Archives (*.rar)", u"7z Archives (*.7z)", u"Mountable Archives (*.mzp)",
          u"All Archives (" + std::u16string(kAllArchivePatterns) + u")", allImages, u"All Files (*.*)"}},
        {"image", BuildImageFileFilter(), {allImages, u"All Files (*.*)"}},
        {"save archive",
         BuildSaveArchiveFilter(),
         {u"Zip Archives (*.zip)", u"7z Archives (*.7z)", u"Mountable Archives (*.mzp)",
          u"Standard ISO Images (*.iso)", u"Extended Disc Image Files (*.xdi)"}},
        {"iso", BuildIsoFilter(), {u"Standard ISO Images (*.iso)"}},
        {"zip", BuildZipFilter(), {u"Zip Archives (*.zip)"}},
        {"7z", Build7zFilter(), {u"7z Archives (*.7z)"}},
        {"mzp", BuildMzpFilter(), {u"Mountable Archives (*.mzp)"}},
        {"all", BuildAllFilesFilter(), {u"All Files (*.*)"}},
        {"bin", BuildBinFilter(), {u"BIN Image Files (*.bin)"}},
        {"xdi", BuildXdiFilter(), {u"Extended Disc Image Files (*.xdi)"}},
    };
    for (const Row& row : rows) EXPECT_EQ(Texts(row.list), row.texts) << row.name;
}

TEST(FileFilters, PatternListsAreWellFormed) {
    for (std::u16string_view list : {kAllSupportedPatterns, kAllArchivePatterns, kAllDiscImagePatterns}) {
        size_t start = 0;
        while (start <= list.size()) {
            const size_t end = std::min(list.find(u';', start), list.size());
            const std::u16string_view one = list.substr(start, end - start);
            EXPECT_EQ(one.substr(0, 2), u"*.") << std::string(one.begin(), one.end());
            start = end + 1;
        }
    }
    EXPECT_NE(kAllSupportedPatterns.find(u";*.tbz2;"), std::u16string_view::npos);
    EXPECT_EQ(kAllSupportedPatterns.find(u"*tbz2"), std::u16string_view::npos);
}

TEST(FileFilters, WindowsAndQtForms) {
    FileFilterList list;
    AppendFileFilter(list, u"Zip Archives", u"*.zip");
    AppendFileFilter(list, u"Images", u"*.iso;*.bin");
    AppendFileFilter(list, u"All Files", u"*.*");
    static const char16_t kWindows[] =
        u"Zip Archives (*.zip)\0*.zip\0Images (*.iso;*.bin)\0*.iso;*.bin\0All Files (*.*)\0*.*\0\0";
    const std::u16string windows(kWindows, sizeof kWindows / sizeof kWindows[0] - 1);
    EXPECT_EQ(ToWindowsFilterString(list), windows);
    EXPECT_EQ(ToQtFilterString(list), u"Zip Archives (*.zip);;Images (*.iso *.bin);;All Files (*)");
    EXPECT_EQ(ToWindowsFilterString({}), std::u16string(2, u'\0'));
    EXPECT_EQ(ToQtFilterString({}), u"");
}

TEST(FileFilters, SaveDialogExtensionRules) {
    const FileFilterList list = BuildSaveArchiveFilter();   // zip, 7z, mzp, iso, xdi
    EXPECT_EQ(FilterExtension(list[1]), u"7z");
    EXPECT_EQ(FindFilterForExtension(list, u"ISO"), 3u);
    EXPECT_EQ(FindFilterForExtension(list, u".xdi"), 4u);
    EXPECT_EQ(FindFilterForExtension(list, u"daa"), 0u);
    EXPECT_EQ(FindFilterForExtension({}, u"iso"), 0u);

    const FileFilter all = BuildAllFilesFilter()[0];
    EXPECT_EQ(FilterExtension(all), u"*");
    struct Row {
        std::u16string_view name;
        size_t filter;
        std::u16string_view applied, completed;
    };
    const Row rows[] = {
        {u"disc.zip", 3, u"disc.iso", u"disc.zip.iso"},
        {u"disc", 1, u"disc.7z", u"disc.7z"},
        {u"disc.ISO", 3, u"disc.iso", u"disc.ISO"},
        {u"my.disc.v1", 0, u"my.disc.zip", u"my.disc.v1.zip"},
        {u"", 0, u"", u".zip"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ApplyFilterExtension(row.name, list[row.filter]), row.applied);
        EXPECT_EQ(CompleteSavedName(row.name, list[row.filter]), row.completed);
    }
    EXPECT_EQ(ApplyFilterExtension(u"disc.nrg", all), u"disc.nrg");
    EXPECT_EQ(CompleteSavedName(u"disc", all), u"disc");
    EXPECT_EQ(CompleteSavedName(u"disc", FileFilter{u"Dot", u".*"}), u"disc");
}

}  // namespace
