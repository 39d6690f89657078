#include "image/iso/iso_names.h"

#include <algorithm>

#include "platform/text.h"

namespace image {
namespace {

constexpr size_t kLongNameMaxChars = 255;
constexpr size_t kAnsiNameMaxBytes = 256;
constexpr uint32_t kHashMix = 0x8008;

// Joliet forbids the control characters and * / : ; ? \ in identifiers.
bool IsJolietForbidden(char16_t c) {
    return c < 0x20 || c == u'*' || c == u'/' || c == u':' || c == u';' || c == u'?' || c == u'\\';
}

uint32_t Mix(uint32_t h, int32_t value) { return (h >> 3) + h * kHashMix + uint32_t(value); }

bool IsDbcsCodePage(uint32_t codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// Bytes of the character that starts at i. Double-byte code pages have lead
// bytes from 0x80 on; UTF-8 has its own lengths; in every other code page a
// byte is a character, so cutting never splits one there.
size_t CharBytesAt(std::string_view s, size_t i, uint32_t codePage) {
    uint8_t b = uint8_t(s[i]);
    size_t n = 1;
    if (b >= 0x80) {
        if (IsDbcsCodePage(codePage)) n = 2;
        else if (codePage == platform::kCodePageUtf8) n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    }
    return std::min(n, s.size() - i);
}

// Converts to the ANSI code page; characters the code page lacks become "_"
// (the whole name is never lost to one such character).
std::string ToAnsi(std::u16string_view text) {
    std::string out;
    bool lost = false;
    if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi, text, out, &lost)) return {};
    if (!lost) return out;
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        size_t n = (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size()) ? 2 : 1;
        std::string piece;
        bool pieceLost = false;
        if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi, text.substr(i, n), piece, &pieceLost) || pieceLost)
            piece = "_";
        out += piece;
        i += n - 1;
    }
    return out;
}

std::string Digits(uint32_t n) { return std::to_string(n); }

// "base~N.ext" with base cut so that the whole stays within limit units.
// extCounted: the room the extension takes (8.3 names count it as 4 bytes
// however short it is, so that the base with its "~N" stays within 8).
template <typename String, typename CharLength>
String NumberedName(const String& base, String ext, uint32_t number, size_t limit, bool cutExtension,
                    size_t extCounted, CharLength charLength) {
    std::string digits = Digits(number);
    size_t d = digits.size();
    if (cutExtension && limit > d + 4 && ext.size() >= limit - d - 4) ext.resize(limit - d - 4);
    const size_t extRoom = std::max(ext.size(), extCounted);
    size_t taken = 0;
    while (taken < base.size() && d + extRoom + 1 + taken < limit) {
        size_t n = charLength(base, taken);
        if (d + extRoom + 1 + taken + n > limit) break;   // a character is taken whole or not at all
        taken += n;
    }
    String out = base.substr(0, taken);
    out.push_back('~');
    for (char c : digits) out.push_back(typename String::value_type(c));
    out += ext;
    return out;
}

struct SplitName {
    std::string base, ext;
};

SplitName SplitAtLastDot(const std::string& s) {
    size_t dot = s.rfind('.');
    if (dot == std::string::npos) return {s, {}};
    return {s.substr(0, dot), s.substr(dot)};
}

std::string PrepareAnsi(std::u16string_view longName, const IsoNameOptions& options) {
    std::u16string name(longName.substr(0, kLongNameMaxChars));
    std::replace(name.begin(), name.end(), u';', u'_');
    if (!options.allowLowerCase) name = platform::ToUpper(name);
    std::string ansi = ToAnsi(name);
    if (ansi.size() > kAnsiNameMaxBytes) ansi.resize(kAnsiNameMaxBytes);
    return ansi;
}

}  // namespace

uint32_t IsoNameHash(std::string_view isoIdentifier) {
    uint32_t h = 0;
    for (char c : isoIdentifier) {
        if (c == '\0' || c == ';') break;
        h = Mix(h, int32_t(static_cast<signed char>(c)));
    }
    return h;
}

uint32_t WideNameHash(std::u16string_view text) {
    uint32_t h = 0;
    for (char16_t c : text) {
        if (c >> 8) h = Mix(h, int32_t(c >> 8));
        if (c & 0xFF) h = Mix(h, int32_t(c & 0xFF));
    }
    return h;
}

