#pragma once
// The window program's answers to the command-file steps that need a dialog:
// SAVE_AS opens the Save Archive sheet and saves, EXTRACT_DLG the Extract
// dialog, BURN_IMAGE_FILE the burn dialog with the image, MAKE_IMAGE the
// make-image dialog.
// Extractions of a run go under the progress dialog.

#include "app/startup_actions.h"

class QWidget;

namespace app::ui {

class CommandFileDialogs final : public ICommandFileDialogs {
public:
    // owner: the window the dialogs belong to (may be null).
    explicit CommandFileDialogs(QWidget* owner) : owner_(owner) {}

    int SaveAs(std::u16string_view presetName) override;
    int ChooseExtractFolder(ExtractRequest& request) override;
    int BurnImage(std::u16string_view imagePath) override;
    int MakeImage(std::u16string_view argument) override;
    int ExtractAll(const ExtractRequest& request) override;

private:
    QWidget* owner_;
};

}  // namespace app::ui
