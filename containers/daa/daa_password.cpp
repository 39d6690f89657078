#include "containers/daa/daa_password.h"

#include <algorithm>
#include <cstring>

#include "codecs/crc32.h"
#include "foundation/byte_cursor.h"

namespace containers {
namespace {

// A cursor over positions [low, high) that moves one position at a time,
// wrapping to `low`, and counts the positions still free: it steps first, then
// counts, and takes the position where the count reaches k.
struct Cursor {
    size_t position = 0;
    size_t Advance(std::vector<bool>& used, size_t low, size_t high, size_t k) {
        size_t counted = 0;
        // Each lap passes every position once, so a free one is met within
        // k laps; a range with none free is our own bug and ends the walk.
        for (size_t steps = 0; steps < (high - low) * (k + 1); ++steps) {
            position = position + 1 >= high || position + 1 < low ? low : position + 1;
            if (!used[position] && ++counted == k) {
                used[position] = true;
                return position;
            }
        }
        return position;
    }
};

}  // namespace

bool BuildDaaNibbleTable(std::string_view password, size_t n, DaaNibbleRow& row) {
    if (password.empty() || n == 0 || n > kDaaPasswordBlock) return false;
    const size_t p = 2 * n;
    const uint8_t c0 = uint8_t(password[0]);
    std::vector<bool> used(p, false);
    row.fill(0);
    Cursor cursor;
    if (p <= 64) {
        cursor.position = std::min<size_t>(c0 >> 5, p - 1);
        for (size_t j = 0; j < p; ++j) row[j] = uint8_t(cursor.Advance(used, 0, p, 11));
        return true;
    }
    cursor.position = 32 + (c0 >> 5);
    used[cursor.position] = true;
    row[0] = uint8_t(cursor.position);
    size_t next = 1;
    for (size_t j = 1; j <= p - 33; ++j) {
        const size_t k = next < password.size() ? uint8_t(password[next++]) : 11;
        row[j] = uint8_t(cursor.Advance(used, 32, p, k == 0 ? 11 : k));
    }
    const size_t tailStep = (c0 & 7) != 0 ? (c0 & 7) : 7;
    for (size_t j = p - 32; j < p; ++j) row[j] = uint8_t(cursor.Advance(used, 0, p, tailStep));
    if ((c0 & 0x18) != 0) {
        const DaaNibbleRow before = row;
        std::vector<bool> moved(p, false);
        Cursor second;
        for (size_t l = 0; l < p; ++l) row[l] = before[second.Advance(moved, 0, p, c0 & 0x18)];
    }
    return true;
}

bool SetDaaPassword(std::string_view password, DaaNibbleTables& tables) {
    if (password.empty()) return false;
    password = password.substr(0, kDaaPasswordMaxBytes);
    tables.rows.assign(kDaaPasswordBlock, DaaNibbleRow{});
    for (size_t n = 1; n <= kDaaPasswordBlock; ++n)
        if (!BuildDaaNibbleTable(password, n, tables.rows[n - 1])) return false;
    return true;
}

void UnscrambleDaaNibbles(const DaaNibbleRow& row, const uint8_t* in, uint8_t* out, size_t n) {
    std::memset(out, 0, n);
    for (size_t x = 0; x < n; ++x) {
        const uint8_t nibbles[2] = {uint8_t(in[x] & 0x0F), uint8_t(in[x] >> 4)};
        for (size_t h = 0; h < 2; ++h) {
            const size_t position = row[2 * x + h];
            out[position / 2] |= uint8_t(position % 2 == 0 ? nibbles[h] : nibbles[h] << 4);
        }
    }
}

void ScrambleDaaNibbles(const DaaNibbleRow& row, const uint8_t* in, uint8_t* out, size_t n) {
    auto nibble = [in](size_t position) { return uint8_t(position % 2 == 0 ? in[position / 2] & 0x0F : in[position / 2] >> 4); };
    for (size_t x = 0; x < n; ++x) out[x] = uint8_t(nibble(row[2 * x + 1]) << 4 | nibble(row[2 * x]));
}

void UnscrambleDaaChunk(const DaaNibbleTables& tables, const uint8_t* in, uint8_t* out, size_t length) {
    for (size_t at = 0; at < length; at += kDaaPasswordBlock) {
        const size_t n = std::min(kDaaPasswordBlock, length - at);
        UnscrambleDaaNibbles(tables.rows[n - 1], in + at, out + at, n);
    }
}

void ScrambleDaaChunk(const DaaNibbleTables& tables, const uint8_t* in, uint8_t* out, size_t length) {
    for (size_t at = 0; at < length; at += kDaaPasswordBlock) {
        const size_t n = std::min(kDaaPasswordBlock, length - at);
        ScrambleDaaNibbles(tables.rows[n - 1], in + at, out + at, n);
    }
}

bool CheckDaaPassword(std::string_view password, const uint8_t* record) {
    DaaNibbleRow row;
    if (!BuildDaaNibbleTable(password.substr(0, kDaaPasswordMaxBytes), kDaaPasswordBlock, row)) return false;
    foundation::ByteCursor c(record, kDaaPasswordRecordBytes);
    uint8_t plain[kDaaPasswordBlock];
    UnscrambleDaaNibbles(row, record + 16, plain, kDaaPasswordBlock);
    return codecs::Crc32(plain, sizeof plain) == c.Le32(12);
}

std::array<uint8_t, kDaaPasswordRecordBytes> MakeDaaPasswordRecord(std::string_view password,
                                                                  const std::array<uint8_t, 128>& check) {
    std::array<uint8_t, kDaaPasswordRecordBytes> record{};
    foundation::ByteWriter w(record);
    w.Le32(0, 3);
    w.Le32(4, uint32_t(kDaaPasswordRecordBytes));
    w.Le32(12, codecs::Crc32(check.data(), check.size()));
    DaaNibbleRow row;
    if (BuildDaaNibbleTable(password.substr(0, kDaaPasswordMaxBytes), kDaaPasswordBlock, row))
        ScrambleDaaNibbles(row, check.data(), record.data() + 16, kDaaPasswordBlock);
    return record;
}

}  // namespace containers
