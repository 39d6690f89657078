#pragma once
// "More Labels": the volume texts of an image beyond its label (system,
// volume set, publisher, data preparer, application, copyright, abstract and
// bibliographic IDs). OK stores every changed text into the document at once.

#include <array>

#include "window/models/iso_settings.h"
#include "window/dialogs/app_dialog.h"

class QLineEdit;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

class CMoreLabelsDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 239;
    // The edits' ids in the order of the volume texts.
    static constexpr std::array<int, kMoreLabelCount> kEditIds = {1020, 1022, 1023, 1027, 1025, 1026, 1024, 1062};

    explicit CMoreLabelsDlg(image::ImageContext& ctx, QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    image::ImageContext& ctx_;
    MoreLabels initial_;
    std::array<QLineEdit*, kMoreLabelCount> edits_{};
};

}  // namespace dialogs::ui
