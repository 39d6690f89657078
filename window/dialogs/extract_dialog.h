#pragma once
// The Extract command's window half: the dialog that asks where to extract
// (a destination folder with its history, selected or all files, whether to
// open the folder afterwards, whether to overwrite without asking), and the
// extraction job run on the progress dialog's worker.

#include <QWidget>

#include <optional>
#include <vector>

#include "app/extract_job.h"
#include "window/dialogs/app_dialog.h"

class QComboBox;
class QRadioButton;
class QCheckBox;

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace dialogs::ui {

class CExtractDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 223;

    // allFiles: the whole document or folder is to be extracted (nothing was
    // selected); "Selected files" is then not offered.
    explicit CExtractDlg(bool allFiles, QWidget* parent = nullptr);

    // What the user chose; meaningful after the dialog was accepted.
    const app::ExtractRequest& Request() const { return request_; }

public slots:
    // Refuses an empty path (the dialog stays open); otherwise stores the
    // answers and the path in the history.
    void accept() override;
    void Browse();

private:
    QComboBox* path_ = nullptr;
    QRadioButton* selected_ = nullptr;
    QRadioButton* all_ = nullptr;
    QCheckBox* openAfter_ = nullptr;
    QCheckBox* overwrite_ = nullptr;
    app::ExtractRequest request_;
};

// A typed destination as a full path: surrounding blanks cut, "~" the home
// folder, a relative path taken below the home folder. Empty stays empty.
QString NormaliseExtractPath(const QString& typed);
// The folder browser of an output-folder box: the chosen folder goes to the
// top of the box's history and is selected.
void BrowseIntoFolderBox(QWidget* owner, QComboBox* box);
// The box's folder, normalised; empty after telling the user it may not be
// empty (the focus back in the box).
QString TakeOutputFolder(QComboBox* box);

// The extraction job under the progress dialog: all entries of baseFolder
// when request.allFiles, else the items. Returns the job's result (1 done, 0
// cancelled, -1 failed; -1 also when the worker could not start).
int RunExtractJob(QWidget* parent, image::ImageContext* ctx, image::ImageFolder* baseFolder,
                  const std::vector<image::ImageItem*>& items, const app::ExtractRequest& request);

// Items handed to another program (a drag out, the clipboard) written into
// the work folder under the progress dialog (app::RenderTransferFiles); their
// paths. 1 done, 0 cancelled, -1 failed.
int RunTransferRender(QWidget* parent, image::ImageContext* ctx, image::ImageFolder* sourceFolder,
                      const std::vector<image::ImageItem*>& items, std::vector<std::u16string>& paths);

// The whole command as the main frame runs it: the dialog (all files when the
// selection is empty), the job, and the destination opened when asked and the
// job succeeded. Nothing when the dialog was cancelled, else the job's result.
std::optional<int> RunExtractDialog(QWidget* parent, image::ImageContext* ctx, image::ImageFolder* baseFolder,
                                    const std::vector<image::ImageItem*>& selection);

}  // namespace dialogs::ui
