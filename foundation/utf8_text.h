#pragma once
// UTF-8 and loaded text buffers to and from the program's UTF-16 text.
// Standard UTF-8 with surrogate pairs: a character outside the BMP (F0 9F 98 80)
// becomes its pair (D83D DE00), never a different BMP character; malformed
// input (overlong forms, 5- and 6-byte forms, lone surrogates, cut sequences)
// becomes U+FFFD. DEL (0x7F) is an ordinary character. Results are whole
// strings of any length: a long path is never cut short into another path.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace foundation {

std::string WideToUtf8Static(std::u16string_view text);
std::u16string Utf8ToWideStatic(std::string_view text);

// A loaded text file's bytes as UTF-16: UTF-8 when they start with EF BB BF
// (the mark itself becomes U+FEFF), else the ANSI code page. Nothing when the
// conversion fails.
std::optional<std::u16string> TextBufferToWide(std::span<const uint8_t> buffer);

}  // namespace foundation
