#include "audio/encoders/encoder_library.h"

#include "foundation/settings.h"
#include "platform/text.h"

namespace audio::detail {

bool LoadedLibrary::Open(const std::string& name) {
    Close();
    std::string folder = platform::Utf16ToUtf8(foundation::GetInstallDir());
    if (!folder.empty()) {
        if (folder.back() != '/') folder += '/';
        handle_ = ::dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_) handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void LoadedLibrary::Close() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

std::mutex& LibraryLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace audio::detail
