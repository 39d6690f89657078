#include "foundation/file_filters.h"

#include "foundation/language.h"
#include "foundation/paths.h"
#include "platform/text.h"

namespace foundation {

// "*.tbz2" is spelt with its dot: without it the pattern would also take names
// like "xtbz2".
const std::u16string_view kAllSupportedPatterns =
    u"*.zip;*.rar;*.7z;*.mzp;*.iso;*.xdi;*.001;*.arj;*.bz2;*.bzip2;*.cab;*.cpio;*.deb;*.gz;*.gzip;*.lha;"
    u"*.lzh;*.rpm;*.split;*.swm;*.tar;*.taz;*.tbz;*.tbz2;*.tgz;*.tpz;*.wim;*.z;*.daa;*.bin;*.cue;*.mdf;"
    u"*.mds;*.hxi;*.hxp;*.ashdisc;*.bwi;*.b5i;*.lcd;*.img;*.cdi;*.cif;*.p01;*.pdi;*.nrg;*.ncd;*.pxi;*.gi;"
    u"*.fcd;*.vcd;*.c2d;*.dmg;*.bif;*.ima;*.flp;*.uif;*.isz";
const std::u16string_view kAllArchivePatterns =
    u"*.zip;*.rar;*.7z;*.mzp;*.001;*.arj;*.bz2;*.bzip2;*.cab;*.cpio;*.deb;*.gz;*.gzip;*.lha;*.lzh;*.rpm;"
    u"*.split;*.swm;*.tar;*.taz;*.tbz;*.tbz2;*.tgz;*.tpz;*.wim;*.z";
const std::u16string_view kAllDiscImagePatterns =
    u"*.iso;*.xdi;*.daa;*.bin;*.cue;*.mdf;*.mds;*.hxi;*.hxp;*.ashdisc;*.bwi;*.b5i;*.lcd;*.img;*.cdi;*.cif;"
    u"*.p01;*.pdi;*.nrg;*.ncd;*.pxi;*.gi;*.fcd;*.vcd;*.c2d;*.dmg;*.bif;*.ima;*.flp;*.uif;*.isz";

namespace {

struct FilterEntry {
    uint32_t stringId;
    std::u16string_view english;
    std::u16string_view pattern;
};

constexpr FilterEntry kAllSupported{30730, u"All Supported Files", {}};
constexpr FilterEntry kZip{30780, u"Zip Archives", u"*.zip"};
constexpr FilterEntry kRar{30770, u"RAR Archives", u"*.rar"};
constexpr FilterEntry k7z{30790, u"7z Archives", u"*.7z"};
constexpr FilterEntry kMzp{30800, u"Mountable Archives", u"*.mzp"};
constexpr FilterEntry kAllArchives{30750, u"All Archives", {}};
constexpr FilterEntry kAllImages{30740, u"All CD/DVD/BD Image Files", {}};
constexpr FilterEntry kAllFiles{30720, u"All Files", u"*.*"};
constexpr FilterEntry kIso{30760, u"Standard ISO Images", u"*.iso"};
constexpr FilterEntry kBin{30801, u"BIN Image Files", u"*.bin"};
constexpr FilterEntry kXdi{30802, u"Extended Disc Image Files", u"*.xdi"};

void Append(FileFilterList& list, const FilterEntry& entry, std::u16string_view pattern = {}) {
    AppendFileFilter(list, GetLangString(entry.stringId, entry.english),
                     pattern.empty() ? entry.pattern : pattern);
}

FileFilterList Build(std::initializer_list<FilterEntry> entries) {
    FileFilterList list;
    for (const FilterEntry& entry : entries) Append(list, entry);
    return list;
}

std::u16string_view FirstPattern(std::u16string_view pattern) {
    return pattern.substr(0, pattern.find(u';'));
}

bool IsAnyExtension(std::u16string_view extension) { return extension == u"*"; }

}  // namespace

std::u16string FileFilter::Text() const {
    std::u16string text = description;
    text.append(u" (");
    text.append(pattern);
    text.push_back(u')');
    return text;
}

void AppendFileFilter(FileFilterList& list, std::u16string_view description, std::u16string_view pattern) {
    list.push_back(FileFilter{std::u16string(description), std::u16string(pattern)});
}

FileFilterList BuildOpenDialogFilter() {
    FileFilterList list;
    Append(list, kAllSupported, kAllSupportedPatterns);
    Append(list, kZip);
    Append(list, kRar);
    Append(list, k7z);
    Append(list, kMzp);
    Append(list, kAllArchives, kAllArchivePatterns);
    Append(list, kAllImages, kAllDiscImagePatterns);
    Append(list, kAllFiles);
    return list;
}

FileFilterList BuildImageFileFilter() {
    FileFilterList list;
    Append(list, kAllImages, kAllDiscImagePatterns);
    Append(list, kAllFiles);
    return list;
}

FileFilterList BuildSaveArchiveFilter() { return Build({kZip, k7z, kMzp, kIso, kXdi}); }
FileFilterList BuildIsoFilter() { return Build({kIso}); }
FileFilterList BuildZipFilter() { return Build({kZip}); }
FileFilterList Build7zFilter() { return Build({k7z}); }
FileFilterList BuildMzpFilter() { return Build({kMzp}); }
FileFilterList BuildAllFilesFilter() { return Build({kAllFiles}); }
FileFilterList BuildBinFilter() { return Build({kBin}); }
FileFilterList BuildXdiFilter() { return Build({kXdi}); }

std::u16string ToWindowsFilterString(const FileFilterList& list) {
    std::u16string text;
    for (const FileFilter& filter : list) {
        text.append(filter.Text());
        text.push_back(u'\0');
        text.append(filter.pattern);
        text.push_back(u'\0');
    }
    text.push_back(u'\0');
    if (list.empty()) text.push_back(u'\0');
    return text;
}

std::u16string ToQtFilterText(const FileFilter& filter) {
    std::u16string text = filter.description;
    text.append(u" (");
    std::u16string_view rest = filter.pattern;
    bool first = true;
    while (!rest.empty()) {
        const size_t end = rest.find(u';');
        std::u16string_view one = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
        if (one.empty()) continue;
        if (!first) text.push_back(u' ');
        text.append(one == u"*.*" ? u"*" : one);
        first = false;
    }
    text.push_back(u')');
    return text;
}

std::u16string ToQtFilterString(const FileFilterList& list) {
    std::u16string text;
    for (const FileFilter& filter : list) {
        if (!text.empty()) text.append(u";;");
        text.append(ToQtFilterText(filter));
    }
    return text;
}

std::u16string FilterExtension(const FileFilter& filter) {
    const std::u16string_view first = FirstPattern(filter.pattern);
    const size_t dot = first.rfind(u'.');
    if (dot == std::u16string_view::npos) return u"*";
    return std::u16string(first.substr(dot + 1));
}

size_t FindFilterForExtension(const FileFilterList& list, std::u16string_view defaultExtension) {
    if (!defaultExtension.empty() && defaultExtension.front() == u'.') defaultExtension.remove_prefix(1);
    for (size_t i = 0; i < list.size(); ++i) {
        if (platform::EqualsNoCase(FilterExtension(list[i]), defaultExtension)) return i;
    }
    return 0;
}

std::u16string ApplyFilterExtension(std::u16string_view name, const FileFilter& filter) {
    const std::u16string extension = FilterExtension(filter);
    if (name.empty() || IsAnyExtension(extension) || extension.empty()) return std::u16string(name);
    return ChangeFileExtension(name, extension, MissingExtension::Append);
}

std::u16string CompleteSavedName(std::u16string_view name, const FileFilter& filter) {
    const std::u16string_view first = FirstPattern(filter.pattern);
    if (first.empty() || first.back() == u'*' || first == u".*") return std::u16string(name);
    const std::u16string extension = FilterExtension(filter);
    std::u16string dotted = u"." + extension;
    if (platform::EndsWithNoCase(name, dotted)) return std::u16string(name);
    std::u16string result(name);
    result.append(dotted);
    return result;
}

}  // namespace foundation
