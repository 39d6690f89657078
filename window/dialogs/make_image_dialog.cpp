#include "window/dialogs/make_image_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/progress_callbacks.h"
#include "window/dialogs/progress_dialog.h"

namespace dialogs::ui {
namespace {

using optical::MakeImageFormat;

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

QString WithExtension(const QString& path, MakeImageFormat format) {
    if (path.isEmpty()) return path;
    const QString ext = format == MakeImageFormat::Bin ? QStringLiteral(".bin") : QStringLiteral(".iso");
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return (dot > slash ? path.left(dot) : path) + ext;
}

}  // namespace

CMakeImageDlg::CMakeImageDlg(char16_t presetLetter, QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Make Image File from Disc"));
    drive_ = new QComboBox;
    SetControlId(drive_, 1017);
    optical::RebuildOpticalDriveList(drives_, true);
    for (const optical::OpticalDriveInfo& d : drives_.drives) {
        drive_->addItem(QString::fromStdU16String(d.text), QVariant(int(d.letter)));
        if (d.letter == presetLetter) drive_->setCurrentIndex(drive_->count() - 1);
    }
    destination_ = new QLineEdit;
    destination_->setMinimumWidth(360);
    SetControlId(destination_, 1019);
    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setFixedWidth(36);
    SetControlId(browse, 1001);
    connect(browse, &QPushButton::clicked, this, &CMakeImageDlg::Browse);
    format_ = new QComboBox;
    format_->addItem(Lang(30760, u"Standard ISO Images") + QStringLiteral(" (.ISO)"));
    format_->addItem(Lang(30801, u"BIN Image Files") + QStringLiteral(" (.BIN/.CUE)"));
    SetControlId(format_, 1508);
    connect(format_, &QComboBox::currentIndexChanged, this, &CMakeImageDlg::FormatChanged);
    connect(drive_, &QComboBox::currentIndexChanged, this, &CMakeImageDlg::SuggestDestination);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Source drive: ")), 0, 0);
    grid->addWidget(drive_, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Destination file: ")), 1, 0);
    grid->addWidget(destination_, 1, 1);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Output format:")), 2, 0);
    grid->addWidget(format_, 2, 1, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(MakeOkCancelButtons());
    SuggestDestination();
}

char16_t CMakeImageDlg::DriveLetter() const {
    return drive_->currentIndex() >= 0 ? char16_t(drive_->currentData().toInt()) : char16_t(0);
}

MakeImageFormat CMakeImageDlg::Format() const {
    return format_->currentIndex() == 1 ? MakeImageFormat::Bin : MakeImageFormat::Iso;
}

std::u16string CMakeImageDlg::Destination() const { return destination_->text().trimmed().toStdU16String(); }

void CMakeImageDlg::SuggestDestination() {
    const char16_t letter = DriveLetter();
    destination_->clear();
    if (!letter) return;
    // Audio, several tracks or sessions: only BIN keeps them.
    const bool bin = optical::DiscNeedsBinFormat(letter);
    if (bin) format_->setCurrentIndex(1);
    format_->setEnabled(!bin);
    const std::u16string name = optical::ImageFileNameForLabel(optical::ReadDiscLabel(letter), Format());
    if (name.empty()) return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    destination_->setText(folder + QLatin1Char('/') + QString::fromStdU16String(name));
}

void CMakeImageDlg::FormatChanged(int) { destination_->setText(WithExtension(destination_->text(), Format())); }

void CMakeImageDlg::Browse() {
    const foundation::FileFilterList filter =
        Format() == MakeImageFormat::Bin ? foundation::BuildBinFilter() : foundation::BuildIsoFilter();
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), destination_->text(),
                                                        QString::fromStdU16String(foundation::ToQtFilterString(filter)));
    if (!chosen.isEmpty()) destination_->setText(WithExtension(chosen, Format()));
}

void CMakeImageDlg::accept() {
    if (Destination().empty()) {
        foundation::AppMessageBox(foundation::GetLangString(2370, u"Please input the destination file name."),
                                  foundation::kMbOk | foundation::kMbIconExclamation);
        destination_->setFocus();
        return;
    }
    if (Format() != MakeImageFormat::Bin && optical::DiscNeedsBinFormat(DriveLetter())) format_->setCurrentIndex(1);
    destination_->setText(WithExtension(destination_->text().trimmed(), Format()));
    CAppDialog::accept();
}

int RunMakeImage(QWidget* parent, char16_t letter, const std::u16string& destination, MakeImageFormat format) {
    CProgressDlg dialog(parent);
    dialog.SetKind(ProgressKind::MakeImage);
    dialog.SetTitle(Lang(2300, u"Making CD/DVD/BD Image... "));
    dialog.SetItemPath(QString::fromStdU16String(destination));
    dialog.SetMainWindow(parent ? parent->window() : nullptr);
    optical::MakeImageResult result;
    dialog.SetWorker([&](foundation::ProgressCallbacks* progress) -> int32_t {
        optical::MakeImageRequest request;
        request.letter = letter;
        request.destination = destination;
        request.format = format;
        bool totalSet = false;
        if (progress) {
            request.cancelled = [progress] { return progress->cancelEvent.IsSet(); };
            request.progress = [progress, &totalSet](uint64_t done, uint64_t total) {
                if (!totalSet && progress->SetTotal) progress->SetTotal(int64_t(total));
                totalSet = true;
                if (progress->SetDone) progress->SetDone(int64_t(done));
            };
        }
        result = optical::MakeImageFromDisc(request);
        return result.outcome == optical::MakeImageOutcome::Cancelled ? 0
               : result.outcome == optical::MakeImageOutcome::Failed  ? -1
                                                                       : 1;
    });
    if (dialog.Run() != QDialog::Accepted) return -1;
    if (!result.message.empty()) {
        const bool failed = result.outcome == optical::MakeImageOutcome::Failed;
        foundation::AppMessageBox(result.message,
                                  foundation::kMbOk | (failed ? foundation::kMbIconStop : foundation::kMbIconExclamation));
    }
    return dialog.WorkerResult();
}

int RunMakeImageCommand(QWidget* parent, char16_t presetLetter) {
    CMakeImageDlg dialog(presetLetter, parent);
    if (!dialog.HasDrives()) {
        foundation::AppMessageBox(foundation::GetLangString(2240, u"No CD/DVD/BD drive available."),
                                  foundation::kMbOk | foundation::kMbIconInformation);
        return 0;
    }
    if (dialog.exec() != QDialog::Accepted) return 0;
    return RunMakeImage(parent, dialog.DriveLetter(), dialog.Destination(), dialog.Format());
}

}  // namespace dialogs::ui
