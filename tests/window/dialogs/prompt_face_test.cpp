// The window's prompt face: each question shown as its dialog on the window
// thread, whether the window thread or a worker without a progress dialog
// asks, and the answers that come back: every file-exists button, Escape and
// the close box; a typed password; a volume that must be a regular file
// (a folder and a FIFO made by mkfifo are refused, the dialog stays open).
// With QV_SHOT_DIR set, each dialog is saved there as a PNG to be looked at.

#include "window/dialogs/prompt_face.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "app/dialog_services.h"
#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "foundation/missing_volumes_question.h"
#include "foundation/operation_status.h"
#include "foundation/prompts.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "foundation/services.h"
#include "foundation/volume_set_services.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/app_dialog.h"

namespace {

using dialogs::ui::CAppDialog;

// Acts on the first modal dialog that appears, once.
void WhenDialogShows(std::function<void(CAppDialog&)> act, const char* shotName) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, shotName] {
        auto* dialog = qobject_cast<CAppDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        if (const char* dir = std::getenv("QV_SHOT_DIR"))
            dialog->grab().save(QString::fromUtf8(dir) + "/" + shotName + ".png");
        act(*dialog);
    });
    timer->start();
}

// Runs the request on a worker thread (no progress dialog open) or on this,
// the window thread, and returns it answered.
std::shared_ptr<foundation::UserPromptRequest> Ask(std::shared_ptr<foundation::UserPromptRequest> request,
                                                   bool fromWorker) {
    if (!fromWorker) {
        foundation::RunUserPromptRequest(request);
        return request;
    }
    std::atomic<bool> done{false};
    std::thread worker([&] {
        foundation::RunUserPromptRequest(request);
        done = true;
    });
    for (int i = 0; i < 1000 && !done; ++i) QTest::qWait(10);
    worker.join();
    return request;
}

class PromptFace : public ::testing::Test {
protected:
    void SetUp() override { qvtest::EnsureApplication(); }
    dialogs::ui::WindowPrompts face;
    foundation::ScopedServices<foundation::SetPromptServices> installed{&face};
};

TEST_F(PromptFace, FileExistsAnswersEachButtonFromEitherThread) {
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && truncate -s 2352044 Track01.wav");
    struct Row {
        const char* name;
        std::function<void(CAppDialog&)> act;
        int32_t answer;
    };
    auto click = [](int id) { return [id](CAppDialog& d) { d.ControlAs<QPushButton>(id)->click(); }; };
    const Row rows[] = {
        {"Yes", click(1), 0},
        {"No", click(7), 1},
        {"Yes to All", click(1146), 2},
        {"No to All", click(1433), 3},
        {"Cancel", click(2), 4},
        {"Escape", [](CAppDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 4},
        {"the close box", [](CAppDialog& d) { d.close(); }, 4},
    };
    for (bool fromWorker : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (fromWorker ? " from a worker" : " from the window thread"));
            auto request = std::make_shared<foundation::UserPromptRequest>();
            request->kind = foundation::prompt_kind::kFileExists;
            request->text = u"The file already exists. Do you want to replace it?";
            request->fileExists.direction = 2;
            request->fileExists.diskPath = platform::Utf8ToUtf16(dir / "Track01.wav");
            request->fileExists.itemName = u"Track01.wav";
            request->fileExists.itemSize = 1000 * 2352 + 44;
            request->fileExists.trackIndex = 0;
            WhenDialogShows(row.act, "file_exists");
            EXPECT_EQ(Ask(request, fromWorker)->answer, row.answer);
        }
    }
}

TEST_F(PromptFace, PasswordIsTypedOnceAndOkWaitsForIt) {
    for (bool fromWorker : {false, true}) {
        SCOPED_TRACE(fromWorker ? "from a worker" : "from the window thread");
        auto request = std::make_shared<foundation::UserPromptRequest>();
        request->kind = foundation::prompt_kind::kPassword;
        request->text = u"Please input the password:";
        request->path = u"/data/backup.daa";
        bool okWasDisabled = false;
        WhenDialogShows(
            [&okWasDisabled](CAppDialog& d) {
                auto* ok = d.ControlAs<QPushButton>(1);
                okWasDisabled = !ok->isEnabled();
                QTest::keyClicks(d.ControlAs<QLineEdit>(1133), QStringLiteral("Se cret"));
                EXPECT_EQ(d.ControlAs<QLineEdit>(1078)->text(), QStringLiteral("backup.daa"));
                ok->click();
            },
            "enter_password");
        Ask(request, fromWorker);
        EXPECT_TRUE(okWasDisabled);
        EXPECT_EQ(request->answer, foundation::kIdOk);
        EXPECT_EQ(request->outText, u"Se cret");
    }
}

