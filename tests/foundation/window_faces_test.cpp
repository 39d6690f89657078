#include "foundation/window_faces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace foundation;

// A face that answers as a user would and records what it was asked.
class FakeFaces : public WindowFaces {
public:
    std::optional<std::u16string> OpenFileDialog(void*, const FileFilterList& filters, std::u16string_view,
                                                std::u16string_view initialPath) override {
        openFilterCount = filters.size();
        openInitial = std::u16string(initialPath);
        return openAnswer;
    }
    std::optional<SaveAnswer> SaveFileDialog(const SaveDialogRequest& request) override {
        saveRequest = request;
        return saveAnswer;
    }
    std::optional<std::u16string> BrowseForFolder(void*, std::u16string_view, std::u16string_view start) override {
        browseStart = std::u16string(start);
        return browseAnswer;
    }
    std::optional<std::u16string> TypeNameForFile(std::u16string_view name) override {
        if (name.ends_with(u".iso")) return u"Raw CD image";
        return std::nullopt;
    }
    std::optional<std::u16string> FolderTypeName() override { return u"Directory"; }
    int IconIndexForFile(std::u16string_view) override { return 3; }
    bool OpenWithChooser(std::u16string_view) override { return true; }
    bool AddTrayIcon(std::u16string_view tip) override {
        tips.push_back(std::u16string(tip));
        return true;
    }
    void SetTrayIconTip(std::u16string_view tip) override { tips.push_back(std::u16string(tip)); }
    void RemoveTrayIcon() override { tips.push_back(u"(removed)"); }

    size_t openFilterCount = 0;
    std::u16string openInitial, browseStart;
    std::optional<std::u16string> openAnswer, browseAnswer;
    std::optional<SaveAnswer> saveAnswer;
    SaveDialogRequest saveRequest;
    std::vector<std::u16string> tips;
};

using Installed = ScopedServices<SetWindowFaces>;

TEST(WindowFaces, WithoutAWindowDialogsAnswerCancelled) {
    const FileFilterList filters = BuildIsoFilter();
    EXPECT_FALSE(ShowOpenFileDialog(nullptr, filters, u"iso"));
    EXPECT_FALSE(ShowSaveFileDialog(nullptr, filters, u"iso", u"disc", u"Save"));
    std::u16string folder = u"unchanged";
    EXPECT_EQ(BrowseForFolder(nullptr, u"t", u"/", folder), -1);
    EXPECT_EQ(folder, u"unchanged");
    EXPECT_FALSE(AddTrayIcon());   // no notification area without a window
}

TEST(WindowFaces, LongPathsComeBackWhole) {
    FakeFaces faces;
    Installed installed(&faces);
    const std::u16string longPath = u"/" + std::u16string(4000, u'x') + u".iso";
    faces.openAnswer = longPath;
    EXPECT_EQ(ShowOpenFileDialog(nullptr, BuildOpenDialogFilter(), u"iso", u"/cur/doc.iso"), longPath);
    EXPECT_EQ(faces.openFilterCount, 8u);
    EXPECT_EQ(faces.openInitial, u"/cur/doc.iso");
    faces.browseAnswer = u"/media/out";
    std::u16string folder;
    EXPECT_EQ(BrowseForFolder(nullptr, u"Choose", u"/media", folder), 0);
    EXPECT_EQ(folder, u"/media/out");
    EXPECT_EQ(faces.browseStart, u"/media");
}

TEST(WindowFaces, SaveDialogPreselectsAndCompletesTheExtension) {
    FakeFaces faces;
    Installed installed(&faces);
    const FileFilterList filters = BuildSaveArchiveFilter();   // zip, 7z, mzp, iso, xdi
    faces.saveAnswer = WindowFaces::SaveAnswer{u"/out/backup", 1};
    EXPECT_EQ(ShowSaveFileDialog(nullptr, filters, u"ISO", u"backup.zip", u"Save As"), u"/out/backup.7z");
    EXPECT_EQ(faces.saveRequest.selectedFilter, 3u);
    EXPECT_EQ(faces.saveRequest.initialName, u"backup.iso");
    EXPECT_EQ(faces.saveRequest.title, u"Save As");
    // An answer naming a filter the list does not have counts as the first.
    faces.saveAnswer = WindowFaces::SaveAnswer{u"/out/b", 99};
    EXPECT_EQ(ShowSaveFileDialog(nullptr, filters, u"daa", u"", u"t"), u"/out/b.zip");
    EXPECT_EQ(faces.saveRequest.selectedFilter, 0u);
    faces.saveAnswer.reset();
    EXPECT_FALSE(ShowSaveFileDialog(nullptr, filters, u"iso", u"x", u"t"));
}

TEST(WindowFaces, ItemTypeTexts) {
    struct Row {
        std::u16string_view name;
        bool folder;
        std::u16string_view withoutWindow, withWindow;
    };
    const Row rows[] = {
        {u"x.iso", false, u"ISO File", u"Raw CD image"},
        {u"x.qqq", false, u"QQQ File", u"QQQ File"},
        {u"archive.tar.Gz", false, u"GZ File", u"GZ File"},
        {u"README", false, u"File", u"File"},
        {u"trailing.", false, u"File", u"File"},
        {u"docs", true, u"Folder", u"Directory"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(GetItemTypeInfo(row.name, row.folder).typeText, row.withoutWindow);
    EXPECT_EQ(GetItemTypeInfo(u"x.iso", false).iconIndex, -1);
    FakeFaces faces;
    Installed installed(&faces);
    for (const Row& row : rows) EXPECT_EQ(GetItemTypeInfo(row.name, row.folder).typeText, row.withWindow);
    EXPECT_EQ(GetItemTypeInfo(u"x.iso", false).iconIndex, 3);
}

TEST(WindowFaces, TrackNamesAndTrayTips) {
    EXPECT_EQ(TrackDisplayName(3, false, u""), u"Track03.cda");
    EXPECT_EQ(TrackDisplayName(12, true, u""), u"Track12.mpg");
    EXPECT_EQ(TrackDisplayName(1, false, u"/music/a song.wav"), u"a song.wav");
    EXPECT_EQ(TrackDisplayName(1, false, u"C:\\music\\b.mp3"), u"b.mp3");

    EXPECT_EQ(TrayTipText(u""), u"Quendravine");
    EXPECT_EQ(TrayTipText(std::u16string(200, u'a')).size(), 127u);
    std::u16string pairAtTheCut = std::u16string(126, u'a') + u"\U0001F600";
    EXPECT_EQ(TrayTipText(pairAtTheCut), std::u16string(126, u'a'));
    FakeFaces faces;
    Installed installed(&faces);
    EXPECT_TRUE(AddTrayIcon());
    SetTrayIconTip(u"Burning 50%");
    RemoveTrayIcon();
    EXPECT_EQ(faces.tips, (std::vector<std::u16string>{u"Quendravine", u"Burning 50%", u"(removed)"}));
}

}  // namespace
