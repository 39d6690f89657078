#pragma once
// "Burn Disc Image File", "Burn Audio CD" and "Burn Data Disc": the source
// (an image, or the window's project shown in the dialog's own panes with its
// edit buttons and fill bar), the target writer and its speeds, verify and
// eject, the event list of the burn log and the job's progress.
// Burn prepares a job and runs it on the dialog's own burn thread; while it
// runs, Close, Escape and the close box only ask the job to stop, so nothing
// the thread uses is freed under it. The dialog owns the job, the thread and
// any image it opened itself, and joins the thread before it goes.

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "image/document/document.h"
#include "optical/burn/burn_job.h"
#include "optical/drive/optical_drive_list.h"
#include "window/dialogs/app_dialog.h"

class QCheckBox;
class QLabel;
class QSplitter;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace optical {
class IBurnLogServices;
}
namespace app::ui {
class FramePanes;
}

namespace dialogs::ui {

class CBurnEventList;
class CBurnFileView;
class CBurnTreeView;

class CBurnDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kImageTemplate = 282;
    static constexpr int kAudioTemplate = 395;
    static constexpr int kDataTemplate = 396;

    // presetPath: the image to burn (a command file's); empty: the current
    // document when it is an image file or an audio CD or data project.
    explicit CBurnDlg(const std::u16string& presetPath, QWidget* parent = nullptr);
    // The audio CD (kAudioTemplate) or data disc (kDataTemplate) dialog over
    // the current document, a project the window has just made; panes: the
    // main window's, whose models and selections the dialog's views share and
    // whose commands its buttons run.
    CBurnDlg(int templateId, app::ui::FramePanes* panes, QWidget* parent = nullptr);
    ~CBurnDlg() override;

    // Opens path as the source (empty: the current document, when it is an
    // image file read from a file). A path that does not open leaves no source.
    void SetSourceImage(const std::u16string& path);
    const image::ImageContext* Source() const { return source_; }

    void OnBurn();
    void OnErase();
    bool Busy() const { return busy_; }
    // The drive list again (writers only), keeping the chosen drive.
    void FillDriveCombo();
    // The chosen drive's write speeds, "Maximum" first.
    void FillSpeedCombo();
    char16_t SelectedDriveLetter() const;
    CBurnEventList* Events() const { return events_; }
    CBurnTreeView* TreeView() const { return treeView_; }
    CBurnFileView* FileView() const { return fileView_; }
    // The fill bar again from the project's size (or length).
    void UpdateFill();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class JobFace;
    CBurnDlg(int templateId, const std::u16string& presetPath, app::ui::FramePanes* panes, QWidget* parent);
    QWidget* BuildProjectArea();
    void RunMainCommand(uint32_t id);
    // Builds a project for the burn; false (told) when there is nothing to burn.
    bool PrepareProject();
    void StartBurnThread(bool eraseOnly);
    void JobEnded();
    void SetBusy(bool on);
    void Browse();

    std::unique_ptr<JobFace> face_;
    image::DocumentPtr ownedSource_;          // an image the dialog opened itself
    image::ImageContext* source_ = nullptr;   // ownedSource_ or the current document
    optical::OpticalDriveList drives_;
    char16_t lastLetter_ = 0;
    std::unique_ptr<optical::BurnJob> job_;
    std::jthread thread_;
    bool busy_ = false;
    optical::IBurnLogServices* previousLog_ = nullptr;

    QLineEdit* path_ = nullptr;
    QPushButton* browse_ = nullptr;
    QComboBox* drive_ = nullptr;
    QComboBox* speed_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QCheckBox* eject_ = nullptr;
    CBurnEventList* events_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* burn_ = nullptr;
    QPushButton* erase_ = nullptr;
    QPushButton* close_ = nullptr;

    // The project dialogs only.
    app::ui::FramePanes* panes_ = nullptr;
    QSplitter* viewArea_ = nullptr;
    CBurnTreeView* treeView_ = nullptr;
    CBurnFileView* fileView_ = nullptr;
    std::vector<QWidget*> projectEdits_;   // disabled while a job runs
    QLabel* fillText_ = nullptr;
    QProgressBar* fill_ = nullptr;
    QLineEdit* label_ = nullptr;
};

}  // namespace dialogs::ui
