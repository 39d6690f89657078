// The encoder settings dialogs over a private settings store: what they show
// for missing, stored and unusable values, and that OK writes only what the
// user changed while Cancel writes nothing.

#include "window/dialogs/encoder_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/settings.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace {

using dialogs::ui::CEncoderSettingsDlg;

class EncoderSettingsTest : public ::testing::Test {
protected:
    EncoderSettingsTest() {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
    }
    ~EncoderSettingsTest() override { ::unsetenv("QV_CONFIG_DIR"); }

    std::string UserReg() const {
        std::ifstream in(config_ / "user.reg", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    qvtest::TempDir config_;
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(EncoderSettingsTest, Mp3DefaultsShowAndOkStoresOnlyTheShownFormat) {
    CEncoderSettingsDlg dlg(CEncoderSettingsDlg::kMp3Template);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("MP3 Encoder"));
    auto* format = dlg.ControlAs<QComboBox>(1397);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->count(), 21);
    EXPECT_EQ(format->currentText(), QStringLiteral("CBR 128Kbps"));
    EXPECT_EQ(dlg.ControlAs<QComboBox>(1398)->currentText(), QStringLiteral("Stereo"));
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(1150)->isChecked());
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(1399)->isChecked());
    EXPECT_FALSE(dlg.ControlAs<QCheckBox>(1401)->isChecked());
    EXPECT_FALSE(dlg.ControlAs<QCheckBox>(1402)->isChecked());
    dlg.accept();
    const std::string reg = UserReg();
    EXPECT_EQ(Count(reg, "\"LameEncodeFormat\"=dword:20000080"), 1u) << reg;
    EXPECT_EQ(Count(reg, "=dword:"), 1u) << reg;
}

TEST_F(EncoderSettingsTest, EveryChoiceIsStoredAndReadBack) {
    struct Row {
        int templateId;
        int comboId;
        const char* choose;
        const char16_t* setting;
        uint32_t stored;
    };
    const Row rows[] = {
        {CEncoderSettingsDlg::kMp3Template, 1397, "Preset:fast extreme", u"LameEncodeFormat", 0x10010100},
        {CEncoderSettingsDlg::kMp3Template, 1397, "ABR 320Kbps", u"LameEncodeFormat", 0x30000140},
        {CEncoderSettingsDlg::kMp3Template, 1398, "Mono", u"LameEncodeMode", 3},
        {CEncoderSettingsDlg::kFlacTemplate, 1396, "8 (slowest, most compression)", u"FlacCompressionLevel", 8},
        {CEncoderSettingsDlg::kFlacTemplate, 1396, "0 (fastest, least compression)", u"FlacCompressionLevel", 0},
        {CEncoderSettingsDlg::kApeTemplate, 1395, "Insane", u"ApeCompressionLevel", 5},
    };
    for (const Row& r : rows) {
        {
            CEncoderSettingsDlg dlg(r.templateId);
            auto* combo = dlg.ControlAs<QComboBox>(r.comboId);
            const int index = combo->findText(QString::fromLatin1(r.choose));
            ASSERT_GE(index, 0) << r.choose;
            combo->setCurrentIndex(index);
            dlg.accept();
        }
        EXPECT_EQ(foundation::ReadSettingDword(r.setting, 0xDEADBEEF), r.stored) << r.choose;
        CEncoderSettingsDlg again(r.templateId);
        EXPECT_EQ(again.ControlAs<QComboBox>(r.comboId)->currentText(), QString::fromLatin1(r.choose));
    }
    // The check boxes too.
    {
        CEncoderSettingsDlg dlg(CEncoderSettingsDlg::kMp3Template);
        dlg.ControlAs<QCheckBox>(1150)->setChecked(false);
        dlg.ControlAs<QCheckBox>(1402)->setChecked(true);
        dlg.accept();
    }
    EXPECT_EQ(foundation::ReadSettingDword(u"LameID3V1", 9), 0u);
    EXPECT_EQ(foundation::ReadSettingDword(u"LameOriginal", 9), 1u);
    EXPECT_EQ(foundation::ReadSettingDword(u"LameCopyright", 9), 9u);   // untouched: never written
}

TEST_F(EncoderSettingsTest, UnusableStoredValuesShowTheFallbackAndStayUnwritten) {
    foundation::WriteSettingDword(u"FlacCompressionLevel", 12);
    foundation::WriteSettingDword(u"ApeCompressionLevel", 0xFFFFFFFF);
    foundation::WriteSettingString(u"LameEncodeMode", u"2");
    struct Row {
        int templateId;
        int comboId;
        const char* shown;
    };
    const Row rows[] = {
        {CEncoderSettingsDlg::kFlacTemplate, 1396, "5 (default)"},
        {CEncoderSettingsDlg::kApeTemplate, 1395, "High"},
    };
    for (const Row& r : rows) {
        const std::string before = UserReg();
        CEncoderSettingsDlg dlg(r.templateId);
        EXPECT_EQ(dlg.ControlAs<QComboBox>(r.comboId)->currentText(), QString::fromLatin1(r.shown));
        dlg.accept();
        EXPECT_EQ(UserReg(), before) << r.shown;
    }
    CEncoderSettingsDlg mp3(CEncoderSettingsDlg::kMp3Template);
    EXPECT_EQ(mp3.ControlAs<QComboBox>(1398)->currentText(), QStringLiteral("Stereo"));
}

TEST_F(EncoderSettingsTest, LooksRight) {
    const char* shots = std::getenv("QV_SCREENSHOT_DIR");
    for (int templateId : {CEncoderSettingsDlg::kMp3Template, CEncoderSettingsDlg::kFlacTemplate,
                           CEncoderSettingsDlg::kApeTemplate}) {
        CEncoderSettingsDlg dlg(templateId);
        dlg.show();
        EXPECT_GE(dlg.width(), 300);
        if (shots) dlg.grab().save(QString::fromUtf8(shots) + QStringLiteral("/encoder_%1.png").arg(templateId));
    }
}

TEST_F(EncoderSettingsTest, CancelWritesNothing) {
    foundation::WriteSettingDword(u"LameEncodeFormat", 0x300000C0);
    const std::string before = UserReg();
    CEncoderSettingsDlg dlg(CEncoderSettingsDlg::kMp3Template);
    EXPECT_EQ(dlg.ControlAs<QComboBox>(1397)->currentText(), QStringLiteral("ABR 192Kbps"));
    dlg.ControlAs<QComboBox>(1397)->setCurrentIndex(0);
    dlg.ControlAs<QCheckBox>(1401)->setChecked(true);
    dlg.reject();
    EXPECT_EQ(UserReg(), before);
}

}  // namespace
