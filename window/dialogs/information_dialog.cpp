#include "window/dialogs/information_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "app/document_edits.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "window/faces/qt_text.h"

namespace dialogs::ui {

CInformationDlg::CInformationDlg(image::ImageContext* ctx, InformationSource source, image::ImageFolder* folder,
                                 std::vector<image::ImageItem*> items, std::vector<int> tracks, QWidget* parent)
    : CAppDialog(kTemplateId, parent),
      ctx_(ctx),
      source_(source),
      folder_(folder),
      items_(std::move(items)),
      tracks_(std::move(tracks)) {
    setWindowTitle(QStringLiteral("Information"));
    switch (source_) {
    case InformationSource::TreeFolder: texts_ = FolderInformation(ctx_, folder_); break;
    case InformationSource::ListItems: texts_ = ItemsInformation(ctx_, items_); break;
    case InformationSource::Tracks: texts_ = TracksInformation(ctx_, tracks_); break;
    }
    readOnly_ = !ctx_ || ctx_->readOnly || (ctx_ == image::g_CurrentDocument && image::IsCurrentDocumentReadOnly());

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const struct {
        int id;
        const char16_t* label;
        const std::u16string* value;
    } rows[] = {
        {kIdName, u"Name:", &texts_.name},         {kIdType, u"Type:", &texts_.type},
        {kIdLocation, u"Location:", &texts_.location}, {kIdSize, u"Size:", &texts_.size},
        {kIdInclude, u"Include:", &texts_.include}, {kIdDate, u"Date:", &texts_.date},
    };
    int row = 0;
    for (const auto& r : rows) {
        grid->addWidget(new QLabel(QString::fromUtf16(r.label)), row, 0);
        auto* field = new QLineEdit(foundation::ui::ToQString(*r.value));
        field->setReadOnly(true);
        field->setFrame(false);
        field->setCursorPosition(0);
        field->setMinimumWidth(320);
        SetControlId(field, r.id);
        grid->addWidget(field, row, 1);
        ++row;
    }
    layout->addLayout(grid);

    keep_ = new QRadioButton(QStringLiteral("Keep current"));
    original_ = new QRadioButton(QStringLiteral("Use the date and time from the original file"));
    setToRadio_ = new QRadioButton(QStringLiteral("Set to:"));
    SetControlId(keep_, kIdKeep);
    SetControlId(original_, kIdOriginal);
    SetControlId(setToRadio_, kIdSetTo);
    keep_->setChecked(true);
    layout->addWidget(keep_);
    layout->addWidget(original_);
    auto* setRow = new QHBoxLayout;
    setRow->addWidget(setToRadio_);
    setTo_ = MakeDateTimePair(this, kIdSetDate, kIdSetTime);
    setRow->addWidget(setTo_.date);
    setRow->addWidget(setTo_.time);
    setRow->addStretch();
    layout->addLayout(setRow);
    children_ = new QCheckBox(QStringLiteral("Apply to subfolders and files"));
    SetControlId(children_, kIdChildren);
    layout->addWidget(children_);
    // Tracks keep no dates; a read-only document only shows.
    const bool canStore = !readOnly_ && source_ != InformationSource::Tracks;
    original_->setEnabled(canStore);
    setToRadio_->setEnabled(canStore);
    children_->setEnabled(canStore);
    for (QRadioButton* radio : {keep_, original_, setToRadio_})
        connect(radio, &QRadioButton::toggled, this, [this] { UpdatePicker(); });
    UpdatePicker();
    layout->addWidget(MakeOkCancelButtons());
}

void CInformationDlg::UpdatePicker() {
    if (setToRadio_->isChecked()) EnableDateTimePair(setTo_);
    else DisableDateTimePair(setTo_, false);
}

void CInformationDlg::accept() {
    if (!readOnly_ && (original_->isChecked() || setToRadio_->isChecked())) {
        const int64_t time = original_->isChecked() ? 0 : GetDateTimePair(setTo_);
        changed_ = ApplyInformationTime(ctx_, source_, folder_, items_, time, children_->isChecked());
    }
    CAppDialog::accept();
}

bool RunInformationDialog(QWidget* parent, InformationSource source, image::ImageFolder* folder,
                          std::vector<image::ImageItem*> items, std::vector<int> tracks) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return false;
    if (source == InformationSource::TreeFolder && !folder) return false;
    if (source == InformationSource::ListItems && items.empty()) return false;
    if (source == InformationSource::Tracks && tracks.empty()) return false;
    CInformationDlg dialog(ctx, source, folder, std::move(items), std::move(tracks), parent);
    if (dialog.exec() == QDialog::Accepted && dialog.Changed()) app::SetDocumentModified(2);
    return true;
}

}  // namespace dialogs::ui
