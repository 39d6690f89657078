#include "app/startup_state.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/document_lifecycle.h"
#include "app/open_document.h"
#include "image/document/current_document.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {

void StartupFileStandIn::ParseStartupArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg.empty() || arg[0] == '-') continue;
        std::error_code error;
        std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(std::string(arg)), error);
        g_StartupFile = platform::Utf8ToUtf16(error ? std::string(arg) : full.lexically_normal().string());
        return;
    }
}

int StartupFileStandIn::RunStartupAction() {
    const std::u16string path = std::move(g_StartupFile);
    g_StartupFile.clear();
    // Opening a FIFO blocks until a writer comes, and a socket or character
    // device is no document: only regular files and block devices are opened.
    struct stat status {};
    if (stat(platform::Utf16ToUtf8(path).c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISBLK(status.st_mode)) {
        platform::SetLastErrorFromErrno(S_ISDIR(status.st_mode) ? EISDIR : ENXIO);
        ShowFileErrorMessage(path, nullptr);
        NewDefaultDocument();
        ClearDocumentModified();
        return -1;
    }
    if (!OpenFileCommand(path)) {
        // The open has told the user; the window still holds a document.
        if (image::g_CurrentDocument == nullptr) {
            NewDefaultDocument();
            ClearDocumentModified();
        }
    }
    return -1;
}

}  // namespace app
