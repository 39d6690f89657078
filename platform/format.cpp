#include "platform/format.h"

#include "platform/text.h"

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <string>

namespace platform {

namespace {

// Widths and precisions come from format strings, and format strings come from
// language files: a cap keeps "%999999999d" from allocating without bound.
constexpr int kMaxWidth = 65536;

enum class Size { None, Short, Char, Long, LongLong, Wide, Narrow };

struct Directive {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    Size size = Size::None;
    char16_t conversion = 0;
};

const char* KindName(FormatArg::Kind kind) {
    switch (kind) {
        case FormatArg::Kind::Signed: return "int";
        case FormatArg::Kind::Unsigned: return "unsigned";
        case FormatArg::Kind::Double: return "double";
        case FormatArg::Kind::Wide: return "string";
        case FormatArg::Kind::Narrow: return "narrow string";
        case FormatArg::Kind::Pointer: return "pointer";
    }
    return "?";
}

void AppendAscii(std::u16string& out, std::string_view text) {
    for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
}

void AppendMarker(std::u16string& out, char16_t conversion, std::string_view what) {
    out += u"%!";
    if (conversion != 0) out += conversion;
    out += u'(';
    AppendAscii(out, what);
    out += u')';
}

// The C locale, whatever the process locale is (Qt sets it from the user's).
locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// Formats one number through the C library's own rules under the C locale, so
// our output equals snprintf's for the same conversion.
void AppendNumber(std::u16string& out, const Directive& directive, char conversion, const char* length, auto value) {
    std::string fmt = "%";
    if (directive.left) fmt += '-';
    if (directive.plus) fmt += '+';
    if (directive.space) fmt += ' ';
    if (directive.zero) fmt += '0';
    if (directive.alternate) fmt += '#';
    if (directive.width > 0) fmt += std::to_string(directive.width);
    if (directive.precision >= 0) fmt += "." + std::to_string(directive.precision);
    fmt += length;
    fmt += conversion;
    locale_t previous = uselocale(CLocale());
    char small[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(small, sizeof small, fmt.c_str(), value);
    if (n >= static_cast<int>(sizeof small)) {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), fmt.c_str(), value);
        big.resize(static_cast<size_t>(n));
        AppendAscii(out, big);
    } else if (n > 0) {
        AppendAscii(out, std::string_view(small, static_cast<size_t>(n)));
    }
#pragma GCC diagnostic pop
    uselocale(previous);
}

void AppendPadded(std::u16string& out, const Directive& directive, std::u16string_view text) {
    size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
    size_t pad = width > text.size() ? width - text.size() : 0;
    // Strings and characters pad with zeros under '0', as the wide printf does.
    char16_t fill = directive.zero && !directive.left ? u'0' : u' ';
    if (!directive.left) out.append(pad, fill);
    out += text;
    if (directive.left) out.append(pad, u' ');
}

bool IsInteger(const FormatArg& arg) {
    return arg.kind == FormatArg::Kind::Signed || arg.kind == FormatArg::Kind::Unsigned;
}

bool Wants64(Size size, const FormatArg& arg) {
    if (size == Size::LongLong) return true;
    if (size != Size::None && size != Size::Long) return false;
    // Without a 64-bit size the value is 32-bit as on the program's first
    // system, unless it does not fit: a wider value is printed whole rather
    // than silently cut.
    if (arg.kind == FormatArg::Kind::Signed) return arg.i < INT32_MIN || arg.i > static_cast<int64_t>(UINT32_MAX);
    return arg.u > UINT32_MAX;
}

void FormatSigned(std::u16string& out, const Directive& directive, const FormatArg& arg) {
    int64_t v = arg.kind == FormatArg::Kind::Signed ? arg.i : static_cast<int64_t>(arg.u);
    if (directive.size == Size::Short) v = static_cast<int16_t>(v);
    else if (directive.size == Size::Char) v = static_cast<int8_t>(v);
    else if (!Wants64(directive.size, arg)) v = static_cast<int32_t>(static_cast<uint32_t>(v));
    AppendNumber(out, directive, static_cast<char>(directive.conversion), "ll", static_cast<long long>(v));
}

void FormatUnsigned(std::u16string& out, const Directive& directive, const FormatArg& arg) {
    uint64_t v = arg.kind == FormatArg::Kind::Signed ? static_cast<uint64_t>(arg.i) : arg.u;
    if (arg.kind == FormatArg::Kind::Pointer) v = reinterpret_cast<uintptr_t>(arg.p);
    else if (directive.size == Size::Short) v = static_cast<uint16_t>(v);
    else if (directive.size == Size::Char) v = static_cast<uint8_t>(v);
    else if (!Wants64(directive.size, arg)) v = static_cast<uint32_t>(v);
    AppendNumber(out, directive, static_cast<char>(directive.conversion), "ll", static_cast<unsigned long long>(v));
}

void FormatString(std::u16string& out, const Directive& directive, const FormatArg& arg, bool narrow) {
    std::u16string text;
    bool isNull = (arg.kind == FormatArg::Kind::Pointer && arg.p == nullptr) ||
                  ((arg.kind == FormatArg::Kind::Wide || arg.kind == FormatArg::Kind::Narrow) && arg.p == nullptr);
    if (isNull) {
        text = u"(null)";
    } else if (narrow ? arg.kind != FormatArg::Kind::Narrow : arg.kind != FormatArg::Kind::Wide) {
        AppendMarker(out, directive.conversion, KindName(arg.kind));
        return;
    } else if (narrow) {
        // Narrow program text is UTF-8, the system's encoding here.
        text = Utf8ToUtf16(arg.narrow);
    } else {
        text = arg.wide;
    }
    if (directive.precision >= 0 && static_cast<size_t>(directive.precision) < text.size()) {
        size_t keep = static_cast<size_t>(directive.precision);
        // Never cut a surrogate pair in half.
        if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
        text.resize(keep);
    }
    AppendPadded(out, directive, text);
}

void FormatChar(std::u16string& out, const Directive& directive, const FormatArg& arg, bool narrow) {
    if (!IsInteger(arg)) {
        AppendMarker(out, directive.conversion, KindName(arg.kind));
        return;
    }
    uint64_t v = arg.kind == FormatArg::Kind::Signed ? static_cast<uint64_t>(arg.i) : arg.u;
    std::u16string text;
    if (narrow) {
        unsigned char byte = static_cast<unsigned char>(v);
        if (byte < 0x80) {
            text = std::u16string(1, byte);
        } else {
            // A single byte above ASCII is a character of the ANSI code page.
            std::u16string converted;
            if (!MultiByteToUtf16(kCodePageAnsi, std::string(1, static_cast<char>(byte)), converted)) converted = u"\uFFFD";
            text = converted;
        }
    } else {
        text = std::u16string(1, static_cast<char16_t>(v));
    }
    AppendPadded(out, directive, text);
}

}  // namespace

