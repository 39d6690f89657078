#include "window/dialogs/property_sheet.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace dialogs::ui {

CPropertyPage::CPropertyPage(int templateId, std::u16string title, QWidget* parent)
    : QWidget(parent), templateId_(templateId), title_(std::move(title)) {}

void CPropertyPage::EnsureInitialised() {
    if (initialised_) return;
    initialised_ = true;
    OnInitPage();
}

CHostedPage::CHostedPage(int templateId, std::u16string title, QWidget* content, std::function<bool()> leave,
                         std::function<bool()> store)
    : CPropertyPage(templateId, std::move(title)), content_(content), leave_(std::move(leave)),
      store_(std::move(store)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    EnsureInitialised();
}

CPropertySheet::CPropertySheet(int templateId, std::u16string_view caption, QWidget* parent)
    : CAppDialog(templateId, parent) {
    setWindowTitle(QString::fromStdU16String(std::u16string(caption)));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("sheetTabs"));
    layout->addWidget(tabs_);
    layout->addWidget(MakeOkCancelButtons(&ok_));
    connect(tabs_, &QTabWidget::currentChanged, this, &CPropertySheet::OnTabChanged);
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    pages_.push_back(page);
    // Adding the first tab makes it current; the sheet is not shown yet, so
    // nothing is initialised before the sheet opens.
    switching_ = true;
    tabs_->addTab(page, QString::fromStdU16String(page->Title()));
    switching_ = false;
}

void CPropertySheet::RemovePage(CPropertyPage* page) {
    const auto found = std::find(pages_.begin(), pages_.end(), page);
    if (found == pages_.end()) return;
    const int index = static_cast<int>(found - pages_.begin());
    pages_.erase(found);
    switching_ = true;
    tabs_->removeTab(index);
    switching_ = false;
    shownIndex_ = tabs_->currentIndex();
    delete page;
}

CPropertyPage* CPropertySheet::Page(int index) const {
    return index >= 0 && index < PageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

int CPropertySheet::ActivePageIndex() const { return tabs_->currentIndex(); }

void CPropertySheet::SetActivePage(int index) {
    if (!Page(index)) return;
    tabs_->setCurrentIndex(index);
}

void CPropertySheet::setVisible(bool visible) {
    if (visible && !isVisible()) {
        if (CPropertyPage* page = Page(tabs_->currentIndex())) {
            shownIndex_ = tabs_->currentIndex();
            page->EnsureInitialised();
        }
    }
    CAppDialog::setVisible(visible);
}

void CPropertySheet::OnTabChanged(int index) {
    if (switching_ || !isVisible()) {
        shownIndex_ = index;
        return;
    }
    CPropertyPage* leaving = Page(shownIndex_);
    if (leaving && leaving->Initialised() && index != shownIndex_ && !leaving->OnKillActive()) {
        switching_ = true;
        tabs_->setCurrentIndex(shownIndex_);
        switching_ = false;
        return;
    }
    shownIndex_ = index;
    CPropertyPage* page = Page(index);
    if (!page || page->Initialised()) return;
    page->EnsureInitialised();
    // A page built later may need more room than the sheet has.
    const QSize wanted = sizeHint().expandedTo(size());
    if (wanted != size()) resize(wanted);
}

void CPropertySheet::accept() {
    CPropertyPage* active = Page(tabs_->currentIndex());
    if (active && active->Initialised() && !active->OnKillActive()) return;
    for (int i = 0; i < PageCount(); ++i) {
        CPropertyPage* page = pages_[static_cast<size_t>(i)];
        if (!page->Initialised()) continue;
        if (!page->OnOK()) {
            switching_ = true;
            tabs_->setCurrentIndex(i);
            shownIndex_ = i;
            switching_ = false;
            return;
        }
    }
    CAppDialog::accept();
}

}  // namespace dialogs::ui
