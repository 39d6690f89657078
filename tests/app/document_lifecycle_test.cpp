// The current document's life, headless: open, new documents of each kind,
// the save question answered through the scripted message box, Save of an
// unchanged, a label-only and a changed document, and Save of a file whose
// format has no writer. The views are told to let go before a document is
// freed.

#include "app/document_lifecycle.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/other_openers.h"
#include "app/save_engine.h"
#include "filesystems/fat/fat_volume_hooks.h"
#include "image/document/fat_volume_services.h"
#include "image/document/item_tree.h"
#include "foundation/window_faces.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/iso/volume_texts.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

struct Stat {
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
};
Stat StatOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {st.st_ino, st.st_size, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Records the calls, and whether a document was still there when the views
// were emptied.
class RecordingWindow final : public app::detail::DocumentWindowStandIn {
public:
    std::vector<std::string> calls;
    void ClearViews() override { calls.push_back(image::g_CurrentDocument ? "clear(doc)" : "clear(none)"); }
    void ShowDocument(image::ImageContext* ctx) override { calls.push_back(ctx ? "show(doc)" : "show(none)"); }
    void StopPlayer() override { calls.push_back("stop"); }
    void UpdateTitle() override { calls.push_back("title"); }
};

// A save dialog that answers with a fixed path, or cancels.
class SaveDialog final : public foundation::WindowFaces {
public:
    std::optional<std::u16string> answer;
    int asked = 0;
    std::optional<std::u16string> OpenFileDialog(void*, const foundation::FileFilterList&, std::u16string_view,
                                                std::u16string_view) override {
        return std::nullopt;
    }
    std::optional<SaveAnswer> SaveFileDialog(const foundation::SaveDialogRequest& request) override {
        ++asked;
        if (!answer) return std::nullopt;
        // The user picks the filter of the name's extension.
        return SaveAnswer{*answer, foundation::FindFilterForExtension(*request.filters, u".iso")};
    }
    std::optional<std::u16string> BrowseForFolder(void*, std::u16string_view, std::u16string_view) override {
        return std::nullopt;
    }
    std::optional<std::u16string> TypeNameForFile(std::u16string_view) override { return std::nullopt; }
    std::optional<std::u16string> FolderTypeName() override { return std::nullopt; }
    int IconIndexForFile(std::u16string_view) override { return -1; }
    bool OpenWithChooser(std::u16string_view) override { return false; }
    bool AddTrayIcon(std::u16string_view) override { return false; }
    void SetTrayIconTip(std::u16string_view) override {}
    void RemoveTrayIcon() override {}
};

class DocumentLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunOk("cd " + ShellQuote(dir_.path()) +
              " && mkdir src && echo hello > src/a.txt && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J"
              " -V OLD -o t.iso src");
        previousFaces_ = foundation::SetWindowFaces(&dialog_);
    }
    void TearDown() override {
        app::CloseDocument();
        foundation::SetWindowFaces(previousFaces_);
    }

    treetest::TreeDocument faces_;
    qvtest::TempDir dir_;
    RecordingWindow window_;
    foundation::ScopedServices<app::SetDocumentWindowServices> scopedWindow_{&window_};
    SaveDialog dialog_;
    foundation::WindowFaces* previousFaces_ = nullptr;
};

TEST_F(DocumentLifecycleTest, OpenAndCloseEmptyTheViewsFirst) {
    ASSERT_TRUE(app::OpenFileCommand(U(dir_ / "t.iso")));
    ASSERT_NE(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(app::CurrentDocumentKind(), app::DocumentKind::ImageOrArchive);
    EXPECT_EQ(image::g_CurrentFolder, image::g_CurrentDocument->rootFolder);
    window_.calls.clear();
    app::CloseDocument();
    EXPECT_EQ(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"stop", "clear(doc)", "show(none)"}));
    // A file that is no image leaves an empty Zip archive.
    qvtest::WriteFileText(dir_ / "junk.iso", "not an image");
    EXPECT_FALSE(app::OpenFileCommand(U(dir_ / "junk.iso")));
    ASSERT_NE(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(image::g_CurrentDocument->formatCode, image::format_code::kArchive);
    EXPECT_EQ(app::NewDocumentName(), u"New Archive.zip");
}

