#include "optical/drive/drive_devices.h"

#include <sys/stat.h>

#include "platform/text.h"

namespace optical {

SrDriveDevices::SrDriveDevices(char16_t firstLetter, std::string folder) : firstLetter_(firstLetter) {
    if (firstLetter_ >= u'a' && firstLetter_ <= u'z') firstLetter_ = static_cast<char16_t>(firstLetter_ - u'a' + u'A');
    if (firstLetter_ < u'A' || firstLetter_ > u'Z') firstLetter_ = u'D';
    // sr numbers are dense from 0 as the kernel hands them out; a gap ends the list.
    for (int n = 0; n <= u'Z' - firstLetter_; ++n) {
        std::string path = folder + "/sr" + std::to_string(n);
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) break;
        devices_.push_back(path);
    }
}

std::u16string SrDriveDevices::DevicePath(char16_t letter) {
    if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
    if (letter < firstLetter_ || letter > u'Z') return {};
    size_t index = static_cast<size_t>(letter - firstLetter_);
    if (index >= devices_.size()) return {};
    return platform::Utf8ToUtf16(devices_[index]);
}

}  // namespace optical
