#include "window/dialogs/save_archive_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/document_lifecycle.h"
#include "app/save_engine.h"
#include "window/dialogs/comment_page.h"
#include "window/dialogs/iso_date_time_page.h"
#include "window/dialogs/iso_file_system_page.h"
#include "window/dialogs/password_dialog.h"
#include "window/dialogs/volume_group.h"
#include "window/models/volume_size.h"
#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/paths.h"
#include "foundation/window_faces.h"
#include "image/detect/format_detect.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sectors/format_table.h"
#include "platform/text.h"

namespace dialogs::ui {

namespace {

namespace fc = image::format_code;

QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}
// The dialog's own texts (translated with the dialog as a whole).
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

const char16_t* ExtensionOf(int32_t format, int32_t variant) {
    if (format == fc::kArchive) return variant == 2 ? u"7z" : u"zip";
    if (format == fc::kMzp) return u"mzp";
    if (format == fc::kXdi) return u"xdi";
    return u"iso";
}

bool HasWriter(int32_t format) { return app::GetDocumentWriter(format) != nullptr; }

// Audio discs carry no archive comment.
bool IsAudioDocument(const image::ImageContext* ctx) {
    return ctx && (ctx->formatCode == fc::kAudioCd || ctx->mixedTracks != 0 || ctx->videoCdKind != 0);
}

}  // namespace

CSaveArchiveDlg::CSaveArchiveDlg(image::ImageContext* ctx, const ArchiveSettings& settings, std::u16string_view path,
                                 QWidget* parent)
    : CPropertySheet(kTemplateId, Lang(1240, u"Save Archive").toStdU16String(), parent), ctx_(ctx), settings_(settings) {
    tabs_ = Tabs();
    // The format chosen on the General page decides what the other pages
    // offer, so every page is built here.
    AddPage(new CHostedPage(kTemplateId, Lang(1140, u"General").toStdU16String(), BuildGeneralPage(), {},
                            [this] { return CheckPath(); }));
    AddPage(new CHostedPage(kAdvancedTemplateId, Lang(1170, u"Advanced").toStdU16String(), BuildAdvancedPage(),
                            [this] { return CheckVolumeSize(nullptr); }, [this] { return StoreAdvanced(); }));
    if (!IsAudioDocument(ctx)) {
        commentPage_ = new CCommentPage(settings_);
        AddPage(new CHostedPage(0, Lang(1180, u"Comment").toStdU16String(), commentPage_, {}, [this] {
            commentPage_->Store(settings_);
            return true;
        }));
    }

    // A read-only document can only be looked at here.
    if (ctx && ctx == image::g_CurrentDocument && image::IsCurrentDocumentReadOnly()) OkButton()->setEnabled(false);

    // The format follows the preset name's extension (only zip, 7z and mzp
    // are told apart; anything else is an ISO image).
    path_->setText(QString::fromStdU16String(std::u16string(path)));
    const std::u16string extension = platform::ToLower(image::GetFileExtension(path));
    if (extension.empty()) ChooseFormat(fc::kArchive, 1, false);
    else if (extension == u"zip") ChooseFormat(fc::kArchive, 1, false);
    else if (extension == u"7z") ChooseFormat(fc::kArchive, 2, false);
    else if (extension == u"mzp") ChooseFormat(fc::kMzp, 0, false);
    else ChooseFormat(fc::kIso, 0, false);
}

