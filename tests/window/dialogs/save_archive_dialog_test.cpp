// The "Save Archive" sheet and the new-password dialog offscreen: the format
// chosen from the preset name and the writers there are, the volume and
// password answers, the ISO File System, More Labels and Comment pages, and
// the SAVE_AS command end to end against isoinfo and unzip.

#include "window/dialogs/save_archive_dialog.h"
#include "window/dialogs/iso_date_time_page.h"
#include "window/dialogs/iso_file_system_page.h"
#include "window/dialogs/more_labels_dialog.h"
#include "window/dialogs/password_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "image/build/add_disk_files.h"
#include "image/iso/volume_texts.h"
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
#include "tests/support/window/qt_application.h"

namespace {

namespace fc = image::format_code;
using dialogs::ui::CSaveArchiveDlg;
using qvtest::RunOk;
using qvtest::ShellQuote;

int WritesNothing(app::SaveRequest&) { return -1; }

// A control of one page (the pages of a sheet reuse ids, as separate pages do).
template <typename T>
T* PageControl(QWidget* page, int id) {
    for (T* child : page->findChildren<T*>())
        if (dialogs::ui::CAppDialog::ControlId(child) == id) return child;
    return nullptr;
}

// Answers the sheet the next modal run shows: `edit` fills it, then OK.
template <typename Edit>
void AnswerSheet(Edit edit) {
    QTimer::singleShot(0, [edit] {
        auto* dlg = qobject_cast<CSaveArchiveDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        edit(*dlg);
        dlg->accept();
    });
}

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
    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
        dlg.grab().save(QString::fromUtf8(shots) + "/save_archive.png");
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
    // It leads the list, told by its data.
    ASSERT_EQ(box->findData(QVariant::fromValue<qlonglong>(-1)), 0);
    box->setCurrentIndex(0);
    emit box->activated(0);
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

// The ISO page is in the sheet exactly while an ISO image is chosen; its
// click rules; no Comment page for an audio disc.
TEST_F(SaveArchiveDialogTest, IsoPageFollowsTheFormat) {
    InstallAllWriters();
    image::DocumentPtr doc(image::NewIsoDocument());
    CSaveArchiveDlg dlg(doc.get(), dialogs::GetArchiveSettings(*doc), u"/o/x.iso");
    auto* tabs = dlg.findChild<QTabWidget*>();
    ASSERT_NE(dlg.IsoPage(), nullptr);
    EXPECT_EQ(tabs->count(), 5);
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Comment"));
    EXPECT_EQ(tabs->tabText(3), QStringLiteral("ISO File System"));
    EXPECT_EQ(tabs->tabText(4), QStringLiteral("ISO Date/Time"));
    dlg.ControlAs<QRadioButton>(1434)->click();
    EXPECT_EQ(dlg.IsoPage(), nullptr);
    EXPECT_EQ(tabs->count(), 3);
    dlg.ControlAs<QRadioButton>(1437)->click();   // the ISO family: UDF on, Joliet off
    QWidget* page = dlg.IsoPage();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(PageControl<QCheckBox>(page, 1206)->isChecked());
    EXPECT_FALSE(PageControl<QCheckBox>(page, 1090)->isChecked());
    EXPECT_FALSE(PageControl<QRadioButton>(page, 1095)->isEnabled());
    PageControl<QCheckBox>(page, 1150)->click();   // ISO 9660 off: no ISO name choices
    EXPECT_FALSE(PageControl<QRadioButton>(page, 1091)->isEnabled());
    PageControl<QCheckBox>(page, 1090)->click();   // Joliet brings ISO 9660 back
    EXPECT_TRUE(PageControl<QCheckBox>(page, 1150)->isChecked());
    EXPECT_TRUE(PageControl<QRadioButton>(page, 1091)->isEnabled());
    EXPECT_TRUE(PageControl<QRadioButton>(page, 1095)->isEnabled());

    image::DocumentPtr audio(image::NewIsoDocument());
    audio->formatCode = fc::kAudioCd;
    CSaveArchiveDlg audioSheet(audio.get(), dialogs::GetArchiveSettings(*audio), u"/o/a.iso");
    EXPECT_EQ(audioSheet.findChild<QTabWidget*>()->count(), 4);   // General, Advanced and the ISO pair
    EXPECT_EQ(audioSheet.findChild<QPlainTextEdit*>(), nullptr);
}

// OK on the dates page: an unchecked creation date stays, an unchecked
// expiration date is cleared; unchecked pairs cannot be edited.
TEST_F(SaveArchiveDialogTest, DateTimePageStoresOnOk) {
    image::DocumentPtr doc(image::NewIsoDocument());
    doc->creationTime = 1700000000;
    doc->expirationTime = 1800000000;
    CSaveArchiveDlg dlg(doc.get(), dialogs::GetArchiveSettings(*doc), u"/o/d.iso");
    auto* page = dlg.findChild<dialogs::ui::CIsoDateTimePage*>();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(PageControl<QCheckBox>(page, 1150)->isChecked());
    EXPECT_FALSE(PageControl<QWidget>(page, 1284)->isEnabled());   // effective: off
    EXPECT_FALSE(PageControl<QWidget>(page, 1291)->isEnabled());   // "Set to:" not chosen
    PageControl<QCheckBox>(page, 1150)->click();
    PageControl<QCheckBox>(page, 1295)->click();
    EXPECT_FALSE(PageControl<QWidget>(page, 1281)->isEnabled());
    PageControl<QRadioButton>(page, 1339)->click();
    EXPECT_TRUE(PageControl<QWidget>(page, 1291)->isEnabled());
    PageControl<QRadioButton>(page, 1337)->click();
    dlg.accept();
    EXPECT_EQ(doc->creationTime, 1700000000);
    EXPECT_EQ(doc->expirationTime, 0);
    EXPECT_EQ(doc->modified, 2);
}

// More Labels stores the changed texts at once and only on OK.
TEST_F(SaveArchiveDialogTest, MoreLabelsStoreOnOk) {
    image::DocumentPtr doc(image::NewIsoDocument());
    const std::u16string system = image::GetVolumeField(*doc, 1);
    {
        dialogs::ui::CMoreLabelsDlg dlg(*doc);
        EXPECT_EQ(dlg.ControlAs<QLineEdit>(1020)->text().toStdU16String(), system);
        dlg.ControlAs<QLineEdit>(1023)->setText(QStringLiteral("CANCELLED"));
        dlg.reject();
    }
    EXPECT_EQ(image::GetVolumeField(*doc, 3), u"");
    EXPECT_EQ(doc->modified, 0);
    dialogs::ui::CMoreLabelsDlg dlg(*doc);
    dlg.ControlAs<QLineEdit>(1023)->setText(QStringLiteral("PUBLISHER"));
    dlg.ControlAs<QLineEdit>(1062)->setText(QStringLiteral("BIBLIO"));
    dlg.accept();
    EXPECT_EQ(image::GetVolumeField(*doc, 3), u"PUBLISHER");
    EXPECT_EQ(image::GetVolumeField(*doc, 8), u"BIBLIO");
    EXPECT_EQ(image::GetVolumeField(*doc, 1), system);
    EXPECT_EQ(doc->modified, 1);
}

// SAVE_AS with the ISO page's label and Joliet choice (isoinfo reads them),
// and an archive's comment (unzip reads it).
TEST_F(SaveArchiveDialogTest, SaveAsCarriesTheIsoPageAndTheComment) {
    app::InstallReaders();
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir src && echo one > src/a.txt"
          " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V SAVEAS -o t.iso src");
    ASSERT_TRUE(app::OpenDocument(platform::Utf8ToUtf16(dir_ / "t.iso")));
    AnswerSheet([](CSaveArchiveDlg& dlg) {
        QWidget* page = dlg.IsoPage();
        ASSERT_NE(page, nullptr);
        PageControl<QLineEdit>(page, 1061)->setText(QStringLiteral("SHEETLABEL"));
        PageControl<QCheckBox>(page, 1090)->click();   // Joliet off
        dlg.ControlAs<QPlainTextEdit>(1153)->setPlainText(QStringLiteral("not kept by ISO"));
    });
    EXPECT_EQ(dialogs::ui::RunSaveArchiveCommand(nullptr, platform::Utf8ToUtf16(dir_ / "labelled.iso")), 1);
    const std::string info = RunOk("isoinfo -d -i " + ShellQuote(dir_ / "labelled.iso"));
    EXPECT_NE(info.find("Volume id: SHEETLABEL"), std::string::npos) << info;
    EXPECT_NE(info.find("NO Joliet present"), std::string::npos) << info;
    app::CloseDocument();

    ASSERT_EQ(app::NewArchiveDocument({}, 1), 1);
    ASSERT_GE(image::AddDiskFolderContents(image::g_CurrentDocument, image::g_CurrentDocument->rootFolder,
                                           platform::Utf8ToUtf16(dir_ / "src"), nullptr),
              0);
    const std::string zipPath = dir_ / "commented.zip";
    AnswerSheet([zipPath](CSaveArchiveDlg& dlg) {
        EXPECT_EQ(dlg.IsoPage(), nullptr);
        // The frame already names the new document after the chosen file.
        EXPECT_EQ(platform::Utf16ToUtf8(app::NewDocumentName()), zipPath);
        dlg.ControlAs<QPlainTextEdit>(1153)->setPlainText(QStringLiteral("made by the sheet\nsecond line"));
    });
    EXPECT_EQ(dialogs::ui::RunSaveArchiveCommand(nullptr, platform::Utf8ToUtf16(dir_ / "commented.zip")), 1);
    EXPECT_NE(RunOk("unzip -z " + ShellQuote(dir_ / "commented.zip")).find("made by the sheet\nsecond line"),
              std::string::npos);
    app::CloseDocument();
    app::UninstallReaders();
}

}  // namespace
