#include "image/iso_directory.h"

#include <algorithm>

#include "foundation/byte_order.h"
#include "platform/text.h"

namespace image {

std::optional<IsoDirectoryRecord> DecodeDirectoryRecord(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    const size_t n = bytes[dr::kLength];
    if (n < dr::kMinRecordBytes || n > bytes.size()) return std::nullopt;
    const size_t nameLength = bytes[dr::kNameLength];
    if (nameLength == 0 || nameLength > n - dr::kName) return std::nullopt;

    IsoDirectoryRecord r;
    r.bytes = bytes.first(n);
    r.identifier = bytes.subspan(dr::kName, nameLength);
    const uint8_t* p = bytes.data();
    r.extentLba = foundation::ReadLE32(p + dr::kExtent);
    r.dataBytes = foundation::ReadLE32(p + dr::kDataLength);
    r.extentConsistent = r.extentLba == foundation::ReadBE32(p + dr::kExtent + 4);
    r.lengthConsistent = r.dataBytes == foundation::ReadBE32(p + dr::kDataLength + 4);
    r.flags = p[dr::kFlags];
    std::copy_n(p + dr::kDate, r.date.size(), r.date.begin());
    return r;
}

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void CutVersionSuffix(std::u16string& name) {
    // ";" and exactly one digit, unless the ";" would leave nothing before it.
    const size_t n = name.size();
    if (n >= 3 && name[n - 2] == u';' && name[n - 1] >= u'0' && name[n - 1] <= u'9') {
        name.resize(n - 2);
    }
}

std::u16string DecodeJolietName(std::span<const uint8_t> id) {
    // A lone last byte of an odd-length identifier is no character.
    const size_t n = std::min(id.size(), kMaxJolietNameBytes) / 2;
    char16_t units[kMaxJolietNameBytes / 2];
    for (size_t i = 0; i < n; ++i) {
        units[i] = static_cast<char16_t>((id[2 * i] << 8) | id[2 * i + 1]);
    }
    size_t end = n;
    if (end >= 2 && units[end - 2] == u';' && units[end - 1] == u'1') end -= 2;
    while (end > 0 && units[end - 1] == u'.') --end;
    return std::u16string(units, end);
}

std::u16string DecodeIsoName(std::span<const uint8_t> id) {
    const auto bytes = id.first(std::min(id.size(), kMaxIsoNameBytes));
    // Names in plain ASCII need no code-page conversion; nearly every ISO 9660
    // name is d-characters, so this keeps large images fast to open.
    if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0x80; })) {
        return std::u16string(bytes.begin(), bytes.end());
    }
    std::u16string name;
    const std::string_view narrow(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, narrow, name)) {
        // No converter for the code page: keep ASCII, mark the rest.
        name.clear();
        for (uint8_t b : bytes) name.push_back(b < 0x80 ? char16_t(b) : char16_t(0xFFFD));
    }
    return name;
}

}  // namespace

void SanitizeItemName(std::u16string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t& c = name[i];
        if (c >= 0x20 && c != 0x7F && c != u'/' && c != u'\\' && (c < 0xD800 || c > 0xDFFF)) continue;
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') {
            c = u'_';
        } else if (IsHighSurrogate(c) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
            ++i;
        } else {
            c = 0xFFFD;
        }
    }
    if (name.empty() || name == u"." || name == u"..") {
        name.assign(std::max<size_t>(name.size(), 1), u'_');
    }
}

std::u16string DecodeRecordName(std::span<const uint8_t> identifier, RecordNameKind kind) {
    std::u16string name = kind == RecordNameKind::Joliet ? DecodeJolietName(identifier)
                                                         : DecodeIsoName(identifier);
    CutVersionSuffix(name);
    SanitizeItemName(name);
    return name;
}

}  // namespace image
