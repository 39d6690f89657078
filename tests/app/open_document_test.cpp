// The open entry against files made by real tools: each row names the file,
// the caller's flags, and what the user must see: the document or none, the
// OperationStatus, the message, and what happened to the recent-file list.

#include "app/open_document.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "image/document/main_window_services.h"
#include "foundation/console.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/iso/iso_reader.h"
#include "image/document/item_tree.h"
#include "image/sectors/raw_sectors.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;

class RecordingWindow final : public qvtest::NullMainWindowServices {
public:
    std::vector<std::string> added, removed;
    void AddRecentFile(std::u16string_view path) override { added.push_back(platform::Utf16ToUtf8(path)); }
    void RemoveRecentFile(std::u16string_view path) override { removed.push_back(platform::Utf16ToUtf8(path)); }
};

struct Flags {
    bool addToRecent, interactive, forMount;
};
constexpr Flags kMainFrame{true, true, false};
constexpr Flags kBurnDialog{false, false, false};
constexpr Flags kMount{false, false, true};

class OpenDocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One source tree, one ISO made by xorriso; the other fixtures derive from it.
        fixtures_ = new qvtest::TempDir;
        const qvtest::TempDir& d = *fixtures_;
        qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(d / "src/sub") + " && echo hello > " +
                      qvtest::ShellQuote(d / "src/a.txt") + " && head -c 5000 /dev/urandom > " +
                      qvtest::ShellQuote(d / "src/sub/b.bin"));
        qvtest::RunOk("cd " + qvtest::ShellQuote(d.path()) +
                      " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -V TESTVOL -o t.iso src");
        // BIN/CUE: the ISO's sectors as a MODE1/2048 track.
        qvtest::RunOk("cd " + qvtest::ShellQuote(d.path()) + " && cp t.iso t.bin && cp t.iso UPPER.BIN");
        qvtest::WriteFileText(d / "t.cue", "FILE \"t.bin\" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n");
        qvtest::WriteFileText(d / "upper.cue", "FILE \"upper.bin\" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n");
        // A sheet made on Windows: "\\" separators and a FILE name in another case.
        qvtest::RunOk("cd " + qvtest::ShellQuote(d.path()) + " && mkdir -p win/Data && cp t.iso win/Data/TRACK.BIN");
        qvtest::WriteFileText(d / "win/disc.cue",
                              "FILE \"data\\track.bin\" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n");
        qvtest::RunOk("cd " + qvtest::ShellQuote(d.path()) +
                      " && head -c 300000 /dev/urandom > random.dat && : > empty.dat && mkdir folder"
                      " && echo secret > unreadable.iso && chmod 000 unreadable.iso");
        // The ISO's sectors as raw Mode 1 frames with no sheet: found by the raw-layout rows.
        std::vector<uint8_t> iso = qvtest::ReadFileBytes(d / "t.iso");
        std::vector<uint8_t> raw(iso.size() / 2048 * 2352);
        for (size_t i = 0; i < iso.size() / 2048; ++i)
            image::MakeMode1Sector(int32_t(i), iso.data() + i * 2048, raw.data() + i * 2352);
        qvtest::WriteFileBytes(d / "raw.img", raw.data(), raw.size());
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }

    void SetUp() override { foundation::ConsoleMode = false; }
    void TearDown() override { foundation::ConsoleMode = false; }

    std::string P(const std::string& name) const { return *fixtures_ / name; }
    DocumentPtr Open(const std::string& path, Flags f) {
        return DocumentPtr(app::OpenImageByPath(platform::Utf8ToUtf16(path), f.addToRecent, f.interactive,
                                                       f.forMount));
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> out;
        for (const auto& b : ui_.Boxes()) out.push_back(platform::Utf16ToUtf8(b.request.text));
        return out;
    }

    static qvtest::TempDir* fixtures_;
    RecordingWindow window_;
    foundation::ScopedServices<image::SetMainWindowServices> scopedWindow_{&window_};
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};
qvtest::TempDir* OpenDocumentTest::fixtures_ = nullptr;

