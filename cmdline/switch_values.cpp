#include "cmdline/switch_values.h"

#include <ctime>
#include <optional>
#include <vector>

#include "foundation/name_lookup.h"
#include "foundation/volume_names.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cmdline {
namespace {

constexpr size_t kMaxPartDigits = 5;

// Multiplies with a check against 63-bit overflow.
bool MultiplyChecked(int64_t a, int64_t b, int64_t& out) {
    if (a != 0 && b > INT64_MAX / a) return false;
    out = a * b;
    return true;
}

}  // namespace

bool ParseDecimal(std::u16string_view text, int64_t maxValue, int64_t& value, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return false;
    int64_t v = 0;
    for (char16_t c : text) {
        if (!platform::IsAsciiDigit(c)) return false;
        v = v * 10 + (c - u'0');
    }
    if (v > maxValue) return false;
    value = v;
    return true;
}

bool ParseSwitchDate(std::u16string_view text, int64_t& seconds) {
    std::vector<std::u16string_view> fields;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'-' || text[i] == u':') {
            fields.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (fields.size() != 6) return false;
    static constexpr int64_t kLow[6] = {1, 1, 1900, 0, 0, 0};
    static constexpr int64_t kHigh[6] = {12, 31, 2800, 23, 59, 59};
    int64_t v[6];
    for (int i = 0; i < 6; ++i) {
        if (!ParseDecimal(fields[size_t(i)], kHigh[i], v[i], 4) || v[i] < kLow[i]) return false;
    }
    std::tm local{};
    local.tm_mon = int(v[0]) - 1;
    local.tm_mday = int(v[1]);
    local.tm_year = int(v[2]) - 1900;
    local.tm_hour = int(v[3]);
    local.tm_min = int(v[4]);
    local.tm_sec = int(v[5]);
    local.tm_isdst = -1;
    const time_t t = std::mktime(&local);
    if (t == time_t(-1)) return false;
    seconds = int64_t(t);
    return true;
}

bool ParseVolumeSizeText(std::u16string_view text, int64_t& bytes) {
    if (text.empty()) return false;
    int64_t unit = 1;
    const char16_t last = platform::ToUpperChar(text.back());
    if (last == u'K' || last == u'M' || last == u'G') {
        unit = last == u'K' ? 1024 : last == u'M' ? 1024 * 1024 : int64_t(1024) * 1024 * 1024;
        text.remove_suffix(1);
    }
    if (text.empty() || !platform::IsAsciiDigit(text.front())) return false;
    int64_t v = 0;
    for (char16_t c : text) {
        if (c == u',') continue;
        if (!platform::IsAsciiDigit(c)) return false;
        if (!MultiplyChecked(v, 10, v) || v > INT64_MAX - (c - u'0')) return false;
        v += c - u'0';
    }
    return MultiplyChecked(v, unit, bytes);
}

bool ParseOwnerWindow(std::u16string_view text, uint32_t& value) {
    if (text.size() != 8) return false;
    auto nibble = [](char16_t c) -> int {
        if (platform::IsAsciiDigit(c)) return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    };
    uint32_t v = 0;
    for (int pair = 0; pair < 4; ++pair) {
        const int high = nibble(text[size_t(pair) * 2]);
        const int low = nibble(text[size_t(pair) * 2 + 1]);
        if (high < 0 || low < 0) return false;
        v |= uint32_t(high * 16 + low) << (8 * pair);
    }
    value = v;
    return true;
}

std::string ToCodePageWithin(std::u16string_view text, size_t maxBytes) {
    std::string out;
    platform::Utf16ToMultiByte(platform::kCodePageAnsi, text, out);
    if (out.size() <= maxBytes) return out;
    // Too long: find the most characters whose conversion fits, never ending
    // between the halves of a surrogate pair.
    size_t low = 0, high = text.size();
    std::string best;
    while (low < high) {
        size_t mid = (low + high + 1) / 2;
        size_t cut = mid;
        if (cut > 0 && cut < text.size() && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
        std::string piece;
        platform::Utf16ToMultiByte(platform::kCodePageAnsi, text.substr(0, cut), piece);
        if (piece.size() <= maxBytes) {
            best = std::move(piece);
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return best;
}

std::u16string FindFirstVolumeOfSet(std::u16string_view path) {
    const std::u16string original(path);
    if (platform::FileExists(original)) return original;
    const std::optional<foundation::PartNumber> number = foundation::FindPartNumber(path);
    if (!number) return original;
    // The archivers number a set's volumes in one to five digits; names on this
    // system differ by case, so each candidate is found without regard to it.
    for (size_t width = 1; width <= kMaxPartDigits; ++width) {
        std::u16string candidate = original;
        candidate.replace(number->at, number->digits, *foundation::FixedDigits(1, width));
        candidate = foundation::ResolvePathNoCase(candidate);
        if (platform::FileExists(candidate)) return candidate;
    }
    return original;
}

std::u16string ShowableText(std::u16string_view text, bool keepLineBreaks) {
    std::u16string out(text);
    for (char16_t& c : out) {
        const bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
        if (!control) continue;
        if (keepLineBreaks && (c == u'\t' || c == u'\r' || c == u'\n')) continue;
        c = u'?';
    }
    return out;
}

}  // namespace cmdline