bool IsoNameFits(std::u16string_view longName, const IsoNameOptions& options) {
    std::string ansi = PrepareAnsi(longName, options);
    if (ansi.empty()) return false;
    if (options.limit == 12) {
        SplitName s = SplitAtLastDot(ansi);
        if (options.isFolder && !s.ext.empty()) return false;
        return s.base.size() <= 8 && s.ext.size() <= 4 && s.base.find('.') == std::string::npos;
    }
    return ansi.size() <= size_t(options.limit);
}

std::string BuildIsoName(std::u16string_view longName, const IsoNameOptions& options,
                         std::optional<uint32_t> number) {
    if (longName == u".") return std::string(1, '\0');
    if (longName == u"..") return std::string(1, '\1');
    std::string ansi = PrepareAnsi(longName, options);
    if (ansi.empty()) return {};
    const uint32_t codePage = platform::AnsiCodePage();
    const size_t limit = size_t(std::max(options.limit, 12));
    SplitName s = SplitAtLastDot(ansi);
    bool numbered = number.has_value();
    size_t extCounted = s.ext.size();
    if (limit == 12) {
        if (options.isFolder && !s.ext.empty()) {
            s.ext.clear();
            numbered = true;
        } else if (s.ext.size() > 4) {
            s.ext.resize(4);
            numbered = true;
        } else {
            extCounted = 4;
            size_t dot = s.base.find('.');
            if (dot != std::string::npos) {
                s.base.resize(dot);
                numbered = true;
            }
        }
    }
    std::string out;
    if (!numbered && s.base.size() + extCounted <= limit) {
        out = s.base + s.ext;
    } else {
        auto charLength = [codePage](const std::string& text, size_t i) { return CharBytesAt(text, i, codePage); };
        out = NumberedName(s.base, s.ext, number.value_or(0), limit, limit != 12, limit == 12 ? 4 : 0, charLength);
    }
    if (limit == 12) std::replace(out.begin(), out.end(), ' ', '_');
    return out;
}

std::u16string BuildJolietName(std::u16string_view longName, int32_t limit, std::optional<uint32_t> number,
                               bool replaceForbidden) {
    std::u16string name(longName.substr(0, kLongNameMaxChars + 1));
    // genisoimage and xorriso put "_" for the same characters; the caller's
    // uniqueness pass then numbers names that became equal.
    if (replaceForbidden) std::replace_if(name.begin(), name.end(), IsJolietForbidden, u'_');
    const size_t j = size_t(std::max(limit, 8));
    if (!number && name.size() <= j) return name;
    size_t dot = name.rfind(u'.');
    std::u16string base = dot == std::u16string::npos ? name : name.substr(0, dot);
    std::u16string ext = dot == std::u16string::npos ? std::u16string() : name.substr(dot);
    // A surrogate pair is one character: never cut between its halves.
    auto charLength = [](const std::u16string& text, size_t i) -> size_t {
        return (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size()) ? 2 : 1;
    };
    return NumberedName(base, ext, number.value_or(0), j, true, 0, charLength);
}

bool IsoRecordLess(std::string_view a, std::string_view b) {
    // "." (0x00) and ".." (0x01) come first by their byte values already.
    auto rank = [](uint8_t c) -> int { return c == ';' ? 0 : c == '.' ? 1 : 2 + c; };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        uint8_t x = uint8_t(a[i]), y = uint8_t(b[i]);
        if (x == ';' && y == ';') return false;
        if (x != y) return rank(x) < rank(y);
    }
    return a.size() < b.size();
}

bool IsoPathLess(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return uint8_t(a[i]) < uint8_t(b[i]);
    }
    return a.size() < b.size();
}

bool JolietLess(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return uint16_t(a[i]) < uint16_t(b[i]);
    }
    return a.size() < b.size();
}

namespace {
std::u16string CutVersionSuffix(std::u16string name) {
    // "NAME;1" -> "NAME"; a leading ";" is part of the name.
    if (name.size() >= 3 && name[name.size() - 2] == u';' && name.back() >= u'0' && name.back() <= u'9')
        name.resize(name.size() - 2);
    return name;
}
}  // namespace

std::u16string LongNameFromIsoIdentifier(std::string_view identifier) {
    std::string bytes(identifier.substr(0, 221));
    std::u16string name;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, bytes, name)) name = platform::Utf8ToUtf16(bytes);
    return CutVersionSuffix(std::move(name));
}

std::u16string LongNameFromJolietIdentifier(std::u16string_view identifier) {
    std::u16string name(identifier.substr(0, 110));
    if (name.size() >= 2 && name[name.size() - 2] == u';' && name.back() == u'1') name.resize(name.size() - 2);
    while (!name.empty() && name.back() == u'.') name.pop_back();
    return CutVersionSuffix(std::move(name));
}

}  // namespace image