TEST_F(OpenDocumentTest, IsoOpensAndJoinsTheRecentList) {
    DocumentPtr doc = Open(P("t.iso"), kMainFrame);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->formatCode, image::format_code::kIso);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
    EXPECT_EQ(window_.added, std::vector<std::string>{P("t.iso")});
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(OpenDocumentTest, RawSectorsWithoutASheetOpen) {
    DocumentPtr doc = Open(P("raw.img"), kMainFrame);
    ASSERT_TRUE(doc) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(doc->sectorSize, 2352);
    EXPECT_NE(image::FindItemByPath(doc.get(), doc->rootFolder, u"/sub/b.bin"), nullptr);
}

TEST_F(OpenDocumentTest, NamedSheetOpensItsDataFileAndIsTheRecentEntry) {
    DocumentPtr doc = Open(P("t.cue"), kMainFrame);
    ASSERT_TRUE(doc) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(window_.added, std::vector<std::string>{P("t.cue")});
}

TEST_F(OpenDocumentTest, DataFileFindsItsCompanionSheetWhateverTheCase) {
    // UPPER.BIN beside upper.cue, whose FILE line says "upper.bin".
    std::u16string imagePath, sheetPath;
    int32_t kind = 0;
    ASSERT_TRUE(app::ResolveOpenPaths(platform::Utf8ToUtf16(P("UPPER.BIN")), imagePath, sheetPath, kind));
    EXPECT_EQ(kind, app::kOpenNamedImage);
    EXPECT_EQ(platform::Utf16ToUtf8(sheetPath), P("upper.cue"));
    DocumentPtr doc = Open(P("UPPER.BIN"), kMainFrame);
    ASSERT_TRUE(doc);
    EXPECT_EQ(window_.added, std::vector<std::string>{P("UPPER.BIN")});
}

TEST_F(OpenDocumentTest, FailuresTellTheUserAndLeaveTheRecentList) {
    struct Row {
        const char* name;
        std::string file;
        Flags flags;
        std::string expectedText;   // empty: any non-empty text
    } rows[] = {
        {"random file from the burn dialog", "random.dat", kBurnDialog, "Please select a valid disc image file."},
        {"random file for a mount", "random.dat", kMount, "The archive is invalid or unsupported."},
        {"random file from the main frame", "random.dat", kMainFrame, "The archive is invalid or unsupported."},
        {"empty file", "empty.dat", kMainFrame, "The archive is invalid or unsupported."},
        {"missing file", "missing.iso", kMainFrame, "The system cannot find the file specified."},
        {"a folder", "folder", kMainFrame, "Access is denied."},
        {"an unreadable file", "unreadable.iso", kMainFrame, "Access is denied."},
    };
    for (const Row& row : rows) {
        // Root reads a file of mode 000 all the same.
        if (row.file == "unreadable.iso" && ::geteuid() == 0) continue;
        SCOPED_TRACE(row.name);
        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
        window_.removed.clear();
        window_.added.clear();
        DocumentPtr doc = Open(P(row.file), row.flags);
        EXPECT_FALSE(doc);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
        auto boxes = ui.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        std::string text = platform::Utf16ToUtf8(boxes[0].request.text);
        EXPECT_EQ(text.rfind(P(row.file) + "\r\n\r\n", 0), 0u) << text;
        std::string said = text.substr(std::min(text.size(), P(row.file).size() + 4));
        if (row.expectedText.empty()) EXPECT_FALSE(said.empty());
        else EXPECT_EQ(said, row.expectedText);
        EXPECT_EQ(boxes[0].request.flags & foundation::kMbIconMask, foundation::kMbIconStop);
        EXPECT_EQ(window_.removed, std::vector<std::string>{P(row.file)});
        EXPECT_TRUE(window_.added.empty());
    }
}

