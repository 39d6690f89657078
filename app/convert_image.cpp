#include "app/convert_image.h"

#include <algorithm>
#include <cstring>

#include "app/save_engine.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/work_folder.h"
#include "image/detect/format_detect.h"

namespace app {

namespace fc = image::format_code;

bool FormatTakesArchiveOptions(int32_t format) {
    return format == fc::kXdi || format == fc::kDaa || format == fc::kMzp;
}

int ConvertImageFile(image::ImageContext& source, std::u16string_view destination, int32_t format,
                     const ConvertOptions* options) {
    foundation::ResetOperationStatus();
    if (options) {
        const bool takes = FormatTakesArchiveOptions(
            format == -1 ? image::GetFormatByExtension(image::GetFileExtension(destination)) : format);
        source.splitOutput = takes && options->split;
        source.volumeSize = source.splitOutput ? options->volumeSize : 0;
        source.outputPassword.fill(0);
        source.writePassword.fill(0);
        const bool password = takes && !options->password.empty() &&
                              options->password.size() < source.writePassword.size();
        source.passwordEnabled = password;
        source.encryptionWanted = password;
        if (password) {
            std::memcpy(source.writePassword.data(), options->password.data(), options->password.size());
            source.outputPassword = source.writePassword;
        }
    }
    // A folder that cannot be made fails now, not after the whole image was
    // read and compressed.
    if (!foundation::CreateDirectoryPath(destination)) {
        const size_t slash = destination.find_last_of(u'/');
        foundation::ShowLastError(destination.substr(0, slash == std::u16string_view::npos ? 0 : slash));
        foundation::OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    return SaveDocument(source, destination, format, nullptr) == 0 ? 0 : -1;
}

}  // namespace app
