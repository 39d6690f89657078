#pragma once
// The sheet's "ISO Date/Time" page: the image's four volume dates, each on or
// off, and one choice for the dates of every file and folder. It shows the
// document's values and stores them into the document on OK.

#include <QWidget>

#include "window/models/iso_dates.h"

class QCheckBox;
class QDateEdit;
class QRadioButton;
class QTimeEdit;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

// A date edit and a time edit showing one time (seconds since 1970, local
// time as shown); 0 shows both blank.
struct DateTimePair {
    QDateEdit* date = nullptr;
    QTimeEdit* time = nullptr;
};
DateTimePair MakeDateTimePair(QWidget* parent, int dateId, int timeId);
void SetDateTimePair(const DateTimePair& pair, int64_t value);
int64_t GetDateTimePair(const DateTimePair& pair);
// Enabled; a blank pair then shows the present time.
void EnableDateTimePair(const DateTimePair& pair);
// Disabled; `blank` also hides the value.
void DisableDateTimePair(const DateTimePair& pair, bool blank);

class CIsoDateTimePage : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 323;

    explicit CIsoDateTimePage(image::ImageContext* ctx, QWidget* parent = nullptr);
    // The page's values into the document; true when the items' dates changed.
    bool Store();

private:
    void ApplyCheckRule();
    void ApplyFileDatesRule();

    image::ImageContext* ctx_;
    IsoDateSettings settings_;
    QCheckBox* creationOn_ = nullptr;
    QCheckBox* modificationOn_ = nullptr;
    QCheckBox* effectiveOn_ = nullptr;
    QCheckBox* expirationOn_ = nullptr;
    DateTimePair creation_, modification_, effective_, expiration_, fileTime_;
    QRadioButton* keep_ = nullptr;
    QRadioButton* original_ = nullptr;
    QRadioButton* setTo_ = nullptr;
};

}  // namespace dialogs::ui
