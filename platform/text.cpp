#include "platform/text.h"

#include "platform/last_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <vector>

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// Decodes one UTF-16 character at pos. A lone surrogate yields U+FFFD and
// *valid = false; pos always advances.
char32_t NextUtf16(std::u16string_view text, size_t& pos, bool* valid) {
    char32_t c = text[pos++];
    if (IsHighSurrogate(c)) {
        if (pos < text.size() && IsLowSurrogate(text[pos])) {
            char32_t low = text[pos++];
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        *valid = false;
        return kReplacement;
    }
    if (IsLowSurrogate(c)) {
        *valid = false;
        return kReplacement;
    }
    return c;
}

// Decodes one UTF-8 character at pos. Malformed input yields one U+FFFD per
// maximal ill-formed subpart (the Unicode recommended practice, so the count
// of replacements matches what other decoders show) and *valid = false.
char32_t NextUtf8(std::string_view text, size_t& pos, bool* valid) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos++);
    if (lead < 0x80) return lead;
    size_t need;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;   // the range allowed for the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        c = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;        // overlong
        if (lead == 0xED) hi = 0x9F;        // UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        c = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;        // overlong
        if (lead == 0xF4) hi = 0x8F;        // beyond U+10FFFF
    } else {
        *valid = false;
        return kReplacement;
    }
    for (size_t i = 0; i < need; ++i) {
        if (pos >= text.size()) {
            *valid = false;
            return kReplacement;
        }
        unsigned char b = byte(pos);
        unsigned char min = i == 0 ? lo : 0x80;
        unsigned char max = i == 0 ? hi : 0xBF;
        if (b < min || b > max) {
            *valid = false;
            return kReplacement;
        }
        c = (c << 6) | (b & 0x3F);
        ++pos;
    }
    return c;
}

// ---- code pages ----------------------------------------------------------

struct LocaleCodePages {
    const char* prefix;   // language, or language_TERRITORY
    uint32_t ansi;
    uint32_t oem;
};

// Longest prefix wins; the order puts territories before their language.
constexpr LocaleCodePages kLocaleCodePages[] = {
    {"zh_TW", 950, 950}, {"zh_HK", 950, 950}, {"zh_MO", 950, 950},
    {"zh", 936, 936},
    {"ja", 932, 932},
    {"ko", 949, 949},
    {"ru", 1251, 866}, {"uk", 1251, 866}, {"bg", 1251, 866}, {"be", 1251, 866},
    {"mk", 1251, 866}, {"sr", 1251, 855},
    {"el", 1253, 737},
    {"tr", 1254, 857}, {"az", 1254, 857},
    {"he", 1255, 862}, {"iw", 1255, 862}, {"yi", 1255, 862},
    {"ar", 1256, 720}, {"fa", 1256, 720}, {"ur", 1256, 720},
    {"cs", 1250, 852}, {"sk", 1250, 852}, {"pl", 1250, 852}, {"hu", 1250, 852},
    {"sl", 1250, 852}, {"hr", 1250, 852}, {"ro", 1250, 852}, {"sq", 1250, 852},
    {"bs", 1250, 852},
    {"lt", 1257, 775}, {"lv", 1257, 775}, {"et", 1257, 775},
    {"vi", 1258, 1258},
    {"th", 874, 874},
    {"en_US", 1252, 437},
};

const char* LocaleName() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) return value;
    }
    return "C";
}

const LocaleCodePages* LocaleEntry() {
    std::string_view name = LocaleName();
    const LocaleCodePages* best = nullptr;
    size_t bestLength = 0;
    for (const LocaleCodePages& entry : kLocaleCodePages) {
        std::string_view prefix = entry.prefix;
        if (name.substr(0, prefix.size()) != prefix) continue;
        // "en" must not match "eo": the prefix ends at a separator.
        if (name.size() > prefix.size()) {
            char next = name[prefix.size()];
            if (next != '_' && next != '.' && next != '@') continue;
        }
        if (prefix.size() > bestLength) {
            best = &entry;
            bestLength = prefix.size();
        }
    }
    return best;
}

uint32_t CodePageFromEnvironment(const char* variable, bool* found) {
    const char* value = std::getenv(variable);
    *found = false;
    if (!value || !*value) return 0;
    char* end = nullptr;
    errno = 0;
    unsigned long parsed = std::strtoul(value, &end, 10);
    if (errno != 0 || *end != '\0' || parsed == 0 || parsed > 0xFFFFFFFFul) return 0;
    *found = true;
    return static_cast<uint32_t>(parsed);
}