QWidget* CSaveArchiveDlg::BuildGeneralPage() {
    auto* page = new QWidget;
    auto* nameLabel = new QLabel(Plain(u"File name:"));
    path_ = new QLineEdit;
    path_->setMinimumWidth(360);
    SetControlId(path_, 1078);
    nameLabel->setBuddy(path_);
    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setAutoDefault(false);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    SetControlId(browse, 1001);
    connect(browse, &QPushButton::clicked, this, &CSaveArchiveDlg::Browse);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(path_, 1);
    nameRow->addWidget(browse);

    zip_ = new QRadioButton(Plain(u"ZIP Archive"));
    sevenZip_ = new QRadioButton(Plain(u"7Z Archive"));
    mzp_ = new QRadioButton(Plain(u"MZP Archive"));
    iso_ = new QRadioButton(Plain(u"ISO Image File"));
    xdi_ = new QRadioButton(Plain(u"XDI Image File"));
    SetControlId(zip_, 1434);
    SetControlId(sevenZip_, 1435);
    SetControlId(mzp_, 1436);
    SetControlId(iso_, 1437);
    SetControlId(xdi_, 1556);
    // Only what can be written is offered.
    zip_->setEnabled(HasWriter(fc::kArchive));
    sevenZip_->setEnabled(HasWriter(fc::kArchive));
    mzp_->setEnabled(HasWriter(fc::kMzp));
    iso_->setEnabled(HasWriter(fc::kIso));
    xdi_->setEnabled(HasWriter(fc::kXdi));
    connect(zip_, &QRadioButton::clicked, this, [this] { ChooseFormat(fc::kArchive, 1, false); });
    connect(sevenZip_, &QRadioButton::clicked, this, [this] { ChooseFormat(fc::kArchive, 2, false); });
    connect(mzp_, &QRadioButton::clicked, this, [this] { ChooseFormat(fc::kMzp, 0, false); });
    connect(iso_, &QRadioButton::clicked, this, [this] { ChooseFormat(fc::kIso, 0, true); });
    connect(xdi_, &QRadioButton::clicked, this, [this] { ChooseFormat(fc::kXdi, 0, true); });
    auto* formats = new QGroupBox(Plain(u"Format"));
    auto* grid = new QGridLayout(formats);
    grid->addWidget(zip_, 0, 0);
    grid->addWidget(sevenZip_, 1, 0);
    grid->addWidget(mzp_, 2, 0);
    grid->addWidget(iso_, 0, 1);
    grid->addWidget(xdi_, 1, 1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(nameLabel);
    layout->addLayout(nameRow);
    layout->addWidget(formats);
    layout->addStretch(1);
    return page;
}

QWidget* CSaveArchiveDlg::BuildAdvancedPage() {
    auto* page = new QWidget;
    auto* compressionLabel = new QLabel(Plain(u"Compression level:"));
    compression_ = new QComboBox;
    compression_->addItem(Lang(1110, u"Normal"));
    compression_->addItem(Lang(1120, u"Better"));
    compression_->addItem(Lang(1130, u"Best(slowest)"));
    SetControlId(compression_, 1261);
    compressionLabel->setBuddy(compression_);
    const uint32_t level = uint32_t(settings_.compressionLevel);
    compression_->setCurrentIndex(level > 2 ? 2 : int(level));

    // The volume controls are the Split Archive dialog's.
    auto* volumes = new CVolumeGroup;
    volumes->Load(settings_.splitVolumes != 0, settings_.volumeSize, settings_.pauseAfterVolume != 0);
    split_ = volumes->SplitBox();
    volumeSize_ = volumes->SizeBox();
    pause_ = volumes->PauseBox();
    connect(split_, &QCheckBox::clicked, this, &CSaveArchiveDlg::UpdateAdvancedEnabling);

    passwordOn_ = settings_.passwordEnabled != 0;
    password_ = new QCheckBox(Plain(u"Enable password protection"));
    SetControlId(password_, 1100);
    changePassword_ = new QPushButton(Plain(u"Change password..."));
    changePassword_->setAutoDefault(false);
    SetControlId(changePassword_, 1101);
    connect(password_, &QCheckBox::clicked, this, &CSaveArchiveDlg::OnPasswordClicked);
    connect(changePassword_, &QPushButton::clicked, this, &CSaveArchiveDlg::OnChangePassword);
    auto* protection = new QGroupBox(Plain(u"Password"));
    auto* protectionLayout = new QHBoxLayout(protection);
    protectionLayout->addWidget(password_);
    protectionLayout->addStretch(1);
    protectionLayout->addWidget(changePassword_);

    auto* compressionRow = new QHBoxLayout;
    compressionRow->addWidget(compressionLabel);
    compressionRow->addWidget(compression_, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(compressionRow);
    layout->addWidget(volumes);
    layout->addWidget(protection);
    layout->addStretch(1);
    UpdateAdvancedEnabling();
    return page;
}

std::u16string CSaveArchiveDlg::Path() const { return path_->text().trimmed().toStdU16String(); }

void CSaveArchiveDlg::ChooseFormat(int32_t formatCode, int32_t variant, bool isoFamily) {
    // A format without a writer is never the choice: an ISO image is always possible.
    if (!HasWriter(formatCode)) {
        formatCode = fc::kIso;
        variant = 0;
    }
    formatCode_ = formatCode;
    archiveVariant_ = variant;
    if (isoFamily) isoFamilyChosen_ = true;
    ApplySaveFormat();
}

void CSaveArchiveDlg::ApplySaveFormat() {
    const std::u16string path = Path();
    if (!path.empty())
        path_->setText(QString::fromStdU16String(foundation::ChangeFileExtension(
            path, ExtensionOf(formatCode_, archiveVariant_), foundation::MissingExtension::Append)));
    // The document's file systems follow the choice at once.
    if (ctx_) {
        if (isoFamilyChosen_) {
            ctx_->udfFlag = 1;
            ctx_->jolietLevel = 0;
        } else {
            ctx_->udfFlag = 0;
            if (formatCode_ == fc::kIso) ctx_->jolietLevel = 3;
        }
    }
    // Only an ISO image has ISO pages; a page added again reads the document anew.
    ShowIsoPage(formatCode_ == fc::kIso);
    if (isoPage_) {
        if (isoFamilyChosen_) isoPage_->SetUdfAndJoliet(true, false);
        else isoPage_->SetUdfAndJoliet(false, true);
    }
    // The frame names the document after the file it is to become.
    if (ctx_ && ctx_ == image::g_CurrentDocument && !Path().empty()) {
        app::SetNewDocumentName(Path());
        app::DocumentWindowServices().UpdateTitle();
    }
    QRadioButton* checked = formatCode_ == fc::kArchive ? (archiveVariant_ == 2 ? sevenZip_ : zip_)
                            : formatCode_ == fc::kMzp   ? mzp_
                            : formatCode_ == fc::kXdi   ? xdi_
                                                        : iso_;
    checked->setChecked(true);
}

void CSaveArchiveDlg::ShowIsoPage(bool shown) {
    if (shown && !isoPage_) {
        isoPage_ = new CIsoFileSystemPage(ctx_);
        dateTimePage_ = new CIsoDateTimePage(ctx_);
        isoHost_ = new CHostedPage(0, Lang(1160, u"ISO File System").toStdU16String(), isoPage_, {}, [this] {
            isoPage_->Store();
            return true;
        });
        dateTimeHost_ = new CHostedPage(0, Lang(1190, u"ISO Date/Time").toStdU16String(), dateTimePage_, {}, [this] {
            dateTimePage_->Store();
            return true;
        });
        AddPage(isoHost_);
        AddPage(dateTimeHost_);
    } else if (!shown && isoPage_) {
        RemovePage(isoHost_);
        RemovePage(dateTimeHost_);
        isoHost_ = dateTimeHost_ = nullptr;
        isoPage_ = nullptr;
        dateTimePage_ = nullptr;
    }
}

void CSaveArchiveDlg::Browse() {
    foundation::FileFilterList filters;
    std::u16string extension;
    if (formatCode_ == fc::kArchive && archiveVariant_ == 1) filters = foundation::BuildZipFilter(), extension = u".zip";
    else if (formatCode_ == fc::kArchive) filters = foundation::Build7zFilter(), extension = u".7z";
    else if (formatCode_ == fc::kMzp) filters = foundation::BuildMzpFilter(), extension = u".mzp";
    else filters = foundation::BuildIsoFilter(), extension = u".iso";
    std::optional<std::u16string> chosen;
    if (foundation::InstalledWindowFaces()) {
        chosen = foundation::ShowSaveFileDialog(this, filters, extension, Path(), {});
    } else {
        // The program's own file dialog is not installed (tests, a bare start-up).
        const QString name = QFileDialog::getSaveFileName(this, QString(), path_->text());
        if (!name.isEmpty()) chosen = name.toStdU16String();
    }
    if (!chosen) return;
    path_->setText(QString::fromStdU16String(foundation::ChangeFileExtension(
        *chosen, ExtensionOf(formatCode_, archiveVariant_), foundation::MissingExtension::Append)));
}

void CSaveArchiveDlg::UpdateAdvancedEnabling() {
    volumeSize_->setEnabled(split_->isChecked());
    pause_->setEnabled(split_->isChecked());
    changePassword_->setEnabled(passwordOn_);
    password_->setChecked(passwordOn_);
}

void CSaveArchiveDlg::OnPasswordClicked() {
    if (!passwordOn_) {
        CPasswordDlg dialog(true, this);
        if (dialog.exec() == QDialog::Accepted) {
            settings_.password = dialog.Password();
            passwordOn_ = true;
        }
    } else if (settings_.passwordEnabled == 0) {
        passwordOn_ = false;
        settings_.password.fill(0);
    } else if (foundation::AppMessageBox(foundation::GetLangString(950, u"Do you want to remove the password?"),
                                         foundation::kMbYesNo | foundation::kMbIconQuestion) == foundation::kIdYes) {
        // The archive writer encrypts whenever a password text is present, so
        // a removed password leaves none behind.
        settings_.passwordEnabled = 0;
        settings_.password.fill(0);
        passwordOn_ = false;
    }
    UpdateAdvancedEnabling();
}

void CSaveArchiveDlg::OnChangePassword() {
    if (passwordOn_) {
        CPasswordDlg dialog(false, this);
        if (dialog.exec() == QDialog::Accepted) settings_.password = dialog.Password();
    }
    UpdateAdvancedEnabling();
}

bool CSaveArchiveDlg::CheckPath() {
    if (!Path().empty()) return true;
    SetActivePage(0);
    path_->setFocus();
    return false;
}

bool CSaveArchiveDlg::CheckVolumeSize(int64_t* size) {
    if (!split_->isChecked()) return true;
    int64_t read = settings_.volumeSize;
    const VolumeSizeCheck check = ReadVolumeSizeText(volumeSize_->currentText().toStdU16String(), read);
    if (check != VolumeSizeCheck::Ok) {
        foundation::AppMessageBox(VolumeSizeMessage(check), foundation::kMbOk | foundation::kMbIconInformation);
        volumeSize_->setFocus();
        return false;
    }
    if (size) *size = read;
    return true;
}

bool CSaveArchiveDlg::StoreAdvanced() {
    int64_t size = settings_.volumeSize;
    if (!CheckVolumeSize(&size)) return false;
    settings_.splitVolumes = split_->isChecked() ? 1 : 0;
    settings_.pauseAfterVolume = pause_->isChecked() ? 1 : 0;
    if (settings_.splitVolumes) {
        settings_.volumeSize = size;
        if (size == kAutodetectVolumeSize) settings_.pauseAfterVolume = 1;
    }
    if (uint32_t(settings_.compressionLevel) <= 2) settings_.compressionLevel = compression_->currentIndex();
    settings_.passwordEnabled = passwordOn_ ? 1 : 0;
    return true;
}

int RunSaveArchiveCommand(QWidget* parent, std::u16string_view presetName) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return -1;
    CSaveArchiveDlg sheet(ctx, GetArchiveSettings(*ctx), presetName, parent);
    if (sheet.exec() != QDialog::Accepted) return 0;
    if (const int changed = SetArchiveSettings(*ctx, sheet.Settings()); changed != 0) ctx->modified = changed;
    if (app::SaveDocument(*ctx, sheet.Path(), -1, nullptr) != 0) return -1;
    if (!ctx->documentPath.empty()) app::ReopenWrittenFile(ctx->documentPath);
    return 1;
}

}  // namespace dialogs::ui
