#include "window/frame/command_file_dialogs.h"

#include <QDialog>

#include "window/dialogs/extract_dialog.h"
#include "window/dialogs/make_image_dialog.h"
#include "window/frame/burn_commands.h"
#include "window/dialogs/save_archive_dialog.h"
#include "foundation/messages.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "foundation/messages_ui.h"
#include "platform/format.h"

namespace app::ui {

int CommandFileDialogs::SaveAs(std::u16string_view presetName) {
    // A failed save has told the user why and left OperationStatus set, which
    // ends the run; it is no "not available".
    return dialogs::ui::RunSaveArchiveCommand(owner_, presetName) == 1 ? 1 : 0;
}

int CommandFileDialogs::ChooseExtractFolder(ExtractRequest& request) {
    dialogs::ui::CExtractDlg dialog(true, owner_);
    if (dialog.exec() != QDialog::Accepted) return 0;
    request = dialog.Request();
    return 1;
}

int CommandFileDialogs::BurnImage(std::u16string_view imagePath) {
    RunBurnDialog(owner_, std::u16string(imagePath));
    return 1;
}

int CommandFileDialogs::MakeImage(std::u16string_view) {
    // The run goes on whatever the user chose in the dialog; only a window
    // that cannot show it stops the run.
    dialogs::ui::RunMakeImageCommand(owner_);
    return 1;
}

int CommandFileDialogs::ExtractAll(const ExtractRequest& request) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return -1;
    return dialogs::ui::RunExtractJob(owner_, ctx, ctx->rootFolder, {}, request);
}

}  // namespace app::ui
