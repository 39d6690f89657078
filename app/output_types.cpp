#include "app/output_types.h"

#include <array>

#include "app/save_engine.h"
#include "foundation/file_filters.h"
#include "foundation/paths.h"
#include "image/detect/format_detect.h"
#include "image/document/image_context.h"
#include "platform/format.h"
#include "platform/text.h"

namespace app {
namespace {

namespace fc = image::format_code;

struct WritableType {
    std::u16string_view suffix;
    int32_t format;
};

constexpr std::array<WritableType, 7> kWritableTypes{{
    {u"iso", fc::kIso},
    {u"bin", fc::kBin},
    {u"daa", fc::kDaa},
    {u"xdi", fc::kXdi},
    {u"mzp", fc::kMzp},
    {u"zip", fc::kArchive},
    {u"7z", fc::kArchive},
}};

// Types we read that are not in the open dialog's list but that a user may
// still name as a target: sheets and descriptors of other programs' images,
// and virtual machine disks.
constexpr std::array<std::u16string_view, 10> kOtherReadTypes{
    u"ccd", u"sub", u"toc", u"vhd", u"vhdx", u"vmdk", u"vdi", u"qcow2", u"hdd", u"esd"};

bool InPatternList(std::u16string_view patterns, std::u16string_view extension) {
    while (!patterns.empty()) {
        const size_t end = patterns.find(u';');
        std::u16string_view one = patterns.substr(0, end);
        if (one.size() > 2 && one.substr(0, 2) == u"*." && one.substr(2) == extension) return true;
        if (end == std::u16string_view::npos) break;
        patterns.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace

std::u16string WritableTypesText() {
    std::u16string text;
    for (const WritableType& t : kWritableTypes) {
        if (!text.empty()) text += u", ";
        text += u".";
        text += t.suffix;
    }
    return text;
}

bool IsUnwritableImageSuffix(std::u16string_view extension) {
    if (extension.empty()) return false;
    const std::u16string lower = platform::ToLower(extension);
    for (const WritableType& t : kWritableTypes)
        if (lower == t.suffix) return false;
    // DAA under its other names; a plain sector dump under ".img" stays the
    // ISO image it has always been.
    if (lower == u"hxi" || lower == u"exe" || lower == u"img") return false;
    if (InPatternList(foundation::kAllSupportedPatterns, lower)) return true;
    for (std::u16string_view other : kOtherReadTypes)
        if (lower == other) return true;
    return false;
}

std::u16string OutputTypeRefusal(std::u16string_view path, int32_t format) {
    const std::u16string extension = image::GetFileExtension(path);
    if (format == -1 && IsUnwritableImageSuffix(extension)) {
        return platform::Format(u"Files of type \".%s\" cannot be written. The types that can be written are: %s.",
                                extension, WritableTypesText());
    }
    const int32_t chosen = format == -1 ? image::GetFormatByExtension(extension) : format;
    if (chosen != -1 && chosen != 3 && GetDocumentWriter(chosen) == nullptr) {
        return platform::Format(u"Files of this type cannot be written. The types that can be written are: %s.",
                                WritableTypesText());
    }
    return {};
}

std::u16string WithOutputSuffix(std::u16string_view path, int32_t format, int32_t archiveKind) {
    if (!image::GetFileExtension(path).empty()) return std::u16string(path);
    const size_t slash = path.find_last_of(u'/');
    // A path that ends in a folder separator names no file to give a suffix.
    if (slash != std::u16string_view::npos && slash + 1 == path.size()) return std::u16string(path);
    const int32_t chosen = format == -1 || format == 3 ? fc::kIso : format;
    std::u16string named = foundation::ChangeExtensionForFormat(path, chosen, archiveKind);
    return named.empty() ? std::u16string(path) : named;
}

}  // namespace app