TEST_F(OpenDocumentTest, ConsoleSaysItOnTheConsoleAndKeepsTheRecentList) {
    qvtest::TempDir out;
    int fd = ::open((out / "console.txt").c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    foundation::SetConsoleStreams(-1, fd);
    foundation::ConsoleMode = true;
    DocumentPtr doc = Open(P("random.dat"), {false, true, false});
    foundation::ResetConsoleForTests();
    ::close(fd);
    EXPECT_FALSE(doc);
    EXPECT_TRUE(ui_.Boxes().empty());
    EXPECT_TRUE(window_.removed.empty());
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(out / "console.txt");
    std::string console(bytes.begin(), bytes.end());
    EXPECT_NE(console.find(P("random.dat") + ": The archive is invalid or unsupported."), std::string::npos)
        << console;
}

TEST_F(OpenDocumentTest, SheetMadeOnWindowsFindsItsDataFile) {
    // FILE "data\track.bin" names win/Data/TRACK.BIN.
    std::u16string imagePath, sheetPath;
    int32_t kind = 0;
    ASSERT_TRUE(app::ResolveOpenPaths(platform::Utf8ToUtf16(P("win/disc.cue")), imagePath, sheetPath, kind));
    EXPECT_EQ(kind, app::kOpenNamedSheet);
    EXPECT_EQ(platform::Utf16ToUtf8(imagePath), P("win/Data/TRACK.BIN"));
    DocumentPtr doc = Open(P("win/disc.cue"), kMainFrame);
    ASSERT_TRUE(doc) << ::testing::PrintToString(BoxTexts());
    EXPECT_NE(image::FindItemByPath(doc.get(), doc->rootFolder, u"/sub/b.bin"), nullptr);
    EXPECT_EQ(window_.added, std::vector<std::string>{P("win/disc.cue")});
}

// Every failure of the console's open says "path: text" on one line of the
// console, shows no box and leaves the recent-file list alone.
TEST_F(OpenDocumentTest, ConsoleFailuresAreOneLineEach) {
    struct Row {
        const char* name;
        std::string file;
        Flags flags;
        std::string expectedText;
    } rows[] = {
        {"random file, not interactive", "random.dat", kBurnDialog, "Please select a valid disc image file."},
        {"random file, interactive", "random.dat", {false, true, false}, "The archive is invalid or unsupported."},
        {"missing file", "missing.iso", {false, true, false}, "The system cannot find the file specified."},
        {"empty file for a mount", "empty.dat", kMount, "The archive is invalid or unsupported."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir out;
        int fd = ::open((out / "console.txt").c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        foundation::SetConsoleStreams(-1, fd);
        foundation::ConsoleMode = true;
        DocumentPtr doc = Open(P(row.file), row.flags);
        foundation::ResetConsoleForTests();
        foundation::ConsoleMode = false;
        ::close(fd);
        EXPECT_FALSE(doc);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
        EXPECT_TRUE(ui_.Boxes().empty());
        EXPECT_TRUE(window_.removed.empty());
        EXPECT_TRUE(window_.added.empty());
        std::vector<uint8_t> bytes = qvtest::ReadFileBytes(out / "console.txt");
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), P(row.file) + ": " + row.expectedText + "\r\n");
    }
}

// The text of each opener result code, with its box, and the recent list
// losing the file every time.
TEST_F(OpenDocumentTest, ReportOpenFailureTable) {
    namespace r = image::open_result;
    struct Row {
        int code;
        std::string text;
        uint32_t flags;
    } rows[] = {
        {r::kTooLarge, "The file size is too large.", foundation::kMbIconStop},
        {r::kNotRecognised, "The archive is invalid or unsupported.", foundation::kMbIconStop},
        {r::kDirectoryUnreadable, "Can not read directory structure.", foundation::kMbIconStop},
        {r::kPasswordRequired, "You must input password to open this file.", foundation::kMbIconStop},
        {r::kVersionMismatch,
         "File version mismatch. To open this file, please visit our website to get the latest version.",
         foundation::kMbOkCancel | foundation::kMbIconStop},
        {18, "Data error or wrong password!", foundation::kMbIconStop},
        {r::kWrongPassword, "The password is wrong or the archive is invalid.", foundation::kMbIconStop},
        {0, "Please select a valid disc image file.", foundation::kMbIconStop},
        {42, "", foundation::kMbIconStop},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        foundation::ScriptedUiServices ui;
        foundation::ScopedServices<foundation::SetUiServices> scoped(&ui);
        ui.QueueBoxAnswer(foundation::kIdCancel);   // code 15: no download page
        window_.removed.clear();
        app::ReportOpenFailure(u"/x/disc.daa", row.code);
        auto boxes = ui.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(platform::Utf16ToUtf8(boxes[0].request.text), "/x/disc.daa\r\n\r\n" + row.text);
        EXPECT_EQ(boxes[0].request.flags, row.flags);
        EXPECT_EQ(window_.removed, std::vector<std::string>{"/x/disc.daa"});
    }
}

// Openers that are not linked in yet stand behind their services; these rows
// check the dispatcher's order, the handle rule and the silent cancel.
struct ScriptedOpeners : app::OtherOpenerStandIn {
    int diskCalls = 0, wimCalls = 0, archiveCalls = 0;
    int diskAnswer = image::open_result::kNotRecognised;
    // The archive opener's answer: its code, and whether it makes a document
    // (and one whose format stays unknown).
    int archiveAnswer = image::open_result::kOk;
    bool archiveDocument = true, archiveFormatUnknown = false;

    image::ImageContext* OpenDiskImage(std::u16string_view, foundation::FileHandle file, int* code) override {
        ++diskCalls;
        EXPECT_NE(file, nullptr);
        *code = diskAnswer;
        return nullptr;
    }
    image::ImageContext* OpenWimArchive(std::u16string_view, foundation::FileHandle, int* code) override {
        ++wimCalls;
        *code = image::open_result::kNotRecognised;
        return nullptr;
    }
    image::ImageContext* OpenArchiveAsImage(std::u16string_view, bool, int, int* code) override {
        ++archiveCalls;
        *code = archiveAnswer;
        if (!archiveDocument) return nullptr;
        image::ImageContext* ctx = image::NewArchiveDocument(0);
        if (archiveFormatUnknown) ctx->formatCode = image::format_code::kUnknown;
        return ctx;
    }
};

TEST_F(OpenDocumentTest, OtherOpenersRunInOrderAndCancelIsSilent) {
    ScriptedOpeners openers;
    foundation::ScopedServices<app::SetOtherOpenerServices> scoped(&openers);
    DocumentPtr doc = Open(P("random.dat"), kMainFrame);
    EXPECT_TRUE(doc);
    EXPECT_EQ(openers.diskCalls, 1);
    EXPECT_EQ(openers.wimCalls, 1);
    EXPECT_EQ(openers.archiveCalls, 1);
    EXPECT_EQ(window_.added, std::vector<std::string>{P("random.dat")});

    // The disk opener's user cancels: WIM is skipped, nothing is shown.
    openers.diskAnswer = image::open_result::kCancelled;
    openers.archiveAnswer = image::open_result::kCancelled;
    openers.archiveDocument = false;
    openers.wimCalls = 0;
    doc = Open(P("random.dat"), kMainFrame);
    EXPECT_FALSE(doc);
    EXPECT_EQ(openers.wimCalls, 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    EXPECT_TRUE(ui_.Boxes().empty());

    // A document whose format stays unknown is freed without a word.
    openers.archiveAnswer = image::open_result::kOk;
    openers.archiveDocument = true;
    openers.archiveFormatUnknown = true;
    doc = Open(P("random.dat"), kMainFrame);
    EXPECT_FALSE(doc);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    EXPECT_TRUE(ui_.Boxes().empty());
}

}  // namespace
