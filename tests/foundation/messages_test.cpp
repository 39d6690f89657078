#include "foundation/prompt_services.h"
#include "foundation/messages.h"
#include "foundation/messages_console.h"
#include "foundation/messages_scripted.h"
#include "foundation/strings.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace foundation;

namespace {

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessStateForTests();
        platform::SetLastError(0);
        LogFileErrorOnce(std::nullopt, true);
    }
    void TearDown() override { ResetProcessStateForTests(); }
    std::vector<ScriptedUiServices::ShownBox> Boxes() { return ui.Boxes(); }
    ScriptedUiServices ui;
    ScopedServices<foundation::SetUiServices> installed{&ui};
};

// A prompt service that answers every prompt with a fixed answer and notes
// what it was asked.
class StubPrompts : public foundation::IPromptServices {
public:
    void Show(foundation::UserPromptRequest& request) override {
        kinds.push_back(request.kind);
        texts.push_back(request.text);
        names.push_back(request.value ? std::u16string(reinterpret_cast<const char16_t*>(request.value)) : u"");
        request.answer = answer;
    }
    int32_t answer = 0;
    std::vector<int32_t> kinds;
    std::vector<std::u16string> texts;
    std::vector<std::u16string> names;
};

}  // namespace

TEST_F(Messages, LastErrorTextPrecedence) {
    struct Row {
        const char* name;
        std::optional<std::u16string> overrideText;
        uint32_t systemError;
        std::u16string expected;
    };
    const Row rows[] = {
        {"override wins over a system error", u"x", 5, u"x"},
        {"no error", std::nullopt, 0, u""},
        {"system text", std::nullopt, 2, platform::ErrorText(2)},
        {"empty override falls through", u"", 112, platform::ErrorText(112)},
    };
    for (const Row& row : rows) {
        SetLastErrorText(std::nullopt);
        if (row.overrideText) SetLastErrorText(*row.overrideText);
        platform::SetLastError(row.systemError);
        EXPECT_EQ(GetLastErrorText(), row.expected) << row.name;
    }
    platform::SetLastError(5);
    SetLastErrorText(std::nullopt);
    EXPECT_EQ(platform::GetLastError(), 0u);
    EXPECT_EQ(GetLastErrorText(), u"");
    SetLastErrorText(std::u16string(600, u'e'));
    EXPECT_EQ(GetLastErrorText().size(), 511u);
}

TEST_F(Messages, BoxCaptionFollowsTheLaunchedMode) {
    AppMessageBox(u"plain", kMbOk);
    LaunchedVirtualDriveMode = true;
    AppMessageBox(u"vd", kMbOk);
    LaunchedVirtualDriveMode = false;
    LaunchedMountMode = true;
    AppMessageBox(u"mount", kMbOk);
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].request.face, MessageBoxFace::Framework);
    EXPECT_EQ(boxes[0].request.caption, u"");
    EXPECT_EQ(boxes[1].request.face, MessageBoxFace::VirtualDrive);
    EXPECT_EQ(boxes[1].request.caption, u"Quendravine Virtual Drive");
    EXPECT_EQ(boxes[2].request.face, MessageBoxFace::Mount);
    EXPECT_EQ(boxes[2].request.caption, u"Quendravine");
}

TEST_F(Messages, BoxOpenFlagIsSetDuringTheCall) {
    struct Face : ScriptedUiServices {
        int ShowMessageBox(const MessageBoxRequest&) override {
            sawOpen = MessageBoxOpen;
            return 0;   // a face that could not ask
        }
        bool sawOpen = false;
    } face;
    ScopedServices<foundation::SetUiServices> scope(&face);
    EXPECT_EQ(AppMessageBox(u"q", kMbOkCancel | kMbIconQuestion), kIdCancel);
    EXPECT_TRUE(face.sawOpen);
    EXPECT_FALSE(MessageBoxOpen);
}

