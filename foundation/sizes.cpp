#include "foundation/sizes.h"

namespace foundation {

namespace {

std::u16string Digits(uint64_t value) {
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return text;
}

// bytes / 2^shift to one decimal, rounded half up in whole numbers so that no
// floating point (and no locale) takes part. A tie cannot occur: 2^shift / 20
// is never whole for the shifts used here.
std::u16string FormatScaled(uint64_t bytes, unsigned shift, std::u16string_view unit, bool atLeastOneTenth) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(bytes) * 10;
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    uint64_t tenths = static_cast<uint64_t>((scaled + half) >> shift);
    if (atLeastOneTenth && bytes != 0 && tenths == 0) tenths = 1;
    std::u16string text = Digits(tenths / 10);
    if (tenths % 10 != 0) {
        text.push_back(u'.');
        text.push_back(static_cast<char16_t>(u'0' + tenths % 10));
    }
    text.push_back(u' ');
    text.append(unit);
    return text;
}

constexpr uint64_t kMebibyte = 1048576;
constexpr uint64_t kGibibyte = 1073741824;

}  // namespace

std::u16string FormatThousands(uint64_t value) {
    const std::u16string digits = Digits(value);
    std::u16string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) text.push_back(u',');
        text.push_back(digits[i]);
    }
    return text;
}

std::u16string FormatSizeKb(uint64_t bytes) { return FormatScaled(bytes, 10, u"KB", true); }
std::u16string FormatSizeMb(uint64_t bytes) { return FormatScaled(bytes, 20, u"MB", false); }
std::u16string FormatSizeGb(uint64_t bytes) { return FormatScaled(bytes, 30, u"GB", false); }

std::u16string FormatSizeKbMb(uint64_t bytes) {
    return bytes < kMebibyte ? FormatSizeKb(bytes) : FormatSizeMb(bytes);
}

std::u16string FormatSizeAuto(uint64_t bytes) {
    if (bytes < kMebibyte) return FormatSizeKb(bytes);
    if (bytes < kGibibyte) return FormatSizeMb(bytes);
    return FormatSizeGb(bytes);
}

}  // namespace foundation