TEST_F(PromptFace, AVolumeMustBeARegularFile) {
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && mkdir sub && mkfifo pipe && printf v > sub/x.d01");
    auto request = std::make_shared<foundation::UserPromptRequest>();
    request->kind = foundation::prompt_kind::kVolumeRequiredByFormat;
    request->path = platform::Utf8ToUtf16(dir / "x.d01");
    std::vector<bool> stayedOpen;
    WhenDialogShows(
        [&](CAppDialog& d) {
            auto* folder = d.ControlAs<QComboBox>(1136);
            auto* name = d.ControlAs<QLineEdit>(1123);
            EXPECT_EQ(folder->currentText().toStdString(), dir.path());
            EXPECT_EQ(name->text(), QStringLiteral("x.d01"));
            // Each refusal says why in a box; the box is closed and the
            // dialog is still there.
            for (const char* tried : {"sub", "pipe"}) {
                name->setText(QString::fromUtf8(tried));
                QTimer::singleShot(50, [] {
                    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->close();
                });
                d.ControlAs<QPushButton>(1)->click();
                stayedOpen.push_back(d.isVisible());
            }
            folder->setEditText(QString::fromStdString(dir / "sub"));
            name->setText(QStringLiteral("x.d01"));
            d.ControlAs<QPushButton>(1)->click();
        },
        "volume_required");
    Ask(request, true);
    EXPECT_EQ(stayedOpen, std::vector<bool>({true, true}));
    EXPECT_EQ(request->answer, foundation::kIdOk);
    EXPECT_EQ(request->outText, platform::Utf8ToUtf16(dir / "sub/x.d01"));
    ASSERT_NE(request->outHandle, nullptr);
    char byte = 0;
    EXPECT_EQ(platform::FileReadAt(request->outHandle, 0, &byte, 1), 1);
    EXPECT_EQ(byte, 'v');
    platform::FileClose(request->outHandle);
}

TEST_F(PromptFace, MissingVolumesAreListedAndTheFolderComesBack) {
    struct Row {
        const char* name;
        bool maySkip;
        std::function<void(CAppDialog&)> act;
        int32_t answer;
        std::u16string folder;
        int32_t skip;
    };
    auto typeFolderAndOk = [](CAppDialog& d) {
        d.ControlAs<QLineEdit>(1128)->setText(QStringLiteral("/data/moved/"));
        d.ControlAs<QPushButton>(1)->click();
    };
    auto checkSkipAndOk = [](CAppDialog& d) {
        d.ControlAs<QCheckBox>(1139)->setChecked(true);
        d.ControlAs<QPushButton>(1)->click();
    };
    const Row rows[] = {
        {"a folder typed", false, typeFolderAndOk, foundation::kIdOk, u"/data/moved/", 0},
        {"skipped", true, checkSkipAndOk, foundation::kIdOk, u"/data/sets", 1},
        {"skip not offered", false, checkSkipAndOk, foundation::kIdOk, u"/data/sets", 0},
        {"Cancel", true, [](CAppDialog& d) { d.ControlAs<QPushButton>(2)->click(); }, foundation::kIdCancel, u"", 0},
        {"Escape", true, [](CAppDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, foundation::kIdCancel, u"", 0},
    };
    foundation::MissingVolumesQuestion question;
    question.folder = u"/data/sets";
    question.missing = {u"v.part02.daa", u"v.part03.daa"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto request = std::make_shared<foundation::UserPromptRequest>();
        request->kind = foundation::prompt_kind::kMissingVolumes;
        request->data = row.maySkip ? 1 : 0;
        request->value = 2;
        request->path = question.folder;
        request->context = &question;
        QStringList listed;
        bool skipEnabled = false;
        WhenDialogShows(
            [&](CAppDialog& d) {
                auto* list = d.ControlAs<QListWidget>(1138);
                for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
                skipEnabled = d.ControlAs<QCheckBox>(1139)->isEnabled();
                EXPECT_EQ(d.ControlAs<QLineEdit>(1128)->text(), QStringLiteral("/data/sets"));
                row.act(d);
            },
            "missing_volumes");
        Ask(request, true);
        EXPECT_EQ(listed, QStringList({QStringLiteral("v.part02.daa"), QStringLiteral("v.part03.daa")}));
        EXPECT_EQ(skipEnabled, row.maySkip);
        EXPECT_EQ(request->answer, row.answer);
        EXPECT_EQ(request->outText, row.folder);
        EXPECT_EQ(request->outFlag, row.skip);
    }
}

}  // namespace

