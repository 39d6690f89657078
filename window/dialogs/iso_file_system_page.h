#pragma once
// The sheet's "ISO File System" page: the volume label, which file systems the
// image carries (ISO 9660, Joliet, UDF) with their name limits, optimisation
// and lower-case names, and the further volume texts ("More Labels ...").
// It shows the document's values and stores them into the document on OK.

#include <QWidget>

#include "window/models/iso_settings.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

class CIsoFileSystemPage : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 231;

    explicit CIsoFileSystemPage(image::ImageContext* ctx, QWidget* parent = nullptr);
    // The save format's choice of UDF and Joliet, shown at once.
    void SetUdfAndJoliet(bool udf, bool joliet);
    // The page's values into the document: 0 unchanged, 1 only the label, 2 more.
    int Store();

public slots:
    void ShowMoreLabels();

private:
    void ReadControls();
    void Refresh();
    void OnRuleClicked(IsoRuleClick click);

    image::ImageContext* ctx_;
    IsoFileSystemSettings settings_;
    QLineEdit* label_ = nullptr;
    QCheckBox* optimize_ = nullptr;
    QCheckBox* bootable_ = nullptr;
    QCheckBox* iso9660_ = nullptr;
    QCheckBox* joliet_ = nullptr;
    QCheckBox* udf_ = nullptr;
    QCheckBox* xbox_ = nullptr;
    QCheckBox* hfs_ = nullptr;
    QCheckBox* hfsPlus_ = nullptr;
    QCheckBox* lowerCase_ = nullptr;
    QRadioButton* dosNames_ = nullptr;
    QRadioButton* standardNames_ = nullptr;
    QRadioButton* longNames_ = nullptr;
    QRadioButton* jolietStandard_ = nullptr;
    QRadioButton* jolietLong_ = nullptr;
};

}  // namespace dialogs::ui
