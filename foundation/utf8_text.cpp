#include "foundation/utf8_text.h"

#include "platform/text.h"

namespace foundation {

std::string WideToUtf8Static(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

std::u16string Utf8ToWideStatic(std::string_view text) { return platform::Utf8ToUtf16(text); }

std::optional<std::u16string> TextBufferToWide(std::span<const uint8_t> buffer) {
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return platform::Utf8ToUtf16(bytes);
    std::u16string text;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, bytes, text)) return std::nullopt;
    return text;
}

}  // namespace foundation