// Each File/New command: the document's format, its name and its kind.
TEST_F(DocumentLifecycleTest, NewDocumentsOfEachKind) {
    struct Row {
        const char* name;
        int (*maker)();
        int32_t format;
        std::u16string docName;
        app::DocumentKind kind;
    };
    const Row rows[] = {
        {"iso", [] { return app::NewImageDocument({}, 0); }, image::format_code::kIso, u"New Archive.iso",
         app::DocumentKind::ImageOrArchive},
        {"iso preset", [] { return app::NewImageDocument({}, 1); }, image::format_code::kIso, u"New Archive.iso",
         app::DocumentKind::ImageOrArchive},
        {"zip", [] { return app::NewArchiveDocument({}, 1); }, image::format_code::kArchive, u"New Archive.zip",
         app::DocumentKind::ImageOrArchive},
        {"7z", [] { return app::NewArchiveDocument({}, 2); }, image::format_code::kArchive, u"New Archive.7z",
         app::DocumentKind::ImageOrArchive},
        {"mzp", [] { return app::NewMountableArchive({}); }, image::format_code::kMzp, u"New Archive.mzp",
         app::DocumentKind::ImageOrArchive},
        {"xdi", app::NewXdiDocument, image::format_code::kXdi, u"New Archive.xdi", app::DocumentKind::ImageOrArchive},
        {"audio", [] { return app::NewAudioCdDocument({}); }, image::format_code::kAudioCd, u"New Archive.mzp",
         app::DocumentKind::AudioCd},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(app::NewCommand(row.maker));
        ASSERT_NE(image::g_CurrentDocument, nullptr);
        EXPECT_EQ(image::g_CurrentDocument->formatCode, row.format);
        EXPECT_EQ(app::NewDocumentName(), row.docName);
        EXPECT_EQ(app::CurrentDocumentKind(), row.kind);
        EXPECT_EQ(image::g_CurrentDocument->modified, 0);
    }
    EXPECT_EQ(image::g_CurrentDocument->trackList != nullptr, true);
    EXPECT_EQ(image::g_CurrentFolder, nullptr);
}

// The save question, one row per answer: whether the command went on, and
// whether the file was written.
TEST_F(DocumentLifecycleTest, AskToSaveAnswers) {
    struct Row {
        const char* name;
        int answer;
        int expected;
        bool written;
    };
    const Row rows[] = {
        {"cancel", foundation::kIdCancel, -1, false},
        {"no", foundation::kIdNo, 0, false},
        {"yes", foundation::kIdYes, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(app::OpenFileCommand(U(dir_ / "t.iso")));
        const Stat before = StatOf(dir_ / "t.iso");
        image::g_CurrentDocument->modified = 2;
        faces_.ui().QueueBoxAnswer(row.answer);
        if (row.written) faces_.ui().QueueBoxAnswer(foundation::kIdYes);   // the file exists: replace it
        EXPECT_EQ(app::AskToSave(), row.expected);
        EXPECT_EQ(StatOf(dir_ / "t.iso").inode != before.inode, row.written);
        image::g_CurrentDocument->modified = 0;
    }
    // Unchanged: no question at all.
    const size_t boxes = faces_.ui().Boxes().size();
    EXPECT_EQ(app::AskToSave(), 0);
    EXPECT_EQ(faces_.ui().Boxes().size(), boxes);
}

// File/Save: an unchanged document is opened again without writing; a
// label-only change is written in place; any other change rewrites the file.
TEST_F(DocumentLifecycleTest, SaveByWhatChanged) {
    const std::string path = dir_ / "t.iso";
    ASSERT_TRUE(app::OpenFileCommand(U(path)));
    const Stat original = StatOf(path);
    ASSERT_TRUE(app::SaveCommand());
    EXPECT_EQ(StatOf(path).inode, original.inode);
    EXPECT_EQ(StatOf(path).mtimeNs, original.mtimeNs);
    ASSERT_NE(image::g_CurrentDocument, nullptr);

    image::SetVolumeField(*image::g_CurrentDocument, image::kVolumeLabel, u"RENAMED");
    image::g_CurrentDocument->modified = 1;
    ASSERT_TRUE(app::SaveCommand());
    EXPECT_EQ(StatOf(path).inode, original.inode);
    EXPECT_EQ(StatOf(path).size, original.size);
    EXPECT_EQ(image::GetVolumeField(*image::g_CurrentDocument, image::kVolumeLabel), u"RENAMED");
    EXPECT_EQ(image::g_CurrentDocument->modified, 0);

    image::g_CurrentDocument->modified = 2;
    faces_.ui().QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(app::SaveCommand());
    EXPECT_NE(StatOf(path).inode, original.inode);
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(path)).find("Volume id: RENAMED"), std::string::npos);
}