// The window program's whole road: an encrypted 7z archive (7z -mhe=on) and a
// DAA image written with a password by our convert, opened with the dialog
// services installed; the password dialog comes up and its answer opens them.
TEST_F(PromptFace, EncryptedArchivesOpenWithTheTypedPassword) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && mkdir config src && printf secret-data > src/f.txt && cd src && 7z a -pSecret -mhe=on ../e.7z "
                  "f.txt >/dev/null && cd .. && genisoimage -quiet -o s.iso src && " +
                  qvtest::ShellQuote(std::string(QV_PROGRAM_DIR) + "/zarn") +
                  " convert s.iso -o p.daa -setpassword Secret >/dev/null");
    app::InstallReaders();
    app::InstallDialogServices();
    for (const char* name : {"e.7z", "p.daa"}) {
        SCOPED_TRACE(name);
        app::ClearPasswordCache();
        int asked = 0;
        WhenDialogShows(
            [&asked](CAppDialog& d) {
                ++asked;
                QTest::keyClicks(d.ControlAs<QLineEdit>(1133), QStringLiteral("Secret"));
                d.ControlAs<QPushButton>(1)->click();
            },
            "enter_password_open");
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / name), false, true, false));
        ASSERT_TRUE(doc);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(std::string(doc->outputPassword.data()), "Secret");
        const std::string out = dir / (std::string("out-") + name);
        app::ExtractRequest request;
        request.destination = platform::Utf8ToUtf16(out);
        request.allFiles = true;
        ASSERT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr), 1);
        qvtest::RunOk("grep -rqx secret-data " + qvtest::ShellQuote(out));
    }
    app::RemoveDialogServices();
    app::UninstallReaders();
    unsetenv("QV_CONFIG_DIR");
}

// An extraction in the window program over two files already there, each
// answer given with the file-exists dialog's own buttons.
TEST_F(PromptFace, ExtractionOverExistingFilesTakesEachButton) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && mkdir config src && printf new > src/a.txt && printf new > src/b.txt"
                  " && genisoimage -quiet -o s.iso src");
    app::InstallReaders();
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "s.iso"), false, true, false));
    ASSERT_TRUE(doc);
    struct Row {
        const char* name;
        std::vector<int> buttons;   // clicked in the dialogs, in order
        bool replaced;
        int result;                 // the job's
    };
    const Row rows[] = {
        {"Yes, Yes", {1, 1}, true, 1},        {"No, No", {7, 7}, false, 1}, {"Yes to All", {1146}, true, 1},
        {"No to All", {1433}, false, 1},      {"Cancel", {2}, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        foundation::ResetProcessStateForTests();
        const std::string out = dir / "out";
        qvtest::RunOk("rm -rf " + qvtest::ShellQuote(out) + " && mkdir " + qvtest::ShellQuote(out) + " && cd " +
                      qvtest::ShellQuote(out) + " && printf old > A.TXT && printf old > B.TXT");
        size_t next = 0;
        std::function<void()> arm = [&] {
            if (next >= row.buttons.size()) return;
            WhenDialogShows(
                [&](CAppDialog& d) {
                    d.ControlAs<QPushButton>(row.buttons[next++])->click();
                    arm();
                },
                "file_exists_extract");
        };
        arm();
        app::ExtractRequest request;
        request.destination = platform::Utf8ToUtf16(out);
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr) == 1, row.result == 1);
        EXPECT_EQ(next, row.buttons.size());
        for (const char* name : {"A.TXT", "B.TXT"}) {
            const bool replaced = qvtest::Run("printf new | cmp -s - " + qvtest::ShellQuote(out + "/" + name)).exitCode == 0;
            EXPECT_EQ(replaced, row.replaced) << name;
        }
    }
    doc.reset();
    app::UninstallReaders();
    unsetenv("QV_CONFIG_DIR");
}

// A DAA set written by our convert with one volume moved elsewhere: opened in
// the window program from its last volume, the volume dialog is shown for
// the missing one and the folder chosen there completes the set.
TEST_F(PromptFace, AMovedVolumeIsFoundThroughTheDialog) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && mkdir config src moved && head -c 2500000 /dev/urandom > src/b.bin"
                  " && genisoimage -quiet -o s.iso src && " +
                  qvtest::ShellQuote(std::string(QV_PROGRAM_DIR) + "/zarn") +
                  " convert s.iso -o v.daa -volsize 1M >/dev/null && mv v.part02.daa moved/");
    app::InstallReaders();
    app::InstallDialogServices();
    int asked = 0;
    WhenDialogShows(
        [&](CAppDialog& d) {
            ++asked;
            d.ControlAs<QComboBox>(1136)->setEditText(QString::fromStdString(dir / "moved"));
            d.ControlAs<QPushButton>(1)->click();
        },
        "volume_required_open");
    {
        std::u16string named = platform::Utf8ToUtf16(dir / "v.part03.daa");
        foundation::RedirectToFirstVolume(named);
        EXPECT_EQ(named, platform::Utf8ToUtf16(dir / "v.part01.daa"));
        image::DocumentPtr doc(app::OpenImageByPath(named, false, true, false));
        ASSERT_TRUE(doc);
        app::ExtractRequest request;
        request.destination = platform::Utf8ToUtf16(dir / "out");
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr), 1);
    }
    EXPECT_EQ(asked, 1);
    qvtest::RunOk("cmp " + qvtest::ShellQuote(dir / "src/b.bin") + " " + qvtest::ShellQuote(dir / "out/B.BIN"));
    app::RemoveDialogServices();
    app::UninstallReaders();
    unsetenv("QV_CONFIG_DIR");
}
