#include "window/dialogs/archive_run_dialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <sys/stat.h>

#include "app/open_document.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/programs.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "window/faces/file_type_cache.h"
#include "window/models/remembered_password.h"

namespace dialogs::ui {
namespace {

QString Lang(uint32_t id, const char16_t* text) {
    const std::u16string s = foundation::GetLangString(id, text);
    return QString::fromStdU16String(s);
}

// The dialog's own texts, translated with the dialog as a whole.
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

// Only a regular file is opened: a FIFO or device named like an archive would
// hang the read or never end.
bool IsRegularFile(const std::u16string& path) {
    std::string utf8;
    struct stat st {};
    return platform::Utf16ToUtf8Strict(path, utf8) && ::stat(utf8.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

CArchiveRunDlg::CArchiveRunDlg(const std::u16string& archivePath, bool driveInstalled, QWidget* parent)
    : CAppDialog(kTemplateId, parent), archivePath_(archivePath) {
    setWindowTitle(QStringLiteral("Quendravine"));
    const std::u16string fileName = archivePath.substr(archivePath.rfind(u'/') + 1);
    auto* heading = new QLabel(Plain(u"Programs in ") + QString::fromStdU16String(fileName) + QStringLiteral(":"));

    list_ = new QTreeWidget;
    SetControlId(list_, kList);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setHeaderLabels({Lang(30000, u"Name"), Lang(30020, u"Size"), Lang(30010, u"Type"), Lang(30030, u"Modified")});
    list_->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);

    showAll_ = new QCheckBox(Plain(u"Show all programs"));
    SetControlId(showAll_, kShowAll);
    useSelected_ = new QCheckBox(Plain(u"Open the selected file"));
    SetControlId(useSelected_, kUseSelected);
    useSelected_->setEnabled(false);

    auto* choices = new QGroupBox(Plain(u"What to do"));
    mount_ = new QRadioButton(Plain(u"Mount the archive on a virtual drive"));
    mountOpen_ = new QRadioButton(Plain(u"Mount the archive and open the file from the drive"));
    run_ = new QRadioButton(Plain(u"Extract the archive to a temporary folder and run the file"));
    SetControlId(mount_, kMountChoice);
    SetControlId(mountOpen_, kMountOpenChoice);
    SetControlId(run_, kRunChoice);
    auto* openAfter = new QCheckBox(Plain(u"Open the drive's folder after mounting"));
    SetControlId(openAfter, kOpenAfterMount);
    openAfter->setChecked(true);
    auto* choiceLayout = new QVBoxLayout(choices);
    choiceLayout->addWidget(mount_);
    choiceLayout->addWidget(mountOpen_);
    choiceLayout->addWidget(run_);
    choiceLayout->addWidget(openAfter);
    if (driveInstalled) {
        mount_->setChecked(true);
    } else {
        // Without the drive only running is possible; the link says where to
        // get the drive.
        mount_->setEnabled(false);
        mountOpen_->setEnabled(false);
        run_->setChecked(true);
        openAfter->hide();
        auto* link = new QLabel(QStringLiteral("<a href=\"drive\">") +
                                Lang(30530, u"Install Quendravine Virtual Drive(Freeware)...").toHtmlEscaped() +
                                QStringLiteral("</a>"));
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        link->setCursor(Qt::PointingHandCursor);
        connect(link, &QLabel::linkActivated, this, [] { foundation::ShellOpen(foundation::GetWebLink(5)); });
        choiceLayout->addWidget(link);
    }

    auto* buttons = MakeOkCancelButtons(&ok_);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    ok_->setEnabled(false);
    cancel_->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(list_, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(useSelected_);
    checks->addStretch(1);
    checks->addWidget(showAll_);
    layout->addLayout(checks);
    layout->addWidget(choices);
    layout->addWidget(buttons);
    resize(560, 420);

    connect(showAll_, &QCheckBox::toggled, this, [this] { FillList(); });
}

CArchiveRunDlg::~CArchiveRunDlg() {
    if (archive_) image::FreeImageDocument(archive_);
}

void CArchiveRunDlg::showEvent(QShowEvent* event) {
    CAppDialog::showEvent(event);
    // Loading may ask for a password or a volume: only once the dialog shows.
    if (!loadPosted_) {
        loadPosted_ = true;
        QTimer::singleShot(0, this, [this] { Load(); });
    }
}

void CArchiveRunDlg::Load() {
    if (!IsRegularFile(archivePath_)) {
        foundation::AppMessageBox(archivePath_ + u"\r\n\r\n" +
                                      foundation::GetLangString(30380, u"The archive is invalid or unsupported."),
                                  foundation::kMbIconStop);
    } else {
        // The password that opened this unchanged file last time is used
        // without asking again.
        RememberingPasswords remembering(image::PasswordServices());
        foundation::ScopedServices<image::SetPasswordServices> scope(&remembering);
        archive_ = app::OpenImageByPath(archivePath_, false, true, false);
        if (archive_) remembering.KeepAfterOpen(*archive_);
    }
    if (archive_) candidates_ = CollectRunCandidates(*archive_);
    FillList();
    useSelected_->setChecked(list_->topLevelItemCount() > 0);
    loaded_ = true;
    ok_->setEnabled(true);
    cancel_->setEnabled(true);
}

void CArchiveRunDlg::FillList() {
    const QString selected = list_->currentItem() ? list_->currentItem()->text(0) : QString();
    list_->clear();
    static foundation::ui::FileTypeCache types;
    const size_t count = ListedCandidateCount(candidates_, showAll_->isChecked());
    const bool encrypted = archive_ && (archive_->archiveEncrypted || archive_->passwordEnabled);
    for (size_t i = 0; i < count; ++i) {
        const RunCandidate& c = candidates_[i];
        auto* row = new QTreeWidgetItem(list_);
        row->setData(0, Qt::UserRole, QString::fromStdU16String(c.path));
        row->setText(0, QString::fromStdU16String(c.path) + (encrypted ? QStringLiteral(" *") : QString()));
        row->setText(1, QString::fromStdU16String(KilobyteText(c.size)));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        const auto type = types.TypeName(c.path);
        row->setText(2, type ? QString::fromStdU16String(*type)
                             : QString::fromStdU16String(c.extension) + QStringLiteral(" ") + Lang(30860, u"File"));
        const int icon = types.IconIndex(c.path);
        if (icon >= 0) row->setIcon(0, types.Icons()[size_t(icon)]);
        if (c.time != 0)
            row->setText(3, QDateTime::fromSecsSinceEpoch(c.time).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }
    QTreeWidgetItem* keep = nullptr;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        if (list_->topLevelItem(i)->data(0, Qt::UserRole).toString() == selected) keep = list_->topLevelItem(i);
    if (!keep && list_->topLevelItemCount() > 0) keep = list_->topLevelItem(0);
    if (keep) list_->setCurrentItem(keep);
    const int width = list_->viewport()->width();
    list_->setColumnWidth(0, width * 36 / 100);
    list_->setColumnWidth(1, width * 12 / 100);
    list_->setColumnWidth(2, width * 25 / 100);
    useSelected_->setEnabled(list_->topLevelItemCount() > 0);
}

int CArchiveRunDlg::ListedRows() const { return list_->topLevelItemCount(); }

void CArchiveRunDlg::accept() {
    result_ = ArchiveRunResult{};
    if (useSelected_->isChecked() && list_->currentItem())
        result_.itemPath = list_->currentItem()->data(0, Qt::UserRole).toString().toStdU16String();
    if (run_->isChecked()) {
        result_.run = true;
        result_.driveIndex = -1;
    } else {
        result_.driveIndex = 0;
    }
    CAppDialog::accept();
}

bool RunArchiveContentsDialog(QWidget* parent, const std::u16string& archivePath, bool driveInstalled,
                              ArchiveRunResult& result) {
    CArchiveRunDlg dialog(archivePath, driveInstalled, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    result = dialog.Result();
    return true;
}

}  // namespace dialogs::ui
