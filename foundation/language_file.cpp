#include "foundation/language_file.h"

#include "codecs/crc32.h"
#include "foundation/byte_cursor.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace foundation {

namespace {

constexpr uint8_t kClassFixed = 0x10;
constexpr uint8_t kClassStrings = 0x20;
constexpr uint8_t kClassOwnerTexts = 0x40;
constexpr uint8_t kFixedLanguageId = 0x1;
constexpr uint8_t kFixedName = 0x2;
constexpr uint8_t kFixedFontName = 0x3;
constexpr uint8_t kFixedFontSize = 0x4;
constexpr uint8_t kFixedNativeName = 0x5;
// Every entry holds at least a 16-bit id and a terminator, so a file cannot
// declare more entries than this allows.
constexpr uint64_t kMinEntryBytes = 4;

// +0 "LANG", +4 header size, +6 version, +7 entry count, +11 checksum.
constexpr size_t kOffsetHeaderSize = 4;
constexpr size_t kOffsetVersion = 6;
constexpr size_t kOffsetCount = 7;
constexpr size_t kOffsetChecksum = 11;
constexpr uint8_t kFormatVersion = 2;

class Parser {
public:
    explicit Parser(std::span<const uint8_t> body) : cursor_(body) {}

    // A NUL-terminated UTF-16LE string; false when it runs past the end.
    bool ReadString(std::u16string& out) {
        out.clear();
        while (true) {
            if (cursor_.Remaining() < 2) return false;
            char16_t c = cursor_.ReadLe16();
            if (c == 0) return true;
            out += c;
        }
    }

    ByteCursor& cursor() { return cursor_; }

private:
    ByteCursor cursor_;
};

LangFileError ParseBody(std::span<const uint8_t> body, uint32_t declaredCount, CLangFile& file) {
    Parser parser(body);
    ByteCursor& c = parser.cursor();
    while (!c.AtEnd()) {
        uint8_t type = c.ReadU8();
        uint8_t cls = type & 0xF0;
        uint8_t sub = type & 0x0F;
        if (cls == kClassFixed) {
            switch (sub) {
            case kFixedLanguageId:
                if (c.Remaining() < 2) return LangFileError::Truncated;
                file.languageId = c.ReadLe16();
                break;
            case kFixedFontSize:
                if (c.Remaining() < 4) return LangFileError::Truncated;
                file.fontSize = c.ReadLe32();
                break;
            case kFixedName:
            case kFixedFontName:
            case kFixedNativeName: {
                std::u16string text;
                if (!parser.ReadString(text)) return LangFileError::Truncated;
                if (text.size() > kLangNameMaxChars) return LangFileError::BadRecord;
                (sub == kFixedName ? file.name : sub == kFixedFontName ? file.fontName : file.nativeName) =
                    std::move(text);
                break;
            }
            default:
                return LangFileError::BadRecord;
            }
            continue;
        }
        if (cls != kClassStrings && cls != kClassOwnerTexts) return LangFileError::BadRecord;
        if (c.Remaining() < 1) return LangFileError::Truncated;
        uint32_t count = static_cast<uint32_t>(sub) * 256 + c.ReadU8();
        uint32_t owner = 0;
        if (cls == kClassOwnerTexts) {
            if (c.Remaining() < 2) return LangFileError::Truncated;
            owner = c.ReadLe16();
            if (owner == 0 || owner == 1) return LangFileError::BadRecord;
        }
        for (uint32_t i = 0; i < count; ++i) {
            // Refused before an entry beyond the declared count is stored.
            if (file.entries.size() >= declaredCount) return LangFileError::BadCount;
            if (c.Remaining() < 2) return LangFileError::Truncated;
            LangEntry entry;
            entry.ownerId = owner;
            entry.itemId = c.ReadLe16();
            if (cls == kClassOwnerTexts && entry.itemId == kLangItemWithKey) {
                entry.hasKey = true;
                if (!parser.ReadString(entry.key)) return LangFileError::Truncated;
            }
            if (!parser.ReadString(entry.text)) return LangFileError::Truncated;
            file.entries.push_back(std::move(entry));
        }
    }
    return c.Ok() ? LangFileError::None : LangFileError::Truncated;
}

}  // namespace

uint32_t LangBodyChecksum(std::span<const uint8_t> body) {
    return codecs::Crc32(body.data(), body.size()) + 1;
}

std::unique_ptr<CLangFile> ParseLangFile(std::span<const uint8_t> bytes, LangFileError* error) {
    auto fail = [&](LangFileError e) -> std::unique_ptr<CLangFile> {
        if (error) *error = e;
        return nullptr;
    };
    if (bytes.empty() || bytes.size() > kLangFileMaxBytes) return fail(LangFileError::BadSize);
    ByteCursor header(bytes);
    if (bytes.size() < kLangHeaderBytes || bytes[0] != 'L' || bytes[1] != 'A' || bytes[2] != 'N' ||
        bytes[3] != 'G' || header.Le16(kOffsetHeaderSize) != kLangHeaderBytes ||
        header.U8(kOffsetVersion) != kFormatVersion)
        return fail(LangFileError::BadHeader);
    uint32_t declaredCount = header.Le32(kOffsetCount);
    uint32_t storedChecksum = header.Le32(kOffsetChecksum);
    std::span<const uint8_t> body = bytes.subspan(kLangHeaderBytes);
    if (LangBodyChecksum(body) != storedChecksum) return fail(LangFileError::BadCrc);
    if (declaredCount > body.size() / kMinEntryBytes) return fail(LangFileError::BadCount);

    auto file = std::make_unique<CLangFile>();
    file->entries.reserve(declaredCount);
    LangFileError result = ParseBody(body, declaredCount, *file);
    if (result != LangFileError::None) return fail(result);
    if (error) *error = LangFileError::None;
    return file;
}

std::unique_ptr<CLangFile> LoadLangFile(std::u16string_view path, LangFileError* error) {
    auto fail = [&](LangFileError e) -> std::unique_ptr<CLangFile> {
        if (error) *error = e;
        return nullptr;
    };
    platform::FileHandle handle =
        platform::FileOpen(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting);
    if (!handle) return fail(LangFileError::CannotOpen);
    std::unique_ptr<platform::FileObject, decltype(&platform::FileClose)> owner(handle, &platform::FileClose);
    uint64_t size = 0;
    if (!platform::FileGetSize(handle, size)) return fail(LangFileError::CannotOpen);
    if (size == 0 || size > kLangFileMaxBytes) return fail(LangFileError::BadSize);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    int64_t read = platform::FileReadAt(handle, 0, bytes.data(), bytes.size());
    if (read != static_cast<int64_t>(size)) return fail(LangFileError::CannotOpen);
    return ParseLangFile(bytes, error);
}

void FreeLangFile(std::unique_ptr<CLangFile> file) { file.reset(); }

const std::u16string* FindControlText(const CLangFile& file, uint32_t ownerId, uint32_t itemId) {
    for (const LangEntry& e : file.entries)
        if (e.ownerId == ownerId && !e.hasKey && e.itemId == itemId) return &e.text;
    return nullptr;
}

const std::u16string* FindPopupText(const CLangFile& file, uint32_t ownerId, std::u16string_view key) {
    for (const LangEntry& e : file.entries)
        if (e.ownerId == ownerId && e.hasKey && e.key == key) return &e.text;
    return nullptr;
}

const std::u16string* FindStringText(const CLangFile& file, uint32_t stringId) {
    return FindControlText(file, 0, stringId);
}

}  // namespace foundation
