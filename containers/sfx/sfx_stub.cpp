#include "containers/sfx/sfx_stub.h"

#include "foundation/file_io.h"
#include "foundation/settings.h"

namespace containers {

namespace {
constexpr int64_t kMaxStubBytes = int64_t(256) << 20;
}

std::optional<std::vector<uint8_t>> ReadSfxStub() {
    std::u16string folder = foundation::GetInstallDir();
    if (folder.empty()) return std::nullopt;
    if (folder.back() != u'/') folder += u'/';
    foundation::UniqueFile file(foundation::OpenFileForRead(folder + kSfxStubName));
    if (!file) return std::nullopt;
    const int64_t size = foundation::GetFileSize64(file.get());
    if (size <= 0 || size > kMaxStubBytes) return std::nullopt;
    std::vector<uint8_t> stub(static_cast<size_t>(size), 0);
    if (foundation::ReadFileAtCount(file.get(), stub.data(), 0, stub.size()) != size) return std::nullopt;
    return stub;
}

}  // namespace containers
