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
#include <QSplitter>
#include <QTimer>
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
#include "image/document/item_tree.h"
#include "image/iso/volume_texts.h"
#include "window/dialogs/burn_event_list.h"
#include "window/dialogs/burn_views.h"
#include "window/frame/main_frame.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/pane_layout.h"

namespace dialogs::ui {
namespace {

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

constexpr uint32_t kVerifyByDefault = 0x40000;   // a "Status" flag
// The main window's commands the project buttons run.
constexpr uint32_t kCmdAddMusic = 33210, kCmdAddFiles = 32860, kCmdDeleteFiles = 32862, kCmdDeleteTracks = 33224;
constexpr uint32_t kCmdTrackUp = 33139, kCmdTrackDown = 33140;
// What the fill bars measure against: 75 minutes of CD frames, a 4.7 GB DVD.
constexpr int64_t kAudioCdFrames = 75 * 60 * 75;
constexpr int64_t kDataDiscMegabytes = 4700;

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
    : CBurnDlg(kImageTemplate, presetPath, nullptr, parent) {}

CBurnDlg::CBurnDlg(int templateId, app::ui::FramePanes* panes, QWidget* parent)
    : CBurnDlg(templateId == kAudioTemplate ? kAudioTemplate : kDataTemplate, std::u16string(), panes, parent) {}

CBurnDlg::CBurnDlg(int templateId, const std::u16string& presetPath, app::ui::FramePanes* panes, QWidget* parent)
    : CAppDialog(templateId, parent), face_(std::make_unique<JobFace>(this)), panes_(panes) {
    const bool project = templateId != kImageTemplate;
    setWindowTitle(templateId == kAudioTemplate  ? QStringLiteral("Burn Audio CD")
                   : templateId == kDataTemplate ? QStringLiteral("Burn Data Disc -- CD, DVD, BD")
                                                 : QStringLiteral("Burn Disc Image File"));
    setMinimumSize(450, project ? 564 : 400);
    if (project) resize(640, 620);   // room for the project's panes at once

    // A project has no image path to show or browse for; the controls stay
    // (hidden) so the source checks read the same way for every dialog.
    path_ = new QLineEdit(this);
    SetControlId(path_, 1019);
    path_->setReadOnly(true);
    browse_ = new QPushButton(QStringLiteral("..."), this);
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
    if (!project) {
        grid->addWidget(new QLabel(QStringLiteral("Source disc image file:")), 0, 0, 1, 3);
        grid->addWidget(path_, 1, 0, 1, 2);
        grid->addWidget(browse_, 1, 2);
    } else {
        path_->hide();
        browse_->hide();
    }
    grid->addWidget(new QLabel(project ? QStringLiteral("Drive:") : QStringLiteral("Destination writer:")), 2, 0, 1, 3);
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
    if (project) {
        layout->addWidget(BuildProjectArea(), 3);
        if (templateId == kDataTemplate) {
            label_ = new QLineEdit;
            SetControlId(label_, 1153);
            grid->addWidget(new QLabel(QStringLiteral("Label:")), 7, 0);
            grid->addWidget(label_, 7, 1, 1, 2);
            projectEdits_.push_back(label_);
        }
    }
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
    if (project) {
        if (label_ && source_) label_->setText(QString::fromStdU16String(image::GetVolumeField(*source_, image::kVolumeLabel)));
        if (treeView_) treeView_->ShowRoot();
        // Edits come through the main window's commands, whatever path they
        // take: the fill is read again now and then rather than per edit.
        auto* refill = new QTimer(this);
        connect(refill, &QTimer::timeout, this, &CBurnDlg::UpdateFill);
        refill->start(1000);
        UpdateFill();
    }
}

QWidget* CBurnDlg::BuildProjectArea() {
    const bool audio = TemplateId() == kAudioTemplate;
    auto* area = new QWidget;
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(audio ? QStringLiteral("Source music files(FLAC, APE, MP3, WMA, WAV):")
                                     : QStringLiteral("Source files:")),
                    0, 0, 1, 2);
    viewArea_ = new QSplitter(Qt::Horizontal);
    SetControlId(viewArea_, 1541);
    treeView_ = new CBurnTreeView(panes_, viewArea_);
    fileView_ = new CBurnFileView(panes_, audio, viewArea_);
    viewArea_->addWidget(treeView_);
    viewArea_->addWidget(fileView_);
    viewArea_->setChildrenCollapsible(true);
    // An audio CD has no folders: the tree keeps no width at all.
    if (audio) treeView_->hide();
    viewArea_->setStretchFactor(0, 3);
    viewArea_->setStretchFactor(1, 7);
    grid->addWidget(viewArea_, 1, 0);

