// Writing DAA images: the sector writer hands over whole chunks, each is
// compressed (deflate variant, or the smaller of it and LZMA86), ends in its
// CRC-32 and is written at once; the header and the table are written last.
//
// The layout is decided once, when the writer is created, from the same
// console switches the sector writer obeys (shared LZMA header: H; table after
// the last chunk: E; compressed: C) and from the "DmFlags" setting for the
// rest, so the two can never disagree about where a chunk's bytes start or
// whether the table follows the chunks.

#include <sys/random.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/crc32.h"
#include "codecs/deflate_chain.h"
#include "codecs/deflate_encoder.h"
#include "containers/daa/daa_container.h"
#include "containers/lzma86/lzma86.h"
#include "foundation/byte_cursor.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "image/document/image_context.h"
#include "image/sectors/container_services.h"
#include "image/sectors/writer_switches.h"
#include "platform/file.h"

namespace containers {
namespace {

constexpr uint32_t kLzmaPreset = 5;
constexpr uint64_t kMaxDataOffset = daa::kDataOffsetMask;   // 24 bits in the header
// "DmFlags" bits.
constexpr uint32_t kDmAdditiveMask = 1u << 5;
constexpr uint32_t kDmDeflateOnly = 1u << 8;
constexpr uint32_t kDmTableMask = 1u << 11;

void FreeState(image::DaaContainerState* state) { delete state; }

DaaContainer* Writer(image::ImageContext& ctx) { return ctx.daaWriter.get(); }

uint32_t BitWidth(uint64_t value) {
    uint32_t bits = 0;
    for (; value != 0; value >>= 1) ++bits;
    return bits;
}

void WriteTableBits(DaaContainer& c, uint64_t i, uint64_t value, uint32_t width, uint64_t offset) {
    if (c.tableMasked) {
        static constexpr uint8_t kMask[8] = {0xC7, 0x14, 0x9E, 0x52, 0x0B, 0xA8, 0x3F, 0x61};
        value ^= uint64_t(uint8_t(kMask[i % 8] ^ (i & 0xFF))) * 0x01010101u;
    }
    const uint64_t first = i * (c.lengthBits + c.typeBits) + offset;
    for (uint32_t b = 0; b < width; ++b) {
        const uint64_t bit = first + b;
        uint8_t& byte = c.table[size_t(bit / 8)];
        const uint8_t mask = uint8_t(1u << (bit % 8));
        byte = (value >> b) & 1 ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
    }
}

uint64_t TableBytes(const DaaContainer& c) {
    return c.format == daa::kFormat100 ? 3 * c.chunkCount : (c.chunkCount * (c.lengthBits + c.typeBits) + 7) / 8;
}

bool WriteAt(image::ImageContext& ctx, uint64_t offset, const uint8_t* bytes, size_t length) {
    return platform::FileWriteAt(ctx.outputHandle.get(), offset, bytes, length) == int64_t(length);
}

std::array<uint8_t, daa::kHeaderBytes> FinalHeader(const DaaContainer& c) {
    std::array<uint8_t, daa::kHeaderBytes> h{};
    foundation::ByteWriter w(h);
    w.Put(0, "DAA", 4);
    w.Le32(16, uint32_t(c.headerAreaBytes));
    w.Le32(20, c.format);
    const uint64_t tableBytes = TableBytes(c);
    if (c.format == daa::kFormat100) {
        w.Le32(24, uint32_t(c.headerAreaBytes + tableBytes));
        w.Le32(36, uint32_t(c.chunkSize));
    } else {
        // Bits the reader does not look at carry what the format always has there.
        uint32_t offset = c.tableAtEnd ? uint32_t(c.headerAreaBytes) | daa::kOffsetTableAtEnd
                                       : uint32_t(c.headerAreaBytes + tableBytes);
        offset |= 0x4C000000u | ((c.chunkCrcs[0] - c.chunkCrcs[1]) & 0x01000000u);
        if (c.deflateOnly) offset |= daa::kOffsetAllType1;
        w.Le32(24, offset);
        uint32_t size = uint32_t(c.chunkSize / 16384) | ((c.chunkCrcs[0] + c.chunkCrcs[1]) & 0x1000u);
        size |= c.compressedTable ? 0xE625C000u : 0xE6258000u;
        if (c.tableMasked) size |= daa::kFlagTableMask;
        if (c.flags & daa::kFlagAdditiveMask) size |= daa::kFlagAdditiveMask;
        if (c.sharedLzmaHeader && c.anyLzmaChunk) size |= daa::kFlagSharedLzmaHeader;
        size |= uint32_t(c.variant) << 23;
        w.Le32(36, size);
        if (c.compressedTable) w.Le32(57, c.trailingStoredLength);
        w.U8(61, uint8_t(c.typeBits));
        if (c.sharedLzmaHeader && c.anyLzmaChunk) w.Put(62, c.lzmaHeader.data(), 6);
    }
    w.Le32(28, 1);
    w.Le64(40, c.sectorCount * 2048);
    w.Le64(48, c.totalDataSize);
    w.U8(56, uint8_t(c.compressionLevel));
    w.Le32(72, codecs::Crc32(h.data(), 72));
    return h;
}

class DaaWriterFamilyImpl final : public image::IContainerWriterFamily {
public:
    bool Create(image::ImageContext& ctx) override {
        ctx.daaWriter.Reset();
        std::unique_ptr<image::DaaContainerState> state(new (std::nothrow) image::DaaContainerState);
        // The sector writer finishes at the same count (a build's output size).
        const int32_t sectors = ctx.sectorCount > 0 ? ctx.sectorCount : ctx.endSector;
        if (!state || sectors <= 0) return false;
        DaaContainer& c = *state;
        c.image = &ctx;
        c.compressionLevel = std::clamp(ctx.compressionLevel, 0, 2);
        c.sectorCount = uint64_t(sectors);
        c.imageSize = c.sectorCount * 2048;
        const uint32_t dm = foundation::ReadSettingDword(u"DmFlags", 0);
        if (c.compressionLevel == 0) {
            c.format = daa::kFormat100;
            c.chunkSize = 65536;
        } else {
            c.format = daa::kFormat110;
            c.chunkSize = c.compressionLevel == 1 ? 524288 : 4194304;
            c.deflateOnly = (dm & kDmDeflateOnly) != 0;
            c.variant = int32_t((dm >> 9) & 3);
            c.tableMasked = (dm & kDmTableMask) != 0;
            c.sharedLzmaHeader = image::WriterSwitchH.load();
            c.tableAtEnd = image::WriterSwitchE.load();
            c.compressedTable = c.tableAtEnd && image::WriterSwitchC.load();
            // The additive mask changes the table's first byte in place, which
            // a table after the chunks never gets back to.
            if ((dm & kDmAdditiveMask) && !c.tableAtEnd) c.flags |= daa::kFlagAdditiveMask;
            c.lengthBits = BitWidth(c.chunkSize - 1);
            c.typeBits = c.deflateOnly ? 0 : 1;
            c.allType1 = c.deflateOnly;
        }
        c.sectorsPerChunk = uint32_t(c.chunkSize / 2048);
        c.chunkCount = (c.imageSize + c.chunkSize - 1) / c.chunkSize;
        c.lastChunkSize = c.imageSize % c.chunkSize != 0 ? c.imageSize % c.chunkSize : c.chunkSize;
        try {
            c.table.assign(size_t(TableBytes(c)) + 8, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        c.headerAreaBytes = daa::kHeaderBytes;
        if (ctx.passwordEnabled != 0 && ctx.writePassword[0] != 0) {
            // The reader takes 64 bytes: a longer password could never open the file.
            c.writePassword.assign(ctx.writePassword.data(),
                                   std::min(strnlen(ctx.writePassword.data(), ctx.writePassword.size()),
                                            kDaaPasswordMaxBytes));
            if (!SetDaaPassword(c.writePassword, c.password)) return false;
            c.headerAreaBytes += kDaaPasswordRecordBytes;
        }
        if (!ctx.archiveComment.empty()) {
            const size_t length = std::min<size_t>(ctx.archiveComment.size(), daa::kMaxCommentBytes);
            std::vector<uint8_t> chain(length + 65536 + 16);
            const int64_t n = codecs::DeflateCompressBuffer(reinterpret_cast<const uint8_t*>(ctx.archiveComment.data()),
                                                            chain.data(), length, chain.size());
            if (n <= 0) return false;
            c.comment.assign(12 + size_t(n), 0);
            foundation::ByteWriter w(c.comment);
            w.Le32(0, daa::kRecordComment);
            w.Le32(4, uint32_t(c.comment.size()));
            w.Put(12, chain.data(), size_t(n));
            c.headerAreaBytes += c.comment.size();
        }
        // The data offset has 24 bits: a table that pushes the first chunk past
        // them (level 0 above some 350 GB) cannot be written.
        if (c.headerAreaBytes + (c.tableAtEnd ? 0 : TableBytes(c)) > kMaxDataOffset) return false;
        ctx.daaWriter.Attach(state.release(), FreeState);
        return true;
    }

    bool Begin(image::ImageContext& ctx, const image::WriterArguments&) override {
        DaaContainer* c = Writer(ctx);
        if (!c) return false;
        std::array<uint8_t, daa::kHeaderBytes> placeholder{};
        foundation::ByteWriter w(placeholder);
        w.Put(0, "DAA", 4);
        w.Le32(16, uint32_t(c->headerAreaBytes));
        std::vector<uint8_t> head(placeholder.begin(), placeholder.end());
        head.insert(head.end(), c->comment.begin(), c->comment.end());
        if (!c->password.rows.empty()) {
            std::array<uint8_t, 128> check{};
            if (getrandom(check.data(), check.size(), 0) != ssize_t(check.size())) return false;
            const auto record = MakeDaaPasswordRecord(c->writePassword, check);
            head.insert(head.end(), record.begin(), record.end());
        }
        if (!c->tableAtEnd) head.resize(head.size() + size_t(TableBytes(*c)), 0);
        if (!WriteAt(ctx, 0, head.data(), head.size())) return false;
        c->writePosition = head.size();
        c->totalDataSize = head.size();
        return true;
    }

    void Free(image::ImageContext& ctx) override { ctx.daaWriter.Reset(); }
    bool Attached(const image::ImageContext& ctx) const override { return bool(ctx.daaWriter); }
    uint32_t ChunkSectors(const image::ImageContext& ctx) const override {
        return ctx.daaWriter ? ctx.daaWriter->sectorsPerChunk : 0;
    }
    uint32_t ContainerFormat(const image::ImageContext& ctx) const override {
        return ctx.daaWriter ? ctx.daaWriter->format : 0;
    }

    int64_t CompressChunk(image::ImageContext& ctx, uint32_t chunkIndex, const uint8_t* sectors, size_t length,
                          uint8_t* output, uint32_t& type) override {
        DaaContainer* c = Writer(ctx);
        if (!c || length == 0) return -1;
        // Room of the output: chunk sectors x 4096 + 0x49800 (the sector writer's).
        const size_t room = size_t(c->sectorsPerChunk) * 4096 + 0x49800;
        size_t skip = 0;   // bytes in front that the sector writer leaves out
        size_t payload = 0;
        type = daa::kChunkDeflate;
        const int32_t variant = c->format == daa::kFormat100 ? 0 : c->variant;
        try {
            if (c->scratch.size() < c->chunkSize + 65536) c->scratch.resize(size_t(c->chunkSize) + 65536);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        const int64_t deflated = codecs::DeflateCompressBlock(sectors, c->scratch.data(), length, variant, c->scratch.size());
        if (deflated <= 0) return -1;
        std::vector<uint8_t> lzma;
        if (c->format == daa::kFormat110 && !c->deflateOnly)
            lzma = Lzma86Encode(sectors, length, kLzmaPreset, uint32_t(c->chunkSize));
        const size_t headerless = c->sharedLzmaHeader ? kLzma86HeaderBytes : 0;
        if (!lzma.empty() && lzma.size() - headerless < size_t(deflated) && lzma.size() + 4 <= room) {
            type = daa::kChunkLzma;
            if (c->sharedLzmaHeader && !c->anyLzmaChunk) std::memcpy(c->lzmaHeader.data(), lzma.data(), 6);
            c->anyLzmaChunk = true;
            std::memcpy(output, lzma.data(), lzma.size());
            skip = headerless;
            payload = lzma.size() - headerless;
        } else {
            if (size_t(deflated) + 4 > room) return -1;
            std::memcpy(output, c->scratch.data(), size_t(deflated));
            payload = size_t(deflated);
        }
        // Format 0x110 reads a payload of the chunk's own size as stored bytes:
        // one that does not shrink is stored as it is.
        if (c->format == daa::kFormat110 && payload >= length) {
            type = daa::kChunkDeflate;
            skip = 0;
            std::memcpy(output, sectors, length);
            payload = length;
        }
        uint8_t* bytes = output + skip;
        const uint32_t crc = codecs::Crc32(bytes, payload);
        foundation::ByteWriter(bytes + payload, 4).Le32(0, crc);
        if (chunkIndex < 2) c->chunkCrcs[chunkIndex] = crc;
        if (!c->password.rows.empty()) {
            const std::vector<uint8_t> plain(bytes, bytes + payload + 4);
            ScrambleDaaChunk(c->password, plain.data(), bytes, plain.size());
        }
        return int64_t(skip + payload + 4);
    }

    bool WriteData(image::ImageContext& ctx, const uint8_t* bytes, size_t length) override {
        DaaContainer* c = Writer(ctx);
        if (!c || !WriteAt(ctx, c->writePosition, bytes, length)) return false;
        c->writePosition += length;
        c->totalDataSize += length;
        ctx.bytesWritten = int64_t(c->totalDataSize);
        return true;
    }

    void SetChunkSize(image::ImageContext& ctx, uint32_t i, uint32_t storedLength) override {
        DaaContainer* c = Writer(ctx);
        if (!c || i >= c->chunkCount || storedLength < 5) return;
        if (c->format == daa::kFormat100) {
            uint8_t* e = c->table.data() + 3 * size_t(i);
            e[0] = uint8_t((storedLength >> 16) & 0x7F);
            e[1] = uint8_t(storedLength);
            e[2] = uint8_t(storedLength >> 8);
            return;
        }
        WriteTableBits(*c, i, storedLength - 5, c->lengthBits, 0);
    }

    void SetChunkType(image::ImageContext& ctx, uint32_t i, uint32_t type) override {
        DaaContainer* c = Writer(ctx);
        if (!c || c->format != daa::kFormat110 || c->typeBits == 0 || i >= c->chunkCount) return;
        WriteTableBits(*c, i, type & 0xFF, c->typeBits, c->lengthBits);
    }

    std::vector<uint8_t>* TrailingBlock(image::ImageContext& ctx) override {
        DaaContainer* c = Writer(ctx);
        if (!c || !c->tableAtEnd) return nullptr;
        c->trailing.assign(c->table.begin(), c->table.begin() + long(TableBytes(*c)));
        return &c->trailing;
    }
    bool ScrambleTrailingBlock(const image::ImageContext&) const override { return false; }
    void SetTrailingStoredLength(image::ImageContext& ctx, uint32_t length) override {
        if (DaaContainer* c = Writer(ctx)) c->trailingStoredLength = length;
    }
    void ClearPending(image::ImageContext&) override {}

    int Finish(image::ImageContext& ctx) override {
        DaaContainer* c = Writer(ctx);
        if (!c) return -1;
        const std::array<uint8_t, daa::kHeaderBytes> header = FinalHeader(*c);
        if (!WriteAt(ctx, 0, header.data(), header.size())) return -1;
        if (c->tableAtEnd) return 0;
        const uint64_t tableBytes = TableBytes(*c);
        std::vector<uint8_t> table(c->table.begin(), c->table.begin() + long(tableBytes));
        if (c->flags & daa::kFlagAdditiveMask) {
            const uint8_t s0 = uint8_t(c->sectorCount), s1 = uint8_t(c->sectorCount >> 8);
            uint8_t sum = 0;
            for (uint64_t i = 0; i < tableBytes; ++i) sum = uint8_t(sum + uint8_t(s0 + i * s1));
            table[0] = uint8_t(table[0] + sum);
        }
        return WriteAt(ctx, c->headerAreaBytes, table.data(), table.size()) ? 0 : -1;
    }
};

}  // namespace

image::IContainerWriterFamily& DaaWriterFamily() {
    static DaaWriterFamilyImpl family;
    return family;
}

}  // namespace containers
