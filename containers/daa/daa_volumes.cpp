// Volume files of a DAA/HXI image: their names and the joint address space
// that runs through them.

#include <algorithm>
#include <cstring>

#include "containers/daa/daa_container.h"
#include "foundation/dialog_services.h"
#include "foundation/operation_status.h"
#include "foundation/paths.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser_names.h"
#include "platform/text.h"

namespace containers {
namespace {

std::u16string Digits(int value, int width) {
    std::u16string out(size_t(width), u'0');
    for (int i = width - 1; i >= 0; --i, value /= 10) out[size_t(i)] = char16_t(u'0' + value % 10);
    return out;
}

bool AllDigits(std::u16string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), platform::IsAsciiDigit);
}

// The name as given when it exists, else a name of its folder equal without case.
std::u16string ResolveNoCase(const std::u16string& path) {
    const std::u16string folder = foundation::FolderOfPath(path);
    const std::u16string found = image::FindNameNoCase(folder, foundation::NameOfPath(path));
    return found.empty() ? path : foundation::CombinePath(folder, found);
}

platform::FileHandle VolumeHandle(DaaContainer& c, size_t volume) {
    if (volume == 0) return c.image->imageHandle.get();
    if (c.volumeFileIndex != int32_t(volume)) {
        c.volumeFile.reset();
        c.volumeFileIndex = -1;
        platform::FileHandle file = foundation::OpenFileForRead(ResolveNoCase(c.volumeNames[volume]));
        if (!file) file = foundation::RequestVolume(&c, int32_t(volume));
        if (!file) return nullptr;
        c.volumeFile.reset(file);
        c.volumeFileIndex = int32_t(volume);
    }
    return c.volumeFile.get();
}

}  // namespace

std::u16string GetDaaVolumeName(std::u16string_view name, int32_t n, int32_t style) {
    const std::u16string lower = platform::ToLower(name);
    if (lower.size() < 4 || lower[lower.size() - 4] != u'.') return {};
    const std::u16string_view ext = std::u16string_view(lower).substr(lower.size() - 3);
    if (ext != u"daa" && ext != u"hxi" && ext != u"exe") return {};
    std::u16string out(name);
    if (style == 2) {
        if (n >= 1) out.replace(out.size() - 2, 2, Digits(n - 1, 2));
        return out;
    }
    const size_t digits = style == 1 ? 3 : style == 0 ? 2 : 0;
    if (digits == 0 || lower.size() < 9 + digits) return {};
    const size_t dot = lower.size() - 9 - digits;   // ".partNN.ext"
    if (lower.compare(dot, 5, u".part") != 0 || !AllDigits(std::u16string_view(lower).substr(dot + 5, digits)))
        return {};
    out.replace(dot + 5, digits, Digits(n + 1, int(digits)));
    if (n >= 1 && ext == u"exe") out.replace(out.size() - 3, 3, u"daa");
    return out;
}

std::u16string FindFirstDaaVolume(std::u16string_view name) {
    const std::u16string lower = platform::ToLower(name);
    const size_t dot = lower.rfind(u'.');
    if (dot == std::u16string::npos) return std::u16string(name);
    const std::u16string_view ext = std::u16string_view(lower).substr(dot + 1);
    std::u16string out(name);
    if (ext.size() == 3 && (ext[0] == u'd' || ext[0] == u'h') && AllDigits(ext.substr(1))) {
        out.replace(dot + 1, 3, ext[0] == u'd' ? u"daa" : u"hxi");
        return out;
    }
    if (ext != u"daa" && ext != u"hxi") return out;
    const size_t before = lower.rfind(u'.', dot == 0 ? 0 : dot - 1);
    if (before == std::u16string::npos) return out;
    const std::u16string_view part = std::u16string_view(lower).substr(before + 1, dot - before - 1);
    if (part.size() >= 6 && part.size() <= 7 && part.substr(0, 4) == u"part" && AllDigits(part.substr(4)))
        out.replace(before + 5, part.size() - 4, part.size() == 6 ? u"01" : u"001");
    return out;
}

bool IsDaaVolumeHeader(const uint8_t* bytes, size_t length) {
    return length >= 8 && (std::memcmp(bytes, "DAA VOL", 8) == 0 || std::memcmp(bytes, "HXI VOL", 8) == 0);
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
