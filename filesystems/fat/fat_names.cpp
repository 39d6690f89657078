#include "filesystems/fat/fat_names.h"

#include <algorithm>
#include <cstring>

#include "filesystems/fat/fat_directory.h"
#include "filesystems/fat/fat_layout.h"
#include "foundation/byte_order.h"

namespace filesystems {

using namespace fat_layout;

namespace {

bool IsForbiddenInLongName(char16_t c) {
    return c < 0x20 || c == 0x7F || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos;
}

// Characters an 8.3 name keeps as they are (upper-cased); every other one
// becomes '_', blanks and dots inside the base are dropped.
bool IsShortNameChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') return true;
    if (c >= u'0' && c <= u'9') return true;
    return std::u16string_view(u"$%'-_@~`!(){}^#&").find(c) != std::u16string_view::npos;
}

char ShortChar(char16_t c) {
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    return IsShortNameChar(c) ? char(c) : '_';
}

std::string Key(const std::array<uint8_t, 11>& name) { return std::string(name.begin(), name.end()); }

}  // namespace

std::optional<std::u16string> PrepareLongName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxLongNameUnits) return std::nullopt;
    std::u16string stored(name);
    for (char16_t& c : stored) {
        if (IsForbiddenInLongName(c)) c = u'_';
    }
    return stored;
}

uint32_t LongNameEntryCount(size_t units) { return uint32_t((units + lfn::kUnitsPerEntry - 1) / lfn::kUnitsPerEntry); }

std::optional<std::array<uint8_t, 11>> MakeShortName(std::u16string_view longName,
                                                     const std::unordered_set<std::string>& taken) {
    // Leading dots belong to no extension (".profile" is a base name).
    size_t start = 0;
    while (start < longName.size() && longName[start] == u'.') ++start;
    std::u16string_view rest = longName.substr(start);
    const size_t dot = rest.rfind(u'.');
    std::u16string_view basePart = dot == std::u16string_view::npos ? rest : rest.substr(0, dot);
    std::u16string_view extPart = dot == std::u16string_view::npos ? std::u16string_view{} : rest.substr(dot + 1);
    std::string base;
    std::string extension;
    bool lossy = start > 0;
    for (char16_t c : basePart) {
        if (c == u' ' || c == u'.') {
            lossy = true;
            continue;
        }
        const char s = ShortChar(c);
        if (s == '_' && c != u'_') lossy = true;
        base.push_back(s);
    }
    for (char16_t c : extPart) {
        if (c == u' ' || c == u'.') {
            lossy = true;
            continue;
        }
        const char s = ShortChar(c);
        if (s == '_' && c != u'_') lossy = true;
        extension.push_back(s);
    }
    // Lower-case letters need the long name to keep their case.
    for (char16_t c : longName) {
        if (c >= u'a' && c <= u'z') lossy = true;
    }
    if (base.empty()) {
        base = "_";
        lossy = true;
    }
    if (base.size() > 8 || extension.size() > 3) lossy = true;
    if (extension.size() > 3) extension.resize(3);

    std::array<uint8_t, 11> name;
    const auto fill = [&](const std::string& b) {
        name.fill(' ');
        std::copy_n(b.begin(), std::min<size_t>(b.size(), 8), name.begin());
        std::copy_n(extension.begin(), extension.size(), name.begin() + 8);
        // A first byte 0xE5 would read as a deleted entry.
        if (name[0] == entry::kDeleted) name[0] = entry::kKanjiE5;
    };
    if (!lossy) {
        fill(base);
        if (!taken.count(Key(name))) return name;
    }
    for (uint32_t n = 1; n <= 999999; ++n) {
        const std::string tail = "~" + std::to_string(n);
        fill(base.substr(0, 8 - tail.size()) + tail);
        if (!taken.count(Key(name))) return name;
    }
    return std::nullopt;
}

void BuildLongNameEntries(FatDirectory& dir, uint32_t shortIndex, std::u16string_view name, uint8_t checksum) {
    const uint32_t count = LongNameEntryCount(name.size());
    // A name that fills its last entry exactly has no terminator; else a
    // 0x0000 follows it and 0xFFFF pads the entry.
    std::u16string padded(name);
    if (padded.size() % lfn::kUnitsPerEntry != 0) {
        padded.push_back(u'\0');
        while (padded.size() % lfn::kUnitsPerEntry != 0) padded.push_back(u'\xFFFF');
    }
    for (uint32_t k = 1; k <= count; ++k) {
        // Sequence 1 lies right in front of the 8.3 entry.
        uint8_t* e = dir.Entry(shortIndex - k);
        std::memset(e, 0, kEntryBytes);
        e[lfn::kSequence] = uint8_t(k | (k == count ? lfn::kLastFlag : 0));
        e[entry::kAttribute] = attr::kLongName;
        e[lfn::kType] = 0;
        e[lfn::kChecksum] = checksum;
        for (size_t u = 0; u < lfn::kUnitsPerEntry; ++u) {
            foundation::WriteLE16(e + lfn::kUnitOffsets[u], uint16_t(padded[(k - 1) * lfn::kUnitsPerEntry + u]));
        }
        dir.MarkEntryDirty(shortIndex - k);
    }
}

}  // namespace filesystems
