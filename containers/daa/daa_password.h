#pragma once
// The password scheme of DAA/HXI images: the 4-bit halves of every byte of a
// chunk are permuted in blocks of up to 128 bytes under a permutation derived
// from the password, one permutation per block length.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace containers {

constexpr size_t kDaaPasswordBlock = 128;
// The reader takes at most this many password bytes.
constexpr size_t kDaaPasswordMaxBytes = 64;
constexpr size_t kDaaPasswordRecordBytes = 144;

// Row n (block length n, 1..128): the 2n nibble positions in their order.
using DaaNibbleRow = std::array<uint8_t, 256>;

struct DaaNibbleTables {
    std::vector<DaaNibbleRow> rows;   // rows[n - 1]
};

// The row of block length n for the password (its bytes unsigned; an empty
// password is no password and gives no row).
bool BuildDaaNibbleTable(std::string_view password, size_t n, DaaNibbleRow& row);
// Every row, 1..128; false for an empty password.
bool SetDaaPassword(std::string_view password, DaaNibbleTables& tables);

void UnscrambleDaaNibbles(const DaaNibbleRow& row, const uint8_t* in, uint8_t* out, size_t n);
void ScrambleDaaNibbles(const DaaNibbleRow& row, const uint8_t* in, uint8_t* out, size_t n);
// A whole chunk in consecutive blocks of 128 bytes, the last with its own row.
void UnscrambleDaaChunk(const DaaNibbleTables& tables, const uint8_t* in, uint8_t* out, size_t length);
void ScrambleDaaChunk(const DaaNibbleTables& tables, const uint8_t* in, uint8_t* out, size_t length);

// Whether the password opens the 144-byte check record (type 3).
bool CheckDaaPassword(std::string_view password, const uint8_t* record);
// The check record for a password from 128 check bytes.
std::array<uint8_t, kDaaPasswordRecordBytes> MakeDaaPasswordRecord(std::string_view password,
                                                                  const std::array<uint8_t, 128>& check);

}  // namespace containers
