#pragma once
// "Split Archive": splitting of the current document into volumes, written
// straight into the document (its split switch, volume size and pause), not
// marking it modified. With splitting off, OK leaves the document as it was.

#include "window/dialogs/app_dialog.h"

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

class CVolumeGroup;

class CSplitArchiveDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 363;
    explicit CSplitArchiveDlg(image::ImageContext& ctx, QWidget* parent = nullptr);

    CVolumeGroup* Volumes() const { return volumes_; }

public slots:
    void accept() override;

private:
    image::ImageContext& ctx_;
    CVolumeGroup* volumes_ = nullptr;
};

// The frame's Split Archive command on the current document; false without one.
bool RunSplitArchiveDialog(QWidget* parent);

}  // namespace dialogs::ui
