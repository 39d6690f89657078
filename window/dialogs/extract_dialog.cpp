#include "window/dialogs/extract_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/startup_state.h"
#include "app/transfer_render.h"
#include "window/models/path_history.h"
#include "window/dialogs/progress_dialog.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/programs.h"
#include "foundation/window_faces.h"
#include "foundation/work_folder.h"
#include "image/document/image_context.h"

namespace dialogs::ui {

namespace {

constexpr std::u16string_view kHistoryPrefix = u"ExtractPath";
constexpr size_t kHistoryCapacity = 8;

QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}

// The dialog's own texts (translated with the dialog as a whole).
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

}  // namespace

QString NormaliseExtractPath(const QString& typed) {
    QString path = typed.trimmed();
    if (path.isEmpty()) return path;
    if (path == QLatin1String("~")) return QDir::homePath();
    if (path.startsWith(QLatin1String("~/"))) path = QDir::homePath() + path.mid(1);
    if (QDir::isRelativePath(path)) path = QDir::homePath() + QLatin1Char('/') + path;
    return QDir::cleanPath(path);
}

CExtractDlg::CExtractDlg(bool allFiles, QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(Plain(u"Extract"));

    auto* pathLabel = new QLabel(Plain(u"Extract to:"));
    path_ = new QComboBox;
    path_->setEditable(true);
    path_->setInsertPolicy(QComboBox::NoInsert);
    path_->setMinimumWidth(380);
    SetControlId(path_, 1017);
    pathLabel->setBuddy(path_);
    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setAutoDefault(false);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    browse->setToolTip(Lang(1000, u"Select the folder to extract to:"));
    SetControlId(browse, 1001);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(browse);

    selected_ = new QRadioButton(Plain(u"&Selected files"));
    all_ = new QRadioButton(Plain(u"&All files"));
    SetControlId(selected_, 1020);
    SetControlId(all_, 1021);
    auto* which = new QGroupBox(Plain(u"Files"));
    auto* whichLayout = new QHBoxLayout(which);
    whichLayout->addWidget(selected_);
    whichLayout->addWidget(all_);
    whichLayout->addStretch(1);
    if (allFiles) {
        all_->setChecked(true);
        selected_->setEnabled(false);
    } else {
        selected_->setChecked(true);
    }

    openAfter_ = new QCheckBox(Plain(u"Open the folder after extraction"));
    overwrite_ = new QCheckBox(Plain(u"Overwrite existing files"));
    SetControlId(openAfter_, 1150);
    SetControlId(overwrite_, 1460);

    QDialogButtonBox* buttons = MakeOkCancelButtons();
    connect(browse, &QPushButton::clicked, this, &CExtractDlg::Browse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathLabel);
    layout->addLayout(pathRow);
    layout->addWidget(which);
    layout->addWidget(openAfter_);
    layout->addWidget(overwrite_);
    layout->addStretch(1);
    layout->addWidget(buttons);

    PathHistoryList history(kHistoryPrefix, kHistoryCapacity);
    history.Load();
    for (const std::u16string& entry : history.Entries()) path_->addItem(QString::fromStdU16String(entry));
    // In automation the destination comes from the driving program: nothing
    // from the history is preselected for it.
    if (path_->count() > 0 && app::g_AutoMode == 0) path_->setCurrentIndex(0);
    else path_->setEditText(QString());
}

void BrowseIntoFolderBox(QWidget* owner, QComboBox* box) {
    const QString current = NormaliseExtractPath(box->currentText());
    const QString start = current.isEmpty() ? QDir::homePath() : current;
    const QString title = Lang(1000, u"Select the folder to extract to:");
    QString chosen;
    if (foundation::InstalledWindowFaces()) {
        std::u16string folder;
        if (foundation::BrowseForFolder(owner, title.toStdU16String(), start.toStdU16String(), folder) != 0) return;
        chosen = QString::fromStdU16String(folder);
    } else {
        // The program's own folder browser is not installed (tests, a bare
        // start-up): the toolkit's dialog does the same job.
        chosen = QFileDialog::getExistingDirectory(owner, title, start);
    }
    if (chosen.isEmpty()) return;
    box->insertItem(0, chosen);
    box->setCurrentIndex(0);
}

