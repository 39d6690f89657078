#include "window/frame/image_tool_commands.h"

#include "app/convert_image.h"
#include "app/open_document.h"
#include "foundation/messages.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "window/dialogs/image_tool_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"

namespace app::ui {
namespace {

namespace fc = image::format_code;

dialogs::ImageToolMode ModeOf(uint32_t command) {
    return command == kCompressImageCommand     ? dialogs::ImageToolMode::Compress
           : command == kDecompressImageCommand ? dialogs::ImageToolMode::Decompress
                                                : dialogs::ImageToolMode::Convert;
}

bool IsImageToolCommand(uint32_t id) { return id >= kCompressImageCommand && id <= kConvertImageCommand; }

}  // namespace

std::u16string InitialImageToolSource(uint32_t command) {
    const image::ImageContext* doc = image::g_CurrentDocument;
    if (!doc || doc->imagePath.empty() || doc->discSource) return {};
    if (command == kCompressImageCommand && (doc->formatCode == fc::kDaa || doc->formatCode == fc::kXdi)) return {};
    return doc->imagePath;
}

int RunImageTool(const std::u16string& source, const std::u16string& destination, int32_t format,
                 const std::string& password) {
    // The open document's unsaved changes are not in the file being read.
    const image::ImageContext* current = image::g_CurrentDocument;
    if (current && platform::EqualsNoCase(current->imagePath, source) && foundation::RequireSavedDocument() != 0)
        return -1;
    image::DocumentPtr doc(app::OpenImageByPath(source, false, true, false));
    if (!doc) return -1;
    app::ConvertOptions options;
    options.password = password;
    return app::ConvertImageFile(*doc, destination, format, &options);
}

void InstallImageToolCommands(CMainFrame& frame) {
    const CommandHandler* installed = HandlerOfGroup(CommandGroup::Tools);
    const CommandHandler previous = installed ? *installed : CommandHandler{};
    CommandHandler handler;
    handler.run = [&frame, previous](uint32_t id) {
        if (!IsImageToolCommand(id)) {
            if (previous.run) previous.run(id);
            return;
        }
        dialogs::ui::CImageToolDlg dialog(ModeOf(id), InitialImageToolSource(id), &frame);
        if (dialog.exec() != QDialog::Accepted) return;
        RunImageTool(dialog.Source(), dialog.Destination(), dialog.Format(), dialog.Password());
    };
    handler.enabled = [previous](uint32_t id) {
        if (IsImageToolCommand(id)) return true;
        return previous.run ? (!previous.enabled || previous.enabled(id)) : false;
    };
    handler.checked = [previous](uint32_t id) {
        return !IsImageToolCommand(id) && previous.checked && previous.checked(id);
    };
    InstallCommandHandler(CommandGroup::Tools, std::move(handler));
    QObject::connect(&frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::Tools, {}); });
}

}  // namespace app::ui
