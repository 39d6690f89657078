#pragma once
// Volumes of a set that did not open, listed before the set is converted,
// saved elsewhere or mounted: the user moves them into one folder and names
// it, or (where the asker allows) goes on without them. OK hands back the
// folder and the skip choice; the asker looks again.

#include <string>
#include <vector>

#include "window/dialogs/app_dialog.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace dialogs::ui {

class CMissingVolumesDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 259;
    CMissingVolumesDlg(const std::u16string& folder, const std::vector<std::u16string>& missing, bool maySkip,
                       QWidget* parent = nullptr);

    // After OK.
    std::u16string Folder() const;
    bool Skip() const;

private:
    void Browse();

    QListWidget* list_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QCheckBox* skip_ = nullptr;
};

}  // namespace dialogs::ui
