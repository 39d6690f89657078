#include "window/dialogs/image_tool_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/detect/format_detect.h"
#include "image/document/image_context.h"

namespace dialogs::ui {
namespace {

namespace fc = image::format_code;
using dialogs::ImageToolMode;

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

QString Filter(const foundation::FileFilterList& list) {
    return QString::fromStdU16String(foundation::ToQtFilterString(list));
}

foundation::FileFilterList FilterOfFormat(int32_t format) {
    return format == fc::kBin ? foundation::BuildBinFilter()
           : format == fc::kXdi ? foundation::BuildXdiFilter()
                                : foundation::BuildIsoFilter();
}

QString TitleOfMode(ImageToolMode mode) {
    switch (mode) {
    case ImageToolMode::Compress: return QStringLiteral("Compress Disc Image File");
    case ImageToolMode::Decompress: return QStringLiteral("Decompress XDI File");
    case ImageToolMode::Convert: break;
    }
    return QStringLiteral("Convert Disc Image File");
}

}  // namespace

CImageToolDlg::CImageToolDlg(ImageToolMode mode, const std::u16string& source, QWidget* parent)
    : CAppDialog(dialogs::TemplateOfMode(mode), parent), mode_(mode) {
    setWindowTitle(TitleOfMode(mode));
    format_ = mode == ImageToolMode::Compress ? fc::kXdi : fc::kIso;

    source_ = new QLineEdit(QString::fromStdU16String(source));
    source_->setMinimumWidth(380);
    SetControlId(source_, 1019);
    destination_ = new QLineEdit(QString::fromStdU16String(dialogs::WithFormatExtension(source, format_)));
    SetControlId(destination_, 1515);
    auto* browseSource = new QPushButton(QStringLiteral("..."));
    SetControlId(browseSource, 1001);
    auto* browseDestination = new QPushButton(QStringLiteral("..."));
    SetControlId(browseDestination, 1029);
    for (QPushButton* browse : {browseSource, browseDestination}) browse->setFixedWidth(36);
    connect(browseSource, &QPushButton::clicked, this, &CImageToolDlg::BrowseSource);
    connect(browseDestination, &QPushButton::clicked, this, &CImageToolDlg::BrowseDestination);

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Source file:")), row, 0);
    grid->addWidget(source_, row, 1);
    grid->addWidget(browseSource, row++, 2);
    grid->addWidget(new QLabel(QStringLiteral("Destination file:")), row, 0);
    grid->addWidget(destination_, row, 1);
    grid->addWidget(browseDestination, row++, 2);
    if (mode == ImageToolMode::Convert) {
        formats_ = new QComboBox;
        formats_->addItem(Lang(30760, u"Standard ISO Images") + QStringLiteral(" (.ISO)"));
        formats_->addItem(Lang(30801, u"BIN Image Files") + QStringLiteral(" (.BIN/.CUE)"));
        formats_->addItem(Lang(30802, u"Extended Disc Image Files") + QStringLiteral(" (.XDI)"));
        SetControlId(formats_, 1508);
        connect(formats_, &QComboBox::currentIndexChanged, this, &CImageToolDlg::FormatChanged);
        grid->addWidget(new QLabel(QStringLiteral("Output format:")), row, 0);
        grid->addWidget(formats_, row++, 1, 1, 2);
    }
    if (mode != ImageToolMode::Decompress) {
        protect_ = new QCheckBox(QStringLiteral("Enable password protection"));
        SetControlId(protect_, 1100);
        connect(protect_, &QCheckBox::toggled, this, &CImageToolDlg::UpdatePasswordFields);
        password_ = new QLineEdit;
        again_ = new QLineEdit;
        for (QLineEdit* edit : {password_, again_}) edit->setEchoMode(QLineEdit::Password);
        SetControlId(password_, 1134);
        SetControlId(again_, 1135);
        grid->addWidget(protect_, row++, 0, 1, 3);
        grid->addWidget(new QLabel(QStringLiteral("Enter password:")), row, 0);
        grid->addWidget(password_, row++, 1, 1, 2);
        grid->addWidget(new QLabel(QStringLiteral("Confirm password:")), row, 0);
        grid->addWidget(again_, row++, 1, 1, 2);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(MakeOkCancelButtons());
    UpdatePasswordFields();
}

std::u16string CImageToolDlg::Source() const { return source_->text().trimmed().toStdU16String(); }
std::u16string CImageToolDlg::Destination() const { return destination_->text().trimmed().toStdU16String(); }

void CImageToolDlg::FormatChanged(int index) {
    format_ = dialogs::ConvertFormatOfIndex(index);
    destination_->setText(QString::fromStdU16String(dialogs::WithFormatExtension(Destination(), format_)));
    UpdatePasswordFields();
}

void CImageToolDlg::UpdatePasswordFields() {
    if (!protect_) return;
    // Only XDI keeps a password: the box and the edits live only for it.
    const bool xdi = format_ == fc::kXdi;
    protect_->setEnabled(xdi);
    if (!xdi) protect_->setChecked(false);
    const bool on = xdi && protect_->isChecked();
    password_->setEnabled(on);
    again_->setEnabled(on);
}

void CImageToolDlg::BrowseSource() {
    const bool xdiOnly = mode_ == ImageToolMode::Decompress;
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString(), source_->text(),
        Filter(xdiOnly ? foundation::BuildXdiFilter() : foundation::BuildImageFileFilter()));
    if (chosen.isEmpty()) return;
    source_->setText(chosen);
    destination_->setText(QString::fromStdU16String(dialogs::WithFormatExtension(chosen.toStdU16String(), format_)));
}

void CImageToolDlg::BrowseDestination() {
    const QString chosen =
        QFileDialog::getSaveFileName(this, QString(), destination_->text(), Filter(FilterOfFormat(format_)));
    if (!chosen.isEmpty()) destination_->setText(chosen);
}

void CImageToolDlg::accept() {
    dialogs::ImageToolEntries entries;
    entries.mode = mode_;
    entries.source = Source();
    entries.destination = Destination();
    entries.format = format_;
    entries.sourceFormat = image::GetFormatByExtension(image::GetFileExtension(entries.source));
    entries.passwordOn = protect_ && protect_->isChecked();
    if (entries.passwordOn) {
        entries.password = password_->text().toStdU16String();
        entries.passwordAgain = again_->text().toStdU16String();
    }
    const dialogs::ImageToolVerdict verdict = dialogs::CheckImageToolEntries(entries);
    if (!verdict.ok) {
        foundation::AppMessageBox(verdict.message, foundation::kMbOk | foundation::kMbIconInformation);
        if (QWidget* field = Control(verdict.focusControl)) field->setFocus();
        return;
    }
    acceptedPassword_ = verdict.password;
    CAppDialog::accept();
}

}  // namespace dialogs::ui
