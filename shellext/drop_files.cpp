#include "shellext/drop_files.h"

#include "foundation/byte_cursor.h"
#include "platform/text.h"

namespace shellext {
namespace {

// DROPFILES: +0 offset of the names (4 bytes), +4 drop point (8), +12 non-client
// flag (4), +16 wide flag (4).
constexpr size_t kHeaderBytes = 20;
constexpr size_t kNamesOffsetAt = 0;
constexpr size_t kWideAt = 16;

bool ParseWide(const foundation::ByteCursor& cursor, size_t at, std::vector<std::u16string>& out) {
    std::u16string name;
    for (;;) {
        if (!cursor.Has(at, 2)) return false;
        const char16_t unit = char16_t(cursor.Le16(at));
        at += 2;
        if (unit != 0) {
            if (name.size() >= kMaxDropNameUnits) return false;
            name.push_back(unit);
            continue;
        }
        if (name.empty()) return true;
        if (out.size() >= kMaxDropNames) return false;
        out.push_back(std::move(name));
        name.clear();
    }
}

bool ParseNarrow(const foundation::ByteCursor& cursor, size_t at, std::vector<std::u16string>& out) {
    std::string name;
    for (;;) {
        if (!cursor.Has(at, 1)) return false;
        const char byte = char(cursor.U8(at++));
        if (byte != 0) {
            if (name.size() >= kMaxDropNameUnits) return false;
            name.push_back(byte);
            continue;
        }
        if (name.empty()) return true;
        std::u16string wide;
        if (out.size() >= kMaxDropNames || !platform::Utf8ToUtf16Strict(name, wide)) return false;
        out.push_back(std::move(wide));
        name.clear();
    }
}

}  // namespace

bool ParseDropFiles(std::span<const uint8_t> bytes, std::vector<std::u16string>& out) {
    out.clear();
    const foundation::ByteCursor cursor(bytes);
    if (!cursor.Has(0, kHeaderBytes)) return false;
    const uint32_t namesAt = cursor.Le32(kNamesOffsetAt);
    if (namesAt < kHeaderBytes || namesAt >= bytes.size()) return false;
    const bool ok = cursor.Le32(kWideAt) != 0 ? ParseWide(cursor, namesAt, out) : ParseNarrow(cursor, namesAt, out);
    if (!ok || out.empty()) {
        out.clear();
        return false;
    }
    return true;
}

std::vector<uint8_t> BuildDropFiles(const std::vector<std::u16string>& names) {
    std::vector<uint8_t> bytes(kHeaderBytes, 0);
    bytes[kNamesOffsetAt] = uint8_t(kHeaderBytes);
    bytes[kWideAt] = 1;
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(uint8_t(unit & 0xFF));
        bytes.push_back(uint8_t(unit >> 8));
    };
    for (const std::u16string& name : names) {
        for (char16_t unit : name) put(unit);
        put(0);
    }
    put(0);
    return bytes;
}

}  // namespace shellext
