#include "filesystems/udf/udf_descriptors.h"

#include <array>
#include <cstring>
#include <ctime>

#include "foundation/byte_order.h"
#include "foundation/dates.h"

namespace filesystems {
namespace {

// Built at compile time: a table filled on first use would race between two
// documents read at once.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = uint16_t(crc);
    }
    return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

// Tag fields (ECMA-167 3/7.2).
constexpr size_t kTagIdentifier = 0;
constexpr size_t kTagVersion = 2;
constexpr size_t kTagChecksum = 4;
constexpr size_t kTagSerial = 6;
constexpr size_t kTagCrc = 8;
constexpr size_t kTagCrcLength = 10;
constexpr size_t kTagLocation = 12;

// Timestamp fields (ECMA-167 1/7.3).
constexpr uint16_t kTimestampTypeLocal = 1;
constexpr int kNoZoneOffset = -2047;
constexpr size_t kDstringMaxBytes = 1024;

// Days from 1970-01-01 to the date (proleptic Gregorian), for dates the
// calendar check below has accepted.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

uint16_t UdfDescriptorCrc(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    for (uint8_t b : bytes) crc = uint16_t((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
    return crc;
}

uint8_t UdfTagChecksum(const uint8_t* tag) {
    uint32_t sum = 0;
    for (size_t i = 0; i < kUdfTagBytes; ++i)
        if (i != kTagChecksum) sum += tag[i];
    return uint8_t(sum);
}

UdfTag DecodeUdfTag(std::span<const uint8_t> block) {
    UdfTag tag;
    if (block.size() < kUdfTagBytes) return tag;
    const uint8_t* p = block.data();
    tag.identifier = foundation::ReadLE16(p + kTagIdentifier);
    tag.version = foundation::ReadLE16(p + kTagVersion);
    tag.location = foundation::ReadLE32(p + kTagLocation);
    tag.checksumOk = UdfTagChecksum(p) == p[kTagChecksum];
    return tag;
}

bool IsValidUdfTag(std::span<const uint8_t> block, uint32_t expectedLocation) {
    const UdfTag tag = DecodeUdfTag(block);
    return tag.checksumOk && (tag.version == 2 || tag.version == 3) && tag.location == expectedLocation;
}

void StampUdfTag(uint8_t* descriptor, size_t descriptorBytes, uint16_t identifier, uint32_t location) {
    const size_t bodyBytes = descriptorBytes > kUdfTagBytes ? descriptorBytes - kUdfTagBytes : 0;
    foundation::WriteLE16(descriptor + kTagIdentifier, identifier);
    foundation::WriteLE16(descriptor + kTagVersion, 2);
    descriptor[kTagChecksum] = 0;
    descriptor[kTagChecksum + 1] = 0;
    foundation::WriteLE16(descriptor + kTagSerial, 0);
    foundation::WriteLE16(descriptor + kTagCrc,
                          UdfDescriptorCrc(std::span<const uint8_t>(descriptor + kUdfTagBytes, bodyBytes)));
    foundation::WriteLE16(descriptor + kTagCrcLength, uint16_t(bodyBytes));
    foundation::WriteLE32(descriptor + kTagLocation, location);
    descriptor[kTagChecksum] = UdfTagChecksum(descriptor);
}

int64_t UdfTimestampToUnixTime(std::span<const uint8_t, kUdfTimestampBytes> ts) {
    const uint16_t typeAndZone = foundation::ReadLE16(ts.data());
    const int16_t year = int16_t(foundation::ReadLE16(ts.data() + 2));
    const unsigned month = ts[4], day = ts[5], hour = ts[6], minute = ts[7], second = ts[8];
    static constexpr uint8_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return 0;
    const unsigned monthDays = kMonthDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
    if (day > monthDays) return 0;
    int64_t seconds = DaysFromCivil(year, month, day) * 86400 + int64_t(hour) * 3600 + minute * 60 + second;
    // The low 12 bits are a signed offset in minutes from UTC; only a local
    // time (type 1) carries one, and -2047 says it is not known. The fields
    // are taken as they stand, whatever the reading machine's own zone.
    const uint16_t type = typeAndZone >> 12;
    int offset = typeAndZone & 0x0FFF;
    if (offset & 0x0800) offset -= 0x1000;
    if (type == kTimestampTypeLocal && offset != kNoZoneOffset && offset >= -1440 && offset <= 1440)
        seconds -= int64_t(offset) * 60;
    return seconds;
}

void UdfTimeToIsoDate(uint8_t out[7], std::span<const uint8_t, kUdfTimestampBytes> timestamp) {
    std::memset(out, 0, 7);
    const int64_t seconds = UdfTimestampToUnixTime(timestamp);
    if (seconds != 0) foundation::UnixTimeToIsoRecordDate(seconds, std::span<uint8_t>(out, 7));
}

void UdfMakeTimestamp(uint8_t out[kUdfTimestampBytes], const uint8_t isoDate[7]) {
    std::memset(out, 0, kUdfTimestampBytes);
    const int zone = int8_t(isoDate[6]);   // 15-minute units
    foundation::WriteLE16(out, uint16_t(0x1000 | (uint16_t(zone * 15) & 0x0FFF)));
    foundation::WriteLE16(out + 2, uint16_t(isoDate[0] + 1900));
    std::memcpy(out + 4, isoDate + 1, 5);
}

bool DecodeOstaCs0(std::span<const uint8_t> bytes, std::u16string& out) {
    out.clear();
    if (bytes.empty()) return true;
    const uint8_t compression = bytes[0];
    const std::span<const uint8_t> text = bytes.subspan(1);
    if (compression == 8) {
        // Eight-bit CS0 is the first 256 code points of Unicode (Latin-1),
        // whatever code page the reading machine uses.
        out.reserve(text.size());
        for (uint8_t b : text) out.push_back(char16_t(b));
        return true;
    }
    if (compression == 16) {
        out.reserve(text.size() / 2);
        for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(char16_t(text[i] << 8 | text[i + 1]));
        return true;
    }
    return false;
}

std::u16string DecodeUdfDstring(std::span<const uint8_t> field) {
    std::u16string out;
    if (field.size() < 2) return out;
    size_t used = field.back();
    if (used < 1 || used > field.size() - 1 || used > kDstringMaxBytes) return out;
    if (!DecodeOstaCs0(field.first(used), out)) out.clear();
    return out;
}

std::string EncodeOstaCs0(std::u16string_view text) {
    bool narrow = true;
    for (char16_t c : text)
        if (c >= 0x80) narrow = false;
    std::string out;
    out.reserve(1 + text.size() * (narrow ? 1 : 2));
    out.push_back(char(narrow ? 8 : 16));
    for (char16_t c : text) {
        if (!narrow) out.push_back(char(c >> 8));
        out.push_back(char(c & 0xFF));
    }
    return out;
}

void EncodeUdfDstring(std::span<uint8_t> field, std::u16string_view text) {
    std::fill(field.begin(), field.end(), 0);
    if (text.empty() || field.size() < 3) return;
    std::string cs0 = EncodeOstaCs0(text);
    const bool narrow = cs0[0] == 8;
    size_t room = std::min(field.size() - 2, kDstringMaxBytes);
    if (!narrow) room &= ~size_t(1);
    const size_t take = std::min(cs0.size() - 1, room);
    field[0] = uint8_t(cs0[0]);
    std::memcpy(field.data() + 1, cs0.data() + 1, take);
    field.back() = uint8_t(take + 1);
}

}  // namespace filesystems
