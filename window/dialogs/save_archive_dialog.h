#pragma once
// The "Save Archive" sheet: where and how the document is to be written
// before a save under a new name. Its General page takes the file name and the
// output format (only formats that have a writer are offered); its Advanced
// page the compression level, the volumes and the password; its Comment page
// the archive comment (not for audio discs); and, while an ISO image is
// chosen, its ISO File System and ISO Date/Time pages the image's file
// systems, labels and dates, which go into the document on OK. The archive
// settings travel in a record the caller fills before and writes back after
// OK; the file name is read afterwards and saved to.

#include <string>
#include <string_view>

#include "window/models/archive_settings.h"
#include "window/dialogs/property_sheet.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

class CCommentPage;
class CIsoDateTimePage;
class CIsoFileSystemPage;

class CSaveArchiveDlg : public CPropertySheet {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 255;
    static constexpr int kAdvancedTemplateId = 248;

    // ctx: the document to be saved (its ISO flags follow the format chosen).
    CSaveArchiveDlg(image::ImageContext* ctx, const ArchiveSettings& settings, std::u16string_view path,
                    QWidget* parent = nullptr);

    // After OK: the settings and the file name (with the chosen format's extension).
    const ArchiveSettings& Settings() const { return settings_; }
    std::u16string Path() const;
    // The ISO page while it is in the sheet (an ISO image is chosen).
    CIsoFileSystemPage* IsoPage() const { return isoPage_; }
    int32_t FormatCode() const { return formatCode_; }
    int32_t ArchiveVariant() const { return archiveVariant_; }

public slots:
    void Browse();

private:
    QWidget* BuildGeneralPage();
    QWidget* BuildAdvancedPage();
    void ChooseFormat(int32_t formatCode, int32_t variant, bool isoFamily);
    void ApplySaveFormat();
    void ShowIsoPage(bool shown);
    void UpdateAdvancedEnabling();
    void OnPasswordClicked();
    void OnChangePassword();
    // The checks and stores of the General and Advanced pages.
    bool CheckPath();
    bool CheckVolumeSize(int64_t* size);
    bool StoreAdvanced();

    image::ImageContext* ctx_;
    ArchiveSettings settings_;
    int32_t formatCode_ = 151;
    int32_t archiveVariant_ = 1;
    bool isoFamilyChosen_ = false;
    bool passwordOn_ = false;

    QTabWidget* tabs_ = nullptr;
    QLineEdit* path_ = nullptr;
    QRadioButton* zip_ = nullptr;
    QRadioButton* sevenZip_ = nullptr;
    QRadioButton* mzp_ = nullptr;
    QRadioButton* iso_ = nullptr;
    QRadioButton* xdi_ = nullptr;
    QComboBox* compression_ = nullptr;
    QCheckBox* split_ = nullptr;
    QComboBox* volumeSize_ = nullptr;
    QCheckBox* pause_ = nullptr;
    QCheckBox* password_ = nullptr;
    QPushButton* changePassword_ = nullptr;
    CCommentPage* commentPage_ = nullptr;
    CIsoFileSystemPage* isoPage_ = nullptr;
    CIsoDateTimePage* dateTimePage_ = nullptr;
    CHostedPage* isoHost_ = nullptr;
    CHostedPage* dateTimeHost_ = nullptr;
};

// The command-file word SAVE_AS on the current document: the sheet with the
// name preset; on OK the settings are written back, the document saved under
// the sheet's name and opened again from the written file. 1 saved, 0
// cancelled, -1 the save failed (the user has been told why).
int RunSaveArchiveCommand(QWidget* parent, std::u16string_view presetName);

}  // namespace dialogs::ui
