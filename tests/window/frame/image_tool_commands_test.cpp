// The image tools from the Tools menu: each dialog's fields by mode and
// format (with QV_SHOT_DIR set, each is saved there as a PNG to be looked
// at), a refusal that keeps the dialog open, and Convert Disc Image File run
// from the frame's command on an ISO made by genisoimage: the XDI it writes
// into a folder not there before decompresses to the same tree, as 7z reads
// it.

#include "window/frame/image_tool_commands.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "app/other_openers.h"
#include "foundation/messages_scripted.h"
#include "foundation/services.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/image_tool_dialog.h"
#include "window/frame/main_frame.h"

namespace {

using dialogs::ImageToolMode;
using dialogs::ui::CImageToolDlg;
using qvtest::RunOk;
using qvtest::ShellQuote;

void Shot(QWidget& w, const char* name) {
    if (const char* dir = std::getenv("QV_SHOT_DIR")) w.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

class ImageTools : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", (dir_ / "config").c_str(), 1);
        RunOk("mkdir -p " + ShellQuote(dir_ / "config") + " " + ShellQuote(dir_ / "src") + " && cd " +
              ShellQuote(dir_ / "src") + " && head -c 400000 /dev/urandom > r.bin && seq 1 9000 > t.txt");
        RunOk("genisoimage -quiet -o " + ShellQuote(dir_ / "s.iso") + " " + ShellQuote(dir_ / "src"));
    }
    void TearDown() override { unsetenv("QV_CONFIG_DIR"); }
    qvtest::TempDir dir_;
};

TEST_F(ImageTools, FieldsFollowTheModeAndTheFormat) {
    struct Row {
        const char* name;
        ImageToolMode mode;
        int formatIndex;   // convert only; -1 leaves it
        const char* destination;
        bool protectEnabled;
    };
    const Row rows[] = {
        {"compress", ImageToolMode::Compress, -1, "/d/s.xdi", true},
        {"decompress", ImageToolMode::Decompress, -1, "/d/s.iso", false},
        {"convert to ISO", ImageToolMode::Convert, 0, "/d/s.iso", false},
        {"convert to BIN", ImageToolMode::Convert, 1, "/d/s.bin", false},
        {"convert to XDI", ImageToolMode::Convert, 2, "/d/s.xdi", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CImageToolDlg dialog(row.mode, row.mode == ImageToolMode::Decompress ? u"/d/s.xdi" : u"/d/s.iso");
        EXPECT_EQ(dialog.TemplateId(), dialogs::TemplateOfMode(row.mode));
        if (row.formatIndex >= 0) dialog.ControlAs<QComboBox>(1508)->setCurrentIndex(row.formatIndex);
        EXPECT_EQ(dialog.ControlAs<QLineEdit>(1515)->text().toStdString(), row.destination);
        auto* protect = dialog.ControlAs<QCheckBox>(1100);
        EXPECT_EQ(protect != nullptr && protect->isEnabled(), row.protectEnabled);
        if (protect && protect->isEnabled()) {
            EXPECT_FALSE(dialog.ControlAs<QLineEdit>(1134)->isEnabled());
            protect->setChecked(true);
            EXPECT_TRUE(dialog.ControlAs<QLineEdit>(1134)->isEnabled());
        }
        dialog.show();
        Shot(dialog, (std::string("image_tool_") + std::to_string(int(row.mode)) + "_" +
                      std::to_string(row.formatIndex + 1)).c_str());
    }
}

TEST_F(ImageTools, ARefusalKeepsTheDialogOpen) {
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiScope{&ui};
    CImageToolDlg dialog(ImageToolMode::Compress, u"/d/s.iso");
    dialog.show();
    dialog.ControlAs<QCheckBox>(1100)->setChecked(true);
    dialog.ControlAs<QLineEdit>(1134)->setText(QStringLiteral("one"));
    dialog.ControlAs<QLineEdit>(1135)->setText(QStringLiteral("two"));
    dialog.ControlAs<QPushButton>(1)->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].request.text, u"The two passwords do not match.");
}

TEST_F(ImageTools, ConvertFromTheToolsMenu) {
    app::InstallReaders();
    {
        app::ui::CMainFrame frame(0, nullptr);
        ASSERT_TRUE(frame.Create());
        app::ui::InstallImageToolCommands(frame);
        frame.UpdateCommandStates();
        const std::string xdi = dir_ / "new folder/s.xdi";
        bool shown = false;
        QTimer::singleShot(50, [&] {
            auto* dialog = qobject_cast<CImageToolDlg*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            shown = true;
            dialog->ControlAs<QLineEdit>(1019)->setText(QString::fromStdString(dir_ / "s.iso"));
            dialog->ControlAs<QComboBox>(1508)->setCurrentIndex(2);
            dialog->ControlAs<QLineEdit>(1515)->setText(QString::fromStdString(xdi));
            dialog->ControlAs<QPushButton>(1)->click();
        });
        EXPECT_TRUE(frame.ExecuteCommand(app::ui::kConvertImageCommand));
        EXPECT_TRUE(shown);
        RunOk("test -s " + ShellQuote(xdi));
        ASSERT_EQ(app::ui::RunImageTool(platform::Utf8ToUtf16(xdi), platform::Utf8ToUtf16(dir_ / "back.iso"),
                                        image::format_code::kIso, ""),
                  0);
        RunOk("7z x -o" + ShellQuote(dir_ / "x") + " " + ShellQuote(dir_ / "back.iso") + " >/dev/null && cmp " +
              ShellQuote(dir_ / "x/R.BIN") + " " + ShellQuote(dir_ / "src/r.bin") + " && cmp " +
              ShellQuote(dir_ / "x/T.TXT") + " " + ShellQuote(dir_ / "src/t.txt"));
    }
    app::UninstallReaders();
}

}  // namespace
