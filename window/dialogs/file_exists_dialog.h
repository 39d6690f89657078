#pragma once
// The file-exists question: the existing file and its replacement side by
// side, answered Yes, No, Yes to All, No to All or Cancel. The answer is kept
// in the dialog, not in exec()'s result: Yes is 0, which exec() uses for a
// rejected dialog.

#include <cstdint>

#include "foundation/user_prompt.h"
#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {

class CFileExistsDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 243;
    CFileExistsDlg(const std::u16string& question, const foundation::FileExistsSubject& subject,
                   QWidget* parent = nullptr);

    // 0 yes, 1 no, 2 yes to all, 3 no to all, 4 cancel (also Escape and the close box).
    int32_t Answer() const { return answer_; }

public slots:
    void reject() override;

private:
    void Finish(int32_t answer);

    int32_t answer_ = foundation::overwrite_answer::kCancel;
};

}  // namespace dialogs::ui
