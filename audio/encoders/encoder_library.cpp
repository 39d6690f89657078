#include "audio/encoders/encoder_library.h"

#include "foundation/settings.h"
#include "platform/text.h"

namespace audio::detail {

std::vector<std::string> EncoderLibraryCandidates(const std::string& name) {
    std::vector<std::string> candidates;
    std::string folder = platform::Utf16ToUtf8(foundation::GetInstallDir());
    if (!folder.empty()) {
        if (folder.back() != '/') folder += '/';
        candidates.push_back(folder + name);
    }
    candidates.push_back(name);
    return candidates;
}

std::mutex& LibraryLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace audio::detail
