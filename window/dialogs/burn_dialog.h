#pragma once
// "Burn Disc Image File": the source image, the target writer and its speeds,
// verify and eject, the event list of the burn log and the job's progress.
// Burn prepares a job and runs it on the dialog's own burn thread; while it
// runs, Close, Escape and the close box only ask the job to stop, so nothing
// the thread uses is freed under it. The dialog owns the job, the thread and
// any image it opened itself, and joins the thread before it goes.

#include <memory>
#include <string>
#include <thread>

#include "image/document/document.h"
#include "optical/burn/burn_job.h"
#include "optical/drive/optical_drive_list.h"
#include "window/dialogs/app_dialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace optical {
class IBurnLogServices;
}

namespace dialogs::ui {

class CBurnEventList;

class CBurnDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kImageTemplate = 282;

    // presetPath: the image to burn (a command file's); empty: the current
    // document when it is an image file or an audio CD or data project.
    explicit CBurnDlg(const std::u16string& presetPath, QWidget* parent = nullptr);
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

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class JobFace;
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
};

}  // namespace dialogs::ui
