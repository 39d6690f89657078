#include "window/dialogs/iso_date_time_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {

namespace {
QString Plain(const char16_t* text) { return QString::fromUtf16(text); }

// The earliest time both edits take; it is shown blank.
const QDateTime& BlankTime() {
    static const QDateTime blank = QDateTime::fromSecsSinceEpoch(0);
    return blank;
}
}  // namespace

DateTimePair MakeDateTimePair(QWidget* parent, int dateId, int timeId) {
    DateTimePair pair{new QDateEdit(parent), new QTimeEdit(parent)};
    pair.date->setCalendarPopup(true);
    pair.date->setMinimumDate(BlankTime().date());
    pair.date->setSpecialValueText(QStringLiteral(" "));
    pair.time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    CAppDialog::SetControlId(pair.date, dateId);
    CAppDialog::SetControlId(pair.time, timeId);
    return pair;
}

void SetDateTimePair(const DateTimePair& pair, int64_t value) {
    if (value == 0) {
        pair.date->setDate(pair.date->minimumDate());
        pair.time->setTime(QTime(0, 0));
        return;
    }
    const QDateTime shown = QDateTime::fromSecsSinceEpoch(value);
    pair.date->setDate(shown.date());
    pair.time->setTime(shown.time());
}

int64_t GetDateTimePair(const DateTimePair& pair) {
    if (pair.date->date() == pair.date->minimumDate()) return 0;
    const int64_t value = QDateTime(pair.date->date(), pair.time->time()).toSecsSinceEpoch();
    return value < 0 ? 0 : value;
}

void EnableDateTimePair(const DateTimePair& pair) {
    if (GetDateTimePair(pair) == 0) SetDateTimePair(pair, QDateTime::currentSecsSinceEpoch());
    pair.date->setEnabled(true);
    pair.time->setEnabled(true);
}

void DisableDateTimePair(const DateTimePair& pair, bool blank) {
    if (blank) SetDateTimePair(pair, 0);
    pair.date->setEnabled(false);
    pair.time->setEnabled(false);
}

CIsoDateTimePage::CIsoDateTimePage(image::ImageContext* ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    if (ctx_) settings_ = GetIsoDateSettings(*ctx_);
    auto* volumeDates = new QGroupBox(Plain(u"Volume date and time"));
    auto* grid = new QGridLayout(volumeDates);
    struct Row {
        QCheckBox*& check;
        DateTimePair& pair;
        const char16_t* text;
        int checkId, dateId, timeId;
        bool on;
        int64_t value;
    };
    const Row rows[] = {
        {creationOn_, creation_, u"Creation", 1150, 1281, 1282, settings_.creationOn, settings_.creation},
        {modificationOn_, modification_, u"Modification", 1293, 1283, 1286, settings_.modificationOn,
         settings_.modification},
        {effectiveOn_, effective_, u"Effective", 1294, 1284, 1287, settings_.effectiveOn, settings_.effective},
        {expirationOn_, expiration_, u"Expiration", 1295, 1285, 1288, settings_.expirationOn, settings_.expiration},
    };
    int line = 0;
    for (const Row& row : rows) {
        row.check = new QCheckBox(Plain(row.text));
        CAppDialog::SetControlId(row.check, row.checkId);
        row.check->setChecked(row.on);
        row.pair = MakeDateTimePair(this, row.dateId, row.timeId);
        SetDateTimePair(row.pair, row.value);
        connect(row.check, &QCheckBox::clicked, this, &CIsoDateTimePage::ApplyCheckRule);
        grid->addWidget(row.check, line, 0);
        grid->addWidget(row.pair.date, line, 1);
        grid->addWidget(row.pair.time, line, 2);
        ++line;
    }
    grid->setColumnStretch(1, 1);

    auto* fileDates = new QGroupBox(Plain(u"File date and time"));
    keep_ = new QRadioButton(Plain(u"Keep current"));
    original_ = new QRadioButton(Plain(u"Use the date and time from the original file"));
    setTo_ = new QRadioButton(Plain(u"Set to:"));
    CAppDialog::SetControlId(keep_, 1337);
    CAppDialog::SetControlId(original_, 1338);
    CAppDialog::SetControlId(setTo_, 1339);
    auto* group = new QButtonGroup(fileDates);
    fileTime_ = MakeDateTimePair(this, 1291, 1292);
    auto* fileGrid = new QGridLayout(fileDates);
    fileGrid->addWidget(keep_, 0, 0, 1, 3);
    fileGrid->addWidget(original_, 1, 0, 1, 3);
    fileGrid->addWidget(setTo_, 2, 0);
    fileGrid->addWidget(fileTime_.date, 2, 1);
    fileGrid->addWidget(fileTime_.time, 2, 2);
    fileGrid->setColumnStretch(1, 1);
    for (QRadioButton* radio : {keep_, original_, setTo_}) {
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, &CIsoDateTimePage::ApplyFileDatesRule);
    }
    keep_->setChecked(true);
    DisableDateTimePair(fileTime_, false);
    SetDateTimePair(fileTime_, QDateTime::currentSecsSinceEpoch());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(volumeDates);
    layout->addWidget(fileDates);
    layout->addStretch(1);
    ApplyCheckRule();
}

void CIsoDateTimePage::ApplyCheckRule() {
    const struct {
        QCheckBox* check;
        const DateTimePair& pair;
        bool blank;
    } rows[] = {
        {creationOn_, creation_, false},
        {modificationOn_, modification_, false},
        {effectiveOn_, effective_, true},
        {expirationOn_, expiration_, true},
    };
    for (const auto& row : rows) {
        if (row.check->isChecked()) EnableDateTimePair(row.pair);
        else DisableDateTimePair(row.pair, row.blank);
    }
}

void CIsoDateTimePage::ApplyFileDatesRule() {
    if (setTo_->isChecked()) EnableDateTimePair(fileTime_);
    else DisableDateTimePair(fileTime_, false);
}

bool CIsoDateTimePage::Store() {
    if (!ctx_) return false;
    IsoDateSettings s;
    s.creationOn = creationOn_->isChecked();
    s.modificationOn = modificationOn_->isChecked();
    s.effectiveOn = effectiveOn_->isChecked();
    s.expirationOn = expirationOn_->isChecked();
    s.creation = GetDateTimePair(creation_);
    s.modification = GetDateTimePair(modification_);
    s.effective = GetDateTimePair(effective_);
    s.expiration = GetDateTimePair(expiration_);
    s.fileDates = setTo_->isChecked() ? FileDates::SetTo : original_->isChecked() ? FileDates::FromOriginal
                                                                                  : FileDates::KeepCurrent;
    s.fileTime = GetDateTimePair(fileTime_);
    return SetIsoDateSettings(*ctx_, s);
}

}  // namespace dialogs::ui
