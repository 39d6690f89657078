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
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/crc32.h"
#include "codecs/deflate_chain.h"
#include "codecs/deflate_encoder.h"
#include "foundation/password_text.h"
#include "containers/daa/daa_container.h"
#include "containers/lzma86/lzma86.h"
#include "containers/sfx/sfx_stub.h"
#include "foundation/strings.h"
#include "foundation/byte_cursor.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "foundation/volume_set_services.h"
#include "image/document/image_context.h"
#include "image/sectors/container_services.h"
#include "image/sectors/writer_switches.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/thread_priority.h"

namespace containers {
namespace {

constexpr uint32_t kLzmaPreset = 5;
constexpr uint64_t kMaxDataOffset = daa::kDataOffsetMask;   // 24 bits in the header
constexpr uint64_t kMaxVolumeBytes = (uint64_t(1) << 40) - 1;   // 5-byte size entries
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

using Output = OutputVolume;

bool Put(Output& out, uint64_t at, const uint8_t* bytes, size_t length) { return WriteVolumeAt(out, at, bytes, length); }
bool Put(Output& out, uint64_t at, const std::vector<uint8_t>& bytes) { return Put(out, at, bytes.data(), bytes.size()); }

uint32_t VolumeSlots(int32_t style) { return style == 0 ? 99 : style == 1 ? 512 : style == 2 ? 101 : 0; }

using foundation::Refuse;

uint64_t PaddedStubSize(uint64_t stubBytes, uint64_t tableBytes) {
    return (stubBytes + tableBytes + kSfxAlignment - 1) / kSfxAlignment * kSfxAlignment;
}

std::array<uint8_t, daa::kEndRecordBytes> EndRecord(const DaaContainer& c) {
    std::array<uint8_t, daa::kEndRecordBytes> r{};
    foundation::ByteWriter w(r);
    w.Le32(0, daa::kRecordEnd);
    w.Le32(4, uint32_t(daa::kEndRecordBytes));
    w.Le32(12, uint32_t(c.entryTablePosition));
    w.Le32(16, uint32_t(c.entryTableBytes));
    w.Le32(20, uint32_t(c.headerPosition));
    return r;
}

std::array<uint8_t, daa::kVolumeRecordBytes> VolumeRecord(const DaaContainer& c, size_t index) {
    std::array<uint8_t, daa::kVolumeRecordBytes> r{};
    foundation::ByteWriter w(r);
    w.Le32(0, daa::kRecordVolume);
    w.Le32(4, uint32_t(daa::kVolumeRecordBytes));
    w.Le32(8, uint32_t(c.outs().size()));
    w.Le32(12, uint32_t(index));
    uint64_t start = 0;
    for (size_t i = 0; i < index; ++i) start += c.output.Share(i);
    w.Le64(32, start);
    w.Le64(40, c.outs()[index].size);
    w.U8(48, uint8_t(c.namingStyle));
    return r;
}

std::vector<uint8_t> VolumeSizesRecord(const DaaContainer& c) {
    std::vector<uint8_t> r(16 + 5 * size_t(c.volumeSlots), 0);
    foundation::ByteWriter w(r);
    w.Le32(0, daa::kRecordVolumeSizes);
    w.Le32(4, uint32_t(r.size()));
    w.Le32(8, uint32_t(c.outs().size()));
    w.Le32(12, 1);
    for (size_t i = 0; i < c.outs().size(); ++i) {
        w.Le32(16 + 5 * i, uint32_t(c.outs()[i].size));
        w.U8(20 + 5 * i, uint8_t(c.outs()[i].size >> 32));
    }
    return r;
}

std::array<uint8_t, daa::kVolumeHeaderBytes> VolumeHeader() {
    std::array<uint8_t, daa::kVolumeHeaderBytes> h{};
    foundation::ByteWriter w(h);
    w.Put(0, "DAA VOL", 8);
    w.Le32(16, uint32_t(daa::kVolumeDataOffset));
    w.Le32(36, codecs::Crc32(h.data(), 36));
    return h;
}

// A later volume's 100 bytes: its header and volume record, written when it
// opens and again at the end, when the count is known.
std::vector<uint8_t> LaterVolumeArea(const DaaContainer& c, size_t index) {
    const auto header = VolumeHeader();
    const auto record = VolumeRecord(c, index);
    std::vector<uint8_t> area(header.begin(), header.end());
    area.insert(area.end(), record.begin(), record.end());
    return area;
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
        if (ctx.daaWriter) return true;
        // A save without an opener of its own writes the one output file.
        platform::FileHandle out = ctx.outputHandle.get();
        if (!out) return false;
        auto once = [out, used = false](std::u16string_view) mutable {
            if (used) return platform::FileHandle(nullptr);
            used = true;
            return out;
        };
        return CreateDaaWriter(ctx, ctx.writingPath, once);
    }

