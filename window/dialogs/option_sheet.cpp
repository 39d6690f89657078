#include "window/dialogs/option_sheet.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "foundation/file_associations.h"
#include "foundation/language.h"
#include "foundation/programs.h"
#include "foundation/settings.h"
#include "foundation/window_faces.h"
#include "foundation/work_folder.h"
#include "vdrive/drive_settings.h"
#include "window/dialogs/drive_settings_form.h"
#include "window/dialogs/image_button.h"
#include "window/dialogs/link_label.h"

namespace dialogs::ui {
namespace {

QString Text(uint32_t id, std::u16string_view english) {
    return QString::fromStdU16String(foundation::GetLangString(id, english));
}

std::function<void()>& ClearRecentFilesHandler() {
    static std::function<void()> handler;
    return handler;
}

QPushButton* Button(QWidget* parent, int id, const QString& text) {
    auto* button = new QPushButton(text, parent);
    CAppDialog::SetControlId(button, id);
    return button;
}

QPushButton* BrowseButton(QWidget* parent, int id) {
    auto* button = new CImageButton({}, parent);
    CAppDialog::SetControlId(button, id);
    button->SetIconImage(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
    return button;
}

// The Windows starting point "C:\" of an empty folder is the home folder.
std::u16string StartFolder(const QLineEdit* edit) {
    const QString text = edit->text();
    return (text.isEmpty() ? QDir::homePath() : text).toStdU16String();
}

}  // namespace

void SetClearRecentFilesHandler(std::function<void()> handler) { ClearRecentFilesHandler() = std::move(handler); }

COptionPageGeneral::COptionPageGeneral(QWidget* parent)
    : CPropertyPage(kTemplateId, foundation::GetLangString(1200, u"General"), parent) {}

void COptionPageGeneral::OnInitPage() {
    auto* layout = new QGridLayout(this);
    integration_ = new QCheckBox(Text(0, u"Enable Shell Integration"), this);
    CAppDialog::SetControlId(integration_, 1150);
    layout->addWidget(integration_, 0, 0, 1, 3);

    associations_ = new QListWidget(this);
    CAppDialog::SetControlId(associations_, 1201);
    associations_->setFlow(QListView::TopToBottom);
    associations_->setWrapping(true);
    associations_->setResizeMode(QListView::Adjust);
    associations_->setMinimumHeight(150);
    layout->addWidget(associations_, 1, 0, 3, 2);
    QPushButton* selectAll = Button(this, 1146, Text(0, u"Select All"));
    QPushButton* removeAll = Button(this, 1147, Text(0, u"Remove All"));
    layout->addWidget(selectAll, 1, 2);
    layout->addWidget(removeAll, 2, 2);

    layout->addWidget(new QLabel(Text(0, u"Default Viewer:"), this), 4, 0, 1, 3);
    viewer_ = new QLineEdit(this);
    CAppDialog::SetControlId(viewer_, 1036);
    QPushButton* browseViewer = BrowseButton(this, 1037);
    auto* viewerRow = new QHBoxLayout;
    viewerRow->addWidget(viewer_, 1);
    viewerRow->addWidget(browseViewer);
    layout->addLayout(viewerRow, 5, 0, 1, 3);

    layout->addWidget(new QLabel(Text(30960, u"Temporary Folder:"), this), 6, 0, 1, 3);
    tempFolder_ = new QLineEdit(this);
    CAppDialog::SetControlId(tempFolder_, 1255);
    QPushButton* browseTemp = BrowseButton(this, 1254);
    auto* tempRow = new QHBoxLayout;
    tempRow->addWidget(tempFolder_, 1);
    tempRow->addWidget(browseTemp);
    layout->addLayout(tempRow, 7, 0, 1, 3);
    auto* note = new QLabel(Text(0, u"Note: Leave blank if using system temporary folder."), this);
    CAppDialog::SetControlId(note, 1486);
    layout->addWidget(note, 8, 0, 1, 3);
    QPushButton* clear = Button(this, 1001, Text(0, u"Clear opened files history"));
    layout->addWidget(clear, 9, 0, 1, 3, Qt::AlignLeft);

    connect(selectAll, &QPushButton::clicked, this, &COptionPageGeneral::SelectAll);
    connect(removeAll, &QPushButton::clicked, this, &COptionPageGeneral::RemoveAll);
    connect(browseViewer, &QPushButton::clicked, this, &COptionPageGeneral::BrowseViewer);
    connect(browseTemp, &QPushButton::clicked, this, &COptionPageGeneral::BrowseTempFolder);
    connect(clear, &QPushButton::clicked, this, &COptionPageGeneral::ClearHistory);

    initialIntegration_ = foundation::IsShellIntegrationOn();
    integration_->setChecked(initialIntegration_);
    initialViewer_ = foundation::GetDefaultViewer();
    viewer_->setText(QString::fromStdU16String(initialViewer_));
    foundation::IFileAssociationServices& services = foundation::FileAssociationSlot().Get();
    associatedAtStart_.clear();
    for (std::u16string_view extension : foundation::AssociationExtensions()) {
        const bool on = services.IsAssociated(extension);
        associatedAtStart_.push_back(on);
        auto* row = new QListWidgetItem(QString::fromStdU16String(std::u16string(extension)), associations_);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    initialTempFolder_ = foundation::ReadSettingString(u"TempFolder").value_or(u"");
    tempFolder_->setText(QString::fromStdU16String(initialTempFolder_));
}

void COptionPageGeneral::SelectAll() {
    for (int i = 0; i < associations_->count(); ++i) associations_->item(i)->setCheckState(Qt::Checked);
}

void COptionPageGeneral::RemoveAll() {
    for (int i = 0; i < associations_->count(); ++i) associations_->item(i)->setCheckState(Qt::Unchecked);
}

void COptionPageGeneral::BrowseViewer() {
    // "Executable Files(*.exe)" means any program file here: every file.
    const QString chosen = QFileDialog::getOpenFileName(this, {}, QString::fromStdU16String(StartFolder(viewer_)),
                                                        Text(0, u"All Files (*)"));
    if (!chosen.isEmpty()) viewer_->setText(chosen);
}

void COptionPageGeneral::BrowseTempFolder() {
    std::u16string chosen;
    if (foundation::BrowseForFolder(window(), u"", StartFolder(tempFolder_), chosen) == 0)
        tempFolder_->setText(QString::fromStdU16String(chosen));
}

void COptionPageGeneral::ClearHistory() {
    if (ClearRecentFilesHandler()) ClearRecentFilesHandler()();
}

bool COptionPageGeneral::OnOK() {
    const std::u16string viewer = viewer_->text().toStdU16String();
    if (viewer != initialViewer_) foundation::SetDefaultViewer(viewer);

    std::vector<bool> checked;
    for (int i = 0; i < associations_->count(); ++i)
        checked.push_back(associations_->item(i)->checkState() == Qt::Checked);
    // std::vector<bool> has no span: copy into plain arrays of bool.
    std::unique_ptr<bool[]> atStart(new bool[associatedAtStart_.size()]);
    std::unique_ptr<bool[]> now(new bool[checked.size()]);
    for (size_t i = 0; i < associatedAtStart_.size(); ++i) atStart[i] = associatedAtStart_[i];
    for (size_t i = 0; i < checked.size(); ++i) now[i] = checked[i];
    const std::optional<std::u16string> flags = foundation::BuildAssociationFlags(
        initialIntegration_, integration_->isChecked(), {atStart.get(), associatedAtStart_.size()},
        {now.get(), checked.size()});
    if (flags) {
        // The wish is applied by a run of the program of its own, as the
        // file-manager integration and the desktop's files are the user's
        // and may need another process to settle.
        foundation::WriteSettingString(u"Status1", *flags);
        foundation::RestartElevated({u"-ii1", u"-vset"});
    }

    const std::u16string temp = tempFolder_->text().toStdU16String();
    if (temp != initialTempFolder_) {
        foundation::WriteSettingCString(u"TempFolder", temp);
        foundation::PrepareTempWorkFolder();
    }
    return true;
}

COptionPageVirtualDrive::COptionPageVirtualDrive(QWidget* parent)
    : CPropertyPage(kTemplateId, foundation::GetLangString(30470, u"Virtual Drive"), parent) {}

void COptionPageVirtualDrive::OnInitPage() {
    auto* layout = new QVBoxLayout(this);
    form_ = new CDriveSettingsForm(kOptionPageDriveIds, this);
    layout->addWidget(form_);
    usable_ = vdrive::IsDriveHelperInstalled();
    if (!usable_) {
        auto* link = new CLinkLabel(1459, Text(30530, u"Install Quendravine Virtual Drive(Freeware)..."), this);
        connect(link, &CLinkLabel::Clicked, this, [] {
            const std::u16string address = foundation::GetWebLink(5);
            if (!address.empty()) foundation::ShellOpen(address);
        });
        layout->addWidget(link);
    }
    const vdrive::DriveSettings settings = vdrive::ReadDriveSettings(vdrive::SystemDriveSettingsTarget());
    initialTempFolder_ = settings.tempFolder;
    form_->Load(settings);
    form_->SetEditable(usable_);
}

bool COptionPageVirtualDrive::OnOK() {
    // Without a helper the page only shows the values.
    if (usable_) vdrive::ApplyDriveSettings(form_->Read(), initialTempFolder_, vdrive::SystemDriveSettingsTarget());
    return true;
}

COptionSheet::COptionSheet(bool startOnVirtualDrive, QWidget* parent)
    : CPropertySheet(0, foundation::GetLangString(1230, u"Configuration"), parent) {
    AddPage(new COptionPageGeneral(this));
    AddPage(new COptionPageVirtualDrive(this));
    if (startOnVirtualDrive) SetActivePage(kVirtualDrivePage);
}

void RunOptionSheet(QWidget* parent, bool startOnVirtualDrive) {
    COptionSheet sheet(startOnVirtualDrive, parent);
    sheet.exec();
}

}  // namespace dialogs::ui
