#include "window/frame/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLocalSocket>
#include <QMenuBar>
#include <QTest>
#include <functional>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include "app/startup_state.h"
#include "window/frame/automation.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_menu.h"
#include "window/frame/window_program.h"
#include "foundation/language.h"
#include "foundation/language_texts.h"
#include "foundation/language_ui.h"
#include "foundation/messages_scripted.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "foundation/work_folder.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/foundation/language_file_builder.h"
#include "tests/support/window/program_folders.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

using namespace app;
using namespace app::ui;

namespace {

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        qvtest::UsePrivateProgramFolders(config.path(), runtime.path(), install.path());
        g_AutomationDone = 0;
        g_ReadyCounter = 0;
        g_ExitAfterStartup = 0;
        g_StartupFile.clear();
    }
    void TearDown() override {
        CloseDocument();
        foundation::ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir config;
    qvtest::TempDir install;
    qvtest::TempDir runtime;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
};

TEST_F(Frame, AutomationRequestsFollowTheirTable) {
    // No document yet (before the start-up action): the document requests change nothing.
    ASSERT_EQ(image::g_CurrentDocument, nullptr);
    for (uint32_t type : {3u, 4u, 5u, 6u, 7u}) EXPECT_EQ(OnAutomation(type, 1), 0u) << type;

    ASSERT_EQ(NewDefaultDocument(), 1);
    image::ImageContext& doc = *image::g_CurrentDocument;
    struct Row {
        uint32_t type, value, result;
    };
    const Row rows[] = {{2, 3, 0}, {1, 0, 0x5A5A0001}, {2, 0, 0}, {1, 0, 0x5A5A0000}, {8, 0, 0}, {99, 1, 0}};
    for (const Row& row : rows) EXPECT_EQ(OnAutomation(row.type, row.value), row.result) << row.type;

    struct Change {
        uint32_t type, value;
        std::function<int32_t()> field;
        int32_t expected;
    };
    doc.compressionLevel = 1;
    doc.udfFlag = false;
    doc.jolietLevel = 2;
    const auto udf = [&] { return int32_t(doc.udfFlag); };
    const auto level = [&] { return doc.compressionLevel; };
    const auto joliet = [&] { return doc.jolietLevel; };
    const Change changes[] = {
        {6, 2, udf, 0},    {6, 1, udf, 1},
        {5, 3, level, 1},  {5, 2, level, 2},
        {7, 4, joliet, 2}, {7, 0xFFFFFFFF, joliet, 2}, {7, 3, joliet, 3},
    };
    for (const Change& change : changes) {
        EXPECT_EQ(OnAutomation(change.type, change.value), 0u);
        EXPECT_EQ(change.field(), change.expected) << change.type << " " << change.value;
    }
    EXPECT_EQ(OnAutomation(3, 0), 0u);
    EXPECT_STREQ(doc.outputPassword.data(), "708315");
    EXPECT_EQ(doc.passwordEnabled, 1);
    EXPECT_STREQ(doc.writePassword.data(), "708315");   // what the image writers encrypt with
    EXPECT_EQ(OnAutomation(4, 0), 0u);
    EXPECT_EQ(doc.volumeSize, 0x100000);   // an empty archive: the smallest volume
    EXPECT_EQ(doc.splitOutput, 1);
}

TEST_F(Frame, HandedPathsAreBoundedAndChecked) {
    auto units = [](std::u16string_view text) {
        std::vector<uint8_t> bytes;
        for (char16_t c : text) {
            bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        return bytes;
    };
    struct Row {
        std::vector<uint8_t> bytes;
        std::optional<std::u16string> path;
    };
    std::vector<uint8_t> odd = units(u"/a");
    odd.push_back('x');
    const Row rows[] = {
        {units(u"/tmp/a b.iso"), u"/tmp/a b.iso"},
        {units(std::u16string(u"/x\0tail", 7)), u"/x"},
        {odd, std::nullopt},
        {units(u"/\xD800z"), u"/\xFFFDz"},
        {units(u"/\xDC00"), u"/\xFFFD"},
        {units(u"/\U0001F600"), u"/\U0001F600"},
        {units(std::u16string(32768, u'a')), std::u16string(32768, u'a')},
        {units(std::u16string(32769, u'a')), std::nullopt},
        {{}, u""},
    };
    for (const Row& row : rows) EXPECT_EQ(DecodeHandedPath(row.bytes), row.path);
    EXPECT_TRUE(OnCopyData(kCopyDataPath, units(u"/in/here")));
    EXPECT_EQ(g_AutomationPath, u"/in/here");
    EXPECT_FALSE(OnCopyData(2, units(u"/other")));
    EXPECT_EQ(g_AutomationPath, u"/in/here");
}

// One request over the frame's socket, as another process sends it.
QByteArray Ask(const QString& path, const QByteArray& request, int replyBytes) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(2000)) return "no connection";
    socket.write(request);
    socket.flush();
    QByteArray reply;
    for (int i = 0; i < 100 && reply.size() < replyBytes && socket.state() == QLocalSocket::ConnectedState; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        socket.waitForReadyRead(10);
        reply += socket.readAll();
    }
    return reply;
}