QString TakeOutputFolder(QComboBox* box) {
    const QString path = NormaliseExtractPath(box->currentText());
    if (path.isEmpty()) {
        foundation::AppMessageBox(foundation::GetLangString(990, u"The extract path can not be empty."),
                                  foundation::kMbOk | foundation::kMbIconInformation);
        box->setFocus();
    }
    return path;
}

void CExtractDlg::Browse() { BrowseIntoFolderBox(this, path_); }

void CExtractDlg::accept() {
    const QString path = TakeOutputFolder(path_);
    if (path.isEmpty()) return;
    request_ = app::ExtractRequest{};
    request_.destination = path.toStdU16String();
    request_.allFiles = all_->isChecked();
    request_.openFolderAfter = openAfter_->isChecked();
    request_.options.overwriteWithoutAsking = overwrite_->isChecked();
    request_.options.overwriteSilently = false;
    PathHistoryList history(kHistoryPrefix, kHistoryCapacity);
    history.Load();
    history.Add(request_.destination);
    CAppDialog::accept();
}

int RunExtractJob(QWidget* parent, image::ImageContext* ctx, image::ImageFolder* baseFolder,
                  const std::vector<image::ImageItem*>& items, const app::ExtractRequest& request) {
    CProgressDlg dialog(parent);
    dialog.SetKind(ProgressKind::Extract);
    dialog.SetTargetFolder(QString::fromStdU16String(request.destination));
    if (ctx) dialog.SetItemPath(QString::fromStdU16String(ctx->imagePath));
    dialog.SetContext(ctx);
    dialog.SetMainWindow(parent ? parent->window() : nullptr);
    dialog.SetWorker([ctx, baseFolder, &items, &request](foundation::ProgressCallbacks* progress) -> int32_t {
        return app::ExtractItems(ctx, baseFolder, items, request, progress);
    });
    if (dialog.Run() != QDialog::Accepted) return -1;
    return dialog.WorkerResult();
}

int RunTransferRender(QWidget* parent, image::ImageContext* ctx, image::ImageFolder* sourceFolder,
                      const std::vector<image::ImageItem*>& items, std::vector<std::u16string>& paths) {
    paths.clear();
    CProgressDlg dialog(parent);
    dialog.SetKind(ProgressKind::Extract);
    dialog.SetTargetFolder(QString::fromStdU16String(foundation::GetTempWorkFolder()));
    if (ctx) dialog.SetItemPath(QString::fromStdU16String(ctx->imagePath));
    dialog.SetContext(ctx);
    dialog.SetMainWindow(parent ? parent->window() : nullptr);
    std::vector<std::u16string> written;
    dialog.SetWorker([ctx, sourceFolder, &items, &written](foundation::ProgressCallbacks* progress) -> int32_t {
        if (app::RenderTransferFiles(ctx, sourceFolder, items, progress, written) == 0) return 1;
        return foundation::OperationStatus.load() == foundation::kStatusCancelled ? 0 : -1;
    });
    if (dialog.Run() != QDialog::Accepted) return -1;
    const int result = dialog.WorkerResult();
    if (result == 1) paths = std::move(written);
    return result;
}

std::optional<int> RunExtractDialog(QWidget* parent, image::ImageContext* ctx, image::ImageFolder* baseFolder,
                                    const std::vector<image::ImageItem*>& selection) {
    CExtractDlg dialog(selection.empty(), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const app::ExtractRequest request = dialog.Request();
    const int result = RunExtractJob(parent, ctx, baseFolder, selection, request);
    if (result == 1 && request.openFolderAfter) foundation::ShellOpen(request.destination);
    foundation::ResetOperationStatus();
    return result;
}

}  // namespace dialogs::ui
