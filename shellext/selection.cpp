#include "shellext/selection.h"

#include <array>

#include "foundation/settings.h"
#include "platform/text.h"

namespace shellext {
namespace {

constexpr std::array<std::u16string_view, 54> kArchiveExtensions = {
    u".zip", u".rar", u".7z",   u".mzp",   u".001", u".arj",     u".bz2", u".bzip2", u".cab", u".cpio", u".deb",
    u".gz",  u".gzip", u".lha", u".lzh",   u".rpm", u".split",   u".swm", u".tar",   u".taz", u".tbz",  u".tbz2",
    u".tgz", u".tpz", u".wim",  u".z",     u".iso", u".daa",     u".bin", u".cue",   u".mdf", u".mds",  u".ashdisc",
    u".bwi", u".b5i", u".lcd",  u".img",   u".cdi", u".cif",     u".p01", u".pdi",   u".isz", u".nrg",  u".ncd",
    u".pxi", u".gi",  u".fcd",  u".vcd",   u".c2d", u".dmg",     u".uif", u".hxi",   u".hxp", u".xdi"};

constexpr std::array<std::u16string_view, 26> kImageExtensions = {
    u".iso", u".daa", u".bin", u".cue", u".mdf", u".mds", u".ashdisc", u".bwi", u".b5i",
    u".lcd", u".img", u".cdi", u".cif", u".p01", u".pdi", u".nrg",     u".ncd", u".pxi",
    u".gi",  u".fcd", u".vcd", u".c2d", u".dmg", u".uif", u".xdi",     u".isz"};

// Where the extension's dot is, or npos.
size_t ExtensionDot(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    const size_t nameStart = slash == std::u16string_view::npos ? 0 : slash + 1;
    const size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos || dot <= nameStart) return std::u16string_view::npos;
    return dot;
}

}  // namespace

std::u16string WithoutTrailingSlash(std::u16string_view path) {
    while (path.size() > 1 && path.back() == u'/') path.remove_suffix(1);
    return std::u16string(path);
}

std::u16string ExtensionOf(std::u16string_view path) {
    const std::u16string clean = WithoutTrailingSlash(path);
    const size_t dot = ExtensionDot(clean);
    return dot == std::u16string::npos ? std::u16string() : platform::ToLower(std::u16string_view(clean).substr(dot));
}

bool IsArchiveExtension(std::u16string_view extension) {
    for (std::u16string_view e : kArchiveExtensions)
        if (e == extension) return true;
    return false;
}

bool IsImageExtension(std::u16string_view extension) {
    for (std::u16string_view e : kImageExtensions)
        if (e == extension) return true;
    return false;
}

std::u16string FolderOf(std::u16string_view path) {
    const std::u16string clean = WithoutTrailingSlash(path);
    const size_t slash = clean.rfind(u'/');
    if (slash == std::u16string::npos) return {};
    return slash == 0 ? std::u16string(u"/") : clean.substr(0, slash);
}

std::u16string WithoutExtension(std::u16string_view path) {
    const std::u16string clean = WithoutTrailingSlash(path);
    const size_t dot = ExtensionDot(clean);
    return dot == std::u16string::npos ? clean : clean.substr(0, dot);
}

std::u16string DefaultArchiveType() {
    static constexpr std::array<std::u16string_view, 4> kTypes = {u"zip", u"7z", u"mzp", u"iso"};
    uint32_t type = foundation::ReadSettingDword(u"DefaultFileType", 0);
    if (type >= kTypes.size()) type = 0;
    return std::u16string(kTypes[type]);
}

}  // namespace shellext
