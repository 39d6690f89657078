#include "window/dialogs/volume_required_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "foundation/messages.h"
#include "foundation/volume_file_open.h"
#include "platform/text.h"

namespace dialogs::ui {
namespace {

void PutFirst(std::vector<std::u16string>& folders, const std::u16string& folder) {
    if (folder.empty()) return;
    std::erase_if(folders, [&](const std::u16string& f) { return platform::EqualsNoCase(f, folder); });
    folders.insert(folders.begin(), folder);
}

}  // namespace

std::vector<std::u16string>& CVolumeRequiredDlg::RecentFolders() {
    static std::vector<std::u16string> folders;
    return folders;
}

CVolumeRequiredDlg::CVolumeRequiredDlg(const std::u16string& neededPath, QWidget* parent)
    : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Volume Required"));
    const size_t slash = neededPath.find_last_of(u'/');
    const std::u16string folder = slash == std::u16string::npos ? std::u16string() : neededPath.substr(0, slash);
    const std::u16string name = slash == std::u16string::npos ? neededPath : neededPath.substr(slash + 1);
    PutFirst(RecentFolders(), folder);

    auto* text = new QLabel(QStringLiteral("Quendravine needs this volume to continue. "
                                           "Choose the folder that holds it:"));
    text->setWordWrap(true);
    folder_ = new QComboBox;
    folder_->setEditable(true);
    folder_->setMinimumWidth(380);
    for (const std::u16string& f : RecentFolders()) folder_->addItem(QString::fromStdU16String(f));
    folder_->setCurrentIndex(0);
    SetControlId(folder_, 1136);
    auto* browse = new QPushButton(QStringLiteral("..."));
    SetControlId(browse, 1001);
    connect(browse, &QPushButton::clicked, this, &CVolumeRequiredDlg::Browse);
    name_ = new QLineEdit(QString::fromStdU16String(name));
    SetControlId(name_, 1123);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Folder:")), 0, 0);
    grid->addWidget(folder_, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Volume:")), 1, 0);
    grid->addWidget(name_, 1, 1, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(MakeOkCancelButtons());
}

CVolumeRequiredDlg::~CVolumeRequiredDlg() {
    if (file_) platform::FileClose(file_);
}

platform::FileHandle CVolumeRequiredDlg::TakeFile() {
    platform::FileHandle file = file_;
    file_ = nullptr;
    return file;
}

void CVolumeRequiredDlg::Browse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QString(), folder_->currentText());
    if (!chosen.isEmpty()) folder_->setEditText(chosen);
}

void CVolumeRequiredDlg::accept() {
    std::u16string folder = folder_->currentText().toStdU16String();
    while (folder.size() > 1 && folder.back() == u'/') folder.pop_back();
    const std::u16string name = name_->text().toStdU16String();
    const std::u16string path = folder.empty() ? name : folder == u"/" ? u"/" + name : folder + u"/" + name;
    platform::FileHandle file = foundation::OpenChosenVolume(path);
    if (!file) {
        foundation::ShowLastError(path);
        return;
    }
    if (file_) platform::FileClose(file_);
    file_ = file;
    chosenPath_ = path;
    PutFirst(RecentFolders(), folder);
    CAppDialog::accept();
}

}  // namespace dialogs::ui
