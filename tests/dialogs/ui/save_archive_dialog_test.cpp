// The "Save Archive" sheet and the new-password dialog offscreen: the format
// chosen from the preset name and the writers there are, the volume and
// password answers, and the SAVE_AS command end to end against isoinfo.

#include "dialogs/ui/save_archive_dialog.h"
#include "dialogs/ui/password_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/document_lifecycle.h"
#include "app/save_engine.h"
#include "foundation/messages_scripted.h"
#include "foundation/messages_ui.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sectors/format_table.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/ui/qt_application.h"

namespace {

namespace fc = image::format_code;
using dialogs::ui::CSaveArchiveDlg;
using qvtest::RunOk;
using qvtest::ShellQuote;

int WritesNothing(app::SaveRequest&) { return -1; }

class SaveArchiveDialogTest : public ::testing::Test {
protected:
    SaveArchiveDialogTest() : uiScope_(&ui_) {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
    }
    ~SaveArchiveDialogTest() override {
        for (int32_t format : {fc::kArchive, fc::kMzp, fc::kXdi}) app::SetDocumentWriter(format, nullptr);
        ::unsetenv("QV_CONFIG_DIR");
    }
    // Writers for every format the sheet offers (their work is not looked at here).
    void InstallAllWriters() {
        for (int32_t format : {fc::kArchive, fc::kMzp, fc::kXdi}) app::SetDocumentWriter(format, WritesNothing);
    }
    static int CheckedFormat(const CSaveArchiveDlg& dlg) {
        for (int id : {1434, 1435, 1436, 1437, 1556})
            if (dlg.ControlAs<QRadioButton>(id)->isChecked()) return id;
        return 0;
    }

    qvtest::TempDir config_;
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
};

TEST_F(SaveArchiveDialogTest, FormatFollowsThePresetNameAndTheWriters) {
    image::DocumentPtr doc(image::NewIsoDocument());
    const struct {
        const char16_t* preset;
        bool writers;
        int radio;
        const char* path;
    } rows[] = {
        {u"/o/x.7z", true, 1435, "/o/x.7z"},
        {u"/o/x.ZIP", true, 1434, "/o/x.zip"},
        {u"/o/x.mzp", true, 1436, "/o/x.mzp"},
        {u"/o/x.xdi", true, 1437, "/o/x.iso"},   // only zip, 7z and mzp are told apart
        {u"/o/x", true, 1434, "/o/x.zip"},
        {u"/o/x.zip", false, 1437, "/o/x.iso"},   // no archive writer: never offered
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::Utf16ToUtf8(row.preset));
        if (row.writers) InstallAllWriters();
        else app::SetDocumentWriter(fc::kArchive, nullptr);
        CSaveArchiveDlg dlg(doc.get(), dialogs::GetArchiveSettings(*doc), row.preset);
        EXPECT_EQ(CheckedFormat(dlg), row.radio);
        EXPECT_EQ(platform::Utf16ToUtf8(dlg.Path()), row.path);
        EXPECT_EQ(dlg.ControlAs<QRadioButton>(1434)->isEnabled(), row.writers);
        EXPECT_TRUE(dlg.ControlAs<QRadioButton>(1437)->isEnabled());
    }
    // The ISO family turns UDF on and Joliet off at once; ZIP then leaves UDF.
    InstallAllWriters();
    CSaveArchiveDlg dlg(doc.get(), dialogs::GetArchiveSettings(*doc), u"/o/y.iso");
    EXPECT_EQ(doc->udfFlag, 0);
    EXPECT_EQ(doc->jolietLevel, 3);
    dlg.ControlAs<QRadioButton>(1556)->click();
    EXPECT_EQ(platform::Utf16ToUtf8(dlg.Path()), "/o/y.xdi");
    EXPECT_EQ(doc->udfFlag, 1);
    EXPECT_EQ(doc->jolietLevel, 0);
}

