#include "window/dialogs/burn_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <sys/stat.h>

#include "app/open_document.h"
#include "app/save_engine.h"
#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/settings.h"
#include "foundation/sizes.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/cdtext.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_engine.h"
#include "optical/burn/burn_log.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/sector_read_state.h"
#include "optical/scsi/scsi_command.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "window/dialogs/burn_event_list.h"

namespace dialogs::ui {
namespace {

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

constexpr uint32_t kVerifyByDefault = 0x40000;   // a "Status" flag

// A document the window made that has no image file yet.
bool IsProject(const image::ImageContext* doc) {
    if (!doc || !doc->imagePath.empty() || doc->discSource) return false;
    if (doc->formatCode == image::format_code::kAudioCd) return true;
    return doc->formatCode == image::format_code::kIso && doc->rootFolder != nullptr;
}

}  // namespace

// The engine's calls come on the burn thread; each is posted to the dialog.
class CBurnDlg::JobFace final : public optical::IBurnJobFace {
public:
    explicit JobFace(CBurnDlg* dialog) : dialog_(dialog) {}
    void BurnCompleted() override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_] { d->progress_->setValue(100); }, Qt::QueuedConnection);
    }
    void EraseFinished(bool) override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_] { d->progress_->setValue(100); }, Qt::QueuedConnection);
    }

private:
    CBurnDlg* dialog_;
};

