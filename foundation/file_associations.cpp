#include "foundation/file_associations.h"

#include <array>

#include "foundation/settings.h"
#include "platform/text.h"

namespace foundation {
namespace {

constexpr std::array<std::u16string_view, 57> kExtensions{
    u".zip", u".rar",  u".7z",   u".mzp", u".iso",   u".xdi",  u".001",  u".arj",  u".bz2", u".bzip2",
    u".cab", u".cpio", u".deb",  u".gz",  u".gzip",  u".lha",  u".lzh",  u".rpm",  u".split", u".swm",
    u".tar", u".taz",  u".tbz",  u".tbz2", u".tgz",  u".tpz",  u".wim",  u".z",    u".daa", u".bin",
    u".cue", u".mdf",  u".mds",  u".hxi", u".hxp",   u".ashdisc", u".bwi", u".b5i", u".lcd", u".img",
    u".cdi", u".cif",  u".p01",  u".pdi", u".nrg",   u".ncd",  u".pxi",  u".gi",   u".fcd", u".vcd",
    u".c2d", u".dmg",  u".bif",  u".ima", u".flp",   u".uif",  u".isz",
};

}  // namespace

std::span<const std::u16string_view> AssociationExtensions() { return kExtensions; }

int FindAssociationRow(std::u16string_view extension) {
    for (size_t i = 0; i < kExtensions.size(); ++i)
        if (platform::EqualsNoCase(kExtensions[i], extension)) return int(i);
    return -1;
}

std::vector<std::u16string> ApplyAssociations(std::u16string_view flags) {
    std::vector<std::u16string> failed;
    const size_t end = flags.find(u'\0');
    if (end != std::u16string_view::npos) flags = flags.substr(0, end);
    if (flags.empty()) return failed;
    if (flags[0] == u'2') SetShellIntegration(true);
    if (flags[0] == u'1') SetShellIntegration(false);
    IFileAssociationServices& services = FileAssociationSlot().Get();
    for (size_t row = 0; row < kExtensions.size() && row + 1 < flags.size(); ++row) {
        const char16_t wish = flags[row + 1];
        if (wish != u'1' && wish != u'2') continue;
        if (!services.SetAssociation(kExtensions[row], wish == u'2')) failed.emplace_back(kExtensions[row]);
    }
    return failed;
}

std::optional<std::u16string> BuildAssociationFlags(bool integrationAtStart, bool integration,
                                                    std::span<const bool> rowsAtStart,
                                                    std::span<const bool> rowsChecked) {
    std::u16string flags(kExtensions.size() + 1, u'0');
    bool changed = false;
    if (integration != integrationAtStart) {
        flags[0] = integration ? u'2' : u'1';
        changed = true;
    }
    for (size_t row = 0; row < kExtensions.size() && row < rowsAtStart.size() && row < rowsChecked.size(); ++row) {
        if (rowsChecked[row] == rowsAtStart[row]) continue;
        flags[row + 1] = rowsChecked[row] ? u'2' : u'1';
        changed = true;
    }
    if (!changed) return std::nullopt;
    return flags;
}

}  // namespace foundation
