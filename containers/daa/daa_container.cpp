#include "containers/daa/daa_container.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/crc32.h"
#include "codecs/deflate_chain.h"
#include "codecs/deflate_decoder.h"
#include "containers/lzma86/lzma86.h"
#include "foundation/byte_cursor.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"

namespace containers {
namespace {

constexpr uint8_t kDaaMask[8] = {0xC7, 0x14, 0x9E, 0x52, 0x0B, 0xA8, 0x3F, 0x61};
constexpr uint8_t kHxiMask[7] = {0x3A, 0x91, 0xC4, 0x07, 0x5E, 0xB2, 0x6D};
constexpr size_t kTablePadding = 8;
constexpr size_t kMaxRecordBytes = 1u << 20;
// A decoded chunk is at most 0xFFF x 16 KB; a stored one at most 64 KB more.
constexpr uint64_t kStoredSlack = 65536;
constexpr int32_t kCacheSlots = 4;

enum class Magic { None, Daa, Hxi, Volume };

Magic MagicOf(const uint8_t* bytes) {
    const size_t n = strnlen(reinterpret_cast<const char*>(bytes), 16);
    const std::string_view text(reinterpret_cast<const char*>(bytes), n);
    if (text == "DAA") return Magic::Daa;
    if (text == "HXI") return Magic::Hxi;
    if (text == std::string_view("\xB7\xA7\xB6", 3)) return Magic::Hxi;   // NOT "HXI"
    if (text == "DAA VOL" || text == "HXI VOL") return Magic::Volume;
    return Magic::None;
}

uint32_t BitWidth(uint64_t value) {
    uint32_t bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

// The volume-sizes and volume records: per-volume starts and sizes.
bool ReadVolumes(DaaContainer& c, platform::FileHandle file) {
    const auto found = ReadDaaDescriptor(file, daa::kRecordVolume, c.headerPosition, kMaxRecordBytes);
    if (!found) return false;
    const std::vector<uint8_t>& volume = *found;
    if (volume.empty()) {
        const int64_t size = foundation::GetFileSize64(file);
        c.volumeSizes = {uint64_t(size)};
        c.volumeStarts = {0};
        return size > 0;
    }
    if (volume.size() < daa::kVolumeRecordBytes) return false;
    foundation::ByteCursor v(volume);
    const uint32_t count = v.Le32(8);
    c.namingStyle = int32_t(v.U8(48) & 0x0F);
    const uint32_t slots = c.namingStyle == 0 ? 99 : c.namingStyle == 1 ? 512 : c.namingStyle == 2 ? 101 : 0;
    if (count == 0 || count > slots) return false;
    const std::vector<uint8_t> sizes =
        ReadDaaDescriptor(file, daa::kRecordVolumeSizes, c.headerPosition, kMaxRecordBytes).value_or(std::vector<uint8_t>{});
    foundation::ByteCursor s(sizes);
    if (sizes.size() < uint64_t(count) * 5 + 16 || s.Le32(8) != count || s.Le32(12) != 1) return false;
    uint64_t start = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t size = uint64_t(s.Le32(16 + 5 * i)) | uint64_t(s.U8(20 + 5 * i)) << 32;
        // Later volumes hold their header and volume record before any data.
        if (i > 0 && size <= daa::kVolumeDataOffset) return false;
        c.volumeStarts.push_back(start);
        c.volumeSizes.push_back(size);
        start += i == 0 ? size - VolumeZeroTrailer(c, size) : size - daa::kVolumeDataOffset;
    }
    c.multiVolume = count > 1;
    return true;
}

uint64_t JointSize(const DaaContainer& c) {
    if (c.volumeSizes.empty()) return 0;
    const size_t last = c.volumeSizes.size() - 1;
    return c.volumeStarts[last] + c.volumeSizes[last] -
           (last == 0 ? VolumeZeroTrailer(c, c.volumeSizes[0]) : daa::kVolumeDataOffset);
}

bool ReadComment(DaaContainer& c, platform::FileHandle file, image::ImageContext& ctx) {
    const auto found = ReadDaaDescriptor(file, daa::kRecordComment, c.headerPosition, kMaxRecordBytes);
    if (!found) return false;
    const std::vector<uint8_t>& record = *found;
    if (record.size() < 5) return true;
    foundation::ByteCursor r(record);
    if (record.size() < 16 || r.Le32(8) != 0 || r.Le32(12) > daa::kMaxCommentBytes) return false;
    std::vector<uint8_t> text;
    // The chain starts with the decoded length, which is the field at 12.
    if (codecs::InflateBuffer(record.data() + 12, record.size() - 12, text, nullptr) != 0 || text.size() != r.Le32(12))
        return false;
    ctx.archiveComment.assign(text.begin(), text.end());
    ctx.archiveCommentPresent = 1;
    return true;
}

// The password of the document: the one it was given, else asked for.
void TakePassword(DaaContainer& c, image::ImageContext& ctx, const std::vector<uint8_t>& record) {
    auto given = [&ctx]() {
        return std::string_view(ctx.outputPassword.data(), strnlen(ctx.outputPassword.data(), ctx.outputPassword.size()));
    };
    std::string_view password = given();
    if (password.empty() || !CheckDaaPassword(password, record.data())) {
        if (!image::AskPassword(&ctx, record.data())) {
            c.passwordRefused = true;
            return;
        }
        password = given();
        if (!CheckDaaPassword(password, record.data())) {
            c.passwordRefused = true;
            return;
        }
    }
    SetDaaPassword(password, c.password);
}

bool ReadTable(DaaContainer& c, const uint8_t* header) {
    foundation::ByteCursor h(header, daa::kHeaderBytes);
    const uint64_t tableOffset = h.Le32(16);
    uint64_t tableBytes = 0;
    if (c.format == daa::kFormat100) {
        tableBytes = 3 * c.chunkCount;
    } else {
        const uint8_t widths = h.U8(61);
        c.typeBits = widths & 7;
        c.lengthBits = (widths >> 3) != 0 ? uint32_t(widths >> 3) + 10 : BitWidth(c.chunkSize - 1);
        tableBytes = (c.chunkCount * (c.lengthBits + c.typeBits) + 7) / 8;
    }
    // The table cannot be larger than the data it describes.
    if (tableBytes == 0 || tableBytes > c.totalDataSize || tableBytes > JointSize(c)) return false;
    const uint32_t offsetField = h.Le32(24);
    uint64_t position = c.headerPosition + tableOffset;
    uint64_t storedBytes = tableBytes;
    const bool compressed = c.format == daa::kFormat110 && (c.flags & daa::kFlagCompressedTable);
    if (compressed) storedBytes = h.Le32(57);
    if (storedBytes == 0 || storedBytes > JointSize(c)) return false;
    if (c.format == daa::kFormat110 && (offsetField & daa::kOffsetTableAtEnd)) {
        if (storedBytes > c.totalDataSize) return false;
        position = c.totalDataSize - storedBytes;
    }
    std::vector<uint8_t> stored;
    try {
        stored.resize(size_t(storedBytes));
        c.table.assign(size_t(tableBytes) + kTablePadding, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!ReadDaaStored(c, stored.data(), position, storedBytes)) return false;
    if (compressed) {
        if (c.hxi) {
            const uint8_t low = uint8_t(~storedBytes);
            for (size_t i = 0; i < stored.size(); ++i) stored[i] = uint8_t(low ^ uint8_t(stored[i] - 7 * i));
        }
        std::vector<uint8_t> room(size_t(tableBytes) + 65536);
        codecs::DeflateDecoder& decoder = *c.decoder;
        decoder.variant = 0;
        const int64_t n = codecs::DeflateDecompressSized(decoder, stored.data(), room.data(), stored.size(),
                                                         int64_t(room.size()));
        if (n != int64_t(tableBytes)) return false;
        std::memcpy(c.table.data(), room.data(), size_t(tableBytes));
    } else {
        std::memcpy(c.table.data(), stored.data(), size_t(tableBytes));
    }
    // The byte masks belong to tables stored as they are: a compressed table's
    // stored size is inside the header CRC they would depend on.
    if (c.format == daa::kFormat110 && !compressed) {
        uint8_t* t = c.table.data();
        if (c.flags & daa::kFlagAdditiveMask) {
            if (c.hxi) {
                const uint8_t c0 = uint8_t(c.headerCrc), c1 = uint8_t(c.headerCrc >> 8);
                for (uint64_t i = 0; i < tableBytes; ++i) t[i] = uint8_t(t[i] + uint8_t(c0 + i * c1));
            } else {
                const uint8_t s0 = uint8_t(c.sectorCount), s1 = uint8_t(c.sectorCount >> 8);
                uint8_t sum = 0;
                for (uint64_t i = 0; i < tableBytes; ++i) sum = uint8_t(sum + uint8_t(s0 + i * s1));
                t[0] = uint8_t(t[0] - sum);
            }
        } else if (c.hxi) {
            const uint8_t low = uint8_t(c.headerCrc);
            const uint8_t shift = uint8_t(tableBytes >> 2);
            for (uint64_t i = 0; i < tableBytes; ++i) t[i] = uint8_t(uint8_t(t[i] - low) ^ shift);
        }
    }
    // Chunk offsets, each chunk inside the data.
    const uint64_t joint = JointSize(c);
    c.offsets.resize(size_t(c.chunkCount) + 1);
    uint64_t at = c.headerPosition + c.dataOffset;
    for (uint64_t i = 0; i < c.chunkCount; ++i) {
        const uint64_t s = GetDaaChunkStoredLength(c, i);
        const uint64_t d = i + 1 == c.chunkCount ? c.lastChunkSize : c.chunkSize;
        if (s <= 4 || s > d + kStoredSlack || at > joint || s > joint - at) return false;
        c.offsets[size_t(i)] = at;
        at += s;
    }
    c.offsets[size_t(c.chunkCount)] = at;
    return true;
}

// The header position: 0, or behind a self-extracting stub as a trailer
// (first) or an end record at the end of the file says. An end record's entry
// table must read, or the file does not open.
bool FindHeader(DaaContainer& c, platform::FileHandle file) {
    const int64_t size = foundation::GetFileSize64(file);
    if (size <= int64_t(daa::kTrailerBytes)) return true;
    uint8_t tail[daa::kEndRecordBytes] = {};
    const size_t n = std::min<uint64_t>(uint64_t(size), sizeof tail);
    if (!foundation::ReadFileAt(file, tail + sizeof tail - n, uint64_t(size) - n, n)) return false;
    foundation::ByteCursor trailer(tail + sizeof tail - daa::kTrailerBytes, daa::kTrailerBytes);
    if (trailer.Le32(0) == daa::kRecordTrailer && trailer.Le32(4) == daa::kTrailerBytes) {
        const uint64_t h = trailer.Le32(12) & 0x7FFFFFFFu;
        uint8_t magic[16];
        if (h + daa::kHeaderBytes <= uint64_t(size) && foundation::ReadFileAt(file, magic, h, sizeof magic) &&
            (MagicOf(magic) == Magic::Daa || MagicOf(magic) == Magic::Hxi)) {
            c.headerPosition = h;
            return true;
        }
    }
    if (uint64_t(size) <= daa::kMinEndRecordFile) return true;
    foundation::ByteCursor end(tail, sizeof tail);
    if (end.Le32(0) != daa::kRecordEnd || end.Le32(4) != daa::kEndRecordBytes) return true;
    const uint64_t h = end.Le32(20);
    const uint64_t tablePosition = end.Le32(12), tableBytes = end.Le32(16);
    if (h + daa::kHeaderBytes > uint64_t(size) - daa::kEndRecordBytes) return true;
    uint8_t magic[16];
    if (!foundation::ReadFileAt(file, magic, h, sizeof magic) ||
        (MagicOf(magic) != Magic::Daa && MagicOf(magic) != Magic::Hxi))
        return true;
    // The entry table lies between the stub and the header.
    if (tableBytes < kEntryTableHead || tableBytes > kMaxEntryTableBytes || tablePosition > h ||
        tableBytes > h - tablePosition)
        return false;
    std::vector<uint8_t> record(static_cast<size_t>(tableBytes), 0);
    if (!foundation::ReadFileAt(file, record.data(), tablePosition, record.size())) return false;
    c.sfx = ParseEntryTable(record.data(), record.size());
    if (!c.sfx) return false;
    c.headerPosition = h;
    c.endRecord = true;
    return true;
}

bool ParseHeader(DaaContainer& c, image::ImageContext& ctx, platform::FileHandle file) {
    uint8_t header[daa::kHeaderBytes];
    if (!foundation::ReadFileAt(file, header, c.headerPosition, sizeof header)) return false;
    foundation::ByteCursor h(header, sizeof header);
    const Magic magic = MagicOf(header);
    if (magic != Magic::Daa && magic != Magic::Hxi) return false;
    c.hxi = magic == Magic::Hxi;
    c.headerCrc = h.Le32(72);
    if (codecs::Crc32(header, 72) != c.headerCrc) return false;
    if (h.Le32(16) < daa::kHeaderBytes || h.Le32(28) != 1) return false;
    c.format = h.Le32(20);
    const uint32_t sizeField = h.Le32(36);
    c.flags = c.format == daa::kFormat110 ? sizeField & ~0xFFFu : 0;
    c.chunkSize = c.format == daa::kFormat110 ? uint64_t(sizeField & 0xFFF) << 14 : sizeField;
    c.imageSize = h.Le64(40);
    c.totalDataSize = h.Le64(48);
    c.compressionLevel = h.U8(56);
    c.sectorCount = c.imageSize / 2048;
    const uint32_t offsetField = h.Le32(24);
    c.dataOffset = offsetField & daa::kDataOffsetMask;

    if (!ReadVolumes(c, file)) return false;
    for (int32_t i = 0; i < int32_t(c.volumeSizes.size()); ++i)
        c.volumeNames.push_back(i == 0 ? ctx.imagePath : GetDaaVolumeName(ctx.imagePath, i, c.namingStyle));
    if (c.multiVolume && c.volumeNames.back().empty()) return false;
    if (!ReadComment(c, file, ctx)) return false;
    const auto found = ReadDaaDescriptor(file, daa::kRecordPassword, c.headerPosition, kMaxRecordBytes);
    if (!found) return false;
    const std::vector<uint8_t>& check = *found;
    if (!check.empty()) {
        foundation::ByteCursor p(check);
        if (check.size() != kDaaPasswordRecordBytes || p.Le32(8) != 0) return false;
        TakePassword(c, ctx, check);
    }
    if (c.format != daa::kFormat100 && c.format != daa::kFormat110) {
        c.formatUnsupported = true;
        return true;
    }
    // Values derived from a self-extracting stub we do not carry.
    if (c.flags & (daa::kFlagStubKey | daa::kFlagMaskedSize)) {
        c.formatUnsupported = true;
        return true;
    }
    if (c.passwordRefused) return true;
    if (c.format == daa::kFormat100 && c.chunkSize != 65536) return false;
    if (c.chunkSize == 0 || c.chunkSize % 2048 != 0 || c.imageSize == 0) return false;
    if ((c.imageSize + 2047) / 2048 > uint64_t(INT32_MAX)) return false;
    c.sectorsPerChunk = uint32_t(c.chunkSize / 2048);
    c.chunkCount = (c.imageSize + c.chunkSize - 1) / c.chunkSize;
    c.lastChunkSize = c.imageSize % c.chunkSize != 0 ? c.imageSize % c.chunkSize : c.chunkSize;
    if (c.format == daa::kFormat110) {
        c.allType1 = (offsetField & daa::kOffsetAllType1) != 0;
        c.tableMasked = (c.flags & daa::kFlagTableMask) != 0;
        c.sharedLzmaHeader = (c.flags & daa::kFlagSharedLzmaHeader) != 0;
        std::memcpy(c.lzmaHeader.data(), header + 62, 6);
        const int32_t stored = int32_t((c.flags >> 23) & 3);
        c.variant = c.hxi ? stored ^ 1 : stored;
    }
    return ReadTable(c, header);
}

}  // namespace

DaaContainer::DaaContainer() = default;
DaaContainer::~DaaContainer() = default;

std::optional<std::vector<uint8_t>> ReadDaaDescriptor(platform::FileHandle file, uint32_t type, uint64_t position,
                                                      size_t maxBytes) {
    uint8_t head[20];
    if (!foundation::ReadFileAt(file, head, position, sizeof head)) return std::nullopt;
    const Magic magic = MagicOf(head);
    uint64_t at = 0;
    if (magic == Magic::Daa || magic == Magic::Hxi) at = position + daa::kHeaderBytes;
    else if (magic == Magic::Volume) at = position + daa::kVolumeHeaderBytes;
    else return std::nullopt;
    foundation::ByteCursor h(head, sizeof head);
    const uint64_t end = position + h.Le32(16);
    if (end < at) return std::nullopt;
    while (at < end) {
        uint8_t record[8];
        if (end - at < 8 || !foundation::ReadFileAt(file, record, at, sizeof record)) return std::nullopt;
        foundation::ByteCursor r(record, sizeof record);
        const uint32_t size = r.Le32(4);
        // A size below its own 8 bytes would never move on.
        if (size < 8 || size > end - at) return std::nullopt;
        if (r.Le32(0) == type) {
            if (size > maxBytes) return std::nullopt;
            std::vector<uint8_t> bytes(size);
            if (!foundation::ReadFileAt(file, bytes.data(), at, size)) return std::nullopt;
            return bytes;
        }
        at += size;
    }
    return std::vector<uint8_t>{};
}

uint64_t ReadDaaTableBits(const DaaContainer& c, uint64_t bitOffset, uint32_t width) {
    const size_t byte = size_t(bitOffset / 8);
    if (width == 0 || byte + 8 > c.table.size()) return 0;
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = word << 8 | c.table[byte + size_t(i)];
    word >>= bitOffset % 8;
    return width >= 64 ? word : word & ((uint64_t(1) << width) - 1);
}

namespace {
uint64_t MaskedField(const DaaContainer& c, uint64_t i, uint64_t raw, uint32_t width) {
    if (!c.tableMasked) return raw;
    const uint8_t k = uint8_t((c.hxi ? kHxiMask[i % 7] : kDaaMask[i % 8]) ^ (i & 0xFF));
    const uint64_t word = uint64_t(k) * 0x01010101u + (c.hxi ? 0x11 : 0);
    return (raw ^ word) & ((uint64_t(1) << width) - 1);
}
}  // namespace

uint64_t GetDaaChunkStoredLength(const DaaContainer& c, uint64_t i) {
    if (c.format == daa::kFormat100) {
        const uint8_t* e = c.table.data() + 3 * i;
        return uint64_t(e[0] & 0x7F) << 16 | e[1] | uint64_t(e[2]) << 8;
    }
    const uint64_t bit = i * (c.lengthBits + c.typeBits);
    return MaskedField(c, i, ReadDaaTableBits(c, bit, c.lengthBits), c.lengthBits) + 5;
}

uint32_t GetDaaChunkType(const DaaContainer& c, uint64_t i) {
    if (c.format == daa::kFormat100 || c.allType1) return daa::kChunkDeflate;
    if (c.typeBits == 0) return daa::kChunkLzma;
    const uint64_t bit = i * (c.lengthBits + c.typeBits) + c.lengthBits;
    return uint32_t(MaskedField(c, i, ReadDaaTableBits(c, bit, c.typeBits), c.typeBits));
}

int64_t DecodeDaaChunk(DaaContainer& c, uint64_t chunk, uint8_t* stored, uint64_t s, uint8_t* destination, uint64_t d) {
    uint8_t* bytes = stored;
    if (!c.password.rows.empty()) {
        UnscrambleDaaChunk(c.password, stored, c.plain.data() + kLzma86HeaderBytes, size_t(s));
        bytes = c.plain.data() + kLzma86HeaderBytes;
    }
    foundation::ByteCursor tail(bytes + s - 4, 4);
    if (codecs::Crc32(bytes, size_t(s - 4)) != tail.Le32(0)) {
        c.lastError = DaaReadError::Crc;
        return -1;
    }
    const uint64_t payload = s - 4;
    int64_t produced = -1;
    if (c.format == daa::kFormat110 && payload == d) {
        std::memcpy(destination, bytes, size_t(d));
        produced = int64_t(d);
    } else if (c.format == daa::kFormat100 || GetDaaChunkType(c, chunk) == daa::kChunkDeflate) {
        c.decoder->variant = c.format == daa::kFormat100 ? 0 : c.variant;
        produced = codecs::DeflateDecompressSized(*c.decoder, bytes, destination, size_t(payload), int64_t(d));
    } else if (GetDaaChunkType(c, chunk) == daa::kChunkLzma) {
        if (c.sharedLzmaHeader) {
            // The 14 bytes in front of the data are free for the rebuilt header.
            uint8_t* head = bytes - kLzma86HeaderBytes;
            std::memcpy(head, c.lzmaHeader.data(), 6);
            for (int i = 0; i < 8; ++i) head[6 + i] = uint8_t(d >> (8 * i));
            produced = Lzma86Decode(head, size_t(payload) + kLzma86HeaderBytes, destination, size_t(d));
        } else {
            produced = Lzma86Decode(bytes, size_t(payload), destination, size_t(d));
        }
    }
    if (produced != int64_t(d)) {
        c.lastError = DaaReadError::Crc;
        return -1;
    }
    return produced;
}

const uint8_t* GetDaaChunk(DaaContainer& c, uint64_t chunk) {
    if (chunk >= c.chunkCount) return nullptr;
    const int32_t key = int32_t(chunk);
    int32_t size = 0;
    if (const uint8_t* cached = codecs::LookupChunkCache(c.cache.get(), key, &size)) {
        codecs::TouchChunkCache(c.cache.get(), key);
        return cached;
    }
    const uint64_t d = chunk + 1 == c.chunkCount ? c.lastChunkSize : c.chunkSize;
    const uint64_t s = c.offsets[size_t(chunk) + 1] - c.offsets[size_t(chunk)];
    try {
        const size_t room = size_t(c.chunkSize + kStoredSlack + kLzma86HeaderBytes);
        if (c.work.size() < room) c.work.resize(room);
        if (!c.password.rows.empty() && c.plain.size() < room) c.plain.resize(room);
    } catch (const std::bad_alloc&) {
        c.lastError = DaaReadError::Read;
        return nullptr;
    }
    uint8_t* stored = c.work.data() + kLzma86HeaderBytes;
    if (!ReadDaaStored(c, stored, c.offsets[size_t(chunk)], s)) return nullptr;
    const int32_t slot = codecs::ReserveChunkCacheSlot(c.cache.get(), int32_t(d));
    if (slot < 0) return nullptr;
    codecs::ChunkCacheSlot& cacheSlot = c.cache->slots[slot];
    if (DecodeDaaChunk(c, chunk, stored, s, cacheSlot.buffer.get(), d) < 0) {
        cacheSlot.buffer.reset();
        cacheSlot.dataSize = 0;
        cacheSlot.keyed = false;
        return nullptr;
    }
    codecs::StoreChunkCacheKey(c.cache.get(), slot, key);
    return cacheSlot.buffer.get();
}

int CopyDaaSector(DaaContainer& c, uint64_t n, uint8_t* destination) {
    std::lock_guard<std::mutex> hold(c.lock);
    if (c.sectorsPerChunk == 0 || n >= (c.imageSize + 2047) / 2048) return -1;
    const uint64_t chunk = n / c.sectorsPerChunk;
    const uint64_t at = (n % c.sectorsPerChunk) * 2048;
    const uint64_t d = chunk + 1 == c.chunkCount ? c.lastChunkSize : c.chunkSize;
    const uint8_t* data = GetDaaChunk(c, chunk);
    if (!data) return -1;
    // The image's last sector may be cut short: its tail reads as zeros.
    const uint64_t have = at < d ? std::min<uint64_t>(2048, d - at) : 0;
    std::memcpy(destination, data + at, size_t(have));
    std::memset(destination + have, 0, size_t(2048 - have));
    return 0;
}

bool OpenDaaContainer(image::ImageContext& ctx, DaaContainer& c) {
    c.image = &ctx;
    c.decoder.reset(new (std::nothrow) codecs::DeflateDecoder);
    c.cache = codecs::CreateChunkCache(kCacheSlots);
    if (!c.decoder || !c.cache) return false;
    if (!FindHeader(c, ctx.imageHandle.get())) return false;
    return ParseHeader(c, ctx, ctx.imageHandle.get());
}

}  // namespace containers
