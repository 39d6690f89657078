#pragma once
// "Import Session" / "Import Partition" / "Import Image": the window's face
// of the chooser question (app/part_choosers.h). "Import" is enabled while
// exactly one row is selected; a double click on a row imports it.

#include "app/part_choosers.h"
#include "window/dialogs/app_dialog.h"

class QPushButton;
class QTreeWidget;

namespace dialogs::ui {

class CImportSessionDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 305;
    static constexpr int kList = 1257;

    explicit CImportSessionDlg(const app::ChooserQuestion& question, QWidget* parent = nullptr);

    QTreeWidget* List() const { return list_; }
    QPushButton* ImportButton() const { return import_; }
    // After OK: the chosen row.
    int Chosen() const { return chosen_; }

public slots:
    void accept() override;

private:
    QTreeWidget* list_ = nullptr;
    QPushButton* import_ = nullptr;
    int chosen_ = -1;
};

// Shows the dialog for the chooser's prompt kind in the window program.
void InstallImportSessionPrompt();

}  // namespace dialogs::ui
