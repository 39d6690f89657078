#include "window/dialogs/iso_file_system_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "window/dialogs/app_dialog.h"
#include "window/dialogs/more_labels_dialog.h"
#include "image/document/image_context.h"

namespace dialogs::ui {

namespace {
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }
}  // namespace

CIsoFileSystemPage::CIsoFileSystemPage(image::ImageContext* ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    if (ctx_) settings_ = GetIsoFileSystemSettings(*ctx_);
    auto id = [](QWidget* w, int n) { CAppDialog::SetControlId(w, n); };

    auto* labelCaption = new QLabel(Plain(u"Volume label:"));
    label_ = new QLineEdit;
    id(label_, 1061);
    labelCaption->setBuddy(label_);
    auto* more = new QPushButton(Plain(u"More Labels ..."));
    more->setAutoDefault(false);
    id(more, 1001);
    more->setEnabled(ctx_ != nullptr);
    connect(more, &QPushButton::clicked, this, &CIsoFileSystemPage::ShowMoreLabels);
    auto* labelRow = new QHBoxLayout;
    labelRow->addWidget(labelCaption);
    labelRow->addWidget(label_, 1);
    labelRow->addWidget(more);

    iso9660_ = new QCheckBox(Plain(u"ISO 9660"));
    joliet_ = new QCheckBox(Plain(u"Joliet"));
    udf_ = new QCheckBox(Plain(u"UDF"));
    id(iso9660_, 1150);
    id(joliet_, 1090);
    id(udf_, 1206);
    connect(iso9660_, &QCheckBox::clicked, this, [this] { OnRuleClicked(IsoRuleClick::Iso9660); });
    connect(joliet_, &QCheckBox::clicked, this, [this] { OnRuleClicked(IsoRuleClick::Joliet); });
    connect(udf_, &QCheckBox::clicked, this, [this] { OnRuleClicked(IsoRuleClick::Udf); });
    // Shown for what the image carries, never changed here.
    bootable_ = new QCheckBox(Plain(u"Bootable"));
    xbox_ = new QCheckBox(Plain(u"Xbox"));
    hfs_ = new QCheckBox(Plain(u"HFS"));
    hfsPlus_ = new QCheckBox(Plain(u"HFS+"));
    id(bootable_, 1081);
    id(xbox_, 1240);
    id(hfs_, 1258);
    id(hfsPlus_, 1259);
    for (QCheckBox* shown : {bootable_, xbox_, hfs_, hfsPlus_}) shown->setEnabled(false);
    auto* systems = new QGroupBox(Plain(u"File system"));
    auto* systemsGrid = new QGridLayout(systems);
    systemsGrid->addWidget(iso9660_, 0, 0);
    systemsGrid->addWidget(joliet_, 0, 1);
    systemsGrid->addWidget(udf_, 0, 2);
    systemsGrid->addWidget(bootable_, 1, 0);
    systemsGrid->addWidget(xbox_, 1, 1);
    systemsGrid->addWidget(hfs_, 1, 2);
    systemsGrid->addWidget(hfsPlus_, 1, 3);

    dosNames_ = new QRadioButton(Plain(u"DOS(8.3)"));
    standardNames_ = new QRadioButton(Plain(u"Standard(30)"));
    longNames_ = new QRadioButton(Plain(u"Long(221)"));
    lowerCase_ = new QCheckBox(Plain(u"Allow lower case"));
    id(dosNames_, 1091);
    id(standardNames_, 1092);
    id(longNames_, 1093);
    id(lowerCase_, 1094);
    auto* isoNames = new QGroupBox(Plain(u"ISO 9660 file names"));
    auto* isoGroup = new QButtonGroup(isoNames);
    auto* isoLayout = new QGridLayout(isoNames);
    int column = 0;
    for (QRadioButton* radio : {dosNames_, standardNames_, longNames_}) {
        isoGroup->addButton(radio);
        isoLayout->addWidget(radio, 0, column++);
    }
    isoLayout->addWidget(lowerCase_, 1, 0, 1, 3);

    jolietStandard_ = new QRadioButton(Plain(u"Standard(64)"));
    jolietLong_ = new QRadioButton(Plain(u"Long(110)"));
    id(jolietStandard_, 1095);
    id(jolietLong_, 1096);
    auto* jolietNames = new QGroupBox(Plain(u"Joliet file names"));
    auto* jolietGroup = new QButtonGroup(jolietNames);
    jolietGroup->addButton(jolietStandard_);
    jolietGroup->addButton(jolietLong_);
    auto* jolietLayout = new QHBoxLayout(jolietNames);
    jolietLayout->addWidget(jolietStandard_);
    jolietLayout->addWidget(jolietLong_);
    jolietLayout->addStretch(1);

    optimize_ = new QCheckBox(Plain(u"Enable file optimization"));
    id(optimize_, 1047);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(labelRow);
    layout->addWidget(systems);
    layout->addWidget(isoNames);
    layout->addWidget(jolietNames);
    layout->addWidget(optimize_);
    layout->addStretch(1);
    Refresh();
}

void CIsoFileSystemPage::ReadControls() {
    settings_.label = label_->text().toStdU16String();
    settings_.optimize = optimize_->isChecked();
    settings_.iso9660 = iso9660_->isChecked();
    settings_.joliet = joliet_->isChecked();
    settings_.udf = udf_->isChecked();
    settings_.allowLowerCase = lowerCase_->isChecked() ? 1 : 0;
    settings_.isoNameLimit = dosNames_->isChecked() ? 12 : standardNames_->isChecked() ? 30 : 221;
    settings_.jolietNameLimit = jolietStandard_->isChecked() ? 64 : 110;
}

void CIsoFileSystemPage::Refresh() {
    label_->setText(QString::fromStdU16String(settings_.label));
    optimize_->setChecked(settings_.optimize);
    bootable_->setChecked(settings_.bootable);
    iso9660_->setChecked(settings_.iso9660);
    joliet_->setChecked(settings_.joliet);
    udf_->setChecked(settings_.udf);
    xbox_->setChecked(settings_.xbox);
    hfs_->setChecked(settings_.hfs);
    hfsPlus_->setChecked(settings_.hfsPlus);
    lowerCase_->setChecked(settings_.allowLowerCase != 0);
    (settings_.isoNameLimit == 12 ? dosNames_ : settings_.isoNameLimit == 30 ? standardNames_ : longNames_)
        ->setChecked(true);
    (settings_.jolietNameLimit == 64 ? jolietStandard_ : jolietLong_)->setChecked(true);
    // The name choices of a file system it does not write are not offered.
    jolietStandard_->setEnabled(settings_.joliet);
    jolietLong_->setEnabled(settings_.joliet);
    for (QWidget* w : std::initializer_list<QWidget*>{dosNames_, standardNames_, longNames_, lowerCase_})
        w->setEnabled(settings_.iso9660);
}

void CIsoFileSystemPage::OnRuleClicked(IsoRuleClick click) {
    ReadControls();
    ApplyIsoRule(settings_, click);
    Refresh();
}

void CIsoFileSystemPage::SetUdfAndJoliet(bool udf, bool joliet) {
    ReadControls();
    settings_.udf = udf;
    settings_.joliet = joliet;
    Refresh();
}

void CIsoFileSystemPage::ShowMoreLabels() {
    if (!ctx_) return;
    CMoreLabelsDlg dialog(*ctx_, this);
    dialog.exec();
}

int CIsoFileSystemPage::Store() {
    ReadControls();
    return ctx_ ? SetIsoFileSystemSettings(*ctx_, settings_) : 0;
}

}  // namespace dialogs::ui
