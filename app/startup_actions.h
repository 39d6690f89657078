#pragma once
// The window program's dialogs that the commands of a command file ("-pf"/
// "-pfh") call. The command-line side loads the file before the window exists
// and installs it as the start-up action (app/startup_state.h); the window
// program installs these dialogs.

#include <string>
#include <string_view>

#include "app/extract_job.h"
#include "app/startup_state.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "foundation/services.h"

namespace app {

// The steps of a command file that need the window program's dialogs. Each
// answers 1 done, 0 cancelled by the user, -1 not available (no window, or
// the engine behind it has not landed); the stand-in answers -1.
class ICommandFileDialogs {
public:
    virtual ~ICommandFileDialogs() = default;
    // The archive property sheet in save mode, its file name preset.
    virtual int SaveAs(std::u16string_view presetName) = 0;
    // The Extract dialog for the whole document: the chosen folder and the
    // dialog's overwrite answer in the request.
    virtual int ChooseExtractFolder(ExtractRequest& request) = 0;
    // The burn dialog for a disc image.
    virtual int BurnImage(std::u16string_view imagePath) = 0;
    // The make-image dialog with the menu entry's argument.
    virtual int MakeImage(std::u16string_view argument) = 0;
    // Extracts the whole current document as the request says (the window
    // program under its progress dialog). The job's result: 1 done, 0
    // cancelled, -1 failed.
    virtual int ExtractAll(const ExtractRequest& request) = 0;
};

namespace detail {
class NoCommandFileDialogs : public ICommandFileDialogs {
public:
    int SaveAs(std::u16string_view) override { return -1; }
    int ChooseExtractFolder(ExtractRequest&) override { return -1; }
    int BurnImage(std::u16string_view) override { return -1; }
    int MakeImage(std::u16string_view) override { return -1; }
    int ExtractAll(const ExtractRequest& request) override {
        image::ImageContext* ctx = image::g_CurrentDocument;
        return ctx ? ExtractItems(ctx, ctx->rootFolder, {}, request, nullptr) : -1;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<ICommandFileDialogs, detail::NoCommandFileDialogs>& CommandFileDialogsSlot() {
    static foundation::ServiceSlot<ICommandFileDialogs, detail::NoCommandFileDialogs> slot;
    return slot;
}
inline ICommandFileDialogs& CommandFileDialogs() { return CommandFileDialogsSlot().Get(); }
inline ICommandFileDialogs* SetCommandFileDialogs(ICommandFileDialogs* dialogs) {
    return CommandFileDialogsSlot().Install(dialogs);
}

}  // namespace app
