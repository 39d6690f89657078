#include "image/iso/iso_directory.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "foundation/byte_order.h"
#include "platform/text.h"

namespace image {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Replaces what must not stand in a path component; the length stays.
void SanitizeUnits(char16_t* units, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char16_t& c = units[i];
        if (c >= 0x20 && c != 0x7F && c != u'/' && c != u'\\' && (c < 0xD800 || c > 0xDFFF)) continue;
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') {
            c = u'_';
        } else if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(units[i + 1])) {
            ++i;
        } else {
            c = 0xFFFD;
        }
    }
}

bool IsDotText(const char16_t* units, size_t n) {
    return (n == 1 && units[0] == u'.') || (n == 2 && units[0] == u'.' && units[1] == u'.');
}

// A unit that SanitizeUnits keeps as it is, whatever its neighbours.
bool IsPlainUnit(char16_t c) { return c >= 0x20 && c < 0xD800 && c != 0x7F && c != u'/' && c != u'\\'; }

// The common end of both decoders: a final ";" and one digit cut (unless the
// ";" would leave nothing), then made safe in place; the name's length.
// plain says that the decoder saw only plain units, so there is nothing to
// replace.
size_t FinishName(char16_t* units, size_t n, bool plain = false) {
    if (n >= 3 && units[n - 2] == u';' && units[n - 1] >= u'0' && units[n - 1] <= u'9') n -= 2;
    if (!plain) SanitizeUnits(units, n);
    if (n == 0 || IsDotText(units, n)) {
        n = std::max<size_t>(n, 1);
        std::fill_n(units, n, u'_');
    }
    return n;
}

size_t DecodeJolietName(std::span<const uint8_t> id, char16_t* units) {
    // A lone last byte of an odd-length identifier is no character.
    const size_t n = std::min(id.size(), kMaxJolietNameBytes) / 2;
    // Counted without a branch per unit, eight units at a time: names are
    // nearly always plain, and then the sanitizing pass is not needed.
    using Units8 = uint16_t __attribute__((vector_size(16)));
    using Mask8 = int16_t __attribute__((vector_size(16)));
    Mask8 unusualLanes{};
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        Units8 v;
        std::memcpy(&v, id.data() + 2 * i, sizeof v);
        if constexpr (std::endian::native == std::endian::little) v = (v << 8) | (v >> 8);
        unusualLanes |= (v < 0x20) | (v >= 0xD800) | (v == 0x7F) | (v == u'/') | (v == u'\\');
        std::memcpy(units + i, &v, sizeof v);
    }
    uint64_t lanes[2];
    std::memcpy(lanes, &unusualLanes, sizeof lanes);
    size_t unusual = (lanes[0] | lanes[1]) != 0 ? 1 : 0;
    for (; i < n; ++i) {
        const char16_t c = static_cast<char16_t>((id[2 * i] << 8) | id[2 * i + 1]);
        units[i] = c;
        unusual += IsPlainUnit(c) ? 0 : 1;
    }
    size_t end = n;
    if (end >= 2 && units[end - 2] == u';' && units[end - 1] == u'1') end -= 2;
    while (end > 0 && units[end - 1] == u'.') --end;
    return FinishName(units, end, unusual == 0);
}

size_t DecodeIsoName(std::span<const uint8_t> id, char16_t* units) {
    const auto bytes = id.first(std::min(id.size(), kMaxIsoNameBytes));
    // Names in plain ASCII need no code-page conversion; nearly every ISO 9660
    // name is d-characters, so this keeps large images fast to open.
    if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0x80; })) {
        std::copy(bytes.begin(), bytes.end(), units);
        return FinishName(units, bytes.size());
    }
    std::u16string name;
    const std::string_view narrow(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, narrow, name)) {
        // No converter for the code page: keep ASCII, mark the rest.
        name.clear();
        for (uint8_t b : bytes) name.push_back(b < 0x80 ? char16_t(b) : char16_t(0xFFFD));
    }
    // A byte never becomes more than one UTF-16 unit in the code pages we use.
    const size_t n = std::min(name.size(), kMaxIsoNameBytes);
    std::copy_n(name.begin(), n, units);
    return FinishName(units, n);
}

}  // namespace

void SanitizeItemName(std::u16string& name) {
    SanitizeUnits(name.data(), name.size());
    if (name.empty() || IsDotText(name.data(), name.size())) name.assign(std::max<size_t>(name.size(), 1), u'_');
}

size_t DecodeRecordNameInto(std::span<const uint8_t> identifier, RecordNameKind kind,
                            std::span<char16_t, kMaxRecordNameUnits> units) {
    return kind == RecordNameKind::Joliet ? DecodeJolietName(identifier, units.data())
                                          : DecodeIsoName(identifier, units.data());
}

std::u16string DecodeRecordName(std::span<const uint8_t> identifier, RecordNameKind kind) {
    std::array<char16_t, kMaxRecordNameUnits> units;
    return std::u16string(units.data(), DecodeRecordNameInto(identifier, kind, units));
}

}  // namespace image
