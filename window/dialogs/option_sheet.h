#pragma once
// The "Configuration" sheet: the General options (file-manager integration,
// the file types the program opens on the desktop, the default viewer, the
// temporary folder, the opened-files history) and the Virtual Drive options.
// Each page stores its own settings at OK.

#include <functional>
#include <string>
#include <vector>

#include "window/dialogs/property_sheet.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace dialogs::ui {

class CDriveSettingsForm;

class COptionPageGeneral : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 230;
    explicit COptionPageGeneral(QWidget* parent = nullptr);

    void OnInitPage() override;
    bool OnOK() override;

    QListWidget* Associations() const { return associations_; }

public slots:
    void SelectAll();
    void RemoveAll();
    void BrowseViewer();
    void BrowseTempFolder();
    void ClearHistory();

private:
    QLineEdit* viewer_ = nullptr;
    QCheckBox* integration_ = nullptr;
    QLineEdit* tempFolder_ = nullptr;
    QListWidget* associations_ = nullptr;
    std::u16string initialViewer_;
    bool initialIntegration_ = false;
    std::u16string initialTempFolder_;
    std::vector<bool> associatedAtStart_;
};

class COptionPageVirtualDrive : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 324;
    explicit COptionPageVirtualDrive(QWidget* parent = nullptr);

    void OnInitPage() override;
    bool OnOK() override;

    CDriveSettingsForm* Form() const { return form_; }

private:
    CDriveSettingsForm* form_ = nullptr;
    bool usable_ = false;
    std::u16string initialTempFolder_;
};

class COptionSheet : public CPropertySheet {
    Q_OBJECT

public:
    static constexpr int kGeneralPage = 0;
    static constexpr int kVirtualDrivePage = 1;
    explicit COptionSheet(bool startOnVirtualDrive, QWidget* parent = nullptr);
};

// Runs the sheet modally on the General page, or on the Virtual Drive page.
void RunOptionSheet(QWidget* parent, bool startOnVirtualDrive);

// "Clear opened files history" hands over to the keeper of the recent-file
// list; without one the button does nothing.
void SetClearRecentFilesHandler(std::function<void()> handler);

}  // namespace dialogs::ui