// The console prints the box and answers 0, whatever its buttons: a question
// counts as no, and an Abort/Retry/Ignore question neither retries nor ignores.
TEST_F(Messages, ConsoleBoxPrintsAndAnswersZero) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    ConsoleUiServices console(-1, out[1]);
    ScopedServices<foundation::SetUiServices> scope(&console);
    ConsoleMode = true;
    EXPECT_EQ(AppMessageBox(u"Saved.", kMbOk | kMbIconInformation), 0);
    EXPECT_EQ(AppMessageBox(u"Lock?", kMbOkCancel | kMbIconQuestion), 0);
    EXPECT_EQ(AppMessageBox(u"Overwrite?", kMbYesNo | kMbIconQuestion | kMbDefButton2), 0);
    EXPECT_EQ(AskRetryOnError(u"Read failed", u"I/O"), 0);
    close(out[1]);
    char buffer[256] = {};
    ssize_t n = read(out[0], buffer, sizeof buffer - 1);
    close(out[0]);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0),
              "Saved.\r\nLock?\r\nOverwrite?\r\nRead failed\r\n\r\nI/O\r\n");
}

TEST_F(Messages, ErrorReports) {
    platform::SetLastError(2);
    ShowLastError(u"/x/y.iso");
    EXPECT_EQ(GetLastErrorText(), u"");
    ui.QueueBoxAnswer(kIdRetry);
    EXPECT_EQ(AskRetryOnError(std::nullopt, u"bad sector"), kIdRetry);
    ReportFileTooBig(u"big.bin");
    using namespace image_warning;
    ReportImageReadWarnings(0, u"/a.iso");
    ReportImageReadWarnings(kUnexpectedEnd, u"/a.iso");
    ReportImageReadWarnings(kUnexpectedEnd | kDirectoryError, u"/a.iso");
    ReportImageReadWarnings(kDirectoryError, u"");
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].request.text, u"/x/y.iso\r\n\r\n" + platform::ErrorText(2));
    EXPECT_EQ(boxes[0].request.flags, 16u);
    EXPECT_EQ(boxes[1].request.text, u"bad sector");
    EXPECT_EQ(boxes[1].request.flags, 18u);
    EXPECT_EQ(boxes[2].request.text, u"big.bin\r\n\r\n" + std::u16string(BuiltinString(980)));
    EXPECT_EQ(boxes[2].request.flags, 64u);
    EXPECT_EQ(boxes[3].request.text, u"Unexpected end of file found.");
    EXPECT_EQ(boxes[4].request.text, u"Error found while reading the directory structure.");
}

TEST_F(Messages, RequireSavedDocument) {
    EXPECT_EQ(RequireSavedDocument(), 0);
    ui.SetDocumentModified(true);
    EXPECT_EQ(RequireSavedDocument(), -1);
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].request.text, u"The current file has been changed. You need save it first.");
    EXPECT_EQ(boxes[0].request.flags, 32u);
}

TEST_F(Messages, AskOverwriteFile) {
    qvtest::TempDir dir;
    std::string existing = dir / "existing.iso";
    std::string readOnly = dir / "readonly.iso";
    auto reset = [&] {
        qvtest::WriteFileText(existing, "x");
        qvtest::WriteFileText(readOnly, "x");
        chmod(readOnly.c_str(), 0444);
    };
    auto writable = [&](const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR);
    };
    struct Row {
        const char* name;
        std::string path;
        bool overwriteAll;
        std::optional<int> boxAnswer;
        int expected;
        bool writableAfter;
    };
    const Row rows[] = {
        {"missing", dir / "missing.iso", false, std::nullopt, 0, false},
        {"existing, yes", existing, false, kIdYes, 0, true},
        {"existing, no", existing, false, kIdNo, -1, true},
        {"existing, overwrite all", existing, true, std::nullopt, 0, true},
        {"read-only, yes", readOnly, false, kIdYes, 0, true},
        {"read-only, no", readOnly, false, kIdNo, -1, false},
        {"read-only, overwrite all", readOnly, true, std::nullopt, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        OverwriteAll = row.overwriteAll;
        size_t before = Boxes().size();
        if (row.boxAnswer) ui.QueueBoxAnswer(*row.boxAnswer);
        EXPECT_EQ(AskOverwriteFile(U(row.path)), row.expected);
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), before + (row.boxAnswer ? 1 : 0));
        if (row.boxAnswer) {
            EXPECT_EQ(boxes.back().request.flags, 292u);
            std::u16string question = row.path == readOnly ? LangString(680) : LangString(690);
            EXPECT_EQ(boxes.back().request.text, U(row.path) + u"\r\n\r\n" + question);
        }
        if (row.path != dir / "missing.iso") {
            EXPECT_EQ(writable(row.path), row.writableAfter);
        }
    }
}

