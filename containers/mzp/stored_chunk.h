#pragma once
// One stored chunk of an MZP archive or XDI image, both directions: the
// compressed bytes (deflate variant or LZMA86, or the plain bytes when
// compressing does not pay) and their CRC-32; when encrypted, a pad-count
// byte, the bytes zero-padded to whole AES blocks and enciphered one block
// at a time, then the CRC-32 of the unpadded bytes in the clear.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/aes.h"
#include "codecs/deflate_decoder.h"

namespace containers {

constexpr uint32_t kChunkTypeLzma = 0;
constexpr uint32_t kChunkTypeDeflate = 1;
constexpr size_t kChunkSlack = 65536 + 64;   // room a compressor may need beyond the chunk

struct ChunkCoding {
    int32_t encryptionType = 0;                    // 0 none, 1-3 AES-128/192/256
    const codecs::AesKeySchedule* key = nullptr;   // keyed schedule when encrypted
    int32_t deflateVariant = 0;                    // 0-3
    bool hoisted = false;                          // LZMA chunks lack their 14-byte header
    std::array<uint8_t, 6> prefix{};               // the header's first six bytes when hoisted
};

enum class ChunkResult { Ok, CrcMismatch, Damaged };

// Scratch that one reader or writer reuses for every chunk.
struct ChunkWork {
    std::vector<uint8_t> plain;
    std::vector<uint8_t> other;
    std::unique_ptr<codecs::DeflateDecoder> decoder;
};

// Decodes a stored chunk of `storedLength` bytes into out, which receives
// exactly `expected` bytes.
ChunkResult DecodeStoredChunk(const ChunkCoding& coding, const uint8_t* stored, size_t storedLength, uint32_t type,
                              uint8_t* out, size_t expected, ChunkWork& work);

struct CompressedChunk {
    size_t skip = 0;     // bytes before the stored chunk in the output (14 for a hoisted LZMA chunk)
    size_t stored = 0;   // the stored chunk's length
    uint32_t type = kChunkTypeDeflate;
    uint32_t crc = 0;    // CRC-32 of the compressed bytes
    bool lzmaHeaderTaken = false;   // a hoisted LZMA chunk: header holds its 14 header bytes
    std::array<uint8_t, 14> header{};
};

// Compresses n bytes into out (room n + kChunkSlack + 14): deflate variant
// always, LZMA86 too when `tryLzma`; the smaller wins; plain bytes when
// neither is smaller than the chunk. False when a compressor fails.
bool CompressChunk(const ChunkCoding& coding, bool tryLzma, const uint8_t* in, size_t n, uint8_t* out,
                   size_t capacity, CompressedChunk& result, ChunkWork& work);

}  // namespace containers
