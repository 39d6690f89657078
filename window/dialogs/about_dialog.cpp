#include "window/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QLabel>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "foundation/programs.h"
#include "window/dialogs/link_label.h"
#include "window/faces/icons.h"

namespace dialogs::ui {

namespace {

constexpr const char16_t* kVersion = u"2.8";
constexpr int kLogoPixels = 64;

QString Lang(uint32_t id, const char16_t* text) {
    return QString::fromStdU16String(foundation::GetLangString(id, text));
}

}  // namespace

std::u16string CAboutDlg::HomePageTarget() { return foundation::GetWebLink(1); }

std::u16string CAboutDlg::MailTarget() { return u"mailto:" + foundation::GetWebLink(3); }

CAboutDlg::CAboutDlg(QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("About Quendravine"));

    auto* logo = new QLabel;
    SetControlId(logo, 1322);
    logo->setPixmap(foundation::ui::ProgramIcon().pixmap(kLogoPixels, kLogoPixels));
    logo->setFixedSize(kLogoPixels, kLogoPixels);

    auto* name = new QLabel(QStringLiteral("Quendravine"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel(Lang(1760, u"Version") + QLatin1Char(' ') + QString::fromUtf16(kVersion));
    SetControlId(version, 1323);
    auto* homeLabel = new QLabel(Lang(520, u"Homepage"));
    SetControlId(homeLabel, 1324);
    auto* mailLabel = new QLabel(Lang(530, u"Email"));
    SetControlId(mailLabel, 1325);

    homePage_ = new CLinkLabel(1326, QString::fromStdU16String(foundation::GetWebLink(6)));
    mail_ = new CLinkLabel(1327, QString::fromStdU16String(foundation::GetWebLink(3)));
    for (CLinkLabel* link : {homePage_, mail_}) {
        link->SetTextColour(QColor(0, 0, 0xFF));
        link->setWordWrap(false);
    }
    connect(homePage_, &CLinkLabel::Clicked, this, [] { foundation::ShellOpen(HomePageTarget()); });
    connect(mail_, &CLinkLabel::Clicked, this, [] { foundation::ShellOpen(MailTarget()); });

    auto* facts = new QGridLayout;
    facts->addWidget(name, 0, 0, 1, 2);
    facts->addWidget(version, 1, 0, 1, 2);
    facts->addWidget(homeLabel, 2, 0);
    facts->addWidget(homePage_, 2, 1);
    facts->addWidget(mailLabel, 3, 0);
    facts->addWidget(mail_, 3, 1);
    facts->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(logo, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(facts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
        ok->setIcon(foundation::ui::OkIcon());
        SetControlId(ok, 1);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace dialogs::ui