TEST_F(Messages, AskOverwriteFileOnTheConsole) {
    qvtest::TempDir dir;
    std::string path = dir / "a.iso";
    qvtest::WriteFileText(path, "x");
    ConsoleMode = true;
    ui.QueueConsoleLine(u"maybe");
    ui.QueueConsoleLine(u"Y");
    EXPECT_EQ(AskOverwriteFile(U(path)), 0);
    auto lines = ui.ConsoleLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], U(path) + u": " + LangString(690));
    EXPECT_EQ(AskOverwriteFile(U(path)), -1);   // end of input: no
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Messages, AskOverwriteNameHonoursTheStandingAnswer) {
    StubPrompts prompts;
    foundation::ScopedServices<foundation::SetPromptServices> scopedPrompts(&prompts);
    struct Row {
        int32_t standing;
        int32_t promptAnswer;
        int expected;
        bool asked;
        int32_t statusAfter;
    };
    const Row rows[] = {
        {2, 0, 2, false, 0}, {3, 0, 3, false, 0}, {4, 0, 4, false, 1},
        {-1, 1, 1, true, 0}, {-1, 4, 4, true, 1}, {-1, 2, 2, true, 0},
    };
    int dummyContext = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.standing * 10 + row.promptAnswer);
        OperationStatus = 0;
        StandingOverwriteAnswer = row.standing;
        prompts.answer = row.promptAnswer;
        size_t before = prompts.kinds.size();
        EXPECT_EQ(AskOverwriteName(&dummyContext, u"FILE.TXT"), row.expected);
        EXPECT_EQ(prompts.kinds.size(), before + (row.asked ? 1 : 0));
        EXPECT_EQ(OperationStatus, row.statusAfter);
    }
    ASSERT_FALSE(prompts.kinds.empty());
    EXPECT_EQ(prompts.kinds[0], 1);
    EXPECT_EQ(prompts.texts[0], LangString(700));
    EXPECT_EQ(prompts.names[0], u"FILE.TXT");
}

TEST_F(Messages, ArchiveCommentIsCutBetweenCharacters) {
    setenv("QV_ANSI_CODEPAGE", "936", 1);
    const std::string han = "\xd6\xd0";   // one character, two bytes in GBK
    ShowArchiveComment(std::string(1023, 'a') + han);
    ShowArchiveComment(std::string(1022, 'a') + han + "tail");
    ShowArchiveComment("short " + han);
    unsetenv("QV_ANSI_CODEPAGE");
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].request.text, std::u16string(1023, u'a'));
    EXPECT_EQ(boxes[1].request.text, std::u16string(1022, u'a') + u"\u4e2d");
    EXPECT_EQ(boxes[2].request.text, u"short \u4e2d");
    EXPECT_EQ(boxes[2].request.flags, 64u);
}

TEST_F(Messages, FileErrorsAreLoggedOncePerName) {
    SetLastErrorText(u"cannot read");
    LogFileErrorOnce(u"/a/B.wav", false);
    EXPECT_EQ(GetLastErrorText(), u"");
    SetLastErrorText(u"again");
    LogFileErrorOnce(u"/A/b.WAV", false);
    LogFileErrorOnce(std::nullopt, false);
    LogFileErrorOnce(u"/c.wav", false);
    LogFileErrorOnce(std::nullopt, true);
    SetLastErrorText(u"third");
    LogFileErrorOnce(u"/c.wav", false);
    EXPECT_EQ(ui.BurnLog(), (std::vector<std::u16string>{u"/a/B.wav: cannot read", u"/c.wav: again",
                                                          u"/c.wav: third"}));
}

TEST_F(Messages, OperationStatusAndCurrentFile) {
    OperationStatus = kStatusImageReadError;
    SetCurrentFileName(u"/disc/part1.daa");
    EXPECT_EQ(GetCurrentFileName(), u"/disc/part1.daa");
    ResetOperationStatus();
    EXPECT_EQ(OperationStatus, 0);
    EXPECT_FALSE(GetCurrentFileName());
}
