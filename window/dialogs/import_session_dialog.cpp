#include "window/dialogs/import_session_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "foundation/messages_ui.h"
#include "foundation/prompt_services.h"
#include "foundation/user_prompt.h"
#include "window/dialogs/prompt_face.h"

namespace dialogs::ui {

CImportSessionDlg::CImportSessionDlg(const app::ChooserQuestion& question, QWidget* parent)
    : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QString::fromStdU16String(question.caption));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    SetControlId(list_, kList);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList titles;
    for (const std::u16string& title : question.columns) titles << QString::fromStdU16String(title);
    list_->setHeaderLabels(titles);
    list_->setMinimumWidth(360);
    for (size_t c = 0; c < question.columnPercents.size(); ++c)
        list_->setColumnWidth(int(c), (list_->minimumWidth() + 1) * question.columnPercents[c] / 100);
    for (const std::vector<std::u16string>& cells : question.rows) {
        auto* row = new QTreeWidgetItem(list_);
        for (size_t c = 0; c < cells.size(); ++c) row->setText(int(c), QString::fromStdU16String(cells[c]));
    }
    layout->addWidget(list_);
    QDialogButtonBox* buttons = MakeOkCancelButtons(&import_);
    import_->setText(QString::fromStdU16String(foundation::GetLangString(0, u"Import")));
    layout->addWidget(buttons);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { import_->setEnabled(list_->selectedItems().size() == 1); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (list_->selectedItems().size() == 1) accept();
    });
    import_->setEnabled(false);
    if (QTreeWidgetItem* row = list_->topLevelItem(question.selected)) {
        row->setSelected(true);
        list_->setCurrentItem(row);
    }
}

void CImportSessionDlg::accept() {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.size() != 1) return;
    chosen_ = list_->indexOfTopLevelItem(selected.front());
    CAppDialog::accept();
}

void InstallImportSessionPrompt() {
    SetPromptKindHandler(foundation::prompt_kind::kChooseSession, [](foundation::UserPromptRequest& request) {
        foundation::ChosenSessionIndex().store(-1);
        request.answer = foundation::kIdCancel;
        const auto* question = static_cast<const app::ChooserQuestion*>(request.context);
        if (!question || question->rows.empty()) return;
        CImportSessionDlg dlg(*question);
        if (dlg.exec() != QDialog::Accepted) return;
        foundation::ChosenSessionIndex().store(dlg.Chosen());
        request.answer = foundation::kIdOk;
    });
}

}  // namespace dialogs::ui
