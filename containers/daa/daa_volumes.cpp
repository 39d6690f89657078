// Volume files of a DAA/HXI image: their names and the joint address space
// that runs through them.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "containers/daa/daa_container.h"
#include "containers/daa/daa_volume_services.h"
#include "foundation/name_lookup.h"
#include "foundation/operation_status.h"
#include "foundation/volume_names.h"
#include "image/document/image_context.h"

namespace containers {
namespace {

constexpr std::u16string_view kExtensions[] = {u"daa", u"hxi", u"exe"};
// Style 0: x.part01.daa ...; style 1: x.part001.daa ...; style 2: x.daa, x.d00, x.d01 ...
constexpr foundation::VolumeStyle kVolumeStyles[] = {
    {foundation::VolumeNumbering::PartWord, 2, 1, kExtensions},
    {foundation::VolumeNumbering::PartWord, 3, 1, kExtensions},
    {foundation::VolumeNumbering::Extension, 2, 0, kExtensions},
};

platform::FileHandle VolumeHandle(DaaContainer& c, size_t volume) {
    if (volume == 0) return c.image->imageHandle.get();
    if (c.volumeFileIndex != int32_t(volume)) {
        c.volumeFile.reset();
        c.volumeFileIndex = -1;
        platform::FileHandle file = foundation::OpenFileForRead(foundation::ResolvePathNoCase(c.volumeNames[volume]));
        if (!file) file = RequestVolume(&c, int32_t(volume));
        if (!file) return nullptr;
        c.volumeFile.reset(file);
        c.volumeFileIndex = int32_t(volume);
    }
    return c.volumeFile.get();
}

}  // namespace

std::u16string GetDaaVolumeName(std::u16string_view name, int32_t n, int32_t style) {
    if (style < 0 || style > 2 || n < 0) return {};
    return foundation::VolumeName(name, kVolumeStyles[style], uint32_t(n)).value_or(std::u16string());
}

std::u16string GetDaaFirstVolumeName(std::u16string_view path, int32_t style) {
    // Any style but the numbered ones keeps the name whole, as style 2.
    return foundation::FirstVolumeName(path, kVolumeStyles[style == 0 || style == 1 ? style : 2]);
}

std::u16string FindFirstDaaVolume(std::u16string_view name) { return foundation::FirstVolumeOf(name, kVolumeStyles); }

std::u16string LocateFirstDaaVolume(std::u16string_view path) { return foundation::FindFirstVolume(path, kVolumeStyles); }

bool IsDaaVolumeHeader(const uint8_t* bytes, size_t length) {
    return length >= 8 && (std::memcmp(bytes, "DAA VOL", 8) == 0 || std::memcmp(bytes, "HXI VOL", 8) == 0);
}

std::u16string GetDaaArchiveName(const DaaContainer& c) {
    const std::u16string& name = c.image ? c.image->imagePath : std::u16string();
    // The volume part and extension each style puts at the end of the name:
    // ".part01.daa" less its '.', ".part001.daa" likewise, the extension.
    const size_t cut = c.namingStyle == 0 ? 10 : c.namingStyle == 1 ? 11 : 3;
    if (name.size() <= cut) return name;
    return name.substr(0, name.size() - cut) + u"daa";
}

bool OpenDaaVolumes(DaaContainer& c) {
    if (!c.image) return false;
    // A handle kept from an earlier read proves nothing about the file now.
    c.volumeFile.reset();
    c.volumeFileIndex = -1;
    bool all = true;
    for (size_t n = 1; n < c.volumeNames.size(); ++n) {
        if (!VolumeHandle(c, n)) all = false;
    }
    return all;
}

bool ReadDaaStored(DaaContainer& c, uint8_t* destination, uint64_t offset, uint64_t length) {
    while (length != 0) {
        // The volume holding the offset, and where in its file.
        size_t volume = c.volumeStarts.size();
        for (size_t i = 0; i < c.volumeStarts.size(); ++i) {
            const uint64_t share = i == 0 ? c.volumeSizes[i] - VolumeZeroTrailer(c, c.volumeSizes[i])
                                          : c.volumeSizes[i] - daa::kVolumeDataOffset;
            if (offset >= c.volumeStarts[i] && offset - c.volumeStarts[i] < share) {
                volume = i;
                break;
            }
        }
        if (volume == c.volumeStarts.size()) {
            c.lastError = DaaReadError::Short;
            return false;
        }
        const uint64_t inside = offset - c.volumeStarts[volume];
        const uint64_t share = volume == 0 ? c.volumeSizes[0] - VolumeZeroTrailer(c, c.volumeSizes[0])
                                           : c.volumeSizes[volume] - daa::kVolumeDataOffset;
        const uint64_t n = std::min(length, share - inside);
        platform::FileHandle file = VolumeHandle(c, volume);
        if (!file) {
            foundation::SetCurrentFileName(c.volumeNames[volume]);
            c.lastError = DaaReadError::Read;
            return false;
        }
        const int64_t got = foundation::ReadFileAtCount(file, destination, inside + (volume == 0 ? 0 : daa::kVolumeDataOffset),
                                                        size_t(n));
        if (got != int64_t(n)) {
            c.lastError = got < 0 ? DaaReadError::Read : DaaReadError::Short;
            return false;
        }
        destination += n;
        offset += n;
        length -= n;
    }
    return true;
}

}  // namespace containers
