#pragma once
// Writes ".lng" language files for the tests, byte by byte, with the checksum
// from zlib's crc32 (an implementation we did not write).

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace langtest {

struct OwnerItem {
    uint16_t itemId;
    std::optional<std::u16string> key;   // for item 0xFFFF
    std::u16string text;
};

class LangFileBuilder {
public:
    LangFileBuilder& Byte(uint8_t b) {
        body_.push_back(b);
        return *this;
    }
    LangFileBuilder& Le16(uint16_t v) { return Byte(v & 0xFF).Byte(v >> 8); }
    LangFileBuilder& Le32(uint32_t v) { return Le16(v & 0xFFFF).Le16(v >> 16); }
    LangFileBuilder& Str(const std::u16string& s, bool terminate = true) {
        for (char16_t c : s) Le16(c);
        if (terminate) Le16(0);
        return *this;
    }
    LangFileBuilder& Id(uint16_t id) { return Byte(0x11).Le16(id); }
    LangFileBuilder& Name(const std::u16string& s) { return Byte(0x12).Str(s); }
    LangFileBuilder& Font(const std::u16string& s) { return Byte(0x13).Str(s); }
    LangFileBuilder& FontSize(uint32_t points) { return Byte(0x14).Le32(points); }
    LangFileBuilder& Native(const std::u16string& s) { return Byte(0x15).Str(s); }
    LangFileBuilder& Strings(const std::vector<std::pair<uint16_t, std::u16string>>& strings) {
        size_t n = strings.size();
        Byte(static_cast<uint8_t>(0x20 | (n >> 8))).Byte(static_cast<uint8_t>(n & 0xFF));
        for (const auto& [id, text] : strings) Le16(id).Str(text);
        entries_ += static_cast<uint32_t>(n);
        return *this;
    }
    LangFileBuilder& Owner(uint16_t owner, const std::vector<OwnerItem>& items) {
        size_t n = items.size();
        Byte(static_cast<uint8_t>(0x40 | (n >> 8))).Byte(static_cast<uint8_t>(n & 0xFF)).Le16(owner);
        for (const OwnerItem& item : items) {
            Le16(item.itemId);
            if (item.key) Str(*item.key);
            Str(item.text);
        }
        entries_ += static_cast<uint32_t>(n);
        return *this;
    }
    // A language with the usual fixed records.
    static LangFileBuilder Language(uint16_t id, const std::u16string& name, const std::u16string& native) {
        LangFileBuilder b;
        b.Id(id).Name(name).Font(u"Tahoma").FontSize(9).Native(native);
        return b;
    }

    // The whole file; the declared count defaults to the entries written.
    std::vector<uint8_t> Build(std::optional<uint32_t> declaredCount = std::nullopt, int checksumAdd = 1) const {
        uint32_t crc = static_cast<uint32_t>(crc32(0L, body_.data(), static_cast<uInt>(body_.size())));
        uint32_t count = declaredCount.value_or(entries_);
        uint32_t stored = crc + static_cast<uint32_t>(checksumAdd);
        std::vector<uint8_t> out = {'L', 'A', 'N', 'G', 15, 0, 2};
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(count >> (8 * i)));
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(stored >> (8 * i)));
        out.insert(out.end(), body_.begin(), body_.end());
        return out;
    }

private:
    std::vector<uint8_t> body_;
    uint32_t entries_ = 0;
};

}  // namespace langtest
