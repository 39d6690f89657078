#include "window/faces/qt_window_faces.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "window/faces/icons.h"
#include "window/faces/open_with_chooser.h"
#include "window/faces/qt_text.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

using namespace foundation;
using namespace foundation::ui;

namespace {

TEST(QtWindowFaces, FiltersAreJoinedWithBlanks) {
    // Qt's dialogs list nothing for "*.zip;*.rar": the patterns go blank-separated.
    const QStringList names = QtNameFilters(BuildOpenDialogFilter());
    ASSERT_FALSE(names.isEmpty());
    EXPECT_TRUE(names.front().contains(QStringLiteral("*.zip *.rar *.7z"))) << names.front().toStdString();
    EXPECT_FALSE(names.front().contains(u';'));
    EXPECT_EQ(names.back(), QStringLiteral("All Files (*)"));
}

TEST(QtWindowFaces, SaveDialogKeepsTheNameOnTheChosenFilter) {
    qvtest::EnsureApplication();
    qvtest::TempDir folder;
    QtWindowFaces faces;
    const FileFilterList filters = BuildSaveArchiveFilter();   // Zip, 7z, mountable, ISO, XDI
    SaveDialogRequest request;
    request.filters = &filters;
    request.initialName = platform::Utf8ToUtf16(folder.path() + "/disc.zip");
    request.selectedFilter = 0;
    QString shownAfterSwitch;
    QTimer::singleShot(200, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(types && name);
        types->setCurrentIndex(3);   // Standard ISO Images, as the user picks it
        emit types->activated(3);
        shownAfterSwitch = name->text();
        static_cast<QDialog*>(dialog)->accept();
    });
    const std::optional<WindowFaces::SaveAnswer> answer = faces.SaveFileDialog(request);
    EXPECT_EQ(shownAfterSwitch, QStringLiteral("disc.iso"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->selectedFilter, 3u);
    EXPECT_EQ(ToQString(answer->path), QString::fromStdString(folder.path() + "/disc.iso"));
}

TEST(QtWindowFaces, TypesAreLookedUpOncePerExtension) {
    qvtest::EnsureApplication();
    FileTypeCache cache;
    QMimeDatabase database;
    const QString isoComment = database.mimeTypeForFile(QStringLiteral("a.iso"), QMimeDatabase::MatchExtension).comment();
    struct Row {
        std::u16string name;
        bool known;
    };
    const Row rows[] = {{u"disc.iso", true}, {u"DISC.ISO", true}, {u"dir/other.Iso", true},
                        {u"file.qqqzz", false}, {u"noextension", false}, {u".hidden", false}};
    for (const Row& row : rows) EXPECT_EQ(cache.TypeName(row.name).has_value(), row.known) << ToQString(row.name).toStdString();
    EXPECT_EQ(ToQString(*cache.TypeName(u"X.ISO")), isoComment);
    for (int i = 0; i < 1000; ++i) cache.TypeName(u"name" + std::u16string(1, char16_t(u'a' + i % 3)) + u".iso");
    EXPECT_EQ(cache.CachedExtensions(), 3u);   // "iso", "qqqzz" and the empty key of names without one
    EXPECT_TRUE(cache.FolderTypeName().has_value());
}

TEST(QtWindowFaces, NoNotificationAreaIsReported) {
    qvtest::EnsureApplication();
    QtWindowFaces faces;
    // Offscreen has no notification area: a window hidden for it could never come back.
    EXPECT_EQ(faces.AddTrayIcon(u"Quendravine"), QSystemTrayIcon::isSystemTrayAvailable());
}

// A theme icon decodes only the size asked for, yet answers as an icon that
// holds every size: the same sizes, the same pixels, greyed the same way.
TEST(QtWindowFaces, ThemeIconsAnswerAsIconsHoldingEverySize) {
    qvtest::EnsureApplication();
    for (const char* name : {"media-optical", "document-new", "folder"}) {
        const QIcon lazy = BuiltInIcon(QString::fromLatin1(name));
        QIcon whole;
        for (int side : {16, 32})
            whole.addFile(QStringLiteral(":/qv/icons/%1x%1/%2.png").arg(side).arg(QString::fromLatin1(name)),
                          QSize(side, side));
        EXPECT_EQ(lazy.availableSizes(), whole.availableSizes()) << name;
        for (int side : {8, 16, 20, 32, 48}) {
            for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
                const QSize size(side, side);
                EXPECT_EQ(lazy.actualSize(size, mode), whole.actualSize(size, mode)) << name << " " << side;
                EXPECT_EQ(lazy.pixmap(size, mode).toImage(), whole.pixmap(size, mode).toImage())
                    << name << " " << side << " mode " << mode;
            }
        }
    }
}

TEST(QtWindowFaces, OwnIconsAndTheDocumentIconFile) {
    qvtest::EnsureApplication();
    EXPECT_FALSE(ProgramIcon().isNull());
    EXPECT_FALSE(OkIcon().isNull());
    EXPECT_FALSE(CancelIcon().isNull());
    EXPECT_FALSE(BuiltInIcon(QStringLiteral("media-optical")).isNull());
    EXPECT_TRUE(BuiltInIcon(QStringLiteral("no-such-icon")).isNull());
    // The .ico file reads back with icotool as two images, 16 and 32 pixels.
    qvtest::TempDir dir;
    const QByteArray ico = DocumentIconFile();
    qvtest::WriteFileBytes(dir / "doc.ico", ico.constData(), static_cast<size_t>(ico.size()));
    const qvtest::CommandResult listed = qvtest::Run("icotool -l " + qvtest::ShellQuote(dir / "doc.ico"));
    if (listed.exitCode == 127) GTEST_SKIP() << "icotool is not installed";
    EXPECT_NE(listed.output.find("--width=16 --height=16"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("--width=32 --height=32"), std::string::npos) << listed.output;
}

TEST(QtWindowFaces, OpenWithStartsTheEntryWithoutAShell) {
    qvtest::EnsureApplication();
    if (qvtest::Run("command -v gio").exitCode != 0) GTEST_SKIP() << "gio is not installed";
    qvtest::TempDir data;
    const std::string apps = data / "applications";
    mkdir(apps.c_str(), 0700);
    const std::string log = data / "argv.log";
    const std::string script = data / "viewer.sh";
    qvtest::WriteFileText(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " +
                                      qvtest::ShellQuote(log) + "\n");
    chmod(script.c_str(), 0700);
    qvtest::WriteFileText(apps + "/qv-test-viewer.desktop",
                          "[Desktop Entry]\nType=Application\nName=QV Test Viewer\nExec=" + script +
                              " %f\nMimeType=application/x-cd-image;\n");
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedData = oldData ? oldData : "";
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);

    const std::string weird = data / "-a b;$(x) 'q\".iso";
    qvtest::WriteFileText(weird, "");
    const std::vector<DesktopEntry> entries = DesktopEntriesForFile(QString::fromStdString(weird));
    auto found = std::find_if(entries.begin(), entries.end(),
                              [](const DesktopEntry& e) { return e.name == QStringLiteral("QV Test Viewer"); });
    ASSERT_NE(found, entries.end());
    ASSERT_TRUE(LaunchDesktopEntry(found->path, QString::fromStdString(weird)));
    std::string logged;
    for (int i = 0; i < 100 && logged.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(log);
        std::getline(in, logged, '\0');
    }
    if (oldData) setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(logged, weird + "\n");
}

}  // namespace