CBurnDlg::CBurnDlg(const std::u16string& presetPath, QWidget* parent)
    : CAppDialog(kImageTemplate, parent), face_(std::make_unique<JobFace>(this)) {
    setWindowTitle(QStringLiteral("Burn Disc Image File"));
    setMinimumSize(450, 400);

    path_ = new QLineEdit;
    SetControlId(path_, 1019);
    path_->setReadOnly(true);
    browse_ = new QPushButton(QStringLiteral("..."));
    browse_->setFixedWidth(36);
    SetControlId(browse_, 1001);
    connect(browse_, &QPushButton::clicked, this, &CBurnDlg::Browse);
    drive_ = new QComboBox;
    SetControlId(drive_, 1173);
    speed_ = new QComboBox;
    SetControlId(speed_, 1174);
    verify_ = new QCheckBox(QStringLiteral("Verify written data"));
    SetControlId(verify_, 1256);
    eject_ = new QCheckBox(QStringLiteral("Eject disc after burning"));
    SetControlId(eject_, 1150);
    events_ = new CBurnEventList;
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    SetControlId(progress_, 1178);
    events_->SetProgressBar(progress_);
    burn_ = new QPushButton(QStringLiteral("Burn"));
    SetControlId(burn_, 1179);
    erase_ = new QPushButton(QStringLiteral("Erase"));
    SetControlId(erase_, 1147);
    close_ = new QPushButton(QStringLiteral("Close"));
    SetControlId(close_, 2);
    connect(burn_, &QPushButton::clicked, this, &CBurnDlg::OnBurn);
    connect(erase_, &QPushButton::clicked, this, &CBurnDlg::OnErase);
    connect(close_, &QPushButton::clicked, this, &CBurnDlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Source disc image file:")), 0, 0, 1, 3);
    grid->addWidget(path_, 1, 0, 1, 2);
    grid->addWidget(browse_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Destination writer:")), 2, 0, 1, 3);
    grid->addWidget(drive_, 3, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Writing speed:")), 4, 0);
    grid->addWidget(speed_, 4, 1, 1, 2);
    grid->addWidget(verify_, 5, 0, 1, 3);
    grid->addWidget(eject_, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(burn_);
    buttons->addWidget(erase_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(events_, 1);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    previousLog_ = optical::SetBurnLogServices(events_);
    if (foundation::GetStatusFlags() & kVerifyByDefault) verify_->setChecked(true);
    FillDriveCombo();
    connect(drive_, &QComboBox::currentIndexChanged, this, [this] {
        // The same drive again keeps the speeds the user sees.
        if (SelectedDriveLetter() != lastLetter_) FillSpeedCombo();
    });
    FillSpeedCombo();
    SetSourceImage(presetPath);
}

CBurnDlg::~CBurnDlg() {
    if (job_) job_->cancel = true;
    if (thread_.joinable()) thread_.join();
    optical::SetBurnLogServices(previousLog_);
    source_ = nullptr;
}

void CBurnDlg::FillDriveCombo() {
    const char16_t chosen = SelectedDriveLetter();
    optical::RebuildOpticalDriveList(drives_, false);
    QSignalBlocker block(drive_);
    drive_->clear();
    for (const optical::OpticalDriveInfo& d : drives_.drives) {
        drive_->addItem(QString::fromStdU16String(d.text), QVariant(int(d.letter)));
        if (d.letter == chosen) drive_->setCurrentIndex(drive_->count() - 1);
    }
    const bool any = drive_->count() > 0;
    burn_->setEnabled(any);
    erase_->setEnabled(any);
}

void CBurnDlg::FillSpeedCombo() {
    lastLetter_ = SelectedDriveLetter();
    const int chosen = speed_->currentIndex() >= 0 ? speed_->currentData().toInt() : -1;
    speed_->clear();
    const std::vector<optical::SpeedEntry> speeds =
        lastLetter_ ? optical::ListWriteSpeeds(lastLetter_) : std::vector<optical::SpeedEntry>{};
    if (speeds.empty()) speed_->addItem(Lang(optical::kStringMaximumSpeed, u"Maximum"), QVariant(-1));
    for (const optical::SpeedEntry& s : speeds) speed_->addItem(QString::fromStdU16String(s.text), QVariant(s.speed));
    const int at = speed_->findData(QVariant(chosen));
    speed_->setCurrentIndex(at >= 0 ? at : 0);
}

char16_t CBurnDlg::SelectedDriveLetter() const {
    return drive_->currentIndex() >= 0 ? char16_t(drive_->currentData().toInt()) : char16_t(0);
}

void CBurnDlg::SetSourceImage(const std::u16string& path) {
    ownedSource_.reset();
    source_ = nullptr;
    path_->clear();
    if (!path.empty()) {
        // Only a regular file is opened: a folder or a pipe would stall or
        // mislead the image readers.
        struct stat st {};
        const std::string host = platform::Utf16ToUtf8(path);
        if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            const uint32_t code = ::stat(host.c_str(), &st) != 0 ? platform::kErrorFileNotFound
                                                                  : platform::kErrorAccessDenied;
            foundation::AppMessageBox(path + u"\r\n" + platform::ErrorText(code),
                                      foundation::kMbOk | foundation::kMbIconStop);
            return;
        }
        ownedSource_.reset(app::OpenImageByPath(path, false, true, false));
        if (!ownedSource_) return;
        source_ = ownedSource_.get();
        path_->setText(QString::fromStdU16String(path));
    } else {
        image::ImageContext* doc = image::g_CurrentDocument;
        if (doc && !doc->imagePath.empty() && doc->endSector > 0 && !doc->discSource) {
            source_ = doc;
            path_->setText(QString::fromStdU16String(doc->imagePath));
        } else if (IsProject(doc)) {
            // An audio CD or a new data project of the window: burnt from
            // its tracks or its file tree, built when Burn is pressed.
            source_ = doc;
            path_->setText(doc->formatCode == image::format_code::kAudioCd ? QStringLiteral("Audio CD")
                                                                            : QStringLiteral("Data disc"));
            return;
        }
    }
    if (source_ && source_->endSector > 0) {
        const uint64_t sectors = uint64_t(source_->endSector);
        const uint64_t bytes = sectors * 2048;
        optical::BurnLogString(
            false, platform::Format(u"%s %s %s, %s (%s %s)  ", foundation::GetLangString(32101, u"Image file size:"),
                                    foundation::FormatThousands(sectors), foundation::GetLangString(32780, u"sectors"),
                                    foundation::FormatSizeKbMb(bytes), foundation::FormatThousands(bytes),
                                    foundation::GetLangString(1470, u"bytes")));
    }
}

void CBurnDlg::Browse() {
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString(), path_->text(),
        QString::fromStdU16String(foundation::ToQtFilterString(foundation::BuildImageFileFilter())));
    if (!chosen.isEmpty()) SetSourceImage(chosen.toStdU16String());
}

void CBurnDlg::OnBurn() {
    if (busy_) return;
    if (!source_ || path_->text().isEmpty()) {
        foundation::AppMessageBox(foundation::GetLangString(32030, u"Please select the file to be burned."),
                                  foundation::kMbOk | foundation::kMbIconStop);
        browse_->setFocus();
        return;
    }
    if (!SelectedDriveLetter()) {
        foundation::AppMessageBox(foundation::GetLangString(32760, u"Please select the burning drive."),
                                  foundation::kMbOk | foundation::kMbIconStop);
        return;
    }
    if (IsProject(source_) && !PrepareProject()) return;
    StartBurnThread(false);
}

bool CBurnDlg::PrepareProject() {
    image::ImageContext& doc = *source_;
    if (doc.formatCode == image::format_code::kAudioCd) {
        // An audio project without tracks has nothing to burn.
        if (!doc.trackList || doc.trackList->trackCount <= 0) {
            foundation::AppMessageBox(foundation::GetLangString(32030, u"Please select the file to be burned."),
                                      foundation::kMbOk | foundation::kMbIconStop);
            return false;
        }
        doc.endSector = image::GetTrackListEndSector(doc.trackList);
        return true;
    }
    if (app::PrepareDocumentForBurn(doc) == -1) {
        foundation::AppMessageBox(foundation::GetLangString(32770, u"Preparing data failed."),
                                  foundation::kMbOk | foundation::kMbIconStop);
        return false;
    }
    // From now on the project is read through the image just built.
    doc.endSector = int32_t(doc.sectorCount);
    doc.composedImageMode = 1;
    return true;
}

void CBurnDlg::OnErase() {
    if (busy_) return;
    StartBurnThread(true);
}

void CBurnDlg::StartBurnThread(bool eraseOnly) {
    // With no drive at all the job still names a letter, and fails on it.
    const char16_t letter = SelectedDriveLetter() ? SelectedDriveLetter() : u'A';
    if (drive_->currentIndex() >= 0) optical::BurnLogString(false, drive_->currentText().toStdU16String());
    // The medium's type is read here; the engine opens and holds the drive itself.
    platform::FileHandle h = optical::OpenOpticalDevice(letter);
    if (!h) {
        optical::BurnLog(true, foundation::GetLangString(32040, u"Error opening device[%C:]."), letter);
        return;
    }
    const uint8_t type = optical::GetDiscMediaType(h);
    optical::CloseOpticalDevice(h);

    job_ = std::make_unique<optical::BurnJob>();
    optical::BurnJob& job = *job_;
    job.driveLetter = letter;
    job.eraseOnly = eraseOnly;
    job.mediaType = type;
    job.overwritableMedia = optical::IsOverwritableMedia(type);
    job.source = eraseOnly ? nullptr : source_;
    job.kind = source_ && source_->discSource ? optical::BurnJobKind::DiscCopy
               : IsProject(source_)              ? optical::BurnJobKind::DataDisc
                                                 : optical::BurnJobKind::ImageFile;
    job.verify = verify_->isChecked();
    job.eject = eject_->isChecked();
    job.writeSpeed = speed_->currentIndex() > 0 ? speed_->currentData().toInt() : -1;
    if (!eraseOnly && source_ && source_->trackList && image::HasCdText(source_->trackList) == 1 &&
        foundation::ReadSettingDwordInRange(u"WriteCDText", 1, 0, 1) == 1) {
        // The disc carries the Latin-1 copies of the texts the user typed.
        image::UpdateTrackListCdTextAnsi(source_->trackList);
        image::BuildCdTextSubchannel(source_->trackList);
        job.writeCdText = !source_->trackList->rwSubchannel.empty();
    }
    job.face = face_.get();
    progress_->setValue(0);
    SetBusy(true);
    try {
        thread_ = std::jthread([this, &job] {
            optical::ResetBurnLogForJob();
            optical::g_IgnoreAllReadErrors = false;
            optical::BurnSetProgress(0, 100);
            const int ok = optical::BurnMain(job);
            // The writers log their own failure; a bare failure gets one line.
            if (!ok && !job.eraseOnly && !optical::BurnLastLineWarning()) {
                const uint32_t code = optical::g_ScsiLastError;
                const std::u16string failed = foundation::GetLangString(32580, u"Burning failed");
                if (code)
                    optical::BurnLog(true, u"%s (%08x).", failed, code);
                else
                    optical::BurnLogString(true, failed);
            }
            QMetaObject::invokeMethod(this, [this] { JobEnded(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        SetBusy(false);
    }
}

void CBurnDlg::JobEnded() {
    if (thread_.joinable()) thread_.join();
    // The project is edited again from its own tree, not the built image.
    if (source_ && source_ == image::g_CurrentDocument && IsProject(source_)) source_->composedImageMode = 0;
    SetBusy(false);
}

void CBurnDlg::SetBusy(bool on) {
    busy_ = on;
    for (QWidget* w : std::initializer_list<QWidget*>{burn_, erase_, drive_, speed_, browse_, verify_, eject_})
        w->setEnabled(!on);
    if (!on && drive_->count() == 0) {
        burn_->setEnabled(false);
        erase_->setEnabled(false);
    }
    // Close stays usable: during a job it asks the job to stop.
    close_->setText(on ? QStringLiteral("Cancel") : QStringLiteral("Close"));
}

void CBurnDlg::reject() {
    if (busy_) {
        if (job_) job_->cancel = true;
        return;
    }
    CAppDialog::reject();
}

void CBurnDlg::closeEvent(QCloseEvent* event) {
    if (busy_) {
        if (job_) job_->cancel = true;
        event->ignore();
        return;
    }
    CAppDialog::closeEvent(event);
}

}  // namespace dialogs::ui