// A file whose format has no writer, or whose name says no format, is never
// rewritten under its name: Save goes to Save As (cancelled here).
TEST_F(DocumentLifecycleTest, SaveOfAFormatWithoutAWriterAsksForANewName) {
    for (const char* name : {"t.img", "t.mdf"}) {
        SCOPED_TRACE(name);
        RunOk("cp " + ShellQuote(dir_ / "t.iso") + " " + ShellQuote(dir_ / name));
        const Stat before = StatOf(dir_ / name);
        ASSERT_TRUE(app::OpenFileCommand(U(dir_ / name)));
        image::g_CurrentDocument->modified = 2;
        const int asked = dialog_.asked;
        EXPECT_FALSE(app::SaveCommand());
        EXPECT_EQ(dialog_.asked, asked + 1);
        EXPECT_EQ(StatOf(dir_ / name).inode, before.inode);
        EXPECT_EQ(image::g_CurrentDocument->modified, 2);
        image::g_CurrentDocument->modified = 0;
    }
    // Save As to an ISO name writes it and opens it.
    dialog_.answer = U(dir_ / "new.iso");
    image::g_CurrentDocument->modified = 2;
    ASSERT_TRUE(app::SaveAsCommand());
    EXPECT_EQ(platform::Utf16ToUtf8(image::g_CurrentDocument->imagePath), dir_ / "new.iso");
    RunOk("isovfy " + ShellQuote(dir_ / "new.iso") + " >/dev/null");
}

// Save of an edited FAT disk image writes the image with the edits, under
// its own name, through a new file: fsck.fat passes, mtools sees the edits,
// and the document opened again shows them.
TEST_F(DocumentLifecycleTest, SaveOfAnEditedFatVolumeWritesTheDiskImage) {
    foundation::ScopedServices<image::SetFatVolumeServices> writer(&filesystems::FatVolumeWriterServices());
    app::InstallReaders();
    struct Uninstall {
        ~Uninstall() { app::UninstallReaders(); }
    } uninstall;
    const std::string path = dir_ / "f.img";
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkfs.fat -C -F 12 -i 1 f.img 1440 >/dev/null && echo one > one.txt"
          " && echo two > two.txt && MTOOLS_SKIP_CHECK=1 mcopy -i f.img one.txt two.txt ::/");
    const Stat before = StatOf(path);
    ASSERT_TRUE(app::OpenFileCommand(U(path)));
    image::ImageContext* doc = image::g_CurrentDocument;
    ASSERT_TRUE(doc->fatState);
    ASSERT_EQ(image::RenameDocumentItem(doc, image::FindItemByPath(doc, nullptr, u"/one.txt"), u"First of two.txt"), 0);
    image::DeleteItem(doc, image::FindItemByPath(doc, nullptr, u"/two.txt"));
    doc->modified = 2;
    const int asked = dialog_.asked;
    ASSERT_TRUE(app::SaveCommand());
    EXPECT_EQ(dialog_.asked, asked);
    EXPECT_NE(StatOf(path).inode, before.inode);
    EXPECT_EQ(StatOf(path).size, before.size);
    RunOk("fsck.fat -n " + ShellQuote(path));
    EXPECT_EQ(RunOk("MTOOLS_SKIP_CHECK=1 mdir -b -i " + ShellQuote(path) + " ::"), "::/First of two.txt\n");
    EXPECT_EQ(RunOk("MTOOLS_SKIP_CHECK=1 mtype -i " + ShellQuote(path) + " '::/First of two.txt'"), "one\n");
    ASSERT_NE(image::g_CurrentDocument, nullptr);
    EXPECT_NE(image::FindItemByPath(image::g_CurrentDocument, nullptr, u"/First of two.txt"), nullptr);
    EXPECT_EQ(image::FindItemByPath(image::g_CurrentDocument, nullptr, u"/two.txt"), nullptr);
    EXPECT_EQ(image::g_CurrentDocument->modified, 0);
}

// A save renames the document after the written file, and only when it
// succeeds; the texts typed for a new image outlive the fresh fields an
// archive gets when it is saved as an image.
TEST_F(DocumentLifecycleTest, SaveRenamesOnlyOnSuccess) {
    ASSERT_EQ(app::NewArchiveDocument({}, 1), 1);
    image::ImageContext& doc = *image::g_CurrentDocument;
    EXPECT_EQ(app::NewDocumentName(), u"New Archive.zip");
    image::SetVolumeField(doc, 0, u"TYPED");
    image::SetVolumeField(doc, 3, u"SOMEPUBLISHER");
    window_.calls.clear();
    EXPECT_NE(app::SaveDocument(doc, U(dir_ / "no-such-folder/x.iso"), -1, nullptr), 0);
    EXPECT_EQ(app::NewDocumentName(), u"New Archive.zip");
    EXPECT_TRUE(window_.calls.empty());
    ASSERT_EQ(app::SaveDocument(doc, U(dir_ / "typed.iso"), -1, nullptr), 0);
    EXPECT_EQ(platform::Utf16ToUtf8(app::NewDocumentName()), dir_ / "typed.iso");
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"title"}));
    const std::string info = RunOk("isoinfo -d -i " + ShellQuote(dir_ / "typed.iso"));
    EXPECT_NE(info.find("Volume id: TYPED"), std::string::npos) << info;
    EXPECT_NE(info.find("Publisher id: SOMEPUBLISHER"), std::string::npos) << info;
    EXPECT_NE(info.find("Application id: Quendravine"), std::string::npos) << info;
}

}  // namespace
