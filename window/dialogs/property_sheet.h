#pragma once
// The base of every property sheet: a dialog with one tab per page and OK
// (id 1) and Cancel (id 2) below. A page builds and fills its controls the
// first time it is shown, so a sheet opens at the cost of its first page
// only; the page being left checks its entries before another is shown; at
// OK the active page checks first, then every page that was opened stores
// its values in page order. A page that refuses is brought to the front and
// the sheet stays open; pages never opened store nothing.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QWidget>

#include "window/dialogs/app_dialog.h"

class QPushButton;
class QTabWidget;

namespace dialogs::ui {

class CPropertyPage : public QWidget {
    Q_OBJECT

public:
    CPropertyPage(int templateId, std::u16string title, QWidget* parent = nullptr);

    int TemplateId() const { return templateId_; }
    const std::u16string& Title() const { return title_; }
    bool Initialised() const { return initialised_; }
    // Runs OnInitPage once.
    void EnsureInitialised();

    // Builds and fills the page's controls (first show).
    virtual void OnInitPage() {}
    // The page is being left or the sheet's OK pressed while it is active:
    // false keeps the user on it (the page has said why).
    virtual bool OnKillActive() { return true; }
    // Stores the page's values; only for pages that were opened. False keeps
    // the sheet open on this page.
    virtual bool OnOK() { return true; }

private:
    int templateId_;
    std::u16string title_;
    bool initialised_ = false;
};

// A page whose controls its sheet builds up front, for sheets whose pages
// follow each other's choices (the format chosen on one page decides what
// another offers): it counts as opened from the start, and its checks and
// stores are the sheet's functions.
class CHostedPage : public CPropertyPage {
    Q_OBJECT

public:
    CHostedPage(int templateId, std::u16string title, QWidget* content, std::function<bool()> leave = {},
                std::function<bool()> store = {});
    QWidget* Content() const { return content_; }
    bool OnKillActive() override { return !leave_ || leave_(); }
    bool OnOK() override { return !store_ || store_(); }

private:
    QWidget* content_;
    std::function<bool()> leave_;
    std::function<bool()> store_;
};

class CPropertySheet : public CAppDialog {
    Q_OBJECT

public:
    CPropertySheet(int templateId, std::u16string_view caption, QWidget* parent = nullptr);

    // Pages are owned by the sheet from here; their order is the tab order.
    void AddPage(CPropertyPage* page);
    // Takes the page out of the sheet and deletes it.
    void RemovePage(CPropertyPage* page);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    CPropertyPage* Page(int index) const;
    // Before the sheet runs: the page shown first. Later: shows the page when
    // the active one lets go.
    void SetActivePage(int index);
    int ActivePageIndex() const;
    QTabWidget* Tabs() const { return tabs_; }
    QPushButton* OkButton() const { return ok_; }

public slots:
    void accept() override;

    // The first page is built before the sheet is laid out for showing.
    void setVisible(bool visible) override;

private:
    void OnTabChanged(int index);

    QTabWidget* tabs_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::vector<CPropertyPage*> pages_;
    int shownIndex_ = -1;
    bool switching_ = false;
};

}  // namespace dialogs::ui
