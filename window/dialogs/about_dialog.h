#pragma once
// Help/About: the program's logo, its version, and two links (the home page
// and the support mailbox) that open with the desktop's handlers.

#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {

class CLinkLabel;

class CAboutDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 100;

    explicit CAboutDlg(QWidget* parent = nullptr);

    CLinkLabel* HomePageLink() const { return homePage_; }
    CLinkLabel* MailLink() const { return mail_; }

    // What a click on each link opens.
    static std::u16string HomePageTarget();
    static std::u16string MailTarget();

private:
    CLinkLabel* homePage_ = nullptr;
    CLinkLabel* mail_ = nullptr;
};

}  // namespace dialogs::ui