QByteArray Le32(std::initializer_list<uint32_t> values) {
    QByteArray out;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.append(static_cast<char>(v >> (8 * i) & 0xFF));
    return out;
}

TEST_F(Frame, TheFrameAnswersOverItsPrivateSocket) {
    CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    ASSERT_NE(frame.Automation(), nullptr);
    const QString path = frame.Automation()->Path();
    ASSERT_FALSE(path.isEmpty());
    struct stat status {};
    ASSERT_EQ(stat(path.toLocal8Bit().constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0077, 0u) << "the socket is the user's own";
    EXPECT_EQ(Ask(path, Le32({0x467, 8, 0}), 4), Le32({0x5A5A0000}));
    EXPECT_EQ(Ask(path, Le32({0x467, 2, 1}) + Le32({0x467, 1, 0}), 8), Le32({0, 0x5A5A0001}));
    QByteArray handOver = Le32({0x4A, 1, 4});
    handOver += QByteArray("/\0x\0", 4);
    EXPECT_EQ(Ask(path, handOver, 4), Le32({1}));
    EXPECT_EQ(g_AutomationPath, u"/x");
    // A malformed message: the connection is dropped, the frame goes on.
    EXPECT_EQ(Ask(path, Le32({0xDEAD, 0, 0}), 4), QByteArray());
    EXPECT_EQ(Ask(path, Le32({0x4A, 1, 0x7FFFFFFF}), 4), QByteArray());
    EXPECT_EQ(Ask(path, Le32({0x467, 8, 0}), 4), Le32({0x5A5A0000}));
}

TEST_F(Frame, EveryCommandIsRoutedAndNewDocumentsShowInTheTitle) {
    CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Quendravine - New Archive.zip"));
    for (uint32_t id : FrameCommandIds()) EXPECT_NE(GroupOfCommand(id), CommandGroup::None) << id;
    EXPECT_EQ(GroupOfCommand(12345), CommandGroup::None);
    EXPECT_FALSE(frame.ExecuteCommand(12345));

    struct Row {
        uint32_t id;
        QString title;
    };
    const Row rows[] = {{33266, QStringLiteral("Quendravine - New Archive.7z")},
                        {33206, QStringLiteral("Quendravine - New Archive.iso")},
                        {33267, QStringLiteral("Quendravine - New Archive.mzp")},
                        {33360, QStringLiteral("Quendravine - New Archive.xdi")},
                        {32838, QStringLiteral("Quendravine - New Archive.zip")}};
    for (const Row& row : rows) {
        EXPECT_TRUE(frame.ExecuteCommand(row.id));
        EXPECT_EQ(frame.windowTitle(), row.title) << row.id;
    }
    image::g_CurrentDocument->modified = 1;
    frame.UpdateTitle();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Quendravine - New Archive.zip*"));

    // A group without its handler is shown disabled; installing one routes to it.
    frame.UpdateCommandStates();
    ASSERT_FALSE(frame.ActionsOf(32861).isEmpty());
    EXPECT_FALSE(frame.ActionsOf(32861).front()->isEnabled());
    std::vector<uint32_t> ran;
    InstallCommandHandler(CommandGroup::Extraction, {[&](uint32_t id) { ran.push_back(id); }, nullptr, nullptr});
    frame.UpdateCommandStates();
    EXPECT_TRUE(frame.ActionsOf(32861).front()->isEnabled());
    frame.ActionsOf(32861).front()->trigger();
    EXPECT_TRUE(frame.ExecuteCommand(33218));
    InstallCommandHandler(CommandGroup::Extraction, {});
    EXPECT_EQ(ran, (std::vector<uint32_t>{32861, 33218}));
    EXPECT_FALSE(frame.ExecuteCommand(33218));
    EXPECT_TRUE(frame.ExecuteCommand(33147));   // listed, does nothing
}

TEST_F(Frame, ATitleThatLooksLikeThePlaceholderShowsAsWritten) {
    CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    image::g_CurrentDocument->imagePath = u"/tmp/a[*]b.iso";
    frame.UpdateTitle();
    frame.show();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Quendravine - /tmp/a[*][*]b.iso"));
}

TEST_F(Frame, ClosingWhileDisabledOrBusyIsRefused) {
    CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    frame.setEnabled(false);
    QCloseEvent refused;
    QApplication::sendEvent(&frame, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_NE(image::g_CurrentDocument, nullptr);
    frame.setEnabled(true);
    QCloseEvent accepted;
    QApplication::sendEvent(&frame, &accepted);
    EXPECT_TRUE(accepted.isAccepted());
    EXPECT_EQ(image::g_CurrentDocument, nullptr);
}

TEST_F(Frame, MenusTranslateAndReturnToTheirEnglishTexts) {
    const std::vector<uint8_t> german =
        langtest::LangFileBuilder::Language(1031, u"German", u"Deutsch")
            .Strings({{1800, u"Sprache"}})
            .Owner(128, {{0xFFFF, u"|0", u"&Datei"}, {0xFFFF, u"|1", u"&Ansicht"}, {32846, std::nullopt, u"\u00d6ffnen"},
                         {57665, std::nullopt, u"&Beenden"}})
            .Build();
    qvtest::WriteFileBytes(install / "Lang/German.lng", german.data(), german.size());
    foundation::LoadLanguageFiles();
    CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    const foundation::LanguageTable table = foundation::GetLanguageTable();
    ASSERT_EQ(table.rows.size(), 2u);
    const int germanRow = table.rows[0].languageId == 1031 ? 0 : 1;

    ASSERT_TRUE(frame.ExecuteCommand(33153 + germanRow));
    QList<QAction*> top = frame.menuBar()->actions();
    EXPECT_EQ(top[0]->text(), QStringLiteral("&Datei"));
    EXPECT_EQ(top[1]->text(), QStringLiteral("&Ansicht"));
    EXPECT_EQ(frame.ActionsOf(32846).front()->text(), QStringLiteral("\u00d6ffnen"));
    ASSERT_NE(foundation::ui::LanguagePopup(), nullptr);
    EXPECT_EQ(foundation::ui::LanguagePopup()->title(), QStringLiteral("Sprache"));

    ASSERT_TRUE(frame.ExecuteCommand(33153 + (1 - germanRow)));
    // Back in English every item reads as the menu table has it.
    const foundation::MenuTemplateNode& root = MainMenuTemplate();
    for (size_t i = 0; i < root.children.size(); ++i) {
        EXPECT_EQ(top[static_cast<qsizetype>(i)]->text(), foundation::ui::ToQString(root.children[i].text));
        std::vector<const foundation::MenuTemplateNode*> work{&root.children[i]};
        while (!work.empty()) {
            const foundation::MenuTemplateNode* node = work.back();
            work.pop_back();
            for (const foundation::MenuTemplateNode& child : node->children) {
                if (child.popup) work.push_back(&child);
                if (child.popup || child.commandId == 0 || foundation::IsGeneratedMenuCommand(child.commandId) ||
                    child.commandId == kHowToPlaceholder || child.commandId == 33278)
                    continue;
                for (QAction* action : frame.ActionsOf(child.commandId))
                    EXPECT_EQ(foundation::ui::ToU16(action->text()),
                              foundation::MenuItemText(child.commandId, child.text))
                        << child.commandId;
            }
        }
    }
    EXPECT_EQ(foundation::ui::LanguagePopup()->title(), QStringLiteral("Language"));
}

TEST_F(Frame, AStartupFileThatIsNoFileIsRefusedWithoutWaiting) {
    // A FIFO would block the open until a writer came; a folder is no document.
    const std::string fifo = config / "x.iso";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, config.path()}) {
        StartupFileStandIn startup;
        char name[] = "quendravine";
        std::string argument = path;
        char* argv[] = {name, argument.data(), nullptr};
        startup.ParseStartupArguments(2, argv);
        ASSERT_TRUE(startup.HasStartupAction());
        const size_t boxesBefore = ui.Boxes().size();
        startup.RunStartupAction();
        EXPECT_EQ(ui.Boxes().size(), boxesBefore + 1) << path;
        EXPECT_FALSE(startup.HasStartupAction());
        ASSERT_NE(image::g_CurrentDocument, nullptr);   // the window still holds a document
        EXPECT_EQ(image::g_CurrentDocument->imagePath, u"");
        CloseDocument();
    }
}

TEST_F(Frame, StartupRunsItsStepsInOrderAndLeavesNothingBehind) {
    g_ExitAfterStartup = 1;
    char name[] = "quendravine";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(RunWindowProgram(1, argv), 0);
    const std::vector<std::string_view> expected = {
        "system facts", "virtual-drive channel", "archive library", "out-of-memory policy", "application",
        "language", "window placement", "shell integration", "instance mutex", "readers and drives", "main frame"};
    EXPECT_EQ(StartupStepsRun(), expected);
    // The frame made its work folder; the one shutdown routine removed it.
    EXPECT_EQ(foundation::GetTempWorkFolder(), u"");
    EXPECT_EQ(image::g_CurrentDocument, nullptr);
    g_ExitAfterStartup = 0;
}

}  // namespace
