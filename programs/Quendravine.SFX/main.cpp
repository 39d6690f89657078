// The self-extracting stub: the program that the writers put in front of an
// archive. It finds the archive behind itself through the end record at the
// end of its own file and extracts every file into a folder.
//
//   <self> [FOLDER] [--password TEXT]     FOLDER defaults to the current one

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

// Gives the password from the command line to the archive's question.
class PasswordFromArguments final : public image::IPasswordServices {
public:
    explicit PasswordFromArguments(std::string password) : password_(std::move(password)) {}
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        // Asked once: a wrong password is not asked for again.
        if (password_.empty() || asked_++ > 0 || password_.size() >= ctx->outputPassword.size()) return false;
        std::memset(ctx->outputPassword.data(), 0, ctx->outputPassword.size());
        std::memcpy(ctx->outputPassword.data(), password_.data(), password_.size());
        return true;
    }

private:
    std::string password_;
    int asked_ = 0;
};

std::string SelfPath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    path.resize(size_t(n));
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = ".";
    std::string password;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password" && i + 1 < argc) {
            password = argv[++i];
            // Every local user can read argv in /proc while the stub runs.
            std::memset(argv[i], 0, password.size());
        } else if (arg == "--help" || arg == "-h") {
            std::printf("usage: %s [FOLDER] [--password TEXT]\n", argv[0]);
            return 0;
        } else {
            folder = arg;
        }
    }
    const std::string self = SelfPath();
    if (self.empty()) {
        std::fprintf(stderr, "Cannot find this program's own file.\n");
        return 2;
    }
    app::InstallReaders();
    PasswordFromArguments answer(password);
    image::SetPasswordServices(&answer);
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(self), false, true, false));
    if (!doc || (doc->formatCode != image::format_code::kMzp && doc->formatCode != image::format_code::kDaa)) {
        std::fprintf(stderr, "No archive could be opened behind %s.\n", self.c_str());
        return 1;
    }
    const std::u16string destination = platform::Utf8ToUtf16(folder);
    if (!platform::DirectoryExists(destination) && !platform::CreateDirectoryAt(destination)) {
        std::fprintf(stderr, "Cannot create the folder %s.\n", folder.c_str());
        return 1;
    }
    app::ExtractRequest request;
    request.destination = destination;
    request.allFiles = true;
    const int result = app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr);
    doc.reset();
    image::SetPasswordServices(nullptr);
    app::UninstallReaders();
    return result == 1 ? 0 : 1;
}