uint32_t ResolveCodePage(uint32_t codePage) {
    if (codePage == kCodePageAnsi) return AnsiCodePage();
    if (codePage == kCodePageOem) return OemCodePage();
    return codePage;
}

// iconv names for the code pages whose name is not simply CP<n>.
std::vector<std::string> IconvNames(uint32_t codePage) {
    struct Named {
        uint32_t codePage;
        const char* name;
    };
    static constexpr Named kNamed[] = {
        {65001, "UTF-8"},      {1200, "UTF-16LE"},     {1201, "UTF-16BE"},
        {12000, "UTF-32LE"},   {12001, "UTF-32BE"},    {20127, "ASCII"},
        {20866, "KOI8-R"},     {21866, "KOI8-U"},      {10000, "MACINTOSH"},
        {20932, "EUC-JP"},     {51932, "EUC-JP"},      {51949, "EUC-KR"},
        {54936, "GB18030"},    {50220, "ISO-2022-JP"}, {52936, "HZ"},
        {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
        {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"},
        {28597, "ISO-8859-7"}, {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"},
        {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
    };
    for (const Named& named : kNamed) {
        if (named.codePage == codePage) return {named.name};
    }
    std::string n = std::to_string(codePage);
    return {"CP" + n, "IBM" + n, "WINDOWS-" + n};
}

struct IconvCloser {
    void operator()(iconv_t* cd) const {
        if (cd) iconv_close(*cd);
        delete cd;
    }
};
using IconvPtr = std::unique_ptr<iconv_t, IconvCloser>;

// One converter per code page and direction, kept per thread: opening an iconv
// converter costs more than converting a short name.
struct IconvCacheEntry {
    uint32_t codePage;
    bool toUtf16;
    IconvPtr cd;
};

iconv_t OpenConverter(uint32_t codePage, bool toUtf16) {
    thread_local std::vector<IconvCacheEntry> cache;
    for (IconvCacheEntry& entry : cache) {
        if (entry.codePage == codePage && entry.toUtf16 == toUtf16) {
            iconv(*entry.cd, nullptr, nullptr, nullptr, nullptr);   // reset shift state
            return *entry.cd;
        }
    }
    for (const std::string& name : IconvNames(codePage)) {
        iconv_t cd = toUtf16 ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) continue;
        if (cache.size() >= 16) cache.erase(cache.begin());
        cache.push_back({codePage, toUtf16, IconvPtr(new iconv_t(cd))});
        return cd;
    }
    return reinterpret_cast<iconv_t>(-1);
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    bool valid = true;
    for (size_t pos = 0; pos < text.size();) {
        // Runs of ASCII, most of any listing, are copied a run at a time.
        size_t end = pos;
        while (end < text.size() && text[end] < 0x80) ++end;
        if (end > pos) {
            const size_t at = out.size();
            out.resize(at + (end - pos));
            for (size_t i = pos; i < end; ++i) out[at + (i - pos)] = static_cast<char>(text[i]);
            pos = end;
            continue;
        }
        AppendUtf8(out, NextUtf16(text, pos, &valid));
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool valid = true;
    for (size_t pos = 0; pos < text.size();) AppendUtf16(out, NextUtf8(text, pos, &valid));
    return out;
}

bool Utf16ToUtf8Strict(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    bool valid = true;
    for (size_t pos = 0; pos < text.size() && valid;) AppendUtf8(out, NextUtf16(text, pos, &valid));
    if (!valid) {
        out.clear();
        SetLastError(kErrorNoUnicodeTranslation);
    }
    return valid;
}

bool Utf8ToUtf16Strict(std::string_view text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    bool valid = true;
    for (size_t pos = 0; pos < text.size() && valid;) AppendUtf16(out, NextUtf8(text, pos, &valid));
    if (!valid) {
        out.clear();
        SetLastError(kErrorNoUnicodeTranslation);
    }
    return valid;
}

uint32_t AnsiCodePage() {
    bool found;
    uint32_t cp = CodePageFromEnvironment("QV_ANSI_CODEPAGE", &found);
    if (found) return cp;
    const LocaleCodePages* entry = LocaleEntry();
    return entry ? entry->ansi : 1252;
}

uint32_t OemCodePage() {
    bool found;
    uint32_t cp = CodePageFromEnvironment("QV_OEM_CODEPAGE", &found);
    if (found) return cp;
    const LocaleCodePages* entry = LocaleEntry();
    if (entry) return entry->oem;
    // Other western European locales take the multilingual OEM page; the C
    // locale takes the US one, as an unconfigured machine does.
    std::string_view name = LocaleName();
    bool plainC = name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
    return plainC ? 437 : 850;
}

bool MultiByteToUtf16(uint32_t codePage, std::string_view bytes, std::u16string& out) {
    out.clear();
    codePage = ResolveCodePage(codePage);
    if (codePage == kCodePageUtf8) {
        out = Utf8ToUtf16(bytes);
        return true;
    }
    iconv_t cd = OpenConverter(codePage, true);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    std::vector<char> buffer(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        size_t produced = buffer.size() - outLeft;
        for (size_t i = 0; i + 1 < produced; i += 2) {
            out += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                         (static_cast<unsigned char>(buffer[i + 1]) << 8));
        }
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ: a byte with no character; EINVAL: a truncated sequence at the end.
        out += static_cast<char16_t>(kReplacement);
        if (errno == EINVAL) break;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

bool Utf16ToMultiByte(uint32_t codePage, std::u16string_view text, std::string& out, bool* usedDefault) {
    out.clear();
    if (usedDefault) *usedDefault = false;
    codePage = ResolveCodePage(codePage);
    if (codePage == kCodePageUtf8) {
        out = Utf16ToUtf8(text);
        return true;
    }
    iconv_t cd = OpenConverter(codePage, false);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    if (text.empty()) return true;
    std::string input;
    input.reserve(text.size() * 2);
    for (char16_t c : text) {
        input += static_cast<char>(c & 0xFF);
        input += static_cast<char>(c >> 8);
    }
    std::vector<char> buffer(text.size() * 4 + 16);
    char* in = input.data();
    size_t inLeft = input.size();
    for (;;) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r != static_cast<size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        // A character the code page lacks (or a lone surrogate): the default
        // character, as WideCharToMultiByte does, written in the initial shift
        // state so a stateful encoding does not read it as half of a character.
        if (usedDefault) *usedDefault = true;
        outPtr = buffer.data();
        outLeft = buffer.size();
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        out += '?';
        size_t skip = 2;
        if (inLeft >= 4) {
            char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                                  (static_cast<unsigned char>(in[1]) << 8));
            char16_t next = static_cast<char16_t>(static_cast<unsigned char>(in[2]) |
                                                  (static_cast<unsigned char>(in[3]) << 8));
            if (IsHighSurrogate(unit) && IsLowSurrogate(next)) skip = 4;
        }
        if (inLeft < skip) skip = inLeft;
        in += skip;
        inLeft -= skip;
        if (inLeft == 0) break;
    }
    // Return a stateful encoding (ISO-2022-JP) to its initial shift state.
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    return true;
}

// ---- case folding --------------------------------------------------------

char16_t ToUpperChar(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs; dotted/dotless i and long s have no
        // locale-independent partner and stay as they are.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : static_cast<char16_t>(c - 1);
        if (c == 0x178) return c;
        return (c & 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x370 && c <= 0x3FF) {
        if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : static_cast<char16_t>(c - 0x20);
        if (c == 0x3AC) return 0x386;
        if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
        if (c == 0x3CC) return 0x38C;
        if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
        return c;
    }
    if (c >= 0x400 && c <= 0x52F) {
        if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
        if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
        if (c == 0x4CF) return 0x4C0;
        if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : static_cast<char16_t>(c - 1);
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
            return (c & 1) ? static_cast<char16_t>(c - 1) : c;
        }
        return c;
    }
    return c;
}

char16_t ToLowerChar(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    if (c >= 0x370 && c <= 0x3FF) {
        if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
        if (c == 0x386) return 0x3AC;
        if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 0x25);
        if (c == 0x38C) return 0x3CC;
        if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 0x3F);
        return c;
    }
    if (c >= 0x400 && c <= 0x52F) {
        if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
        if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
        if (c == 0x4C0) return 0x4CF;
        if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
            return (c & 1) ? c : static_cast<char16_t>(c + 1);
        }
        return c;
    }
    return c;
}

std::u16string ToLower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = ToLowerChar(c);
    return out;
}

std::u16string ToUpper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = ToUpperChar(c);
    return out;
}

namespace {
// Through upper case and back, so both forms of a letter with two lower
// forms (final sigma) compare equal, while ordering stays that of lower case.
char16_t FoldChar(char16_t c) { return ToLowerChar(ToUpperChar(c)); }
}  // namespace

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;   // the same unit folds the same: most names share long stems
        char16_t x = FoldChar(a[i]);
        char16_t y = FoldChar(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view tail) {
    return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

}  // namespace platform