TEST_F(SaveArchiveDialogTest, VolumesAndPasswordAnswers) {
    image::DocumentPtr doc(image::NewIsoDocument());
    CSaveArchiveDlg dlg(doc.get(), dialogs::GetArchiveSettings(*doc), u"/o/v.iso");
    dlg.show();
    QComboBox* size = dlg.ControlAs<QComboBox>(1104);
    EXPECT_FALSE(size->isEnabled());
    dlg.ControlAs<QCheckBox>(1102)->click();
    EXPECT_TRUE(size->isEnabled());
    size->setEditText(QStringLiteral("100K"));   // below 128K
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text.substr(0, 33), u"The volume size value is invalid.");
    size->setEditText(QStringLiteral("100M"));
    dlg.ControlAs<QComboBox>(1261)->setCurrentIndex(2);
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Settings().splitVolumes, 1);
    EXPECT_EQ(dlg.Settings().volumeSize, 104857600);
    EXPECT_EQ(dlg.Settings().compressionLevel, 2);
    EXPECT_EQ(dlg.Settings().passwordEnabled, 0);

    // "Autodetect" asks for a pause after each volume.
    CSaveArchiveDlg autodetect(doc.get(), dialogs::GetArchiveSettings(*doc), u"/o/v.iso");
    autodetect.ControlAs<QCheckBox>(1102)->click();
    QComboBox* box = autodetect.ControlAs<QComboBox>(1104);
    box->setCurrentIndex(box->count() - 1);
    emit box->activated(box->count() - 1);
    EXPECT_TRUE(autodetect.ControlAs<QCheckBox>(1124)->isChecked());
    autodetect.accept();
    EXPECT_EQ(autodetect.Settings().volumeSize, -1);
    EXPECT_EQ(autodetect.Settings().pauseAfterVolume, 1);

    // The new password: OK only while both fields agree.
    dialogs::ui::CPasswordDlg password(true);
    QPushButton* ok = password.ControlAs<QPushButton>(1);
    EXPECT_FALSE(ok->isEnabled());
    password.ControlAs<QLineEdit>(1134)->setText(QStringLiteral("secret"));
    password.ControlAs<QLineEdit>(1135)->setText(QStringLiteral("secreT"));
    EXPECT_FALSE(ok->isEnabled());
    password.ControlAs<QLineEdit>(1135)->setText(QStringLiteral("secret"));
    EXPECT_TRUE(ok->isEnabled());
    password.accept();
    EXPECT_EQ(password.result(), QDialog::Accepted);
    EXPECT_STREQ(password.Password().data(), "secret");
    // Removing a password leaves no password text to encrypt with.
    dialogs::ArchiveSettings withPassword = dialogs::GetArchiveSettings(*doc);
    withPassword.passwordEnabled = 1;
    std::strcpy(withPassword.password.data(), "old");
    CSaveArchiveDlg remove(doc.get(), withPassword, u"/o/p.zip");
    EXPECT_TRUE(remove.ControlAs<QPushButton>(1101)->isEnabled());
    ui_.QueueBoxAnswer(foundation::kIdYes);
    remove.ControlAs<QCheckBox>(1100)->click();
    EXPECT_FALSE(remove.ControlAs<QPushButton>(1101)->isEnabled());
    remove.accept();
    EXPECT_EQ(remove.Settings().passwordEnabled, 0);
    EXPECT_STREQ(remove.Settings().password.data(), "");

    dialogs::ui::CPasswordDlg tooLong(true);
    tooLong.ControlAs<QLineEdit>(1134)->setText(QString(257, QLatin1Char('p')));
    tooLong.ControlAs<QLineEdit>(1135)->setText(QString(257, QLatin1Char('p')));
    tooLong.accept();
    EXPECT_NE(tooLong.result(), QDialog::Accepted);
    EXPECT_TRUE(tooLong.ControlAs<QLineEdit>(1134)->text().isEmpty());
}

// SAVE_AS: the sheet preset with a name, OK, the document written there (as
// isoinfo reads it) and opened again from the new file; Cancel writes nothing.
TEST_F(SaveArchiveDialogTest, SaveAsCommandWritesAndReopens) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir src && echo one > src/a.txt"
          " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V SAVEAS -o t.iso src");
    ASSERT_TRUE(app::OpenDocument(platform::Utf8ToUtf16(dir_ / "t.iso")));
    auto answer = [](bool accept) {
        QTimer::singleShot(0, [accept] {
            auto* dlg = qobject_cast<CSaveArchiveDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            if (accept) dlg->accept();
            else dlg->reject();
        });
    };
    answer(false);
    EXPECT_EQ(dialogs::ui::RunSaveArchiveCommand(nullptr, platform::Utf8ToUtf16(dir_ / "out.iso")), 0);
    EXPECT_FALSE(platform::FileExists(platform::Utf8ToUtf16(dir_ / "out.iso")));
    answer(true);
    EXPECT_EQ(dialogs::ui::RunSaveArchiveCommand(nullptr, platform::Utf8ToUtf16(dir_ / "out.iso")), 1);
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(dir_ / "out.iso")).find("Volume id: SAVEAS"), std::string::npos);
    ASSERT_NE(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(platform::Utf16ToUtf8(image::g_CurrentDocument->imagePath), dir_ / "out.iso");
    EXPECT_EQ(image::g_CurrentDocument->modified, 0);
    app::CloseDocument();
}

}  // namespace
