#include "image/iso/volume_texts.h"

#include <algorithm>
#include <cstring>

#include "foundation/dates.h"
#include "platform/text.h"

namespace image {

namespace {

constexpr VolumeTextField kFields[kVolumeTextKinds] = {
    {vd::kVolumeId, 32},
    {vd::kSystemId, 32},
    {vd::kVolumeSetId, 128},
    {vd::kPublisherId, 128},
    {vd::kPreparerId, 128},
    {vd::kApplicationId, 128},
    {vd::kCopyrightFileId, 37},
    {vd::kAbstractFileId, 37},
    {vd::kBibliographicFileId, 37},
};

void StripTrailingBlanks(std::u16string& text) {
    while (!text.empty() && text.back() == u' ') text.pop_back();
}

}  // namespace

VolumeTextField VolumeTextFieldOf(int kind) {
    if (kind < 0 || kind >= kVolumeTextKinds) return {0, 0};
    return kFields[kind];
}

VolumeTexts DecodePrimaryVolumeTexts(DescriptorBytes d) {
    VolumeTexts texts;
    for (int kind = 0; kind < kVolumeTextKinds; ++kind) {
        const auto field = d.subspan(kFields[kind].offset, kFields[kind].length);
        size_t n = std::find(field.begin(), field.end(), uint8_t{0}) - field.begin();
        while (n > 0 && field[n - 1] == ' ') --n;
        const std::string_view narrow(reinterpret_cast<const char*>(field.data()), n);
        if (std::all_of(narrow.begin(), narrow.end(), [](char c) { return (c & 0x80) == 0; })) {
            texts[kind].assign(narrow.begin(), narrow.end());
        } else if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, narrow, texts[kind])) {
            texts[kind].clear();
        }
    }
    return texts;
}

VolumeTexts DecodeJolietVolumeTexts(DescriptorBytes d) {
    VolumeTexts texts;
    for (int kind = 0; kind < kVolumeTextKinds; ++kind) {
        const auto field = d.subspan(kFields[kind].offset, kFields[kind].length);
        std::u16string& text = texts[kind];
        for (size_t i = 0; i + 1 < field.size(); i += 2) {
            const char16_t c = static_cast<char16_t>((field[i] << 8) | field[i + 1]);
            if (c == 0) break;
            text.push_back(c);
        }
        StripTrailingBlanks(text);
    }
    return texts;
}

VolumeDates DecodeVolumeDates(DescriptorBytes d) {
    auto date = [&](size_t offset) {
        return foundation::IsoVolumeDateToUnixTime(d.subspan(offset, vd::kVolumeDateBytes));
    };
    VolumeDates dates;
    dates.creation = date(vd::kCreationDate);
    dates.modification = date(vd::kModificationDate);
    dates.expiration = date(vd::kExpirationDate);
    dates.effective = date(vd::kEffectiveDate);
    return dates;
}

size_t PutVolumeTextA(std::span<uint8_t> field, std::u16string_view text) {
    std::fill(field.begin(), field.end(), uint8_t{' '});
    std::string narrow;
    if (!platform::Utf16ToMultiByte(platform::kCodePageAnsi, text, narrow)) {
        // No converter at all: ASCII survives, the rest is marked.
        narrow.clear();
        for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    const size_t n = std::min(narrow.size(), field.size());
    std::memcpy(field.data(), narrow.data(), n);
    return n;
}

void PutVolumeTextW(std::span<uint8_t> field, std::u16string_view text) {
    for (size_t i = 0; i + 1 < field.size(); i += 2) {
        field[i] = 0x00;
        field[i + 1] = 0x20;
    }
    const size_t n = std::min(field.size() / 2, text.size());
    for (size_t i = 0; i < n; ++i) {
        field[2 * i] = static_cast<uint8_t>(text[i] >> 8);
        field[2 * i + 1] = static_cast<uint8_t>(text[i]);
    }
}

void PutVolumeDate(std::span<uint8_t> field, int64_t seconds) {
    if (field.size() < vd::kVolumeDateBytes) return;
    if (seconds != 0 && foundation::UnixTimeToIsoVolumeDate(seconds, field)) return;
    std::fill_n(field.begin(), 16, uint8_t{'0'});
    field[16] = 0;
}

}  // namespace image
