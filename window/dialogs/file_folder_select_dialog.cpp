#include "window/dialogs/file_folder_select_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "window/models/file_folder_selection.h"

namespace dialogs::ui {
namespace {

QString Lang(uint32_t id, const char16_t* text) { return QString::fromStdU16String(foundation::GetLangString(id, text)); }

}  // namespace

CFileFolderSelect::CFileFolderSelect(const QString& title, const QString& startFolder, bool addVariant,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    model_->setNameFilterDisables(false);
    model_->setRootPath(QStringLiteral("/"));

    folder_ = new QLineEdit;
    folder_->setObjectName(QStringLiteral("folder"));
    auto* up = new QPushButton(QStringLiteral("Up"));
    up->setObjectName(QStringLiteral("up"));
    connect(up, &QPushButton::clicked, this, &CFileFolderSelect::GoUp);
    connect(folder_, &QLineEdit::returnPressed, this, [this] { GoTo(folder_->text()); });

    view_ = new QListView;
    view_->setModel(model_);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setMinimumSize(460, 260);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CFileFolderSelect::SelectionChanged);
    connect(view_, &QListView::activated, this, &CFileFolderSelect::Activated);

    names_ = new QLineEdit;
    names_->setObjectName(QStringLiteral("names"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(addVariant ? Lang(600, u"Add") : QStringLiteral("Open"));
    // Enter in the name box is OK, as in the stock dialog.
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFileFolderSelect::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFileFolderSelect::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Look in:")));
    top->addWidget(folder_, 1);
    top->addWidget(up);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("File name:")));
    bottom->addWidget(names_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addLayout(bottom);
    layout->addWidget(buttons);

    GoTo(startFolder.isEmpty() ? QDir::homePath() : startFolder);
}

QString CFileFolderSelect::Folder() const { return folder_->text(); }

void CFileFolderSelect::GoTo(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    if (!QFileInfo(clean).isDir()) return;
    folder_->setText(clean);
    view_->setRootIndex(model_->index(clean));
    view_->clearSelection();
}

void CFileFolderSelect::GoUp() {
    QDir dir(Folder());
    if (dir.cdUp()) GoTo(dir.path());
}

void CFileFolderSelect::Activated(const QModelIndex& index) {
    if (model_->isDir(index)) GoTo(model_->filePath(index));
    else accept();
}

void CFileFolderSelect::SelectionChanged() {
    QModelIndexList rows = view_->selectionModel()->selectedIndexes();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    selectionPaths_.clear();
    for (const QModelIndex& index : rows) selectionPaths_.push_back(model_->filePath(index).toStdU16String());
    if (selectionPaths_.empty()) {
        // A pattern the user typed stays; a name list goes with the selection.
        if (!names_->text().contains(u'*') && !names_->text().contains(u'?')) names_->clear();
        selectionText_.clear();
        return;
    }
    selectionText_ = QString::fromStdU16String(QuotedSelection(Folder().toStdU16String(), selectionPaths_));
    names_->setText(selectionText_);
}

void CFileFolderSelect::accept() {
    const QString text = names_->text();
    if (!selectionPaths_.empty() && text == selectionText_) {
        chosen_ = selectionPaths_;
        QDialog::accept();
        return;
    }
    SelectionResult result = ParseSelectionText(text.toStdU16String(), Folder().toStdU16String());
    switch (result.outcome) {
    case SelectionOutcome::Chosen:
        chosen_ = std::move(result.paths);
        QDialog::accept();
        return;
    case SelectionOutcome::Filter: {
        const QString pattern = text.trimmed();
        model_->setNameFilters(pattern.isEmpty() ? QStringList() : pattern.split(u';', Qt::SkipEmptyParts));
        return;
    }
    case SelectionOutcome::Invalid:
        foundation::AppMessageBox(result.bad + u"\r\n" +
                                      foundation::GetLangString(640, u"The above file name is invalid."),
                                  foundation::kMbOk | foundation::kMbIconInformation);
        return;
    case SelectionOutcome::TooMany:
        foundation::AppMessageBox(foundation::GetLangString(630, u"Too many files selected."),
                                  foundation::kMbOk | foundation::kMbIconStop);
        return;
    }
}

std::vector<std::u16string> SelectFilesAndFolders(QWidget* parent, const QString& title, const QString& startFolder,
                                                  bool addVariant) {
    CFileFolderSelect dialog(title, startFolder, addVariant, parent);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.Chosen();
}

}  // namespace dialogs::ui
