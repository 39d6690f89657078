#include "containers/mzp/stored_chunk.h"

#include <cstring>
#include <new>

#include "codecs/crc32.h"
#include "codecs/deflate_encoder.h"
#include "containers/lzma86/lzma86.h"
#include "foundation/byte_order.h"

namespace containers {
namespace {

constexpr size_t kAesBlock = 16;
constexpr uint32_t kLzmaPreset = 5;
constexpr uint32_t kLzmaDictionary = 1u << 24;

bool Reserve(std::vector<uint8_t>& v, size_t n) {
    try {
        if (v.size() < n) v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

ChunkResult DecodeStoredChunk(const ChunkCoding& coding, const uint8_t* stored, size_t s, uint32_t type, uint8_t* out,
                              size_t expected, ChunkWork& work) {
    const bool encrypted = coding.encryptionType != 0;
    if (encrypted && coding.key == nullptr) return ChunkResult::Damaged;
    const size_t overhead = encrypted ? 5 : 4;
    if (s <= overhead) return ChunkResult::Damaged;
    // The plain compressed bytes go 14 bytes into the work buffer, so a
    // hoisted LZMA header can be put back in front of them.
    const size_t front = kLzma86HeaderBytes;
    if (!Reserve(work.plain, front + s)) return ChunkResult::Damaged;
    uint8_t* data = work.plain.data() + front;
    size_t n = 0;
    if (encrypted) {
        const size_t pad = stored[0];
        const size_t blocks = s - 5;
        if (pad >= kAesBlock || blocks % kAesBlock != 0 || pad > blocks) return ChunkResult::Damaged;
        codecs::AesDecryptBlocks(*coding.key, data, stored + 1, blocks / kAesBlock);
        n = blocks - pad;
    } else {
        std::memcpy(data, stored, s - 4);
        n = s - 4;
    }
    if (codecs::Crc32(data, n) != foundation::ReadLE32(stored + s - 4)) return ChunkResult::CrcMismatch;

    if (s == expected + overhead) {
        if (n != expected) return ChunkResult::Damaged;
        std::memcpy(out, data, expected);
        return ChunkResult::Ok;
    }
    if (type == kChunkTypeDeflate) {
        if (!work.decoder) {
            try {
                work.decoder = std::make_unique<codecs::DeflateDecoder>();
            } catch (const std::bad_alloc&) {
                return ChunkResult::Damaged;
            }
        }
        work.decoder->variant = coding.deflateVariant;
        const int64_t got = codecs::DeflateDecompressSized(*work.decoder, data, out, n, int64_t(expected));
        return got == int64_t(expected) ? ChunkResult::Ok : ChunkResult::Damaged;
    }
    if (type == kChunkTypeLzma) {
        const uint8_t* stream = data;
        size_t length = n;
        if (coding.hoisted) {
            uint8_t* head = data - front;
            std::memcpy(head, coding.prefix.data(), coding.prefix.size());
            for (int i = 0; i < 8; ++i) head[6 + i] = uint8_t(uint64_t(expected) >> (8 * i));
            stream = head;
            length = n + front;
        }
        return Lzma86Decode(stream, length, out, expected) == int64_t(expected) ? ChunkResult::Ok : ChunkResult::Damaged;
    }
    return ChunkResult::Damaged;
}

bool CompressChunk(const ChunkCoding& coding, bool tryLzma, const uint8_t* in, size_t n, uint8_t* out,
                   size_t capacity, CompressedChunk& result, ChunkWork& work) {
    result = CompressedChunk{};
    const bool encrypted = coding.encryptionType != 0;
    if (capacity < n + kChunkSlack + kLzma86HeaderBytes) return false;
    if (!Reserve(work.plain, n + kChunkSlack) || !Reserve(work.other, n + kChunkSlack)) return false;

    const int64_t deflated =
        codecs::DeflateCompressBlock(in, work.plain.data(), n, coding.deflateVariant, work.plain.size());
    if (deflated < 0) return false;
    const uint8_t* chosen = work.plain.data();
    size_t length = size_t(deflated);
    uint32_t type = kChunkTypeDeflate;
    if (tryLzma) {
        // One window size for every chunk, so every chunk's header begins alike.
        const std::vector<uint8_t> encoded = Lzma86Encode(in, n, kLzmaPreset, kLzmaDictionary);
        if (encoded.empty()) return false;
        if (encoded.size() > work.other.size()) work.other.resize(encoded.size());
        std::memcpy(work.other.data(), encoded.data(), encoded.size());
        const int64_t packed = int64_t(encoded.size());
        const size_t counted = coding.hoisted ? size_t(packed) - kLzma86HeaderBytes : size_t(packed);
        if (counted < length) {
            type = kChunkTypeLzma;
            chosen = work.other.data();
            length = size_t(packed);
            if (coding.hoisted) {
                std::memcpy(result.header.data(), chosen, kLzma86HeaderBytes);
                result.lzmaHeaderTaken = true;
                chosen += kLzma86HeaderBytes;
                length -= kLzma86HeaderBytes;
                result.skip = kLzma86HeaderBytes;
            }
        }
    }
    const size_t padded = encrypted ? (length + kAesBlock - 1) / kAesBlock * kAesBlock : length;
    if (padded >= n) {
        // Compressing did not pay: the plain bytes, as a type-1 chunk.
        chosen = in;
        length = n;
        type = kChunkTypeDeflate;
        result.skip = 0;
        result.lzmaHeaderTaken = false;
    }
    result.type = type;
    result.crc = codecs::Crc32(chosen, length);
    uint8_t* dst = out + result.skip;
    if (encrypted) {
        if (coding.key == nullptr) return false;
        const size_t blocks = (length + kAesBlock - 1) / kAesBlock;
        dst[0] = uint8_t(blocks * kAesBlock - length);
        std::memcpy(dst + 1, chosen, length);
        std::memset(dst + 1 + length, 0, blocks * kAesBlock - length);
        codecs::AesEncryptBlocks(*coding.key, dst + 1, dst + 1, blocks);
        foundation::WriteLE32(dst + 1 + blocks * kAesBlock, result.crc);
        result.stored = blocks * kAesBlock + 5;
    } else {
        std::memmove(dst, chosen, length);
        foundation::WriteLE32(dst + length, result.crc);
        result.stored = length + 4;
    }
    return true;
}

}  // namespace containers
