#include "foundation/language_ui.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "foundation/language.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "foundation/settings_window_placement.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/window_placement.h"
#include "platform/text.h"
#include "tests/foundation/language_file_builder.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

using namespace foundation;
using langtest::LangFileBuilder;

namespace {

class WindowLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
        ResetLanguageStateForTests();
        ResetMainWindowPlacementForTests();
        RegistryWrite(RegistryHive::LocalMachine, kInstallKey, u"Install_Dir",
                      RegistryValue::String(platform::Utf8ToUtf16(install.path())));
        mkdir((install / "Lang").c_str(), 0700);
    }
    void TearDown() override {
        ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir config;
    qvtest::TempDir install;
};

QWidget* WithId(QWidget* widget, int id) {
    widget->setProperty(ui::kControlIdProperty, id);
    return widget;
}

TEST_F(WindowLanguage, DialogsAreTranslatedByControlId) {
    const std::vector<uint8_t> german =
        LangFileBuilder::Language(1031, u"German", u"Deutsch")
            .Strings({{30870, u"Jawohl"}, {30880, u"Abbrechen"}})
            .Owner(300, {{1001, std::nullopt, u"Quelle:"}, {1002, std::nullopt, u"nie"},
                         {1003, std::nullopt, u"Optionen"}, {1004, std::nullopt, u"bleibt"}})
            .FontSize(200)
            .Build();
    qvtest::WriteFileBytes(install / "Lang/German.lng", german.data(), german.size());
    WriteSettingDword(u"Language", 1031);
    LoadLanguageFiles();
    ASSERT_TRUE(CurrentLangFile());

    QDialog dialog;
    auto* label = static_cast<QLabel*>(WithId(new QLabel(QStringLiteral("Source:"), &dialog), 1001));
    auto* edit = static_cast<QLineEdit*>(WithId(new QLineEdit(QStringLiteral("user data"), &dialog), 1002));
    auto* group = static_cast<QGroupBox*>(WithId(new QGroupBox(QStringLiteral("Options"), &dialog), 1003));
    auto* ok = static_cast<QPushButton*>(WithId(new QPushButton(QStringLiteral("OK"), group), 1));
    auto* cancel = static_cast<QPushButton*>(WithId(new QPushButton(QStringLiteral("Cancel"), &dialog), 2));
    auto* browse = static_cast<QPushButton*>(WithId(new QPushButton(QStringLiteral("..."), &dialog), 1004));
    auto* plain = new QLabel(QStringLiteral("no id"), &dialog);
    EXPECT_EQ(TranslateDialog(&dialog, 300), 1);
    EXPECT_EQ(label->text(), QStringLiteral("Quelle:"));
    EXPECT_EQ(edit->text(), QStringLiteral("user data"));   // edit boxes hold data, never texts
    EXPECT_EQ(group->title(), QStringLiteral("Optionen"));
    EXPECT_EQ(ok->text(), QStringLiteral("Jawohl"));
    EXPECT_EQ(cancel->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(browse->text(), QStringLiteral("..."));
    EXPECT_EQ(plain->text(), QStringLiteral("no id"));
    // A font size outside 1..72 from the file gives 8 points.
    CreateUIFont(u"DejaVu Sans", 200);
    EXPECT_EQ(QApplication::font().pointSize(), 8);
}

TEST_F(WindowLanguage, PlacementRoundTripsWithoutGrowing) {
    QWidget window;
    window.move(40, 50);
    window.resize(600, 400);
    ASSERT_TRUE(ui::SavePlacementOf(window));
    ResetMainWindowPlacementForTests();
    const std::optional<WindowPlacementRecord> loaded = LoadMainWindowPlacement({0, 0, 4000, 4000});
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->left, 40);
    EXPECT_EQ(loaded->top, 50);
    EXPECT_EQ(loaded->width, 600);
    EXPECT_EQ(loaded->height, 400);
    EXPECT_EQ(loaded->maximized, 0);
    QWidget again;
    ui::ApplyPlacement(again, *loaded);
    EXPECT_EQ(again.size(), QSize(600, 400));
    EXPECT_EQ(again.pos(), QPoint(40, 50));
}

}  // namespace