    bool Begin(image::ImageContext& ctx, const image::WriterArguments&) override {
        DaaContainer* c = Writer(ctx);
        if (!c || c->outs().empty()) return false;
        Output& first = c->outs()[0];
        if (!c->stub.empty()) {
            // Stub, entry table, zeros to a 1024-byte boundary: the header
            // follows. The file is a program, executable as the user's mask allows.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            if (::fchmod(platform::FileDescriptor(first.file), 0755 & ~mask) != 0) return false;
            if (!Put(first, 0, c->stub)) return false;
            const std::vector<uint8_t> table = BuildEntryTable(SfxSettings{});
            c->entryTablePosition = c->stub.size();
            c->entryTableBytes = table.size();
            if (!Put(first, c->entryTablePosition, table)) return false;
            const uint64_t end = c->entryTablePosition + table.size();
            if (end > c->headerPosition) return false;
            if (!Put(first, end, std::vector<uint8_t>(size_t(c->headerPosition - end), 0))) return false;
        }
        std::vector<uint8_t> head(daa::kHeaderBytes, 0);
        foundation::ByteWriter w(head);
        w.Put(0, "DAA", 4);
        w.Le32(16, uint32_t(c->headerAreaBytes));
        if (c->split) {
            const auto record = VolumeRecord(*c, 0);
            head.insert(head.end(), record.begin(), record.end());
            const std::vector<uint8_t> sizes = VolumeSizesRecord(*c);
            head.insert(head.end(), sizes.begin(), sizes.end());
        }
        head.insert(head.end(), c->comment.begin(), c->comment.end());
        if (!c->password.rows.empty()) {
            std::array<uint8_t, 128> check{};
            if (getrandom(check.data(), check.size(), 0) != ssize_t(check.size())) return false;
            const auto record = MakeDaaPasswordRecord(c->writePassword, check);
            head.insert(head.end(), record.begin(), record.end());
        }
        if (c->endRecord) {
            const auto end = EndRecord(*c);
            head.insert(head.end(), end.begin(), end.end());
        }
        if (head.size() != c->headerAreaBytes) return false;
        if (!c->tableAtEnd) head.resize(head.size() + size_t(TableBytes(*c)), 0);
        if (!Put(first, c->headerPosition, head)) return false;
        c->totalDataSize = c->headerPosition + head.size();
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
    bool ConcurrentChunks(const image::ImageContext&) const override { return true; }

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
        // Each call has its own scratch: chunks are compressed on several threads.
        std::vector<uint8_t> scratch;
        try {
            scratch.resize(size_t(c->chunkSize) + 65536);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        const int64_t deflated = codecs::DeflateCompressBlock(sectors, scratch.data(), length, variant, scratch.size());
        if (deflated <= 0) return -1;
        std::vector<uint8_t> lzma;
        if (c->format == daa::kFormat110 && !c->deflateOnly)
            lzma = Lzma86Encode(sectors, length, kLzmaPreset, uint32_t(c->chunkSize));
        const size_t headerless = c->sharedLzmaHeader ? kLzma86HeaderBytes : 0;
        if (!lzma.empty() && lzma.size() - headerless < size_t(deflated) && lzma.size() + 4 <= room) {
            type = daa::kChunkLzma;
            std::memcpy(output, lzma.data(), lzma.size());
            skip = headerless;
            payload = lzma.size() - headerless;
        } else {
            if (size_t(deflated) + 4 > room) return -1;
            std::memcpy(output, scratch.data(), size_t(deflated));
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
        {
            // The header keeps the first LZMA chunk's header bytes and the
            // CRCs of chunks 0 and 1, whatever order the threads finish in.
            std::lock_guard<std::mutex> hold(c->writeLock);
            if (chunkIndex < 2) c->chunkCrcs[chunkIndex] = crc;
            if (type == daa::kChunkLzma) {
                if (c->sharedLzmaHeader && chunkIndex < c->lzmaHeaderChunk) {
                    std::memcpy(c->lzmaHeader.data(), output, 6);
                    c->lzmaHeaderChunk = chunkIndex;
                }
                c->anyLzmaChunk = true;
            }
        }
        if (!c->password.rows.empty()) {
            const std::vector<uint8_t> plain(bytes, bytes + payload + 4);
            ScrambleDaaChunk(c->password, plain.data(), bytes, plain.size());
        }
        return int64_t(skip + payload + 4);
    }

    bool WriteData(image::ImageContext& ctx, const uint8_t* bytes, size_t length) override {
        DaaContainer* c = Writer(ctx);
        if (!c || c->outs().empty()) return false;
        if (!c->output.Append(bytes, length)) return false;
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
        if (!c || c->outs().empty()) return -1;
        Output& first = c->outs()[0];
        // The end record closes volume 0; a later volume has had it already.
        if (c->endRecord && c->outs().size() == 1) {
            const auto end = EndRecord(*c);
            if (!Put(first, first.size, end.data(), end.size())) return -1;
        }
        if (c->split) {
            for (size_t i = 0; i < c->outs().size(); ++i)
                if (c->outs()[i].size > kMaxVolumeBytes) return -1;
            // Every volume record now names the final count.
            for (size_t i = 1; i < c->outs().size(); ++i)
                if (!Put(c->outs()[i], 0, LaterVolumeArea(*c, i))) return -1;
            const auto record = VolumeRecord(*c, 0);
            const std::vector<uint8_t> sizes = VolumeSizesRecord(*c);
            const uint64_t at = c->headerPosition + daa::kHeaderBytes;
            if (!Put(first, at, record.data(), record.size()) || !Put(first, at + record.size(), sizes)) return -1;
        }
        const std::array<uint8_t, daa::kHeaderBytes> header = FinalHeader(*c);
        if (!Put(first, c->headerPosition, header.data(), header.size())) return -1;
        if (c->tableAtEnd) return 0;
        const uint64_t tableBytes = TableBytes(*c);
        std::vector<uint8_t> table(c->table.begin(), c->table.begin() + long(tableBytes));
        if (c->flags & daa::kFlagAdditiveMask) {
            const uint8_t s0 = uint8_t(c->sectorCount), s1 = uint8_t(c->sectorCount >> 8);
            uint8_t sum = 0;
            for (uint64_t i = 0; i < tableBytes; ++i) sum = uint8_t(sum + uint8_t(s0 + i * s1));
            table[0] = uint8_t(table[0] + sum);
        }
        return Put(first, c->headerPosition + c->headerAreaBytes, table) ? 0 : -1;
    }
};

}  // namespace

image::IContainerWriterFamily& DaaWriterFamily() {
    static DaaWriterFamilyImpl family;
    return family;
}

bool CreateDaaWriter(image::ImageContext& ctx, std::u16string_view path, DaaOutputOpener opener) {
    // The save gives way to the user's other work unless told to run at
    // normal priority (Status flag 0x20000).
    if (!(foundation::GetStatusFlags() & foundation::kStatusNormalPriority)) platform::LowerCurrentThreadPriority();
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
    c.split = ctx.splitOutput != 0;
    c.endRecord = ctx.selfExtracting != 0;
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
        // Split output keeps the table behind the header: after the last
        // chunk it would lie in a volume the header cannot name.
        c.tableAtEnd = image::WriterSwitchE.load() && !c.split;
        c.compressedTable = c.tableAtEnd && image::WriterSwitchC.load();
        // The additive mask changes the table's first byte in place, which
        // a table after the chunks never gets back to.
        if ((dm & kDmAdditiveMask) && !c.tableAtEnd && !c.split) c.flags |= daa::kFlagAdditiveMask;
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
    if (c.split) {
        c.namingStyle = ctx.volumeNamingStyle;
        c.volumeSlots = VolumeSlots(c.namingStyle);
        if (c.volumeSlots == 0) {
            Refuse(u"Unknown volume naming style.");
            return false;
        }
        c.volumeLimit = ctx.volumeSize > 0 ? std::min<uint64_t>(uint64_t(ctx.volumeSize), kMaxVolumeBytes) : 0;
        c.headerAreaBytes += daa::kVolumeRecordBytes + 16 + 5 * uint64_t(c.volumeSlots);
    }
    if (ctx.passwordEnabled != 0 && ctx.writePassword[0] != 0) {
        // The reader takes 64 bytes. A longer password is refused, not cut:
        // the file would open only with a password the user never typed.
        const size_t length = strnlen(ctx.writePassword.data(), ctx.writePassword.size());
        if (length > kDaaPasswordMaxBytes) {
            Refuse(foundation::PasswordRefusalText(foundation::PasswordCheck::TooLong, kDaaPasswordMaxBytes));
            return false;
        }
        c.writePassword.assign(ctx.writePassword.data(), length);
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
    if (c.endRecord) {
        std::optional<std::vector<uint8_t>> stub = ReadSfxStub();
        if (!stub) {
            Refuse(u"The self-extracting stub Quendravine.SFX cannot be read from the install folder.");
            return false;
        }
        c.stub = std::move(*stub);
        c.headerPosition = PaddedStubSize(c.stub.size(), BuildEntryTable(SfxSettings{}).size());
        c.headerAreaBytes += daa::kEndRecordBytes;
    }
    // The data offset has 24 bits: a table that pushes the first chunk past
    // them (level 0 above some 350 GB) cannot be written.
    if (c.headerAreaBytes + (c.tableAtEnd ? 0 : TableBytes(c)) > kMaxDataOffset) {
        Refuse(u"The image is too large for this chunk size.");
        return false;
    }
    // Volume 0 holds everything before the chunks (and the end record); a
    // later volume its 100 bytes: each must have room for data besides.
    if (c.split && c.volumeLimit != 0 &&
        (c.volumeLimit <= c.headerPosition + c.headerAreaBytes + TableBytes(c) + (c.endRecord ? daa::kEndRecordBytes : 0) ||
         c.volumeLimit <= daa::kVolumeDataOffset)) {
        Refuse(u"The volume size is too small.");
        return false;
    }
    const std::u16string first = c.split ? GetDaaFirstVolumeName(path, c.namingStyle) : std::u16string(path);
    VolumeSetLayout layout;
    layout.split = c.split;
    layout.limit = c.volumeLimit;
    layout.maxVolumes = c.volumeSlots;
    layout.laterAreaBytes = daa::kVolumeDataOffset;
    DaaContainer* writer = &c;
    layout.nameOf = [writer](uint32_t index) -> std::optional<std::u16string> {
        std::u16string name = GetDaaVolumeName(writer->outs()[0].path, int32_t(index), writer->namingStyle);
        if (name.empty()) return std::nullopt;
        return name;
    };
    layout.laterArea = [writer](uint32_t index) { return LaterVolumeArea(*writer, index); };
    // Volume 0 of a self-extracting set ends in its end record, whatever follows.
    if (c.endRecord) {
        layout.firstTrailerBytes = daa::kEndRecordBytes;
        layout.firstTrailer = [writer] {
            const auto end = EndRecord(*writer);
            return std::vector<uint8_t>(end.begin(), end.end());
        };
    }
    if (!c.output.Open(first, std::move(opener), std::move(layout))) return false;
    ctx.daaWriter.Attach(state.release(), FreeState);
    return true;
}

}  // namespace containers
