#include "window/models/volume_size.h"

#include <array>
#include <limits>

#include "foundation/language.h"
#include "foundation/sizes.h"
#include "platform/text.h"

namespace dialogs {
namespace {

constexpr int64_t kMiB = int64_t(1) << 20;

constexpr std::array<VolumeSizePreset, 8> kPresets{{
    {u"1,457,664 - 3.5\"", 1457664},
    {u"10M", 10 * kMiB},
    {u"100M", 100 * kMiB},
    {u"650M - CD-650M", 681574400},
    {u"700M - CD-700M", 734003200},
    {u"4096M", 4096 * kMiB},
    {u"4482M - DVD-4.7G", 4699717632},
    {u"8152M - DVD-8.5G", 8547991552},
}};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::span<const VolumeSizePreset> VolumeSizePresets() { return kPresets; }

std::u16string AutodetectText() { return foundation::GetLangString(860, u"Autodetect"); }

std::u16string NormalizeVolumeSize(std::u16string_view text) {
    text = Trim(text);
    text = text.substr(0, text.find(u'-'));
    std::u16string upper(Trim(text));
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    return upper;
}

bool IsValidVolumeSizeText(std::u16string_view text) {
    if (text.empty()) return false;
    bool digit = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool last = i + 1 == text.size();
        if (platform::IsAsciiDigit(c)) digit = true;
        else if (c == u',') continue;
        else if (c == u' ' && !last) continue;
        else if (!(last && (c == u'K' || c == u'M' || c == u'G'))) return false;
    }
    return digit;
}

std::optional<int64_t> ParseVolumeSize(std::u16string_view text) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (char16_t c : text) {
        if (c == u' ' || c == u',') continue;
        int64_t factor = 0;
        if (c == u'K') factor = 1024;
        else if (c == u'M') factor = kMiB;
        else if (c == u'G') factor = int64_t(1) << 30;
        if (factor != 0) {
            if (value > kMax / factor) return std::nullopt;
            return value * factor;
        }
        if (!platform::IsAsciiDigit(c)) return std::nullopt;
        if (value > (kMax - (c - u'0')) / 10) return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

VolumeSizeCheck ReadVolumeSizeText(std::u16string_view text, int64_t& size) {
    const std::u16string normal = NormalizeVolumeSize(text);
    if (normal.empty()) return VolumeSizeCheck::Empty;
    if (platform::EqualsNoCase(normal, AutodetectText()) || platform::EqualsNoCase(normal, u"Autodetect")) {
        size = kAutodetectVolumeSize;
        return VolumeSizeCheck::Ok;
    }
    if (!IsValidVolumeSizeText(normal)) return VolumeSizeCheck::Invalid;
    const std::optional<int64_t> value = ParseVolumeSize(normal);
    if (!value || *value < kMinVolumeSize || *value > kMaxVolumeSize) return VolumeSizeCheck::Invalid;
    size = *value;
    return VolumeSizeCheck::Ok;
}

std::u16string VolumeSizeMessage(VolumeSizeCheck check) {
    if (check == VolumeSizeCheck::Empty) return foundation::GetLangString(840, u"The volume size can not be empty.");
    return foundation::GetLangString(
        850, u"The volume size value is invalid. \r\nPlease select the value from the drop list or input it "
             u"directly.\r\n\r\nFor example:\r\n\r\n10,485,760  or  10240K  or  10M  or  2G\r\n\r\nNote: The size "
             u"should be no less than 128K and no more than 2048G.");
}

std::u16string ShowVolumeSize(int64_t size) {
    if (size == 0) return {};
    if (size == kAutodetectVolumeSize) return AutodetectText();
    for (const VolumeSizePreset& preset : kPresets) {
        // 10M, 100M and 4096M show as numbers like any other whole MiB.
        if (preset.bytes == size && std::u16string_view(preset.text).find(u'-') != std::u16string_view::npos)
            return preset.text;
    }
    if (size > 0 && size % kMiB == 0) return foundation::FormatThousands(uint64_t(size / kMiB)) + u"M";
    return foundation::FormatThousands(uint64_t(size < 0 ? 0 : size));
}

}  // namespace dialogs
