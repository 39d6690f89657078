// The file-and-folder chooser offscreen, on a folder made for it: files and a
// folder selected together come back as full paths (a name holding a quote
// too); typed names, a wildcard that filters and keeps the dialog, a missing
// name refused with a message; the adding variant's button.
// With QV_SHOT_DIR set, the dialog is saved there as a PNG to be looked at.

#include "window/dialogs/file_folder_select_dialog.h"

#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/messages_scripted.h"
#include "foundation/services.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace {

using dialogs::ui::CFileFolderSelect;

class FileFolderSelect : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir_.path()) +
                      " && touch a.txt b.txt 'say \"hi\".txt' s.iso && mkdir Docs");
    }
    // The dialog shown on the folder, its listing loaded.
    void Show(CFileFolderSelect& dialog) {
        dialog.show();
        auto* view = dialog.findChild<QListView*>();
        QTRY_COMPARE_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()), 5, 5000);
    }
    void Select(CFileFolderSelect& dialog, const std::vector<QString>& names) {
        auto* view = dialog.findChild<QListView*>();
        auto* model = static_cast<QFileSystemModel*>(view->model());
        for (const QString& name : names)
            view->selectionModel()->select(model->index(QString::fromStdString(dir_ / name.toStdString())),
                                           QItemSelectionModel::Select);
    }
    std::u16string Path(const std::string& name) const { return platform::Utf8ToUtf16(dir_ / name); }
    QLineEdit* Names(CFileFolderSelect& dialog) { return dialog.findChild<QLineEdit*>(QStringLiteral("names")); }
    void Ok(CFileFolderSelect& dialog) {
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }

    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_{&ui_};
};

TEST_F(FileFolderSelect, FilesAndAFolderSelectedTogether) {
    CFileFolderSelect dialog(QStringLiteral("Open"), QString::fromStdString(dir_.path()), false);
    Show(dialog);
    Select(dialog, {QStringLiteral("b.txt"), QStringLiteral("Docs"), QStringLiteral("a.txt"),
                    QStringLiteral("say \"hi\".txt")});
    const QString shown = Names(dialog)->text();
    for (const char* quoted : {"\"a.txt\"", "\"b.txt\"", "\"Docs\""})
        EXPECT_TRUE(shown.contains(QString::fromUtf8(quoted))) << shown.toStdString();
    if (const char* shots = std::getenv("QV_SHOT_DIR")) dialog.grab().save(QString::fromUtf8(shots) + "/file_folder_select.png");
    Ok(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    std::vector<std::u16string> chosen = dialog.Chosen();
    std::sort(chosen.begin(), chosen.end());
    EXPECT_EQ(chosen, (std::vector<std::u16string>{Path("Docs"), Path("a.txt"), Path("b.txt"), Path("say \"hi\".txt")}));
    EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(FileFolderSelect, TypedText) {
    struct Row {
        const char* name;
        QString typed;
        bool ends;
        std::vector<std::u16string> chosen;
        size_t boxes;
    };
    const Row rows[] = {
        {"names typed, a folder among them", QStringLiteral("\"Docs\" a.txt"), true, {Path("Docs"), Path("a.txt")}, 0},
        {"a wildcard filters and stays", QStringLiteral("*.iso"), false, {}, 0},
        {"a missing name is refused and stays", QStringLiteral("\"a.txt\" \"gone.txt\""), false, {}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t boxesBefore = ui_.Boxes().size();
        CFileFolderSelect dialog(QStringLiteral("Open"), QString::fromStdString(dir_.path()), true);
        Show(dialog);
        Names(dialog)->setText(row.typed);
        Ok(dialog);
        EXPECT_EQ(dialog.isVisible(), !row.ends);
        EXPECT_EQ(dialog.Chosen(), row.chosen);
        EXPECT_EQ(ui_.Boxes().size() - boxesBefore, row.boxes);
    }
}

TEST_F(FileFolderSelect, TheAddingVariantSaysAdd) {
    for (bool adding : {false, true}) {
        CFileFolderSelect dialog(QStringLiteral("Add"), QString::fromStdString(dir_.path()), adding);
        EXPECT_EQ(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->text(),
                  adding ? QStringLiteral("Add") : QStringLiteral("Open"));
    }
}

}  // namespace
