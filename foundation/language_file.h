#pragma once
// Language files (".lng"): the translated numbered strings, dialog control
// texts and menu texts of one language, with its id, names and UI font.
//
// Layout (little-endian; strings UTF-16LE, NUL-terminated, not aligned):
//   +0  4 bytes  magic "LANG"
//   +4  16-bit   header size, always 15
//   +6  8-bit    format version, always 2
//   +7  32-bit   number of entries (strings and control texts) in the body
//   +11 32-bit   Crc32 of the body, plus 1
//   +15 ...      body: records, each a type byte and a second byte
// Record classes (high nibble of the type byte):
//   0x11 language id (second byte its low byte, then the high byte)
//   0x12 English name / 0x13 UI font name / 0x15 native name: a string of at
//        most 63 characters
//   0x14 UI font size in points, 32-bit
//   0x2n count = n * 256 + second byte, then count x {16-bit id, string}
//   0x4n count as above, 16-bit owner id (never 0 or 1), then count x
//        {16-bit item id, [key string when the item id is 0xFFFF], text}

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

inline constexpr uint64_t kLangFileMaxBytes = 0x1FFFFF;
inline constexpr size_t kLangHeaderBytes = 15;
inline constexpr size_t kLangNameMaxChars = 63;
inline constexpr uint16_t kLangItemWithKey = 0xFFFF;

struct LangEntry {
    uint32_t ownerId = 0;        // 0 for numbered strings
    uint32_t itemId = 0;         // string id, or dialog/menu item id
    bool hasKey = false;         // popup entries (item id 0xFFFF)
    std::u16string key;
    std::u16string text;
};

struct CLangFile {
    uint16_t languageId = 0;
    std::u16string name;
    std::u16string nativeName;
    std::u16string fontName;
    uint32_t fontSize = 0;
    std::vector<LangEntry> entries;   // in file order
};

enum class LangFileError {
    None,
    CannotOpen,
    BadSize,          // empty, or larger than 0x1FFFFF bytes
    BadHeader,        // magic, header size or version
    BadCrc,
    BadCount,         // more entries than declared, or a count the file cannot hold
    Truncated,        // a field or string running past the end of the file
    BadRecord,        // unknown class or 0x1x subtype, long name, owner 0 or 1
};

// Parses a whole file image. Every read is bounded by the end of the data; the
// declared count is checked against the size before anything is reserved and
// before each entry is stored. Null (and the reason in *error) on any failure.
std::unique_ptr<CLangFile> ParseLangFile(std::span<const uint8_t> bytes,
                                         LangFileError* error = nullptr);
// Opens and reads the file (1 to 0x1FFFFF bytes), then parses it.
std::unique_ptr<CLangFile> LoadLangFile(std::u16string_view path, LangFileError* error = nullptr);
void FreeLangFile(std::unique_ptr<CLangFile> file);

// Text of the first entry with that owner, no key and that item id; null when
// absent.
const std::u16string* FindControlText(const CLangFile& file, uint32_t ownerId, uint32_t itemId);
// Text of the first entry with that owner and an equal key (exact,
// case-sensitive); null when absent.
const std::u16string* FindPopupText(const CLangFile& file, uint32_t ownerId,
                                    std::u16string_view key);
// Text of a numbered string (owner 0); null when absent.
const std::u16string* FindStringText(const CLangFile& file, uint32_t stringId);

// The checksum of the header: Crc32 of the body plus 1.
uint32_t LangBodyChecksum(std::span<const uint8_t> body);

}  // namespace foundation
