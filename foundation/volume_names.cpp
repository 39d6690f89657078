#include "foundation/volume_names.h"

#include <algorithm>

#include "foundation/name_lookup.h"
#include "foundation/paths.h"
#include "platform/file.h"
#include "platform/text.h"

namespace foundation {
namespace {

constexpr std::u16string_view kPartWord = u".part";
constexpr std::u16string_view kProgramExtension = u"exe";

size_t LeafStart(std::u16string_view name) {
    const size_t slash = name.rfind(kPathSeparator);
    return slash == std::u16string_view::npos ? 0 : slash + 1;
}

// The extension without its dot, and where the dot is; nothing for a name without one.
struct Extension {
    size_t dot = 0;
    std::u16string_view text;
};
std::optional<Extension> ExtensionOf(std::u16string_view name) {
    const size_t dot = FindExtensionDot(name);
    if (dot == std::u16string_view::npos) return std::nullopt;
    return Extension{dot, name.substr(dot + 1)};
}

bool Takes(const VolumeStyle& style, std::u16string_view extension) {
    return style.extensions.empty() ||
           std::any_of(style.extensions.begin(), style.extensions.end(),
                       [&](std::u16string_view e) { return platform::EqualsNoCase(e, extension); });
}

std::optional<std::u16string> PartWordName(std::u16string_view first, const VolumeStyle& style, uint32_t index) {
    const std::optional<Extension> ext = ExtensionOf(first);
    const std::optional<PartNumber> number = FindPartNumber(first);
    if (!ext || !Takes(style, ext->text) || !number || number->digits != style.digits) return std::nullopt;
    const std::optional<std::u16string> digits = FixedDigits(uint64_t(index) + 1, style.digits);
    if (!digits) return std::nullopt;
    std::u16string name(first);
    name.replace(number->at, number->digits, *digits);
    // A self-extracting volume 0 is a program; the volumes after it are data.
    if (index >= 1 && !style.extensions.empty() && platform::EqualsNoCase(ext->text, kProgramExtension))
        name.replace(ext->dot + 1, std::u16string::npos, style.extensions.front());
    return name;
}

std::optional<std::u16string> ExtensionName(std::u16string_view first, const VolumeStyle& style, uint32_t index) {
    const std::optional<Extension> ext = ExtensionOf(first);
    if (!ext || !Takes(style, ext->text) || ext->text.size() != size_t(style.digits) + 1) return std::nullopt;
    if (index == 0) return std::u16string(first);
    const std::optional<std::u16string> digits = FixedDigits(uint64_t(index) - 1 + style.volumeOneNumber, style.digits);
    if (!digits) return std::nullopt;
    std::u16string name(first);
    name.replace(name.size() - style.digits, style.digits, *digits);
    return name;
}

std::optional<std::u16string> FirstByPartWord(std::u16string_view any, const VolumeStyle& style) {
    const std::optional<Extension> ext = ExtensionOf(any);
    const std::optional<PartNumber> number = FindPartNumber(any);
    if (!ext || !Takes(style, ext->text) || !number || number->digits != style.digits) return std::nullopt;
    std::u16string name(any);
    name.replace(number->at, number->digits, *FixedDigits(1, style.digits));
    return name;
}

// x.d05 of a set whose extensions are daa and hxi is volume 6 of x.daa: the
// letter left of the number is the first letter of volume 0's extension.
std::optional<std::u16string> FirstByExtension(std::u16string_view any, const VolumeStyle& style) {
    const std::optional<Extension> ext = ExtensionOf(any);
    if (!ext || ext->text.size() != size_t(style.digits) + 1 ||
        !std::all_of(ext->text.begin() + 1, ext->text.end(), platform::IsAsciiDigit))
        return std::nullopt;
    for (std::u16string_view candidate : style.extensions) {
        if (candidate.empty() || platform::ToLowerChar(candidate.front()) != platform::ToLowerChar(ext->text.front()))
            continue;
        std::u16string name(any.substr(0, ext->dot + 1));
        name += candidate;
        return name;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::u16string> FixedDigits(uint64_t number, size_t width) {
    std::u16string text(width, u'0');
    for (size_t i = width; i > 0; --i, number /= 10) text[i - 1] = char16_t(u'0' + number % 10);
    if (number != 0) return std::nullopt;
    return text;
}

std::optional<PartNumber> FindPartNumber(std::u16string_view name) {
    const size_t leaf = LeafStart(name);
    const size_t dot = FindExtensionDot(name);
    if (dot == std::u16string_view::npos || dot < leaf) return std::nullopt;
    size_t start = dot;
    while (start > leaf && platform::IsAsciiDigit(name[start - 1])) --start;
    if (start == dot || start - leaf < kPartWord.size() ||
        !platform::EqualsNoCase(name.substr(start - kPartWord.size(), kPartWord.size()), kPartWord))
        return std::nullopt;
    return PartNumber{start, dot - start};
}

std::u16string FirstVolumeName(std::u16string_view path, const VolumeStyle& style) {
    std::u16string part;
    if (style.numbering == VolumeNumbering::PartWord) part = std::u16string(kPartWord) + *FixedDigits(1, style.digits);
    const std::optional<Extension> ext = ExtensionOf(path);
    if (ext && Takes(style, ext->text)) return std::u16string(path.substr(0, ext->dot)) + part + u"." + std::u16string(ext->text);
    std::u16string name = std::u16string(path) + part;
    if (!style.extensions.empty()) name += u"." + std::u16string(style.extensions.front());
    return name;
}

std::optional<std::u16string> VolumeName(std::u16string_view first, const VolumeStyle& style, uint32_t index) {
    return style.numbering == VolumeNumbering::PartWord ? PartWordName(first, style, index)
                                                        : ExtensionName(first, style, index);
}

std::u16string FirstVolumeOf(std::u16string_view anyVolume, std::span<const VolumeStyle> styles) {
    for (const VolumeStyle& style : styles) {
        const std::optional<std::u16string> first = style.numbering == VolumeNumbering::PartWord
                                                        ? FirstByPartWord(anyVolume, style)
                                                        : FirstByExtension(anyVolume, style);
        if (first) return *first;
    }
    return std::u16string(anyVolume);
}

std::u16string FindFirstVolume(std::u16string_view anyVolume, std::span<const VolumeStyle> styles) {
    const std::u16string first = FirstVolumeOf(anyVolume, styles);
    const std::u16string found = ResolvePathNoCase(first);
    if (platform::FileExists(found)) return found;
    const bool program = std::any_of(styles.begin(), styles.end(), [](const VolumeStyle& style) {
        return std::find(style.extensions.begin(), style.extensions.end(), kProgramExtension) != style.extensions.end();
    });
    const std::optional<Extension> ext = ExtensionOf(first);
    if (!program || !ext) return first;
    const std::u16string programPath = ResolvePathNoCase(first.substr(0, ext->dot + 1) + std::u16string(kProgramExtension));
    return platform::FileExists(programPath) ? programPath : first;
}

}  // namespace foundation
