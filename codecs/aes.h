#pragma once
// AES (FIPS-197) in electronic-codebook use: each 16-byte block enciphered by
// itself. The containers that use it key it straight from the password bytes,
// so this is only the block cipher; no mode, no key derivation.

#include <cstddef>
#include <cstdint>

namespace codecs {

struct AesKeySchedule {
    int32_t keyLength = 0;          // 16, 24 or 32; selects 10, 12 or 14 rounds
    uint32_t encryptKeys[60] = {};
    uint32_t decryptKeys[60] = {};  // equivalent inverse cipher form
};

// Builds the shared tables. Safe to call from any thread, any number of times;
// the other operations call it themselves, so no program has to remember to.
void AesGenTables();

// 0 on success; -1 when the length is not 16, 24 or 32 (schedule unchanged).
// The key text ends at its first NUL; the key is its first `keyLength` bytes,
// zero-padded when the text is shorter.
int AesSetKey(AesKeySchedule& schedule, const char* keyText, int keyLength);

// The same with a raw key of exactly `keyLength` bytes (NUL bytes included).
int AesSetKeyBytes(AesKeySchedule& schedule, const uint8_t* key, int keyLength);

// Output first, input second; out may equal in.
void AesEncryptBlock(const AesKeySchedule& schedule, uint8_t out[16], const uint8_t in[16]);
void AesDecryptBlock(const AesKeySchedule& schedule, uint8_t out[16], const uint8_t in[16]);

// `blocks` consecutive 16-byte blocks, each by itself; out may equal in.
// Several blocks at once keep the processor's cipher unit busy.
void AesEncryptBlocks(const AesKeySchedule& schedule, uint8_t* out, const uint8_t* in, size_t blocks);
void AesDecryptBlocks(const AesKeySchedule& schedule, uint8_t* out, const uint8_t* in, size_t blocks);

}  // namespace codecs
