#pragma once
// The archive contents dialog of the shell extension: it opens an archive,
// lists the programs in it that look like installers and lets the user run
// one (the window program extracts the archive to a folder of its own and
// runs it) or mount the archive on the first virtual drive and open the file
// from there. Loading starts once the dialog is on screen; OK and Cancel wait
// for it.

#include <QString>
#include <string>
#include <vector>

#include "window/dialogs/app_dialog.h"
#include "window/models/archive_run_candidates.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

struct ArchiveRunResult {
    bool run = false;
    int driveIndex = -1;
    std::u16string itemPath;   // empty: none chosen
};

class CArchiveRunDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 146;
    static constexpr int kMountChoice = 1012;
    static constexpr int kMountOpenChoice = 1013;
    static constexpr int kRunChoice = 1014;
    static constexpr int kList = 1016;
    static constexpr int kUseSelected = 1017;
    static constexpr int kShowAll = 1018;
    static constexpr int kOpenAfterMount = 1019;

    CArchiveRunDlg(const std::u16string& archivePath, bool driveInstalled, QWidget* parent = nullptr);
    ~CArchiveRunDlg() override;

    bool Loaded() const { return loaded_; }
    int ListedRows() const;
    ArchiveRunResult Result() const { return result_; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Load();
    void FillList();

    std::u16string archivePath_;
    image::ImageContext* archive_ = nullptr;
    std::vector<RunCandidate> candidates_;
    bool loaded_ = false;
    bool loadPosted_ = false;
    ArchiveRunResult result_;
    QTreeWidget* list_ = nullptr;
    QCheckBox* showAll_ = nullptr;
    QCheckBox* useSelected_ = nullptr;
    QRadioButton* mount_ = nullptr;
    QRadioButton* mountOpen_ = nullptr;
    QRadioButton* run_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Runs the dialog; false when cancelled.
bool RunArchiveContentsDialog(QWidget* parent, const std::u16string& archivePath, bool driveInstalled,
                              ArchiveRunResult& result);

}  // namespace dialogs::ui