std::u16string FormatArgs(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    out.reserve(format.size() + 16);
    const FormatArg* next = args.begin();
    const FormatArg* end = args.end();
    size_t pos = 0;
    while (pos < format.size()) {
        char16_t c = format[pos++];
        if (c != u'%') {
            out += c;
            continue;
        }
        if (pos >= format.size()) {
            AppendMarker(out, 0, "incomplete");
            break;
        }
        if (format[pos] == u'%') {
            out += u'%';
            ++pos;
            continue;
        }
        Directive directive;
        bool missing = false;
        for (; pos < format.size(); ++pos) {
            char16_t f = format[pos];
            if (f == u'-') directive.left = true;
            else if (f == u'+') directive.plus = true;
            else if (f == u' ') directive.space = true;
            else if (f == u'0') directive.zero = true;
            else if (f == u'#') directive.alternate = true;
            else break;
        }
        auto readNumber = [&](int& value) {
            int64_t v = 0;
            while (pos < format.size() && format[pos] >= u'0' && format[pos] <= u'9') {
                v = v * 10 + (format[pos] - u'0');
                if (v > kMaxWidth) v = kMaxWidth;
                ++pos;
            }
            value = static_cast<int>(v);
        };
        auto takeStarValue = [&](int& value) {
            if (next == end) {
                missing = true;
                return false;
            }
            const FormatArg& a = *next++;
            if (!IsInteger(a)) return false;
            int64_t v = a.kind == FormatArg::Kind::Signed ? a.i : static_cast<int64_t>(a.u > INT32_MAX ? INT32_MAX : a.u);
            if (v > kMaxWidth) v = kMaxWidth;
            if (v < -kMaxWidth) v = -kMaxWidth;
            value = static_cast<int>(v);
            return true;
        };
        bool badStar = false;
        if (pos < format.size() && format[pos] == u'*') {
            ++pos;
            int w = 0;
            if (!takeStarValue(w)) badStar = true;
            if (w < 0) {
                directive.left = true;
                w = -w;
            }
            directive.width = w;
        } else {
            readNumber(directive.width);
        }
        if (pos < format.size() && format[pos] == u'.') {
            ++pos;
            if (pos < format.size() && format[pos] == u'*') {
                ++pos;
                int p = 0;
                if (!takeStarValue(p)) badStar = true;
                directive.precision = p < 0 ? -1 : p;
            } else {
                int p = 0;
                readNumber(p);
                directive.precision = p;
            }
        }
        // Size prefixes: h, hh, l, ll, L, w, I, I32, I64, j, z, t.
        if (pos < format.size()) {
            std::u16string_view rest = format.substr(pos);
            if (rest.substr(0, 3) == u"I64") { directive.size = Size::LongLong; pos += 3; }
            else if (rest.substr(0, 3) == u"I32") { directive.size = Size::Long; pos += 3; }
            else if (rest.substr(0, 2) == u"ll") { directive.size = Size::LongLong; pos += 2; }
            else if (rest.substr(0, 2) == u"hh") { directive.size = Size::Char; pos += 2; }
            else if (rest[0] == u'h') { directive.size = Size::Short; ++pos; }
            else if (rest[0] == u'l' || rest[0] == u'w') { directive.size = Size::Long; ++pos; }
            else if (rest[0] == u'I' || rest[0] == u'j' || rest[0] == u'z' || rest[0] == u't') { directive.size = Size::LongLong; ++pos; }
            else if (rest[0] == u'L') { ++pos; }
        }
        if (pos >= format.size()) {
            AppendMarker(out, 0, "incomplete");
            break;
        }
        directive.conversion = format[pos++];
        char16_t conv = directive.conversion;
        bool known = conv == u'd' || conv == u'i' || conv == u'u' || conv == u'x' || conv == u'X' ||
                     conv == u'o' || conv == u'f' || conv == u'F' || conv == u'e' || conv == u'E' ||
                     conv == u'g' || conv == u'G' || conv == u'a' || conv == u'A' || conv == u'p' ||
                     conv == u's' || conv == u'S' || conv == u'c' || conv == u'C';
        if (!known) {
            // %n among them: nothing is ever written through an argument.
            AppendMarker(out, conv, "unknown");
            continue;
        }
        if (badStar) {
            AppendMarker(out, u'*', missing ? "missing" : "not an int");
            continue;
        }
        if (next == end) {
            AppendMarker(out, conv, "missing");
            continue;
        }
        const FormatArg& arg = *next++;
        switch (conv) {
            case u'd':
            case u'i':
                if (IsInteger(arg)) {
                    directive.conversion = u'd';
                    FormatSigned(out, directive, arg);
                } else {
                    AppendMarker(out, conv, KindName(arg.kind));
                }
                break;
            case u'u':
            case u'x':
            case u'X':
            case u'o':
                if (IsInteger(arg) || arg.kind == FormatArg::Kind::Pointer) FormatUnsigned(out, directive, arg);
                else AppendMarker(out, conv, KindName(arg.kind));
                break;
            case u'p':
                if (IsInteger(arg) || arg.kind == FormatArg::Kind::Pointer) {
                    // All the pointer's digits in upper case, the wide printf's form.
                    Directive hex = directive;
                    hex.conversion = u'X';
                    hex.precision = static_cast<int>(sizeof(void*) * 2);
                    hex.size = Size::LongLong;
                    hex.zero = false;
                    hex.alternate = false;
                    hex.plus = false;
                    hex.space = false;
                    FormatUnsigned(out, hex, arg);
                } else {
                    AppendMarker(out, conv, KindName(arg.kind));
                }
                break;
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G':
            case u'a':
            case u'A':
                if (arg.kind == FormatArg::Kind::Double) {
                    AppendNumber(out, directive, static_cast<char>(conv), "", arg.d);
                } else {
                    AppendMarker(out, conv, KindName(arg.kind));
                }
                break;
            case u's':
                FormatString(out, directive, arg, directive.size == Size::Short);
                break;
            case u'S':
                FormatString(out, directive, arg, directive.size != Size::Long);
                break;
            case u'c':
                FormatChar(out, directive, arg, directive.size == Size::Short);
                break;
            case u'C':
                FormatChar(out, directive, arg, directive.size != Size::Long);
                break;
            default:
                break;
        }
    }
    return out;
}

}  // namespace platform