    auto* column = new QVBoxLayout;
    const auto button = [&](int id, const QString& text, uint32_t command) {
        auto* b = new QPushButton(text);
        SetControlId(b, id);
        connect(b, &QPushButton::clicked, this, [this, command] { RunMainCommand(command); });
        column->addWidget(b);
        projectEdits_.push_back(b);
    };
    button(1538, QStringLiteral("Add..."), audio ? kCmdAddMusic : kCmdAddFiles);
    button(1149, QStringLiteral("Remove..."), audio ? kCmdDeleteTracks : kCmdDeleteFiles);
    if (audio) {
        button(1539, QStringLiteral("Up"), kCmdTrackUp);
        button(1540, QStringLiteral("Down"), kCmdTrackDown);
    }
    column->addStretch(1);
    grid->addLayout(column, 1, 1);
    projectEdits_.push_back(treeView_);
    projectEdits_.push_back(fileView_);

    auto* fillRow = new QHBoxLayout;
    fill_ = new QProgressBar;
    fill_->setRange(0, 1000);
    fill_->setTextVisible(!audio);
    SetControlId(fill_, audio ? 1552 : 1535);
    if (audio) {
        fillText_ = new QLabel(QStringLiteral("00:00  / 75:00"));
        SetControlId(fillText_, 1551);
        fillRow->addWidget(fillText_);
    }
    fillRow->addWidget(fill_, 1);
    grid->addLayout(fillRow, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 1);
    return area;
}

void CBurnDlg::RunMainCommand(uint32_t id) {
    if (busy_) return;
    if (app::ui::CMainFrame* frame = app::ui::MainFrame()) frame->ExecuteCommand(id);
    UpdateFill();
}

void CBurnDlg::UpdateFill() {
    if (!fill_ || busy_) return;
    image::ImageContext* doc = source_;
    if (TemplateId() == kAudioTemplate) {
        const int64_t frames = doc && doc->trackList ? std::max<int64_t>(0, image::GetTrackListEndSector(doc->trackList)) : 0;
        const int64_t seconds = frames / 75;
        fillText_->setText(QString::asprintf("%02lld:%02lld  / 75:00", static_cast<long long>(seconds / 60),
                                             static_cast<long long>(seconds % 60)));
        fill_->setValue(static_cast<int>(std::min<int64_t>(1000, frames * 1000 / kAudioCdFrames)));
        return;
    }
    image::TreeStatistics stats;
    if (doc && doc->rootFolder) image::GetTreeStatistics(doc, doc->rootFolder, &stats, true);
    const int64_t megabytes = stats.fileBytes / (1024 * 1024);
    fill_->setFormat(QString::asprintf("%04lld MB  / 4700MB", static_cast<long long>(megabytes)));
    fill_->setValue(static_cast<int>(std::min<int64_t>(1000, megabytes * 1000 / kDataDiscMegabytes)));
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
    if (!doc.rootFolder || (!doc.rootFolder->firstItem && !doc.rootFolder->firstSubfolder)) {
        // An empty data project is never built into an empty disc.
        foundation::AppMessageBox(foundation::GetLangString(32030, u"Please select the file to be burned."),
                                  foundation::kMbOk | foundation::kMbIconStop);
        return false;
    }
    if (label_) {
        const std::u16string label = label_->text().toStdU16String();
        if (label != image::GetVolumeField(doc, image::kVolumeLabel)) {
            image::SetVolumeField(doc, image::kVolumeLabel, label);
            doc.modified = 1;
            if (panes_) panes_->TreeModel()->RenameNode(doc.rootFolder, label_->text());
        }
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
    // The project is being read by the job: it is not edited meanwhile.
    for (QWidget* w : projectEdits_) w->setEnabled(!on);
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
