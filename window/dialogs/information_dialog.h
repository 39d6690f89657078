#pragma once
// "Information": name, type, location, size, contents and date of what is
// selected in one of the three views, and a date to give the selected items
// (optionally everything below them). On a read-only document it only shows.

#include <vector>

#include "window/dialogs/app_dialog.h"
#include "window/dialogs/iso_date_time_page.h"
#include "window/models/item_information.h"

class QCheckBox;
class QRadioButton;

namespace dialogs::ui {

class CInformationDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 240;
    enum : int {
        kIdName = 1019, kIdType = 1020, kIdLocation = 1021, kIdSize = 1022, kIdInclude = 1023, kIdDate = 1024,
        kIdSetDate = 1291, kIdSetTime = 1292, kIdChildren = 1150,
        kIdKeep = 1337, kIdOriginal = 1338, kIdSetTo = 1339,
    };

    // folder for the tree, items for the file list, tracks for the track list.
    CInformationDlg(image::ImageContext* ctx, InformationSource source, image::ImageFolder* folder,
                    std::vector<image::ImageItem*> items, std::vector<int> tracks, QWidget* parent = nullptr);

    // After OK: whether a date was stored into the document.
    bool Changed() const { return changed_; }
    const InformationTexts& Texts() const { return texts_; }

public slots:
    void accept() override;

private:
    void UpdatePicker();

    image::ImageContext* ctx_;
    InformationSource source_;
    image::ImageFolder* folder_;
    std::vector<image::ImageItem*> items_;
    std::vector<int> tracks_;
    InformationTexts texts_;
    DateTimePair setTo_;
    QRadioButton* keep_ = nullptr;
    QRadioButton* original_ = nullptr;
    QRadioButton* setToRadio_ = nullptr;
    QCheckBox* children_ = nullptr;
    bool readOnly_ = false;
    bool changed_ = false;
};

// The frame's Information command: the dialog for a source and its
// selection; marks the document modified when a date was stored. False when
// there is nothing to show.
bool RunInformationDialog(QWidget* parent, InformationSource source, image::ImageFolder* folder,
                          std::vector<image::ImageItem*> items, std::vector<int> tracks);

}  // namespace dialogs::ui
